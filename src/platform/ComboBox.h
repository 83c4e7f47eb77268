#pragma once

#include <QComboBox>

class QStringListModel;

// An editable drop-down combo box: the user types any text or picks one from the list.
// changed() as for TextBox. Replacing the list keeps the text.
class ComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit ComboBox(QWidget* parent = nullptr);

    QString text() const { return currentText(); }
    void setText(const QString& text);
    // The list in the order given; the text stays as it is and changed() is not emitted.
    void setListItems(const QStringList& items);
    QStringList listItems() const;

Q_SIGNALS:
    void changed();

private:
    QStringListModel* m_model = nullptr;
    bool m_writing = false;
};
