#pragma once

#include <QComboBox>
#include <QPointer>

class PickFilter;
class PickList;
class QAbstractItemView;
class QStringListModel;

// An editable drop-down combo box: the user types any text or picks one from the list.
// changed() as for TextBox. Replacing the list keeps the text.
//
// Typing shows, under the box, the entries of the list that contain what has been typed, in
// the list's order, compared as TextFold compares texts; Down and Up choose one, Enter or a
// click takes it, as a pick from the drop-down list does. What is typed stays the box's text
// until then. The picks take neither the focus nor the mouse: any click or key outside them
// acts at once, as it would without them, and closes them.
class ComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit ComboBox(QWidget* parent = nullptr);
    ~ComboBox() override;

    QString text() const { return currentText(); }
    void setText(const QString& text);
    // The list in the order given; the text stays as it is and changed() is not emitted.
    void setListItems(const QStringList& items);
    QStringList listItems() const;

    // The entries offered while typing; null until they are first shown.
    QAbstractItemView* picks() const;
    bool picksShown() const;
    void hidePicks();

    void showPopup() override;

Q_SIGNALS:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void typed(const QString& text);
    // A key for the picks while they are shown; true when it was theirs.
    bool pickKey(QKeyEvent* key);
    void showPicks();
    void placePicks();
    void take(int row);
    void choose(int row);

    QStringListModel* m_model = nullptr;
    PickFilter* m_filter = nullptr;
    // A child of the window, which may go before the box does.
    QPointer<PickList> m_picks;
    bool m_writing = false;
};
