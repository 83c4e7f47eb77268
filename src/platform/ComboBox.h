#pragma once

#include <QComboBox>

class QStringListModel;
class PickFilter;

// An editable drop-down combo box: the user types any text or picks one from the list.
// changed() as for TextBox. Replacing the list keeps the text.
//
// Typing shows, under the box, the entries of the list that contain what has been typed, in
// the list's order, compared as TextFold compares texts; Enter or a click takes one, as a pick
// from the drop-down list does. What is typed stays the box's text until then.
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
    void typed(const QString& text);

    QStringListModel* m_model = nullptr;
    PickFilter* m_filter = nullptr;
    bool m_writing = false;
};
