#include "platform/Appearance.h"
#include "startup/VEZOVEDO.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvalent"));
    Appearance::apply(app);
    // Every text of the program is Japanese; so are the buttons and labels of Qt's own dialogs.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    if (!VEZOVEDO::Main(QCoreApplication::applicationFilePath()))
        return 1;
    return QApplication::exec();
}
