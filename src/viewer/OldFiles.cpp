#include "viewer/OldFiles.h"

#include "core/Log.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>
#include <optional>

namespace OldFiles {

namespace {

const QString Organization = QStringLiteral("orvalent");
const QString Application = QStringLiteral("orvalent");
const QString RootsArray = QStringLiteral("oldFileRoots");

// Why a Windows path names no file here.
enum class Problem { None, NoRootName, Characters, EmptyName, DeviceName, AboveRoot };

bool isSeparator(QChar c)
{
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

// Characters that no Windows name held: NUL and the other control characters, the wildcards, the
// stream separator and the quote; and halves of a character, which no file name here can hold.
bool hasForbiddenCharacters(QStringView name)
{
    static const QString forbidden = QStringLiteral("<>:\"|?*");
    for (QChar c : name) {
        if (c.unicode() < 0x20 || forbidden.contains(c))
            return true;
    }
    return !name.isValidUtf16();
}

// Windows dropped the dots and spaces that end a name: "readme." and "readme " were "readme".
QString withoutTrailingDots(QStringView name)
{
    qsizetype end = name.size();
    while (end > 0 && (name.at(end - 1) == QLatin1Char('.') || name.at(end - 1) == QLatin1Char(' ')))
        --end;
    return name.left(end).toString();
}

// "CON", "nul.txt", "COM1": these named a device in every folder, never a file.
bool isDeviceName(const QString& name)
{
    static const QRegularExpression device(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9]) *(\\..*)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return device.match(name).hasMatch();
}

struct Parsed
{
    bool windows = false;
    QString key;
    QStringView rest; // what follows the drive or the share
    Problem problem = Problem::None;
};

Parsed parse(QStringView path)
{
    Parsed p;
    auto drive = [&p](QStringView s) {
        if (s.size() < 2 || !isAsciiLetter(s.at(0)) || s.at(1) != QLatin1Char(':'))
            return false;
        p.windows = true;
        p.key = s.at(0).toUpper() + QStringLiteral(":");
        p.rest = s.mid(2);
        return true;
    };
    if (drive(path))
        return p;
    // Two separators and a name; three or more are a Linux path, as POSIX reads them.
    if (path.size() < 3 || !isSeparator(path.at(0)) || !isSeparator(path.at(1)) || isSeparator(path.at(2)))
        return p;
    p.windows = true;
    QStringView s = path.mid(2);
    // "\\?\C:\x" and "\\.\C:\x" are "C:\x"; "\\?\UNC\srv\share" is "\\srv\share".
    if (s.size() >= 2 && (s.at(0) == QLatin1Char('?') || s.at(0) == QLatin1Char('.')) && isSeparator(s.at(1))) {
        s = s.mid(2);
        if (drive(s))
            return p;
        if (s.size() < 4 || s.left(3).compare(QLatin1String("UNC"), Qt::CaseInsensitive) != 0 ||
            !isSeparator(s.at(3))) {
            p.problem = Problem::NoRootName; // a volume or a device, no drive or share
            return p;
        }
        s = s.mid(4);
    }
    qsizetype end = 0;
    while (end < s.size() && !isSeparator(s.at(end)))
        ++end;
    const QStringView server = s.left(end);
    qsizetype begin = end;
    while (begin < s.size() && isSeparator(s.at(begin)))
        ++begin;
    end = begin;
    while (end < s.size() && !isSeparator(s.at(end)))
        ++end;
    const QStringView share = s.mid(begin, end - begin);
    if (server.isEmpty() || share.isEmpty()) {
        p.problem = Problem::NoRootName;
        return p;
    }
    if (hasForbiddenCharacters(server) || hasForbiddenCharacters(share)) {
        p.problem = Problem::Characters;
        return p;
    }
    p.key = QStringLiteral("\\\\") + server.toString().toUpper() + QLatin1Char('\\') + share.toString().toUpper();
    p.rest = s.mid(end);
    return p;
}

// The names below the root, with "." and ".." taken out as Windows took them out: by name.
Problem splitNames(QStringView rest, QStringList* names)
{
    qsizetype i = 0;
    while (i < rest.size()) {
        if (isSeparator(rest.at(i))) {
            ++i;
            continue;
        }
        const qsizetype begin = i;
        while (i < rest.size() && !isSeparator(rest.at(i)))
            ++i;
        const QStringView part = rest.mid(begin, i - begin);
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (names->isEmpty())
                return Problem::AboveRoot;
            names->removeLast();
            continue;
        }
        if (hasForbiddenCharacters(part))
            return Problem::Characters;
        const QString name = withoutTrailingDots(part);
        if (name.isEmpty())
            return Problem::EmptyName;
        if (isDeviceName(name))
            return Problem::DeviceName;
        names->append(name);
    }
    return Problem::None;
}

QString join(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// The part of an 8.3 name that the system made up for a long one: "PROGRA~1" for "Program Files".
struct ShortName
{
    QString stem; // "PROGRA"
    QString extension;
};

std::optional<ShortName> asShortName(const QString& name)
{
    static const QRegularExpression form(QStringLiteral("^([^~.]{1,6})~[1-9][0-9]{0,5}(?:\\.([^.]{1,3}))?$"));
    const QRegularExpressionMatch m = form.match(name);
    if (!m.hasMatch())
        return std::nullopt;
    return ShortName{m.captured(1), m.captured(2)};
}

// Whether the system can have given this long name that short name: its stem starts the long name's
// base without blanks and dots, and the extensions agree in their first three characters.
bool fitsShortName(const QString& longName, const ShortName& shortName)
{
    static const QRegularExpression replaced(QStringLiteral("[+,;=\\[\\]]"));
    QString name = longName;
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString base = dot >= 0 ? name.left(dot) : name;
    QString extension = dot >= 0 ? name.mid(dot + 1) : QString();
    base.remove(QLatin1Char(' ')).remove(QLatin1Char('.')).replace(replaced, QStringLiteral("_"));
    extension.remove(QLatin1Char(' ')).replace(replaced, QStringLiteral("_"));
    return base.startsWith(shortName.stem, Qt::CaseInsensitive) &&
           extension.left(3).compare(shortName.extension, Qt::CaseInsensitive) == 0;
}

// The entry of the folder that a Windows name stands for; empty when there is none. The folder is read
// once, one level deep, and only when the name is not there as written.
QString findEntry(const QString& folder, const QString& name)
{
    if (QFileInfo::exists(join(folder, name)))
        return name;
    const std::optional<ShortName> shortName = asShortName(name);
    QStringList sameName;
    QStringList fitsShort;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QString entry = it.fileName();
        if (withoutTrailingDots(entry).compare(name, Qt::CaseInsensitive) == 0)
            sameName.append(entry);
        else if (shortName && fitsShortName(entry, *shortName))
            fitsShort.append(entry);
    }
    // A link that leads nowhere, or round in a loop, names no file.
    auto exists = [&folder](const QString& entry) { return QFileInfo::exists(join(folder, entry)); };
    std::sort(sameName.begin(), sameName.end());
    const auto first = std::find_if(sameName.cbegin(), sameName.cend(), exists);
    if (first != sameName.cend())
        return *first;
    fitsShort.removeIf([&exists](const QString& entry) { return !exists(entry); });
    // A short name is taken only where it cannot mean another file.
    return fitsShort.size() == 1 ? fitsShort.constFirst() : QString();
}

QString problemText(Problem problem, const QString& key)
{
    switch (problem) {
    case Problem::None:
        break;
    case Problem::NoRootName:
        return QStringLiteral("ドライブも共有フォルダーも示していません。");
    case Problem::Characters:
        return QStringLiteral("ファイルの名前に使えない文字が含まれています。");
    case Problem::EmptyName:
        return QStringLiteral("空の名前が含まれています。");
    case Problem::DeviceName:
        return QStringLiteral("装置の名前が含まれています。");
    case Problem::AboveRoot:
        return QStringLiteral("「..」が%1の外を指しています。").arg(describeKey(key));
    }
    return {};
}

Resolution invalid(const QString& path, const QString& key, Problem problem)
{
    return {Found::Invalid,
            {},
            key,
            QStringLiteral("「%1」はファイルを示していません。%2").arg(path, problemText(problem, key))};
}

QString folderIn(const QList<Root>& roots, const QString& key)
{
    for (const Root& root : roots) {
        if (normalizedKey(root.key) == key && QDir::isAbsolutePath(root.folder))
            return QDir::cleanPath(root.folder);
    }
    return {};
}

Result write(const QList<Root>& list)
{
    QSettings settings(Organization, Application);
    settings.remove(RootsArray);
    settings.beginWriteArray(RootsArray, int(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("key"), list[i].key);
        settings.setValue(QStringLiteral("folder"), list[i].folder);
    }
    settings.endArray();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return Result::failure(QStringLiteral("設定ファイル「%1」に書き込めませんでした。").arg(settings.fileName()));
    return Result::success();
}

} // namespace

bool isWindowsPath(const QString& path)
{
    return parse(path).windows;
}

QString rootKey(const QString& path)
{
    const Parsed p = parse(path);
    return p.problem == Problem::None ? p.key : QString();
}

QString normalizedKey(const QString& key)
{
    const Parsed p = parse(key);
    if (p.problem != Problem::None || p.key.isEmpty())
        return {};
    for (QChar c : p.rest) {
        if (!isSeparator(c))
            return {}; // a path below the root, not the root
    }
    return p.key;
}

QString describeKey(const QString& key)
{
    return key.startsWith(QLatin1Char('\\')) ? QStringLiteral("共有フォルダー ") + key
                                             : QStringLiteral("ドライブ ") + key;
}

Resolution resolve(const QString& path, const QList<Root>& roots)
{
    const Parsed parsed = parse(path);
    if (!parsed.windows)
        return {Found::Local, path, {}, {}};
    if (parsed.problem != Problem::None)
        return invalid(path, parsed.key, parsed.problem);
    QStringList names;
    if (const Problem problem = splitNames(parsed.rest, &names); problem != Problem::None)
        return invalid(path, parsed.key, problem);

    const QString folder = folderIn(roots, parsed.key);
    if (folder.isEmpty()) {
        return {Found::NoRoot,
                {},
                parsed.key,
                QStringLiteral(
                    "「%1」を探す場所が決まっていません。%2の中身をどのフォルダーに置いたかが、まだ選ばれていません。")
                    .arg(path, describeKey(parsed.key))};
    }
    if (!QFileInfo(folder).isDir()) {
        return {Found::Missing,
                {},
                parsed.key,
                QStringLiteral("「%1」が見つかりません。%2の中身を置いたフォルダー「%3」がありません。")
                    .arg(path, describeKey(parsed.key), folder)};
    }
    QString here = folder;
    for (const QString& name : std::as_const(names)) {
        const QString entry = findEntry(here, name);
        if (entry.isEmpty()) {
            return {Found::Missing,
                    {},
                    parsed.key,
                    QStringLiteral("「%1」が見つかりません。「%2」の中に「%3」がありません。").arg(path, here, name)};
        }
        here = join(here, entry);
    }
    return {Found::Resolved, here, parsed.key, {}};
}

Resolution resolve(const QString& path)
{
    // The settings are read only for the paths that need them.
    return isWindowsPath(path) ? resolve(path, roots()) : resolve(path, {});
}

QList<Root> roots()
{
    QSettings settings(Organization, Application);
    QList<Root> list;
    const int count = settings.beginReadArray(RootsArray);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        const QString key = normalizedKey(settings.value(QStringLiteral("key")).toString());
        const QString folder = settings.value(QStringLiteral("folder")).toString();
        // An entry edited by hand into something that names no root or no folder is passed over.
        const bool known = std::any_of(list.cbegin(), list.cend(), [&key](const Root& r) { return r.key == key; });
        if (!key.isEmpty() && QDir::isAbsolutePath(folder) && !known)
            list.append({key, QDir::cleanPath(folder)});
    }
    settings.endArray();
    return list;
}

QString folderFor(const QString& key)
{
    const QString normal = normalizedKey(key);
    return normal.isEmpty() ? QString() : folderIn(roots(), normal);
}

Result storeRoot(const QString& key, const QString& folder)
{
    const QString normal = normalizedKey(key);
    if (normal.isEmpty())
        return Result::failure(QStringLiteral("「%1」はドライブでも共有フォルダーでもありません。").arg(key));
    if (!QDir::isAbsolutePath(folder))
        return Result::failure(QStringLiteral("「%1」はフォルダーの場所を示していません。").arg(folder));
    QList<Root> list = roots();
    const Root root{normal, QDir::cleanPath(folder)};
    const auto at = std::find_if(list.begin(), list.end(), [&normal](const Root& r) { return r.key == normal; });
    if (at != list.end())
        *at = root;
    else
        list.append(root);
    return write(list);
}

Result forgetRoot(const QString& key)
{
    const QString normal = normalizedKey(key);
    QList<Root> list = roots();
    if (normal.isEmpty() || list.removeIf([&normal](const Root& r) { return r.key == normal; }) == 0)
        return Result::success(); // nothing to forget
    return write(list);
}

void setRoot(const QString& key, const QString& folder)
{
    skipOnFailure(storeRoot(key, folder), lcViewer(), "remembering where old files are");
}

void removeRoot(const QString& key)
{
    skipOnFailure(forgetRoot(key), lcViewer(), "forgetting where old files are");
}

} // namespace OldFiles
