#include "platform/KeyNotation.h"
#include "platform/KeySender.h"
#include "support/Fakes.h"
#include "support/PdfMaker.h"
#include "support/TestMain.h"
#include "support/Widgets.h"
#include "viewer/HelpViewerWindow.h"
#include "viewer/OldFiles.h"
#include "viewer/PdfPane.h"

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>

// The help viewer driven as a memo drives it (Alt+I, the keyword, Alt+D) on the kinds of files
// that memos name, and on files that it cannot show.
class TestViewerDocuments : public QObject
{
    Q_OBJECT

private:
    PlatformFakes m_fakes; // all but the viewer and the keys, see initTestCase
    QTemporaryDir m_dir;
    QList<QUrl> m_handed; // what went to the desktop

    QString file(const QString& name) const { return m_dir.filePath(name); }
    HelpViewerWindow* window() { return HelpViewerWindow::window(); }
    QTextBrowser* browser() { return findRequired<QTextBrowser>(window(), QStringLiteral("browser")); }

    void writeFile(const QString& name, const QByteArray& content)
    {
        QFile f(file(name));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    }

    // Opens a file as a memo's ファイル表示 does and sends the memo's keys.
    void openAt(const QString& path, const QString& keyword)
    {
        QVERIFY(HelpViewer::instance().showFile(path).ok);
        for (const QString& keys : {QStringLiteral("%I"), KeyNotation::escape(keyword), QStringLiteral("%D")})
            QVERIFY(KeySender::instance().send(keys, true).ok);
    }

    // Compiles a help project of the given files in a folder of its own with chmcmd.
    QString compileHelp(const QString& name, const QMap<QString, QByteArray>& files, bool withIndex)
    {
        const QString folder = file(name);
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            QDir().mkpath(QFileInfo(folder + '/' + it.key()).absolutePath());
            QFile f(folder + '/' + it.key());
            if (!f.open(QIODevice::WriteOnly) || f.write(it.value()) != it.value().size())
                return {};
        }
        QStringList members = files.keys();
        members.removeIf(
            [](const QString& m) { return m.endsWith(QLatin1String(".hhc")) || m.endsWith(QLatin1String(".hhk")); });
        QFile project(folder + QStringLiteral("/help.hhp"));
        if (!project.open(QIODevice::WriteOnly))
            return {};
        project.write(
            QStringLiteral("[OPTIONS]\nCompiled file=%1.chm\nContents file=toc.hhc\n%2Default topic=a.htm\n"
                           "Title=手引き\nLanguage=0x411 Japanese\n\n[FILES]\n%3\n")
                .arg(name, withIndex ? QStringLiteral("Index file=index.hhk\n") : QString(), members.join('\n'))
                .toUtf8());
        project.close();
        QProcess compiler;
        compiler.setWorkingDirectory(folder);
        compiler.start(QStringLiteral("/usr/bin/chmcmd"), {QStringLiteral("help.hhp")});
        if (!compiler.waitForFinished(60000) || compiler.exitCode() != 0)
            return {};
        return folder + '/' + name + QStringLiteral(".chm");
    }

    static QByteArray sitemap(const QList<QPair<QString, QString>>& entries)
    {
        QString items;
        for (const auto& [title, local] : entries)
            items += QStringLiteral("<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"%1\">"
                                    "<param name=\"Local\" value=\"%2\"></object>\n")
                         .arg(title, local);
        return (QStringLiteral("<html><body><ul>\n") + items + QStringLiteral("</ul></body></html>")).toUtf8();
    }

    QString m_chm;     // with a keyword index
    QString m_noIndex; // the same pages with their contents only

    // The text of the highlighted hits in the page shown.
    QStringList marked()
    {
        QStringList texts;
        for (const QTextEdit::ExtraSelection& mark : browser()->extraSelections())
            texts.append(mark.cursor.selectedText());
        return texts;
    }

private Q_SLOTS:
    void initTestCase()
    {
        HelpViewer::setInstance(nullptr);
        KeySender::setInstance(nullptr);
        HelpViewerWindow::setDesktopOpener([this](const QUrl& url) { return m_handed.append(url), false; });
        // A manual of five pages: an outline of three entries, and a word that only its text holds,
        // once on the second page and twice on the fourth.
        const QList<QStringList> pages{
            {QStringLiteral("はじめに"), QStringLiteral("この説明書の読み方。")},
            {QStringLiteral("表の作り方"), QStringLiteral("グラフを描くには、範囲を選びます。")},
            {QStringLiteral("関数の使い方"), QStringLiteral("SUM と AVERAGE。")},
            {QStringLiteral("合計を出す"), QStringLiteral("合計のグラフ"), QStringLiteral("棒グラフと折れ線")},
            {QStringLiteral("索引"), QStringLiteral("おわり")},
        };
        QString error;
        QVERIFY2(PdfMaker::write(file("manual.pdf"), pages,
                                 {{QStringLiteral("はじめに"), 0, 0},
                                  {QStringLiteral("関数の使い方"), 2, 0},
                                  {QStringLiteral("合計を出す"), 3, 1}},
                                 &error),
                 qPrintable(error));
        QVERIFY(PdfMaker::write(file("plain.pdf"), pages));

        if (!QFile::exists(QStringLiteral("/usr/bin/chmcmd")))
            QSKIP("chmcmd (fp-utils) is not installed");
        const QString filler = QStringLiteral("<p>説明の行。</p>").repeated(60);
        const QMap<QString, QByteArray> help{
            {"a.htm", (QStringLiteral("<html><head><link rel=\"stylesheet\" href=\"css/style.css\"></head><body>"
                                      "<h1>印刷</h1><p><img src=\"pic/printer.png\">印刷の手順。</p>"
                                      "<p><a href=\"sub/b.htm#margin\">余白へ</a></p></body></html>"))
                          .toUtf8()},
            {"sub/b.htm", (QStringLiteral("<html><head><title>用紙の設定</title></head><body><h1>用紙</h1>") + filler +
                           QStringLiteral("<h2><a name=\"margin\"></a>余白</h2><p>用紙の余白を変える。</p>") + filler +
                           QStringLiteral("<p>用紙の向き。</p></body></html>"))
                              .toUtf8()},
            {"css/style.css", "h1 { color: #123456; }\n"},
            {"pic/printer.png",
             [] {
                 QImage image(6, 4, QImage::Format_RGB32);
                 image.fill(Qt::red);
                 QByteArray png;
                 QBuffer buffer(&png);
                 buffer.open(QIODevice::WriteOnly);
                 image.save(&buffer, "PNG");
                 return png;
             }()},
            {"toc.hhc", sitemap({{"印刷", "a.htm"}, {"用紙", "sub/b.htm"}})},
            {"index.hhk",
             sitemap({{"インク", "a.htm"}, {"印刷", "a.htm"}, {"余白", "sub/b.htm#margin"}, {"用紙", "sub/b.htm"}})},
        };
        m_chm = compileHelp(QStringLiteral("manual"), help, true);
        QVERIFY2(!m_chm.isEmpty(), "chmcmd made no help file");
        m_noIndex = compileHelp(QStringLiteral("contents"), help, false);
        QVERIFY2(!m_noIndex.isEmpty(), "chmcmd made no help file");
    }

    void cleanup()
    {
        window()->close();
        closeAllForms();
        m_handed.clear();
        m_fakes.messageBox.asked.clear();
        for (const OldFiles::Root& root : OldFiles::roots())
            QVERIFY(OldFiles::forgetRoot(root.key));
    }

    // The outline is the index: its entry is shown when the keyword begins one; otherwise the
    // first page that holds the keyword, with its hits counted and marked, F3 and Shift+F3
    // going on and back round.
    void pdfAtTheKeyword_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("where");
        QTest::newRow("an outline entry") << "manual.pdf"
                                          << "関数" << 2 << "manual.pdf　ページ 3 / 5";
        QTest::newRow("a nested entry, half-width") << "manual.pdf"
                                                    << "合計を出す" << 3 << "manual.pdf　ページ 4 / 5";
        QTest::newRow("only in the text") << "manual.pdf"
                                          << "グラフ" << 1 << "manual.pdf　ページ 2 / 5　「グラフ」3 件中 1 件目";
        QTest::newRow("no outline") << "plain.pdf"
                                    << "合計" << 3 << "plain.pdf　ページ 4 / 5　「合計」2 件中 1 件目";
        QTest::newRow("nowhere") << "manual.pdf"
                                 << "ピボット" << 0 << "manual.pdf　ページ 1 / 5　「ピボット」は見つかりません";
    }

    void pdfAtTheKeyword()
    {
        QFETCH(QString, name);
        QFETCH(QString, keyword);
        QFETCH(int, page);
        QFETCH(QString, where);
        openAt(file(name), keyword);
        QTRY_COMPARE(window()->where(), where);
        QCOMPARE(window()->pdfPane()->page(), page);
        QCOMPARE(window()->pdfPane()->hitBounds().isEmpty(), !where.contains(QStringLiteral("件目")));
        QVERIFY(window()->message().isEmpty());
    }

    void pdfHitsOnAndBack()
    {
        openAt(file("manual.pdf"), QStringLiteral("ｸﾞﾗﾌ"));
        QTRY_COMPARE(window()->hitCount(), 3);
        const QList<int> after{3, 3, 1, 3};
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(window(), Qt::Key_F3);
            QCOMPARE(window()->pdfPane()->page(), after.at(i));
            QCOMPARE(window()->currentHit(), (i + 1) % 3);
        }
        QTest::keyClick(window(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(window()->currentHit(), 2);
        QVERIFY(window()->where().endsWith(QStringLiteral("「ｸﾞﾗﾌ」3 件中 3 件目")));
    }

    // A compiled help file lands on the keyword's topic of its index, or on the first page of its
    // contents that holds the words; without an index, its contents are the index.
    void chmAtTheKeyword_data()
    {
        QTest::addColumn<bool>("withIndex");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("shows"); // a text of the page shown
        QTest::addColumn<QString>("where");
        QTest::newRow("index entry") << true << "余白"
                                     << "用紙の余白を変える。"
                                     << "manual.chm　「余白」";
        QTest::newRow("index entry, half-width") << true << "ｲﾝｸ"
                                                 << "印刷の手順。"
                                                 << "manual.chm　「インク」";
        QTest::newRow("only in the text") << true << "向き"
                                          << "用紙の向き。"
                                          << "manual.chm　「向き」1 件中 1 件目";
        QTest::newRow("nowhere") << true << "ピボット"
                                 << "印刷の手順。"
                                 << "manual.chm　「ピボット」は見つかりません";
        QTest::newRow("contents as the index") << false << "用紙"
                                               << "用紙の余白を変える。"
                                               << "contents.chm　「用紙」";
    }

    void chmAtTheKeyword()
    {
        QFETCH(bool, withIndex);
        QFETCH(QString, keyword);
        QFETCH(QString, shows);
        QFETCH(QString, where);
        openAt(withIndex ? m_chm : m_noIndex, keyword);
        QVERIFY2(browser()->toPlainText().contains(shows), qPrintable(browser()->toPlainText().left(200)));
        QCOMPARE(window()->where(), where);
        QVERIFY(window()->message().isEmpty());
    }

    // Pictures and style sheets come from inside the file; its links lead to its other pages.
    void chmPagesPicturesAndLinks()
    {
        openAt(m_chm, QStringLiteral("印刷"));
        const QVariant picture =
            browser()->document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("pic/printer.png")));
        QCOMPARE(qvariant_cast<QImage>(picture).size(), QSize(6, 4));
        QVERIFY2(browser()->document()->toHtml().contains(QStringLiteral("#123456")),
                 qPrintable(browser()->document()->toHtml()));
        Q_EMIT browser()->anchorClicked(QUrl(QStringLiteral("sub/b.htm#margin")));
        QVERIFY(browser()->toPlainText().contains(QStringLiteral("用紙の余白を変える。")));
        QCOMPARE(window()->where(), QStringLiteral("manual.chm　「用紙の設定」"));
        QCOMPARE(m_handed, QList<QUrl>());
    }

    // A page of an HTML or text file without a topic of that title: the first place of the words is
    // shown and each of them marked.
    void textAtTheKeyword_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QStringList>("marked");
        const QString filler = QStringLiteral("<p>説明の行。</p>").repeated(60);
        QTest::newRow("html") << "page.html"
                              << (QStringLiteral("<h1>はじめに</h1>") + filler + "<p>セルの<b>書式</b>設定</p>" +
                                  filler + "<p>書式のコピー</p>")
                                     .toUtf8()
                              << "書式" << QStringList{"書式", "書式"};
        QTest::newRow("shift_jis text, half-width keyword")
            << "MEMO.TXT" << QByteArray(QStringEncoder("Shift_JIS")(u"一行目\nＥｘｃｅｌの表\n二行目 excel\n"))
            << "ｅｘｃｅｌ" << QStringList{"Ｅｘｃｅｌ", "excel"};
        QTest::newRow("nowhere") << "none.html" << QByteArray("<p>abc</p>") << "xyz" << QStringList();
    }

    void textAtTheKeyword()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, keyword);
        QFETCH(QStringList, marked);
        writeFile(name, content);
        openAt(file(name), keyword);
        QCOMPARE(this->marked(), marked);
        QCOMPARE(window()->hitCount(), marked.size());
        const QString where = marked.isEmpty() ? QStringLiteral("「%1」は見つかりません").arg(keyword)
                                               : QStringLiteral("「%1」%2 件中 1 件目").arg(keyword).arg(marked.size());
        QCOMPARE(window()->where(), name + QStringLiteral("　") + where);
        if (!marked.isEmpty())
            QCOMPARE(browser()->textCursor().position(), browser()->extraSelections().first().cursor.selectionStart());
    }

    // What cannot be shown says why in the viewer and writes nothing; the program goes on.
    void badFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // null: made by the test itself
        QTest::addColumn<QString>("says");
        const auto bytesOf = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray pdf = bytesOf(file("manual.pdf"));
        const QByteArray chm = bytesOf(m_chm);
        QTest::newRow("truncated pdf") << "cut.pdf" << pdf.left(pdf.size() / 3) << "壊れている";
        QTest::newRow("pdf header only") << "head.pdf" << QByteArray("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n")
                                         << "壊れている";
        QTest::newRow("truncated help file")
            << "cut.chm" << chm.left(chm.size() / 2) << "HTML ヘルプのファイルではない";
        QTest::newRow("locked pdf") << "locked.pdf" << QByteArray() << "パスワードで保護されている";
        QTest::newRow("a folder") << "folder.pdf" << QByteArray() << "ファイルではなくフォルダー";
        QTest::newRow("a link to itself") << "loop.pdf" << QByteArray() << "見つかりません";
        QTest::newRow("winhelp") << "EXCEL.HLP" << QByteArray("?_\x03\0\x10\0\0\0", 8) << "Windows ヘルプ";
        QTest::newRow("2 GB text") << "huge.txt" << QByteArray() << "ここでは表示できず";
        QTest::newRow("2 GB pdf") << "huge.pdf" << QByteArray() << "途中で切れているか壊れている";
    }

    void badFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, says);
        const QString path = file(name);
        if (name == QLatin1String("locked.pdf"))
            QVERIFY(PdfMaker::writeLocked(path));
        else if (name == QLatin1String("folder.pdf"))
            QVERIFY(QDir().mkpath(path));
        else if (name == QLatin1String("loop.pdf"))
            QVERIFY(QFile::link(path, path));
        else if (name.startsWith(QLatin1String("huge"))) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(name.endsWith(".pdf") ? "%PDF-1.4\n" : "text\n") > 0);
            QVERIFY(f.resize(qint64(2) << 30)); // sparse: nothing but its length is written
        } else {
            writeFile(name, content);
        }
        const QDateTime before = QFileInfo(path).lastModified();
        openAt(path, QStringLiteral("グラフ"));
        QVERIFY2(window()->message().contains(says), qPrintable(window()->message()));
        QCOMPARE(QFileInfo(path).lastModified(), before);
        QVERIFY(m_fakes.messageBox.asked.isEmpty());
        QFile::remove(path);
    }

    // What nothing here shows is described, with where it is and a button that opens its folder.
    void cannotShowOpensTheFolder()
    {
        writeFile(QStringLiteral("EXCEL.HLP"), QByteArray("?_\x03\0\x10\0\0\0", 8));
        openAt(file(QStringLiteral("EXCEL.HLP")), QStringLiteral("グラフ"));
        QVERIFY(window()->message().contains(QDir::toNativeSeparators(file(QStringLiteral("EXCEL.HLP")))));
        auto* button = findRequired<QPushButton>(window(), QStringLiteral("openFolderButton"));
        QVERIFY(button->isVisible());
        m_handed.clear();
        button->click();
        QCOMPARE(m_handed, QList<QUrl>{QUrl::fromLocalFile(m_dir.path())});
    }

    // The old program's Windows paths: the first one of a drive asks for the folder that holds
    // that drive now, where its file is found whatever its letter case.
    void oldFilesAreAskedForOnceAndFound()
    {
        QTemporaryDir driveC;
        QVERIFY(QDir(driveC.path()).mkpath(QStringLiteral("windows/help")));
        QVERIFY(QFile::copy(file("manual.pdf"), driveC.filePath(QStringLiteral("windows/help/excel.pdf"))));
        m_fakes.messageBox.answers.enqueue(MessageBox::Answer::Yes);
        m_fakes.fileDialog.answers.enqueue(driveC.path());
        openAt(QStringLiteral("C:\\WINDOWS\\HELP\\EXCEL.PDF"), QStringLiteral("関数"));
        QCOMPARE(m_fakes.messageBox.asked.size(), 1);
        QVERIFY(m_fakes.messageBox.asked.first().text.contains(QStringLiteral("ドライブ C:")));
        QCOMPARE(window()->shownPath(), driveC.filePath(QStringLiteral("windows/help/excel.pdf")));
        QCOMPARE(window()->pdfPane()->page(), 2);
    }

    // A Windows path that is not found, cannot name a file, or climbs above its drive says so
    // in the viewer and offers the window where the drives' folders are chosen.
    void oldFilesNotFound_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing") << "C:\\WINDOWS\\HELP\\GONE.HLP"
                                 << "見つかりません";
        QTest::newRow("above the drive") << "C:\\..\\..\\etc\\passwd"
                                         << "ファイルを示していません";
    }

    void oldFilesNotFound()
    {
        QFETCH(QString, path);
        QFETCH(QString, says);
        QTemporaryDir driveC;
        QVERIFY(OldFiles::storeRoot(QStringLiteral("C:"), driveC.path()));
        openAt(path, QStringLiteral("k"));
        QVERIFY2(window()->message().contains(says), qPrintable(window()->message()));
        QVERIFY(window()->message().contains(QStringLiteral("以前のファイルの場所")));
        QVERIFY(window()->shownPath().isEmpty());
        QVERIFY(m_fakes.messageBox.asked.isEmpty());
    }

    // The notice of a program that could not start stands with the file it opened, and only there.
    void noticeShownOnce()
    {
        HelpViewer::instance().setNotice(QStringLiteral("「EXCEL.EXE」を起動できません。"));
        openAt(file("manual.pdf"), QStringLiteral("関数"));
        QVERIFY(window()->message().contains(QStringLiteral("「EXCEL.EXE」を起動できません。")));
        openAt(file("manual.pdf"), QStringLiteral("関数"));
        QVERIFY(window()->message().isEmpty());
    }
};

ORV_TEST_MAIN(TestViewerDocuments)
#include "tst_viewer_documents.moc"
