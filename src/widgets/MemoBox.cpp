#include "widgets/MemoBox.h"

#include <QEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

// Lines of a text document are separated by this character in its raw text.
constexpr QChar LineBreak = QChar::ParagraphSeparator;

// A line longer than this wraps: unwrapped, every paint measures all of it.
constexpr int LongestUnwrappedLine = 4096;

bool hasLongLine(const QString& text)
{
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n' || c == LineBreak)
            lineStart = i + 1;
        else if (i - lineStart >= LongestUnwrappedLine)
            return true;
    }
    return false;
}

bool hasLongLine(const QTextDocument* document)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.length() > LongestUnwrappedLine)
            return true;
    }
    return false;
}

} // namespace

MemoBox::MemoBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Wrapping at word boundaries would search a line without blanks to its end for each
    // line it makes; a line that wraps at all wraps anywhere.
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::WrapAnywhere);
    setTabChangesFocus(true);
    useSimpleShaping();
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_writing)
            Q_EMIT changed();
    });
    connect(document(), &QTextDocument::contentsChange, this, [this](int from, int, int added) {
        keepLayouts(from, added);
        if (!m_writing)
            fitWrapping(hasLongLine(document()));
    });
}

QString MemoBox::withCrLf(const QString& text)
{
    QString result;
    result.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n' || c == LineBreak) {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            result += QStringLiteral("\r\n");
        } else {
            result += c;
        }
    }
    return result;
}

QString MemoBox::text() const
{
    // The raw text keeps every character as typed; toPlainText() would turn no-break
    // blanks into plain ones.
    QString raw = document()->toRawText();
    return raw.contains(LineBreak) ? raw.replace(LineBreak, QStringLiteral("\r\n")) : raw;
}

void MemoBox::setText(const QString& text)
{
    // The same memo shown again keeps its scroll position and costs no new layout.
    if (withCrLf(text) == this->text()) {
        Q_EMIT changed();
        return;
    }
    m_writing = true;
    // Decided before the text is laid out, which is then done once.
    fitWrapping(hasLongLine(text));
    setPlainText(text);
    m_writing = false;
    Q_EMIT changed();
}

QMimeData* MemoBox::createMimeDataFromSelection() const
{
    auto* data = new QMimeData;
    data->setText(textCursor().selectedText().replace(LineBreak, QLatin1Char('\n')));
    return data;
}

void MemoBox::changeEvent(QEvent* event)
{
    QPlainTextEdit::changeEvent(event);
    // The box hands its font to its document on every change of the font.
    if (event->type() == QEvent::FontChange)
        useSimpleShaping();
}

void MemoBox::useSimpleShaping()
{
    // Japanese, Latin and the like need no OpenType shaping to show right; shaping each run
    // of a long memo doubles the time to lay it out. Scripts that need shaping still get it.
    QFont font = document()->defaultFont();
    if (font.styleStrategy() & QFont::PreferNoShaping)
        return;
    font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
    document()->setDefaultFont(font);
}

void MemoBox::fitWrapping(bool longLine)
{
    const LineWrapMode wanted = longLine ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap;
    if (lineWrapMode() != wanted)
        setLineWrapMode(wanted);
}

void MemoBox::keepLayouts(int from, int length)
{
    // A line's layout is dropped after each paint unless kept: the blinking cursor would
    // then analyse a long memo afresh twice a second.
    const QTextBlock last = document()->findBlock(from + length);
    for (QTextBlock block = document()->findBlock(from); block.isValid(); block = block.next()) {
        block.layout()->setCacheEnabled(true);
        if (block == last)
            break;
    }
}
