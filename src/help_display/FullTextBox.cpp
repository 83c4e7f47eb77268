#include "help_display/FullTextBox.h"

#include "core/Log.h"
#include "platform/HelpViewer.h"
#include "widgets/Accessibility.h"
#include "widgets/Placement.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

FullTextBox::FullTextBox(QWidget* window) : QWidget(window, Qt::Tool)
{
    setObjectName(QStringLiteral("FullTextBox"));
    Accessibility::markAsWindow(this, true);
    setWindowTitle(QStringLiteral("全文検索"));
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    auto* label = new QLabel(QStringLiteral("探す言葉(&W):"), this);
    m_words = new QLineEdit(this);
    m_words->setObjectName(QStringLiteral("FullTextWords"));
    m_words->setMinimumWidth(260);
    label->setBuddy(m_words);
    m_search = new QPushButton(QStringLiteral("検索(&S)"), this);
    m_search->setObjectName(QStringLiteral("FullTextSearch"));
    m_search->setDefault(true);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("FullTextClose"));
    auto* hint = new QLabel(
        QStringLiteral("すべての項目から探します。空白で区切った言葉は、すべてを含むメモを探します。"), this);
    hint->setWordWrap(true);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("FullTextStatus"));
    Accessibility::markAsStatus(m_status);

    layout->addWidget(label, 0, 0);
    layout->addWidget(m_words, 0, 1);
    layout->addWidget(m_search, 0, 2);
    layout->addWidget(hint, 1, 0, 1, 2);
    layout->addWidget(close, 1, 2, Qt::AlignTop);
    layout->addWidget(m_status, 2, 0, 1, 3);

    connect(m_search, &QPushButton::clicked, this, [this] { Q_EMIT searchRequested(m_words->text()); });
    connect(m_words, &QLineEdit::returnPressed, this, [this] { Q_EMIT searchRequested(m_words->text()); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    // F1 is the box's own: the window's F1 would open the window's topic instead.
    m_words->installEventFilter(this);
    m_search->installEventFilter(this);
    close->installEventFilter(this);
}

bool FullTextBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FullTextBox::open()
{
    if (!isVisible()) {
        adjustSize();
        // Beside the window, level with the grid, so that the search boxes and the grid stay in
        // sight; where the screen has no room beside it, below the grid, over the result pages.
        const QWidget* window = parentWidget();
        const QRect frame = window->frameGeometry();
        const QWidget* grid = window->findChild<QWidget*>(QStringLiteral("DBGrid1"));
        const QRect gridArea = grid ? QRect(grid->mapToGlobal(QPoint(0, 0)), grid->size()) : frame;
        QPoint at(frame.right() + 8, gridArea.top());
        if (const QScreen* screen = Placement::programScreen()) {
            const QRect room = screen->availableGeometry();
            const int outerWidth = width() + (frameGeometry().width() - geometry().width());
            if (at.x() + outerWidth > room.right())
                at = QPoint(room.right() - outerWidth, gridArea.bottom() + 4);
        }
        move(at);
        Placement::fitOnScreen(this);
    }
    Placement::bringToFront(this);
    m_words->setFocus();
    m_words->selectAll();
}

QString FullTextBox::words() const
{
    return m_words->text();
}

void FullTextBox::setStatus(const QString& text)
{
    // How many were found is said, not only drawn.
    Accessibility::announce(m_status, text);
}

void FullTextBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (event->key() == Qt::Key_F1) {
        // The help at this box's own topic, as F1 opens each window's.
        skipOnFailure(HelpViewer::instance().showTopic(HelpViewer::applicationHelpFile(), QStringLiteral("FULL_TEXT")),
                      lcViewer(), "F1");
        return;
    }
    QWidget::keyPressEvent(event);
}
