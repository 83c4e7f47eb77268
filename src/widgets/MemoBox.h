#pragma once

#include <QPlainTextEdit>

class QMimeData;

// A multi-line text box with scroll bars; changed() as for TextBox.
//
// Memos are stored with CR LF line ends: text() gives what the box holds with CR LF between
// lines, however the lines were typed, pasted or written (LF, CR or CR LF). Lines run on past
// the box's width, to be scrolled along; only a memo with a line too long to scroll along
// (thousands of characters) wraps at the box's width, anywhere, so that a memo of a million
// characters on one line shows at once and leaves the processor idle while the cursor blinks.
class MemoBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit MemoBox(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);

    // The text with CR LF line ends, whatever ends its lines had.
    static QString withCrLf(const QString& text);

Q_SIGNALS:
    void changed();

protected:
    // Plain text only: rich-text copies of a long memo (HTML, Markdown, ODF) cost seconds
    // each time the selection changes, and other programs get the text all the same.
    QMimeData* createMimeDataFromSelection() const override;
    void changeEvent(QEvent* event) override;

private:
    void keepLayouts(int from, int length);
    void fitWrapping(bool longLine);
    void useSimpleShaping();

    bool m_writing = false;
};
