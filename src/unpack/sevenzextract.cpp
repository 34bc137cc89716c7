#include "archive/junk.h"
#include "archive/sevenz.h"
#include "unpack/extract.h"
#include "unpack/extractloop.h"

#include <limits>

namespace {

// 7z archives are solid: every entry is met in archive order in one pass, as the RAR path reads its
// archives, and an entry that is not wanted is passed over by the reader.
class CXSevenZSource final : public CXArchiveSource
{
public:
    bool Open(const QString& path) override
    {
        m_strPath = path;
        return m_archive.Open(path) == SevenZOk;
    }

    void ListNames(CXJunkRules& rules) override
    {
        // The junk rules need every name before the first entry is written: a listing of its own, which
        // reads headers only.
        SevenZListArchive(m_strPath, [&rules](const SevenZEntry& entry) {
            rules.AddName(entry.name);
            return true;
        });
    }

    int Next(CXSourceEntry& out) override
    {
        SevenZEntry entry;
        const int result = m_archive.Next(entry);
        if (result == SevenZEnd)
            return kEnd;
        if (result != SevenZOk)
            return result;
        out.m_strName = entry.name;
        out.m_strOutputName = entry.name;
        const qint64 size = qint64(qMin<quint64>(entry.size, quint64(std::numeric_limits<qint64>::max())));
        out.m_nUnpacked = size;
        out.m_nPacked = size; // the format keeps no packed size per entry
        out.m_bFolder = entry.isDirectory;
        out.m_bLink = entry.isLink;
        // Without a password such an entry cannot be read: it fails with the reader's own reason.
        out.m_nDamage = entry.isEncrypted ? int(SevenZEncrypted) : 0;
        return 0;
    }

    int ExtractTo(const QString& path, const std::function<void(qint64)>& onChunk) override
    {
        return m_archive.ExtractTo(path, [&onChunk](qint64 done) {
            onChunk(done);
            return true;
        });
    }

    void Skip() override {}

    QString FailureReason(int code) const override { return SevenZFailureReason(code); }
    int UnsafeCode() const override { return SevenZRefusedDestination; }
    int LinkCode() const override { return SevenZRefusedLink; }

private:
    QString m_strPath;
    SevenZArchive m_archive;
};

} // namespace

std::unique_ptr<CXArchiveSource> NewSevenZSource()
{
    return std::make_unique<CXSevenZSource>();
}

bool ExtractSevenZArchive(CXUnpackContext& ctx, CXArchiveFile& archive)
{
    CXSevenZSource source;
    return ExtractArchive(ctx, archive, source);
}
