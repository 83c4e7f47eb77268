#pragma once

#include <QLineEdit>

// A one-line text box. changed() follows every change of the text, by the user or by
// code, and also a write by code of the text it already shows.
class TextBox : public QLineEdit
{
    Q_OBJECT

public:
    explicit TextBox(QWidget* parent = nullptr);

    void setText(const QString& text);

Q_SIGNALS:
    void changed();

private:
    bool m_writing = false;
};
