#include "platform/ComboBox.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QStringListModel>

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
