#pragma once

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <optional>

class QTextDocument;

// What the help viewer reads of a file before it shows it: which kind of document it is, its
// text decoded, and the topics that make its index.
namespace HelpDocument {

enum class Kind {
    Html,
    Text,
    Pdf,
    Chm,
    Other, // a document that only its own program shows
};

// A topic of the index, and where it leads.
struct Topic
{
    QString title;
    QStringList anchors; // in an HTML page
    int position = 0;    // in the text shown
    int level = 0;       // heading level (nesting depth in an outline), 0 for an anchor outside a heading
    QString member;      // in a compiled help file: the page, with its anchor ("/b.htm#x")
    int page = -1;       // in a PDF, from 0
    QPointF location;    // on that page, in points
};

// The kind of a file, by its first bytes, and for text by its name.
Kind kindOf(const QByteArray& head, const QString& path);

struct Loaded
{
    Kind kind = Kind::Other;
    QString text;
};

// An HTML or plain-text file's text, decoded as its byte order mark, its own charset, UTF-8 or
// Shift_JIS (the text files of Japanese Windows) says; Other for anything else.
Loaded load(const QByteArray& data, const QString& path);
// Text as the rules above decode it; nullopt for bytes that are no text.
std::optional<QString> decodeText(const QByteArray& data);
// An HTML page's text: its own charset first.
QString decodeHtml(const QByteArray& data);

// The page with every <link rel="stylesheet"> that names no type marked as CSS, which browsers
// assume and Qt's rich text requires before it loads the sheet.
QString withStyleSheetTypes(const QString& html);

// The index of a document: its headings, and the named anchors outside headings.
QList<Topic> readTopics(const QTextDocument& document);

// The kind of a file in the user's words, for a file that cannot be shown: "Windows ヘルプ（.hlp）".
QString kindName(const QString& path, const QByteArray& head);

// The name of a file as the viewer shows it; paths may come from Windows.
QString fileName(const QString& path);

// The form in which the index and the text are searched: without regard to Latin letter case
// or to the width of kana and Latin letters ("ｷｰﾜｰﾄﾞ" finds "キーワード").
QString searchForm(const QString& text);

} // namespace HelpDocument
