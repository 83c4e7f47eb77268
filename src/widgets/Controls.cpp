#include "widgets/Controls.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>

QLabel* Controls::label(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                        int height, int widenUpToTwips)
{
    auto* l = new QLabel(caption, parent);
    l->setObjectName(name);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Twips::place(l, left, top, width, height);
    fitCaption(l, widenUpToTwips);
    return l;
}

void Controls::fitCaption(QLabel* label, int widenUpToTwips)
{
    const QString text = label->text();
    const int needed = label->fontMetrics().horizontalAdvance(text) + 2;
    if (widenUpToTwips > 0 && needed > label->width())
        label->resize(qMax(label->width(), qMin(needed, Twips::toPixels(widenUpToTwips) - label->x())),
                      label->height());
    QFont font = label->font();
    const int advance = QFontMetrics(font).horizontalAdvance(text);
    if (advance <= label->width() || advance == 0)
        return;
    font.setStretch(qMax(50, 100 * label->width() / advance));
    label->setFont(font);
}

QPushButton* Controls::button(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                              int width, int height)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    Twips::place(b, left, top, width, height);
    return b;
}

QToolButton* Controls::navigationButton(QWidget* parent, const QString& name, const QString& caption,
                                        Appearance::Navigation which, int left, int top)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    b->setIcon(Appearance::navigationIcon(which));
    b->setIconSize(QSize(16, 16));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setFocusPolicy(Qt::StrongFocus);
    Twips::place(b, left, top, 612, 612);
    return b;
}

std::array<QToolButton*, 4> Controls::navigationRow(QWidget* parent, const std::array<const char*, 4>& names, int left,
                                                    int top)
{
    const std::pair<const char*, Appearance::Navigation> buttons[] = {{"先頭", Appearance::Navigation::First},
                                                                      {"前", Appearance::Navigation::Previous},
                                                                      {"次", Appearance::Navigation::Next},
                                                                      {"最後", Appearance::Navigation::Last}};
    std::array<QToolButton*, 4> row{};
    for (int i = 0; i < 4; ++i)
        row[i] = navigationButton(parent, QString::fromUtf8(names[i]), QString::fromUtf8(buttons[i].first),
                                  buttons[i].second, left + 600 * i, top);
    return row;
}

std::array<QPushButton*, 4> Controls::commandRow(QWidget* parent, const std::array<int, 4>& lefts, int top)
{
    const char* const captions[] = {"保存", "取消", "追加", "削除"};
    std::array<QPushButton*, 4> row{};
    for (int i = 0; i < 4; ++i)
        row[i] = button(parent, QStringLiteral("Command%1").arg(7 + i), QString::fromUtf8(captions[i]), lefts[i], top,
                        612, 612);
    return row;
}

void Controls::nameField(QWidget* field, const QString& name, QLabel* caption)
{
    field->setAccessibleName(name);
    // A label that shows a stored value is read with its caption and its value.
    if (qobject_cast<QLabel*>(field))
        field->setProperty(ValueCaption, name);
    if (auto* combo = qobject_cast<QComboBox*>(field); combo && combo->lineEdit())
        combo->lineEdit()->setAccessibleName(name);
    if (caption)
        caption->setBuddy(field);
}

void Controls::showValue(QLabel* label, const QString& value)
{
    label->setText(value);
    const QString caption = label->property(ValueCaption).toString();
    if (!caption.isEmpty())
        label->setAccessibleName(value.isEmpty() ? caption : caption + QLatin1Char(' ') + value);
}

void Controls::applyTabOrder(std::vector<TabStop> stops)
{
    std::stable_sort(stops.begin(), stops.end(), [](const TabStop& a, const TabStop& b) { return a.first < b.first; });
    QList<QWidget*> order;
    order.reserve(qsizetype(stops.size()));
    for (const TabStop& stop : stops)
        order.append(stop.second);
    applyTabOrder(order);
}

void Controls::applyTabOrder(const QList<QWidget*>& order)
{
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}
