#include "widgets/Twips.h"

#include <QWidget>

void Twips::place(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(rect(left, top, width, height));
}
