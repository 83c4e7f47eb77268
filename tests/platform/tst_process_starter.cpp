#include "platform/ProcessStarter.h"
#include "support/Fakes.h"
#include "support/TestMain.h"

#include <QFile>
#include <QTemporaryDir>

class TestProcessStarter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Program, file, what became of it: the help viewer (any case) opens on the file, a program
    // runs with the file as one argument, without a shell; what cannot start fails, showing nothing.
    void start()
    {
        PlatformFakes fakes;
        ProcessStarter::setInstance(nullptr); // the real starter
        QTemporaryDir dir;
        const QString script = dir.filePath("show args.sh"), tricky = "/home/u/My Docs/メモ $(touch x) 'a'.txt";
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly) &&
                f.write("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > \"$0.tmp\"; mv \"$0.tmp\" \"$0.out\"\n") > 0);
        QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        f.close(); // a program open for writing cannot be started
        const QList<QStringList> table{
            {"WINHLP32.EXE", "/help/a b.hlp", "ran viewer:/help/a b.hlp"},
            {"WinHlp32.Exe", "C:\\H\\X.HLP", "ran viewer:C:\\H\\X.HLP"},
            {"winhlp32.exe", "", "ran viewer:"},
            {script, tricky, "ran args:1\n" + tricky + '\n'},
            {"/usr/bin/WINHLP32.EXE", "/h/x.hlp", "failed"},
            {"C:\\Tools\\App.exe", "D:\\Doc\\a.txt", "failed"},
            {"", "/doc/a.txt", "failed"},
            {dir.path(), "/doc/a.txt", "failed"},
            {QFINDTESTDATA("tst_process_starter.cpp"), "/doc/a.txt", "failed"}, // not executable
        };
        for (const QStringList& row : table) {
            const QString program = row.at(0), file = row.at(1);
            fakes.helpViewer.shown.clear();
            const QStringList arguments = file.isEmpty() ? QStringList() : QStringList{file};
            QString outcome =
                ProcessStarter::instance().start({program + ' ' + file, program, arguments}) ? "ran" : "failed";
            for (const FakeHelpViewer::Shown& shown : fakes.helpViewer.shown)
                outcome += " viewer:" + shown.path;
            QFile out(program + ".out");
            if (outcome == "ran" && QTest::qWaitFor([&out] { return out.exists(); }) && out.open(QIODevice::ReadOnly))
                outcome += " args:" + QString::fromUtf8(out.readAll());
            QVERIFY2(outcome == row.at(2), qPrintable(program + " gave " + outcome));
        }
    }
};

ORV_TEST_MAIN(TestProcessStarter)
#include "tst_process_starter.moc"
