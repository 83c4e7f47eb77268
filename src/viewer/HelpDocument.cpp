#include "viewer/HelpDocument.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace {

// Titles of anchors within running text are cut to this length.
constexpr int MaxAnchorTitle = 40;

// Documents, pictures and programs that only their own programs show, by their first bytes.
bool isBinaryDocument(const QByteArray& data)
{
    static const QByteArrayView signatures[] = {
        QByteArrayView("PK\x03\x04", 4),                // Office Open XML, OpenDocument, ZIP
        QByteArrayView("\xD0\xCF\x11\xE0", 4),          // Word, Excel of old
        QByteArrayView("\x00\x01\x00\x00Standard", 12), // Access
        QByteArrayView("?_\x03\x00", 4),                // Windows help
        QByteArrayView("{\\rtf", 5),                    // rich text
        QByteArrayView("\x89PNG", 4),
        QByteArrayView("\xFF\xD8\xFF", 3), // JPEG
        QByteArrayView("GIF8", 4),
        QByteArrayView("II*\x00", 4), // TIFF
        QByteArrayView("MM\x00*", 4),
        QByteArrayView("\x7f"
                       "ELF",
                       4),
    };
    for (QByteArrayView signature : signatures) {
        if (data.startsWith(signature))
            return true;
    }
    return false;
}

// HTML is told by its content: the help file keeps its old ".HLP" name.
bool looksLikeHtml(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text.at(i).isSpace() || text.at(i) == QChar(0xfeff)))
        ++i;
    const QStringView rest = text.mid(i);
    return rest.startsWith(u"<!doctype", Qt::CaseInsensitive) || rest.startsWith(u"<html", Qt::CaseInsensitive);
}

} // namespace

HelpDocument::Kind HelpDocument::kindOf(const QByteArray& head, const QString& path)
{
    // A PDF's header may stand a little after the start of the file.
    if (head.left(1024).contains("%PDF-"))
        return Kind::Pdf;
    if (head.startsWith("ITSF"))
        return Kind::Chm;
    if (isBinaryDocument(head))
        return Kind::Other;
    return load(head, path).kind;
}

std::optional<QString> HelpDocument::decodeText(const QByteArray& data)
{
    if (auto encoding = QStringConverter::encodingForData(data); encoding && *encoding != QStringConverter::Utf8) {
        QStringDecoder decoder(*encoding);
        QString text = decoder(data);
        if (!decoder.hasError())
            return text;
    }
    {
        QStringDecoder utf8(QStringConverter::Utf8);
        QString text = utf8(data);
        if (!utf8.hasError() && !text.contains(QChar(0)))
            return text;
    }
    QStringDecoder sjis("Shift_JIS");
    if (sjis.isValid()) {
        QString text = sjis(data);
        if (!sjis.hasError() && !text.contains(QChar(0)))
            return text;
    }
    return std::nullopt;
}

QString HelpDocument::decodeHtml(const QByteArray& data)
{
    // A charset named in the page wins over the guess.
    QStringDecoder html = QStringDecoder::decoderForHtml(data);
    if (html.isValid()) {
        QString decoded = html(data);
        if (!html.hasError())
            return decoded;
    }
    return decodeText(data).value_or(QString::fromUtf8(data));
}

HelpDocument::Loaded HelpDocument::load(const QByteArray& data, const QString& path)
{
    if (isBinaryDocument(data) || data.left(1024).contains("%PDF-") || data.startsWith("ITSF"))
        return {};
    const QString suffix = QFileInfo(path).suffix().toLower();
    const std::optional<QString> text = decodeText(data);
    if (!text)
        return {};
    if (looksLikeHtml(*text) || suffix == QLatin1String("htm") || suffix == QLatin1String("html"))
        return {Kind::Html, decodeHtml(data)};
    return {Kind::Text, *text};
}

QList<HelpDocument::Topic> HelpDocument::readTopics(const QTextDocument& document)
{
    QList<Topic> topics;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QStringList anchors;
        QList<Topic> anchored;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QStringList names = fragment.charFormat().anchorNames();
            for (const QString& name : names) {
                anchors.append(name);
                // Named by the words that follow it on its line, else by its name.
                const QString text =
                    block.text().mid(fragment.position() - block.position()).simplified().left(MaxAnchorTitle);
                Topic topic;
                topic.title = text.isEmpty() ? name : text;
                topic.anchors = {name};
                topic.position = fragment.position();
                anchored.append(topic);
            }
        }
        const QString heading = block.text().simplified();
        const int level = block.blockFormat().headingLevel();
        if (level > 0 && !heading.isEmpty()) {
            Topic topic;
            topic.title = heading;
            topic.anchors = anchors;
            topic.position = block.position();
            topic.level = level;
            topics.append(topic);
        } else {
            topics.append(anchored);
        }
    }
    return topics;
}

QString HelpDocument::kindName(const QString& path, const QByteArray& head)
{
    const QString suffix = QFileInfo(fileName(path)).suffix().toLower();
    if (head.startsWith(QByteArrayView("?_\x03\x00", 4)) || suffix == QLatin1String("hlp"))
        return QStringLiteral("Windows ヘルプ（.hlp）");
    const std::pair<const char*, const char*> known[] = {
        {"doc", "Word の文書"},           {"docx", "Word の文書"},
        {"xls", "Excel のブック"},        {"xlsx", "Excel のブック"},
        {"mdb", "Access のデータベース"}, {"ppt", "PowerPoint のスライド"},
        {"rtf", "リッチテキスト"},        {"exe", "Windows のプログラム"},
        {"chm", "HTML ヘルプ（.chm）"},   {"pdf", "PDF"},
    };
    for (const auto& [ending, name] : known) {
        if (suffix == QLatin1String(ending))
            return QString::fromUtf8(name);
    }
    return suffix.isEmpty() ? QStringLiteral("この種類のファイル") : QStringLiteral("「.%1」のファイル").arg(suffix);
}

QString HelpDocument::fileName(const QString& path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

QString HelpDocument::searchForm(const QString& text)
{
    return text.normalized(QString::NormalizationForm_KC).toCaseFolded();
}

QString HelpDocument::withStyleSheetTypes(const QString& html)
{
    static const QRegularExpression link(QStringLiteral("<link\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression sheet(QStringLiteral("\\brel\\s*=\\s*[\"']?stylesheet\\b"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression type(QStringLiteral("\\btype\\s*="), QRegularExpression::CaseInsensitiveOption);
    QString out;
    qsizetype done = 0;
    for (QRegularExpressionMatchIterator it = link.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString tag = m.captured();
        out += QStringView(html).mid(done, m.capturedStart() - done);
        out += sheet.match(tag).hasMatch() && !type.match(tag).hasMatch()
                   ? tag.left(5) + QStringLiteral(" type=\"text/css\"") + tag.mid(5)
                   : tag;
        done = m.capturedEnd();
    }
    if (done == 0)
        return html;
    out += QStringView(html).mid(done);
    return out;
}
