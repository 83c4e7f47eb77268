#include "platform/Appearance.h"
#include "startup/VEZOVEDO.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvalent"));
    Appearance::apply(app);
    if (!VEZOVEDO::Main(QCoreApplication::applicationFilePath()))
        return 1;
    return QApplication::exec();
}
