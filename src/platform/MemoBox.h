#pragma once

#include <QPlainTextEdit>

// A multi-line text box with scroll bars; changed() as for TextBox.
class MemoBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit MemoBox(QWidget* parent = nullptr);

    QString text() const { return toPlainText(); }
    void setText(const QString& text);

Q_SIGNALS:
    void changed();

private:
    bool m_writing = false;
};
