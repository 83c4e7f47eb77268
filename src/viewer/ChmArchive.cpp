#include "viewer/ChmArchive.h"

#include "core/Log.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>
#include <QUrl>

#include <algorithm>

#include <chm_lib.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString damagedText()
{
    return QStringLiteral("ヘルプファイル（.chm）として読めません。ファイルが壊れているか、途中で切れています。");
}

// The container's fixed parts, as the format lays them out.
constexpr quint64 ItsfV2Length = 0x58;
constexpr quint64 ItsfV3Length = 0x60;
constexpr quint64 ItspLength = 0x54;
constexpr quint64 PmglLength = 0x14;
constexpr quint64 PmgiLength = 0x08;
constexpr quint64 ControlDataMinLength = 0x18;
constexpr quint64 ControlDataMaxLength = 256; // CHMLib reads it into a buffer of this size
constexpr quint64 ResetTableLength = 0x28;
constexpr quint64 LzxFrame = 0x8000;
constexpr quint64 LzxSlack = 6144; // CHMLib's room for a compressed frame beyond the frame's own size
constexpr int MaxNameLength = CHM_MAX_PATHLEN;

const char ResetTableName[] =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";
const char ControlDataName[] = "::DataSpace/Storage/MSCompressed/ControlData";
const char ContentName[] = "::DataSpace/Storage/MSCompressed/Content";

quint16 le16(const char* p)
{
    const auto* u = reinterpret_cast<const uchar*>(p);
    return quint16(u[0] | u[1] << 8);
}

quint32 le32(const char* p)
{
    const auto* u = reinterpret_cast<const uchar*>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

quint64 le64(const char* p)
{
    return quint64(le32(p)) | quint64(le32(p + 4)) << 32;
}

// offset + length lies within [0, limit], without the sum overflowing.
bool within(quint64 offset, quint64 length, quint64 limit)
{
    return offset <= limit && length <= limit - offset;
}

bool readAt(int fd, quint64 offset, char* into, quint64 length)
{
    while (length > 0) {
        const ssize_t got = ::pread(fd, into, length, off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        into += got;
        offset += quint64(got);
        length -= quint64(got);
    }
    return true;
}

// Directory entries hold their numbers in 7-bit groups; CHMLib reads them without an end in sight,
// so every one is read here first, never past the end of its entry area.
struct EntryReader
{
    const char* p;
    const char* end;
    bool ok = true;

    quint64 number()
    {
        quint64 value = 0;
        for (int i = 0; i < 9 && ok; ++i) {
            if (p >= end)
                break;
            const uchar byte = uchar(*p++);
            value = value << 7 | (byte & 0x7f);
            if (byte < 0x80)
                return value;
        }
        ok = false;
        return 0;
    }

    QByteArray name()
    {
        const quint64 length = number();
        if (!ok || length == 0 || length > quint64(MaxNameLength) || length > quint64(end - p)) {
            ok = false;
            return {};
        }
        QByteArray text(p, qsizetype(length));
        p += length;
        // CHMLib treats names as C strings: an empty or cut one would have it index before its buffer.
        if (text.contains('\0'))
            ok = false;
        return text;
    }
};

struct DirectoryEntry
{
    QByteArray name;
    quint64 space = 0;
    quint64 start = 0;
    quint64 length = 0;
};

enum class ChunkKind { Other, Listing, Index };

struct Chunk
{
    ChunkKind kind = ChunkKind::Other;
    qint64 next = -1;       // the listing chunk after this one
    QList<qint64> children; // the chunks an index chunk leads to
};

struct CheckedLayout
{
    quint64 dataOffset = 0;
    quint32 lcid = 0;
    QList<DirectoryEntry> entries; // of every listing chunk, for the parts CHMLib reads by name
};

struct ControlData
{
    quint32 windowSize = 0;
    quint32 resetBlocks = 0;
};

// Reads the compression's control data as CHMLib does (its arithmetic included), and holds it to what its
// decompressor can work with.
bool parseControlData(const QByteArray& data, ControlData* control)
{
    if (quint64(data.size()) < ControlDataMinLength || quint64(data.size()) > ControlDataMaxLength)
        return false;
    const char* p = data.constData();
    if (std::memcmp(p + 4, "LZXC", 4) != 0)
        return false;
    const quint32 version = le32(p + 8);
    quint32 resetInterval = le32(p + 12);
    quint32 windowSize = le32(p + 16);
    const quint32 windowsPerReset = le32(p + 20);
    if (version == 2) {
        resetInterval *= 0x8000u;
        windowSize *= 0x8000u;
    }
    if (windowSize < 2 || resetInterval == 0 || resetInterval % (windowSize / 2) != 0)
        return false;
    // LZX windows run from 32 KB to 2 MB, in powers of two.
    if ((windowSize & (windowSize - 1)) != 0 || windowSize < (1u << 15) || windowSize > (1u << 21))
        return false;
    const quint32 resetBlocks = resetInterval / (windowSize / 2) * windowsPerReset;
    if (resetBlocks == 0)
        return false;
    control->windowSize = windowSize;
    control->resetBlocks = resetBlocks;
    return true;
}

// The container's headers and its directory, checked before CHMLib reads a byte of it: every number it
// follows leads inside the file, every walk it makes through the directory ends.
Result checkLayout(int fd, quint64 fileSize, CheckedLayout* layout)
{
    const Result damaged = Result::failure(damagedText());
    char header[ItsfV3Length];
    if (fileSize < ItsfV3Length || !readAt(fd, 0, header, ItsfV3Length))
        return damaged;
    if (std::memcmp(header, "ITSF", 4) != 0)
        return damaged;
    const qint32 version = qint32(le32(header + 4));
    const quint32 headerLength = le32(header + 8);
    if ((version != 2 && version != 3) || headerLength < (version == 2 ? ItsfV2Length : ItsfV3Length) ||
        headerLength > fileSize)
        return damaged;
    layout->lcid = le32(header + 0x14);
    const quint64 sectionOffset = le64(header + 0x38);
    const quint64 sectionLength = le64(header + 0x40);
    const quint64 dirOffset = le64(header + 0x48);
    const quint64 dirLength = le64(header + 0x50);
    if (!within(sectionOffset, sectionLength, fileSize) || !within(dirOffset, dirLength, fileSize) ||
        dirLength < ItspLength)
        return damaged;
    layout->dataOffset = version == 3 ? le64(header + 0x58) : dirOffset + dirLength;
    if (layout->dataOffset > fileSize)
        return damaged;

    char itsp[ItspLength];
    if (!readAt(fd, dirOffset, itsp, ItspLength) || std::memcmp(itsp, "ITSP", 4) != 0 || le32(itsp + 4) != 1 ||
        le32(itsp + 8) != ItspLength)
        return damaged;
    const quint64 chunkSize = le32(itsp + 0x10);
    qint64 root = qint32(le32(itsp + 0x1c));
    const qint64 head = qint32(le32(itsp + 0x20));
    if (chunkSize < 0x100 || chunkSize > 0x100000)
        return damaged;
    const quint64 chunkBase = dirOffset + ItspLength;
    const qint64 chunkCount = qint64((dirLength - ItspLength) / chunkSize);
    if (root < 0)
        root = head;
    if (chunkCount < 1 || head < 0 || head >= chunkCount || root >= chunkCount)
        return damaged;

    QList<Chunk> chunks(chunkCount);
    QByteArray buffer(qsizetype(chunkSize), Qt::Uninitialized);
    for (qint64 i = 0; i < chunkCount; ++i) {
        if (!readAt(fd, chunkBase + quint64(i) * chunkSize, buffer.data(), chunkSize))
            return damaged;
        const char* page = buffer.constData();
        Chunk& chunk = chunks[i];
        if (std::memcmp(page, "PMGL", 4) == 0)
            chunk.kind = ChunkKind::Listing;
        else if (std::memcmp(page, "PMGI", 4) == 0)
            chunk.kind = ChunkKind::Index;
        else
            continue; // never read: nothing leads to it, or CHMLib gives up on it
        const quint64 headLength = chunk.kind == ChunkKind::Listing ? PmglLength : PmgiLength;
        const quint64 freeSpace = le32(page + 4);
        if (freeSpace > chunkSize - headLength)
            return damaged;
        EntryReader reader{page + headLength, page + chunkSize - freeSpace};
        if (chunk.kind == ChunkKind::Listing) {
            chunk.next = qint32(le32(page + 0x10));
            if (chunk.next < -1 || chunk.next >= chunkCount)
                return damaged;
        }
        while (reader.p < reader.end) {
            DirectoryEntry entry;
            entry.name = reader.name();
            if (chunk.kind == ChunkKind::Listing) {
                entry.space = reader.number();
                entry.start = reader.number();
                entry.length = reader.number();
                // Only the stored and the compressed section exist; CHMLib takes any other for a compressed one
                // before it knows how to decompress.
                if (!reader.ok || entry.space > 1)
                    return damaged;
                layout->entries.append(entry);
            } else {
                const quint64 child = reader.number();
                if (!reader.ok || child >= quint64(chunkCount))
                    return damaged;
                chunk.children.append(qint64(child));
            }
        }
    }

    // Enumeration follows the listing chunks from the first; the chain must end, and hold listings only.
    QList<bool> seen(chunkCount, false);
    for (qint64 at = head; at != -1; at = chunks.at(at).next) {
        if (seen.at(at) || chunks.at(at).kind != ChunkKind::Listing)
            return damaged;
        seen[at] = true;
    }
    // A name is looked up from the root down through index chunks: no index chunk may lead back to itself.
    if (chunks.at(root).kind == ChunkKind::Other)
        return damaged;
    enum : char { Unvisited, OnPath, Done };
    QList<char> state(chunkCount, Unvisited);
    QList<QPair<qint64, qsizetype>> path{{root, 0}};
    state[root] = OnPath;
    while (!path.isEmpty()) {
        auto& [at, next] = path.last();
        const QList<qint64>& children = chunks.at(at).children;
        if (next == children.size()) {
            state[at] = Done;
            path.removeLast();
            continue;
        }
        const qint64 child = children.at(next++);
        if (state.at(child) == OnPath)
            return damaged;
        if (state.at(child) == Unvisited && chunks.at(child).kind == ChunkKind::Index) {
            state[child] = OnPath;
            path.append({child, 0});
        }
    }

    const qint64 listed = layout->entries.size();
    if (listed > ChmArchive::MaxMembers)
        return Result::failure(QStringLiteral("ヘルプファイルに含まれるファイルが多すぎるため、開けません。"));

    // CHMLib reads the control data while it opens the file, and divides by what it finds there even when
    // it cannot read it: every entry that it could take for the control data must be sound.
    for (const DirectoryEntry& entry : std::as_const(layout->entries)) {
        if (entry.space != 0 || ::strcasecmp(entry.name.constData(), ControlDataName) != 0)
            continue;
        ControlData control;
        QByteArray data(qsizetype(qMin(entry.length, ControlDataMaxLength)), Qt::Uninitialized);
        if (entry.length < ControlDataMinLength || entry.length > ControlDataMaxLength ||
            !within(layout->dataOffset, entry.start, fileSize) ||
            !within(layout->dataOffset + entry.start, entry.length, fileSize) ||
            !readAt(fd, layout->dataOffset + entry.start, data.data(), entry.length) ||
            !parseControlData(data, &control))
            return damaged;
    }
    return Result::success();
}

// Windows' code page of a language, for the texts of files that do not say theirs.
const char* codePageOf(quint32 lcid)
{
    const quint32 language = lcid & 0x3ff;
    const quint32 region = lcid >> 10;
    switch (language) {
    case 0x11:
        return "Shift_JIS";
    case 0x12:
        return "windows-949";
    case 0x04:
        return region == 2 || region == 4 ? "GBK" : "Big5";
    case 0x02:
    case 0x19:
    case 0x22:
    case 0x23:
    case 0x2f:
        return "windows-1251";
    case 0x05:
    case 0x0e:
    case 0x15:
    case 0x18:
    case 0x1a:
    case 0x1b:
    case 0x1c:
    case 0x24:
        return "windows-1250";
    case 0x08:
        return "windows-1253";
    case 0x1f:
        return "windows-1254";
    case 0x0d:
        return "windows-1255";
    case 0x01:
    case 0x20:
    case 0x29:
        return "windows-1256";
    case 0x25:
    case 0x26:
    case 0x27:
        return "windows-1257";
    case 0x2a:
        return "windows-1258";
    case 0x1e:
        return "windows-874";
    case 0x03:
    case 0x06:
    case 0x07:
    case 0x09:
    case 0x0a:
    case 0x0b:
    case 0x0c:
    case 0x0f:
    case 0x10:
    case 0x13:
    case 0x14:
    case 0x16:
    case 0x1d:
    case 0x2d:
    case 0x36:
    case 0x38:
    case 0x56:
        return "windows-1252";
    default:
        return "Shift_JIS";
    }
}

QByteArray charsetOf(const QByteArray& html)
{
    static const QRegularExpression meta(QStringLiteral(R"(<meta[^>]*charset\s*=\s*["']?\s*([A-Za-z0-9_:.\-]+))"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = meta.match(QString::fromLatin1(html.left(4096)));
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

QString decodeEntities(const QString& text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    static const QHash<QString, char32_t> named{
        {QStringLiteral("amp"), U'&'},   {QStringLiteral("lt"), U'<'},     {QStringLiteral("gt"), U'>'},
        {QStringLiteral("quot"), U'"'},  {QStringLiteral("apos"), U'\''},  {QStringLiteral("nbsp"), U'\u00a0'},
        {QStringLiteral("copy"), U'©'},  {QStringLiteral("reg"), U'®'},    {QStringLiteral("yen"), U'¥'},
        {QStringLiteral("trade"), U'™'}, {QStringLiteral("hellip"), U'…'}, {QStringLiteral("mdash"), U'—'},
        {QStringLiteral("ndash"), U'–'}, {QStringLiteral("laquo"), U'«'},  {QStringLiteral("raquo"), U'»'},
        {QStringLiteral("times"), U'×'}, {QStringLiteral("divide"), U'÷'}, {QStringLiteral("deg"), U'°'},
    };
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype end = text.at(i) == QLatin1Char('&') ? text.indexOf(QLatin1Char(';'), i + 1) : -1;
        if (end < 0 || end - i > 12) {
            out += text.at(i);
            continue;
        }
        const QString name = text.mid(i + 1, end - i - 1);
        char32_t code = 0;
        bool known = false;
        if (name.startsWith(QLatin1Char('#'))) {
            const bool hex = name.size() > 1 && (name.at(1) == QLatin1Char('x') || name.at(1) == QLatin1Char('X'));
            const uint value = name.mid(hex ? 2 : 1).toUInt(&known, hex ? 16 : 10);
            code = !known || value == 0 || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff) ? U'\ufffd'
                                                                                                    : char32_t(value);
            known = true;
        } else if (const auto it = named.constFind(name); it != named.cend()) {
            code = *it;
            known = true;
        }
        if (!known) {
            out += text.at(i);
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = end;
    }
    return out;
}

// One tag of a sitemap: its name in lower case ("/ul" for a closing one) and its attributes.
struct Tag
{
    QString name;
    QHash<QString, QString> attributes; // names in lower case, values with their entities decoded
};

// Reads the tag that starts at text[at] == '<'; returns the position after it, or -1 at the end of the text.
qsizetype readTag(const QString& text, qsizetype at, Tag* tag)
{
    const qsizetype size = text.size();
    qsizetype i = at + 1;
    if (text.mid(i, 3) == QLatin1String("!--")) {
        const qsizetype end = text.indexOf(QLatin1String("-->"), i + 3);
        tag->name.clear();
        return end < 0 ? -1 : end + 3;
    }
    qsizetype nameStart = i;
    if (i < size && text.at(i) == QLatin1Char('/'))
        ++i;
    while (i < size && (text.at(i).isLetterOrNumber() || text.at(i) == QLatin1Char('!')))
        ++i;
    tag->name = text.mid(nameStart, i - nameStart).toLower();
    tag->attributes.clear();
    const bool wanted = tag->name == QLatin1String("object") || tag->name == QLatin1String("param");
    while (i < size) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('>'))
            return i + 1;
        if (c.isSpace() || c == QLatin1Char('/')) {
            ++i;
            continue;
        }
        const qsizetype keyStart = i;
        while (i < size && !text.at(i).isSpace() && text.at(i) != QLatin1Char('=') && text.at(i) != QLatin1Char('>'))
            ++i;
        const QString key = text.mid(keyStart, i - keyStart).toLower();
        while (i < size && text.at(i).isSpace())
            ++i;
        QString value;
        if (i < size && text.at(i) == QLatin1Char('=')) {
            ++i;
            while (i < size && text.at(i).isSpace())
                ++i;
            if (i < size && (text.at(i) == QLatin1Char('"') || text.at(i) == QLatin1Char('\''))) {
                const QChar quote = text.at(i);
                const qsizetype end = text.indexOf(quote, i + 1);
                if (end < 0)
                    return -1;
                value = text.mid(i + 1, end - i - 1);
                i = end + 1;
            } else {
                const qsizetype valueStart = i;
                while (i < size && !text.at(i).isSpace() && text.at(i) != QLatin1Char('>'))
                    ++i;
                value = text.mid(valueStart, i - valueStart);
            }
        }
        if (wanted && !tag->attributes.contains(key))
            tag->attributes.insert(key, decodeEntities(value));
    }
    return -1;
}

} // namespace

ChmArchive::~ChmArchive()
{
    if (m_chm)
        chm_close(m_chm);
    if (m_fd >= 0)
        ::close(m_fd);
}

std::unique_ptr<ChmArchive> ChmArchive::open(const QString& path, Result* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = Result::failure(why);
        return std::unique_ptr<ChmArchive>();
    };
    std::unique_ptr<ChmArchive> archive(new ChmArchive);
    archive->m_path = path;
    // Not blocking: a named pipe in place of the file would otherwise wait for a writer forever.
    archive->m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (archive->m_fd < 0)
        return fail(QStringLiteral("「%1」を開けません（%2）。").arg(path, qt_error_string(errno)));
    struct stat status;
    if (::fstat(archive->m_fd, &status) != 0)
        return fail(QStringLiteral("「%1」を開けません（%2）。").arg(path, qt_error_string(errno)));
    if (S_ISDIR(status.st_mode))
        return fail(QStringLiteral("「%1」はフォルダです。ヘルプファイルではありません。").arg(path));
    if (!S_ISREG(status.st_mode))
        return fail(damagedText());
    if (status.st_size > MaxFileSize)
        return fail(QStringLiteral("ヘルプファイルが大きすぎるため、開けません（%1 MB まで）。")
                        .arg(MaxFileSize / (1024 * 1024)));

    CheckedLayout checked;
    const Result layout = checkLayout(archive->m_fd, quint64(status.st_size), &checked);
    if (!layout) {
        qCInfo(lcViewer) << "not a readable CHM:" << path;
        return fail(layout.message);
    }
    archive->m_layout.fileSize = quint64(status.st_size);
    archive->m_layout.dataOffset = checked.dataOffset;
    archive->m_layout.lcid = checked.lcid;

    // CHMLib opens the very file that was checked, even if the name now leads elsewhere.
    const QString procPath = QStringLiteral("/proc/self/fd/%1").arg(archive->m_fd);
    archive->m_handlePath = QFileInfo::exists(procPath) ? procPath : path;
    archive->m_chm = chm_open(QFile::encodeName(archive->m_handlePath).constData());
    if (!archive->m_chm)
        return fail(damagedText());
    if (const Result compressed = archive->checkCompressedSection(); !compressed)
        return fail(compressed.message);

    auto collect = [](chmFile*, chmUnitInfo* unit, void* context) -> int {
        auto* self = static_cast<ChmArchive*>(context);
        if (self->m_order.size() >= MaxMembers)
            return CHM_ENUMERATOR_FAILURE;
        Member member;
        member.name = QString::fromUtf8(unit->path);
        member.start = unit->start;
        member.length = unit->length;
        member.space = unit->space;
        const QString key = member.name.toCaseFolded();
        if (self->m_members.contains(key))
            return CHM_ENUMERATOR_CONTINUE;
        if (self->m_firstContentsFile.isEmpty() && key.endsWith(QLatin1String(".hhc")))
            self->m_firstContentsFile = member.name;
        if (self->m_firstIndexFile.isEmpty() && key.endsWith(QLatin1String(".hhk")))
            self->m_firstIndexFile = member.name;
        self->m_order.append(member.name);
        self->m_members.insert(key, member);
        return CHM_ENUMERATOR_CONTINUE;
    };
    if (!chm_enumerate(archive->m_chm, CHM_ENUMERATE_ALL, collect, archive.get()))
        return fail(damagedText());
    // Some writers name a later chunk as the first of the listing, and enumeration then passes over the
    // ones before it; their entries, checked like the rest, are members all the same.
    QHash<QString, qsizetype> place;
    for (const DirectoryEntry& entry : std::as_const(checked.entries)) {
        chmUnitInfo unit{};
        std::memcpy(unit.path, entry.name.constData(), size_t(entry.name.size()));
        unit.space = int(entry.space);
        unit.start = entry.start;
        unit.length = entry.length;
        place.insert(QString::fromUtf8(entry.name).toCaseFolded(), place.size());
        if (!archive->m_members.contains(QString::fromUtf8(entry.name).toCaseFolded()))
            collect(archive->m_chm, &unit, archive.get());
    }
    std::stable_sort(archive->m_order.begin(), archive->m_order.end(), [&place](const QString& a, const QString& b) {
        return place.value(a.toCaseFolded(), -1) < place.value(b.toCaseFolded(), -1);
    });
    for (const Member& member : std::as_const(archive->m_members)) {
        if (member.space == CHM_COMPRESSED && member.length > 0 && !archive->m_layout.compressed)
            return fail(damagedText());
    }

    archive->readSettings();
    if (error)
        *error = Result::success();
    return archive;
}

Result ChmArchive::checkCompressedSection()
{
    // The parts CHMLib decompresses with, found as CHMLib finds them. Without all three in the stored
    // section it reads nothing compressed, which open() then refuses if anything is.
    const Result damaged = Result::failure(damagedText());
    chmUnitInfo table, content, control;
    if (chm_resolve_object(m_chm, ResetTableName, &table) != CHM_RESOLVE_SUCCESS || table.space != 0 ||
        chm_resolve_object(m_chm, ContentName, &content) != CHM_RESOLVE_SUCCESS || content.space != 0 ||
        chm_resolve_object(m_chm, ControlDataName, &control) != CHM_RESOLVE_SUCCESS || control.space != 0)
        return Result::success();
    const quint64 stored = m_layout.fileSize - m_layout.dataOffset;
    if (table.length < ResetTableLength || !within(table.start, table.length, stored) ||
        !within(content.start, content.length, stored) || !within(control.start, control.length, stored) ||
        table.length > quint64(MaxMemberSize))
        return damaged;

    QByteArray controlBytes(qsizetype(qMin(control.length, ControlDataMaxLength)), Qt::Uninitialized);
    ControlData controlData;
    if (!readAt(m_fd, m_layout.dataOffset + control.start, controlBytes.data(), quint64(controlBytes.size())) ||
        !parseControlData(controlBytes, &controlData))
        return damaged;

    QByteArray tableBytes(qsizetype(table.length), Qt::Uninitialized);
    if (!readAt(m_fd, m_layout.dataOffset + table.start, tableBytes.data(), table.length))
        return damaged;
    const char* t = tableBytes.constData();
    if (le32(t) != 2)
        return damaged;
    const quint64 blockCount = le32(t + 4);
    const quint64 tableOffset = le32(t + 12);
    const quint64 uncompressed = le64(t + 16);
    const quint64 compressed = le64(t + 24);
    const quint64 frame = le64(t + 32);
    // Every frame that a member within the section needs has its place in the table, and no compressed
    // frame is larger than the buffer CHMLib reads it into.
    if (frame != LzxFrame || compressed > content.length || blockCount < (uncompressed + LzxFrame - 1) / LzxFrame ||
        !within(tableOffset, blockCount * 8, table.length))
        return damaged;
    quint64 previous = 0;
    for (quint64 i = 0; i < blockCount; ++i) {
        const quint64 at = le64(t + tableOffset + i * 8);
        if ((i > 0 && (at < previous || at - previous > LzxFrame + LzxSlack)) || at > compressed)
            return damaged;
        previous = at;
    }
    if (blockCount > 0 && compressed - previous > LzxFrame + LzxSlack)
        return damaged;
    m_layout.compressed = true;
    m_layout.compressedSize = uncompressed;
    return Result::success();
}

const ChmArchive::Member* ChmArchive::find(const QString& member) const
{
    auto lookup = [this](QString name) -> const Member* {
        if (!name.startsWith(QLatin1Char('/')) && !name.startsWith(QLatin1String("::")))
            name.prepend(QLatin1Char('/'));
        const auto it = m_members.constFind(name.toCaseFolded());
        return it == m_members.cend() ? nullptr : &*it;
    };
    if (member.isEmpty())
        return nullptr;
    if (const Member* found = lookup(member))
        return found;
    // "/a.htm#margin": the first '#' that does not begin a name ("/#SYSTEM") starts a fragment.
    for (qsizetype i = member.indexOf(QLatin1Char('#')); i >= 0; i = member.indexOf(QLatin1Char('#'), i + 1)) {
        if (i > 0 && member.at(i - 1) != QLatin1Char('/'))
            return lookup(member.left(i));
    }
    return nullptr;
}

bool ChmArchive::contains(const QString& member) const
{
    return find(member) != nullptr;
}

QByteArray ChmArchive::read(const QString& member, Result* error) const
{
    QByteArray data;
    Result result;
    if (const Member* found = find(member))
        result = readMember(*found, &data);
    else
        result = Result::failure(QStringLiteral("ヘルプファイルの中に「%1」がありません。").arg(member));
    if (!result)
        data.clear();
    if (error)
        *error = result;
    return data;
}

Result ChmArchive::readMember(const Member& member, QByteArray* data) const
{
    const Result damaged =
        Result::failure(QStringLiteral("ヘルプファイルの中の「%1」が壊れているため、読めません。").arg(member.name));
    if (member.length > quint64(MaxMemberSize))
        return Result::failure(
            QStringLiteral("ヘルプファイルの中の「%1」は大きすぎるため、読めません。").arg(member.name));
    if (member.space == CHM_UNCOMPRESSED) {
        if (!within(member.start, member.length, m_layout.fileSize - m_layout.dataOffset))
            return damaged;
    } else if (member.space != CHM_COMPRESSED || !m_layout.compressed ||
               !within(member.start, member.length, m_layout.compressedSize)) {
        return damaged;
    }
    data->clear();
    if (member.length == 0)
        return Result::success();
    QByteArray bytes(qsizetype(member.length), Qt::Uninitialized);
    chmUnitInfo unit{};
    unit.start = member.start;
    unit.length = member.length;
    unit.space = member.space;
    QMutexLocker locker(&m_mutex);
    if (!m_chm)
        if (const Result again = reopen(); !again)
            return again;
    const LONGINT64 got =
        chm_retrieve_object(m_chm, &unit, reinterpret_cast<unsigned char*>(bytes.data()), 0, LONGINT64(member.length));
    if (got != LONGINT64(member.length)) {
        // A frame that failed to decompress leaves CHMLib's cache and decoder in a state of its own: start
        // afresh for the next read.
        qCWarning(lcViewer) << "CHM member could not be read:" << member.name << "in" << m_path;
        skipOnFailure(reopen(), lcViewer(), "reopening the help file");
        return damaged;
    }
    *data = bytes;
    return Result::success();
}

Result ChmArchive::reopen() const
{
    if (m_chm)
        chm_close(m_chm);
    m_chm = chm_open(QFile::encodeName(m_handlePath).constData());
    return m_chm ? Result::success() : Result::failure(damagedText());
}

void ChmArchive::readSettings()
{
    // #SYSTEM: a version, then records of a 16-bit code, a 16-bit length and the data.
    struct Record
    {
        quint16 code;
        QByteArray data;
    };
    QList<Record> records;
    const QByteArray system = contains(QStringLiteral("/#SYSTEM")) ? read(QStringLiteral("/#SYSTEM")) : QByteArray();
    for (qsizetype at = 4; at + 4 <= system.size();) {
        const quint16 code = le16(system.constData() + at);
        const qsizetype length = le16(system.constData() + at + 2);
        if (at + 4 + length > system.size())
            break;
        records.append({code, system.mid(at + 4, length)});
        at += 4 + length;
    }
    m_lcid = m_layout.lcid;
    for (const Record& record : std::as_const(records)) {
        if (record.code == 4 && record.data.size() >= 4)
            m_lcid = le32(record.data.constData());
    }
    QString contentsFile, indexFile, defaultTopic;
    for (const Record& record : std::as_const(records)) {
        const qsizetype end = record.data.indexOf('\0');
        const QString text = decode(end < 0 ? record.data : record.data.left(end), m_lcid).trimmed();
        switch (record.code) {
        case 0:
            contentsFile = text;
            break;
        case 1:
            indexFile = text;
            break;
        case 2:
            defaultTopic = text;
            break;
        case 3:
            m_title = text;
            break;
        default:
            break;
        }
    }
    const QString archive = QFileInfo(m_path).fileName();
    auto memberOf = [&](const QString& named, const QString& first) {
        const QString member = named.isEmpty() ? QString() : resolveIn(QStringLiteral("/"), named, archive);
        return !member.isEmpty() && contains(member) ? member : first;
    };
    m_contents = readSitemap(memberOf(contentsFile, m_firstContentsFile));
    m_index = readSitemap(memberOf(indexFile, m_firstIndexFile));

    m_defaultTopic = defaultTopic.isEmpty() ? QString() : resolveIn(QStringLiteral("/"), defaultTopic, archive);
    if (m_defaultTopic.isEmpty() || !contains(m_defaultTopic)) {
        m_defaultTopic.clear();
        for (const Entry& entry : std::as_const(m_contents)) {
            if (!entry.local.isEmpty() && contains(entry.local)) {
                m_defaultTopic = entry.local;
                break;
            }
        }
    }
    if (m_defaultTopic.isEmpty()) {
        static const QRegularExpression page(QStringLiteral(R"(^/[^#$].*\.html?$)"),
                                             QRegularExpression::CaseInsensitiveOption);
        for (const QString& name : std::as_const(m_order)) {
            if (page.match(name).hasMatch()) {
                m_defaultTopic = name;
                break;
            }
        }
    }
}

QList<ChmArchive::Entry> ChmArchive::readSitemap(const QString& member) const
{
    const Member* found = member.isEmpty() ? nullptr : find(member);
    if (!found)
        return {};
    if (found->length > quint64(MaxSitemapSize)) {
        qCWarning(lcViewer) << "sitemap too large, passed over:" << found->name << found->length;
        return {};
    }
    Result result;
    const QByteArray html = read(found->name, &result);
    if (!result) {
        skipOnFailure(result, lcViewer(), "reading the help file's contents or index");
        return {};
    }
    return parseSitemapIn(html, m_lcid, found->name, QFileInfo(m_path).fileName());
}

QString ChmArchive::resolve(const QString& from, const QString& link)
{
    return resolveIn(from, link, {});
}

QString ChmArchive::resolveIn(const QString& from, const QString& link, const QString& archive)
{
    QString target = link.trimmed();
    target.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (target.isEmpty())
        return {};
    static const QRegularExpression helpScheme(QStringLiteral("^(?:ms-its|its|mk:@msitstore):"),
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.\\-]*:"));
    const QRegularExpressionMatch help = helpScheme.match(target);
    const qsizetype separator = target.indexOf(QLatin1String("::"));
    if (help.hasMatch() || (separator >= 0 && !scheme.match(target).hasMatch())) {
        // "ms-its:name.chm::/page.htm", "mk:@MSITStore:C:\dir\name.chm::/page.htm", "name.chm::/page.htm".
        if (separator < 0)
            return {};
        const qsizetype fileStart = help.hasMatch() ? help.capturedLength() : 0;
        const QString file = QUrl::fromPercentEncoding(target.mid(fileStart, separator - fileStart).toUtf8())
                                 .section(QLatin1Char('/'), -1);
        const bool here = archive.isEmpty() ? help.hasMatch() : file.compare(archive, Qt::CaseInsensitive) == 0;
        if (!here)
            return {};
        target = target.mid(separator + 2);
        if (!target.startsWith(QLatin1Char('/')))
            target.prepend(QLatin1Char('/'));
    } else if (scheme.match(target).hasMatch() || target.startsWith(QLatin1String("//"))) {
        return {}; // the web, mail, a script, a drive letter
    }

    const qsizetype hash = target.indexOf(QLatin1Char('#'));
    const QString fragment = hash < 0 ? QString() : QUrl::fromPercentEncoding(target.mid(hash + 1).toUtf8());
    QString path = hash < 0 ? target : target.left(hash);
    if (const qsizetype query = path.indexOf(QLatin1Char('?')); query >= 0)
        path.truncate(query);
    path = QUrl::fromPercentEncoding(path.toUtf8());
    QString page = from.section(QLatin1Char('#'), 0, 0);
    if (!page.startsWith(QLatin1Char('/')))
        page.prepend(QLatin1Char('/'));
    if (path.isEmpty())
        path = page;
    else if (!path.startsWith(QLatin1Char('/')))
        path = page.left(page.lastIndexOf(QLatin1Char('/')) + 1) + path;

    QStringList parts;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (parts.isEmpty())
                return {}; // above the root
            parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    if (parts.isEmpty())
        return {};
    QString resolved = QLatin1Char('/') + parts.join(QLatin1Char('/'));
    if (!fragment.isEmpty())
        resolved += QLatin1Char('#') + fragment;
    return resolved;
}

QList<ChmArchive::Entry> ChmArchive::parseSitemap(const QByteArray& html, quint32 lcid, const QString& sitemap)
{
    return parseSitemapIn(html, lcid, sitemap, {});
}

QList<ChmArchive::Entry> ChmArchive::parseSitemapIn(const QByteArray& html, quint32 lcid, const QString& sitemap,
                                                    const QString& archive)
{
    QList<Entry> entries;
    if (html.size() > MaxSitemapSize) {
        qCWarning(lcViewer) << "sitemap too large, passed over:" << sitemap << html.size();
        return entries;
    }
    const QString text = decode(html, lcid, charsetOf(html));
    const QString from = sitemap.isEmpty() ? QStringLiteral("/") : sitemap;
    int depth = 0; // open lists; the top list's entries are at level 0
    bool inObject = false;
    QList<QPair<QString, QString>> params;
    Tag tag;

    auto finishObject = [&] {
        QString keyword;
        bool named = false;
        QString topic;
        QList<Entry> found;
        int locals = 0;
        for (const auto& [name, value] : std::as_const(params)) {
            if (name == QLatin1String("name")) {
                if (!named)
                    keyword = value;
                else
                    topic = value;
                named = true;
            } else if (name == QLatin1String("local") && !value.trimmed().isEmpty()) {
                ++locals;
                const QString local = resolveIn(from, value, archive);
                if (!local.isEmpty())
                    found.append({named ? keyword : value.trimmed(), local, 0, topic});
                topic.clear();
            }
        }
        if (!named && found.isEmpty())
            return;
        if (found.isEmpty())
            found.append({keyword, QString(), 0, QString()}); // a heading, or what leads outside the file
        if (locals < 2)
            found.first().topic.clear();
        const int before = entries.isEmpty() ? -1 : entries.last().level;
        const int level = qMin(qMax(0, depth - 1), before + 1);
        for (Entry& entry : found) {
            if (entries.size() >= MaxEntries)
                return;
            entry.level = level;
            entries.append(entry);
        }
    };

    for (qsizetype at = text.indexOf(QLatin1Char('<')); at >= 0 && entries.size() < MaxEntries;) {
        const qsizetype after = readTag(text, at, &tag);
        if (after < 0)
            break;
        if (tag.name == QLatin1String("ul")) {
            ++depth;
        } else if (tag.name == QLatin1String("/ul")) {
            depth = qMax(0, depth - 1);
        } else if (tag.name == QLatin1String("object")) {
            inObject = tag.attributes.value(QStringLiteral("type"))
                           .trimmed()
                           .compare(QLatin1String("text/sitemap"), Qt::CaseInsensitive) == 0;
            params.clear();
        } else if (tag.name == QLatin1String("param") && inObject) {
            params.append({tag.attributes.value(QStringLiteral("name")).trimmed().toLower(),
                           tag.attributes.value(QStringLiteral("value"))});
        } else if (tag.name == QLatin1String("/object") && inObject) {
            finishObject();
            inObject = false;
        }
        at = text.indexOf(QLatin1Char('<'), after);
    }
    return entries;
}

QString ChmArchive::decode(const QByteArray& bytes, quint32 lcid, const QByteArray& charset)
{
    // Stateless: bytes cut inside a character are an error here, not the start of more to come.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    if (!charset.isEmpty()) {
        QStringDecoder named(charset.constData());
        if (named.isValid())
            return named.decode(bytes);
    }
    QStringDecoder local(codePageOf(lcid));
    if (local.isValid())
        return local.decode(bytes);
    QStringDecoder japanese("Shift_JIS");
    return japanese.decode(bytes);
}
