// The help viewer on a large PDF manual: the time from opening the file until its first page
// is shown, and from the memo's keys until the viewer shows the page of a keyword that only
// the text of a late page holds.
//   bench_pdf [pages, default 500] [--at <page of the keyword, default 400>] [--repeat <n>, default 5]
//
// The manual is written once per run with cairo: pages of 30 lines of Japanese text in the
// program's font, an outline entry for every tenth page.

#include "BenchSupport.h"

#include "platform/KeyNotation.h"
#include "platform/KeySender.h"
#include "support/PdfMaker.h"
#include "viewer/HelpViewerWindow.h"
#include "viewer/PdfPane.h"
#include "widgets/Appearance.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>

using namespace BenchSupport;

namespace {

QList<QStringList> manual(int pages, int keywordPage, const QString& keyword)
{
    QList<QStringList> document;
    for (int p = 0; p < pages; ++p) {
        QStringList lines{QStringLiteral("第 %1 章　表計算の操作").arg(p + 1)};
        for (int line = 1; line < 30; ++line)
            lines.append(
                QStringLiteral("%1-%2　セルを選んで書式を設定し、範囲の合計を求めて印刷します。").arg(p + 1).arg(line));
        if (p == keywordPage)
            lines[15] = QStringLiteral("ここで") + keyword + QStringLiteral("を挿入します。");
        document.append(lines);
    }
    return document;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Appearance::apply(app);
    HelpViewerWindow::install();
    QStringList args = app.arguments().mid(1);
    const int at = takeCount(args, QStringLiteral("--at"), 400) - 1;
    const int repeat = takeCount(args, QStringLiteral("--repeat"), 5);
    const int pages = args.isEmpty() ? 500 : args.first().toInt();
    if (pages < 1 || at < 0 || at >= pages || repeat < 1)
        fail(QStringLiteral("usage: bench_pdf [pages] [--at <page>] [--repeat <n>]"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("manual.pdf"));
    const QString keyword = QStringLiteral("ピボットテーブル");
    QList<PdfMaker::OutlineEntry> outline;
    for (int p = 0; p < pages; p += 10)
        outline.append({QStringLiteral("第 %1 章").arg(p + 1), p, 0});
    QElapsedTimer made;
    made.start();
    QString error;
    if (!PdfMaker::write(path, manual(pages, at, keyword), outline, &error))
        fail(error);
    std::printf("manual: %d pages, %.1f MB, written in %.0f ms; keyword on page %d\n", pages,
                double(QFileInfo(path).size()) / 1e6, msSince(made), at + 1);

    HelpViewerWindow* viewer = HelpViewerWindow::window();
    QList<double> firstPage, keywordShown;
    for (int run = 0; run < repeat; ++run) {
        viewer->openFile(QString()); // nothing of the last run is kept
        QElapsedTimer timer;
        timer.start();
        if (!HelpViewer::real().showFile(path).ok)
            fail(QStringLiteral("the viewer did not show the file"));
        if (viewer->pdfPane()->page() != 0)
            fail(QStringLiteral("the first page is not shown: ") + viewer->message());
        firstPage.append(msSince(timer));

        viewer->openFile(QString());
        timer.restart();
        if (!HelpViewer::real().showFile(path).ok)
            fail(QStringLiteral("the viewer did not show the file"));
        for (const QString& keys : {QStringLiteral("%I"), KeyNotation::escape(keyword), QStringLiteral("%D")})
            if (!KeySender::instance().send(keys, true).ok)
                fail(QStringLiteral("the keys were not sent"));
        if (!waitFor([&] { return viewer->pdfPane()->page() == at && viewer->hitCount() > 0; }, 30000))
            fail(QStringLiteral("the keyword's page was not shown: ") + viewer->where());
        keywordShown.append(msSince(timer));
    }
    const auto print = [](const char* what, const QList<double>& ms) {
        const Summary s = summarise(ms);
        std::printf("%-22s first %7.1f ms   min %7.1f   median %7.1f   max %7.1f\n", what, s.first, s.min, s.median,
                    s.max);
    };
    print("first page shown", firstPage);
    print("keyword's page shown", keywordShown);
    return 0;
}
