#pragma once

#include "db/RecordSet.h"
#include "help_registration/H_WRITE.h"
#include "platform/ComboBox.h"
#include "platform/MemoBox.h"
#include "platform/TextBox.h"
#include "support/Fakes.h"
#include "support/MemoBook.h"
#include "support/Widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>

// The entry window of a test, opened as the main window's button opens it, with its
// controls at hand.
struct HWriteWindow
{
    H_WRITE* form = nullptr;

    static HWriteWindow open()
    {
        HWriteWindow w;
        w.form = H_WRITE::instance();
        w.form->setNormalState();
        w.form->showForm();
        if (!QTest::qWaitForWindowActive(w.form, 2000))
            qWarning("the entry window did not become active");
        return w;
    }

    template <class T = QWidget> T* get(const char* name) const
    {
        return findRequired<T>(form, QString::fromUtf8(name));
    }
    QLabel* label1() const { return get<QLabel>("Label1"); }
    TextBox* text(const char* name) const { return get<TextBox>(name); }
    MemoBox* memo() const { return get<MemoBox>("Text2"); }
    ComboBox* combo(const char* name) const { return get<ComboBox>(name); }
    RecordSet* data(const char* name) const { return get<RecordSet>(name); }
    void click(const char* name) const { get<QAbstractButton>(name)->click(); }
    qint64 id() const { return label1()->text().toLongLong(); }
};

// Types text into a control as a keyboard would, Japanese included.
inline void typeText(QWidget* control, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(control, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, text);
    QApplication::sendEvent(control, &release);
}

// Replaces what a one-line control holds, as selecting all and typing would.
inline void retype(QWidget* control, const QString& text)
{
    if (auto* combo = qobject_cast<QComboBox*>(control))
        control = combo->lineEdit();
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->selectAll();
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(control))
        memo->selectAll();
    typeText(control, text);
}

// The widget that has the keyboard focus, seen through focus proxies.
inline bool hasFocus(QWidget* control)
{
    QWidget* focus = QApplication::focusWidget();
    return focus && (focus == control || focus->focusProxy() == control || control->focusProxy() == focus ||
                     control->isAncestorOf(focus));
}
