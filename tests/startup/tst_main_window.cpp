#include "app_registration/H_PATH.h"
#include "help_display/H_PRN.h"
#include "help_registration/H_WRITE.h"
#include "startup/I_VER.h"
#include "startup/ORVAM.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

// Records the order in which windows close.
class CloseRecorder : public QObject
{
public:
    void watch(QWidget* w) { w->installEventFilter(this); }
    QStringList closed;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close)
            closed.append(watched->objectName());
        return false;
    }
};

} // namespace

class TestMainWindow : public WindowTestFixture
{
    Q_OBJECT

private:
    ORVAM* main = nullptr;

    void click(const char* name) { findRequired<QPushButton>(main, QLatin1String(name))->click(); }

    QAction* action(const char* name) { return findRequired<QAction>(main, QLatin1String(name)); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(setUp());
        book->addMemo({u"2026/12/06"_s, QString(), u"印刷"_s});
        main = ORVAM::instance(book->session);
        QVERIFY(main->loadSucceeded());
        main->setNormalState();
        main->showForm();
        QVERIFY(QTest::qWaitForWindowActive(main));
    }

    void cleanup() { tearDown(); }

    // The captions fit in the CJK fonts, and both commands fit on the narrow menu bar side by side.
    void layout()
    {
        QCOMPARE(clippedCaptions(main), QStringList());
        auto* bar = findRequired<QMenuBar>(main, u"menuBar"_s);
        QCOMPARE(bar->actions(), (QList<QAction*>{action("HELP_PRN"), action("MEMO_VER")}));
        QVERIFY2(bar->actionGeometry(action("MEMO_VER")).right() < bar->width(), "both commands fit on the bar");
        QVERIFY(action("HELP_PRN")->menu() == nullptr);
    }

    void everyWindowCarriesTheProgramIcon()
    {
        click("Command1");
        click("Command2");
        click("Command4");
        action("MEMO_VER")->trigger();
        for (QWidget* w :
             QList<QWidget*>{main, H_WRITE::ifLoaded(), H_PRN::ifLoaded(), H_PATH::ifLoaded(), I_VER::ifLoaded()}) {
            QVERIFY(w);
            const QList<QSize> sizes = w->windowIcon().availableSizes();
            QVERIFY2(sizes.contains(QSize(32, 32)) && sizes.contains(QSize(16, 16)), qPrintable(w->objectName()));
        }
    }

    void accessKeysRunTheMenuCommands()
    {
        QTest::keyClick(main, Qt::Key_H, Qt::AltModifier);
        QTRY_COMPARE(fakes->keySender.keys(), QStringList{u"{F1}"_s});
        QVERIFY(!fakes->keySender.sent.first().wait);
        QTest::keyClick(main, Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(I_VER::isLoaded() && I_VER::ifLoaded()->isVisible());
    }

    // A button shows the one window it opened again: the entry window restored to normal, the
    // application window as the user left it.
    void buttonShowsItsOneWindowAgain_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("restored");
        QTest::newRow("entry window") << u"Command1"_s << true;
        QTest::newRow("application window") << u"Command4"_s << false;
    }

    void buttonShowsItsOneWindowAgain()
    {
        QFETCH(QString, button);
        QFETCH(bool, restored);
        const auto shown = [&button]() -> QWidget* {
            return button == u"Command1"_s ? static_cast<QWidget*>(H_WRITE::ifLoaded()) : H_PATH::ifLoaded();
        };
        findRequired<QPushButton>(main, button)->click();
        QWidget* window = shown();
        QVERIFY(window && window->isVisible());
        window->showMinimized();
        findRequired<QPushButton>(main, button)->click();
        QCOMPARE(shown(), window);
        QCOMPARE(!(window->windowState() & Qt::WindowMinimized), restored);
    }

    void exitClosesTheOtherWindowsInOrder_data()
    {
        QTest::addColumn<bool>("byCloseBox");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("終了") << false << QStringList{"H_WRITE", "H_PRN", "I_VER", "ORVAM"};
        // The close box closes the main window first; its unload handler then closes the others.
        QTest::newRow("close box") << true << QStringList{"ORVAM", "H_WRITE", "H_PRN", "I_VER"};
    }

    void exitClosesTheOtherWindowsInOrder()
    {
        QFETCH(bool, byCloseBox);
        click("Command4");
        click("Command1");
        click("Command2");
        action("MEMO_VER")->trigger();
        CloseRecorder recorder;
        for (QWidget* w :
             QList<QWidget*>{main, H_WRITE::ifLoaded(), H_PRN::ifLoaded(), I_VER::ifLoaded(), H_PATH::ifLoaded()})
            recorder.watch(w);
        if (byCloseBox)
            main->close();
        else
            click("Command3");
        QTEST(recorder.closed, "order");
        QVERIFY(!ORVAM::isLoaded() && !H_WRITE::isLoaded() && !H_PRN::isLoaded() && !I_VER::isLoaded());
        QVERIFY2(H_PATH::isLoaded() && H_PATH::ifLoaded()->isVisible(), "the application window stays open");
    }

    // The version window sits directly above the main window, left-aligned with it, where the
    // screen has room for it there; where it has not, it is moved in until it is wholly on the
    // screen, keeping its size.
    void versionWindowSitsDirectlyAboveTheMainWindow_data()
    {
        QTest::addColumn<QPoint>("mainAt");
        QTest::addColumn<bool>("fitsAbove");
        QTest::newRow("middle of the screen") << QPoint(100, 400) << true;
        QTest::newRow("near the top edge") << QPoint(40, 10) << false;
        QTest::newRow("near the right edge") << QPoint(700, 400) << false;
    }

    void versionWindowSitsDirectlyAboveTheMainWindow()
    {
        QFETCH(QPoint, mainAt);
        QFETCH(bool, fitsAbove);
        main->move(mainAt);
        action("MEMO_VER")->trigger();
        I_VER* version = I_VER::ifLoaded();
        QVERIFY(version);
        const QRect room = version->screen()->availableGeometry();
        const QRect frame = version->frameGeometry();
        QVERIFY2(room.contains(frame),
                 qPrintable(u"%1,%2 %3x%4"_s.arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height())));
        QCOMPARE(frame.left() == main->frameGeometry().left() && frame.bottom() + 1 == main->frameGeometry().top(),
                 fitsAbove);
        QCOMPARE(version->size(), version->minimumSize()); // the written client size stays
        QCOMPARE(clippedCaptions(version), QStringList());
        QVERIFY(!findRequired<QLabel>(version, u"Image1"_s)->pixmap().isNull());

        // Moving the main window later does not move the open version window.
        const QPoint placed = version->pos();
        main->move(mainAt + QPoint(100, 150));
        action("MEMO_VER")->trigger();
        QCOMPARE(I_VER::ifLoaded(), version);
        QCOMPARE(version->pos(), placed);
        findRequired<QPushButton>(version, u"Command1"_s)->click();
        QVERIFY(!I_VER::isLoaded());
        action("MEMO_VER")->trigger();
        QVERIFY(I_VER::ifLoaded() != nullptr);
        QVERIFY(room.contains(I_VER::ifLoaded()->frameGeometry()));
    }
};

ORV_TEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
