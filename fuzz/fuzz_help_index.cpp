// The help viewer's index of a file: any bytes, read as the help file or as a document of
// another kind, give an index without crashing, hanging or reading out of bounds.

#include "viewer/HelpViewerWindow.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_help_index";
    static char* argv[] = {name, nullptr};
    // Text layout needs fonts, and fonts need the application.
    static QGuiApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the name the file goes by; the viewer tells HTML by content too.
    static const QString names[] = {QStringLiteral("ｵﾙﾊﾞﾚﾝﾄ.HLP"), QStringLiteral("manual.html"),
                                    QStringLiteral("notes.txt"), QStringLiteral("README")};
    const QString& name = names[data[0] % 4];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QList<HelpViewerWindow::Topic> topics = HelpViewerWindow::indexOf(bytes, name);
    int last = -1;
    for (const HelpViewerWindow::Topic& topic : topics) {
        if (topic.level < 0 || topic.level > 6 || topic.position < last || topic.position < 0)
            std::abort();
        last = topic.position;
    }
    return 0;
}
