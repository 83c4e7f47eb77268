#include "platform/ProcessStarter.h"
#include "support/Fakes.h"
#include "support/TestMain.h"

#include <QFile>
#include <QTemporaryDir>

class TestProcessStarter : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PlatformFakes> m_fakes;
    QTemporaryDir m_dir;

    static ProcessStarter::Command command(const QString& program, const QStringList& arguments)
    {
        return {program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')), program, arguments};
    }

private Q_SLOTS:
    void init()
    {
        m_fakes = std::make_unique<PlatformFakes>();
        // The real starter; the help viewer stays the fake.
        ProcessStarter::setInstance(nullptr);
    }

    void cleanup() { m_fakes.reset(); }

    void helpViewerByName_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("shown");

        QTest::newRow("upper case") << "WINHLP32.EXE" << QStringList{"/help/a b.hlp"} << "/help/a b.hlp";
        QTest::newRow("lower case") << "winhlp32.exe" << QStringList{"/help/x.hlp"} << "/help/x.hlp";
        QTest::newRow("mixed case") << "WinHlp32.Exe" << QStringList{"C:\\HELP\\X.HLP"} << "C:\\HELP\\X.HLP";
        QTest::newRow("no file") << "WINHLP32.EXE" << QStringList{} << "";
    }

    void helpViewerByName()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        const Result r = ProcessStarter::instance().start(command(program, arguments));
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(m_fakes->helpViewer.shown.size(), 1);
        QTEST(m_fakes->helpViewer.shown.at(0).path, "shown");
    }

    void cannotStart_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("missing path") << m_dir.filePath("no-such-program");
        QTest::newRow("windows path") << "C:\\Tools\\App.exe";
        QTest::newRow("missing name on the search path") << "no-such-program-orvalent";
        QTest::newRow("empty") << "";
        QTest::newRow("blank") << " ";
        QTest::newRow("a folder") << m_dir.path();
        QTest::newRow("not executable") << m_dir.filePath("plain.txt");
        QTest::newRow("help viewer with a path") << "/usr/bin/WINHLP32.EXE";
    }

    void cannotStart()
    {
        QFETCH(QString, program);
        QFile plain(m_dir.filePath("plain.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("text\n");
        plain.close();
        const Result r = ProcessStarter::instance().start(command(program, {QStringLiteral("/doc/a.txt")}));
        QVERIFY(!r.ok);
        QVERIFY(m_fakes->helpViewer.shown.isEmpty());
    }

    // The file reaches the program as one argument, without a shell in between.
    void fileIsOneArgument()
    {
        QVERIFY(m_dir.isValid());
        const QString out = m_dir.filePath("arguments.out");
        const QString script = m_dir.filePath("show args.sh");
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > '%1.tmp'\nmv '%1.tmp' '%1'\n").arg(out).toUtf8());
        f.close();
        QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        const QString file = QStringLiteral("/home/u/My Docs/メモ $(touch x) 'a'.txt");
        const Result r = ProcessStarter::instance().start(command(script, {file}));
        QVERIFY2(r.ok, qPrintable(r.message));
        QTRY_VERIFY(QFile::exists(out));
        QFile result(out);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(result.readAll()), QStringLiteral("1\n") + file + QLatin1Char('\n'));
        QVERIFY(m_fakes->helpViewer.shown.isEmpty());
    }
};

ORV_TEST_MAIN(TestProcessStarter)
#include "tst_process_starter.moc"
