#include "platform/StartupFileSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cstdio>
#include <memory>

namespace {

struct SqliteCloser
{
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;

QString lastError(sqlite3* db, const QString& what)
{
    return what + QStringLiteral(": ") + QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
}

Result integrityCheck(sqlite3* db)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &stmt, nullptr) != SQLITE_OK)
        return Result::failure(lastError(db, QStringLiteral("quick check")));
    QString verdict;
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
        verdict = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    rc = sqlite3_finalize(stmt);
    if (rc != SQLITE_OK)
        return Result::failure(lastError(db, QStringLiteral("quick check")));
    if (verdict != QLatin1String("ok"))
        return Result::failure(QStringLiteral("quick check: ") + verdict);
    return Result::success();
}

class QtStartupFileSystem final : public StartupFileSystem
{
public:
    QString dirEntry(const QString& path, int attributes) override
    {
        const QFileInfo info(path);
        if (!info.exists())
            return {};
        if (info.isDir() && !(attributes & Directory))
            return {};
        return info.fileName();
    }

    bool makeDir(const QString& path) override { return QDir().mkdir(path); }

    Result copyDatabase(const QString& from, const QString& to) override
    {
        if (!QFileInfo(from).isFile())
            return Result::failure(QStringLiteral("no database file at ") + from);
        const QFileInfo target(to);
        // A read-only copy is refused by its permission bits, whoever runs the program.
        if (target.exists() && (!target.isFile() || !(target.permissions() & QFileDevice::WriteOwner)))
            return Result::failure(QStringLiteral("cannot replace ") + to);

        // Opened read/write so that a hot journal left by a crash is rolled back first.
        sqlite3* raw = nullptr;
        const int openRc = sqlite3_open_v2(QFile::encodeName(from).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        SqliteHandle source(raw);
        if (openRc != SQLITE_OK)
            return Result::failure(lastError(raw, QStringLiteral("open ") + from));
        sqlite3_busy_timeout(source.get(), 5000);
        if (Result check = integrityCheck(source.get()); !check)
            return check;

        // Written beside the target and renamed over it, so the last good copy survives any failure.
        const QString temp = to + QStringLiteral(".part");
        QFile::remove(temp);
        raw = nullptr;
        const int destRc = sqlite3_open_v2(QFile::encodeName(temp).constData(), &raw,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        SqliteHandle dest(raw);
        if (destRc != SQLITE_OK) {
            dest.reset();
            QFile::remove(temp);
            return Result::failure(lastError(raw, QStringLiteral("create ") + temp));
        }
        sqlite3_backup* backup = sqlite3_backup_init(dest.get(), "main", source.get(), "main");
        if (!backup) {
            const Result failed = Result::failure(lastError(dest.get(), QStringLiteral("backup")));
            dest.reset();
            QFile::remove(temp);
            return failed;
        }
        int rc = sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
        const Result stepResult =
            rc == SQLITE_DONE ? Result::success() : Result::failure(lastError(dest.get(), QStringLiteral("backup")));
        dest.reset();
        if (!stepResult) {
            QFile::remove(temp);
            return stepResult;
        }
        if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(to).constData()) != 0) {
            QFile::remove(temp);
            return Result::failure(QStringLiteral("cannot replace ") + to);
        }
        return Result::success();
    }
};

} // namespace

StartupFileSystem& StartupFileSystem::real()
{
    static QtStartupFileSystem fs;
    return fs;
}
