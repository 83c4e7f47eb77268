#include "widgets/Form.h"

#include "core/Log.h"
#include "platform/HelpViewer.h"
#include "widgets/Accessibility.h"
#include "widgets/Appearance.h"
#include "widgets/Placement.h"
#include "widgets/Twips.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

namespace {
QPointer<Form> g_lastActive;
} // namespace

Form::Form(const QString& name, const QString& caption, int clientWidth, int clientHeight)
{
    Accessibility::install();
    setObjectName(name);
    setWindowTitle(caption);
    setWindowIcon(Appearance::programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    Accessibility::offerShownOnly(m_client);
    m_client->setGeometry(QRect(QPoint(0, 0), Twips::size(clientWidth, clientHeight)));
    setFixedSize(m_client->size());
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WindowShortcut);
    connect(f1, &QShortcut::activated, this, &Form::openHelp);
}

Form::~Form() = default;

void Form::setMenuBar(QMenuBar* bar)
{
    bar->setParent(this);
    const int barHeight = bar->sizeHint().height();
    bar->setGeometry(0, 0, m_client->width(), barHeight);
    m_client->move(0, barHeight);
    setFixedSize(m_client->width(), m_client->height() + barHeight);
}

void Form::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    m_loadResult = onLoad();
}

void Form::setNormalState()
{
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
}

void Form::showForm()
{
    // The written position where the screen has room for it, moved in where it has not.
    if (!isVisible())
        Placement::fitOnScreen(this);
    Placement::bringToFront(this);
}

bool Form::unload()
{
    return close();
}

Form* Form::lastActive()
{
    return g_lastActive;
}

void Form::placeAt(int leftTwips, int topTwips)
{
    move(Twips::toPixels(leftTwips), Twips::toPixels(topTwips));
}

bool Form::event(QEvent* e)
{
    const bool handled = QWidget::event(e);
    // Coming back from a message box, a file dialog or another application is not an
    // activation; coming from another window of the program is.
    if (e->type() == QEvent::WindowActivate && !m_unloaded && g_lastActive != this) {
        g_lastActive = this;
        onActivate();
    }
    return handled;
}

void Form::keyPressEvent(QKeyEvent* e)
{
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    QWidget* focus = focusWidget();
    if (enter && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        (qobject_cast<QPushButton*>(focus) || qobject_cast<QToolButton*>(focus))) {
        static_cast<QAbstractButton*>(focus)->click();
        return;
    }
    QWidget::keyPressEvent(e);
}

void Form::closeEvent(QCloseEvent* e)
{
    if (!m_unloaded) {
        if (!confirmClose()) {
            e->ignore();
            return;
        }
        m_unloaded = true;
        onUnload();
    }
    e->accept();
}

void Form::openHelp()
{
    skipOnFailure(HelpViewer::instance().showTopic(HelpViewer::applicationHelpFile(), helpTopic()), lcViewer(), "F1");
}
