#include "platform/FileDialog.h"
#include "support/TestMain.h"
#include "support/Widgets.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

namespace {

const FileDialog::Request ProgramRequest = {QStringLiteral("アプリケーションを登録して下さい"),
                                            QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE)|*.EXE|*.*|*.*"), QStringLiteral("Name"),
                                            FileDialog::HideReadOnly};

// The names the open dialog lists, sorted, once it has read the folder far enough to show mustShow.
QString listed(QFileDialog* dialog, const QString& mustShow)
{
    auto* view = findRequired<QListView>(dialog, QStringLiteral("listView"));
    QStringList names;
    auto read = [&] {
        names.clear();
        for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
            names.append(view->model()->index(r, 0, view->rootIndex()).data().toString());
        return names.contains(mustShow);
    };
    if (QTest::qWaitFor(read, 5000))
        QTest::qWait(150); // rows that arrive later
    read();
    names.sort();
    return names.join(' ');
}

} // namespace

class TestFileDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each choice of a filter, "+" when it lists the file named by the data tag: letter case
    // does not count, "*.*" takes every name, "*.EXE" also programs without an ending.
    void filterChoices_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("executable");
        QTest::addColumn<QString>("choices");
        QTest::newRow("libreoffice") << "P|*.exe|A|*.*" << true << "P+ A+";
        QTest::newRow(".profile") << ProgramRequest.filter << false << "ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE)- *.*+";
        QTest::newRow("run.sh") << "P|*.EXE|" << true << "P-";
        QTest::newRow("a.exe.bak") << "P|*.EXE|A" << false << "P-";
        QTest::newRow("yelp") << "H|*.HLP|D|*.DOC;A?.TXT" << true << "H- D-";
        QTest::newRow("ｵﾙﾊﾞﾚﾝﾄ.hlp") << "H|*.HLP|D|*.DOC;A?.TXT" << false << "H+ D-";
        QTest::newRow("ab.txt") << "H|*.HLP|D|*.DOC;A?.TXT" << false << "H- D+";
    }

    void filterChoices()
    {
        QFETCH(QString, filter);
        QFETCH(bool, executable);
        const QString file = QString::fromUtf8(QTest::currentDataTag());
        QStringList choices;
        for (const FileDialog::FilterEntry& e : FileDialog::parseFilter(filter)) {
            const bool listed = std::any_of(e.patterns.begin(), e.patterns.end(),
                                            [&](const QString& p) { return FileDialog::matches(p, file, executable); });
            choices.append(e.description + (listed ? '+' : '-'));
        }
        QTEST(choices.join(' '), "choices");
    }

    // Offscreen: programs with or without ".EXE" under the first choice, all under "*.*"; cancel.
    void realDialogFiltersAndCancel()
    {
        QTemporaryDir dir;
        for (const char* name : {"a.exe", "B.EXE", "notes.txt", "README", "tool"})
            QVERIFY(QFile(dir.filePath(QLatin1String(name))).open(QIODevice::WriteOnly));
        QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("tool")), QFile::ReadOwner | QFile::ExeOwner));
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* types = findRequired<QComboBox>(dialog, QStringLiteral("fileTypeCombo"));
            dialog->setDirectory(dir.path());
            seen << dialog->windowTitle() << findRequired<QLineEdit>(dialog, QStringLiteral("fileNameEdit"))->text()
                 << types->currentText() << listed(dialog, QStringLiteral("a.exe"));
            QTest::keyClick(types, Qt::Key_Down); // as the user picks the other choice
            seen << types->currentText() << listed(dialog, QStringLiteral("notes.txt"));
            dialog->reject();
        });
        QVERIFY(!FileDialog::instance().getOpenFileName(ProgramRequest));
        QCOMPARE(seen, (QStringList{"アプリケーションを登録して下さい", "Name", "ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE)", "B.EXE a.exe tool",
                                    "*.*", "B.EXE README a.exe notes.txt tool"}));
    }
};

ORV_TEST_MAIN(TestFileDialog)
#include "tst_file_dialog.moc"
