#include "platform/files.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvano::platform {

namespace {

QString ErrorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// The umask, read once: the call that reads it also sets it, so it is read where no other thread can
// create a file in between (the first use, guarded), and put back at once.
mode_t ProcessUmask()
{
    static std::once_flag once;
    static mode_t mask = 022;
    std::call_once(once, [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("Umask:")) {
                    bool ok = false;
                    const uint value = line.mid(6).trimmed().toUInt(&ok, 8);
                    if (ok) {
                        mask = mode_t(value);
                        return;
                    }
                }
            }
        }
        mask = ::umask(022);
        ::umask(mask);
    });
    return mask;
}

// A time for futimens/utimensat; UTIME_OMIT for an invalid one, which is left as it is.
timespec TimeStamp(const QDateTime& time)
{
    timespec ts{};
    if (!time.isValid()) {
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    const qint64 ms = time.toMSecsSinceEpoch();
    ts.tv_sec = time_t(ms / 1000);
    ts.tv_nsec = long(ms % 1000) * 1000000L;
    if (ts.tv_nsec < 0) { // before 1970: the seconds round down
        ts.tv_sec -= 1;
        ts.tv_nsec += 1000000000L;
    }
    return ts;
}

} // namespace

FileIdentity IdentifyFile(const QString& path)
{
    FileIdentity id;
    struct stat st
    {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return id;
    id.m_bValid = true;
    id.m_nDevice = quint64(st.st_dev);
    id.m_nFile = quint64(st.st_ino);
    id.m_nSize = qint64(st.st_size);
    id.m_nModifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return id;
}

bool RenameNoReplace(const QString& from, const QString& to, QString* error)
{
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return true;
    int code = errno;
    if (code == EINVAL || code == ENOSYS) {
        // A file system without the flag: a hard link fails when the name exists, then the old name goes.
        if (::link(src.constData(), dst.constData()) == 0) {
            ::unlink(src.constData());
            return true;
        }
        code = errno;
    }
    if (error)
        *error = ErrorText(code);
    return false;
}

bool RenameReplace(const QString& from, const QString& to, QString* error)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    if (error)
        *error = ErrorText(errno);
    return false;
}

bool MakeDurable(const QStringList& files)
{
    // One syncfs per volume flushes every file and folder entry on it, which for many small pictures
    // costs far less than one fsync each.
    QSet<quint64> flushed;
    QSet<QString> folders;
    bool ok = true;
    for (const QString& file : files) {
        const QString folder = QFileInfo(file).absolutePath();
        if (folders.contains(folder))
            continue;
        folders.insert(folder);
        const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            ok = false;
            continue;
        }
        struct stat st
        {};
        if (::fstat(fd, &st) == 0 && !flushed.contains(quint64(st.st_dev))) {
            if (::syncfs(fd) == 0)
                flushed.insert(quint64(st.st_dev));
            else
                ok = false;
        }
        ::close(fd);
    }
    return ok;
}

bool SetPlainPermissions(const QString& path)
{
    return ::chmod(QFile::encodeName(path).constData(), 0666 & ~ProcessUmask()) == 0;
}

bool OpenForWriting(QFile& file, const QString& path, bool* link)
{
    *link = false;
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        *link = errno == ELOOP;
        return false;
    }
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

bool SetFileTimes(QFile& file, const QDateTime& created, const QDateTime& accessed, const QDateTime& modified)
{
    (void)created; // no creation time to set here
    if (!accessed.isValid() && !modified.isValid())
        return true;
    const timespec times[2] = {TimeStamp(accessed), TimeStamp(modified)};
    return ::futimens(file.handle(), times) == 0;
}

bool SetModificationTime(const QString& path, const QDateTime& modified)
{
    if (!modified.isValid())
        return false;
    const timespec times[2] = {TimeStamp(QDateTime()), TimeStamp(modified)};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool AnythingAt(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

qint64 CurrentProcessId()
{
    static const qint64 pid = qint64(::getpid());
    return pid;
}

bool IsProcessRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

} // namespace zelvano::platform
