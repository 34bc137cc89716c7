#include "unpack/imagecheck.h"

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

bool LoadsAsPicture(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;

    // JPEG by its start-of-image marker, whatever the file is called.
    const QByteArray head = file.peek(3);
    const bool jpeg = head.size() == 3 && uchar(head[0]) == 0xFF && uchar(head[1]) == 0xD8 && uchar(head[2]) == 0xFF;
    if (jpeg) {
        // The structure check needs the whole file; a mapping keeps memory flat whatever its size.
        const qint64 size = file.size();
        uchar* mapped = file.map(0, size);
        bool whole = false;
        if (mapped) {
            whole = JpegReachesEnd(QByteArrayView(reinterpret_cast<const char*>(mapped), size));
            file.unmap(mapped);
        } else {
            whole = JpegReachesEnd(file.readAll());
            file.seek(0);
        }
        if (!whole)
            return false;
    }

    QImageReader reader(&file);
    reader.setAutoTransform(false);
    if (jpeg) {
        const QSize full = reader.size();
        // An eighth of the size in each direction is what the decoder makes straight from the coded blocks
        // (rounded up as it rounds), and a low quality asks for its fast transform: every block is still
        // decoded, most of the pixel work is not done.
        if (full.isValid() && full.width() >= 8 && full.height() >= 8) {
            reader.setScaledSize(QSize((full.width() + 7) / 8, (full.height() + 7) / 8));
            reader.setQuality(0);
        }
    }
    const QImage image = reader.read();
    return !image.isNull() && reader.error() == QImageReader::UnknownError;
}
