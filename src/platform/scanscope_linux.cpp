#include "platform/scanscope.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>

#include <dirent.h>
#include <sys/stat.h>

namespace zelvano::platform {

// The freedesktop trash of the user's own files.
QString UserTrashFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    const QString trash = data + QStringLiteral("/Trash");
    const QString real = QFileInfo(trash).canonicalFilePath();
    return real.isEmpty() ? trash : real;
}

// A volume's trash is ".Trash" (shared, one folder per user inside) or ".Trash-" and the user's number.
bool IsVolumeTrashName(const QString& name)
{
    if (name == QLatin1String(".Trash"))
        return true;
    if (!name.startsWith(QLatin1String(".Trash-")) || name.size() == 7)
        return false;
    for (qsizetype i = 7; i < name.size(); ++i) {
        if (!name.at(i).isDigit() || name.at(i).unicode() > 0x7F)
            return false;
    }
    return true;
}

namespace {

bool IsValidUtf8(const char* name)
{
    const char* p = name;
    while (*p && static_cast<unsigned char>(*p) < 0x80)
        ++p;
    if (!*p)
        return true; // nearly every name is plain ASCII: no decoder needed
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(QByteArrayView(name));
    return !decoder.hasError();
}

} // namespace

// Qt's listing passes over names it cannot decode, so the folder is read again by its bytes.
QList<UnreadableEntry> ListUnreadableEntries(const QString& folder)
{
    QList<UnreadableEntry> entries;
    const QByteArray native = QFile::encodeName(folder);
    DIR* dir = ::opendir(native.constData());
    if (!dir)
        return entries;
    while (const dirent* entry = ::readdir(dir)) {
        if (IsValidUtf8(entry->d_name))
            continue;
        UnreadableEntry item;
        item.m_strName = QString::fromUtf8(entry->d_name); // undecodable bytes become U+FFFD
        if (entry->d_type == DT_DIR) {
            item.m_bFolder = true;
        } else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st;
            const QByteArray full = native + '/' + QByteArray(entry->d_name);
            item.m_bFolder = ::stat(full.constData(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        entries.append(item);
    }
    ::closedir(dir);
    return entries;
}

} // namespace zelvano::platform
