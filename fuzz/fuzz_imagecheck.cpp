// libFuzzer target for the picture check: any bytes, read back from a file as an extracted picture is, must
// give a verdict without crashing, reading past what was read or leaking, within the check's memory budget.
// What this exercises is the check's own code: the JPEG marker walk and the source it feeds the decoder
// from, the PNG, GIF and BMP structure walks, and the choice of reader.
#include "unpack/imagecheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// One file per process, rewritten for every input and removed at exit.
struct ScratchFile
{
    QString path =
        QDir::temp().filePath(QStringLiteral("zelvano-fuzz-imagecheck-%1").arg(QCoreApplication::applicationPid()));
    std::string local = QFile::encodeName(path).toStdString();
    ~ScratchFile() { std::remove(local.c_str()); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const ScratchFile scratch;
    const QString& path = scratch.path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    if (file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        std::abort();
    file.close();
    LoadsAsPicture(path);
    return 0;
}
