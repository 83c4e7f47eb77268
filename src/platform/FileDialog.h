#pragma once

#include "core/Service.h"

#include <QString>
#include <QStringList>

#include <optional>

// The common file-open dialog. The filter is written in the pipe form
// "description|pattern|description|pattern"; the first pair is in force when it opens.
class FileDialog : public Service<FileDialog>
{
public:
    enum Flag { HideReadOnly = 4 };

    struct Request
    {
        QString title;
        QString filter;
        QString initialName;
        int flags = 0;
    };

    struct FilterEntry
    {
        QString description;
        QStringList patterns;
    };

    virtual ~FileDialog() = default;
    // The chosen file's full path, or nothing when the user cancelled.
    virtual std::optional<QString> getOpenFileName(const Request& request) = 0;
    // The save dialog: the full path to write, or nothing when the user cancelled. A name
    // typed without an extension gets the first pattern's; replacing a file is confirmed.
    virtual std::optional<QString> getSaveFileName(const Request& request) = 0;
    // The folder dialog: the chosen folder's full path, or nothing when the user cancelled. It opens
    // in initialName when that is a folder; the filter and the flags are not used.
    virtual std::optional<QString> getExistingDirectory(const Request& request) = 0;

    // "a|*.A|b|*.B;*.C|" gives two entries; a trailing "|" adds nothing.
    static QList<FilterEntry> parseFilter(const QString& filter);
    // Whether a file name matches a pattern as the original system matched it:
    // without regard to letter case, "*.*" matching every name, and "*.EXE" also
    // matching an executable file without an extension (Linux programs have none).
    static bool matches(const QString& pattern, const QString& fileName, bool executable);

    // The real one, whatever instance is set.
    static FileDialog& real();
};
