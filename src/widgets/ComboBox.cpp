#include "widgets/ComboBox.h"

#include "core/TextFold.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStringListModel>

namespace {
// The original lists show eight rows.
constexpr int VisibleRows = 8;
} // namespace

// The list's entries that contain a folded text, in the list's order. The entries are folded
// once, when the list is replaced, so that each key costs one pass of plain comparisons; the
// rows are then given anew in one reset, which costs the view less than row-by-row changes.
class PickFilter : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void setEntries(const QStringList& entries)
    {
        m_entries = entries;
        m_folded.clear();
        m_folded.reserve(entries.size());
        for (const QString& entry : entries)
            m_folded.append(TextFold::fold(entry));
        refilter();
    }

    void setNeedle(const QString& typed)
    {
        const QString needle = TextFold::fold(typed);
        if (needle == m_needle)
            return;
        m_needle = needle;
        refilter();
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()); }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_rows.size() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return {};
        return m_entries.at(m_rows.at(index.row()));
    }

private:
    void refilter()
    {
        beginResetModel();
        m_rows.clear();
        if (!m_needle.isEmpty()) {
            for (int i = 0; i < m_folded.size(); ++i) {
                if (m_folded.at(i).contains(m_needle))
                    m_rows.append(i);
            }
        }
        endResetModel();
    }

    QStringList m_entries;
    QStringList m_folded;
    QVector<int> m_rows;
    QString m_needle;
};

// The picks: a list laid over the window under the box, not a popup of its own, so that it
// holds no grab and takes no focus; the box keeps the keys.
class PickList : public QListView
{
public:
    explicit PickList(QWidget* window) : QListView(window)
    {
        setObjectName(QStringLiteral("Picks"));
        setAccessibleName(QStringLiteral("候補"));
        setFocusPolicy(Qt::NoFocus);
        viewport()->setFocusPolicy(Qt::NoFocus);
        setEditTriggers(QAbstractItemView::NoEditTriggers);
        setSelectionMode(QAbstractItemView::SingleSelection);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        verticalScrollBar()->setFocusPolicy(Qt::NoFocus);
        // All rows are one line high: the list need not measure thousands of entries to show eight.
        setUniformItemSizes(true);
        setMouseTracking(true);
        hide();
    }

    int rowHeight() const
    {
        const int measured = model() && model()->rowCount() > 0 ? sizeHintForRow(0) : 0;
        return measured > 0 ? measured : fontMetrics().height() + 2;
    }
};

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(VisibleRows);
    // Qt's own completion would open a popup of its own, which swallows the click that closes it.
    setCompleter(nullptr);
    m_model = new QStringListModel(this);
    setModel(m_model);
    connect(this, &QComboBox::editTextChanged, this, [this] {
        if (!m_writing)
            Q_EMIT changed();
    });
    m_filter = new PickFilter(this);
    connect(lineEdit(), &QLineEdit::textEdited, this, &ComboBox::typed);
    lineEdit()->installEventFilter(this);
}

ComboBox::~ComboBox()
{
    hidePicks();
    delete m_picks.data();
}

QAbstractItemView* ComboBox::picks() const
{
    return m_picks.data();
}

bool ComboBox::picksShown() const
{
    return m_picks && m_picks->isVisible();
}

void ComboBox::typed(const QString& text)
{
    m_filter->setNeedle(text);
    if (m_filter->rowCount() == 0 || !lineEdit()->hasFocus())
        hidePicks();
    else
        showPicks();
}

void ComboBox::showPicks()
{
    if (!m_picks) {
        m_picks = new PickList(window());
        m_picks->setModel(m_filter);
        connect(m_picks, &QListView::clicked, this, [this](const QModelIndex& index) { take(index.row()); });
        connect(m_picks, &QListView::entered, this, [this](const QModelIndex& index) { choose(index.row()); });
    } else if (m_picks->parentWidget() != window()) {
        m_picks->setParent(window());
    }
    m_picks->clearSelection();
    m_picks->setCurrentIndex(QModelIndex());
    placePicks();
    if (!m_picks->isVisible()) {
        m_picks->show();
        // Any press elsewhere closes the picks and goes where it was aimed.
        qApp->installEventFilter(this);
    }
    m_picks->raise();
}

void ComboBox::placePicks()
{
    QWidget* room = m_picks->parentWidget();
    const int rows = qMin(VisibleRows, m_filter->rowCount());
    const int frame = 2 * m_picks->frameWidth();
    int height = rows * m_picks->rowHeight() + frame;
    const QPoint below = mapTo(room, QPoint(0, this->height()));
    const QPoint top = mapTo(room, QPoint(0, 0));
    const int roomBelow = room->height() - below.y();
    const int roomAbove = top.y();
    QPoint at = below;
    if (height > roomBelow && roomAbove > roomBelow) {
        height = qMin(height, roomAbove);
        at = QPoint(top.x(), top.y() - height);
    } else {
        height = qMin(height, qMax(roomBelow, m_picks->rowHeight() + frame));
    }
    m_picks->setGeometry(at.x(), at.y(), width(), height);
}

void ComboBox::hidePicks()
{
    if (!m_picks || !m_picks->isVisible())
        return;
    qApp->removeEventFilter(this);
    m_picks->hide();
}

void ComboBox::choose(int row)
{
    if (!m_picks || row < 0 || row >= m_filter->rowCount())
        return;
    const QModelIndex index = m_filter->index(row);
    m_picks->setCurrentIndex(index);
    m_picks->scrollTo(index);
}

void ComboBox::take(int row)
{
    if (row < 0 || row >= m_filter->rowCount())
        return;
    const QString entry = m_filter->index(row).data().toString();
    hidePicks();
    // A pick is the user's edit, as typing is.
    setEditText(entry);
    lineEdit()->end(false);
}

void ComboBox::showPopup()
{
    hidePicks();
    QComboBox::showPopup();
}

void ComboBox::setText(const QString& text)
{
    hidePicks();
    m_writing = true;
    setEditText(text);
    m_writing = false;
    Q_EMIT changed();
}

void ComboBox::setListItems(const QStringList& items)
{
    const QString keep = currentText();
    m_writing = true;
    {
        const QSignalBlocker blocker(this);
        m_model->setStringList(items);
        m_filter->setEntries(items);
        setCurrentIndex(-1);
        setEditText(keep);
    }
    m_writing = false;
    if (picksShown() && m_filter->rowCount() == 0)
        hidePicks();
}

QStringList ComboBox::listItems() const
{
    return m_model->stringList();
}

bool ComboBox::pickKey(QKeyEvent* key)
{
    if (!picksShown())
        return false;
    const int current = m_picks->currentIndex().isValid() ? m_picks->currentIndex().row() : -1;
    const int last = m_filter->rowCount() - 1;
    switch (key->key()) {
    case Qt::Key_Down:
        choose(qMin(last, current + 1));
        return true;
    case Qt::Key_Up:
        choose(qMax(0, current - 1));
        return true;
    case Qt::Key_PageDown:
        choose(qMin(last, current + VisibleRows - 1));
        return true;
    case Qt::Key_PageUp:
        choose(qMax(0, current - (VisibleRows - 1)));
        return true;
    case Qt::Key_Escape:
        hidePicks();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter takes the chosen entry; with none chosen it is the box's Enter.
        if (current >= 0) {
            take(current);
            return true;
        }
        hidePicks();
        return false;
    default:
        // Any other key goes on to the box; Tab and the like move on and close the picks.
        return false;
    }
}

void ComboBox::keyPressEvent(QKeyEvent* event)
{
    if (pickKey(event))
        return;
    QComboBox::keyPressEvent(event);
}

void ComboBox::focusOutEvent(QFocusEvent* event)
{
    hidePicks();
    QComboBox::focusOutEvent(event);
}

void ComboBox::hideEvent(QHideEvent* event)
{
    hidePicks();
    QComboBox::hideEvent(event);
}

bool ComboBox::eventFilter(QObject* watched, QEvent* event)
{
    // The box's text takes the keys itself when it has been given the focus directly.
    if (watched == lineEdit()) {
        if (event->type() == QEvent::FocusOut)
            hidePicks();
        else if (event->type() == QEvent::KeyPress && pickKey(static_cast<QKeyEvent*>(event)))
            return true;
        return QComboBox::eventFilter(watched, event);
    }
    if (picksShown()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (auto* w = qobject_cast<QWidget*>(watched); w && w != m_picks && !m_picks->isAncestorOf(w))
                hidePicks();
            break;
        case QEvent::WindowDeactivate:
            if (watched == window())
                hidePicks();
            break;
        default:
            break;
        }
    }
    return QComboBox::eventFilter(watched, event);
}
