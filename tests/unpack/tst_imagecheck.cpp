#include "unpack/imagecheck.h"

#include "support/testenv.h"
#include "unpack/extractfixture.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>
#include <jpeglib.h>
#include <thread>
#include <vector>
#include <zlib.h>

using namespace zelvano::test;

namespace {

QByteArray Write(const QImage& image, const char* format, int compression = -1, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (compression >= 0)
        writer.setCompression(compression);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// Qt writes no GIF. This one stores every pixel as its own LZW code, with a clear code often enough that
// the code width stays at 9 bits: valid for every decoder, and its data is easy to reason about.
QByteArray Gif(int width, int height)
{
    QByteArray out("GIF89a");
    const auto put16 = [&out](int v) {
        out.append(char(v & 0xFF));
        out.append(char(v >> 8));
    };
    put16(width);
    put16(height);
    out.append(char(0xF7)); // global colour table of 256 entries
    out.append(char(0));
    out.append(char(0));
    for (int i = 0; i < 256; ++i) {
        out.append(char(i));
        out.append(char(255 - i));
        out.append(char((i * 3) & 0xFF));
    }
    out.append(char(0x2C));
    put16(0);
    put16(0);
    put16(width);
    put16(height);
    out.append(char(0));
    out.append(char(8)); // minimum code size

    QByteArray codes;
    quint32 bits = 0;
    int nbits = 0;
    const auto emit = [&](int code) {
        bits |= quint32(code) << nbits;
        nbits += 9;
        while (nbits >= 8) {
            codes.append(char(bits & 0xFF));
            bits >>= 8;
            nbits -= 8;
        }
    };
    const QImage picture = TestPicture(width, height);
    int sinceClear = 0;
    emit(256);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (sinceClear == 250) {
                emit(256);
                sinceClear = 0;
            }
            emit(qGray(picture.pixel(x, y)));
            ++sinceClear;
        }
    }
    emit(257);
    if (nbits > 0)
        codes.append(char(bits & 0xFF));
    for (qsizetype i = 0; i < codes.size(); i += 255) {
        const QByteArray block = codes.mid(i, 255);
        out.append(char(block.size()));
        out.append(block);
    }
    out.append(char(0));
    out.append(char(0x3B));
    return out;
}

// A JPEG of the test picture written straight with libjpeg, for what Qt's writer does not offer: CMYK or
// grey data, restart markers (one after every restartRows rows of blocks) and arithmetic coding.
QByteArray LibJpeg(int width, int height, J_COLOR_SPACE space, int restartRows = 0, bool arithmetic = false)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = space == JCS_CMYK ? 4 : space == JCS_GRAYSCALE ? 1 : 3;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    cinfo.restart_in_rows = restartRows;
    cinfo.arith_code = arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    const QImage picture = TestPicture(width, height);
    QByteArray row(width * cinfo.input_components, '\0');
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            const QRgb c = picture.pixel(x, y);
            const int values[] = {qRed(c), qGreen(c), qBlue(c), qGray(c)};
            for (int k = 0; k < cinfo.input_components; ++k)
                row[x * cinfo.input_components + k] = char(space == JCS_GRAYSCALE ? qGray(c) : values[k]);
        }
        JSAMPROW rows[] = {reinterpret_cast<JSAMPLE*>(row.data())};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    return bytes;
}

// A grey baseline JPEG of any size whose every block is plain mid-grey, made without encoding its pixels: a
// small picture from libjpeg gives the headers (with the standard Huffman tables), the frame header gets the
// new size, and the coded data is each block's two codes, "00" (no change of the first coefficient) and
// "1010" (end of block), so four blocks take the three bytes 28 A2 8A.
QByteArray FlatGreyJpeg(int width, int height)
{
    // The headers of a small grey picture: its coded data is replaced below.
    QByteArray jpeg = LibJpeg(8, 8, JCS_GRAYSCALE);
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    const char dims[4] = {char(height >> 8), char(height & 0xFF), char(width >> 8), char(width & 0xFF)};
    jpeg.replace(sof + 5, 4, dims, 4);
    const qsizetype scan =
        jpeg.indexOf("\xFF\xDA") + 2 +
        ((uchar(jpeg[jpeg.indexOf("\xFF\xDA") + 2]) << 8) | uchar(jpeg[jpeg.indexOf("\xFF\xDA") + 3]));
    const qint64 blocks = qint64((width + 7) / 8) * ((height + 7) / 8);
    Q_ASSERT(blocks % 4 == 0);
    return jpeg.left(scan) + QByteArray("\x28\xA2\x8A").repeated(blocks / 4) + QByteArray("\xFF\xD9");
}

// An 8-bit grey PNG of any size, every pixel mid-grey, compressed row by row so that the raw pixels are never
// in memory at once.
QByteArray FlatGreyPng(int width, int height)
{
    const auto chunk = [](const char* type, const QByteArray& data) {
        QByteArray out;
        const quint32 length = quint32(data.size());
        out.append(char(length >> 24)).append(char(length >> 16)).append(char(length >> 8)).append(char(length));
        const QByteArray body = QByteArray(type, 4) + data;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()));
        out.append(body);
        out.append(char(crc >> 24)).append(char(crc >> 16)).append(char(crc >> 8)).append(char(crc));
        return out;
    };
    QByteArray header(13, '\0');
    for (int i = 0; i < 4; ++i) {
        header[i] = char(width >> (24 - 8 * i));
        header[4 + i] = char(height >> (24 - 8 * i));
    }
    header[8] = 8; // bits per sample; colour type 0 (grey), no interlace
    QByteArray row(width + 1, char(0x80));
    row[0] = 0; // no filter
    QByteArray data;
    z_stream z{};
    deflateInit(&z, 9);
    char out[65536];
    for (int y = 0; y <= height; ++y) {
        z.next_in = reinterpret_cast<Bytef*>(row.data());
        z.avail_in = y < height ? uInt(row.size()) : 0;
        do {
            z.next_out = reinterpret_cast<Bytef*>(out);
            z.avail_out = sizeof out;
            deflate(&z, y < height ? Z_NO_FLUSH : Z_FINISH);
            data.append(out, qsizetype(sizeof out - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return QByteArray("\x89PNG\r\n\x1A\n") + chunk("IHDR", header) + chunk("IDAT", data) + chunk("IEND", {});
}

// count comment segments of 65,533 bytes each, as one run.
QByteArray Comments(int count)
{
    QByteArray segment("\xFF\xFE\xFF\xFF");
    segment += QByteArray(0xFFFF - 2, 'c');
    return segment.repeated(count);
}

// The offset of the first byte after the JPEG marker segment that starts with marker (0xFF, m), or -1.
qsizetype AfterSegment(const QByteArray& jpeg, uchar m, int nth = 0)
{
    qsizetype at = 0;
    for (int i = 0; i <= nth; ++i) {
        at = jpeg.indexOf(QByteArray("\xFF") + char(m), at + 1);
        if (at < 0)
            return -1;
    }
    const int length = (uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]);
    return at + 2 + length;
}

QByteArray Inserted(QByteArray bytes, qsizetype at, const QByteArray& what)
{
    return bytes.insert(at, what);
}

QByteArray Replaced(QByteArray bytes, qsizetype at, const QByteArray& what)
{
    return bytes.replace(at, what.size(), what);
}

QByteArray Flipped(QByteArray bytes, qsizetype at, int count = 1)
{
    for (int i = 0; i < count; ++i)
        bytes[at + i] = char(bytes[at + i] ^ 0x5A);
    return bytes;
}

// The same bytes with a run cut out, from at up to (not including) end.
QByteArray Without(QByteArray bytes, qsizetype at, qsizetype end)
{
    return bytes.remove(at, end - at);
}

} // namespace

class TestImageCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Real files of every enabled type: whole, with harmless oddities, cut short or damaged. What passes is a
    // picture every viewer shows whole; what fails is a file whose picture data is partly lost.
    void pictures_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("loads");

        const QImage picture = TestPicture(320, 240);

        // JPEG. The scan data starts after the SOS segment and ends two bytes before the file does.
        const QByteArray jpeg = Write(picture, "JPEG");
        const qsizetype scan = AfterSegment(jpeg, 0xDA);
        const qsizetype scanEnd = jpeg.size() - 2;
        const qsizetype mid = (scan + scanEnd) / 2;
        const QByteArray junk("\x00\x13\x37junk", 7);
        const QByteArray progressive = Write(picture, "JPEG", -1, true);
        const qsizetype secondScan = AfterSegment(progressive, 0xDA, 1);
        const qsizetype thirdScanMarker = progressive.indexOf("\xFF\xDA", secondScan);
        // clang-format off
        QTest::newRow("JPEG: whole")                               << jpeg                                          << true;
        QTest::newRow("JPEG: bytes after its end")                 << jpeg + QByteArray(100, 'x')                   << true;
        QTest::newRow("JPEG: extra bytes after the first segment") << Inserted(jpeg, AfterSegment(jpeg, 0xE0), junk) << true;
        QTest::newRow("JPEG: extra bytes before the scan header")  << Inserted(jpeg, jpeg.indexOf("\xFF\xDA"), junk) << true;
        QTest::newRow("JPEG: extra bytes after the scan data")     << Inserted(jpeg, scanEnd, junk)                << true;
        QTest::newRow("JPEG: fill bytes before a marker")          << Inserted(jpeg, scanEnd, QByteArray(5, '\xFF')) << true;
        QTest::newRow("JPEG: header only")                         << jpeg.left(scan)                               << false;
        QTest::newRow("JPEG: cut in the headers")                  << jpeg.left(scan / 2)                           << false;
        QTest::newRow("JPEG: cut a quarter into the scan")         << jpeg.left(scan + (scanEnd - scan) / 4)        << false;
        QTest::newRow("JPEG: cut halfway")                         << jpeg.left(mid)                                << false;
        QTest::newRow("JPEG: cut at the last coded byte")          << jpeg.left(scanEnd - 1)                        << false;
        QTest::newRow("JPEG: no end marker")                       << jpeg.left(scanEnd)                            << false;
        QTest::newRow("JPEG: half of the end marker")              << jpeg.left(scanEnd + 1)                        << false;
        QTest::newRow("JPEG: coded bytes missing before the end")  << Without(jpeg, scanEnd - 64, scanEnd)                  << false;
        QTest::newRow("JPEG: a run of one bits (bad code)")        << Replaced(jpeg, mid, QByteArray("\xFF\x00\xFF\x00\xFF\x00\xFF\x00", 8)) << false;
        QTest::newRow("JPEG: end marker inside the scan")          << Replaced(jpeg, mid, QByteArray("\xFF\xD9"))   << false;
        QTest::newRow("JPEG: stray marker inside the scan")        << Replaced(jpeg, mid, QByteArray("\xFF\xFE\x00\x02", 4)) << false;
        // clang-format on

        // Segments the decoder skips, in any number: they are passed over, not read into memory. A file cut
        // anywhere in them fails in the walk over the segments, before any decoding.
        const qsizetype app0End = AfterSegment(jpeg, 0xE0);
        const QByteArray padded = Inserted(jpeg, app0End, Comments(320)); // 20 MB
        const QByteArray comment = QByteArray("\xFF\xFE\x03\xE8", 4) + QByteArray(1000 - 2, 'c');
        const QByteArray commentAfterScan = Inserted(jpeg, scanEnd, comment);
        // clang-format off
        QTest::newRow("JPEG: 20 MB of comment segments before the frame") << padded                             << true;
        QTest::newRow("JPEG: a comment segment after the scan data") << commentAfterScan                       << true;
        QTest::newRow("JPEG: a comment segment after its end, cut off") << jpeg + comment.left(500)            << true;
        QTest::newRow("JPEG: cut in the comment segments")         << padded.left(app0End + 10 * 65537 + 1234)  << false;
        QTest::newRow("JPEG: cut in a comment segment after the scan") << commentAfterScan.left(scanEnd + 500) << false;
        QTest::newRow("JPEG: a segment length past the end")       << Replaced(commentAfterScan, scanEnd + 2, QByteArray("\xFF\xF0")) << false;
        QTest::newRow("JPEG: cut in a marker's length")            << commentAfterScan.left(scanEnd + 3)       << false;
        // clang-format on

        // The pixel count a header announces is checked before anything is allocated for it: the same
        // flat grey data passes at a photo's size and fails past a gigapixel (65,000 × 20,000 here).
        // clang-format off
        QTest::newRow("JPEG: 3 megapixels of flat grey")           << FlatGreyJpeg(2048, 1536)                  << true;
        QTest::newRow("JPEG: 1.3 gigapixels of flat grey")         << FlatGreyJpeg(65000, 20000)                << false;
        // clang-format on
        // clang-format off
        QTest::newRow("progressive JPEG: whole")                   << progressive                                   << true;
        QTest::newRow("progressive JPEG: extra bytes between scans") << Inserted(progressive, thirdScanMarker, junk) << true;
        QTest::newRow("progressive JPEG: cut after two scans")     << progressive.left(thirdScanMarker)             << false;
        QTest::newRow("progressive JPEG: cut halfway")             << progressive.left(progressive.size() / 2)      << false;
        QTest::newRow("progressive JPEG: no end marker")           << progressive.left(progressive.size() - 2)      << false;
        QTest::newRow("progressive JPEG: comment segments between scans") << Inserted(progressive, thirdScanMarker, Comments(3)) << true;
        QTest::newRow("progressive JPEG: cut in a comment segment between scans") << Inserted(progressive, thirdScanMarker, Comments(3)).left(thirdScanMarker + 65537 + 100) << false;
        QTest::newRow("progressive JPEG: a scan's data damaged")   << Replaced(progressive, secondScan + 20, QByteArray("\xFF\x00\xFF\x00\xFF\x00\xFF\x00", 8)) << false;
                // Grey, CMYK and with restart markers: the decoder takes other paths through each.
        const QByteArray grey = Write(picture.convertToFormat(QImage::Format_Grayscale8), "JPEG");
        const QByteArray cmyk = LibJpeg(320, 240, JCS_CMYK);
        const QByteArray restarts = LibJpeg(320, 240, JCS_RGB, 1);
        const qsizetype rst2 = restarts.indexOf("\xFF\xD2");
        const QByteArray arithmetic = LibJpeg(320, 240, JCS_RGB, 0, true);
        QTest::newRow("grey JPEG: whole")                          << grey                                          << true;
        QTest::newRow("grey JPEG: cut halfway")                    << grey.left(grey.size() / 2)                    << false;
        QTest::newRow("CMYK JPEG: whole")                          << cmyk                                          << true;
        QTest::newRow("CMYK JPEG: extra bytes before the scan header") << Inserted(cmyk, cmyk.indexOf("\xFF\xDA"), junk) << true;
        QTest::newRow("CMYK JPEG: cut halfway")                    << cmyk.left(cmyk.size() / 2)                    << false;
        QTest::newRow("JPEG with restart markers: whole")          << restarts                                      << true;
        QTest::newRow("JPEG with restart markers: one out of order") << Replaced(restarts, rst2, QByteArray("\xFF\xD5")) << false;
        QTest::newRow("JPEG with restart markers: one interval cut") << Without(restarts, rst2 - 40, rst2)          << false;
        QTest::newRow("JPEG with restart markers: cut halfway")    << restarts.left(restarts.size() / 2)            << false;
        QTest::newRow("arithmetic-coded JPEG: whole")              << arithmetic                                    << true;
        QTest::newRow("arithmetic-coded JPEG: cut halfway")        << arithmetic.left(arithmetic.size() / 2)        << false;
        // clang-format on

        // PNG: every chunk carries a CRC, so any damaged byte shows.
        QImage withText = picture;
        withText.setText(QStringLiteral("Comment"), QStringLiteral("a comment long enough to damage"));
        const QByteArray png = Write(withText, "PNG");
        const qsizetype idat = png.indexOf("IDAT");
        const qsizetype text = png.indexOf("tEXt");
        // clang-format off
        QTest::newRow("PNG: whole")                      << png                              << true;
        QTest::newRow("PNG: bytes after its end")        << png + QByteArray(100, 'x')       << true;
        QTest::newRow("PNG: signature only")             << png.left(8)                      << false;
        QTest::newRow("PNG: cut in the image data")      << png.left(idat + 100)             << false;
        QTest::newRow("PNG: cut halfway")                << png.left(png.size() / 2)         << false;
        QTest::newRow("PNG: no end chunk")               << png.left(png.size() - 12)        << false;
        QTest::newRow("PNG: cut in the end chunk")       << png.left(png.size() - 3)         << false;
        QTest::newRow("PNG: image data byte flipped")    << Flipped(png, idat + 200)         << false;
        QTest::newRow("PNG: image data CRC flipped")     << Flipped(png, idat - 4 + 8 + ((uchar(png[idat - 2]) << 8) | uchar(png[idat - 1]))) << false;
        QTest::newRow("PNG: 36 megapixels of flat grey")  << FlatGreyPng(6000, 6000)         << true;
        QTest::newRow("PNG: 100 megapixels, past the readers' memory budget") << FlatGreyPng(10000, 10000) << false;
        QTest::newRow("PNG: text chunk byte flipped")    << Flipped(png, text + 10)          << false;
        // clang-format on

        // BMP: no checksum; what can be seen is data that stops short.
        const QByteArray bmp = Write(picture, "BMP");
        // clang-format off
        QTest::newRow("BMP: whole")                      << bmp                              << true;
        QTest::newRow("BMP: header only")                << bmp.left(54)                     << false;
        QTest::newRow("BMP: cut halfway")                << bmp.left(bmp.size() / 2)         << false;
        QTest::newRow("BMP: last byte missing")          << bmp.left(bmp.size() - 1)         << false;
        // clang-format on

        // TIFF, plain and LZW-compressed.
        const QByteArray tiff = Write(picture, "TIFF", 0);
        const QByteArray lzw = Write(picture, "TIFF", 1);
        // clang-format off
        QTest::newRow("TIFF: whole")                     << tiff                             << true;
        QTest::newRow("TIFF: cut halfway")               << tiff.left(tiff.size() / 2)       << false;
        QTest::newRow("TIFF: last byte missing")         << tiff.left(tiff.size() - 1)       << false;
        QTest::newRow("TIFF LZW: whole")                 << lzw                              << true;
        QTest::newRow("TIFF LZW: cut halfway")           << lzw.left(lzw.size() / 2)         << false;
        QTest::newRow("TIFF LZW: last byte missing")     << lzw.left(lzw.size() - 1)         << false;
        QTest::newRow("TIFF LZW: header only")           << lzw.left(8)                      << false;
        // clang-format on

        // GIF.
        const QByteArray gif = Gif(120, 90);
        const qsizetype gifData = 13 + 768 + 10 + 1;
        // clang-format off
        QTest::newRow("GIF: whole")                      << gif                              << true;
        QTest::newRow("GIF: bytes after its end")        << gif + QByteArray(100, 'x')       << true;
        QTest::newRow("GIF: header only")                << gif.left(gifData)                << false;
        QTest::newRow("GIF: cut halfway")                << gif.left(gif.size() / 2)         << false;
        QTest::newRow("GIF: cut in the last data block") << gif.left(gif.size() - 5)         << false;
        QTest::newRow("GIF: no trailer")                 << gif.left(gif.size() - 1)         << false;
        QTest::newRow("GIF: a data block cut out")       << Without(gif, gifData + 256, gifData + 512) << false;
        // clang-format on

        // Each type goes to its own reader, chosen by how the content starts; a content no picture type
        // starts with fails without any reader guessing at it.
        const QByteArray webp = Write(picture, "WEBP");
        // clang-format off
        QTest::newRow("WebP: whole")                     << webp                             << true;
        QTest::newRow("WebP: cut halfway")               << webp.left(webp.size() / 2)       << false;
        QTest::newRow("no picture type")                 << QByteArray("P6 not quite a picture") << false;
        QTest::newRow("empty")                           << QByteArray()                     << false;
        // clang-format on
    }
    void pictures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, loads);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("picture"));
        QVERIFY(WriteFile(path, bytes));
        QCOMPARE(LoadsAsPicture(path), loads);
    }
    // The check runs on several threads at once: each call keeps its decoder state to itself.
    void concurrentChecksAgree()
    {
        QTemporaryDir dir;
        const QByteArray jpeg = Write(TestPicture(320, 240), "JPEG");
        const QString whole = dir.filePath(QStringLiteral("whole.jpg"));
        const QString cut = dir.filePath(QStringLiteral("cut.jpg"));
        const QString stray = dir.filePath(QStringLiteral("stray.jpg"));
        QVERIFY(WriteFile(whole, jpeg));
        QVERIFY(WriteFile(cut, jpeg.left(jpeg.size() * 2 / 3)));
        QVERIFY(WriteFile(stray, Inserted(jpeg, jpeg.indexOf("\xFF\xDA"), QByteArray("junk"))));
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < 30; ++i) {
                    if (!LoadsAsPicture(whole) || LoadsAsPicture(cut) || !LoadsAsPicture(stray))
                        ++wrong;
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(wrong.load(), 0);
    }
};

QTEST_MAIN(TestImageCheck)
#include "tst_imagecheck.moc"
