#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// The small window in which the user types the words of a full-text search. It stays over the
// display window and is not modal; Enter searches, Escape closes it.
class FullTextBox : public QWidget
{
    Q_OBJECT

public:
    explicit FullTextBox(QWidget* window);

    // Shows the box over the window, with the words typed last selected.
    void open();
    QString words() const;
    // A line under the words: how many memos were found, or how far the index is.
    void setStatus(const QString& text);

Q_SIGNALS:
    void searchRequested(const QString& words);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_words = nullptr;
    QPushButton* m_search = nullptr;
    QLabel* m_status = nullptr;
};
