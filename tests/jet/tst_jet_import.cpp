#include "core/AppInfo.h"
#include "core/BackgroundTask.h"
#include "forms/Session.h"
#include "jet/JetConversion.h"
#include "jet/JetFormat.h"
#include "jet/JetImport.h"
#include "startup/ORVAM.h"
#include "startup/VEZOVEDO.h"
#include "support/Fakes.h"
#include "support/TestMain.h"
#include "support/Widgets.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <limits>

#if defined(__has_feature)
#define ORV_TEST_ADDRESS_SANITIZER __has_feature(address_sanitizer)
#else
#define ORV_TEST_ADDRESS_SANITIZER 0
#endif

using namespace Qt::StringLiterals;

namespace {

QString sample(const QString& name)
{
    return QStringLiteral(ORV_JET_TEST_DATA "/") + name;
}

QByteArray contentsOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

qint64 count(const QString& path, const QString& table)
{
    sqlite3* db = nullptr;
    qint64 n = -1;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        // A started program writes the engine's figures beside its first paint.
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* stmt = nullptr;
        const QByteArray sql = u"SELECT count(*) FROM %1"_s.arg(table).toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            n = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return n;
}

// The real steps, one of which can be made to fail.
class FailingFileSystem : public JetImport::FileSystem
{
public:
    QString failAt;
    bool noSpace = false;
    Step fail() { return Step::failure(u"made to fail"_s, noSpace); }
    Step makeDir(const QString& path) override { return failAt == "makeDir" ? fail() : FileSystem::makeDir(path); }
    Step copyNew(const QString& from, const QString& to) override
    {
        return failAt == "copyNew" ? fail() : FileSystem::copyNew(from, to);
    }
    Step compare(const QString& a, const QString& b) override
    {
        return failAt == "compare" ? fail() : FileSystem::compare(a, b);
    }
    Step replace(const QString& from, const QString& to) override
    {
        return failAt == "replace" ? fail() : FileSystem::replace(from, to);
    }
};

const QString FailureFirstLine = u"古いメモ帳（IDATA2.mdb）を変換出来ませんでした。"_s;

// A figure of this process's memory from /proc/self/status, in kB.
qint64 memoryKb(const char* field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

class TestJetImport : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PlatformFakes> fakes;
    std::unique_ptr<QTemporaryDir> dir;
    Session session;
    QByteArray original;

    QString db() const { return dir->filePath(u"IDATA2.mdb"_s); }
    QString backupDir() const { return dir->filePath(u"Back Up"_s); }
    QString program() const { return dir->filePath(u"orvalent"_s); }

    bool place(const QString& file)
    {
        QFile::remove(db());
        if (!QFile::copy(sample(file), db()))
            return false;
        QFile::setPermissions(db(), QFile::ReadOwner | QFile::WriteOwner);
        original = contentsOf(db());
        return true;
    }

    QStringList backupFiles() const { return QDir(backupDir()).entryList(QDir::Files | QDir::Hidden); }

    // The conversion run by a script of its own instead of the program.
    bool convertWith(const QString& script)
    {
        const QString path = dir->filePath(u"converter.sh"_s);
        JetImport::settings().program = path;
        return writeFile(path, script.toUtf8()) &&
               QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // Start-up ended with the conversion's message, and everything is as it was.
    void expectNothingChanged(const QStringList& reasons)
    {
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        const MessageBox::Request& asked = fakes->messageBox.asked.first();
        QCOMPARE(asked.title, AppInfo::Title);
        QCOMPARE(asked.icon, MessageBox::Icon::Exclamation);
        QVERIFY2(asked.text.startsWith(FailureFirstLine), qPrintable(asked.text));
        QVERIFY2(std::any_of(reasons.begin(), reasons.end(), [&](const QString& r) { return asked.text.contains(r); }),
                 qPrintable(asked.text));
        QVERIFY(asked.text.contains(u"元のファイルは変更していません。"_s));
        QVERIFY2(contentsOf(db()) == original, "the old file is exactly as it was");
        QVERIFY2(backupFiles().isEmpty(), qPrintable(backupFiles().join(u',')));
        QVERIFY(!QFile::exists(db() + u".converting"_s));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(!ORVAM::isLoaded(), "no window after a failed start");
    }

private Q_SLOTS:
    void init()
    {
        fakes = std::make_unique<PlatformFakes>();
        dir = std::make_unique<QTemporaryDir>();
        session = Session();
        QVERIFY(dir->isValid());
        JetImport::settings().program = QStringLiteral(ORV_PROGRAM);
        JetImport::settings().stallTimeoutMs = 2000;
        JetImport::settings().progressDelayMs = 500;
    }

    void cleanup()
    {
        closeAllForms();
        JetImport::FileSystem::setInstance(nullptr);
        fakes->verifyAllAnswered();
        fakes.reset();
        dir.reset();
    }

    void startUpConvertsAndKeepsTheOriginal()
    {
        QVERIFY(place(u"IDATA2_sample_v2000.mdb"_s));
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QVERIFY(VEZOVEDO::Main(program(), session));
        BackgroundTask::waitForAll(); // the backup is checked beside the main window

        QCOMPARE(fakes->messageBox.asked.size(), 1);
        const MessageBox::Request& asked = fakes->messageBox.asked.first();
        QCOMPARE(asked.icon, MessageBox::Icon::Information);
        QCOMPARE(asked.title, AppInfo::Title);
        const QString kept = backupDir() + u"/IDATA2 (Jet).mdb"_s;
        QVERIFY2(asked.text.contains(u"メモ 300 件、アプリケーション 10 件"_s), qPrintable(asked.text));
        QVERIFY2(asked.text.contains(kept), qPrintable(asked.text));

        QVERIFY2(contentsOf(kept) == original, "the original is kept byte for byte");
        QCOMPARE(JetFormat::kindOf(db()), JetFormat::Kind::NotJet);
        QCOMPARE(count(db(), u"メモ帳"_s), 300);
        QCOMPARE(count(db(), u"パス"_s), 10);
        QCOMPARE(count(backupDir() + u"/IDATA2.mdb"_s, u"メモ帳"_s), 300);
        QVERIFY(!QFile::exists(db() + u".converting"_s));
        QVERIFY(ORVAM::ifLoaded() && ORVAM::ifLoaded()->isVisible());

        // The next start finds the converted file and goes on as usual.
        closeAllForms();
        QVERIFY(VEZOVEDO::Main(program(), session));
        BackgroundTask::waitForAll(); // the backup is checked beside the main window
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        // The replaced backup is deleted beside the rest of start-up.
        QTRY_COMPARE(backupFiles().size(), 2);
    }

    void anOlderKeptOriginalIsNeverOverwritten()
    {
        QVERIFY(place(u"jp_V2000.mdb"_s));
        QVERIFY(QDir().mkdir(backupDir()));
        const QString older = backupDir() + u"/IDATA2 (Jet).mdb"_s;
        QVERIFY(writeFile(older, "an older original"));
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QCOMPARE(JetImport::convertAtStartup(db(), backupDir()), JetImport::Outcome::Converted);
        QCOMPARE(contentsOf(older), QByteArray("an older original"));
        const QStringList kept = QDir(backupDir()).entryList({u"IDATA2 (Jet *).mdb"_s}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(contentsOf(backupDir() + u'/' + kept.first()) == original);
        QVERIFY(fakes->messageBox.asked.value(0).text.contains(kept.first()));
        QCOMPARE(count(db(), u"メモ帳"_s), 5);
    }

    void failedConversionChangesNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("truncateTo");
        QTest::addColumn<QStringList>("reasons");
        const QString damaged = u"壊れている"_s;
        const QString noMemos = u"「メモ帳」の表がありません"_s;
        QTest::newRow("another program's file") << "noRoman.mdb" << qint64(-1) << QStringList{noMemos};
        QTest::newRow("crashes fetching rows") << "segv_usage_map.mdb" << qint64(-1) << QStringList{noMemos, damaged};
        QTest::newRow("bad catalogue") << "segv_catalog_props.mdb" << qint64(-1) << QStringList{noMemos, damaged};
        QTest::newRow("loops") << "hang_props_loop.mdb" << qint64(-1)
                               << QStringList{damaged, u"時間内に終わりませんでした"_s};
        QTest::newRow("exhausts memory") << "oom_abort_props.mdb" << qint64(-1) << QStringList{damaged};
        QTest::newRow("cut in a long value") << "IDATA2_sample_v2000.mdb" << qint64(300000) << QStringList{damaged};
        // Pages missing among the records end the library's scan early, as if the table ended.
        QTest::newRow("cut among the records")
            << "IDATA2_sample_v2000.mdb" << qint64(150 * 1024) << QStringList{damaged};
    }

    void failedConversionChangesNothing()
    {
        QFETCH(QString, file);
        QFETCH(qint64, truncateTo);
        QFETCH(QStringList, reasons);
        QVERIFY(place(file));
        if (truncateTo >= 0) {
            QVERIFY(QFile::resize(db(), truncateTo));
            original = contentsOf(db());
        }
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!VEZOVEDO::Main(program(), session));
        // Hung or not, the program itself goes on: the conversion is ended after its silence.
        QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
        expectNothingChanged(reasons);
    }

    void failingSwapStepChangesNothing_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("noSpace");
        QTest::addColumn<QString>("reason");
        QTest::newRow("Back Up cannot be made") << "makeDir" << false << "「Back Up」フォルダに保存出来ません";
        QTest::newRow("no room for the kept original") << "copyNew" << true << "ディスクの空き容量が足りません";
        QTest::newRow("kept original cannot be written") << "copyNew" << false << "「Back Up」フォルダに保存出来ません";
        QTest::newRow("kept original differs") << "compare" << false << "「Back Up」フォルダに保存出来ません";
        QTest::newRow("read-only program folder") << "replace" << false << "読み取り専用";
        QTest::newRow("a file named Back Up") << "" << false << "「Back Up」フォルダに保存出来ません";
    }

    void failingSwapStepChangesNothing()
    {
        QFETCH(QString, step);
        QFETCH(bool, noSpace);
        QFETCH(QString, reason);
        QVERIFY(place(u"jp_V2000.mdb"_s));
        if (step.isEmpty())
            QVERIFY(writeFile(backupDir(), {}));
        FailingFileSystem fs;
        fs.failAt = step;
        fs.noSpace = noSpace;
        JetImport::FileSystem::setInstance(&fs);
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QVERIFY(!VEZOVEDO::Main(program(), session));
        expectNothingChanged({reason});
    }

    // A converter that cannot start, ends well without writing its file, dies or stops counting
    // changes nothing. Whatever it prints, the program keeps little of it; output that shows no
    // progress is no sign of life, and a converter that only chatters is ended as hung.
    void failingConverterChangesNothing_data()
    {
        QTest::addColumn<QString>("converter"); // a program, or a script
        QTest::addColumn<QString>("reason");
        const QString hung = u"時間内に終わりませんでした"_s;
        QTest::newRow("no program") << u"/nonexistent/no-such-program"_s << "起動出来ません";
        QTest::newRow("no file written") << u"/bin/true"_s << "壊れている";
        // A converter that dies after starting its file leaves no part of it behind.
        QTest::newRow("crash after writing")
            << u"#!/bin/sh\nprintf 'SQLite format 3' > \"$3\"\nkill -SEGV $$\n"_s << "壊れている";
        QTest::newRow("floods its output") << u"#!/bin/sh\nhead -c 300000000 /dev/zero | tr '\\0' w >&2 &\n"
                                              u"head -c 300000000 /dev/zero | tr '\\0' o\nwait\nexit 3\n"_s
                                           << "壊れている";
        QTest::newRow("chatters without progress")
            << u"#!/bin/sh\necho 'memos 1 of 9'\nwhile :; do echo 'warning: property loop'; done\n"_s << hung;
        QTest::newRow("stops counting")
            << u"#!/bin/sh\necho 'memos 1 of 16'\necho 'memos 2 of 16'\nwhile :; do sleep 0.1; done\n"_s << hung;
        QTest::newRow("repeats the same count")
            << u"#!/bin/sh\nwhile :; do echo 'memos 2 of 16'; sleep 0.1; done\n"_s << hung;
    }

    void failingConverterChangesNothing()
    {
        QFETCH(QString, converter);
        QFETCH(QString, reason);
        QVERIFY(place(u"jp_V2000.mdb"_s));
        if (converter.startsWith(u"#!"_s))
            QVERIFY(convertWith(converter));
        else
            JetImport::settings().program = converter;
        // The peak of this process's memory from here on.
        QFile clear(u"/proc/self/clear_refs"_s);
        QVERIFY(clear.open(QIODevice::WriteOnly) && clear.write("5") == 1);
        clear.close();
        const qint64 before = memoryKb("VmRSS:");
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!VEZOVEDO::Main(program(), session));
        QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
        expectNothingChanged({reason});
        const qint64 grown = memoryKb("VmHWM:") - before;
        // AddressSanitizer keeps what is freed for a while, so the peak counts it too.
#if !defined(__SANITIZE_ADDRESS__) && !ORV_TEST_ADDRESS_SANITIZER
        QVERIFY2(grown < 64 * 1024, qPrintable(u"the program grew by %1 kB"_s.arg(grown)));
#else
        Q_UNUSED(grown);
#endif
    }

    // A conversion is ended as hung only when its count stops changing for the time allowed: one
    // that goes on reporting progress runs on for many times that long and is taken.
    void progressKeepsAConversionGoing()
    {
        QVERIFY(place(u"jp_V2000.mdb"_s));
        QVERIFY(convertWith(
            u"#!/bin/sh\ni=0\nwhile [ $i -lt 16 ]; do i=$((i+1)); echo \"memos $i of 16\"; sleep 0.2; done\n"
            u"printf 'SQLite format 3' > \"$3\"\necho 'converted: 16 memos, 3 applications'\n"_s));
        JetImport::settings().stallTimeoutMs = 700;
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(JetImport::convertAtStartup(db(), backupDir()), JetImport::Outcome::Converted);
        QVERIFY2(clock.elapsed() > 3 * 700, qPrintable(QString::number(clock.elapsed())));
        const QString shown = fakes->messageBox.asked.value(0).text;
        QVERIFY2(shown.contains(u"メモ 16 件、アプリケーション 3 件"_s), qPrintable(shown));
        QCOMPARE(contentsOf(db()), QByteArray("SQLite format 3"));
    }

    // The converting process limits its own processor time, memory and core dumps, so that a
    // file that makes the reader loop or grow ends even when it keeps reporting.
    void converterRunsUnderItsLimits()
    {
        QProcess child;
        child.start(QStringLiteral(ORV_PROGRAM),
                    {u"--convert-jet"_s, sample(u"hang_props_loop.mdb"_s), dir->filePath(u"looping.mdb"_s)});
        QVERIFY(child.waitForStarted());
        // The limits are set before the file is opened; the file then keeps the reader busy.
        QTest::qWait(1000);
        QFile limits(u"/proc/%1/limits"_s.arg(child.processId()));
        QVERIFY(limits.open(QIODevice::ReadOnly));
        const QString table = QString::fromLatin1(limits.readAll());
        child.kill();
        child.waitForFinished();
        auto soft = [&](const char* name) {
            for (const QString& line : table.split(u'\n')) {
                if (line.startsWith(QLatin1String(name)))
                    return line.mid(26).simplified().section(u' ', 0, 0);
            }
            return QString();
        };
        QCOMPARE(soft("Max cpu time"), u"600"_s);
        QCOMPARE(soft("Max core file size"), u"0"_s);
        // AddressSanitizer's own limits stand in for the address space limit in a checked build.
#if !defined(__SANITIZE_ADDRESS__) && !ORV_TEST_ADDRESS_SANITIZER
        QCOMPARE(soft("Max address space"), QString::number(1 << 30));
#endif
    }

    void onlyJetFilesAreTaken_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<JetFormat::Kind>("kind");
        const QByteArray jet = QByteArray("\0\1\0\0Standard Jet DB\0", 20);
        QTest::newRow("zero bytes") << QByteArray() << JetFormat::Kind::NotJet;
        QTest::newRow("SQLite") << QByteArray("SQLite format 3\0" + QByteArray(100, '\0')) << JetFormat::Kind::NotJet;
        QTest::newRow("Jet 3") << jet + QByteArray(1, '\0') << JetFormat::Kind::Jet3;
        QTest::newRow("Jet 4") << jet + QByteArray(1, '\1') << JetFormat::Kind::Jet4;
        QTest::newRow("ACE") << QByteArray("\0\1\0\0Standard ACE DB\0", 20) + QByteArray(1, '\3')
                             << JetFormat::Kind::Jet4;
        QTest::newRow("unknown version") << jet + QByteArray(1, '\x20') << JetFormat::Kind::NotJet;
        QTest::newRow("header cut short") << jet << JetFormat::Kind::NotJet;
    }

    void onlyJetFilesAreTaken()
    {
        QFETCH(QByteArray, header);
        QFETCH(JetFormat::Kind, kind);
        QVERIFY(writeFile(db(), header));
        QCOMPARE(JetFormat::kindOf(db()), kind);
        if (kind == JetFormat::Kind::NotJet) {
            QCOMPARE(JetImport::convertAtStartup(db(), backupDir()), JetImport::Outcome::NotJet);
            QCOMPARE(contentsOf(db()), header);
            QVERIFY(fakes->messageBox.asked.isEmpty());
        }
    }

    void progressWindowShowsTheCount()
    {
        QVERIFY(place(u"IDATA2_sample_v2000.mdb"_s));
        JetImport::settings().progressDelayMs = 0;
        QString seen;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* d = qobject_cast<QProgressDialog*>(w); d && d->isVisible())
                    seen = d->labelText();
            }
        });
        watch.start(5);
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QCOMPARE(JetImport::convertAtStartup(db(), backupDir()), JetImport::Outcome::Converted);
        QVERIFY2(seen.startsWith(u"古いメモ帳を新しい形式に変換しています。"_s), qPrintable(seen));
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!qobject_cast<QProgressDialog*>(w) || !w->isVisible(), "the progress window is gone");
    }

    void progressText_data()
    {
        QTest::addColumn<qint64>("done");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("step");
        QTest::newRow("before the count is known") << qint64(0) << qint64(0) << "メモ 0 / 0 件";
        QTest::newRow("part of the memos") << qint64(1000) << qint64(100000) << "メモ 1000 / 100000 件";
        QTest::newRow("every memo across") << qint64(300) << qint64(300) << "検索用の索引を作っています。";
    }

    void progressText()
    {
        QFETCH(qint64, done);
        QFETCH(qint64, total);
        QFETCH(QString, step);
        QCOMPARE(JetImport::progressText(done, total).section(u'\n', 1), step);
    }

    // What the conversion writes, the program reads back as it was meant, up to the largest counts.
    void protocolLinesReadBack_data()
    {
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("second");
        const qint64 most = std::numeric_limits<qint64>::max();
        QTest::newRow("nothing yet") << qint64(0) << qint64(0);
        QTest::newRow("part of the memos") << qint64(1000) << qint64(100000);
        QTest::newRow("largest counts") << most << most;
    }
    void protocolLinesReadBack()
    {
        QFETCH(qint64, first);
        QFETCH(qint64, second);
        QCOMPARE(JetConversion::parseLine(JetConversion::progressLine(first, second)),
                 JetConversion::Message(JetConversion::Progress{first, second}));
        QCOMPARE(JetConversion::parseLine(JetConversion::doneLine(first, second)),
                 JetConversion::Message(JetConversion::Done{first, second}));
    }

    // Anything but such a line is no message: the reading library's chatter, a line run into
    // another, counts that are negative, too large or missing.
    void protocolRefusesOtherLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("a warning") << "warning: property loop"_ba;
        QTest::newRow("text after") << "memos 1 of 9 and more"_ba;
        QTest::newRow("text before") << "x memos 1 of 9"_ba;
        QTest::newRow("blank after") << "memos 1 of 9 "_ba;
        QTest::newRow("line end kept") << "memos 1 of 9\r"_ba;
        QTest::newRow("two lines run together") << "memos 1 of 9memos 2 of 9"_ba;
        QTest::newRow("negative") << "memos -1 of 9"_ba;
        QTest::newRow("plus sign") << "memos +1 of 9"_ba;
        QTest::newRow("done, negative") << "converted: 3 memos, -1 applications"_ba;
        QTest::newRow("overflow") << "memos 9223372036854775808 of 9"_ba;
        QTest::newRow("overflow of the second") << "converted: 1 memos, 99999999999999999999 applications"_ba;
        QTest::newRow("first missing") << "memos  of 9"_ba;
        QTest::newRow("second missing") << "memos 1 of "_ba;
        QTest::newRow("done, count missing") << "converted:  memos, 2 applications"_ba;
        QTest::newRow("cut off") << "converted: 3 memos, 2 applica"_ba;
        QTest::newRow("not ASCII digits") << "memos １ of ９"_ba;
        QTest::newRow("a NUL inside") << QByteArray("memos 1\0 of 9", 14);
        QTest::newRow("overlong digits") << "memos " + QByteArray(200, '0') + "1 of 9";
    }
    void protocolRefusesOtherLines()
    {
        QFETCH(QByteArray, line);
        QVERIFY(!JetConversion::parseLine(line));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::newRow("converts and counts") << QStringList{sample(u"IDATA2_sample_v2000.mdb"_s)} << false << 0
                                             << "converted: 300 memos, 10 applications";
        QTest::newRow("never overwrites")
            << QStringList{sample(u"jp_V2000.mdb"_s)} << true << 6 << "error: target exists";
        QTest::newRow("another program's file")
            << QStringList{sample(u"noRoman.mdb"_s)} << false << 4 << "error: no memo table";
        QTest::newRow("crash inside the reader")
            << QStringList{sample(u"oom_abort_props.mdb"_s)} << false << 3 << "error: damaged";
        QTest::newRow("unreadable") << QStringList{u"/"_s} << false << 7 << "error: unreadable";
        QTest::newRow("no such folder for the new file")
            << QStringList{sample(u"jp_V2000.mdb"_s), u"/nonexistent-folder/new.mdb"_s} << false << 8
            << "error: cannot write";
        QTest::newRow("usage") << QStringList{} << false << 2 << "usage:";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, targetExists);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        const QString target = dir->filePath(u"new.mdb"_s);
        if (targetExists)
            QVERIFY(writeFile(target, "mine"));
        if (arguments.size() == 1)
            arguments.append(target);
        QProcess p;
        p.start(QStringLiteral(ORV_PROGRAM), QStringList{u"--convert-jet"_s} + arguments);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), exitCode);
        const QString printed = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        QVERIFY2(printed.contains(output), qPrintable(printed));
        if (targetExists)
            QCOMPARE(contentsOf(target), QByteArray("mine"));
        else if (exitCode == 0)
            QCOMPARE(count(target, u"メモ帳"_s), 300);
        else
            QVERIFY2(!QFile::exists(target), "a failed conversion leaves no file behind");
    }
};

ORV_TEST_MAIN(TestJetImport)
#include "tst_jet_import.moc"
