#include "platform/MemoBox.h"

MemoBox::MemoBox(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_writing)
            Q_EMIT changed();
    });
}

void MemoBox::setText(const QString& text)
{
    m_writing = true;
    setPlainText(text);
    m_writing = false;
    Q_EMIT changed();
}
