#include "support/Fakes.h"
#include "support/TestMain.h"
#include "support/Widgets.h"
#include "viewer/OldFiles.h"
#include "viewer/OldFilesWindow.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

// Where the old program's files are found now: Windows paths under the folders the user chose
// for their drives and shares, and the window where those folders are chosen again or forgotten.
class TestOldFiles : public QObject
{
    Q_OBJECT

private:
    PlatformFakes m_fakes;
    QTemporaryDir m_tree; // what was drive C: and the share \\NAS01\DOCS
    QList<OldFiles::Root> m_roots;

    void make(const QString& path)
    {
        QVERIFY(QDir(m_tree.path()).mkpath(QFileInfo(path).path()));
        QFile f(m_tree.filePath(path));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char* path : {"c/Windows/Help/excel.hlp", "c/Windows/Help/Excel.HLP", "c/Windows/Help/word.hlp",
                                 "c/Program Files/Microsoft Office/Office10/EXCEL.EXE", "c/Program Data/x.txt",
                                 "c/Tools/TeraPad/TeraPad.exe", "c/My Documents/手引き1.doc", "nas/操作説明.doc"})
            make(QString::fromUtf8(path));
        m_roots = {{QStringLiteral("C:"), m_tree.filePath(QStringLiteral("c"))},
                   {QStringLiteral("\\\\NAS01\\DOCS"), m_tree.filePath(QStringLiteral("nas"))}};
    }

    void cleanup()
    {
        for (const OldFiles::Root& root : OldFiles::roots())
            QVERIFY(OldFiles::forgetRoot(root.key));
        m_fakes.messageBox.asked.clear();
        m_fakes.fileDialog.folderAsked.clear();
        closeAllForms();
    }

    // Names are matched without regard to letter case, an exact match first; ".." is taken
    // back by name and never above the root; short names only where they can mean one file.
    void resolves_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("found");
        QTest::addColumn<QString>("local"); // under the tree
        using F = OldFiles::Found;
        auto row = [](const char* tag, const char* path, F found, const char* local = "") {
            QTest::newRow(tag) << QString::fromUtf8(path) << int(found) << QString::fromUtf8(local);
        };
        row("exact", "C:\\Windows\\Help\\excel.hlp", F::Resolved, "c/Windows/Help/excel.hlp");
        row("exact among case twins", "C:\\Windows\\Help\\Excel.HLP", F::Resolved, "c/Windows/Help/Excel.HLP");
        row("other case, first twin", "C:\\WINDOWS\\HELP\\EXCEL.hlp", F::Resolved, "c/Windows/Help/Excel.HLP");
        row("folders of other case", "c:/WINDOWS/HELP/WORD.HLP", F::Resolved, "c/Windows/Help/word.hlp");
        row("long folder names of other case", "C:\\PROGRAM FILES\\microsoft office\\OFFICE10\\excel.exe", F::Resolved,
            "c/Program Files/Microsoft Office/Office10/EXCEL.EXE");
        row("drive-relative", "C:Tools\\TeraPad\\TERAPAD.EXE", F::Resolved, "c/Tools/TeraPad/TeraPad.exe");
        row("dots and spaces after names", "C:\\Tools.\\TeraPad \\TeraPad.exe", F::Resolved,
            "c/Tools/TeraPad/TeraPad.exe");
        row("doubled separators and .", "C:\\\\Tools\\.\\TeraPad\\\\TeraPad.exe", F::Resolved,
            "c/Tools/TeraPad/TeraPad.exe");
        row("..", "C:\\Windows\\..\\Tools\\TeraPad\\TeraPad.exe", F::Resolved, "c/Tools/TeraPad/TeraPad.exe");
        row("short name of one", "C:\\TOOLS\\TERAPAD\\TERAPAD.EXE", F::Resolved, "c/Tools/TeraPad/TeraPad.exe");
        row("short name of two", "C:\\PROGRA~1\\x.txt", F::Missing);
        row("japanese", "c:\\my documents\\手引き1.DOC", F::Resolved, "c/My Documents/手引き1.doc");
        row("unc", "\\\\nas01\\docs\\操作説明.doc", F::Resolved, "nas/操作説明.doc");
        row("unc with slashes", "//NAS01/Docs/操作説明.DOC", F::Resolved, "nas/操作説明.doc");
        row("long form", "\\\\?\\C:\\Windows\\Help\\word.hlp", F::Resolved, "c/Windows/Help/word.hlp");
        row("missing", "C:\\Windows\\Help\\gone.hlp", F::Missing);
        row("no root chosen", "D:\\Apps\\swriter.exe", F::NoRoot);
        row("share not chosen", "\\\\other\\share\\a.doc", F::NoRoot);
        row("above the root", "C:\\..\\etc\\passwd", F::Invalid);
        row("above the root, deeper", "C:\\Windows\\..\\..\\etc", F::Invalid);
        row("character no name held", "C:\\Windows\\a|b.hlp", F::Invalid);
        row("control character", "C:\\Windows\\a\x01.hlp", F::Invalid);
        row("device name", "C:\\Windows\\nul.txt", F::Invalid);
        row("empty name", "C:\\Windows\\...\\x", F::Invalid);
        row("unc without share", "\\\\server", F::Invalid);
        QTest::newRow("nul, which no Linux name holds")
            << (QStringLiteral("C:\\Windows\\a") + QChar(0) + QStringLiteral("b.hlp")) << int(F::Invalid) << QString();
        row("linux path", "/usr/share/doc/x.html", F::Local, "");
        row("relative without drive", "HELP\\x.hlp", F::Local, "");
    }

    void resolves()
    {
        QFETCH(QString, path);
        QFETCH(int, found);
        QFETCH(QString, local);
        const OldFiles::Resolution r = OldFiles::resolve(path, m_roots);
        QCOMPARE(int(r.found), found);
        if (found == int(OldFiles::Found::Resolved))
            QCOMPARE(r.path, m_tree.filePath(local));
        else if (found == int(OldFiles::Found::Local))
            QCOMPARE(r.path, path);
        else
            QVERIFY(r.path.isEmpty() && r.why.contains(path));
    }

    // The choices live in the user's settings only; a key is stored in one form whatever the
    // user's spelling, and a second choice takes the place of the first.
    void remembersChoices()
    {
        QVERIFY(!OldFiles::storeRoot(QStringLiteral("C:\\Windows"), m_tree.path()));
        QVERIFY(!OldFiles::storeRoot(QStringLiteral("C:"), QStringLiteral("relative/folder")));
        QVERIFY(OldFiles::storeRoot(QStringLiteral("c:"), QStringLiteral("/old")));
        QVERIFY(OldFiles::storeRoot(QStringLiteral("C:\\"), m_tree.filePath(QStringLiteral("c"))));
        QVERIFY(OldFiles::storeRoot(QStringLiteral("//nas01/docs"), m_tree.filePath(QStringLiteral("nas"))));
        const QList<OldFiles::Root> roots = OldFiles::roots();
        QCOMPARE(roots.size(), 2);
        QCOMPARE(roots.at(0).key, QStringLiteral("C:"));
        QCOMPARE(roots.at(0).folder, m_tree.filePath(QStringLiteral("c")));
        QCOMPARE(roots.at(1).key, QStringLiteral("\\\\NAS01\\DOCS"));
        QCOMPARE(OldFiles::resolve(QStringLiteral("C:\\WINDOWS\\HELP\\WORD.HLP")).path,
                 m_tree.filePath(QStringLiteral("c/Windows/Help/word.hlp")));
        const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                             QStringLiteral("/orvalent/orvalent.conf");
        QVERIFY2(QFile::exists(file), qPrintable(file));
        QVERIFY(OldFiles::forgetRoot(QStringLiteral("c:")));
        QCOMPARE(OldFiles::folderFor(QStringLiteral("C:")), QString());
        QCOMPARE(OldFiles::roots().size(), 1);
    }

    // The first missing file of a drive asks for its folder; no, or a cancelled choice, stores nothing.
    void asksForTheRoot_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("chosen");
        QTest::newRow("no") << false << false;
        QTest::newRow("yes, cancelled") << true << false;
        QTest::newRow("yes, chosen") << true << true;
    }

    void asksForTheRoot()
    {
        QFETCH(bool, yes);
        QFETCH(bool, chosen);
        m_fakes.messageBox.answers.enqueue(yes ? MessageBox::Answer::Yes : MessageBox::Answer::No);
        const QString folder = m_tree.filePath(QStringLiteral("c"));
        m_fakes.fileDialog.answers.enqueue(chosen ? std::optional<QString>(folder) : std::nullopt);
        const QString answer = OldFilesWindow::askForRoot(QStringLiteral("c:\\windows\\help\\word.hlp"));
        QCOMPARE(answer, chosen ? folder : QString());
        QCOMPARE(OldFiles::folderFor(QStringLiteral("C:")), chosen ? folder : QString());
        QCOMPARE(m_fakes.messageBox.asked.size(), 1);
        QVERIFY(m_fakes.messageBox.asked.first().text.contains(QStringLiteral("ドライブ C:")));
        QCOMPARE(m_fakes.fileDialog.folderAsked.size(), yes ? 1 : 0);
        if (!chosen)
            m_fakes.fileDialog.answers.clear();
        QCOMPARE(OldFilesWindow::askForRoot(QStringLiteral("/not/windows")), QString());
    }

    // The window lists the choices; 変更… chooses another folder, 削除 forgets one.
    void windowChangesAndRemoves()
    {
        QVERIFY(OldFiles::storeRoot(QStringLiteral("C:"), QStringLiteral("/first")));
        QVERIFY(OldFiles::storeRoot(QStringLiteral("\\\\NAS01\\DOCS"), QStringLiteral("/nas")));
        OldFilesWindow* window = OldFilesWindow::showWindow();
        auto* list = findRequired<QListWidget>(window, QStringLiteral("rootList"));
        auto* change = findRequired<QPushButton>(window, QStringLiteral("changeButton"));
        auto* remove = findRequired<QPushButton>(window, QStringLiteral("removeButton"));
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QStringLiteral("C: → /first"));
        list->setCurrentRow(0);
        QVERIFY(change->isEnabled() && remove->isEnabled());
        m_fakes.fileDialog.answers.enqueue(QStringLiteral("/second"));
        change->click();
        QCOMPARE(OldFiles::folderFor(QStringLiteral("C:")), QStringLiteral("/second"));
        QCOMPARE(list->item(0)->text(), QStringLiteral("C: → /second"));
        QCOMPARE(window->selectedKey(), QStringLiteral("C:"));
        m_fakes.fileDialog.answers.enqueue(std::nullopt); // cancelled: kept
        change->click();
        QCOMPARE(OldFiles::folderFor(QStringLiteral("C:")), QStringLiteral("/second"));
        remove->click();
        QCOMPARE(OldFiles::roots().size(), 1);
        QCOMPARE(list->count(), 1);
        QCOMPARE(window->selectedKey(), QStringLiteral("\\\\NAS01\\DOCS"));
        remove->click();
        QCOMPARE(list->count(), 0);
        QVERIFY(!change->isEnabled() && !remove->isEnabled());
        QVERIFY(findRequired<QWidget>(window, QStringLiteral("emptyLabel"))->isVisibleTo(window));
    }
};

ORV_TEST_MAIN(TestOldFiles)
#include "tst_old_files.moc"
