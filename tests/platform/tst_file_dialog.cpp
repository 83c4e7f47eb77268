#include "platform/FileDialog.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

namespace {

const QString ProgramFilter = QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE)|*.EXE|*.*|*.*");

FileDialog::Request programRequest()
{
    return {QStringLiteral("アプリケーションを登録して下さい"), ProgramFilter, QStringLiteral("Name"),
            FileDialog::HideReadOnly};
}

// What the open dialog showed, gathered while it was open.
struct Seen
{
    bool found = false;
    QString title;
    QStringList filters;
    QString currentFilter;
    QString fileName;
    QStringList programs; // listed under the first choice
    QStringList all;      // listed under "*.*"
    QStringList programsAgain;
};

// The names listed in the dialog's folder view once the folder has been read.
QStringList listed(QFileDialog* dialog, const QString& mustShow)
{
    auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
    if (!view)
        return {};
    QStringList names;
    auto read = [&] {
        names.clear();
        QAbstractItemModel* model = view->model();
        const QModelIndex root = view->rootIndex();
        for (int r = 0; r < model->rowCount(root); ++r)
            names.append(model->index(r, 0, root).data().toString());
    };
    for (int i = 0; i < 250; ++i) {
        read();
        if (names.contains(mustShow))
            break;
        QTest::qWait(20);
    }
    // Let rows that arrive later arrive too.
    QTest::qWait(150);
    read();
    names.sort();
    return names;
}

// Runs inspect on the file dialog as soon as it is open, then leaves it with finish.
void whenOpen(const std::function<void(QFileDialog*)>& inspect, int attempts = 200)
{
    QTimer::singleShot(10, [=] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (attempts > 0)
                whenOpen(inspect, attempts - 1);
            return;
        }
        inspect(dialog);
    });
}

bool makeFile(const QString& path, bool executable)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("x");
    file.close();
    if (executable)
        return file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return true;
}

} // namespace

class TestFileDialog : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(makeFile(m_dir.filePath(QStringLiteral("a.exe")), false));
        QVERIFY(makeFile(m_dir.filePath(QStringLiteral("B.EXE")), false));
        QVERIFY(makeFile(m_dir.filePath(QStringLiteral("tool")), true));
        QVERIFY(makeFile(m_dir.filePath(QStringLiteral("notes.txt")), false));
        QVERIFY(makeFile(m_dir.filePath(QStringLiteral("README")), false));
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("sub")));
    }

    void parseFilter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("entries"); // "description => pattern, pattern"

        QTest::newRow("program files") << ProgramFilter
                                       << QStringList{QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE) => *.EXE"),
                                                      QStringLiteral("*.* => *.*")};
        QTest::newRow("several patterns, trailing bar")
            << "Help|*.HLP|Documents|*.DOC;*.TXT|" << QStringList{"Help => *.HLP", "Documents => *.DOC, *.TXT"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("description without pattern") << "Help" << QStringList{};
        QTest::newRow("odd part left over") << "Help|*.HLP|All" << QStringList{"Help => *.HLP"};
        QTest::newRow("blank pattern parts skipped") << "Text|*.TXT;;*.LOG" << QStringList{"Text => *.TXT, *.LOG"};
    }

    void parseFilter()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, entries);
        QStringList actual;
        for (const FileDialog::FilterEntry& e : FileDialog::parseFilter(filter))
            actual.append(e.description + QStringLiteral(" => ") + e.patterns.join(QStringLiteral(", ")));
        QCOMPARE(actual, entries);
    }

    void matches_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("executable");
        QTest::addColumn<bool>("expected");

        QTest::newRow("lower-case ending") << "*.EXE"
                                           << "a.exe" << false << true;
        QTest::newRow("upper-case ending") << "*.EXE"
                                           << "B.EXE" << false << true;
        QTest::newRow("program without ending") << "*.EXE"
                                                << "libreoffice" << true << true;
        QTest::newRow("plain file without ending") << "*.EXE"
                                                   << "README" << false << false;
        QTest::newRow("other ending") << "*.EXE"
                                      << "notes.txt" << false << false;
        QTest::newRow("executable script with ending") << "*.EXE"
                                                       << "run.sh" << true << false;
        QTest::newRow("ending in the middle") << "*.EXE"
                                              << "a.exe.bak" << false << false;
        QTest::newRow("pattern in lower case") << "*.exe"
                                               << "tool" << true << true;
        QTest::newRow("all: with a dot") << "*.*"
                                         << "notes.txt" << false << true;
        QTest::newRow("all: without a dot") << "*.*"
                                            << "README" << false << true;
        QTest::newRow("all: hidden file") << "*.*"
                                          << ".profile" << false << true;
        QTest::newRow("other pattern") << "*.HLP"
                                       << "ｵﾙﾊﾞﾚﾝﾄ.hlp" << false << true;
        QTest::newRow("other pattern, no program rule") << "*.HLP"
                                                        << "tool" << true << false;
        QTest::newRow("question mark") << "A?.TXT"
                                       << "ab.txt" << false << true;
    }

    void matches()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, executable);
        QFETCH(bool, expected);
        QCOMPARE(FileDialog::matches(pattern, name, executable), expected);
    }

    void realDialogListsAndCancels()
    {
        Seen seen;
        const QString folder = m_dir.path();
        whenOpen([&seen, folder](QFileDialog* dialog) {
            seen.found = true;
            seen.title = dialog->windowTitle();
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                seen.fileName = name->text();
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            if (types) {
                for (int i = 0; i < types->count(); ++i)
                    seen.filters.append(types->itemText(i));
                seen.currentFilter = types->currentText();
            }
            dialog->setDirectory(folder);
            seen.programs = listed(dialog, QStringLiteral("a.exe"));
            if (types) {
                // The user picks the second choice in the list, then the first again.
                types->setFocus();
                QTest::keyClick(types, Qt::Key_Down);
                seen.all = listed(dialog, QStringLiteral("notes.txt"));
                QTest::keyClick(types, Qt::Key_Up);
                seen.programsAgain = listed(dialog, QStringLiteral("a.exe"));
            }
            dialog->reject();
        });
        const std::optional<QString> chosen = FileDialog::instance().getOpenFileName(programRequest());

        QVERIFY(seen.found);
        QVERIFY(!chosen.has_value());
        QCOMPARE(seen.title, QStringLiteral("アプリケーションを登録して下さい"));
        QCOMPARE(seen.fileName, QStringLiteral("Name"));
        QCOMPARE(seen.filters, (QStringList{QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE)"), QStringLiteral("*.*")}));
        QCOMPARE(seen.currentFilter, QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE)"));
        const QStringList programs = {QStringLiteral("B.EXE"), QStringLiteral("a.exe"), QStringLiteral("sub"),
                                      QStringLiteral("tool")};
        QCOMPARE(seen.programs, programs);
        QCOMPARE(seen.all, (QStringList{QStringLiteral("B.EXE"), QStringLiteral("README"), QStringLiteral("a.exe"),
                                        QStringLiteral("notes.txt"), QStringLiteral("sub"), QStringLiteral("tool")}));
        QCOMPARE(seen.programsAgain, programs);
    }

    void realDialogGivesTheFullPath()
    {
        bool found = false;
        const QString folder = m_dir.path();
        whenOpen([&found, folder](QFileDialog* dialog) {
            found = true;
            dialog->setDirectory(folder);
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!name) {
                dialog->reject();
                return;
            }
            name->setText(QStringLiteral("tool"));
            QTest::keyClick(name, Qt::Key_Return);
        });
        const std::optional<QString> chosen = FileDialog::instance().getOpenFileName(programRequest());
        QVERIFY(found);
        QVERIFY(chosen.has_value());
        QCOMPARE(*chosen, QDir(folder).absoluteFilePath(QStringLiteral("tool")));
    }
};

ORV_TEST_MAIN(TestFileDialog)
#include "tst_file_dialog.moc"
