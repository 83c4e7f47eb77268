// What a user without a mouse gets from the windows: Enter presses the focused button.
#include "help_registration/H_WRITE.h"
#include "startup/I_VER.h"
#include "startup/ORVAM.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QComboBox>
#include <QLabel>

using namespace Qt::StringLiterals;

class TestKeyboardAndReaders : public WindowTestFixture
{
    Q_OBJECT

    ORVAM* main = nullptr;

private Q_SLOTS:
    void init()
    {
        QVERIFY(setUp());
        book->addMemo({"2026/12/06", "/doc/a.hlp", "印刷", "余白", "用紙", "HLP", "余白を変える"});
        book->addApplication(u"HLP"_s, u"/usr/bin/true"_s);
        main = ORVAM::instance(book->session);
        QVERIFY(activate(main));
    }
    void cleanup() { tearDown(); }

    // Enter on a focused button presses it, push buttons and the pictured navigation buttons
    // alike; Escape answers the version window.
    void enterPressesTheFocusedButton()
    {
        auto press = [](QWidget* window, const QString& name) {
            QWidget* button = findRequired<QWidget>(window, name);
            button->setFocus(Qt::TabFocusReason);
            QTest::keyClick(button, Qt::Key_Return);
        };
        press(main, u"Command1"_s);
        H_WRITE* entry = H_WRITE::ifLoaded();
        QVERIFY(entry && QTest::qWaitForWindowActive(entry, 2000));
        press(entry, u"Command9"_s);
        QCOMPARE(book->count(u"メモ帳"_s), 2);
        press(entry, u"Command3"_s);
        QCOMPARE(findRequired<QLabel>(entry, u"Label1"_s)->text(), u"1"_s);
        // Enter in the keyword box is no button press.
        QTest::keyClick(findRequired<QComboBox>(entry, u"DBCombo1"_s)->lineEdit(), Qt::Key_Enter);
        QCOMPARE(book->count(u"メモ帳"_s), 2);

        QVERIFY(activate(main));
        QTest::keyClick(main, Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(I_VER::isLoaded());
        QVERIFY(QTest::qWaitForWindowActive(I_VER::ifLoaded(), 2000));
        QTest::keyClick(I_VER::ifLoaded(), Qt::Key_Escape);
        QTRY_VERIFY(!I_VER::isLoaded());
    }
};

ORV_TEST_MAIN(TestKeyboardAndReaders)
#include "tst_keyboard_and_readers.moc"
