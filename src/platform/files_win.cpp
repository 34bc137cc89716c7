#include "platform/files.h"

#include <QFileInfo>

#include <windows.h>

namespace zelvano::platform {

namespace {

QString LastErrorText()
{
    return QStringLiteral("system error %1").arg(GetLastError());
}

std::wstring Native(const QString& path)
{
    return QString(path).replace(QLatin1Char('/'), QLatin1Char('\\')).toStdWString();
}

} // namespace

FileIdentity IdentifyFile(const QString& path)
{
    FileIdentity id;
    const HANDLE h =
        CreateFileW(Native(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return id;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(h, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        id.m_bValid = true;
        id.m_nDevice = info.dwVolumeSerialNumber;
        id.m_nFile = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        id.m_nSize = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
        id.m_nModifiedNs =
            qint64((quint64(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime) * 100;
    }
    CloseHandle(h);
    return id;
}

bool RenameNoReplace(const QString& from, const QString& to, QString* error)
{
    if (MoveFileExW(Native(from).c_str(), Native(to).c_str(), MOVEFILE_WRITE_THROUGH))
        return true;
    if (error)
        *error = LastErrorText();
    return false;
}

bool RenameReplace(const QString& from, const QString& to, QString* error)
{
    if (MoveFileExW(Native(from).c_str(), Native(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (error)
        *error = LastErrorText();
    return false;
}

bool MakeDurable(const QStringList& files)
{
    bool ok = true;
    for (const QString& file : files) {
        const HANDLE h = CreateFileW(Native(file).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE || !FlushFileBuffers(h))
            ok = false;
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    return ok;
}

bool OpenForWriting(QFile& file, const QString& path, bool* link)
{
    *link = QFileInfo(path).isSymLink();
    if (*link)
        return false;
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

bool SetFileTimes(QFile& file, const QDateTime& created, const QDateTime& accessed, const QDateTime& modified)
{
    bool ok = true;
    if (created.isValid())
        ok = file.setFileTime(created, QFileDevice::FileBirthTime) && ok;
    if (accessed.isValid())
        ok = file.setFileTime(accessed, QFileDevice::FileAccessTime) && ok;
    if (modified.isValid())
        ok = file.setFileTime(modified, QFileDevice::FileModificationTime) && ok;
    return ok;
}

bool SetModificationTime(const QString& path, const QDateTime& modified)
{
    // Setting a time needs write access to the file's attributes; Append opens it without emptying it.
    if (!modified.isValid() || QFileInfo(path).isSymLink())
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly) &&
           file.setFileTime(modified, QFileDevice::FileModificationTime);
}

bool AnythingAt(const QString& path)
{
    return GetFileAttributesW(Native(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SetPlainPermissions(const QString& path)
{
    const DWORD attributes = GetFileAttributesW(Native(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    return SetFileAttributesW(Native(path).c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) != 0;
}

qint64 CurrentProcessId()
{
    return qint64(GetCurrentProcessId());
}

bool IsProcessRunning(qint64 pid)
{
    const HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!h)
        return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

} // namespace zelvano::platform
