#include "platform/KeySender.h"

#include "platform/KeyNotation.h"
#include "widgets/EventWait.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace {

// The widget that a key typed now would reach.
QWidget* keyTarget()
{
    if (QWidget* focus = QApplication::focusWidget())
        return focus;
    return QApplication::activeWindow();
}

class QtKeySender final : public KeySender
{
public:
    Result send(const QString& keys, bool wait) override
    {
        QList<KeyNotation::Key> parsed;
        // The whole text is read before the first key goes, so a fault sends nothing.
        if (Result r = KeyNotation::parse(keys, &parsed); !r)
            return r;
        for (const KeyNotation::Key& key : parsed) {
            // Each key goes where the focus is now: a key before it may have moved it.
            QPointer<QWidget> target = keyTarget();
            if (!target)
                return Result::failure(QStringLiteral("no window of the program has the focus"));
            // A plain sendEvent of a key press that did not come from the system passes the
            // shortcut map first, so shortcuts and mnemonics see it as a typed key.
            QKeyEvent press(QEvent::KeyPress, key.key, key.modifiers, key.text);
            QCoreApplication::sendEvent(target, &press);
            QWidget* releaseTarget = target ? target.data() : keyTarget();
            if (releaseTarget) {
                QKeyEvent release(QEvent::KeyRelease, key.key, key.modifiers, key.text);
                QCoreApplication::sendEvent(releaseTarget, &release);
            }
            if (wait)
                EventWait::untilSettled();
        }
        return Result::success();
    }
};

} // namespace

KeySender& KeySender::real()
{
    static QtKeySender real;
    return real;
}
