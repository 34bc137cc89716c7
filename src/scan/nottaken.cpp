#include "scan/nottaken.h"

#include "archive/rar.h"
#include "archive/sevenz.h"
#include "archive/zip.h"

QString InvalidArchiveReason(const CXFileItem& item)
{
    if (!item.m_strReason.isEmpty())
        return item.m_strReason;
    return OpenFailureReason(GetArchiveType(item.m_strPath), item.m_nError);
}

QString OpenFailureReason(int type, int error)
{
    if (type == kSevenZArchive) {
        switch (error) {
        case SevenZOpenError:
            return QStringLiteral("Not a 7z archive, or one that cannot be read");
        case SevenZBadArchive:
            return QStringLiteral("The archive is damaged");
        case SevenZEncrypted:
            return SevenZFailureReason(SevenZEncrypted);
        default:
            return QStringLiteral("The archive cannot be opened (%1)").arg(QLatin1String(SevenZResultName(error)));
        }
    }
    if (type == kZipArchive) {
        switch (error) {
        case ZIPRES_NOFILE:
            return QStringLiteral("The file cannot be read");
        case ZIPRES_IOERROR:
            return QStringLiteral("Not a ZIP archive (no end of central directory)");
        case ZIPRES_BADZIP:
            return QStringLiteral("The archive is damaged");
        default:
            return QStringLiteral("The archive cannot be opened (%1)").arg(QLatin1String(ZipResultName(error)));
        }
    }
    switch (error) {
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
        return QStringLiteral("The archive cannot be opened (code %1)").arg(error);
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
