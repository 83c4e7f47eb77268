#include "widgets/Appearance.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPixmap>
#include <QWidget>

void Appearance::installFontSubstitutes()
{
    QFont::insertSubstitutions(UiGothic, {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP")});
    QFont::insertSubstitutions(UiMincho, {QStringLiteral("Noto Serif CJK JP"), QStringLiteral("Noto Serif JP")});
}

QFont Appearance::gothic(double points)
{
    QFont font(UiGothic);
    font.setPointSizeF(points);
    return font;
}

QFont Appearance::mincho(double points)
{
    QFont font(UiMincho);
    font.setPointSizeF(points);
    return font;
}

void Appearance::apply(QApplication& app)
{
    installFontSubstitutes();
    app.setFont(gothic(9));
    app.setWindowIcon(programIcon());
}

QIcon Appearance::programIcon()
{
    // The 16-colour pictures at their own sizes; the larger ones keep the icon sharp on screens
    // that scale the program up.
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/orvalent32.xpm"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/orvalent16.xpm"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/hicolor/64x64/apps/orvalent.png"), QSize(64, 64));
    icon.addFile(QStringLiteral(":/icons/hicolor/128x128/apps/orvalent.png"), QSize(128, 128));
    return icon;
}

QIcon Appearance::navigationIcon(Navigation which)
{
    static const char* const names[] = {"first", "previous", "next", "last"};
    const QString name = QStringLiteral(":/icons/") + QLatin1String(names[int(which)]);
    // Drawn again at twice the size for screens scaled to 200 %, where the small one would blur.
    QIcon icon;
    icon.addFile(name + QStringLiteral(".xpm"), QSize(16, 16));
    icon.addFile(name + QStringLiteral("-32.png"), QSize(32, 32));
    return icon;
}
