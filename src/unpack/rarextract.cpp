#include "archive/junk.h"
#include "archive/rar.h"
#include "platform/files.h"
#include "unpack/extract.h"
#include "unpack/extractloop.h"

#include <limits>

namespace {

QString RarCodeName(int result)
{
    switch (result) {
    case RarNoMemory:
        return QStringLiteral("ERAR_NO_MEMORY");
    case RarBadData:
        return QStringLiteral("ERAR_BAD_DATA");
    case RarBadArchive:
        return QStringLiteral("ERAR_BAD_ARCHIVE");
    case RarUnknownFormat:
        return QStringLiteral("ERAR_UNKNOWN_FORMAT");
    case RarOpenError:
        return QStringLiteral("ERAR_EOPEN");
    case RarCreateError:
        return QStringLiteral("ERAR_ECREATE");
    case RarCloseError:
        return QStringLiteral("ERAR_ECLOSE");
    case RarReadError:
        return QStringLiteral("ERAR_EREAD");
    case RarWriteError:
        return QStringLiteral("ERAR_EWRITE");
    case RarSmallBuffer:
        return QStringLiteral("ERAR_SMALL_BUF");
    case RarUnknown:
        return QStringLiteral("ERAR_UNKNOWN");
    case RarMissingPassword:
        return QStringLiteral("ERAR_MISSING_PASSWORD");
    case RarReference:
        return QStringLiteral("ERAR_EREFERENCE");
    case RarBadPassword:
        return QStringLiteral("ERAR_BAD_PASSWORD");
    case RarRefusedLink:
        return QStringLiteral("link refused");
    case RarRefusedDestination:
        return QStringLiteral("destination refused");
    default:
        return QString();
    }
}

class CXRarSource final : public CXArchiveSource
{
public:
    bool Open(const QString& path) override
    {
        m_strPath = path;
        // The output paths are absolute: the process's current directory is never changed.
        if (m_rar.Open(path, RarOpenMode::Extract) != RarSuccess || !m_rar.IsOpen())
            return false;
        m_rar.SetEmptyPassword();
        return true;
    }

    void ListNames(CXJunkRules& rules) override
    {
        RarListArchive(m_strPath, [&rules](const RarEntry& entry) {
            rules.AddName(entry.name);
            return true;
        });
    }

    int Next(CXSourceEntry& out) override
    {
        RarEntry entry;
        const int header = m_rar.ReadHeader(entry);
        if (header == RarEndArchive)
            return kEnd;
        if (header != RarSuccess)
            return header;
        out.m_strName = entry.name;
        out.m_strOutputName = entry.name;
        out.m_nPacked = qint64(qMin<quint64>(entry.packedSize, quint64(std::numeric_limits<qint64>::max())));
        out.m_nUnpacked = qint64(qMin<quint64>(entry.unpackedSize, quint64(std::numeric_limits<qint64>::max())));
        out.m_nCrc = entry.crc;
        out.m_bFolder = entry.isDirectory;
        out.m_bLink = entry.isLink;
        out.m_bEncrypted = entry.isEncrypted;
        out.m_bContinued = entry.splitBefore;
        return 0;
    }

    int ExtractTo(const QString& path, const std::function<void(qint64)>& onChunk) override
    {
        const int result = m_rar.ExtractTo(path, [&onChunk] { onChunk(-1); });
        // The archive's mode bits (execute, for one) do not come along: pictures get plain permissions.
        if (result == RarSuccess)
            zelvano::platform::SetPlainPermissions(path);
        return result;
    }

    void Skip() override { m_rar.Skip(); }

    QString CodeName(int code) const override { return RarCodeName(code); }
    int UnsafeCode() const override { return RarRefusedDestination; }
    int LinkCode() const override { return RarRefusedLink; }

private:
    QString m_strPath;
    RarArchive m_rar;
};

} // namespace

bool ExtractRarArchive(CXUnpackContext& ctx, CXArchiveFile& archive)
{
    CXRarSource source;
    const bool ok = ExtractArchive(ctx, archive, source);
    return ok;
}
