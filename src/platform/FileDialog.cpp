#include "platform/FileDialog.h"

#include "widgets/Form.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QRegularExpression>
#include <QSortFilterProxyModel>

QList<FileDialog::FilterEntry> FileDialog::parseFilter(const QString& filter)
{
    QList<FilterEntry> entries;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty())
            continue;
        entries.append({parts[i], parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)});
    }
    return entries;
}

bool FileDialog::matches(const QString& pattern, const QString& fileName, bool executable)
{
    const QString p = pattern.trimmed();
    if (p == QLatin1String("*.*") || p == QLatin1String("*"))
        return true;
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(p),
                                QRegularExpression::CaseInsensitiveOption);
    if (re.match(fileName).hasMatch())
        return true;
    return executable && p.compare(QLatin1String("*.EXE"), Qt::CaseInsensitive) == 0 &&
           !fileName.contains(QLatin1Char('.'));
}

namespace {

// Applies the pipe filter with the original matching rules; Qt's own name filters
// are case sensitive on Linux and read "*.*" as "names with a dot".
class PipeFilterProxy final : public QSortFilterProxyModel
{
public:
    void setPatterns(const QStringList& patterns)
    {
        m_patterns = patterns;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        auto* fs = qobject_cast<QFileSystemModel*>(sourceModel());
        if (!fs)
            return true;
        const QModelIndex index = fs->index(row, 0, parent);
        const QFileInfo info = fs->fileInfo(index);
        if (info.isDir())
            return true;
        for (const QString& p : m_patterns) {
            if (FileDialog::matches(p, info.fileName(), info.isExecutable()))
                return true;
        }
        return m_patterns.isEmpty();
    }

private:
    QStringList m_patterns;
};

// Over the window that asked, even when the desktop has not told us which is active.
QWidget* dialogParent()
{
    QWidget* parent = QApplication::activeWindow();
    return parent ? parent : Form::lastActive();
}

// Picks the chosen file from a dialog that has been set up; nothing when the user cancelled.
std::optional<QString> choose(QFileDialog& dialog, const QString& initialName)
{
    if (!initialName.isEmpty())
        dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

class QtFileDialog final : public FileDialog
{
    // Qt's own dialog everywhere, so that the filters and the matching behave alike on every desktop.
    static void prepare(QFileDialog& dialog, QFileDialog::AcceptMode mode)
    {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(mode);
        dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    }

public:
    std::optional<QString> getOpenFileName(const Request& request) override
    {
        const QList<FilterEntry> entries = parseFilter(request.filter);
        QFileDialog dialog(dialogParent(), request.title);
        prepare(dialog, QFileDialog::AcceptOpen);
        // Qt's dialog has no read-only check box, so the HideReadOnly flag is always honoured.
        auto* proxy = new PipeFilterProxy;
        dialog.setProxyModel(proxy);
        QStringList names;
        for (const FilterEntry& e : entries)
            names.append(e.description);
        // The descriptions are shown as written; the matching is done by the proxy.
        dialog.setNameFilters(names.isEmpty() ? QStringList{QStringLiteral("*")} : names);
        dialog.setOption(QFileDialog::HideNameFilterDetails, false);
        auto usePatterns = [&](const QString& description) {
            for (const FilterEntry& e : entries) {
                if (e.description == description) {
                    proxy->setPatterns(e.patterns);
                    break;
                }
            }
            // Qt has just narrowed its own model by the description's pattern; undo that.
            if (auto* fs = qobject_cast<QFileSystemModel*>(proxy->sourceModel())) {
                fs->setNameFilters({});
                fs->setNameFilterDisables(false);
            }
        };
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, usePatterns);
        if (!entries.isEmpty()) {
            dialog.selectNameFilter(entries.first().description);
            usePatterns(entries.first().description);
        }
        return choose(dialog, request.initialName);
    }

    std::optional<QString> getSaveFileName(const Request& request) override
    {
        const QList<FilterEntry> entries = parseFilter(request.filter);
        QFileDialog dialog(dialogParent(), request.title);
        prepare(dialog, QFileDialog::AcceptSave);
        QStringList filters;
        for (const FilterEntry& e : entries)
            filters.append(e.description + QStringLiteral(" (") + e.patterns.join(QLatin1Char(' ')) + QLatin1Char(')'));
        if (!filters.isEmpty())
            dialog.setNameFilters(filters);
        if (!entries.isEmpty() && !entries.first().patterns.isEmpty())
            dialog.setDefaultSuffix(entries.first().patterns.first().section(QLatin1Char('.'), -1));
        return choose(dialog, request.initialName);
    }

    std::optional<QString> getExistingDirectory(const Request& request) override
    {
        QFileDialog dialog(dialogParent(), request.title);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        if (QFileInfo(request.initialName).isDir())
            dialog.setDirectory(request.initialName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
    }
};

} // namespace

FileDialog& FileDialog::real()
{
    static QtFileDialog real;
    return real;
}
