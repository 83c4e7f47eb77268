#include "support/Widgets.h"

#include "platform/Form.h"

#include <QApplication>
#include <QTest>

void closeAllForms()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* form = qobject_cast<Form*>(w))
            form->unload();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

bool activate(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window, 2000);
}

QStringList messageLines(const QString& text)
{
    return text.split(QStringLiteral("\r\n"));
}
