#include "db/Connection.h"
#include "db/Schema.h"
#include "forms/Session.h"
#include "platform/AppInfo.h"
#include "platform/HelpViewer.h"
#include "startup/ORVAM.h"
#include "startup/VEZOVEDO.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

namespace {

QList<QVariantList> query(const QString& path, const QString& sql)
{
    QList<QVariantList> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                QVariantList row;
                for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                    row.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c))));
                rows.append(row);
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return rows;
}

QByteArray contentsOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestStartup : public WindowTestFixture
{
    Q_OBJECT

private:
    QString program() const { return book->dir() + QStringLiteral("/orvalent"); }
    QString backup() const { return book->dir() + QStringLiteral("/Back Up/IDATA2.mdb"); }

    // What the start under test fills in.
    Session session;

    void expectFailure()
    {
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QVERIFY(!VEZOVEDO::Main(program(), session));
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        const MessageBox::Request& asked = fakes->messageBox.asked.first();
        QCOMPARE(asked.text, QStringLiteral("起動出来ません。ハードディスクの\r容量などを確認して下さい。"));
        QCOMPARE(asked.title, QStringLiteral("オルバレント"));
        QCOMPARE(asked.icon, MessageBox::Icon::None);
        QCOMPARE(asked.buttons, MessageBox::Buttons::Ok);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(!ORVAM::isLoaded(), "no window after a failed start");
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(setUp(MemoBook::Tables::MemosOnly));
        book->addMemo({QStringLiteral("2026/12/06"), QString(), QStringLiteral("印刷"), QStringLiteral("k1")});
        session = Session();
    }

    void cleanup() { tearDown(); }

    void firstStartMakesTheBackupAndThePathTable()
    {
        QVERIFY(VEZOVEDO::Main(program(), session));
        QCOMPARE(session.AppDir, book->dir());
        QCOMPARE(session.BackupDir, book->dir() + QStringLiteral("/Back Up"));
        QCOMPARE(session.DbPath, book->dir() + QStringLiteral("/IDATA2.mdb"));
        QCOMPARE(HelpViewer::applicationHelpFile(), book->dir() + QStringLiteral("/ｵﾙﾊﾞﾚﾝﾄ.HLP"));
        QVERIFY(QFileInfo(session.BackupDir).isDir());
        QCOMPARE(query(backup(), QStringLiteral("SELECT ID, ｷｰﾜｰﾄﾞ, 検索キー１ FROM メモ帳")),
                 query(book->dbPath(), QStringLiteral("SELECT ID, ｷｰﾜｰﾄﾞ, 検索キー１ FROM メモ帳")));
        QVERIFY2(query(backup(), QStringLiteral("SELECT name FROM sqlite_master WHERE name = 'パス'")).isEmpty(),
                 "the backup of the first start is taken before the table is added");
        QCOMPARE(query(book->dbPath(), QStringLiteral("SELECT name FROM pragma_table_info('パス') ORDER BY cid")),
                 (QList<QVariantList>{{"ID"}, {"アプリＩＤ"}, {"パス"}}));
        QCOMPARE(
            query(book->dbPath(),
                  QStringLiteral("SELECT \"unique\", origin FROM pragma_index_list('パス') WHERE name = 'PrimaryKey'")),
            (QList<QVariantList>{{"0", "c"}}));
        QCOMPARE(query(book->dbPath(), QStringLiteral("SELECT name FROM pragma_index_info('PrimaryKey')")),
                 (QList<QVariantList>{{"ID"}}));
        QVERIFY2(!query(book->dbPath(), QStringLiteral("SELECT idx FROM sqlite_stat1 WHERE tbl = 'メモ帳'")).isEmpty(),
                 "the engine's figures for planning are in the file");
        ORVAM* main = ORVAM::ifLoaded();
        QVERIFY(main);
        QVERIFY(main->isVisible());
        QCOMPARE(main->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized), Qt::WindowNoState);
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    void secondStartChangesNothing()
    {
        QVERIFY(VEZOVEDO::Main(program(), session));
        closeAllForms();
        const QList<QVariantList> schema =
            query(book->dbPath(), QStringLiteral("SELECT sql FROM sqlite_master ORDER BY name"));
        QVERIFY(VEZOVEDO::Main(program(), session));
        QCOMPARE(query(book->dbPath(), QStringLiteral("SELECT sql FROM sqlite_master ORDER BY name")), schema);
        QVERIFY2(!query(backup(), QStringLiteral("SELECT name FROM sqlite_master WHERE name = 'パス'")).isEmpty(),
                 "the second start copies the file with its table");
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    void pathTableOfAnotherLayoutIsLeftAlone()
    {
        book->exec(QStringLiteral("CREATE TABLE パス (名前 TEXT)"));
        QVERIFY(VEZOVEDO::Main(program(), session));
        QCOMPARE(query(book->dbPath(), QStringLiteral("SELECT name FROM pragma_table_info('パス')")),
                 (QList<QVariantList>{{"名前"}}));
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    void failedStartShowsTheMessageAndNoWindow_data()
    {
        QTest::addColumn<QString>("fault");
        for (const char* fault : {"missing database", "Back Up is a file", "read-only backup copy", "not a database",
                                  "cannot make Back Up", "disk full"})
            QTest::newRow(fault) << QString::fromLatin1(fault);
    }

    void failedStartShowsTheMessageAndNoWindow()
    {
        QFETCH(QString, fault);
        QByteArray backupBefore;
        if (fault == QLatin1String("missing database")) {
            QVERIFY(QFile::remove(book->dbPath()));
        } else if (fault == QLatin1String("Back Up is a file")) {
            QFile file(book->dir() + QStringLiteral("/Back Up"));
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (fault == QLatin1String("read-only backup copy")) {
            QVERIFY(QDir(book->dir()).mkdir(QStringLiteral("Back Up")));
            QVERIFY(QFile::copy(book->dbPath(), backup()));
            QVERIFY(QFile::setPermissions(backup(), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
            backupBefore = contentsOf(backup());
            book->addMemo({QStringLiteral("newer")});
        } else if (fault == QLatin1String("not a database")) {
            book.reset();
            book = std::make_unique<MemoBook>(MemoBook::Tables::MemosOnly);
            QFile file(book->dbPath());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("This is a text file, not a memo book.\n");
        } else {
            fakes->fileSystem.failMakeDir = fault == QLatin1String("cannot make Back Up");
            fakes->fileSystem.failCopy = fault == QLatin1String("disk full");
        }
        expectFailure();
        if (!backupBefore.isEmpty())
            QCOMPARE(contentsOf(backup()), backupBefore);
        if (fault == QLatin1String("missing database"))
            QVERIFY2(QFileInfo(book->dir() + QStringLiteral("/Back Up")).isDir(), "a folder made at start-up stays");
    }

    // The backup is made, then another program takes the file for itself before the main
    // window loads: the load fails, and so does the start, with its message and no window.
    void databaseThatCannotBeOpenedByTheMainWindow()
    {
        struct LockedAfterTheCopy : StartupFileSystem
        {
            QString dirEntry(const QString& path, int attributes) override { return real().dirEntry(path, attributes); }
            bool makeDir(const QString& path) override { return real().makeDir(path); }
            Result copyDatabase(const QString& from, const QString& to) override
            {
                Result copied = real().copyDatabase(from, to);
                if (copied && (sqlite3_open(QFile::encodeName(from).constData(), &other) != SQLITE_OK ||
                               sqlite3_exec(other, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr,
                                            nullptr, nullptr) != SQLITE_OK))
                    return Result::failure(QStringLiteral("the test could not lock the file"));
                return copied;
            }
            sqlite3* other = nullptr;
        } fileSystem;
        StartupFileSystem::setInstance(&fileSystem);
        expectFailure();
        StartupFileSystem::setInstance(&fakes->fileSystem);
        QVERIFY(fileSystem.other);
        sqlite3_exec(fileSystem.other, "ROLLBACK;", nullptr, nullptr, nullptr);
        sqlite3_close(fileSystem.other);
        QVERIFY2(QFileInfo::exists(backup()), "the failure came after the copy");
    }

    void damagedDatabaseNeverReplacesTheBackup()
    {
        for (int i = 0; i < 300; ++i)
            book->addMemo({QStringLiteral("2026/12/06"), QString(), QStringLiteral("kw%1").arg(i), QString(), QString(),
                           QString(), QString(400, QChar(u'あ'))});
        QVERIFY(VEZOVEDO::Main(program(), session));
        closeAllForms();
        const QByteArray goodBackup = contentsOf(backup());
        QVERIFY(!goodBackup.isEmpty());

        // Scribble over the middle of the file, leaving its header intact.
        QFile file(book->dbPath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(file.size() / 2);
        file.write(QByteArray(8192, '\x5a'));
        file.close();
        expectFailure();
        QCOMPARE(contentsOf(backup()), goodBackup);
    }

    void backupIsAConsistentSnapshotAfterACrash()
    {
        // A crash in the middle of a large transaction leaves the file with a hot journal.
        const QString crashed = book->dir() + QStringLiteral("/crashed");
        QVERIFY(QDir().mkpath(crashed));
        {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(book->dbPath()).constData(), &db), SQLITE_OK);
            sqlite3_exec(db, "PRAGMA cache_size = 1; BEGIN;", nullptr, nullptr, nullptr);
            for (int i = 0; i < 200; ++i) {
                const QByteArray sql = "INSERT INTO メモ帳 (メモ) VALUES ('" + QByteArray(500, 'u') + "')";
                sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
            }
            QVERIFY(QFile::copy(book->dbPath(), crashed + QStringLiteral("/IDATA2.mdb")));
            QVERIFY(QFile::copy(book->dbPath() + QStringLiteral("-journal"),
                                crashed + QStringLiteral("/IDATA2.mdb-journal")));
            sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        QVERIFY(VEZOVEDO::Main(crashed + QStringLiteral("/orvalent"), session));
        const QString copy = crashed + QStringLiteral("/Back Up/IDATA2.mdb");
        QCOMPARE(query(copy, QStringLiteral("PRAGMA quick_check")), (QList<QVariantList>{{"ok"}}));
        QCOMPARE(query(copy, QStringLiteral("SELECT count(*) FROM メモ帳")), (QList<QVariantList>{{"1"}}));
    }
};

ORV_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
