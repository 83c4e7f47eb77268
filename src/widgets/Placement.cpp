#include "widgets/Placement.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>

namespace {

// The frame that the window manager gives a window: the window's own once it has one, else
// that of another window of the program, else a generous guess.
QMargins frameOf(const QWidget* window)
{
    auto margins = [](const QWidget* w) {
        const QRect frame = w->frameGeometry();
        const QRect inner = w->geometry();
        return QMargins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                        frame.bottom() - inner.bottom());
    };
    if (window->isVisible() && window->frameGeometry() != window->geometry())
        return margins(window);
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other != window && other->isVisible() && other->frameGeometry() != other->geometry())
            return margins(other);
    }
    return QMargins(4, 28, 4, 4);
}

} // namespace

QScreen* Placement::programScreen()
{
    if (const QWidget* active = QApplication::activeWindow())
        return active->screen();
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
            return w->screen();
    }
    return QGuiApplication::primaryScreen();
}

void Placement::fitOnScreen(QWidget* window)
{
    const QScreen* screen = programScreen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QMargins frame = frameOf(window);
    // A window's position is that of its frame; its size that of what the frame holds.
    const QRect outer(window->pos(), window->size().grownBy(frame));
    QPoint at = outer.topLeft();
    at.setX(qMax(room.left(), qMin(at.x(), room.right() + 1 - outer.width())));
    at.setY(qMax(room.top(), qMin(at.y(), room.bottom() + 1 - outer.height())));
    if (at != outer.topLeft())
        window->move(at);
}

void Placement::bringToFront(QWidget* window)
{
    window->show();
    if (window->windowState() & Qt::WindowMinimized)
        return;
    window->raise();
    window->activateWindow();
}
