#include "support/TestMain.h"
#include "widgets/MemoBox.h"

#include <QClipboard>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

// The memo box holds memos with CR LF line ends and every other character exactly, and
// copies plain text only.
class TestMemoBox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QApplication::clipboard()->clear(); }

    void lineEndsBecomeCrLf_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("held");
        QTest::newRow("LF") << u"一行目\n二行目"_s << u"一行目\r\n二行目"_s;
        QTest::newRow("CR") << u"一行目\r二行目"_s << u"一行目\r\n二行目"_s;
        QTest::newRow("CR LF") << u"一行目\r\n二行目"_s << u"一行目\r\n二行目"_s;
        QTest::newRow("mixed, empty lines, line end last")
            << u"a\r\n\r\nb\n\nc\r\rd\n"_s << u"a\r\n\r\nb\r\n\r\nc\r\n\r\nd\r\n"_s;
        QTest::newRow("LF CR is two line ends") << u"a\n\rb"_s << u"a\r\n\r\nb"_s;
        QTest::newRow("other blanks kept")
            << u"\t全角　no-break\u00a0line\u2028sep "_s << u"\t全角　no-break\u00a0line\u2028sep "_s;
    }

    // Written by code, pasted, or typed with Enter between the lines: the same text.
    void lineEndsBecomeCrLf()
    {
        QFETCH(QString, given);
        MemoBox box;
        box.setText(given);
        QTEST(box.text(), "held");

        MemoBox pasted;
        QApplication::clipboard()->setText(given);
        pasted.paste();
        QTEST(pasted.text(), "held");

        MemoBox typed;
        QSignalSpy changes(&typed, &MemoBox::changed);
        const QStringList lines = given.split(QRegularExpression(u"\r\n|\r|\n"_s));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(&typed, Qt::Key_Return);
            typed.insertPlainText(lines[i]);
        }
        QTEST(typed.text(), "held");
        QVERIFY(!changes.isEmpty());
    }

    // A memo of a million characters on one line is held exactly, and select all + copy puts all
    // of it on the clipboard, as plain text with the line ends of the system.
    void longMemoKeptAndCopiedWhole()
    {
        QString memo;
        while (memo.size() < 1000000)
            memo += u"差し込み印刷の設定は「ファイル」メニューから。\u00a0Ctrl+P\t"_s;
        memo += u"\r\n最後の行"_s;
        MemoBox box;
        box.resize(400, 200);
        box.show();
        box.setText(memo);
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(box.text().size(), memo.size());
        QVERIFY(box.text() == memo);
        QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
        const QMimeData* copied = QApplication::clipboard()->mimeData();
        QVERIFY(copied);
        QCOMPARE(copied->formats(), QStringList{u"text/plain"_s});
        QVERIFY(copied->text() == QString(memo).replace(u"\r\n"_s, u"\n"_s));
    }

    void linesRunOnUnlessTooLongToScroll_data()
    {
        QTest::addColumn<int>("longest");
        QTest::addColumn<bool>("wraps");
        QTest::newRow("a memo's usual lines") << 300 << false;
        QTest::newRow("a line of a million characters") << 1000000 << true;
    }

    // As a memo box with both scroll bars, lines run on past the box's width; a line too long to
    // scroll along wraps, and the box goes back to scrolling for the next memo.
    void linesRunOnUnlessTooLongToScroll()
    {
        QFETCH(int, longest);
        QFETCH(bool, wraps);
        MemoBox box;
        box.resize(300, 120);
        box.show();
        box.setText(u"短い行\r\n"_s + QString(longest, u'長') + u"\r\n終わり"_s);
        QCOMPARE(box.lineWrapMode() == QPlainTextEdit::WidgetWidth, wraps);
        QCOMPARE(box.horizontalScrollBar()->maximum() > 0, !wraps);
        box.setText(u"別のメモ"_s);
        QCOMPARE(box.lineWrapMode(), QPlainTextEdit::NoWrap);
    }

    // Showing the same memo again changes nothing the user sees: the scroll position stays.
    void sameMemoShownAgainKeepsItsPlace()
    {
        QString memo;
        for (int i = 0; i < 200; ++i)
            memo += u"行 %1\r\n"_s.arg(i);
        MemoBox box;
        box.resize(300, 120);
        box.show();
        box.setText(memo);
        box.verticalScrollBar()->setValue(50);
        QSignalSpy changes(&box, &MemoBox::changed);
        box.setText(memo); // as stored
        box.setText(QString(memo).replace(u"\r\n"_s, u"\n"_s));
        QCOMPARE(box.verticalScrollBar()->value(), 50);
        QCOMPARE(changes.count(), 2);
        box.setText(u"別のメモ"_s);
        QCOMPARE(box.verticalScrollBar()->value(), 0);
        QCOMPARE(changes.count(), 3); // once for each write
    }
};

ORV_TEST_MAIN(TestMemoBox)
#include "tst_memo_box.moc"
