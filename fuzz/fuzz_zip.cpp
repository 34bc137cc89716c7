// libFuzzer target for the ZIP reader: open the input as an archive, list every entry, extract every entry
// into a temporary folder, and check that nothing was created outside that folder. Inputs whose first byte
// is even (every archive that starts with its "PK" header) are read with the password "pw", the one the
// encrypted seeds use, so the decryption runs on them; the others take the no-password path.
#include "archive/zip.h"
#include "confined.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Entries that would take long to write are listed but not extracted, to keep each run short.
constexpr int64_t kLargestExtracted = 32ll << 20;

struct Workspace
{
    QTemporaryDir base;
    QString archive = base.filePath(QStringLiteral("input.zip"));
    QString out = ConfinedOutput(base.path());
};

Workspace& Space()
{
    static Workspace workspace;
    return workspace;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Workspace& w = Space();
    QDir(w.out).removeRecursively();
    QDir().mkpath(w.out);
    {
        QFile file(w.archive);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    ZipHandle handle = ZipOpen(w.archive);
    if (!handle)
        return 0;
    // Directory-flagged entries with a picture name are written as files, as an unpack does.
    ZipSetFileNameTest(handle, [](const QString& name) {
        return name.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive) ||
               name.endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
    });
    if (size > 0 && (data[0] & 1) == 0)
        ZipSetPassword(handle, QByteArrayLiteral("pw"));
    ZipEntry entry;
    ZipGetEntry(handle, -1, entry);
    const int count = entry.m_nIndex;
    // The scan's cheap listing walks the same directory; it may report no more entries than there are.
    int listed = 0;
    ZipListEntries(handle, [&](const ZipEntry&, int32_t) { return ++listed <= count; });
    if (listed > count) {
        std::fprintf(stderr, "the listing reported more entries than the directory holds\n");
        std::abort();
    }
    for (int i = 0; i < count; ++i) {
        const int32_t result = ZipGetEntry(handle, i, entry);
        if (result == ZIPRES_OK && entry.m_nUnpackedSize > kLargestExtracted)
            continue;
        const QString out = w.out + QStringLiteral("/%1.bin").arg(i);
        ZipExtractEntry(handle, i, out);
        // Whatever the data claims, no output grows past the size the directory declares.
        if (result == ZIPRES_OK && QFileInfo(out).size() > entry.m_nUnpackedSize) {
            std::fprintf(stderr, "entry %d wrote more than its declared size\n", i);
            std::abort();
        }
        // As a careless caller would: the entry's own name joined to the output folder.
        if (result == ZIPRES_OK && !entry.m_szName.isEmpty())
            ZipExtractEntry(handle, i, w.out + QLatin1Char('/') + entry.m_szName);
    }
    // Back to the start: the cursor rewinds.
    if (count > 0)
        ZipGetEntry(handle, 0, entry);
    ZipClose(handle);
    AbortUnlessConfined(w.base.path(), {QStringLiteral("input.zip")});
    return 0;
}
