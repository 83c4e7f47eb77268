// The memo box showing a memo of a million characters on one line: the time from setText
// until the box has painted, the processor time while it sits with the cursor blinking, and
// select all + copy from the keyboard until the clipboard holds the text.
//   bench_memo_box [characters, default 1000000] [--idle <ms>, default 3000] [--before]
//
// Three kinds of text: Japanese memo sentences run together, Latin words with blanks, and one
// letter repeated. --before also measures a box set up as the memo box used to be (no
// wrapping, layouts dropped after each paint, OpenType shaping), for comparison; that takes
// tens of seconds.

#include "BenchSupport.h"
#include "MemoBookGenerator.h"

#include "widgets/Appearance.h"
#include "widgets/MemoBox.h"
#include "widgets/Twips.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include <cstdio>

using namespace BenchSupport;

namespace {

QString japanese(int length)
{
    QString text;
    for (qint64 i = 0; text.size() < length; ++i)
        text += MemoBookGenerator::memo(i).memo.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    text.truncate(length);
    return text;
}

QString latin(int length)
{
    const QString words = QStringLiteral("Select the range first, then choose Format > Cells (Ctrl+1). ");
    QString text;
    while (text.size() < length)
        text += words;
    text.truncate(length);
    return text;
}

struct Figures
{
    double showMs = 0, showCpuMs = 0, idleCpuMs = 0, copyMs = 0;
    bool copiedWhole = false;
};

void runEvents(int ms)
{
    QTimer::singleShot(ms, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

Figures measure(const QString& text, int idleMs, bool before)
{
    Figures f;
    QWidget window;
    window.resize(Twips::toPixels(6400), Twips::toPixels(2400));
    auto* box = new MemoBox(&window);
    Twips::place(box, 120, 120, 6132, 2172); // as in the entry window
    if (before) {
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        QFont font = box->document()->defaultFont();
        font.setStyleStrategy(QFont::PreferDefault);
        box->document()->setDefaultFont(font);
    }
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "the window was not shown\n");
    box->setFocus();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    const double cpu = cpuMs();
    box->setText(text);
    if (before) {
        for (QTextBlock b = box->document()->begin(); b.isValid(); b = b.next())
            b.layout()->setCacheEnabled(false);
    }
    box->viewport()->repaint();
    QCoreApplication::processEvents();
    f.showMs = msSince(clock);
    f.showCpuMs = cpuMs() - cpu;

    const double idleCpu = cpuMs();
    runEvents(idleMs);
    f.idleCpuMs = cpuMs() - idleCpu;

    QApplication::clipboard()->clear();
    clock.restart();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    const QString copied = QApplication::clipboard()->text();
    f.copyMs = msSince(clock);
    f.copiedWhole = copied == text;
    return f;
}

} // namespace

int main(int argc, char* argv[])
{
    // Offscreen unless told otherwise (QT_QPA_PLATFORM=xcb under a display).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Appearance::apply(app);
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool before = args.removeAll(QStringLiteral("--before")) > 0;
    const int idleMs = takeCount(args, QStringLiteral("--idle"), 3000);
    const int length = args.isEmpty() ? 1000000 : qMax(1, args.first().toInt());

    std::printf("memo box, %d characters on one line; idle %d ms with the cursor blinking\n\n", length, idleMs);
    std::printf("%-34s %9s %9s %10s %9s %s\n", "", "show [ms]", "show CPU", "idle CPU", "copy [ms]", "copy whole");
    const struct
    {
        const char* name;
        QString text;
    } kinds[] = {{"Japanese sentences", japanese(length)},
                 {"Latin words", latin(length)},
                 {"one letter", QString(length, QLatin1Char('x'))}};
    for (bool old : before ? QList<bool>{false, true} : QList<bool>{false}) {
        for (const auto& kind : kinds) {
            const Figures f = measure(kind.text, idleMs, old);
            const QString label = QString::fromUtf8(kind.name) + (old ? QStringLiteral(", as before") : QString());
            std::printf("%-34s %9.0f %9.0f %10.0f %9.0f %s\n", qPrintable(label), f.showMs, f.showCpuMs, f.idleCpuMs,
                        f.copyMs, f.copiedWhole ? "yes" : "NO");
            std::fflush(stdout);
        }
    }
    return 0;
}
