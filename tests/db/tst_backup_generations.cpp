#include "db/BackupGenerations.h"
#include "db/DatabaseBackup.h"
#include "db/Schema.h"
#include "support/EngineTestMain.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sqlite3.h>

namespace {

QList<QDate> days(const QStringList& texts)
{
    QList<QDate> all;
    for (const QString& text : texts)
        all.append(QDate::fromString(text, Qt::ISODate));
    return all;
}

QStringList texts(const QList<QDate>& all)
{
    QStringList list;
    for (const QDate& day : all)
        list.append(day.toString(Qt::ISODate));
    list.sort();
    return list;
}

QByteArray contentsOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool exec(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
              sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

} // namespace

class TestBackupGenerations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QDate>("day");
        QTest::newRow("a kept copy") << "IDATA2-2026-12-07.mdb" << QDate(2026, 12, 7);
        QTest::newRow("another file") << "IDATA2.mdb" << QDate();
        QTest::newRow("short digits") << "IDATA2-2026-1-7.mdb" << QDate();
    }

    void names()
    {
        QFETCH(QString, name);
        QFETCH(QDate, day);
        const std::optional<QDate> read = BackupGenerations::dayOf(name);
        QCOMPARE(read.value_or(QDate()), day);
        if (day.isValid())
            QCOMPARE(BackupGenerations::fileName(day), name);
    }

    // The help file tells the user where to look, by the names the program uses.
    void helpNamesTheFolderAndTheFiles()
    {
        QFile help(QFINDTESTDATA("../../resources/help/orvalent-help.html"));
        QVERIFY(help.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(help.readAll());
        QVERIFY(text.contains(QStringLiteral("「") + BackupGenerations::FolderName + QStringLiteral("」")));
        static const QRegularExpression example(QStringLiteral("IDATA2-\\d{4}-\\d{2}-\\d{2}\\.mdb"));
        const QRegularExpressionMatch match = example.match(text);
        QVERIFY(match.hasMatch());
        QVERIFY(BackupGenerations::dayOf(match.captured()));
    }

    // Today is Thursday 2026-12-10; its week began on Monday 2026-12-07, and the four weeks
    // kept begin on 11-16, 11-23, 11-30 and 12-07.
    void daysToKeep_data()
    {
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("expected");

        QStringList everyDay;
        for (QDate d(2026, 10, 26); d <= QDate(2026, 12, 10); d = d.addDays(1))
            everyDay.append(d.toString(Qt::ISODate));
        QTest::newRow("a start every day for six weeks")
            << everyDay << QStringList{"2026-11-16", "2026-11-23", "2026-11-30", "2026-12-04", "2026-12-05",
                                       "2026-12-06", "2026-12-07", "2026-12-08", "2026-12-09", "2026-12-10"};
        QTest::newRow("the first start of each week, not the second")
            << QStringList{"2026-11-19", "2026-11-20", "2026-12-01", "2026-12-03", "2026-12-04"}
            << QStringList{"2026-11-19", "2026-12-01", "2026-12-04"};
        QTest::newRow("the Sunday before the fourth week is too old")
            << QStringList{"2026-11-15", "2026-11-16"} << QStringList{"2026-11-16"};
        QTest::newRow("seven days back, not eight")
            << QStringList{"2026-12-02", "2026-12-03", "2026-12-04"} << QStringList{"2026-12-02", "2026-12-04"};
        QTest::newRow("a clock set back keeps the later days")
            << QStringList{"2026-12-10", "2027-01-05"} << QStringList{"2026-12-10", "2027-01-05"};
        QTest::newRow("none") << QStringList{} << QStringList{};
    }

    void daysToKeep()
    {
        QFETCH(QStringList, kept);
        QFETCH(QStringList, expected);
        QCOMPARE(texts(BackupGenerations::daysToKeep(days(kept), QDate(2026, 12, 10))), expected);
    }

    // Today's copy is made once, from the first start of the day, and survives the backup
    // being replaced later; older copies and an older half-written one go, files of other
    // names stay.
    void keepsTheFirstCopyOfTheDay()
    {
        QTemporaryDir dir;
        const QString book = dir.filePath(QStringLiteral("IDATA2.mdb"));
        const QString backup = dir.filePath(QStringLiteral("IDATA2-backup.mdb"));
        const QString folder = dir.filePath(BackupGenerations::FolderName);
        QVERIFY(Schema::createMemoBook(book));
        QVERIFY(exec(book, "INSERT INTO メモ帳 (ｷｰﾜｰﾄﾞ) VALUES ('first')"));
        QVERIFY(DatabaseBackup::copyMemoBook(book, backup));
        const QByteArray first = contentsOf(backup);

        QVERIFY(QDir().mkdir(folder));
        for (const char* name : {"IDATA2-2026-11-01.mdb", "IDATA2-2026-12-09.mdb", "notes.txt", "IDATA2-2026-02-30.mdb",
                                 "IDATA2-2026-12-09.mdb.part"}) // the last left half written by a killed start
            QVERIFY(QFile(folder + QLatin1Char('/') + QLatin1String(name)).open(QIODevice::WriteOnly));

        const QDate today(2026, 12, 10);
        const qint64 size = QFileInfo(book).size();
        BackupGenerations::Outcome outcome = BackupGenerations::keep(backup, folder, size, today, 2 * size);
        QVERIFY2(outcome.result, qPrintable(outcome.result.message));
        QVERIFY(outcome.kept);
        QCOMPARE(outcome.deleted, QStringList{"IDATA2-2026-11-01.mdb"});
        const QString todays = folder + QStringLiteral("/IDATA2-2026-12-10.mdb");
        QCOMPARE(contentsOf(todays), first);

        // The user deletes the memo and starts again the same day.
        QVERIFY(exec(book, "DELETE FROM メモ帳"));
        QVERIFY(DatabaseBackup::copyMemoBook(book, backup));
        QVERIFY(contentsOf(backup) != first);
        outcome = BackupGenerations::keep(backup, folder, size, today, 2 * size);
        QVERIFY(!outcome.kept);
        QCOMPARE(contentsOf(todays), first);
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name),
                 (QStringList{"IDATA2-2026-02-30.mdb", "IDATA2-2026-12-09.mdb", "IDATA2-2026-12-10.mdb", "notes.txt"}));
    }

    void keepsNoCopyWithoutRoom_data()
    {
        QTest::addColumn<qint64>("free"); // -1: unknown
        QTest::addColumn<bool>("kept");
        QTest::newRow("twice the memo book") << qint64(2 * 4096) << true;
        QTest::newRow("one byte less") << qint64(2 * 4096 - 1) << false;
        QTest::newRow("unknown") << qint64(-1) << false;
    }

    void keepsNoCopyWithoutRoom()
    {
        QFETCH(qint64, free);
        QFETCH(bool, kept);
        QTemporaryDir dir;
        const QString backup = dir.filePath(QStringLiteral("IDATA2.mdb"));
        const QString folder = dir.filePath(BackupGenerations::FolderName);
        QFile file(backup);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        QVERIFY(QDir().mkdir(folder));
        // An old copy is still let go of when there is no room for a new one.
        QVERIFY(QFile(folder + QStringLiteral("/IDATA2-2026-01-01.mdb")).open(QIODevice::WriteOnly));

        const BackupGenerations::Outcome outcome = BackupGenerations::keep(
            backup, folder, 4096, QDate(2026, 12, 10), free < 0 ? std::nullopt : std::optional<qint64>(free));
        QVERIFY(outcome.result);
        QCOMPARE(outcome.kept, kept);
        QCOMPARE(QFileInfo::exists(folder + QStringLiteral("/IDATA2-2026-12-10.mdb")), kept);
        QCOMPARE(outcome.deleted, QStringList{"IDATA2-2026-01-01.mdb"});
    }
};

ORV_ENGINE_TEST_MAIN(TestBackupGenerations)
#include "tst_backup_generations.moc"
