#include "support/Widgets.h"

#include "widgets/Form.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>

void closeAllForms()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        // A window that keeps typing it could not store has failed its test already; it goes
        // all the same, so that the next test starts without it.
        if (auto* form = qobject_cast<Form*>(w); form && !form->unload())
            delete form;
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

QStringList clippedCaptions(const QWidget* window)
{
    QStringList clipped;
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (label->fontMetrics().horizontalAdvance(label->text()) > label->contentsRect().width())
            clipped << label->objectName();
    }
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        // The button's own frame and margins take a few pixels of its width.
        const QString text = QString(button->text()).remove(QLatin1Char('&'));
        if (button->fontMetrics().horizontalAdvance(text) > button->width() - 4)
            clipped << button->objectName();
    }
    return clipped;
}

QStringList messageLines(const QString& text)
{
    return text.split(QStringLiteral("\r\n"));
}
