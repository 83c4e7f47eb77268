#include "platform/Appearance.h"

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
    QIcon icon;
    icon.addPixmap(QPixmap(QStringLiteral(":/icons/orvalent32.xpm")));
    icon.addPixmap(QPixmap(QStringLiteral(":/icons/orvalent16.xpm")));
    return icon;
}

QIcon Appearance::navigationIcon(Navigation which)
{
    switch (which) {
    case Navigation::First:
        return QIcon(QStringLiteral(":/icons/first.xpm"));
    case Navigation::Previous:
        return QIcon(QStringLiteral(":/icons/previous.xpm"));
    case Navigation::Next:
        return QIcon(QStringLiteral(":/icons/next.xpm"));
    case Navigation::Last:
        return QIcon(QStringLiteral(":/icons/last.xpm"));
    }
    return {};
}
