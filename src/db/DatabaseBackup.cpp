#include "db/DatabaseBackup.h"

#include "core/DurableFile.h"
#include "core/Log.h"
#include "db/BusyWait.h"
#include "db/Schema.h"
#include "db/SqliteHandle.h"
#include "db/Statement.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>
#include <iterator>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

using DatabaseBackup::Outcome;
using DatabaseBackup::Progress;
using DatabaseBackup::Refusal;

Outcome refuse(Refusal why, const QString& message)
{
    return {Result::failure(message), why};
}

// A failure of a step before, keeping its cause (a full disk).
Outcome refuse(Refusal why, const Result& failure)
{
    return {failure, why};
}

QString systemError(const QString& what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// The system's failure of the step just taken; a full disk is told as such.
Result systemFailure(const QString& what)
{
    const bool full = errno == ENOSPC || errno == EDQUOT;
    return Result::failure(systemError(what), full ? Result::Cause::DiskFull : Result::Cause::Other);
}

// A file descriptor closed when it goes out of scope.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    void forget() { m_fd = -1; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

Refusal refusalFor(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Refusal::Busy;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Refusal::ReadOnly;
    case SQLITE_FULL:
    case SQLITE_IOERR:
        return Refusal::CannotWrite;
    default:
        return Refusal::Damaged;
    }
}

Outcome sqliteFailure(sqlite3* db, int rc, const QString& what)
{
    const bool full = (rc & 0xff) == SQLITE_FULL || sqlite3_system_errno(db) == ENOSPC;
    return refuse(refusalFor(rc), Result::failure(what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db)),
                                                  full ? Result::Cause::DiskFull : Result::Cause::Other));
}

// Runs a statement to its end, giving the engine's code; the first column of its first row
// goes to `first`.
int run(sqlite3* db, const char* sql, QByteArray* first = nullptr)
{
    QVariant value;
    int rc = SQLITE_OK;
    if (Statement::run(db, QString::fromUtf8(sql), first ? &value : nullptr, &rc) && first)
        *first = value.toString().toUtf8();
    return rc;
}

Outcome quickCheck(sqlite3* db)
{
    QByteArray verdict;
    if (const int rc = run(db, "PRAGMA quick_check", &verdict); rc != SQLITE_OK)
        return sqliteFailure(db, rc, QStringLiteral("quick check"));
    if (verdict != "ok")
        return refuse(Refusal::Damaged, QStringLiteral("quick check: ") + QString::fromUtf8(verdict));
    return {};
}

// A page is changed and the change rolled back: the engine has to open its journal for it,
// which is what every save needs. Nothing of the file changes.
Outcome probeWrite(sqlite3* db)
{
    if (const int rc = run(db, "BEGIN IMMEDIATE"); rc != SQLITE_OK)
        return sqliteFailure(db, rc, QStringLiteral("write lock"));
    QByteArray version;
    int rc = run(db, "PRAGMA user_version", &version);
    if (rc == SQLITE_OK)
        rc = run(db, QByteArray("PRAGMA user_version = " + QByteArray::number(version.toLongLong())).constData());
    const Outcome failed = rc == SQLITE_OK ? Outcome{} : sqliteFailure(db, rc, QStringLiteral("write"));
    run(db, "ROLLBACK");
    return failed;
}

// Puts the complete, synced copy at `named` in the place of `target`. Giving back the old
// copy's room takes a while for a large file, and is done with the sync of the folder: until
// then the old copy keeps a hidden name, which the next start clears if this one ends first,
// and a power cut leaves the old copy in place, which is whole.
Result replaceKeepingOld(const QByteArray& named, const QString& target, std::function<void()>* finishLater)
{
    const QByteArray to = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    QByteArray old = folder + "/.IDATA2.mdb.old-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
    if (::link(to.constData(), old.constData()) != 0)
        old.clear();
    if (::rename(named.constData(), to.constData()) != 0) {
        const Result failed = systemFailure(QStringLiteral("replace ") + target);
        ::unlink(named.constData());
        if (!old.isEmpty())
            ::unlink(old.constData());
        return failed;
    }
    DurableFile::observe(QStringLiteral("rename the new copy ") + target);
    std::function<void()> finish = [folder = QFile::decodeName(folder), old] {
        skipOnFailure(DurableFile::sync(folder), lcStartup(), "sync the backup folder");
        if (!old.isEmpty())
            DurableFile::remove(QFile::decodeName(old));
    };
    if (finishLater)
        *finishLater = std::move(finish);
    else
        finish();
    return {};
}

// The copy under construction: a file without a name in the target's folder where the file
// system offers one (a killed start-up then leaves nothing behind), else a hidden file with
// a name of its own. Either way two starts at once never write into the same file.
class PartFile
{
public:
    ~PartFile()
    {
        m_fd.reset();
        if (!m_named.isEmpty())
            ::unlink(m_named.constData());
    }

    Result open(const QString& folder, mode_t mode)
    {
        m_folder = QFile::encodeName(folder);
        m_fd.reset(::open(m_folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        if (m_fd.get() >= 0)
            return {};
        QByteArray name = m_folder + "/.IDATA2.mdb.XXXXXX";
        m_fd.reset(::mkostemp(name.data(), O_CLOEXEC));
        if (m_fd.get() < 0)
            return systemFailure(QStringLiteral("create a file in ") + folder);
        m_named = name;
        ::fchmod(m_fd.get(), mode);
        return {};
    }

    int fd() const { return m_fd.get(); }

    // Gives the copy a hidden name in its folder, which the caller then owns.
    Result name(QByteArray& named)
    {
        if (m_named.isEmpty()) {
            // A name is needed for the rename; it lives only until the rename.
            const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd.get());
            for (int attempt = 0; attempt < 16 && m_named.isEmpty(); ++attempt) {
                const QByteArray name =
                    m_folder + "/.IDATA2.mdb." + QByteArray::number(QRandomGenerator::global()->generate(), 36);
                if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
                    m_named = name;
                else if (errno != EEXIST)
                    return systemFailure(QStringLiteral("name the copy"));
            }
            if (m_named.isEmpty())
                return Result::failure(QStringLiteral("no free name for the copy"));
        }
        named = std::exchange(m_named, QByteArray());
        m_fd.reset();
        return {};
    }

    // Syncs the copy and puts it in the place of `target` in one step.
    Result commit(const QString& target, std::function<void()>* finishLater)
    {
        if (Result synced = DurableFile::sync(m_fd.get(), QStringLiteral("the new copy")); !synced)
            return synced;
        QByteArray named;
        if (Result result = name(named); !result)
            return result;
        return replaceKeepingOld(named, target, finishLater);
    }

private:
    Fd m_fd;
    QByteArray m_folder;
    QByteArray m_named;
};

// One start-up at a time makes the copy in a folder: what another one left there with a
// hidden name is then known to be the remains of a start-up that was killed, and is removed.
class FolderLock
{
public:
    explicit FolderLock(const QString& folder)
        : m_fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd.get() < 0 || ::flock(m_fd.get(), LOCK_EX) != 0)
            return;
        const QStringList left = QDir(folder).entryList({QStringLiteral(".IDATA2.mdb.*")}, QDir::Files | QDir::Hidden);
        for (const QString& name : left)
            QFile::remove(folder + QLatin1Char('/') + name);
    }

    // The lock goes with the copy that is still to be checked, so that no other start takes
    // that copy for the remains of a killed one.
    int release()
    {
        const int fd = m_fd.get();
        m_fd.forget();
        return fd;
    }

private:
    Fd m_fd;
};

// Copies `size` bytes from the start of `in` to `out` by the kernel where it can, by reads
// and writes where it cannot. Writing back to the disk starts behind each piece, so that
// the final sync has little left to do.
Result copyBytes(int in, int out, qint64 size, const Progress& progress, const std::atomic<bool>& stop)
{
    constexpr qint64 Piece = 8 << 20;
    bool kernelCopy = true;
    std::vector<char> buffer;
    qint64 done = 0;
    while (done < size) {
        if (stop.load(std::memory_order_relaxed))
            return Result::failure(QStringLiteral("stopped"));
        const size_t want = size_t(std::min(Piece, size - done));
        ssize_t n = -1;
        if (kernelCopy) {
            off64_t inAt = done;
            off64_t outAt = done;
            n = ::copy_file_range(in, &inAt, out, &outAt, want, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernelCopy = false;
                continue;
            }
        } else {
            buffer.resize(size_t(Piece));
            n = ::pread(in, buffer.data(), want, done);
            for (ssize_t written = 0; n > 0 && written < n;) {
                const ssize_t w = ::pwrite(out, buffer.data() + written, size_t(n - written), done + written);
                if (w < 0 && errno != EINTR)
                    return systemFailure(QStringLiteral("write the copy"));
                written += std::max<ssize_t>(w, 0);
            }
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return systemFailure(QStringLiteral("copy"));
        if (n == 0)
            return Result::failure(QStringLiteral("the file ended early"));
        ::sync_file_range(out, done, n, SYNC_FILE_RANGE_WRITE);
        done += n;
        if (progress)
            progress(done, size);
    }
    return {};
}

// A read transaction with a descriptor of the file under it. Closing any descriptor of the
// file drops every lock this process holds on it, the engine's among them: this one is closed
// only after the transaction has ended, whatever way the copy leaves.
class ReadSnapshot
{
public:
    explicit ReadSnapshot(sqlite3* db) : m_db(db) {}
    ~ReadSnapshot() { end(); }
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

    Outcome begin(const QString& path)
    {
        if (const int rc = run(m_db, "BEGIN"); rc != SQLITE_OK)
            return sqliteFailure(m_db, rc, QStringLiteral("begin"));
        m_reading = true;
        if (const int rc = run(m_db, "SELECT count(*) FROM sqlite_master"); rc != SQLITE_OK)
            return sqliteFailure(m_db, rc, QStringLiteral("read"));
        m_file.reset(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
        if (m_file.get() < 0 || ::fstat(m_file.get(), &m_info) != 0)
            return refuse(Refusal::Missing, systemError(QStringLiteral("open ") + path));
        return {};
    }
    int fd() const { return m_file.get(); }
    const struct stat& info() const { return m_info; }

    void end()
    {
        if (m_reading)
            run(m_db, "COMMIT");
        m_reading = false;
        m_file.reset();
    }

private:
    sqlite3* m_db;
    bool m_reading = false;
    Fd m_file;
    struct stat m_info = {};
};

// Copies a file in rollback-journal mode: while this connection's read transaction lasts no
// writer can commit, so the file on disk is the snapshot. It is copied whole by the kernel
// while the quick check reads it alongside.
Outcome copyUnderReadLock(sqlite3* db, const QString& from, const QString& to, const Progress& progress,
                          std::function<void()>* finishLater, QByteArray* unchecked)
{
    // The check reads through a mapping of the file instead of a system call per page.
    run(db, "PRAGMA mmap_size = 2147418112");
    PartFile part;
    {
        ReadSnapshot snapshot(db);
        if (Outcome begun = snapshot.begin(from); !begun)
            return begun;
        if (Result opened = part.open(QFileInfo(to).absolutePath(), snapshot.info().st_mode & 0777); !opened)
            return refuse(Refusal::CannotWrite, opened);

        std::atomic<bool> stop{false};
        Result copied;
        if (unchecked) {
            copied = copyBytes(snapshot.fd(), part.fd(), snapshot.info().st_size, progress, stop);
            if (!copied)
                return refuse(Refusal::CannotWrite, copied);
            snapshot.end();
            if (Result named = part.name(*unchecked); !named)
                return refuse(Refusal::CannotWrite, named);
            return {};
        }
        std::thread copier(
            [&] { copied = copyBytes(snapshot.fd(), part.fd(), snapshot.info().st_size, progress, stop); });
        const Outcome checked = quickCheck(db);
        if (!checked)
            stop = true;
        copier.join();
        if (!checked)
            return checked;
        if (!copied)
            return refuse(Refusal::CannotWrite, copied);
    }
    if (Result committed = part.commit(to, finishLater); !committed)
        return refuse(Refusal::CannotWrite, committed);
    return {};
}

// Copies a file in write-ahead-log mode, whose committed state lies partly in its log: the
// engine's own backup copies the snapshot of the read transaction that was checked.
Outcome copyThroughEngine(sqlite3* db, const QString& to, const Progress& progress)
{
    // Moving what it can of the log into the file keeps the log short; it waits for no one.
    run(db, "PRAGMA wal_checkpoint(PASSIVE)");
    QByteArray name = QFile::encodeName(QFileInfo(to).absolutePath()) + "/.IDATA2.mdb.XXXXXX";
    {
        Fd made(::mkostemp(name.data(), O_CLOEXEC));
        if (made.get() < 0)
            return refuse(Refusal::CannotWrite, systemFailure(QStringLiteral("create the copy")));
    }
    struct RemovePart
    {
        QByteArray name;
        ~RemovePart()
        {
            if (!name.isEmpty()) {
                ::unlink(name.constData());
                ::unlink((name + "-journal").constData());
            }
        }
    } removePart{name};

    if (const int rc = run(db, "BEGIN"); rc != SQLITE_OK)
        return sqliteFailure(db, rc, QStringLiteral("begin"));
    struct EndRead
    {
        sqlite3* db;
        ~EndRead() { run(db, "COMMIT"); }
    } endRead{db};
    if (const int rc = run(db, "SELECT count(*) FROM sqlite_master"); rc != SQLITE_OK)
        return sqliteFailure(db, rc, QStringLiteral("read"));
    if (Outcome checked = quickCheck(db); !checked)
        return checked;

    sqlite3* raw = nullptr;
    const int openRc = sqlite3_open_v2(name.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    SqliteHandle dest(raw);
    if (openRc != SQLITE_OK)
        return refuse(Refusal::CannotWrite,
                      QStringLiteral("create the copy: ") + QString::fromUtf8(sqlite3_errmsg(raw)));
    sqlite3_backup* backup = sqlite3_backup_init(dest.get(), "main", db, "main");
    if (!backup)
        return refuse(Refusal::CannotWrite, QStringLiteral("backup: ") + QString::fromUtf8(sqlite3_errmsg(dest.get())));
    int rc = SQLITE_OK;
    while ((rc = sqlite3_backup_step(backup, 1024)) == SQLITE_OK) {
        if (progress) {
            const qint64 total = sqlite3_backup_pagecount(backup);
            progress(total - sqlite3_backup_remaining(backup), total);
        }
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        return refuse(refusalFor(rc) == Refusal::Busy ? Refusal::Busy : Refusal::CannotWrite,
                      Result::failure(QStringLiteral("backup: ") + QString::fromUtf8(sqlite3_errstr(rc)),
                                      (rc & 0xff) == SQLITE_FULL ? Result::Cause::DiskFull : Result::Cause::Other));
    // The copy is a single file like any other backup, whatever mode the memo book is in.
    if (const int modeRc = run(dest.get(), "PRAGMA journal_mode = DELETE"); modeRc != SQLITE_OK)
        return refuse(Refusal::CannotWrite,
                      QStringLiteral("journal mode of the copy: ") + QString::fromUtf8(sqlite3_errstr(modeRc)));
    dest.reset();
    if (Result renamed = DurableFile::rename(QFile::decodeName(name), to); !renamed)
        return refuse(Refusal::CannotWrite, renamed);
    removePart.name.clear();
    return {};
}

} // namespace

namespace {

Outcome copyBook(const QString& from, const QString& to, const Progress& progress, std::function<void()>* finishLater,
                 std::shared_ptr<DatabaseBackup::UncheckedCopy>* unchecked)
{
    const QFileInfo source(from);
    if (!source.isFile())
        return refuse(Refusal::Missing, QStringLiteral("no memo book at ") + from);
    const QFileInfo target(to);
    // A read-only copy is refused by its permission bits, whoever runs the program.
    if (target.exists() && (!target.isFile() || !(target.permissions() & QFileDevice::WriteOwner)))
        return refuse(Refusal::CannotWrite, QStringLiteral("cannot replace ") + to);

    FolderLock lock(target.absolutePath());

    // An empty file would read as an empty database, and a file of another program must not
    // be handed to the engine to write in.
    {
        QFile file(from);
        if (!file.open(QIODevice::ReadOnly))
            return refuse(Refusal::ReadOnly, QStringLiteral("cannot read ") + from);
        if (file.read(16) != QByteArray("SQLite format 3", 16))
            return refuse(Refusal::NotMemoBook, from + QStringLiteral(" is not a database"));
    }
    // The permission bits speak even to a user whom the system lets write anyway.
    if (!(source.permissions() & (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther)))
        return refuse(Refusal::ReadOnly, from + QStringLiteral(" is read-only"));

    // The copy is one action: all its waits for another program's lock end at one deadline,
    // which outlives the connection that waits.
    BusyWait::Deadline deadline(BusyWait::TimeoutMs);
    sqlite3* raw = nullptr;
    const int openRc = sqlite3_open_v2(QFile::encodeName(from).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    SqliteHandle db(raw);
    if (openRc != SQLITE_OK)
        return sqliteFailure(raw, openRc, QStringLiteral("open ") + from);
    BusyWait::install(db.get(), deadline);
    if (sqlite3_db_readonly(db.get(), "main") == 1)
        return refuse(Refusal::ReadOnly, from + QStringLiteral(" opens read-only"));

    // Reading the schema rolls back a hot journal left by a crash before anything else.
    QByteArray memoTable;
    if (const int rc = run(db.get(),
                           QByteArray("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = '" +
                                      Schema::MemoTable.toUtf8() + "'")
                               .constData(),
                           &memoTable);
        rc != SQLITE_OK)
        return sqliteFailure(db.get(), rc, QStringLiteral("read the tables"));
    if (memoTable != "1")
        return refuse(Refusal::NotMemoBook, from + QStringLiteral(" has no memo table"));
    if (Outcome writable = probeWrite(db.get()); !writable)
        return writable;

    QByteArray journalMode;
    run(db.get(), "PRAGMA journal_mode", &journalMode);
    QByteArray uncheckedName;
    Outcome copied =
        journalMode.compare("wal", Qt::CaseInsensitive) == 0
            ? copyThroughEngine(db.get(), to, progress)
            : copyUnderReadLock(db.get(), from, to, progress, finishLater, unchecked ? &uncheckedName : nullptr);
    if (copied && progress) {
        const qint64 size = QFileInfo(uncheckedName.isEmpty() ? to : QFile::decodeName(uncheckedName)).size();
        progress(size, size);
    }
    if (copied && !uncheckedName.isEmpty())
        *unchecked =
            std::make_shared<DatabaseBackup::UncheckedCopy>(QFile::decodeName(uncheckedName), to, lock.release());
    return copied;
}

} // namespace

DatabaseBackup::Outcome DatabaseBackup::copyMemoBook(const QString& from, const QString& to, const Progress& progress,
                                                     std::function<void()>* finishLater)
{
    return copyBook(from, to, progress, finishLater, nullptr);
}

DatabaseBackup::Outcome DatabaseBackup::copyForLaterCheck(const QString& from, const QString& to,
                                                          const Progress& progress,
                                                          std::shared_ptr<UncheckedCopy>& unchecked)
{
    unchecked.reset();
    return copyBook(from, to, progress, nullptr, &unchecked);
}

DatabaseBackup::UncheckedCopy::~UncheckedCopy()
{
    if (!m_done)
        ::unlink(QFile::encodeName(m_copy).constData());
    if (m_folderLock >= 0)
        ::close(m_folderLock);
}

DatabaseBackup::Outcome DatabaseBackup::UncheckedCopy::checkAndReplace(const std::atomic<bool>& stop)
{
    m_done = true;
    const QByteArray copy = QFile::encodeName(m_copy);
    Outcome checked;
    {
        sqlite3* raw = nullptr;
        const int openRc = sqlite3_open_v2(copy.constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
        SqliteHandle db(raw);
        if (openRc != SQLITE_OK) {
            checked = sqliteFailure(raw, openRc, QStringLiteral("open the copy"));
        } else {
            // The check reads through a mapping, and gives way when the program ends.
            run(db.get(), "PRAGMA mmap_size = 2147418112");
            sqlite3_progress_handler(
                db.get(), 1000, [](void* s) { return static_cast<const std::atomic<bool>*>(s)->load() ? 1 : 0; },
                const_cast<std::atomic<bool>*>(&stop));
            checked = quickCheck(db.get());
        }
    }
    if (stop)
        checked = refuse(Refusal::CannotWrite, QStringLiteral("stopped before the copy was checked"));
    if (checked) {
        if (Fd fd(::open(copy.constData(), O_RDONLY | O_CLOEXEC)); fd.get() < 0)
            checked = refuse(Refusal::CannotWrite, systemFailure(QStringLiteral("open the copy")));
        else if (Result synced = DurableFile::sync(fd.get(), QStringLiteral("the new copy")); !synced)
            checked = refuse(Refusal::CannotWrite, synced);
    }
    if (!checked) {
        ::unlink(copy.constData());
        return checked;
    }
    if (Result replaced = replaceKeepingOld(copy, m_target, nullptr); !replaced)
        return refuse(Refusal::CannotWrite, replaced);
    return {};
}

namespace {

class RealStartupBackup final : public StartupBackup
{
public:
    DatabaseBackup::Outcome copy(const QString& from, const QString& to, const DatabaseBackup::Progress& progress,
                                 std::shared_ptr<DatabaseBackup::UncheckedCopy>& unchecked) override
    {
        return DatabaseBackup::copyForLaterCheck(from, to, progress, unchecked);
    }
};

} // namespace

StartupBackup& StartupBackup::real()
{
    static RealStartupBackup backup;
    return backup;
}
