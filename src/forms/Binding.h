#pragma once

#include "db/RecordSetClient.h"

#include <QObject>
#include <QPointer>

#include <functional>

class ComboBox;
class MemoBox;
class QLabel;
class RecordSet;
class TextBox;

// Ties a control to one field of a record set. When the current record changes the
// control shows the new value (empty for none). Any other change of the control's text,
// typed or written by code, is a pending edit of the field, written before the record set
// moves, when the window saves, and when it closes.
class Binding : public QObject, public RecordSetClient
{
    Q_OBJECT

public:
    // Binds a TextBox, MemoBox or ComboBox, or a QLabel, which only shows its field.
    template <class Control> Binding(RecordSet* recordSet, const QString& field, Control* control);
    ~Binding() override;

    // Drops the binding: the control keeps what it shows. Restoring it shows the current
    // record at once.
    void setBound(bool bound);
    bool isBound() const { return m_bound; }
    bool hasPendingEdit() const { return m_dirty; }
    QString field() const { return m_field; }

    void collectPending(QList<FieldEdit>& edits) const override;
    void clearPending() override;
    void showCurrent() override;

    // The text of a field value as controls show it.
    static QString displayText(const QVariant& value);

private:
    Binding(RecordSet* recordSet, const QString& field, QObject* control);
    void onChanged();

    QPointer<RecordSet> m_recordSet;
    QString m_field;
    QPointer<QObject> m_control;
    std::function<QString()> m_text;
    std::function<void(const QString&)> m_show;
    bool m_bound = true;
    bool m_dirty = false;
    bool m_showing = false;
    bool m_editable = true;
};

// Fills a combo box's list from one field of a record set, each time that record set runs.
// The values appear once each, sorted.
// Binds each control to the field named before it: bindFields(set, "ID", label, "メモ", memoBox).
template <class Control, class... Rest>
void bindFields(RecordSet* recordSet, const char* field, Control* control, Rest... rest)
{
    new Binding(recordSet, QString::fromUtf8(field), control);
    if constexpr (sizeof...(rest) > 0)
        bindFields(recordSet, rest...);
}

class ListBinding : public QObject
{
    Q_OBJECT

public:
    ListBinding(RecordSet* list, const QString& field, ComboBox* control);

    void reload();

private:
    QPointer<RecordSet> m_list;
    QString m_field;
    QPointer<ComboBox> m_control;
    QStringList m_lastValues;
};
