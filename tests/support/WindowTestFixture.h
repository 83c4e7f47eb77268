#pragma once

#include "support/Fakes.h"
#include "support/MemoBook.h"
#include "support/Widgets.h"

#include <QAbstractButton>
#include <QObject>
#include <QTest>

#include <memory>

// The base of a test class whose test functions each run on fresh platform fakes and a fresh
// memo book. The test class's own init() and cleanup() slots call setUp() and tearDown(), so
// that each test shows what it starts from.
class WindowTestFixture : public QObject
{
    Q_OBJECT

protected:
    // Installs the fakes and makes the memo book; false when the book could not be made.
    bool setUp(MemoBook::Tables tables = MemoBook::Tables::MemosAndPaths);
    // Closes every window of the program, fails the test when a queued answer was never
    // asked for, then removes the memo book and the fakes.
    void tearDown();

    std::unique_ptr<PlatformFakes> fakes;
    std::unique_ptr<MemoBook> book;
};

// A window of the program opened by a test, with its controls at hand by name. Handle is
// the test's own type for the window, derived from this one with the window's helpers.
template <class W, class Handle> struct OpenedForm
{
    W* form = nullptr;

    // Opens the window as the main window's button does and waits for its activation.
    static Handle open(Session& session)
    {
        Handle h;
        h.form = W::instance(session);
        h.form->setNormalState();
        h.form->showForm();
        if (!QTest::qWaitForWindowActive(h.form, 2000))
            qWarning("window %s did not become active", qPrintable(h.form->objectName()));
        return h;
    }

    template <class T = QWidget> T* get(const QString& name) const { return findRequired<T>(form, name); }
    void click(const QString& name) const { get<QAbstractButton>(name)->click(); }
};
