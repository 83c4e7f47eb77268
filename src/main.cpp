#include "core/BackgroundTask.h"
#include "forms/Application.h"
#include "forms/Session.h"
#include "jet/JetConvertCommand.h"
#include "startup/VEZOVEDO.h"
#include "viewer/HelpViewerWindow.h"
#include "widgets/Appearance.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>

int main(int argc, char* argv[])
{
    // The conversion of an old memo book runs without any window, by hand or for start-up.
    if (argc > 1 && std::strcmp(argv[1], JetConvertCommand::Option) == 0)
        return JetConvertCommand::run(argc, argv);
    // Made before the application and so outlives every window, which holds on to it.
    Session session;
    Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvalent"));
    Appearance::apply(app);
    HelpViewerWindow::install();
    // Every text of the program is Japanese; so are the buttons and labels of Qt's own dialogs.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    if (!VEZOVEDO::Main(QCoreApplication::applicationFilePath(), session))
        return 1;
    const int code = QApplication::exec();
    // Work still running (the check of the new backup) ends before the program does.
    BackgroundTask::waitForAll();
    return VEZOVEDO::endedByTrouble() ? 1 : code;
}
