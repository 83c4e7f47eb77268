#pragma once

#include "widgets/Appearance.h"
#include "widgets/Twips.h"

#include <QList>
#include <QString>

#include <array>
#include <utility>
#include <vector>

class QLabel;
class QPushButton;
class QToolButton;
class QWidget;

// The controls of the windows, made as the layouts give them: named, at a position and size
// in twips inside the window's client area.
namespace Controls {

template <class T> T* create(QWidget* parent, const QString& name, int left, int top, int width, int height)
{
    auto* c = new T(parent);
    c->setObjectName(name);
    Twips::place(c, left, top, width, height);
    return c;
}

// A caption, left-aligned and centred vertically, fitted to its room (fitCaption).
QLabel* label(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width, int height,
              int widenUpToTwips = 0);

// The layouts were drawn for Windows fonts, narrower than the CJK fonts of Linux. A caption
// that would be clipped first takes the free room to its right, up to widenUpToTwips (0: none),
// then narrows its font, keeping its size in points, until it fits.
void fitCaption(QLabel* label, int widenUpToTwips = 0);

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                    int height);

// A navigation button of a command row: 612 x 612 twips, its 16 x 16 picture above its
// caption. It is reached with Tab like the other buttons, and a click takes the focus as
// theirs does.
QToolButton* navigationButton(QWidget* parent, const QString& name, const QString& caption,
                              Appearance::Navigation which, int left, int top);

// The rows that the editing windows share, in twips: 先頭, 前, 次 and 最後, a button's width
// apart from `left`, named as each window names them; then 保存, 取消, 追加 and 削除
// (Command7 to Command10) at the lefts given. Each in its order, for the tab order.
std::array<QToolButton*, 4> navigationRow(QWidget* parent, const std::array<const char*, 4>& names, int left, int top);
std::array<QPushButton*, 4> commandRow(QWidget* parent, const std::array<int, 4>& lefts, int top);

// Names a field for screen readers as its caption names it for the eye: the field carries the
// name (a combo box's text box too, which is what takes the focus), and the caption, when
// there is one beside it, points at it.
void nameField(QWidget* field, const QString& name, QLabel* caption = nullptr);
// The property of a value label that holds its caption; showValue() reads it.
inline constexpr const char* ValueCaption = "orvValueCaption";
// Shows a value in a label, which a screen reader then reads with its caption: "ID 12".
void showValue(QLabel* label, const QString& value);

// A control with its tab index; the indexes need not be consecutive.
using TabStop = std::pair<int, QWidget*>;

// Tab moves through the controls in the order of their tab indexes.
void applyTabOrder(std::vector<TabStop> stops);
// Tab moves through the controls in the order given.
void applyTabOrder(const QList<QWidget*>& order);

} // namespace Controls
