#include "widgets/EventWait.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QWindow>

bool EventWait::untilFocus(const std::function<bool()>& reached, int timeoutMs)
{
    if (reached())
        return true;
    QEventLoop loop;
    auto check = [&] {
        if (reached())
            loop.quit();
    };
    QObject::connect(qApp, &QApplication::focusChanged, &loop, check);
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, &loop, check);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return reached();
}

void EventWait::untilSettled()
{
    // A zero timer fires once the events waiting now have been delivered; posted events come
    // before timers in each pass, so those posted meanwhile are handled too.
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();
}
