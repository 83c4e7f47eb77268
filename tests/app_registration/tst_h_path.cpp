#include "app_registration/H_PATH.h"
#include "db/Connection.h"
#include "db/DataGrid.h"
#include "db/Messages.h"
#include "db/RecordSet.h"
#include "platform/ComboBox.h"
#include "platform/Twips.h"
#include "startup/Globals.h"
#include "startup/ORVAM.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <sqlite3.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace {

// Another writer on the same file: a connection of its own holds the write lock for a
// while, as a second running copy of the program would in the middle of a save.
class WriteLock
{
public:
    WriteLock(const QString& path, int holdMs)
    {
        std::promise<bool> held;
        std::future<bool> taken = held.get_future();
        m_thread = std::thread([path = path.toUtf8(), holdMs, held = std::move(held)]() mutable {
            sqlite3* db = nullptr;
            const bool ok = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
                            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
            held.set_value(ok);
            if (ok) {
                std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
                sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            }
            sqlite3_close(db);
        });
        m_held = taken.get();
    }
    ~WriteLock() { m_thread.join(); }
    bool held() const { return m_held; }

private:
    std::thread m_thread;
    bool m_held = false;
};

} // namespace

class TestH_PATH : public WindowTestFixture
{
    Q_OBJECT

private:
    H_PATH* open()
    {
        H_PATH* w = H_PATH::instance();
        w->showForm();
        if (!activate(w))
            qWarning("the window did not become active");
        return w;
    }
    static ComboBox* pathCombo(H_PATH* w) { return findRequired<ComboBox>(w, QStringLiteral("DBCombo1")); }
    static ComboBox* idCombo(H_PATH* w) { return findRequired<ComboBox>(w, QStringLiteral("DBCombo2")); }
    static QString idLabel(H_PATH* w) { return findRequired<QLabel>(w, QStringLiteral("Label1"))->text(); }
    static DataGrid* grid(H_PATH* w) { return findRequired<DataGrid>(w, QStringLiteral("DBGrid1")); }
    static void click(H_PATH* w, const QString& name)
    {
        QTest::mouseClick(findRequired<QAbstractButton>(w, name), Qt::LeftButton);
    }
    // Replaces the text of a combo box as the user does: select all, then type.
    static void type(ComboBox* combo, const QString& text)
    {
        combo->setFocus();
        combo->lineEdit()->selectAll();
        if (text.isEmpty()) {
            QTest::keyClick(combo->lineEdit(), Qt::Key_Backspace);
            return;
        }
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, text);
        QCoreApplication::sendEvent(combo->lineEdit(), &press);
    }
    QList<QVariantList> table()
    {
        return book->rows(QStringLiteral("SELECT ID, アプリＩＤ, パス FROM パス ORDER BY ID"));
    }
    QString stored(qint64 id, const QString& field)
    {
        return book->scalar(QStringLiteral("SELECT %1 FROM パス WHERE ID = %2").arg(field).arg(id)).toString();
    }

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }

    void cleanup() { tearDown(); }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");

        QTest::newRow("Label4") << "Label4"
                                << "アプリケーションとアプリＩＤを登録して下さい。" << QRect(120, 120, 3492, 252);
        QTest::newRow("DBCombo1") << "DBCombo1"
                                  << "" << QRect(120, 480, 7092, 276);
        QTest::newRow("Label3") << "Label3"
                                << "アプリＩＤ" << QRect(120, 840, 732, 252);
        QTest::newRow("DBCombo2") << "DBCombo2"
                                  << "" << QRect(960, 840, 2652, 276);
        QTest::newRow("Command2") << "Command2"
                                  << "ヘルプ" << QRect(4440, 840, 732, 372);
        QTest::newRow("Command13") << "Command13"
                                   << "アプリケーション登録" << QRect(5280, 840, 1932, 372);
        QTest::newRow("Label1") << "Label1"
                                << "" << QRect(3840, 1080, 1452, 252);
        QTest::newRow("DBGrid1") << "DBGrid1"
                                 << "" << QRect(120, 1320, 7092, 1332);
        QTest::newRow("Command3") << "Command3"
                                  << "先頭" << QRect(120, 2760, 612, 612);
        QTest::newRow("Command1") << "Command1"
                                  << "前" << QRect(720, 2760, 612, 612);
        QTest::newRow("Command5") << "Command5"
                                  << "次" << QRect(1320, 2760, 612, 612);
        QTest::newRow("Command6") << "Command6"
                                  << "最後" << QRect(1920, 2760, 612, 612);
        QTest::newRow("Command7") << "Command7"
                                  << "保存" << QRect(3000, 2760, 612, 612);
        QTest::newRow("Command8") << "Command8"
                                  << "取消" << QRect(4080, 2760, 612, 612);
        QTest::newRow("Command9") << "Command9"
                                  << "追加" << QRect(4680, 2760, 612, 612);
        QTest::newRow("Command10") << "Command10"
                                   << "削除" << QRect(5280, 2760, 612, 612);
        QTest::newRow("Command11") << "Command11"
                                   << "終了" << QRect(6480, 2760, 732, 612);
    }

    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        H_PATH* w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("アプリケーション登録"));
        QCOMPARE(w->client()->size(), QSize(489, 230)); // 7332 x 3444 twips
        QCOMPARE(w->pos(), QPoint(67, 67));             // 1000 twips from the screen's edges

        auto* control = findRequired<QWidget>(w->client(), name);
        QCOMPARE(control->geometry(), Twips::rect(twips.x(), twips.y(), twips.width(), twips.height()));
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            QCOMPARE(button->text(), caption);
        else if (auto* label = qobject_cast<QLabel*>(control); label && name != QLatin1String("Label1"))
            QCOMPARE(label->text(), caption);
        QCOMPARE(control->isVisible(), name != QLatin1String("Label1"));
    }

    void captionsFit()
    {
        H_PATH* w = open();
        for (QLabel* label : w->client()->findChildren<QLabel*>()) {
            if (label->isVisible())
                QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                         qPrintable(label->objectName()));
        }
        for (QAbstractButton* button : w->client()->findChildren<QAbstractButton*>()) {
            if (button->isVisible())
                QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) + 4 <= button->width(),
                         qPrintable(button->objectName()));
        }
    }

    void navigationPictures()
    {
        H_PATH* w = open();
        for (const char* name : {"Command3", "Command1", "Command5", "Command6"}) {
            auto* b = findRequired<QToolButton>(w, QLatin1String(name));
            QVERIFY2(!b->icon().isNull(), name);
            QCOMPARE(b->iconSize(), QSize(16, 16));
            QCOMPARE(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        }
    }

    void gridColumnsAndLook()
    {
        H_PATH* w = open();
        DataGrid* g = grid(w);
        QAbstractItemModel* model = g->model();
        QCOMPARE(model->columnCount(), 3);
        const QStringList headings = {QStringLiteral("ID"), QStringLiteral("アプリＩＤ"), QStringLiteral("パス")};
        for (int c = 0; c < 3; ++c)
            QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), headings[c]);
        QCOMPARE(g->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(g->font().pointSizeF(), 9.0);
        QCOMPARE(g->horizontalHeader()->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QVERIFY(g->verticalHeader()->isVisible());
        QCOMPARE(g->verticalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        QVERIFY(!g->tabKeyNavigation());
        // The engine numbers ID; the two text fields are edited in place.
        QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(model->flags(model->index(0, 1)) & Qt::ItemIsEditable);
        QVERIFY(model->flags(model->index(0, 2)) & Qt::ItemIsEditable);
    }

    void tabOrder()
    {
        book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        H_PATH* w = open();
        const QStringList order = {QStringLiteral("DBCombo1"),  QStringLiteral("Command2"), QStringLiteral("Command13"),
                                   QStringLiteral("DBGrid1"),   QStringLiteral("Command3"), QStringLiteral("Command1"),
                                   QStringLiteral("Command5"),  QStringLiteral("Command6"), QStringLiteral("Command7"),
                                   QStringLiteral("Command8"),  QStringLiteral("Command9"), QStringLiteral("Command10"),
                                   QStringLiteral("Command11"), QStringLiteral("DBCombo2"), QStringLiteral("DBCombo1")};
        auto focused = [w]() -> QString {
            for (QWidget* f = QApplication::focusWidget(); f && f != w; f = f->parentWidget()) {
                if (f->parentWidget() == w->client())
                    return f->objectName();
            }
            return QString();
        };
        // The path combo has the focus when the window opens.
        QTRY_COMPARE(focused(), order.first());
        for (qsizetype i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(focused(), order[i]);
        }
    }

    void openOnEmptyTableAddsOneRecord()
    {
        H_PATH* w = open();
        const QList<QVariantList> rows = table();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(idLabel(w), rows[0][0].toString());
        QVERIFY(!idLabel(w).isEmpty());
        QCOMPARE(pathCombo(w)->text(), QString());
        QCOMPARE(idCombo(w)->text(), QString());
        QCOMPARE(grid(w)->model()->rowCount(), 1);
        QCOMPARE(grid(w)->currentIndex().row(), 0);
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    void openOnRecordsShowsTheFirst()
    {
        const qint64 first = book->addApplication(QStringLiteral("HLP"), QStringLiteral("/usr/bin/yelp"));
        book->addApplication(QStringLiteral("OFC"), QStringLiteral("/usr/bin/libreoffice"));
        H_PATH* w = open();
        QCOMPARE(book->count(QStringLiteral("パス")), 2);
        QCOMPARE(idLabel(w), QString::number(first));
        QCOMPARE(pathCombo(w)->text(), QStringLiteral("/usr/bin/yelp"));
        QCOMPARE(idCombo(w)->text(), QStringLiteral("HLP"));
        QCOMPARE(pathCombo(w)->listItems(),
                 (QStringList{QStringLiteral("/usr/bin/libreoffice"), QStringLiteral("/usr/bin/yelp")}));
        QCOMPARE(idCombo(w)->listItems(), (QStringList{QStringLiteral("HLP"), QStringLiteral("OFC")}));
        QCOMPARE(grid(w)->model()->rowCount(), 2);
    }

    void navigation_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<int>("expected"); // index of the record that ends current

        QTest::newRow("previous on the first keeps it") << QStringList{"Command1"} << 0;
        QTest::newRow("next") << QStringList{"Command5"} << 1;
        QTest::newRow("next on the last keeps it") << QStringList{"Command6", "Command5"} << 2;
        QTest::newRow("last then previous") << QStringList{"Command6", "Command1"} << 1;
        QTest::newRow("last then first") << QStringList{"Command6", "Command3"} << 0;
    }

    void navigation()
    {
        QFETCH(QStringList, clicks);
        QFETCH(int, expected);
        const QList<qint64> ids = {book->addApplication(QStringLiteral("A"), QStringLiteral("/a")),
                                   book->addApplication(QStringLiteral("B"), QStringLiteral("/b")),
                                   book->addApplication(QStringLiteral("C"), QStringLiteral("/c"))};
        H_PATH* w = open();
        for (const QString& name : clicks)
            click(w, name);
        QCOMPARE(idLabel(w), QString::number(ids[expected]));
        QCOMPARE(idCombo(w)->text(), QString(QChar(u'A' + expected)));
        QCOMPARE(grid(w)->currentIndex().row(), expected);
        QCOMPARE(book->count(QStringLiteral("パス")), 3);
    }

    void saveStoresAndOffersInListsAtOnce()
    {
        H_PATH* w = open();
        const qint64 id = idLabel(w).toLongLong();
        type(pathCombo(w), QStringLiteral("/opt/メモ/editor"));
        type(idCombo(w), QStringLiteral("エディタ"));
        click(w, QStringLiteral("Command7"));
        QVERIFY(fakes->messageBox.asked.isEmpty());
        QCOMPARE(stored(id, QStringLiteral("パス")), QStringLiteral("/opt/メモ/editor"));
        QCOMPARE(stored(id, QStringLiteral("アプリＩＤ")), QStringLiteral("エディタ"));
        QVERIFY(pathCombo(w)->listItems().contains(QStringLiteral("/opt/メモ/editor")));
        QVERIFY(idCombo(w)->listItems().contains(QStringLiteral("エディタ")));
        QCOMPARE(idLabel(w), QString::number(id));
        QCOMPARE(book->count(QStringLiteral("パス")), 1);
    }

    void moveWritesPendingEdits()
    {
        const qint64 first = book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        book->addApplication(QStringLiteral("B"), QStringLiteral("/b"));
        H_PATH* w = open();
        type(idCombo(w), QStringLiteral("A2"));
        click(w, QStringLiteral("Command5"));
        QCOMPARE(stored(first, QStringLiteral("アプリＩＤ")), QStringLiteral("A2"));
        QCOMPARE(idCombo(w)->text(), QStringLiteral("B"));
        QVERIFY(idCombo(w)->listItems().contains(QStringLiteral("A2")));
    }

    void cancelRestoresWithoutRereadingLists()
    {
        const qint64 id = book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        H_PATH* w = open();
        book->addApplication(QStringLiteral("外部"), QStringLiteral("/other"));
        type(idCombo(w), QStringLiteral("typed"));
        type(pathCombo(w), QStringLiteral("/typed"));
        click(w, QStringLiteral("Command8"));
        QCOMPARE(idCombo(w)->text(), QStringLiteral("A"));
        QCOMPARE(pathCombo(w)->text(), QStringLiteral("/a"));
        QCOMPARE(idLabel(w), QString::number(id));
        QCOMPARE(idCombo(w)->listItems(), QStringList{QStringLiteral("A")});
        // Nothing is left to be written by the close.
        w->unload();
        QCOMPARE(stored(id, QStringLiteral("アプリＩＤ")), QStringLiteral("A"));
        QCOMPARE(stored(id, QStringLiteral("パス")), QStringLiteral("/a"));
    }

    void deleteAnsweredNoChangesNothing()
    {
        book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        const qint64 second = book->addApplication(QStringLiteral("B"), QStringLiteral("/b"));
        H_PATH* w = open();
        click(w, QStringLiteral("Command5"));
        book->addApplication(QStringLiteral("外部"), QStringLiteral("/other"));
        fakes->messageBox.answers.enqueue(MessageBox::Answer::No);
        click(w, QStringLiteral("Command10"));

        QCOMPARE(fakes->messageBox.asked.size(), 1);
        const MessageBox::Request& asked = fakes->messageBox.asked.first();
        QCOMPARE(asked.text, QStringLiteral("データを削除しますか？"));
        QCOMPARE(asked.title, QStringLiteral("選択表示"));
        QCOMPARE(asked.icon, MessageBox::Icon::Question);
        QCOMPARE(asked.buttons, MessageBox::Buttons::YesNo);
        QCOMPARE(asked.defaultAnswer, MessageBox::Answer::Yes);

        QCOMPARE(book->count(QStringLiteral("パス")), 3);
        QCOMPARE(idLabel(w), QString::number(second));
        QCOMPARE(idCombo(w)->listItems(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    }

    void deleteAnsweredYes_data()
    {
        QTest::addColumn<int>("from");     // record deleted
        QTest::addColumn<int>("expected"); // record current afterwards

        QTest::newRow("first: the next one") << 0 << 1;
        QTest::newRow("middle: the next one") << 1 << 2;
        QTest::newRow("last: the new last one") << 2 << 1;
    }

    void deleteAnsweredYes()
    {
        QFETCH(int, from);
        QFETCH(int, expected);
        const QList<qint64> ids = {book->addApplication(QStringLiteral("A"), QStringLiteral("/a")),
                                   book->addApplication(QStringLiteral("B"), QStringLiteral("/b")),
                                   book->addApplication(QStringLiteral("C"), QStringLiteral("/c"))};
        // Memos that carry the application's ID are left as they are.
        book->addMemo({{}, {}, QStringLiteral("kw"), {}, {}, QString(QChar(u'A' + from)), {}});
        H_PATH* w = open();
        for (int i = 0; i < from; ++i)
            click(w, QStringLiteral("Command5"));
        book->addApplication(QStringLiteral("外部"), QStringLiteral("/other"));
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Yes);
        click(w, QStringLiteral("Command10"));

        QCOMPARE(book->scalar(QStringLiteral("SELECT count(*) FROM パス WHERE ID = %1").arg(ids[from])).toInt(), 0);
        QCOMPARE(book->count(QStringLiteral("パス")), 3);
        QCOMPARE(book->count(QStringLiteral("メモ帳")), 1);
        QCOMPARE(idLabel(w), QString::number(ids[expected]));
        QCOMPARE(idCombo(w)->text(), QString(QChar(u'A' + expected)));
        QCOMPARE(grid(w)->model()->rowCount(), 2);
        // The lists are read again.
        QVERIFY(idCombo(w)->listItems().contains(QStringLiteral("外部")));
        QVERIFY(!idCombo(w)->listItems().contains(QString(QChar(u'A' + from))));
    }

    void deleteOnlyRecordThenReactivationAddsOne()
    {
        const qint64 only = book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        H_PATH* w = open();
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Yes);
        click(w, QStringLiteral("Command10"));
        QCOMPARE(book->count(QStringLiteral("パス")), 0);
        QCOMPARE(idLabel(w), QString());
        QCOMPARE(idCombo(w)->text(), QString());
        QCOMPARE(pathCombo(w)->text(), QString());
        QCOMPARE(grid(w)->model()->rowCount(), 0);
        // The lists are not read again: the delete ended at its failed move.
        QCOMPARE(idCombo(w)->listItems(), QStringList{QStringLiteral("A")});

        // Moves on the empty record set change nothing and show nothing.
        for (const char* name : {"Command3", "Command1", "Command5", "Command6"})
            click(w, QLatin1String(name));
        QCOMPARE(book->count(QStringLiteral("パス")), 0);
        QCOMPARE(idCombo(w)->listItems(), QStringList{QStringLiteral("A")});

        ORVAM* main = ORVAM::instance();
        QVERIFY(activate(main));
        QVERIFY(activate(w));
        const QList<QVariantList> rows = table();
        QCOMPARE(rows.size(), 1);
        QVERIFY(rows[0][0].toLongLong() > only);
        QCOMPARE(idLabel(w), rows[0][0].toString());
        QCOMPARE(grid(w)->model()->rowCount(), 1);
        QVERIFY(fakes->messageBox.asked.size() == 1);
    }

    void reactivationOnRecordAddsNothing()
    {
        book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        H_PATH* w = open();
        QVERIFY(activate(ORVAM::instance()));
        QVERIFY(activate(w));
        QCOMPARE(book->count(QStringLiteral("パス")), 1);
    }

    void sameApplicationIdTwice()
    {
        H_PATH* w = open();
        type(idCombo(w), QStringLiteral("HLP"));
        type(pathCombo(w), QStringLiteral("/usr/bin/yelp"));
        click(w, QStringLiteral("Command7"));
        click(w, QStringLiteral("Command9"));
        // Picked from the list this time.
        QComboBox* ids = idCombo(w);
        ids->setCurrentIndex(ids->findText(QStringLiteral("HLP")));
        type(pathCombo(w), QStringLiteral("/usr/bin/khelpcenter"));
        click(w, QStringLiteral("Command7"));
        QVERIFY(fakes->messageBox.asked.isEmpty());

        QCOMPARE(book->scalar(QStringLiteral("SELECT count(*) FROM パス WHERE アプリＩＤ = 'HLP'")).toInt(), 2);
        QAbstractItemModel* model = grid(w)->model();
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("HLP"));
        QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("HLP"));
        QCOMPARE(model->index(1, 2).data().toString(), QStringLiteral("/usr/bin/khelpcenter"));
        QCOMPARE(idCombo(w)->listItems(), QStringList{QStringLiteral("HLP")});
        QCOMPARE(pathCombo(w)->listItems().size(), 2);
    }

    void gridCellEdit_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("moved");

        QTest::newRow("next button") << "Command5" << true;
        QTest::newRow("click on another row") << "row" << true;
        QTest::newRow("save button") << "Command7" << false;
        QTest::newRow("close box") << "close" << false;
    }

    // A cell typed into the grid's floating editor is stored by what stores the combo
    // boxes' edits, without the editor being left first.
    void gridCellEdit()
    {
        QFETCH(QString, how);
        QFETCH(bool, moved);
        const qint64 first = book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        book->addApplication(QStringLiteral("B"), QStringLiteral("/b"));
        H_PATH* w = open();
        DataGrid* g = grid(w);
        const QModelIndex cell = g->model()->index(0, 1);
        g->setFocus();
        g->setCurrentIndex(cell);
        g->edit(cell);
        auto* editor = qobject_cast<QLineEdit*>(g->indexWidget(cell));
        QVERIFY(editor);
        editor->setText(QStringLiteral("グリッド"));
        if (how == QLatin1String("close")) {
            w->close();
            QVERIFY(!H_PATH::isLoaded());
        } else if (how == QLatin1String("row")) {
            QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->visualRect(g->model()->index(1, 2)).center());
        } else {
            click(w, how);
        }
        QCOMPARE(stored(first, QStringLiteral("アプリＩＤ")), QStringLiteral("グリッド"));
        QCOMPARE(stored(first, QStringLiteral("パス")), QStringLiteral("/a"));
        if (how == QLatin1String("close"))
            return;
        QCOMPARE(idCombo(w)->text(), moved ? QStringLiteral("B") : QStringLiteral("グリッド"));
        QCOMPARE(g->model()->index(0, 1).data().toString(), QStringLiteral("グリッド"));
        if (how != QLatin1String("row")) // a choice in the grid is no command: the lists stay
            QVERIFY(idCombo(w)->listItems().contains(QStringLiteral("グリッド")));
    }

    void closeWritesPendingEdits()
    {
        H_PATH* w = open();
        const qint64 id = idLabel(w).toLongLong();
        type(pathCombo(w), QStringLiteral("/usr/bin/gedit"));
        type(idCombo(w), QStringLiteral("ED"));
        click(w, QStringLiteral("Command11"));
        QVERIFY(!H_PATH::isLoaded());
        QCOMPARE(stored(id, QStringLiteral("パス")), QStringLiteral("/usr/bin/gedit"));
        QCOMPARE(stored(id, QStringLiteral("アプリＩＤ")), QStringLiteral("ED"));
        // Showing it again loads it afresh.
        H_PATH* again = open();
        QVERIFY(again != nullptr);
        QCOMPARE(idCombo(again)->text(), QStringLiteral("ED"));
        QCOMPARE(book->count(QStringLiteral("パス")), 1);
    }

    void fileDialogCancelledChangesNothing()
    {
        const qint64 id = book->addApplication(QStringLiteral("A"), QStringLiteral("/old/path"));
        H_PATH* w = open();
        fakes->fileDialog.answers.enqueue(std::nullopt);
        click(w, QStringLiteral("Command13"));
        QCOMPARE(fakes->fileDialog.asked.size(), 1);
        const FileDialog::Request& asked = fakes->fileDialog.asked.first();
        QCOMPARE(asked.title, QStringLiteral("アプリケーションを登録して下さい"));
        QCOMPARE(asked.filter, QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE)|*.EXE|*.*|*.*"));
        QCOMPARE(asked.initialName, QStringLiteral("Name"));
        QCOMPARE(asked.flags, int(FileDialog::HideReadOnly));
        QCOMPARE(pathCombo(w)->text(), QStringLiteral("/old/path"));
        w->unload();
        QCOMPARE(stored(id, QStringLiteral("パス")), QStringLiteral("/old/path"));
    }

    void fileChosen_data()
    {
        QTest::addColumn<QString>("then");   // button clicked after the choice
        QTest::addColumn<QString>("stored"); // path in the table afterwards
        QTest::addColumn<bool>("closed");

        QTest::newRow("close stores it") << "Command11"
                                         << "/usr/bin/libreoffice" << true;
        QTest::newRow("save stores it") << "Command7"
                                        << "/usr/bin/libreoffice" << false;
        QTest::newRow("cancel restores the stored path") << "Command8"
                                                         << "/old/path" << false;
    }

    void fileChosen()
    {
        QFETCH(QString, then);
        QFETCH(QString, stored);
        QFETCH(bool, closed);
        const qint64 id = book->addApplication(QStringLiteral("A"), QStringLiteral("/old/path"));
        H_PATH* w = open();
        fakes->fileDialog.answers.enqueue(QStringLiteral("/usr/bin/libreoffice"));
        click(w, QStringLiteral("Command13"));
        QCOMPARE(pathCombo(w)->text(), QStringLiteral("/usr/bin/libreoffice"));
        QCOMPARE(idCombo(w)->text(), QStringLiteral("A"));
        QCOMPARE(this->stored(id, QStringLiteral("パス")), QStringLiteral("/old/path"));
        click(w, then);
        QCOMPARE(this->stored(id, QStringLiteral("パス")), stored);
        QCOMPARE(this->stored(id, QStringLiteral("アプリＩＤ")), QStringLiteral("A"));
        QCOMPARE(H_PATH::isLoaded(), !closed);
        if (!closed)
            QCOMPARE(pathCombo(w)->text(), stored);
    }

    void fieldLengths_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("path of 255") << "DBCombo1"
                                     << "パス" << 255 << true;
        QTest::newRow("path of 256") << "DBCombo1"
                                     << "パス" << 256 << false;
        QTest::newRow("empty path") << "DBCombo1"
                                    << "パス" << 0 << true;
        QTest::newRow("ID of 255") << "DBCombo2"
                                   << "アプリＩＤ" << 255 << true;
        QTest::newRow("ID of 256") << "DBCombo2"
                                   << "アプリＩＤ" << 256 << false;
        QTest::newRow("empty ID") << "DBCombo2"
                                  << "アプリＩＤ" << 0 << true;
    }

    void fieldLengths()
    {
        QFETCH(QString, combo);
        QFETCH(QString, field);
        QFETCH(int, length);
        QFETCH(bool, accepted);
        const qint64 id = book->addApplication(QStringLiteral("old"), QStringLiteral("/old"));
        H_PATH* w = open();
        book->addApplication(QStringLiteral("外部"), QStringLiteral("/other"));
        const QString text = QString(length, QChar(u'字'));
        auto* box = findRequired<ComboBox>(w, combo);
        type(box, text);
        QCOMPARE(box->text(), text);
        if (!accepted)
            fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        click(w, QStringLiteral("Command7"));

        const QVariant value = book->scalar(QStringLiteral("SELECT %1 FROM パス WHERE ID = %2").arg(field).arg(id));
        if (accepted) {
            QVERIFY(fakes->messageBox.asked.isEmpty());
            QCOMPARE(value.toString(), text);
            QCOMPARE(
                book->scalar(QStringLiteral("SELECT typeof(%1) FROM パス WHERE ID = %2").arg(field).arg(id)).toString(),
                QStringLiteral("text"));
            QVERIFY(idCombo(w)->listItems().contains(QStringLiteral("外部")));
            return;
        }
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        const MessageBox::Request& asked = fakes->messageBox.asked.first();
        QCOMPARE(asked.text, Messages::SaveFailure);
        QCOMPARE(asked.title, QStringLiteral("オルバレント"));
        QCOMPARE(asked.icon, MessageBox::Icon::Exclamation);
        QCOMPARE(asked.buttons, MessageBox::Buttons::Ok);
        QCOMPARE(value.toString(), field == QStringLiteral("パス") ? QStringLiteral("/old") : QStringLiteral("old"));
        QCOMPARE(box->text(), text);
        QCOMPARE(idLabel(w), QString::number(id));
        QVERIFY(!idCombo(w)->listItems().contains(QStringLiteral("外部")));
        // Cancel, as the message suggests, leaves a usable window with the stored values.
        click(w, QStringLiteral("Command8"));
        QCOMPARE(box->text(), field == QStringLiteral("パス") ? QStringLiteral("/old") : QStringLiteral("old"));
    }

    void saveWaitsForAnotherWriter()
    {
        H_PATH* w = open();
        const qint64 id = idLabel(w).toLongLong();
        type(idCombo(w), QStringLiteral("waited"));
        WriteLock lock(DbPath, 300);
        QVERIFY(lock.held());
        click(w, QStringLiteral("Command7"));
        QVERIFY(fakes->messageBox.asked.isEmpty());
        QCOMPARE(stored(id, QStringLiteral("アプリＩＤ")), QStringLiteral("waited"));
        QVERIFY(idCombo(w)->listItems().contains(QStringLiteral("waited")));
    }

    void saveFailsWhenTheOtherWriterKeepsTheLock()
    {
        H_PATH* w = open();
        const qint64 id = idLabel(w).toLongLong();
        type(idCombo(w), QStringLiteral("kept"));
        // The real wait is five seconds; the test shortens it on the window's connection.
        std::shared_ptr<Connection> connection = Connection::shared(DbPath);
        QVERIFY(connection);
        sqlite3_busy_timeout(connection->handle(), 100);
        {
            WriteLock lock(DbPath, 1500);
            QVERIFY(lock.held());
            fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
            click(w, QStringLiteral("Command7"));
            QCOMPARE(fakes->messageBox.asked.size(), 1);
            QCOMPARE(fakes->messageBox.asked.first().text, Messages::SaveFailure);
            QCOMPARE(idCombo(w)->text(), QStringLiteral("kept"));
        }
        sqlite3_busy_timeout(connection->handle(), Connection::BusyTimeoutMs);
        QVERIFY(book->scalar(QStringLiteral("SELECT アプリＩＤ FROM パス WHERE ID = %1").arg(id)).isNull());
        // Once the other writer is done, the same typed text is saved.
        click(w, QStringLiteral("Command7"));
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        QCOMPARE(stored(id, QStringLiteral("アプリＩＤ")), QStringLiteral("kept"));
    }

    void helpPressesF1()
    {
        H_PATH* w = open();
        click(w, QStringLiteral("Command2"));
        QCOMPARE(fakes->keySender.keys(), QStringList{QStringLiteral("{F1}")});
        QCOMPARE(fakes->keySender.sent.first().wait, false);
    }

    void loadFailureStillOpensWindow()
    {
        // A memo book without the table of applications: the load ends at Data1, the
        // window opens, and the add that its activation runs reports its failure.
        book.reset();
        book = std::make_unique<MemoBook>(MemoBook::Tables::MemosOnly);
        QVERIFY(book->isValid());
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        H_PATH* w = open();
        QVERIFY(w->isVisible());
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        QCOMPARE(fakes->messageBox.asked.first().text, Messages::AddFailure);
        QCOMPARE(idLabel(w), QString());
        QCOMPARE(grid(w)->model()->rowCount(), 0);
    }

    void mainWindowButtonKeepsMinimisedState()
    {
        book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        ORVAM* main = ORVAM::instance();
        main->showForm();
        QVERIFY(activate(main));
        auto* button = findRequired<QPushButton>(main, QStringLiteral("Command4"));
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(H_PATH::isLoaded());
        H_PATH* w = H_PATH::instance();
        QVERIFY(w->isVisible());
        QVERIFY(!w->isMinimized());

        w->showMinimized();
        QTRY_VERIFY(w->isMinimized());
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(H_PATH::instance(), w); // the same window, not a second one
        QVERIFY(w->isMinimized());
        QCOMPARE(book->count(QStringLiteral("パス")), 1);
    }
};

ORV_TEST_MAIN(TestH_PATH)
#include "tst_h_path.moc"
