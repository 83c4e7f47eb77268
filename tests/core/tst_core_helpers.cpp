#include "core/BackgroundTask.h"
#include "core/DurableFile.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

// The two helpers every writer and every background job goes through.
class TestCoreHelpers : public QObject
{
    Q_OBJECT

    static QByteArray read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }

    static QStringList entries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private Q_SLOTS:
    void writesReplaceWholeOrNotAtAll_data()
    {
        QTest::addColumn<bool>("commit");
        QTest::addColumn<bool>("renameRefused");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("committed") << true << false << QByteArray("new content");
        QTest::newRow("dropped before commit") << false << false << QByteArray("old content");
        QTest::newRow("commit refused") << true << true << QByteArray("old content");
    }
    void writesReplaceWholeOrNotAtAll()
    {
        QFETCH(bool, commit);
        QFETCH(bool, renameRefused);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("out.csv"));
        QVERIFY(DurableFile::write(target, "old content"));
        // A file cannot take the place of a folder that holds something.
        const QString into = renameRefused ? dir.filePath(QStringLiteral("folder")) : target;
        if (renameRefused)
            QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("folder/inside")));
        QStringList steps;
        DurableFile::setObserver([&steps](const QString& step) { steps.append(step.section(u' ', 0, 0)); });
        {
            DurableFile::Writer writer(into);
            QVERIFY(writer.open());
            writer.file().write("new ");
            // Until the commit the old content is what a reader finds; the new one is beside it.
            QCOMPARE(read(target), QByteArray("old content"));
            QCOMPARE(entries(dir.path()).size(), 2);
            writer.file().write("content");
            if (commit)
                QCOMPARE(bool(writer.commit()), !renameRefused);
        }
        DurableFile::setObserver({});
        QCOMPARE(read(target), expected);
        QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("out.csv")});
        QCOMPARE(QFileInfo(into).isDir(), renameRefused);
        // The new content is on the disk before its name takes the old one's place, and the
        // folder after it, so that a power cut leaves one or the other whole.
        const QStringList durable = {QStringLiteral("sync"), QStringLiteral("rename"), QStringLiteral("sync")};
        QCOMPARE(steps, commit && !renameRefused ? durable
                        : commit                 ? QStringList{QStringLiteral("sync")}
                                                 : QStringList());
    }

    void resultsComeBackOnTheOwnersThread()
    {
        QObject owner;
        QThread* workedOn = nullptr;
        QThread* handedOn = nullptr;
        int result = 0;
        BackgroundTask* task = BackgroundTask::start(
            &owner,
            [&] {
                workedOn = QThread::currentThread();
                return 42;
            },
            [&](int r) {
                handedOn = QThread::currentThread();
                result = r;
            });
        QSignalSpy finished(task, &BackgroundTask::finished);
        task->waitForFinished();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(result, 42);
        QVERIFY(workedOn != QThread::currentThread());
        QCOMPARE(handedOn, QThread::currentThread());
    }

    // A window closed while its work runs gets nothing: the work is told to stop and its
    // result is dropped, and no call reaches what the window was.
    void anOwnerThatGoesDropsTheResult()
    {
        std::atomic<bool> started{false};
        std::atomic<bool> sawStop{false};
        bool handedOver = false;
        {
            QObject owner;
            BackgroundTask::start(
                &owner,
                [&](const BackgroundTask::Stop& stop) {
                    started = true;
                    while (!stop)
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    sawStop = true;
                    return 1;
                },
                [&](int) { handedOver = true; });
            QTRY_VERIFY(started);
        }
        QVERIFY(sawStop);
        QCoreApplication::processEvents();
        QVERIFY(!handedOver);
    }

    // Work told to stop hands nothing over, though its owner stays.
    void aStoppedTaskHandsNothingOver()
    {
        QObject owner;
        std::atomic<bool> release{false};
        bool handedOver = false;
        BackgroundTask* task = BackgroundTask::start(
            &owner,
            [&] {
                while (!release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return 1;
            },
            [&](int) { handedOver = true; });
        QSignalSpy finished(task, &BackgroundTask::finished);
        task->requestStop();
        release = true;
        QVERIFY(finished.wait(5000));
        QVERIFY(!handedOver);
    }

    void theEndOfTheProgramWaitsForRunningWork()
    {
        QObject owner;
        std::atomic<bool> done{false};
        BackgroundTask::start(&owner, [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            done = true;
        });
        BackgroundTask::waitForAll();
        QVERIFY(done);
        QVERIFY(owner.findChildren<BackgroundTask*>().isEmpty());
    }

    // Once the application has been told to quit no event loop runs; a result that start-up
    // waits for is still handed over, never taken as done without it. (Last: nothing after it
    // can run an event loop.)
    void aQuittingApplicationStillHandsTheResultOver()
    {
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(1); });
        QEventLoop quitting;
        quitting.exec();
        QObject owner;
        int result = 0;
        BackgroundTask* task = BackgroundTask::start(
            &owner,
            [] {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return 7;
            },
            [&](int r) { result = r; });
        task->waitForFinished();
        QCOMPARE(result, 7);
    }
};

QTEST_GUILESS_MAIN(TestCoreHelpers)
#include "tst_core_helpers.moc"
