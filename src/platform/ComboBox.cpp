#include "platform/ComboBox.h"

#include "core/TextFold.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QStringListModel>

// The list's entries that contain a folded text; the entries are folded once, when the list
// is replaced, so that each key costs one pass of plain comparisons.
class PickFilter : public QSortFilterProxyModel
{
public:
    explicit PickFilter(QStringListModel* list, QObject* parent) : QSortFilterProxyModel(parent), m_list(list)
    {
        setSourceModel(list);
        connect(list, &QAbstractItemModel::modelReset, this, &PickFilter::foldEntries);
        connect(list, &QAbstractItemModel::dataChanged, this, &PickFilter::foldEntries);
        foldEntries();
    }

    void setNeedle(const QString& typed)
    {
        const QString needle = TextFold::fold(typed);
        if (needle == m_needle)
            return;
        m_needle = needle;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex&) const override
    {
        return !m_needle.isEmpty() && m_folded.value(row).contains(m_needle);
    }

private:
    void foldEntries()
    {
        m_folded.clear();
        const QStringList entries = m_list->stringList();
        m_folded.reserve(entries.size());
        for (const QString& entry : entries)
            m_folded.append(TextFold::fold(entry));
        invalidateFilter();
    }

    QStringListModel* m_list;
    QStringList m_folded;
    QString m_needle;
};

// Shows the entries it is given and proposes none of them: nothing is taken until the user
// moves to an entry, so Enter right after typing keeps what was typed.
class PickCompleter : public QCompleter
{
public:
    using QCompleter::QCompleter;
    QStringList splitPath(const QString&) const override { return {QStringLiteral("\uFFFF")}; }
};

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // A long list must not open as tall as the screen; the original lists show eight rows.
    setMaxVisibleItems(8);
    m_model = new QStringListModel(this);
    setModel(m_model);
    connect(this, &QComboBox::editTextChanged, this, [this] {
        if (!m_writing)
            Q_EMIT changed();
    });

    // The entries to pick from while typing, in place of the completion of the text's start.
    m_filter = new PickFilter(m_model, this);
    auto* picker = new PickCompleter(m_filter, this);
    picker->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    picker->setCaseSensitivity(Qt::CaseInsensitive);
    picker->setMaxVisibleItems(8);
    setCompleter(picker);
    // Before the line edit asks the picker to show itself for the same key.
    connect(lineEdit(), &QLineEdit::textEdited, this, &ComboBox::typed);
}

void ComboBox::typed(const QString& text)
{
    m_filter->setNeedle(text);
    if (m_filter->rowCount() == 0)
        completer()->popup()->hide();
}

void ComboBox::setText(const QString& text)
{
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
        setCurrentIndex(-1);
        setEditText(keep);
    }
    m_writing = false;
}

QStringList ComboBox::listItems() const
{
    return m_model->stringList();
}
