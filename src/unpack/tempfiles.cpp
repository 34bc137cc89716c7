#include "unpack/tempfiles.h"

#include "platform/files.h"

#include <QDir>
#include <QFile>

#include <atomic>

namespace {

const QLatin1String kPrefix(".zelvano-");
const QLatin1String kSuffix(".partial");

} // namespace

QString NewTempPath(const QString& folder)
{
    static std::atomic<quint64> counter{0};
    const QString name = kPrefix + QString::number(zelvano::platform::CurrentProcessId()) + QLatin1Char('-') +
                         QString::number(++counter) + kSuffix;
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

bool IsTempName(const QString& name, qint64* pid)
{
    if (!name.startsWith(kPrefix) || !name.endsWith(kSuffix))
        return false;
    const QString middle = name.mid(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    const qsizetype dash = middle.indexOf(QLatin1Char('-'));
    if (dash <= 0)
        return false;
    bool okPid = false;
    bool okCount = false;
    const qint64 value = middle.left(dash).toLongLong(&okPid);
    middle.mid(dash + 1).toULongLong(&okCount);
    if (!okPid || !okCount)
        return false;
    if (pid)
        *pid = value;
    return true;
}

int RemoveStaleTempFiles(const QString& folder)
{
    int removed = 0;
    const QDir dir(folder);
    const QStringList names = dir.entryList({kPrefix + QLatin1Char('*') + kSuffix}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        qint64 pid = 0;
        if (!IsTempName(name, &pid))
            continue;
        if (pid == zelvano::platform::CurrentProcessId() || zelvano::platform::IsProcessRunning(pid))
            continue;
        if (QFile::remove(dir.filePath(name)))
            ++removed;
    }
    return removed;
}
