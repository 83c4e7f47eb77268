#include "startup/VEZOVEDO.h"
#include "support/TestMain.h"

class TestStartupPaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void derive_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("backupDir");
        QTest::addColumn<QString>("dbPath");
        QTest::addColumn<QString>("helpFile");

        QTest::newRow("windows upper case") << "C:\\TOOLS\\MEMO\\X.EXE"
                                            << "C:\\TOOLS\\MEMO"
                                            << "C:\\TOOLS\\MEMO\\Back Up"
                                            << "C:\\TOOLS\\MEMO\\IDATA2.mdb"
                                            << "C:\\TOOLS\\MEMO\\ｵﾙﾊﾞﾚﾝﾄ.HLP";
        QTest::newRow("windows lower case") << "C:\\TOOLS\\MEMO\\x.exe"
                                            << "C:\\TOOLS\\MEMO"
                                            << "C:\\TOOLS\\MEMO\\Back Up"
                                            << "C:\\TOOLS\\MEMO\\IDATA2.mdb"
                                            << "C:\\TOOLS\\MEMO\\ｵﾙﾊﾞﾚﾝﾄ.HLP";
        QTest::newRow("folder named .EXE") << "C:\\A.EXE\\B\\ORV.EXE"
                                           << "C:\\A.EXE\\B"
                                           << "C:\\A.EXE\\B\\Back Up"
                                           << "C:\\A.EXE\\B\\IDATA2.mdb"
                                           << "C:\\A.EXE\\B\\ｵﾙﾊﾞﾚﾝﾄ.HLP";
        QTest::newRow("linux") << "/opt/orvalent/orvalent"
                               << "/opt/orvalent"
                               << "/opt/orvalent/Back Up"
                               << "/opt/orvalent/IDATA2.mdb"
                               << "/opt/orvalent/ｵﾙﾊﾞﾚﾝﾄ.HLP";
        QTest::newRow("linux folder with .exe and blanks") << "/home/u/my.exe files/メモ/orvalent"
                                                           << "/home/u/my.exe files/メモ"
                                                           << "/home/u/my.exe files/メモ/Back Up"
                                                           << "/home/u/my.exe files/メモ/IDATA2.mdb"
                                                           << "/home/u/my.exe files/メモ/ｵﾙﾊﾞﾚﾝﾄ.HLP";
        QTest::newRow("linux program at the root") << "/orvalent"
                                                   << ""
                                                   << "/Back Up"
                                                   << "/IDATA2.mdb"
                                                   << "/ｵﾙﾊﾞﾚﾝﾄ.HLP";
    }

    void derive()
    {
        QFETCH(QString, program);
        const VEZOVEDO::Paths paths = VEZOVEDO::derivePaths(program);
        QTEST(paths.appDir, "appDir");
        QTEST(paths.backupDir, "backupDir");
        QTEST(paths.dbPath, "dbPath");
        QTEST(paths.helpFile, "helpFile");
    }
};

ORV_TEST_MAIN(TestStartupPaths)
#include "tst_startup_paths.moc"
