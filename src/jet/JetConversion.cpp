#include "jet/JetConversion.h"

#include <QFile>

#include <array>
#include <limits>

#include <utility>

namespace {

// Each line is text, a count, text, a count, text: the pieces of text of each kind of line.
using Pieces = std::array<QByteArrayView, 3>;
constexpr Pieces ProgressPieces{"memos ", " of ", ""};
constexpr Pieces DonePieces{"converted: ", " memos, ", " applications"};

// Longer than any line of either kind can be.
constexpr qsizetype LongestLine = 128;

QByteArray compose(const Pieces& pieces, qint64 first, qint64 second)
{
    return pieces[0].toByteArray() + QByteArray::number(first) + pieces[1].toByteArray() + QByteArray::number(second) +
           pieces[2].toByteArray();
}

// A count at the start of rest: ASCII digits that fit, taken off rest.
bool takeCount(QByteArrayView& rest, qint64& count)
{
    qsizetype digits = 0;
    count = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
        const int digit = rest[digits] - '0';
        if (count > (std::numeric_limits<qint64>::max() - digit) / 10)
            return false;
        count = count * 10 + digit;
        ++digits;
    }
    rest = rest.sliced(digits);
    return digits > 0;
}

bool takeText(QByteArrayView& rest, QByteArrayView text)
{
    if (!rest.startsWith(text))
        return false;
    rest = rest.sliced(text.size());
    return true;
}

bool parse(QByteArrayView line, const Pieces& pieces, qint64& first, qint64& second)
{
    return takeText(line, pieces[0]) && takeCount(line, first) && takeText(line, pieces[1]) &&
           takeCount(line, second) && takeText(line, pieces[2]) && line.isEmpty();
}

} // namespace

QByteArray JetConversion::progressLine(qint64 done, qint64 total)
{
    return compose(ProgressPieces, done, total);
}

QByteArray JetConversion::doneLine(qint64 memos, qint64 applications)
{
    return compose(DonePieces, memos, applications);
}

std::optional<JetConversion::Message> JetConversion::parseLine(QByteArrayView line)
{
    if (line.size() > LongestLine)
        return std::nullopt;
    qint64 first = 0;
    qint64 second = 0;
    if (parse(line, ProgressPieces, first, second))
        return Progress{first, second};
    if (parse(line, DonePieces, first, second))
        return Done{first, second};
    return std::nullopt;
}

QString JetConversion::key(Outcome outcome)
{
    static const std::pair<Outcome, const char*> keys[] = {
        {Outcome::Converted, "converted"},   {Outcome::Usage, "usage"},
        {Outcome::Damaged, "damaged"},       {Outcome::NoMemoTable, "no memo table"},
        {Outcome::NoSpace, "no space"},      {Outcome::TargetExists, "target exists"},
        {Outcome::Unreadable, "unreadable"}, {Outcome::CannotWrite, "cannot write"},
        {Outcome::TimedOut, "timed out"},    {Outcome::OutOfMemory, "out of memory"}};
    for (const auto& [known, key] : keys) {
        if (known == outcome)
            return QString::fromLatin1(key);
    }
    return QStringLiteral("unknown");
}
