#include "forms/Application.h"

#include "db/BusyWait.h"
#include "forms/BusyCursor.h"

#include <QAbstractEventDispatcher>

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    BusyCursor::install();
    // When the program waits for input inside an action (a message box, a dialog), the user
    // has the control: the action's wait is over, and a later one starts afresh.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &BusyWait::Action::inputAwaited);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    const BusyWait::Action action;
    return QApplication::notify(receiver, event);
}
