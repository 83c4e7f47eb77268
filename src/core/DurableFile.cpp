#include "core/DurableFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

Result systemFailure(const QString& what)
{
    const bool full = errno == ENOSPC || errno == EDQUOT;
    return Result::failure(what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)),
                           full ? Result::Cause::DiskFull : Result::Cause::Other);
}

DurableFile::Observer& observer()
{
    static DurableFile::Observer o;
    return o;
}

} // namespace

void DurableFile::setObserver(Observer o)
{
    observer() = std::move(o);
}

void DurableFile::observe(const QString& step)
{
    if (observer())
        observer()(step);
}

Result DurableFile::sync(int fd, const QString& what)
{
    if (::fsync(fd) != 0)
        return systemFailure(QStringLiteral("sync ") + what);
    observe(QStringLiteral("sync ") + what);
    return Result::success();
}

void DurableFile::remove(const QString& path)
{
    if (::unlink(QFile::encodeName(path).constData()) == 0)
        observe(QStringLiteral("remove ") + path);
}

Result DurableFile::sync(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return systemFailure(QStringLiteral("open ") + path);
    const Result result = sync(fd, path);
    ::close(fd);
    return result;
}

Result DurableFile::rename(const QString& part, const QString& target)
{
    if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0)
        return systemFailure(QStringLiteral("replace ") + target);
    observe(QStringLiteral("rename ") + part + QLatin1Char(' ') + target);
    // Until the folder is synced a power cut can bring the old name back; the old file is
    // whole, so that is no loss, but a caller told "done" must find the new one.
    return sync(QFileInfo(target).absolutePath());
}

QString DurableFile::partName(const QString& target)
{
    const QFileInfo info(target);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".part-") +
           QString::number(QRandomGenerator::global()->generate(), 36);
}

DurableFile::Writer::Writer(const QString& target) : m_target(target), m_file(partName(target)) {}

DurableFile::Writer::~Writer()
{
    if (!m_committed && !m_file.fileName().isEmpty()) {
        m_file.close();
        QFile::remove(m_file.fileName());
    }
}

Result DurableFile::Writer::open()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return Result::failure(
            QStringLiteral("create ") + m_file.fileName() + QStringLiteral(": ") + m_file.errorString(),
            m_file.error() == QFileDevice::ResourceError ? Result::Cause::DiskFull : Result::Cause::Other);
    return Result::success();
}

Result DurableFile::Writer::commit()
{
    if (!m_file.flush() || m_file.error() != QFileDevice::NoError)
        return Result::failure(
            QStringLiteral("write ") + m_file.fileName() + QStringLiteral(": ") + m_file.errorString(),
            m_file.error() == QFileDevice::ResourceError ? Result::Cause::DiskFull : Result::Cause::Other);
    if (Result synced = sync(m_file.handle(), m_file.fileName()); !synced)
        return synced;
    m_file.close();
    if (Result renamed = rename(m_file.fileName(), m_target); !renamed)
        return renamed;
    m_committed = true;
    return Result::success();
}

Result DurableFile::write(const QString& target, const QByteArray& bytes)
{
    Writer writer(target);
    if (Result opened = writer.open(); !opened)
        return opened;
    if (writer.file().write(bytes) != bytes.size())
        return Result::failure(QStringLiteral("write ") + target + QStringLiteral(": ") + writer.file().errorString(),
                               writer.file().error() == QFileDevice::ResourceError ? Result::Cause::DiskFull
                                                                                   : Result::Cause::Other);
    return writer.commit();
}
