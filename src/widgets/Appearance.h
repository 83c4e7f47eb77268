#pragma once

#include <QFont>
#include <QIcon>

class QApplication;

// Fonts and pictures that every window shares.
namespace Appearance {

inline const QString UiGothic = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString UiMincho = QStringLiteral("ＭＳ Ｐ明朝");

// Maps the Windows Japanese fonts to the Noto CJK fonts, sets the program font and icon.
void apply(QApplication& app);
void installFontSubstitutes();
QFont gothic(double points);
QFont mincho(double points);

// The program icon, 32 x 32 and 16 x 16.
QIcon programIcon();

enum class Navigation { First, Previous, Next, Last };
// The 16 x 16 pictures of the navigation buttons.
QIcon navigationIcon(Navigation which);

} // namespace Appearance
