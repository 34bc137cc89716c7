#include "unpack/imagecheck.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <cstring>

bool JpegReachesEnd(QByteArrayView data)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const qsizetype n = data.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return false;
    qsizetype i = 2;
    bool inScan = false;
    while (i < n) {
        if (inScan) {
            // Entropy-coded data: 0xFF is either stuffed (FF 00), a restart marker (FF D0..D7) or the
            // marker that ends the scan.
            const void* ff = std::memchr(p + i, 0xFF, size_t(n - i));
            if (!ff)
                return false;
            i = static_cast<const unsigned char*>(ff) - p;
            if (i + 1 >= n)
                return false;
            const unsigned char m = p[i + 1];
            if (m == 0x00 || (m >= 0xD0 && m <= 0xD7) || m == 0xFF) {
                i += (m == 0xFF) ? 1 : 2;
                continue;
            }
            inScan = false;
            continue; // i is at the marker
        }
        if (p[i] != 0xFF)
            return false;
        while (i < n && p[i] == 0xFF) // fill bytes before a marker
            ++i;
        if (i >= n)
            return false;
        const unsigned char m = p[i++];
        if (m == 0xD9)
            return true;
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7))
            continue; // markers without a length
        if (i + 2 > n)
            return false;
        const qsizetype length = (qsizetype(p[i]) << 8) | p[i + 1];
        if (length < 2 || i + length > n)
            return false;
        i += length;
        if (m == 0xDA)
            inScan = true;
    }
    return false;
}

namespace {

// Files up to this size are read into memory whole; larger ones are mapped. Either way the decoder gets
// one contiguous buffer: the JPEG reader then takes its fast entropy-decoding path, which it cannot
// use on the small chunks a file device hands it (about a fifth of the decoding time).
constexpr qint64 kReadWholeLimit = 16 * 1024 * 1024;

} // namespace

bool LoadsAsPicture(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;

    // The bytes checked here are the file's own, read back after the extraction wrote them: what is
    // proved is that the file on disk decodes, not only the data that went through the extractor.
    const qint64 size = file.size();
    QByteArray bytes;
    uchar* mapped = nullptr;
    if (size <= kReadWholeLimit) {
        bytes = file.readAll();
    } else if ((mapped = file.map(0, size)) != nullptr) {
        // No copy: the mapping keeps memory flat whatever the file's size.
        bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), size);
    }
    const bool inMemory = size <= kReadWholeLimit || mapped;
    struct Unmap
    {
        QFile& file;
        uchar* mapped;
        ~Unmap()
        {
            if (mapped)
                file.unmap(mapped);
        }
    } unmap{file, mapped};

    QBuffer buffer(&bytes);
    if (inMemory)
        buffer.open(QIODevice::ReadOnly);
    QIODevice& device = inMemory ? static_cast<QIODevice&>(buffer) : file;

    // JPEG by its start-of-image marker, whatever the file is called.
    const QByteArray head = device.peek(3);
    const bool jpeg = head.size() == 3 && uchar(head[0]) == 0xFF && uchar(head[1]) == 0xD8 && uchar(head[2]) == 0xFF;
    if (jpeg) {
        // The decoder fills a JPEG cut off in its coded data with grey and reports success: the data must
        // run through every segment and scan to the end-of-image marker. (A large file that cannot be
        // mapped is read whole for this, as a last resort.)
        bool whole = false;
        if (inMemory) {
            whole = JpegReachesEnd(bytes);
        } else {
            whole = JpegReachesEnd(file.readAll());
            file.seek(0);
        }
        if (!whole)
            return false;
    }

    QImageReader reader(&device);
    reader.setAutoTransform(false);
    if (jpeg) {
        const QSize full = reader.size();
        // An eighth of the size in each direction is what the decoder makes straight from the coded
        // blocks (only their first coefficient goes into a pixel), and a low quality asks for its fast
        // transform: every block is still entropy-decoded, which is what proves the data whole, most of
        // the pixel work is not done. Rounded down: the reader picks the decoder's scale from the ratio,
        // and a size rounded up would ask for a quarter instead of an eighth.
        if (full.isValid() && full.width() >= 8 && full.height() >= 8) {
            reader.setScaledSize(QSize(full.width() / 8, full.height() / 8));
            reader.setQuality(0);
        }
    }
    const QImage image = reader.read();
    return !image.isNull() && reader.error() == QImageReader::UnknownError;
}
