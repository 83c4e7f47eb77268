#include "jet/JetReader.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <mdbtools.h>

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr int RowOffsetMask = 0x1fff;
constexpr int MemoHeaderSize = 12;
constexpr quint32 MemoInline = 0x80000000u;
constexpr quint32 MemoSinglePage = 0x40000000u;
constexpr quint32 MemoLengthMask = 0x3fffffffu;

quint32 u32(const unsigned char* p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// Code page 932 as Windows writes it, whatever the file's header says: Japanese Jet 3 files
// carry it under other code pages too, and glibc's plain Shift-JIS would turn "\" into "¥".
class Cp932Decoder
{
public:
    Cp932Decoder() : m_cd(iconv_open("UTF-8", "CP932")) {}
    ~Cp932Decoder()
    {
        if (m_cd != iconv_t(-1))
            iconv_close(m_cd);
    }
    Cp932Decoder(const Cp932Decoder&) = delete;
    Cp932Decoder& operator=(const Cp932Decoder&) = delete;

    bool isValid() const { return m_cd != iconv_t(-1); }

    std::optional<QByteArray> decode(const char* data, qsizetype size)
    {
        QByteArray out(size * 3 + 4, Qt::Uninitialized);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(data);
        size_t inLeft = size_t(size);
        char* outPtr = out.data();
        size_t outLeft = size_t(out.size());
        if (iconv(m_cd, &in, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0)
            return std::nullopt;
        out.truncate(out.size() - qsizetype(outLeft));
        return out;
    }

private:
    iconv_t m_cd;
};

class MdbTable final : public JetReader::Table
{
public:
    MdbTable(MdbHandle* mdb, MdbTableDef* table, bool jet3, Cp932Decoder* cp932)
        : m_mdb(mdb), m_table(table), m_jet3(jet3), m_cp932(cp932)
    {
        for (unsigned i = 0; i < table->num_cols; ++i) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
            const bool integer = col->col_type == MDB_BYTE || col->col_type == MDB_INT || col->col_type == MDB_LONGINT;
            m_columns.append({QString::fromUtf8(col->name), col->col_type, integer});
        }
        m_values.resize(m_columns.size());
        m_fields.resize(qMax<qsizetype>(1, m_columns.size()));
        if (!jet3) {
            // The Jet 4 table definition keeps the last auto-number given out at byte 20 of its
            // first page, whether or not that record still exists.
            if (mdb_read_alt_pg(mdb, table->entry->table_pg) == mdb->fmt->pg_size && mdb->alt_pg_buf[0] == 0x02) {
                const quint32 last = u32(mdb->alt_pg_buf + 20);
                if (last > 0 && last < 0x7fffffffu)
                    m_nextAutoNumber = qint64(last) + 1;
            }
        }
        mdb_rewind_table(table);
    }

    ~MdbTable() override { mdb_free_tabledef(m_table); }

    const QList<JetReader::Column>& columns() const override { return m_columns; }
    qint64 recordCount() const override { return m_table->num_rows; }
    std::optional<qint64> nextAutoNumber() const override { return m_nextAutoNumber; }
    void takeValues(QList<JetReader::Value>& into) override
    {
        into.resize(m_values.size());
        m_values.swap(into);
    }
    JetReader::Failure failure() const override { return m_failure; }
    QString why() const override { return m_why; }

    bool next() override
    {
        if (m_failure != JetReader::Failure::None)
            return false;
        if (!mdb_fetch_row(m_table)) {
            // The library ends a table quietly at a page it cannot read; the count in the
            // table definition tells a complete read from a cut one.
            if (m_fetched < qint64(m_table->num_rows))
                return fail(
                    QStringLiteral("only %1 of %2 records could be read").arg(m_fetched).arg(m_table->num_rows));
            return false;
        }
        ++m_fetched;
        int start = 0;
        size_t length = 0;
        if (mdb_find_row(m_mdb, int(m_table->cur_row) - 1, &start, &length) != 0)
            return fail(QStringLiteral("a record cannot be located"));
        start &= RowOffsetMask;
        const int fieldCount = mdb_crack_row(m_table, start, length, m_fields.data());
        // A record written before a column was added has fewer fields; those read as NULL.
        if (fieldCount < 0)
            return fail(QStringLiteral("a record cannot be split into its fields"));
        for (qsizetype i = 0; i < m_columns.size(); ++i) {
            const MdbField& field = m_fields[i];
            if (field.colnum < 0 || field.colnum >= m_columns.size())
                return fail(QStringLiteral("a field belongs to no column"));
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, field.colnum));
            if (!readField(col, field, m_values[field.colnum]))
                return false;
        }
        return true;
    }

private:
    bool fail(const QString& why, JetReader::Failure failure = JetReader::Failure::Damaged)
    {
        m_failure = failure;
        m_why = why;
        return false;
    }

    const unsigned char* page() const { return m_mdb->pg_buf; }

    // A record of another page (a long value's), read into the library's second page buffer so
    // that the current record's page stays in place.
    bool otherRecord(int pgRow, const char** data, qsizetype* size)
    {
        const unsigned long pageNumber = unsigned(pgRow) >> 8;
        const int row = pgRow & 0xff;
        const int pageSize = int(m_mdb->fmt->pg_size);
        if (pageNumber == 0)
            return false;
        // The long values of records that follow each other mostly share a page: it is read
        // from the file once for all of them.
        if (pageNumber != m_longValuePage) {
            m_longValuePage = 0;
            if (mdb_read_alt_pg(m_mdb, pageNumber) != pageSize)
                return false;
            m_longValueBuffer = QByteArray(reinterpret_cast<const char*>(m_mdb->alt_pg_buf), pageSize);
            m_longValuePage = pageNumber;
        }
        const auto* buf = reinterpret_cast<const unsigned char*>(m_longValueBuffer.constData());
        const int rco = m_mdb->fmt->row_count_offset;
        if (row >= (buf[rco] | buf[rco + 1] << 8))
            return false;
        const int start = (buf[rco + 2 + row * 2] | buf[rco + 3 + row * 2] << 8) & RowOffsetMask;
        const int end = row == 0 ? pageSize : (buf[rco + row * 2] | buf[rco + 1 + row * 2] << 8) & RowOffsetMask;
        if (start >= pageSize || start > end)
            return false;
        *data = reinterpret_cast<const char*>(buf + start);
        *size = end - start;
        return true;
    }

    bool inPage(int start, int size) const { return start >= 0 && size >= 0 && start + size <= m_mdb->fmt->pg_size; }

    bool text(const char* data, qsizetype size, JetReader::Value& value, const char* column)
    {
        bool decoded = true;
        if (m_jet3) {
            std::optional<QByteArray> utf8 = m_cp932->decode(data, size);
            if ((decoded = utf8.has_value()))
                value.bytes = std::move(*utf8);
        } else {
            decoded = JetText::utf8FromJet4(data, size, value.bytes);
        }
        if (!decoded)
            return fail(QStringLiteral("column %1 holds text that cannot be decoded").arg(QString::fromUtf8(column)));
        value.kind = JetReader::Value::Kind::Text;
        return true;
    }

    void setText(JetReader::Value& value, const QString& text)
    {
        value.kind = JetReader::Value::Kind::Text;
        value.bytes = text.toUtf8();
    }

    // A long value (memo or OLE object): inline in the record, on one page of its own, or a
    // chain of pages. The length in its header is the whole of it; a chain that ends early
    // or never ends is damage, never a shorter value.
    bool longValue(const MdbColumn* col, int start, int size, QByteArray& out)
    {
        if (size < MemoHeaderSize)
            return fail(QStringLiteral("column %1 has a broken long value").arg(QString::fromUtf8(col->name)));
        const quint32 header = u32(page() + start);
        const qsizetype length = qsizetype(header & MemoLengthMask);
        if (header & MemoInline) {
            out.resize(0); // keeps the buffer for the next value
            out.append(reinterpret_cast<const char*>(page() + start + MemoHeaderSize), size - MemoHeaderSize);
            return true;
        }
        int pgRow = int(u32(page() + start + 4));
        const char* chunk = nullptr;
        qsizetype chunkSize = 0;
        if (header & MemoSinglePage) {
            if (!otherRecord(pgRow, &chunk, &chunkSize) || chunkSize < length)
                return fail(
                    QStringLiteral("column %1 has a long value that cannot be read").arg(QString::fromUtf8(col->name)));
            out.resize(0);
            out.append(chunk, length);
            return true;
        }
        if (header & ~MemoLengthMask)
            return fail(
                QStringLiteral("column %1 has a long value of an unknown kind").arg(QString::fromUtf8(col->name)));
        out.clear();
        out.reserve(length);
        while (out.size() < length) {
            if (pgRow == 0 || !otherRecord(pgRow, &chunk, &chunkSize) || chunkSize <= 4)
                return fail(
                    QStringLiteral("column %1 has a long value that ends early").arg(QString::fromUtf8(col->name)));
            const qsizetype take = qMin(chunkSize - 4, length - out.size());
            out.append(chunk + 4, take);
            pgRow = int(u32(reinterpret_cast<const unsigned char*>(chunk)));
        }
        return true;
    }

    bool readField(const MdbColumn* col, const MdbField& field, JetReader::Value& value)
    {
        value.bytes.resize(0); // keeps the buffer for the next record
        if (col->col_type == MDB_BOOL) {
            // A yes/no field keeps its value in the null mask.
            // libmdb reports the bit as "not null" when it is set.
            setText(value, JetText::yesNo(!field.is_null));
            return true;
        }
        if (field.is_null) {
            value.kind = JetReader::Value::Kind::Null;
            return true;
        }
        const int start = field.start;
        const int size = field.siz;
        if (!inPage(start, size))
            return fail(QStringLiteral("column %1 lies outside its page").arg(QString::fromUtf8(col->name)));
        const int fixed = mdb_col_fixed_size(const_cast<MdbColumn*>(col));
        if (fixed > 0 && size < fixed && col->col_type != MDB_DATETIME)
            return fail(QStringLiteral("column %1 is too short").arg(QString::fromUtf8(col->name)));
        const unsigned char* p = page() + start;
        switch (col->col_type) {
        case MDB_BYTE:
            setText(value, JetText::integer(p, 1));
            return true;
        case MDB_INT:
            setText(value, JetText::integer(p, 2));
            return true;
        case MDB_LONGINT:
        case MDB_COMPLEX:
            setText(value, JetText::integer(p, 4));
            return true;
        case MDB_MONEY: {
            if (size < 8)
                return fail(QStringLiteral("column %1 is too short").arg(QString::fromUtf8(col->name)));
            const quint64 raw = quint64(u32(p)) | quint64(u32(p + 4)) << 32;
            setText(value, JetText::currency(qint64(raw)));
            return true;
        }
        case MDB_FLOAT: {
            float f;
            std::memcpy(&f, p, 4);
            setText(value, JetText::number(f, true));
            return true;
        }
        case MDB_DOUBLE:
        case MDB_DATETIME: {
            if (size < 8)
                return fail(QStringLiteral("column %1 is too short").arg(QString::fromUtf8(col->name)));
            double d;
            std::memcpy(&d, p, 8);
            setText(value, col->col_type == MDB_DATETIME ? JetText::dateTime(d) : JetText::number(d, false));
            return true;
        }
        case MDB_NUMERIC: {
            if (size < 17)
                return fail(QStringLiteral("column %1 is too short").arg(QString::fromUtf8(col->name)));
            char* s = mdb_numeric_to_string(m_mdb, start, col->col_scale, col->col_prec);
            setText(value, QString::fromUtf8(s));
            g_free(s);
            return true;
        }
        case MDB_REPID: {
            if (size < 16)
                return fail(QStringLiteral("column %1 is too short").arg(QString::fromUtf8(col->name)));
            char* s = mdb_uuid_to_string(m_mdb->pg_buf, start);
            setText(value, QString::fromUtf8(s));
            g_free(s);
            return true;
        }
        case MDB_TEXT:
            return text(reinterpret_cast<const char*>(p), size, value, col->name);
        case MDB_MEMO:
            if (!longValue(col, start, size, m_longValue))
                return false;
            return text(m_longValue.constData(), m_longValue.size(), value, col->name);
        case MDB_OLE: {
            if (!longValue(col, start, size, value.bytes))
                return false;
            value.kind = JetReader::Value::Kind::Blob;
            return true;
        }
        default:
            // Binary and any type this reader does not know: the bytes as stored.
            value.kind = JetReader::Value::Kind::Blob;
            value.bytes = QByteArray(reinterpret_cast<const char*>(p), size);
            return true;
        }
    }

    MdbHandle* m_mdb;
    MdbTableDef* m_table;
    bool m_jet3;
    Cp932Decoder* m_cp932;
    QList<JetReader::Column> m_columns;
    QList<JetReader::Value> m_values;
    std::vector<MdbField> m_fields;
    std::optional<qint64> m_nextAutoNumber;
    unsigned long m_longValuePage = 0;
    QByteArray m_longValueBuffer;
    QByteArray m_longValue;
    qint64 m_fetched = 0;
    JetReader::Failure m_failure = JetReader::Failure::None;
    QString m_why;
};

class MdbReader final : public JetReader
{
public:
    explicit MdbReader(MdbHandle* mdb) : m_mdb(mdb), m_jet3(mdb->f->jet_version == MDB_VER_JET3)
    {
        // The library's own decoder reads Jet 4 text as UCS-2, which turns every character
        // outside the BMP into "??", and Jet 3 text by the header's code page. Names of tables
        // and columns go through it, so it is replaced before the catalogue is read.
        iconv_t decoder = iconv_open("UTF-8", m_jet3 ? "CP932" : "UTF-16LE");
        if (decoder != iconv_t(-1)) {
            if (m_mdb->iconv_in != iconv_t(-1))
                iconv_close(m_mdb->iconv_in);
            m_mdb->iconv_in = decoder;
        }
        // Numbers and dates are formatted here, never by the library's locale-dependent forms.
        mdb_set_bind_size(m_mdb, 1 << 20);
    }

    ~MdbReader() override { mdb_close(m_mdb); }

    bool isJet3() const override { return m_jet3; }

    bool readCatalogue()
    {
        if (!mdb_read_catalog(m_mdb, MDB_TABLE))
            return false;
        for (unsigned i = 0; i < m_mdb->num_catalog; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(m_mdb->catalog, i));
            if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry))
                m_tables.append({QString::fromUtf8(entry->object_name), entry});
        }
        return true;
    }

    QStringList tableNames() const override
    {
        QStringList names;
        for (const auto& t : m_tables)
            names.append(t.name);
        return names;
    }

    std::unique_ptr<Table> table(const QString& name, QString* why) override
    {
        if (!m_cp932.isValid()) {
            if (why)
                *why = QStringLiteral("no decoder for code page 932");
            return nullptr;
        }
        for (const auto& t : m_tables) {
            if (t.name.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            MdbTableDef* def = mdb_read_table(t.entry);
            if (!def) {
                if (why)
                    *why = QStringLiteral("the definition of table %1 cannot be read").arg(name);
                return nullptr;
            }
            if (!mdb_read_columns(def) || def->num_cols == 0 || def->num_cols > MDB_MAX_COLS) {
                mdb_free_tabledef(def);
                if (why)
                    *why = QStringLiteral("the columns of table %1 cannot be read").arg(name);
                return nullptr;
            }
            return std::make_unique<MdbTable>(m_mdb, def, m_jet3, &m_cp932);
        }
        if (why)
            *why = QStringLiteral("no table %1").arg(name);
        return nullptr;
    }

private:
    struct Entry
    {
        QString name;
        MdbCatalogEntry* entry;
    };
    MdbHandle* m_mdb;
    bool m_jet3;
    Cp932Decoder m_cp932;
    QList<Entry> m_tables;
};

} // namespace

std::unique_ptr<JetReader> JetReader::open(const QString& path, Failure* failure, QString* why)
{
    auto fail = [&](Failure f, const QString& reason) {
        if (failure)
            *failure = f;
        if (why)
            *why = reason;
        return std::unique_ptr<JetReader>();
    };
    {
        QFile probe(path);
        if (!probe.open(QIODevice::ReadOnly))
            return fail(Failure::Unreadable, probe.errorString());
        char byte;
        if (probe.size() > 0 && probe.read(&byte, 1) != 1)
            return fail(Failure::Unreadable, probe.errorString());
    }
    MdbHandle* mdb = mdb_open(QFile::encodeName(QFileInfo(path).absoluteFilePath()).constData(), MDB_NOFLAGS);
    if (!mdb)
        return fail(Failure::Damaged, QStringLiteral("not a Jet database"));
    auto reader = std::make_unique<MdbReader>(mdb);
    if (!reader->readCatalogue())
        return fail(Failure::Damaged, QStringLiteral("the catalogue cannot be read"));
    if (failure)
        *failure = Failure::None;
    return reader;
}

QString JetText::dateTime(double value)
{
    // Jet's range of dates: the years 100 to 9999.
    if (!std::isfinite(value) || value < -657434.0 || value >= 2958466.0)
        return number(value, false);
    double day = std::trunc(value);
    qint64 seconds = std::llround(std::fabs(value - day) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        day += 1;
    }
    const QDate date = QDate(1899, 12, 30).addDays(qint64(day));
    QString text = date.toString(QStringLiteral("yyyy/MM/dd"));
    if (seconds)
        text += QLatin1Char(' ') + QTime(0, 0).addSecs(int(seconds)).toString(QStringLiteral("HH:mm:ss"));
    return text;
}

QString JetText::integer(const unsigned char* stored, int bytes)
{
    if (bytes == 1)
        return QString::number(stored[0]);
    if (bytes == 2)
        return QString::number(qint16(quint16(stored[0] | stored[1] << 8)));
    return QString::number(qint32(u32(stored)));
}

QString JetText::yesNo(bool bitSet)
{
    return bitSet ? QStringLiteral("True") : QStringLiteral("False");
}

QString JetText::currency(qint64 tenThousandths)
{
    const bool negative = tenThousandths < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(tenThousandths) : quint64(tenThousandths);
    QString text = QString::number(magnitude / 10000);
    quint64 fraction = magnitude % 10000;
    if (fraction) {
        QString digits = QStringLiteral("%1").arg(fraction, 4, 10, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        text += QLatin1Char('.') + digits;
    }
    return negative ? QLatin1Char('-') + text : text;
}

QString JetText::number(double value, bool singlePrecision)
{
    char buffer[64];
    const std::to_chars_result r = singlePrecision
                                       ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value))
                                       : std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, r.ptr - buffer);
}

bool JetText::utf8FromJet4(const char* data, qsizetype size, QByteArray& out)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    // Three bytes of UTF-8 at most for each byte stored (a compressed one-byte character).
    out.resize(size * 3);
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    char16_t high = 0; // the first half of a surrogate pair, waiting for its second
    auto put = [&](char16_t u) {
        if (high) {
            if (!QChar::isLowSurrogate(u))
                return false;
            const char32_t c = QChar::surrogateToUcs4(high, u);
            high = 0;
            *o++ = static_cast<unsigned char>(0xf0 | (c >> 18));
            *o++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3f));
            *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3f));
            *o++ = static_cast<unsigned char>(0x80 | (c & 0x3f));
        } else if (QChar::isHighSurrogate(u)) {
            high = u;
        } else if (QChar::isLowSurrogate(u)) {
            return false;
        } else if (u < 0x80) {
            *o++ = static_cast<unsigned char>(u);
        } else if (u < 0x800) {
            *o++ = static_cast<unsigned char>(0xc0 | (u >> 6));
            *o++ = static_cast<unsigned char>(0x80 | (u & 0x3f));
        } else {
            *o++ = static_cast<unsigned char>(0xe0 | (u >> 12));
            *o++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3f));
            *o++ = static_cast<unsigned char>(0x80 | (u & 0x3f));
        }
        return true;
    };
    if (size >= 2 && bytes[0] == 0xff && bytes[1] == 0xfe) {
        bool compressed = true;
        qsizetype i = 2;
        while (i < size) {
            if (bytes[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                if (!put(char16_t(bytes[i])))
                    return false;
                ++i;
            } else if (i + 1 < size) {
                if (!put(char16_t(bytes[i] | bytes[i + 1] << 8)))
                    return false;
                i += 2;
            } else {
                return false;
            }
        }
    } else {
        if (size % 2)
            return false;
        for (qsizetype i = 0; i < size; i += 2) {
            if (!put(char16_t(bytes[i] | bytes[i + 1] << 8)))
                return false;
        }
    }
    // A lone half of a surrogate pair cannot be written as UTF-8; it would be replaced silently.
    if (high)
        return false;
    out.truncate(o - reinterpret_cast<unsigned char*>(out.data()));
    return true;
}

std::optional<QByteArray> JetText::utf8FromJet4(const char* data, qsizetype size)
{
    QByteArray out;
    if (!utf8FromJet4(data, size, out))
        return std::nullopt;
    return out;
}
