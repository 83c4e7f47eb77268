// The entry window's controls: where they stand, what they say, the tab order, and which
// record sets and fields they show.
#include "HWriteFixture.h"

#include "db/Catalogue.h"
#include "platform/Twips.h"
#include "support/TestMain.h"

#include <QPlainTextEdit>
#include <QToolButton>

class TestHWriteLayout : public WindowTestFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }

    void cleanup() { tearDown(); }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<bool>("visible");
        auto row = [](const char* name, const char* caption, int l, int t, int w, int h, bool visible = true) {
            QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(caption) << QRect(l, t, w, h)
                                << visible;
        };
        row("Label2(0)", "ID", 120, 120, 732, 252);
        row("Label1", "", 1080, 120, 1452, 252);
        row("Text1", "", 3120, 0, 2292, 264, false);
        row("Label2(1)", "日付", 120, 480, 732, 252);
        row("Text3", "", 1080, 480, 2412, 264);
        row("Command2", "設定ファイル表示", 4320, 480, 1932, 252);
        row("Label3", "表示ﾌｧｲﾙ", 120, 840, 972, 252);
        row("Text4", "", 1080, 840, 4332, 264);
        row("Command12", "設定", 5520, 840, 732, 264);
        row("Label2(2)", "ｷｰﾜｰﾄﾞ", 120, 1200, 732, 252);
        row("DBCombo1", "", 1080, 1200, 5172, 276);
        row("Label2(3)", "検索キー１", 120, 1560, 972, 252);
        row("DBCombo4", "", 1080, 1560, 3852, 276);
        row("Label2(4)", "検索キー２", 120, 1920, 972, 252);
        row("DBCombo2", "", 1080, 1920, 3852, 276);
        row("Command1", "ヘルプ", 5520, 1920, 732, 276);
        row("Label4", "アプリＩＤ", 120, 2280, 732, 252);
        row("DBCombo7", "", 1080, 2280, 2532, 276);
        row("DBCombo3", "", 3720, 2280, 2532, 276);
        row("Label2(5)", "メモ", 120, 2640, 732, 252);
        row("Command13", "アプリケーション登録", 4320, 2640, 1932, 252);
        row("Text2", "", 120, 2880, 6132, 2172);
        row("Text8", "", 240, 3240, 5412, 264, false);
        row("Text9", "", 240, 3600, 1212, 264, false);
        row("Command3", "先頭", 120, 5160, 612, 612);
        row("Command4", "前", 720, 5160, 612, 612);
        row("Command5", "次", 1320, 5160, 612, 612);
        row("Command6", "最後", 1920, 5160, 612, 612);
        row("Command7", "保存", 2640, 5160, 612, 612);
        row("Command8", "取消", 3240, 5160, 612, 612);
        row("Command9", "追加", 3840, 5160, 612, 612);
        row("Command10", "削除", 4440, 5160, 612, 612);
        row("Command11", "終了", 5520, 5160, 732, 612);
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QFETCH(bool, visible);
        HWriteWindow w = HWriteWindow::open();
        QCOMPARE(w.form->windowTitle(), QStringLiteral("ヘルプ登録"));
        QCOMPARE(w.form->client()->size(), Twips::size(6372, 5856));

        QWidget* c = findRequired<QWidget>(w.form, name);
        QCOMPARE(c->parentWidget(), w.form->client());
        const QRect expected = Twips::rect(twips.x(), twips.y(), twips.width(), twips.height());
        QCOMPARE(c->isVisible(), visible);
        const int captionWidth = c->fontMetrics().horizontalAdvance(caption);
        if (auto* b = qobject_cast<QAbstractButton*>(c)) {
            QCOMPARE(c->geometry(), expected);
            QCOMPARE(b->text(), caption);
            QVERIFY2(captionWidth <= b->width() - 4, "caption clipped");
        } else if (auto* l = qobject_cast<QLabel*>(c); l && !caption.isEmpty()) {
            // A caption may widen its label into the free room before the entry fields.
            QCOMPARE(l->text(), caption);
            QCOMPARE(l->pos(), expected.topLeft());
            QCOMPARE(l->height(), expected.height());
            QVERIFY(l->width() == expected.width() ||
                    (l->width() > expected.width() && l->geometry().right() < Twips::toPixels(1080)));
            QVERIFY2(captionWidth <= l->contentsRect().width(), "caption clipped");
        } else {
            QCOMPARE(c->geometry(), expected);
        }
    }

    void navigationButtonsShowTheirPictureAboveTheCaption()
    {
        HWriteWindow w = HWriteWindow::open();
        for (const char* name : {"Command3", "Command4", "Command5", "Command6"}) {
            auto* b = w.get<QToolButton>(name);
            QVERIFY2(!b->icon().isNull(), name);
            QCOMPARE(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
            QCOMPARE(b->iconSize(), QSize(16, 16));
        }
        QVERIFY(w.get<QAbstractButton>("Command11")->icon().isNull());
        QCOMPARE(w.label1()->palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(w.label1()->autoFillBackground());
    }

    void tabOrderFollowsTheTabIndexes()
    {
        HWriteWindow w = HWriteWindow::open();
        // Visible controls that take the focus, by tab index.
        const QStringList expected = {"Text4",     "DBCombo1",  "DBCombo4", "DBCombo2",  "Text2",     "Command2",
                                      "Command12", "Command1",  "Command3", "Command4",  "Command5",  "Command6",
                                      "Command7",  "Command8",  "Command9", "Command10", "Command11", "Text3",
                                      "DBCombo7",  "Command13", "DBCombo3"};
        // Entering the memo and date boxes moves the record set: it needs a record.
        QStringList seen;
        QWidget* start = w.get("Text4");
        start->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < expected.size(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            while (focus && !expected.contains(focus->objectName()))
                focus = focus->parentWidget();
            QVERIFY(focus);
            seen.append(focus->objectName());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(seen, expected);
        QVERIFY(hasFocus(w.get("Text4")));
    }

    void recordSetsAndBindings()
    {
        book->addApplication(QStringLiteral("XL"), QStringLiteral("/usr/bin/xl"));
        book->addApplication(QStringLiteral("HLP"), QString());
        book->addMemo({"2024/05/01", "/f", "語B", "鍵1", "鍵2", "XL", "メモ1"});
        book->addMemo({"2024/06/01", "", "語A", "鍵1", "", "未登録", "メモ2"});
        HWriteWindow w = HWriteWindow::open();

        const std::pair<const char*, QString> sources[] = {
            {"Data1", Catalogue::AllMemosForEntry}, {"Data2", Catalogue::KeywordList},
            {"Data3", Catalogue::SearchKey1List},   {"Data4", Catalogue::SearchKey2List},
            {"Data5", Catalogue::AllApplications},  {"Data6", Catalogue::MemoAppIdList}};
        for (const auto& [name, source] : sources) {
            RecordSet* r = w.data(name);
            QCOMPARE(r->recordSource(), source);
            QCOMPARE(r->databaseName(), book->dbPath());
        }
        QCOMPARE(w.combo("DBCombo1")->listItems(), (QStringList{"語A", "語B"}));
        QCOMPARE(w.combo("DBCombo4")->listItems(), QStringList{"鍵1"});
        QVERIFY(w.combo("DBCombo2")->listItems().contains(QStringLiteral("鍵2")));
        QCOMPARE(w.combo("DBCombo3")->listItems(), (QStringList{"HLP", "XL"}));
        QVERIFY(w.combo("DBCombo7")->listItems().contains(QStringLiteral("未登録")));
        QVERIFY(w.combo("DBCombo7")->listItems().contains(QStringLiteral("XL")));
        QCOMPARE(w.text("Text1")->text(), QStringLiteral("2024/05/01"));
        QCOMPARE(w.text("Text4")->text(), QStringLiteral("/f"));
        QCOMPARE(w.text("Text9")->text(), QStringLiteral("XL"));
        QCOMPARE(w.text("Text8")->text(), QStringLiteral("/usr/bin/xl"));
    }
};

ORV_TEST_MAIN(TestHWriteLayout)
#include "tst_h_write_layout.moc"
