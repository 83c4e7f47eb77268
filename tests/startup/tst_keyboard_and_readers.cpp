// What a user without a mouse, and a screen reader, get from the windows.
#include "app_registration/H_PATH.h"
#include "help_display/H_PRN.h"
#include "help_registration/H_WRITE.h"
#include "startup/I_VER.h"
#include "startup/ORVAM.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>

using namespace Qt::StringLiterals;

class TestKeyboardAndReaders : public WindowTestFixture
{
    Q_OBJECT

    ORVAM* main = nullptr;

    // Opens a window with the main window's button, as a click would.
    QWidget* open(const QString& button)
    {
        findRequired<QAbstractButton>(main, button)->click();
        QWidget* window = button == u"Command1"_s   ? static_cast<QWidget*>(H_WRITE::ifLoaded())
                          : button == u"Command2"_s ? static_cast<QWidget*>(H_PRN::ifLoaded())
                                                    : static_cast<QWidget*>(H_PATH::ifLoaded());
        return window && QTest::qWaitForWindowActive(window, 2000) ? window : nullptr;
    }

    // The accessible name of a widget as a screen reader gets it.
    static QString readName(QWidget* widget)
    {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
        return iface ? iface->text(QAccessible::Name) : QString();
    }

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

    void everyFieldIsNamedAndWindowsAreFrames_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("entry window") << u"Command1"_s;
        QTest::newRow("display window") << u"Command2"_s;
        QTest::newRow("application window") << u"Command4"_s;
    }

    // Every text box and combo box a user can reach has a name, which is not its value, and
    // the window is a frame.
    void everyFieldIsNamedAndWindowsAreFrames()
    {
        QFETCH(QString, button);
        QWidget* window = open(button);
        QVERIFY(window);
        QCOMPARE(QAccessible::queryAccessibleInterface(window)->role(), QAccessible::Window);
        QCOMPARE(QAccessible::queryAccessibleInterface(main)->role(), QAccessible::Window);
        QList<QWidget*> fields;
        for (QWidget* w : window->findChildren<QWidget*>()) {
            const bool field = qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
                               qobject_cast<QComboBox*>(w) ||
                               (qobject_cast<QAbstractItemView*>(w) && !qobject_cast<QHeaderView*>(w));
            // Boxes that are never shown hold values for the program only.
            if (field && !w->isHidden() && w->window() == window)
                fields << w;
        }
        QVERIFY(fields.size() >= 4);
        for (QWidget* field : fields) {
            const QString name = readName(field);
            const QString value = field->property("text").toString() + field->property("currentText").toString() +
                                  field->property("plainText").toString();
            QVERIFY2(!name.isEmpty(), qPrintable(field->objectName() + u" of "_s + window->objectName()));
            QVERIFY2(value.isEmpty() || name != value, qPrintable(field->objectName()));
        }
        // A field with a caption beside it is named by that caption.
        if (auto* caption = window->findChild<QLabel*>(u"Label3"_s); caption && caption->buddy())
            QCOMPARE(readName(caption->buddy()), caption->text());
    }

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
