#include "archive/junk.h"
#include "archive/zip.h"
#include "settings/imagefilter.h"
#include "unpack/extract.h"
#include "unpack/extractloop.h"
#include "unpack/unpackcontext.h"
#include "unpack/validation.h"

namespace {

// A Unix symbolic link stored by a Unix archiver: its data is the link's target, not a picture.
bool IsUnixLink(const ZipEntry& entry)
{
    constexpr uint32_t kTypeMask = 0170000;
    constexpr uint32_t kLink = 0120000;
    return (entry.m_nVersionMadeBy >> 8) == 3 && ((entry.m_dwExternalAttributes >> 16) & kTypeMask) == kLink;
}

class CXZipSource final : public CXArchiveSource
{
public:
    explicit CXZipSource(const QString& extensions) : m_extensions(extensions) {}

    bool Open(const QString& path) override
    {
        m_zip.reset(ZipOpen(path));
        if (!m_zip)
            return false;
        // The reader writes an entry flagged as a folder as a file when its name is a picture's.
        ZipSetFileNameTest(m_zip.get(), [this](const QString& name) { return IsPictureName(name); });
        ZipEntry counter;
        ZipGetEntry(m_zip.get(), -1, counter);
        m_nCount = counter.m_nIndex;
        return true;
    }

    void ListNames(CXJunkRules& rules) override
    {
        ZipListEntries(m_zip.get(), [&rules](const ZipEntry& entry, int32_t) {
            rules.AddName(entry.m_szName);
            return true;
        });
    }

    int Next(CXSourceEntry& out) override
    {
        if (m_nNext >= m_nCount)
            return kEnd;
        m_nCurrent = m_nNext++;
        ZipEntry entry;
        const int32_t got = ZipGetEntry(m_zip.get(), m_nCurrent, entry);
        if (got == ZIPRES_BADZIP || got == ZIPRES_ARGS)
            return got;
        out.m_strName = entry.m_szName;
        out.m_strOutputName = entry.m_szName;
        out.m_strOutputName.replace(QLatin1String(". "), QLatin1String("."));
        out.m_nPacked = entry.m_nPackedSize;
        out.m_nUnpacked = entry.m_nUnpackedSize;
        out.m_nCrc = entry.m_dwCrc;
        // A folder entry whose name carries a picture extension is written as a file.
        out.m_bFolder = entry.IsDirectory() && !IsPictureName(entry.m_szName);
        out.m_bLink = IsUnixLink(entry);
        out.m_bEncrypted = entry.IsEncrypted();
        // Without a password the method does not matter: an encrypted entry fails as encrypted.
        const bool readable = got == ZIPRES_OK || (got == ZIPRES_METHOD && out.m_bEncrypted);
        out.m_nDamage = readable ? 0 : got;
        m_nCurrentMethod = entry.m_nMethod;
        return 0;
    }

    int ExtractTo(const QString& path, const std::function<void(qint64)>& onChunk) override
    {
        constexpr qint64 kChunk = qint64(256) * 1024; // the reader's block
        qint64 done = 0;
        const ZipChunkHook hook = [&]() {
            done += kChunk;
            onChunk(done);
            return true;
        };
        return ZipExtractEntry(m_zip.get(), m_nCurrent, path, hook);
    }

    void Skip() override {}

    bool TestPassword(const QString& password) override
    {
        // Only the current entry's own checks prove the password; it is decoded, and nothing is written.
        const int32_t result = ZipTestEntry(m_zip.get(), m_nCurrent, password.toUtf8());
        return result != ZIPRES_PASSWORD && result != ZIPRES_ENCRYPTED;
    }
    void SetPassword(const QString& password) override
    {
        m_password = password.toUtf8();
        ZipSetPassword(m_zip.get(), m_password);
    }

    QString FailureReason(int code) const override
    {
        if (code == ZIPRES_PASSWORD || code == ZIPRES_ENCRYPTED)
            return zelvano::reason::EncryptedNoPassword();
        if (code == ZIPRES_METHOD)
            return QStringLiteral("Unsupported compression method (%1)").arg(ZipMethodName(m_nCurrentMethod));
        return zelvano::reason::ExtractionFailed(code, QString::fromLatin1(ZipResultName(code)));
    }
    int UnsafeCode() const override { return ZIPRES_UNSAFEPATH; }
    int LinkCode() const override { return ZIPRES_UNSAFEPATH; }

private:
    // The name as the extension test reads it: a dot and a space before the extension count as a dot.
    bool IsPictureName(const QString& storedName) const
    {
        QString name = storedName;
        name.replace(QLatin1String(". "), QLatin1String("."));
        return MatchesExtensionList(name, m_extensions);
    }

    QString m_extensions;
    QByteArray m_password; // the archive's, once known
    ZipHandlePtr m_zip;
    int32_t m_nCount = 0;
    int32_t m_nNext = 0;
    int32_t m_nCurrent = -1;
    uint16_t m_nCurrentMethod = 0; // the compression method of the current entry
};

} // namespace

std::unique_ptr<CXArchiveSource> NewZipSource(const QString& extensions)
{
    return std::make_unique<CXZipSource>(extensions);
}

bool ExtractZipArchive(CXUnpackContext& ctx, CXArchiveFile& archive)
{
    CXZipSource source(ctx.m_strImageExtensions);
    return ExtractArchive(ctx, archive, source);
}
