#include "platform/ComboBox.h"

#include "core/TextFold.h"

#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QCompleter>
#include <QLineEdit>
#include <QListView>
#include <QSignalBlocker>
#include <QStringListModel>

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
    m_filter = new PickFilter(this);
    auto* picker = new PickCompleter(m_filter, this);
    picker->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    picker->setCaseSensitivity(Qt::CaseInsensitive);
    picker->setMaxVisibleItems(8);
    // All rows are one line high: the list need not measure thousands of entries to show eight.
    auto* rows = new QListView;
    rows->setUniformItemSizes(true);
    picker->setPopup(rows);
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
        m_filter->setEntries(items);
        setCurrentIndex(-1);
        setEditText(keep);
    }
    m_writing = false;
}

QStringList ComboBox::listItems() const
{
    return m_model->stringList();
}
