#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// Reads the tables of a Jet 3 or Jet 4 (Access) file, field by field and exactly: text is
// decoded from the bytes stored (Jet 4 as UTF-16, Jet 3 as code page 932), memos are read
// whole however long, and NULL is told from the empty text. Damaged files can crash or
// hang the underlying library, so this runs only in the conversion's own process.
class JetReader
{
public:
    enum class Failure { None, Unreadable, Damaged };

    struct Value
    {
        enum class Kind { Null, Text, Blob };
        Kind kind = Kind::Null;
        QByteArray bytes; // UTF-8 for text
    };

    struct Column
    {
        QString name;
        int type = 0;
        bool isInteger = false; // byte, integer, long integer
    };

    class Table
    {
    public:
        virtual ~Table() = default;
        virtual const QList<Column>& columns() const = 0;
        // The number of records the table definition counts.
        virtual qint64 recordCount() const = 0;
        // The value the engine would give the next auto-numbered record, where the table
        // definition records it (Jet 4).
        virtual std::optional<qint64> nextAutoNumber() const = 0;
        // Moves to the next record; false at the end or on a failure (see failure()).
        virtual bool next() = 0;
        // Hands the current record's values, in column order, over into `into`, whose
        // buffers the next record is read into instead: no copy, and no allocation once the
        // buffers have grown.
        virtual void takeValues(QList<Value>& into) = 0;
        virtual Failure failure() const = 0;
        virtual QString why() const = 0;
    };

    virtual ~JetReader() = default;

    // Opens the file; nullptr with the reason when it cannot be opened as a Jet file.
    static std::unique_ptr<JetReader> open(const QString& path, Failure* failure, QString* why);

    virtual bool isJet3() const = 0;
    virtual QStringList tableNames() const = 0;
    // The table of that name (Jet's names compare without regard to Latin letter case).
    virtual std::unique_ptr<Table> table(const QString& name, QString* why) = 0;
};

// The text of a field of another type than text, as it is written into a text column.
namespace JetText {
// A date/time value (days since 1899-12-30, the fraction the time of day) in the short date
// form "2026/12/07", with the time after it when the value has one.
QString dateTime(double value);
// A currency value, stored in ten-thousandths: the exact decimal, without trailing zeros.
QString currency(qint64 tenThousandths);
// The shortest text that reads back as the same number.
QString number(double value, bool singlePrecision);
// A whole number stored little-endian in 1 byte (a Byte: 0 to 255), 2 or 4 bytes (Integer and
// Long Integer, signed).
QString integer(const unsigned char* stored, int bytes);
// A yes/no field, whose value is its bit of the record's null mask: set is yes.
QString yesNo(bool bitSet);
// Jet 4 text as stored: UTF-16LE, or the compressed form that starts with FF FE and switches
// between one-byte and two-byte characters at each zero byte. Empty optional when the
// bytes are not valid UTF-16 (a broken surrogate pair, an odd length).
std::optional<QByteArray> utf8FromJet4(const char* data, qsizetype size);
// The same into a buffer that is reused from one value to the next; false when not valid.
bool utf8FromJet4(const char* data, qsizetype size, QByteArray& out);
} // namespace JetText
