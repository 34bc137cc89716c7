#include "scan/nottaken.h"

#include "archive/rar.h"
#include "archive/zip.h"

QString InvalidArchiveReason(const CXFileItem& item)
{
    if (!item.m_strReason.isEmpty())
        return item.m_strReason;
    if (GetArchiveType(item.m_strPath) == 0) {
        switch (item.m_nError) {
        case ZIPRES_NOFILE:
            return QStringLiteral("The file cannot be read");
        case ZIPRES_IOERROR:
            return QStringLiteral("Not a ZIP archive (no end of central directory)");
        case ZIPRES_BADZIP:
            return QStringLiteral("The archive is damaged");
        default:
            return QStringLiteral("The archive cannot be opened (%1)").arg(QLatin1String(ZipResultName(item.m_nError)));
        }
    }
    switch (item.m_nError) {
    case RarOpenError:
        return QStringLiteral("The file cannot be read");
    case RarUnknownFormat:
    case RarBadArchive:
        return QStringLiteral("Not a RAR archive, or a damaged one");
    case RarBadData:
        return QStringLiteral("The archive is damaged");
    case RarMissingPassword:
    case RarBadPassword:
        return QStringLiteral("Encrypted: no password");
    default:
        return QStringLiteral("The archive cannot be opened (code %1)").arg(item.m_nError);
    }
}

QList<CXNotTaken> ArchivesNotTaken(const CXArchiveList& list)
{
    QList<CXNotTaken> all;
    for (const CXFileItem& item : list.m_arrInvalid)
        all.append(CXNotTaken{item.m_strPath, InvalidArchiveReason(item), true});
    for (const QString& path : list.m_arrSkipped)
        all.append(CXNotTaken{path, QStringLiteral("No picture of an enabled type"), false});
    all += list.m_arrNotTaken;
    return all;
}
