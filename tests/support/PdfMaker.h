#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Writes PDF files for the tests and benchmarks with cairo: pages of text lines in a Japanese
// font, and an outline (the document's bookmarks) leading to given pages.
namespace PdfMaker {

struct OutlineEntry
{
    QString title;
    int page = 0;  // from 0
    int level = 0; // 0 at the top, one more under the entry before it
};

// False with the reason when the file could not be written.
bool write(const QString& path, const QList<QStringList>& pages, const QList<OutlineEntry>& outline = {},
           QString* error = nullptr);

// A document whose owner locked it with a password that the reader does not know.
bool writeLocked(const QString& path);

} // namespace PdfMaker
