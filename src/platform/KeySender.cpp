#include "platform/KeySender.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {

class QtKeySender final : public KeySender
{
public:
    Result send(const QString& keys, bool wait) override
    {
        if (keys != QLatin1String("{F1}"))
            return Result::failure(QStringLiteral("unsupported keys: ") + keys);
        QWidget* target = QApplication::focusWidget();
        if (!target)
            target = QApplication::activeWindow();
        if (!target)
            return Result::failure(QStringLiteral("no window has the focus"));
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_F1, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
        if (wait)
            QApplication::processEvents();
        return Result::success();
    }
};

KeySender* g_override = nullptr;

} // namespace

KeySender& KeySender::instance()
{
    static QtKeySender real;
    return g_override ? *g_override : real;
}

void KeySender::setInstance(KeySender* sender)
{
    g_override = sender;
}
