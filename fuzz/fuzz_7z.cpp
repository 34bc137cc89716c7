// libFuzzer target for the 7z reader: open the input from memory, list every entry, extract each small
// file entry into a temporary folder (by a name of our own) or into memory, and check that nothing was
// created outside that folder and that no extraction wrote more than its entry declares.
#include "archive/sevenz.h"
#include "confined.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Entries that would take long to write are listed but not extracted, to keep each run short; a run
// stops once the declared sizes pass the budget (skipping a solid block still decompresses it).
constexpr quint64 kLargestExtracted = quint64(32) << 20;
constexpr quint64 kBudget = quint64(128) << 20;

struct Workspace
{
    QTemporaryDir base;
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

    SevenZArchive archive;
    if (archive.OpenMemory(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))) != SevenZOk)
        return 0;
    quint64 declared = 0;
    SevenZEntry entry;
    for (int index = 0; archive.Next(entry) == SevenZOk; ++index) {
        declared += entry.size;
        if (declared > kBudget)
            break;
        if (entry.isDirectory || entry.isLink || entry.size > kLargestExtracted)
            continue;
        int result = SevenZOk;
        qint64 written = 0;
        if (index % 2 == 0) {
            const QString path = w.out + QStringLiteral("/%1.jpg").arg(index);
            result = archive.ExtractTo(path, [&](qint64 done) {
                written = done;
                return true;
            });
            if (result != SevenZOk && QFileInfo::exists(path)) {
                std::fprintf(stderr, "a failed extraction left its file\n");
                std::abort();
            }
        } else {
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            result = archive.ReadData(buffer);
            written = buffer.size();
        }
        if (quint64(written) > entry.size || (result == SevenZOk && quint64(written) != entry.size)) {
            std::fprintf(stderr, "wrote %lld bytes of an entry of %llu\n", static_cast<long long>(written),
                         static_cast<unsigned long long>(entry.size));
            std::abort();
        }
    }
    AbortUnlessConfined(w.base.path());
    return 0;
}
