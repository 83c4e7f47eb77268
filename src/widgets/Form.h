#pragma once

#include "core/Result.h"

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>

#include <utility>

class QMenuBar;

// A window of the program. Every window is a single instance: it is loaded at its first
// use (its load handler runs once), shown beside the others and never modal, activated
// each time it becomes the program's active window, and destroyed when it closes.
class Form : public QWidget
{
    Q_OBJECT

public:
    // clientWidth and clientHeight are in twips.
    Form(const QString& name, const QString& caption, int clientWidth, int clientHeight);
    ~Form() override;

    // Restores a minimised or maximised window (the window state "normal").
    void setNormalState();
    // Shows the window, not modal; a shown window comes to the front. A minimised window
    // stays minimised.
    void showForm();
    // Closes the window: its unload handler runs and the window is destroyed. False when the
    // window chose to stay open.
    bool unload();

    bool isUnloaded() const { return m_unloaded; }
    // The client area, which holds the controls at their twips positions.
    QWidget* client() const { return m_client; }
    // Puts a menu bar above the client area; the client area keeps its size.
    void setMenuBar(QMenuBar* bar);
    // The topic of the product help file that F1 opens for this window.
    virtual QString helpTopic() const { return objectName(); }

    // Runs the load handler; called once by the window's instance holder.
    void load();
    // What the load handler reported: a window that could not read what it shows says why.
    const Result& loadResult() const { return m_loadResult; }

    // The window of the program that was active last (message boxes and dialogs aside).
    static Form* lastActive();

protected:
    virtual Result onLoad() { return Result::success(); }
    virtual void onActivate() {}
    // Asked before the window closes; false keeps it open (typing that could not be stored).
    virtual bool confirmClose() { return true; }
    virtual void onUnload() {}
    // Places the window's outer frame at a twips position on the screen.
    void placeAt(int leftTwips, int topTwips);
    // Runs `handler` when the client area's button of that name is clicked.
    template <class Handler> void onClicked(const char* buttonName, Handler&& handler)
    {
        auto* button = m_client->findChild<QAbstractButton*>(QString::fromUtf8(buttonName));
        Q_ASSERT(button);
        connect(button, &QAbstractButton::clicked, this, std::forward<Handler>(handler));
    }

    bool event(QEvent* e) override;
    // Enter presses the focused button, as on the platform the program comes from.
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void openHelp();

    QWidget* m_client = nullptr;
    bool m_loaded = false;
    bool m_unloaded = false;
    Result m_loadResult;
};

// The single instance of a window class T.
template <class T> class SingleForm : public Form
{
public:
    using Form::Form;

    // The loaded window, loading it when it is not; the arguments go to the constructor of
    // a window that is made now and are not used otherwise.
    template <class... Args> static T* instance(Args&&... args)
    {
        if (!isLoaded()) {
            s_form = s_prepared ? s_prepared.data() : new T(std::forward<Args>(args)...);
            s_prepared = nullptr;
            s_form->load();
        }
        return s_form;
    }
    // Makes the window ahead of its first use, while something else keeps the program
    // waiting: it is neither shown nor loaded (its load handler has not run), and the next
    // instance() loads this one. discardPrepared() drops it unused.
    template <class... Args> static void prepare(Args&&... args)
    {
        if (!isLoaded() && !s_prepared) {
            s_prepared = new T(std::forward<Args>(args)...);
            s_prepared->ensurePolished();
        }
    }
    static void discardPrepared() { delete s_prepared.data(); }
    static bool isLoaded() { return s_form && !s_form->isUnloaded(); }
    static T* ifLoaded() { return isLoaded() ? s_form.data() : nullptr; }
    // Closing a window that is not loaded does nothing. False when the window stays open.
    static bool unloadIfLoaded() { return !isLoaded() || s_form->unload(); }

private:
    static inline QPointer<T> s_form;
    static inline QPointer<T> s_prepared;
};
