#include "forms/BusyCursor.h"

#include "db/BusyWait.h"

#include <QApplication>
#include <QCursor>

void BusyCursor::show(bool waiting)
{
    if (waiting)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QApplication::restoreOverrideCursor();
}

void BusyCursor::install()
{
    BusyWait::setHook(&BusyCursor::show);
}
