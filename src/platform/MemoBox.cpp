#include "platform/MemoBox.h"

MemoBox::MemoBox(QWidget* parent) : QPlainTextEdit(parent)
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
    // The same memo shown again keeps its scroll position and costs no new layout.
    if (text == toPlainText()) {
        Q_EMIT changed();
        return;
    }
    m_writing = true;
    setPlainText(text);
    m_writing = false;
    Q_EMIT changed();
}
