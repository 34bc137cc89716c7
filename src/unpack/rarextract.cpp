#include "archive/junk.h"
#include "archive/rar.h"
#include "platform/files.h"
#include "unpack/extract.h"
#include "unpack/extractloop.h"
#include "unpack/validation.h"

#include <limits>

namespace {

// What a failed RAR call means for the entry, in the user's words.
QString RarFailureReason(int result)
{
    const auto failed = [](const char* cause) {
        return QStringLiteral("Extraction failed (%1)").arg(QLatin1String(cause));
    };
    switch (result) {
    case RarNoMemory:
        return failed("not enough memory");
    case RarBadData:
        return failed("CRC error");
    case RarBadArchive:
        return failed("the archive is damaged");
    case RarUnknownFormat:
        return failed("unknown format");
    case RarOpenError:
        // During extraction the library opens nothing but the next volume.
        return QStringLiteral("Next volume missing");
    case RarCreateError:
        return failed("the file could not be created");
    case RarCloseError:
        return failed("the file could not be closed");
    case RarReadError:
        return failed("read error");
    case RarWriteError:
        return failed("write error");
    case RarSmallBuffer:
        return failed("buffer too small");
    case RarMissingPassword:
    case RarBadPassword:
        return zelvano::reason::EncryptedNoPassword();
    case RarReference:
        return failed("the file it refers to is missing");
    case RarRefusedLink:
        return zelvano::reason::LinkEntry();
    case RarRefusedDestination:
        return failed("destination refused");
    default:
        return zelvano::reason::ExtractionFailed(result);
    }
}

class CXRarSource final : public CXArchiveSource
{
public:
    bool Open(const QString& path) override
    {
        m_strPath = path;
        m_rar.SetPassword(m_strPassword);
        // The output paths are absolute: the process's current directory is never changed.
        const int opened = m_rar.Open(path, RarOpenMode::Extract);
        m_bNeedsPassword = opened == RarMissingPassword;
        if (opened != RarSuccess || !m_rar.IsOpen())
            return false;
        m_rar.SetEmptyPassword();
        return true;
    }

    void ListNames(CXJunkRules& rules) override
    {
        RarListArchive(
            m_strPath,
            [&rules](const RarEntry& entry) {
                rules.AddName(entry.name);
                return true;
            },
            nullptr, m_strPassword);
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

    bool NeedsPassword() const override { return m_bNeedsPassword; }
    bool TestPassword(const QString& password) override { return RarTestPassword(m_strPath, password) == RarSuccess; }
    void SetPassword(const QString& password) override
    {
        m_strPassword = password;
        m_rar.SetPassword(password);
    }

    QString FailureReason(int code) const override { return RarFailureReason(code); }
    int UnsafeCode() const override { return RarRefusedDestination; }
    int LinkCode() const override { return RarRefusedLink; }

private:
    QString m_strPath;
    QString m_strPassword;
    RarArchive m_rar;
    bool m_bNeedsPassword = false;
};

} // namespace

std::unique_ptr<CXArchiveSource> NewRarSource()
{
    return std::make_unique<CXRarSource>();
}

bool ExtractRarArchive(CXUnpackContext& ctx, CXArchiveFile& archive)
{
    CXRarSource source;
    const bool ok = ExtractArchive(ctx, archive, source);
    return ok;
}
