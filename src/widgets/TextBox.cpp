#include "widgets/TextBox.h"

TextBox::TextBox(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!m_writing)
            Q_EMIT changed();
    });
}

void TextBox::setText(const QString& text)
{
    m_writing = true;
    QLineEdit::setText(text);
    m_writing = false;
    Q_EMIT changed();
}
