// The entry fields of the entry window: the date box, the storing on entering the memo and
// date boxes, the file choice, the copy of an application ID, the opening of the file, and
// values that are awkward for a query text or a control.
#include "HWriteFixture.h"

#include "db/Messages.h"
#include "platform/FileDialog.h"
#include "support/TestMain.h"

#include <QPlainTextEdit>

class TestHWriteEntry : public HWriteTestFixture
{
    Q_OBJECT

    static void pressEnter(QWidget* control, Qt::Key key = Qt::Key_Return) { QTest::keyClick(control, key); }

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }

    void cleanup() { tearDown(); }

    void dateTypedWithoutEnterChangesNothing()
    {
        const qint64 id = book->addMemo({"2024/05/01", "", "", "", "", "", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        TextBox* dateBox = w.text("Text3");
        dateBox->setFocus(Qt::MouseFocusReason);
        retype(dateBox, QStringLiteral("2025/01/02"));
        QCOMPARE(w.form->addInProgress(), 0);
        QCOMPARE(w.text("Text1")->text(), QStringLiteral("2024/05/01"));

        QTest::mouseClick(w.memo()->viewport(), Qt::LeftButton);
        QVERIFY(hasFocus(w.memo()));
        QCOMPARE(dateBox->text(), QStringLiteral("2024年5月1日"));
        w.click("Command7");
        w.form->close();
        QCOMPARE(stored(id, QStringLiteral("日付")).toString(), QStringLiteral("2024/05/01"));
    }

    void enterStoresTheDateBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("shown");
        QTest::newRow("short form") << "2025/1/2" << int(Qt::Key_Return) << "2025年1月2日";
        QTest::newRow("long form, keypad Enter") << "2025年12月31日" << int(Qt::Key_Enter) << "2025年12月31日";
        QTest::newRow("ISO") << "2025-03-04" << int(Qt::Key_Return) << "2025年3月4日";
        QTest::newRow("not a date") << "来週の月曜日" << int(Qt::Key_Return) << "来週の月曜日";
        QTest::newRow("impossible date") << "2026/13/45" << int(Qt::Key_Return) << "2026/13/45";
        QTest::newRow("notation characters") << "'%+{F4}~" << int(Qt::Key_Return) << "'%+{F4}~";
        QTest::newRow("empty") << "" << int(Qt::Key_Return) << "";
    }

    void enterStoresTheDateBox()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QString, shown);
        const qint64 id = book->addMemo({"2024/05/01", "", "", "", "", "", "一件目"});
        book->addMemo({"2024/06/01", "", "", "", "", "", "二件目"});
        HWriteWindow w = HWriteWindow::open();
        TextBox* dateBox = w.text("Text3");
        dateBox->setFocus(Qt::MouseFocusReason);
        dateBox->setText(typed);
        pressEnter(dateBox, Qt::Key(key));

        QCOMPARE(w.text("Text1")->text(), typed);
        QCOMPARE(dateBox->text(), shown);
        QVERIFY(hasFocus(w.combo("DBCombo1")));
        // Not stored before the next save or move.
        QCOMPARE(stored(id, QStringLiteral("日付")).toString(), QStringLiteral("2024/05/01"));

        w.click("Command5");
        QCOMPARE(stored(id, QStringLiteral("日付")).toString(), typed);
        QCOMPARE(dateBox->text(), QStringLiteral("2024年6月1日"));
        w.click("Command4");
        QCOMPARE(w.text("Text1")->text(), typed);
        QCOMPARE(dateBox->text(), shown);
    }

    void otherKeysInTheDateBoxOnlyType()
    {
        book->addMemo({"2024/05/01", "", "", "", "", "", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        TextBox* dateBox = w.text("Text3");
        dateBox->setFocus(Qt::MouseFocusReason);
        dateBox->setText(QStringLiteral("2025/01/0"));
        QTest::keyClick(dateBox, Qt::Key_2);
        QTest::keyClick(dateBox, Qt::Key_Tab);
        QCOMPARE(dateBox->text(), QStringLiteral("2025/01/02"));
        QCOMPARE(w.text("Text1")->text(), QStringLiteral("2024/05/01"));
    }

    void pickedKeywordIsStoredByEnteringTheMemoBox()
    {
        const qint64 id = book->addMemo({"2024/05/01", "", "印刷", "", "", "", "一件目"});
        book->addMemo({"2024/06/01", "", "保存", "", "", "", "二件目"});
        HWriteWindow w = HWriteWindow::open();
        ComboBox* keyword = w.combo("DBCombo1");
        keyword->setFocus(Qt::MouseFocusReason);
        keyword->setCurrentIndex(keyword->findText(QStringLiteral("保存")));
        QCOMPARE(keyword->text(), QStringLiteral("保存"));

        QTest::mouseClick(w.memo()->viewport(), Qt::LeftButton);
        QCOMPARE(stored(id, QStringLiteral("ｷｰﾜｰﾄﾞ")).toString(), QStringLiteral("保存"));
        QCOMPARE(w.id(), id);

        // A new keyword is stored the same way but not yet offered in the list.
        keyword->setFocus(Qt::MouseFocusReason);
        retype(keyword, QStringLiteral("新語"));
        QTest::mouseClick(w.memo()->viewport(), Qt::LeftButton);
        QCOMPARE(stored(id, QStringLiteral("ｷｰﾜｰﾄﾞ")).toString(), QStringLiteral("新語"));
        QVERIFY(!keyword->listItems().contains(QStringLiteral("新語")));
        w.click("Command7");
        QVERIFY(keyword->listItems().contains(QStringLiteral("新語")));
    }

    void enteringWithoutARecordWarns_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("message");
        QTest::newRow("memo box") << "Text2" << Messages::SaveFailure;
        QTest::newRow("date box") << "Text3" << Messages::SaveFailureDateBox;
    }

    void enteringWithoutARecordWarns()
    {
        QFETCH(QString, box);
        QFETCH(QString, message);
        book->addMemo({"2024/05/01", "", "印刷", "", "", "", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Yes);
        QTest::mouseClick(w.get("Command10"), Qt::LeftButton);
        QVERIFY(w.label1()->text().isEmpty());
        QVERIFY(!hasFocus(w.memo()));

        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QWidget* target = w.get(box.toUtf8().constData());
        if (box == QLatin1String("Text2"))
            QTest::mouseClick(w.memo()->viewport(), Qt::LeftButton);
        else
            QTest::mouseClick(target, Qt::LeftButton);
        QVERIFY(hasFocus(target));
        QCOMPARE(fakes->messageBox.asked.size(), 2);
        const MessageBox::Request& shown = fakes->messageBox.asked.last();
        QCOMPARE(shown.text, message);
        QCOMPARE(shown.icon, MessageBox::Icon::Exclamation);
        QCOMPARE(shown.buttons, MessageBox::Buttons::Ok);
        QCOMPARE(messageLines(shown.text).size(), 3);
        QCOMPARE(messageLines(shown.text).last().contains(QStringLiteral("取消すか")), box == QLatin1String("Text2"));

        // The message box takes the focus and, when it closes, gives it back to the box:
        // that does not warn again.
        QWidget messageWindow;
        QVERIFY(activate(&messageWindow));
        QVERIFY(activate(w.form));
        QVERIFY(hasFocus(target));
        QCOMPARE(fakes->messageBox.asked.size(), 2);

        // Coming back into the box from another program later is entering it again.
        QWidget otherProgram;
        QVERIFY(activate(&otherProgram));
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QVERIFY(activate(w.form));
        QCOMPARE(fakes->messageBox.asked.size(), 3);
        QCOMPARE(fakes->messageBox.asked.last().text, message);
        QCOMPARE(book->count(QStringLiteral("メモ帳")), 0);
    }

    void enteringTheMemoBoxOnTheFirstRecordStaysThere_data()
    {
        QTest::addColumn<bool>("byTab");
        QTest::newRow("mouse") << false;
        QTest::newRow("tab") << true;
    }

    void enteringTheMemoBoxOnTheFirstRecordStaysThere()
    {
        QFETCH(bool, byTab);
        const qint64 first = book->addMemo({"2024/05/01", "", "印刷", "", "", "", "一件目"});
        const qint64 second = book->addMemo({"2024/06/01", "", "保存", "", "", "", "二件目"});
        HWriteWindow w = HWriteWindow::open();
        QCOMPARE(w.id(), first);
        // The memo box comes after the second search key in the tab order.
        w.combo("DBCombo2")->setFocus(Qt::MouseFocusReason);
        retype(w.combo("DBCombo2"), QStringLiteral("キー2"));
        if (byTab)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        else
            QTest::mouseClick(w.memo()->viewport(), Qt::LeftButton);
        QVERIFY(hasFocus(w.memo()));
        QCOMPARE(w.id(), first);
        QCOMPARE(stored(first, QStringLiteral("検索キー２")).toString(), QStringLiteral("キー2"));
        QVERIFY(stored(second, QStringLiteral("検索キー２")).toString().isEmpty());
    }

    void choosingTheMemoFile()
    {
        const qint64 id = book->addMemo({"2024/05/01", "/old/file.txt", "", "", "", "", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        TextBox* file = w.text("Text4");

        fakes->fileDialog.answers.enqueue(std::nullopt);
        w.click("Command12");
        QCOMPARE(file->text(), QStringLiteral("/old/file.txt"));
        QVERIFY(fakes->messageBox.asked.isEmpty());

        const QString chosen = QStringLiteral("/home/利用者/説明 書/it's 100%.HLP");
        fakes->fileDialog.answers.enqueue(chosen);
        w.click("Command12");
        QCOMPARE(file->text(), chosen);
        QCOMPARE(stored(id, QStringLiteral("ヘルプファイル")).toString(), QStringLiteral("/old/file.txt"));

        fakes->fileDialog.answers.enqueue(std::nullopt);
        w.click("Command12");
        QCOMPARE(file->text(), chosen);

        QCOMPARE(fakes->fileDialog.asked.size(), 3);
        for (const FileDialog::Request& asked : fakes->fileDialog.asked) {
            QCOMPARE(asked.title, QStringLiteral("ヘルプファイルを登録して下さい"));
            QCOMPARE(asked.filter,
                     QStringLiteral("全ファイル(*.*)|*.*|(*.DOC)|*.DOC|(*.XLS)|*.XLS|(*.MDB)|*.MDB|(*.HLP)|*.HLP|"));
            QCOMPARE(asked.initialName, QStringLiteral("Name"));
            QCOMPARE(asked.flags, int(FileDialog::HideReadOnly));
        }
        const QList<FileDialog::FilterEntry> entries = FileDialog::parseFilter(fakes->fileDialog.asked[2].filter);
        QCOMPARE(entries.size(), 5);
        QCOMPARE(entries.first().description, QStringLiteral("全ファイル(*.*)"));

        w.click("Command7");
        QCOMPARE(stored(id, QStringLiteral("ヘルプファイル")).toString(), chosen);
    }

    void copyingTheApplicationId_data()
    {
        QTest::addColumn<QString>("registered");
        QTest::addColumn<QString>("expected");
        QTest::newRow("registered ID") << "ワード'97"
                                       << "ワード'97";
        QTest::newRow("nothing chosen") << ""
                                        << "";
    }

    void copyingTheApplicationId()
    {
        QFETCH(QString, registered);
        QFETCH(QString, expected);
        book->addApplication(QStringLiteral("ワード'97"), QStringLiteral("/usr/bin/word"));
        const qint64 id = book->addMemo({"2024/05/01", "", "", "", "", "XL", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        ComboBox* registeredIds = w.combo("DBCombo3");
        QCOMPARE(registeredIds->toolTip(), QStringLiteral("アプリケーション登録で登録して下さい。"));
        QCOMPARE(registeredIds->listItems(), QStringList{QStringLiteral("ワード'97")});
        if (!registered.isEmpty())
            registeredIds->setCurrentIndex(registeredIds->findText(registered));
        w.click("Command13");
        QCOMPARE(w.combo("DBCombo7")->text(), expected);
        w.click("Command7");
        QCOMPARE(stored(id, QStringLiteral("予備１")).toString(), expected);
    }

    void openingTheFileWithABlankKeywordSendsNoKeys_data()
    {
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QString>("keyword");
        QTest::newRow("HLP, empty keyword") << "HLP"
                                            << "";
        QTest::newRow("no application, blank keyword") << ""
                                                       << " ";
        QTest::newRow("not registered, empty keyword") << "未登録"
                                                       << "";
    }

    void openingTheFileWithABlankKeywordSendsNoKeys()
    {
        QFETCH(QString, appId);
        QFETCH(QString, keyword);
        book->addApplication(QStringLiteral("HLP"), QStringLiteral("/usr/bin/ignored"));
        book->addMemo({"2024/05/01", "/help/a b.html", keyword, "", "", appId, "一件目"});
        HWriteWindow w = HWriteWindow::open();
        w.click("Command2");
        QCOMPARE(fakes->processStarter.started.size(), 1);
        QCOMPARE(fakes->processStarter.started.first().commandLine, QStringLiteral("WINHLP32.EXE /help/a b.html"));
        QCOMPARE(fakes->processStarter.started.first().arguments, QStringList{QStringLiteral("/help/a b.html")});
        QVERIFY(fakes->keySender.sent.isEmpty());
    }

    void openingTheFileUsesWhatTheControlsHold()
    {
        book->addApplication(QStringLiteral("HLP"), QStringLiteral(""));
        book->addApplication(QStringLiteral("O'Reilly"), QStringLiteral("/usr/bin/reader"));
        const qint64 id = book->addMemo({"2024/05/01", "", "", "", "", "", "一件目"});
        HWriteWindow w = HWriteWindow::open();

        // Typed but not saved: the keyword goes to the help viewer as literal text.
        retype(w.combo("DBCombo1"), QStringLiteral("C++ %{F4}"));
        retype(w.text("Text4"), QStringLiteral("/help/x.html"));
        w.click("Command2");
        QCOMPARE(fakes->processStarter.started.last().program, QStringLiteral("WINHLP32.EXE"));
        QCOMPARE(fakes->keySender.keys(),
                 (QStringList{QStringLiteral("%I"), QStringLiteral("C{+}{+} {%}{{}F4{}}"), QStringLiteral("%D")}));
        // No application ID: the lookup found nothing, and the list shows nothing.
        QVERIFY(w.combo("DBCombo3")->listItems().isEmpty());

        // An application ID with an apostrophe is found.
        retype(w.combo("DBCombo7"), QStringLiteral("O'Reilly"));
        w.click("Command2");
        QCOMPARE(fakes->processStarter.started.size(), 2);
        QCOMPARE(fakes->processStarter.started.last().commandLine, QStringLiteral("/usr/bin/reader /help/x.html"));
        QCOMPARE(w.text("Text8")->text(), QStringLiteral("/usr/bin/reader"));
        QCOMPARE(w.combo("DBCombo3")->listItems(), QStringList{QStringLiteral("O'Reilly")});
        QVERIFY(stored(id, QStringLiteral("予備１")).toString().isEmpty());

        // The registered applications come back with the next command that re-reads lists.
        w.click("Command5");
        QCOMPARE(w.combo("DBCombo3")->listItems().size(), 2);
        QCOMPARE(stored(id, QStringLiteral("予備１")).toString(), QStringLiteral("O'Reilly"));
    }

    void awkwardValuesAreStoredAndShownAsTyped_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        const QString awkward[] = {QStringLiteral("it's"),
                                   QStringLiteral("100%"),
                                   QStringLiteral("C++"),
                                   QStringLiteral("{F1}"),
                                   QStringLiteral("ＡＢＣ　全角'％"),
                                   QStringLiteral("' OR 1=1 --")};
        const std::pair<const char*, const char*> fields[] = {{"DBCombo1", "ｷｰﾜｰﾄﾞ"},
                                                              {"DBCombo4", "検索キー１"},
                                                              {"DBCombo2", "検索キー２"},
                                                              {"DBCombo7", "予備１"},
                                                              {"Text4", "ヘルプファイル"}};
        for (const auto& [control, field] : fields) {
            for (const QString& value : awkward)
                QTest::addRow("%s %s", control, qPrintable(value)) << control << field << value;
        }
        QTest::newRow("memo of 100,000 characters") << "Text2"
                                                    << "メモ" << QString(100000, QChar(u'あ'));
        QTest::newRow("memo with line breaks and tabs") << "Text2"
                                                        << "メモ"
                                                        << "一\n\t二\n\n三 ";
    }

    void awkwardValuesAreStoredAndShownAsTyped()
    {
        QFETCH(QString, control);
        QFETCH(QString, field);
        QFETCH(QString, value);
        const qint64 first = book->addMemo({"2024/05/01", "", "", "", "", "", ""});
        book->addMemo({"2024/06/01", "", "", "", "", "", ""});
        HWriteWindow w = HWriteWindow::open();
        QWidget* target = w.get(control.toUtf8().constData());
        target->setFocus(Qt::MouseFocusReason);
        retype(target, value);

        w.click("Command7");
        QVERIFY(fakes->messageBox.asked.isEmpty());
        QCOMPARE(stored(first, field).toString(), value);
        if (auto* combo = qobject_cast<ComboBox*>(target))
            QVERIFY(combo->listItems().contains(value));

        w.click("Command6");
        w.click("Command3");
        QCOMPARE(w.id(), first);
        const QString shown = control == QLatin1String("Text2") ? w.memo()->text()
                              : control.startsWith(QLatin1String("DBCombo"))
                                  ? w.combo(control.toUtf8().constData())->text()
                                  : w.text(control.toUtf8().constData())->text();
        QCOMPARE(shown, value);
    }
};

ORV_TEST_MAIN(TestHWriteEntry)
#include "tst_h_write_entry.moc"
