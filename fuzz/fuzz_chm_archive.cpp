// A compiled help file: any bytes open or are refused, and every member the archive then lists
// reads or fails, without crashing, hanging or reading out of bounds. The first byte says
// whether the bytes are the file itself or one of its sitemaps (contents or keyword index).

#include "viewer/ChmArchive.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if (data[0] & 1) {
        const QList<ChmArchive::Entry> entries = ChmArchive::parseSitemap(bytes, 0x411, QStringLiteral("/sub/toc.hhc"));
        int previous = -1;
        for (const ChmArchive::Entry& entry : entries) {
            // Never more than one level below the entry before.
            if (entry.level < 0 || entry.level > previous + 1)
                std::abort();
            previous = entry.level;
        }
        return 0;
    }
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input.chm"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            std::abort();
    }
    Result opened;
    const std::unique_ptr<ChmArchive> chm = ChmArchive::open(path, &opened);
    if (!chm) {
        if (opened.ok || opened.message.isEmpty())
            std::abort(); // refused without a reason
        return 0;
    }
    for (const QString& member : chm->members()) {
        Result read;
        const QByteArray content = chm->read(member, &read);
        if (!read && !content.isEmpty())
            std::abort();
    }
    (void)chm->contents();
    (void)chm->keywordIndex();
    return 0;
}
