#include "forms/Binding.h"

#include "db/RecordSet.h"
#include "widgets/ComboBox.h"
#include "widgets/Controls.h"
#include "widgets/MemoBox.h"
#include "widgets/TextBox.h"

#include <QCollator>
#include <QLabel>

#include <algorithm>
#include <type_traits>

Binding::Binding(RecordSet* recordSet, const QString& field, QObject* control)
    : QObject(control), m_recordSet(recordSet), m_field(field), m_control(control)
{
    recordSet->attach(this);
    // A write of the current record by another client (a cell of the grid) shows here too,
    // unless this control holds an edit of its own.
    connect(recordSet, &RecordSet::rowChanged, this, [this](int row) {
        if (!m_bound || m_dirty || !m_control || !m_recordSet || !m_text || row != m_recordSet->currentRow())
            return;
        if (m_text() != displayText(m_recordSet->field(m_field)))
            showCurrent();
    });
}

template <class Control>
Binding::Binding(RecordSet* recordSet, const QString& field, Control* control)
    : Binding(recordSet, field, static_cast<QObject*>(control))
{
    m_text = [control] { return control->text(); };
    // A label shows the field only, to a screen reader with its caption; the edit controls
    // report the user's typing.
    if constexpr (std::is_same_v<Control, QLabel>) {
        m_show = [control](const QString& text) { Controls::showValue(control, text); };
        m_editable = false;
    } else {
        m_show = [control](const QString& text) { control->setText(text); };
        connect(control, &Control::changed, this, &Binding::onChanged);
    }
    showCurrent();
}

template Binding::Binding(RecordSet*, const QString&, TextBox*);
template Binding::Binding(RecordSet*, const QString&, MemoBox*);
template Binding::Binding(RecordSet*, const QString&, ComboBox*);
template Binding::Binding(RecordSet*, const QString&, QLabel*);

Binding::~Binding()
{
    if (m_recordSet)
        m_recordSet->detach(this);
}

QString Binding::displayText(const QVariant& value)
{
    return value.isNull() ? QString() : value.toString();
}

void Binding::setBound(bool bound)
{
    if (bound == m_bound)
        return;
    m_bound = bound;
    m_dirty = false;
    if (bound)
        showCurrent();
}

void Binding::onChanged()
{
    if (!m_showing && m_bound && m_editable)
        m_dirty = true;
}

void Binding::collectPending(QList<FieldEdit>& edits) const
{
    if (m_bound && m_dirty && m_control)
        edits.append({m_field, m_text()});
}

void Binding::clearPending()
{
    m_dirty = false;
}

void Binding::showCurrent()
{
    if (!m_bound || !m_control || !m_recordSet)
        return;
    m_showing = true;
    m_show(displayText(m_recordSet->field(m_field)));
    m_showing = false;
    m_dirty = false;
}

ListBinding::ListBinding(RecordSet* list, const QString& field, ComboBox* control)
    : QObject(control), m_list(list), m_field(field), m_control(control)
{
    connect(list, &RecordSet::refreshed, this, &ListBinding::reload);
    reload();
}

void ListBinding::reload()
{
    if (!m_list || !m_control)
        return;
    const int column = m_list->fieldIndex(m_field);
    QStringList items;
    if (column >= 0) {
        for (const QVariant& value : m_list->columnValues(column))
            items.append(Binding::displayText(value));
    }
    // Each activation of a window runs its lists again; mostly nothing has changed since.
    if (items == m_lastValues)
        return;
    m_lastValues = items;
    QCollator collator(QLocale(QLocale::Japanese, QLocale::Japan));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(items.begin(), items.end(), [&collator](const QString& a, const QString& b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
    });
    items.erase(std::unique(items.begin(), items.end()), items.end());
    m_control->setListItems(items);
}
