// ZIP entries compressed with BZip2, LZMA (with and without the end marker), XZ and Zstandard: good entries,
// the faults every method must turn into a result (CRC, longer or shorter than declared, damaged streams,
// streams that ask for too much memory), large entries read in chunks, and methods still refused.
#include "archive/zip.h"
#include "archive/zipdecoders.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>
#include <zstd.h>

using zelvano::test::ZipItem;
using zelvano::test::ZipWriter;

namespace {

constexpr uint16_t kLzmaEndMarker = 0x0002;

// Half noise, half repeated text: the streams have literals and matches, and do not shrink to nothing.
QByteArray Payload(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    const QByteArray text = QByteArrayLiteral("Holiday 2025, beach and harbour, frame ");
    for (int i = 0; i < size; ++i)
        bytes[i] = (i / 4096) % 2 ? char(generator.bounded(256)) : text.at(i % text.size());
    return bytes;
}

QByteArray Noise(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

struct Method
{
    const char* name;
    uint16_t method;
    uint16_t flags;
};

const Method kMethods[] = {
    {"BZip2", 12, 0}, {"LZMA", 14, 0},      {"LZMA with end marker", 14, kLzmaEndMarker},
    {"XZ", 95, 0},    {"Zstandard", 93, 0},
};

// The bytes the stream's own header takes (ZIP's LZMA header and properties), kept whole where a row damages
// only the stream itself.
int HeaderSize(uint16_t method)
{
    return method == 14 ? 9 : 0;
}

} // namespace

class TestZipDecoders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void entries_data();
    void entries();
    void tooMuchMemory_data();
    void tooMuchMemory();
    void largeEntryInChunks_data();
    void largeEntryInChunks();
    void severalZstandardFrames();
    void dripFed_data();
    void dripFed();
    void stillRefused_data();
    void stillRefused();
    void madeBy7z_data();
    void madeBy7z();

private:
    QString Save(const QByteArray& bytes);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestZipDecoders::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestZipDecoders::Save(const QByteArray& bytes)
{
    const QString path = m_dir->filePath(QStringLiteral("archive.zip"));
    return zelvano::test::WriteFile(path, bytes) ? path : QString();
}

void TestZipDecoders::entries_data()
{
    QTest::addColumn<ZipItem>("item");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QByteArray>("output"); // what the file holds afterwards

    const QByteArray data = Payload(60000, 7);
    for (const Method& m : kMethods) {
        ZipItem good;
        good.name = "photo.jpg";
        good.data = data;
        good.method = m.method;
        good.flags = m.flags;
        const QByteArray packed = ZipWriter::Compress(m.method, data, m.flags);
        QVERIFY(!packed.isEmpty());
        const QByteArray name(m.name);

        QTest::newRow(name + ": good") << good << ZIPRES_OK << data;

        ZipItem item = good;
        item.crc = ZipWriter::Crc(data) ^ 1;
        QTest::newRow(name + ": CRC mismatch") << item << ZIPRES_CRC << data;

        item = good;
        item.unpackedSize = uint64_t(data.size() - 1000);
        // Without an end marker an LZMA stream is decoded up to the declared size only: a stream that goes
        // on there is damaged rather than too big.
        const bool sizedLzma = m.method == 14 && !(m.flags & kLzmaEndMarker);
        QTest::newRow(name + ": longer than declared")
            << item << (sizedLzma ? ZIPRES_WRITE : ZIPRES_TOOBIG) << data.left(data.size() - 1000);

        item = good;
        item.packed = packed.left(packed.size() / 2);
        QTest::newRow(name + ": truncated stream") << item << ZIPRES_WRITE << QByteArray();

        item = good;
        item.packed = packed.left(HeaderSize(m.method)) + Noise(5000, 3);
        QTest::newRow(name + ": garbage stream") << item << ZIPRES_WRITE << QByteArray();

        item = good;
        item.packed = QByteArray();
        QTest::newRow(name + ": no data at all") << item << ZIPRES_WRITE << QByteArray();
    }

    ZipItem item;
    item.name = "photo.jpg";
    item.data = data;
    item.method = 14;
    item.packed = ZipWriter::Compress(14, data);
    (*item.packed)[2] = 6; // a properties length LZMA does not have
    QTest::newRow("LZMA: wrong properties length") << item << ZIPRES_WRITE << QByteArray();

    item.packed = ZipWriter::Compress(14, data);
    (*item.packed)[4] = char(0xFF); // lc/lp/pb out of range
    QTest::newRow("LZMA: impossible properties") << item << ZIPRES_WRITE << QByteArray();

    // The flag says an end marker follows, but the stream has none: it runs out of data.
    item.packed = ZipWriter::Compress(14, data);
    item.flags = kLzmaEndMarker;
    QTest::newRow("LZMA: end marker flagged, none written") << item << ZIPRES_WRITE << QByteArray();

    // The stream ends at its marker before the declared size.
    item.packed = ZipWriter::Compress(14, data, kLzmaEndMarker);
    item.unpackedSize = uint64_t(data.size() + 10);
    QTest::newRow("LZMA: end marker before the declared size") << item << ZIPRES_WRITE << data;

    ZipItem empty;
    empty.name = "empty.jpg";
    for (const Method& m : kMethods) {
        empty.method = m.method;
        empty.flags = m.flags;
        QTest::newRow(QByteArray(m.name) + ": empty entry") << empty << ZIPRES_OK << QByteArray();
    }
}

void TestZipDecoders::entries()
{
    QFETCH(ZipItem, item);
    QFETCH(int, expected);
    QFETCH(QByteArray, output);

    ZipWriter zip;
    zip.add("first.jpg", "before", 0);
    const QByteArray name = item.name;
    zip.add(name, item.data) = item;
    const QString path = Save(zip.build());
    ZipHandlePtr handle(ZipOpen(path));
    QVERIFY(handle);

    ZipEntry entry;
    QCOMPARE(ZipGetEntry(handle.get(), 1, entry), ZIPRES_OK);
    const QString out = m_dir->filePath(QStringLiteral("out.jpg"));
    QCOMPARE(ZipResultName(ZipExtractEntry(handle.get(), 1, out)), ZipResultName(expected));
    if (!output.isEmpty() || expected == ZIPRES_OK) {
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), output);
    }
    // Each entry gets a decoder of its own: the next one reads whatever happened before.
    QCOMPARE(ZipExtractEntry(handle.get(), 0, m_dir->filePath(QStringLiteral("first.jpg"))), ZIPRES_OK);
}

// Streams whose window or dictionary is far beyond what a decoder may take are refused at once, without
// taking that memory.
void TestZipDecoders::tooMuchMemory_data()
{
    QTest::addColumn<ZipItem>("item");

    const QByteArray data = Payload(20000, 11);
    ZipItem item;
    item.name = "photo.jpg";
    item.data = data;
    item.unpackedSize = uint64_t(1) << 31; // a dictionary as large as the claimed output is not clamped away

    item.method = 14;
    item.flags = kLzmaEndMarker;
    item.packed = ZipWriter::Compress(14, data, kLzmaEndMarker);
    for (int i = 5; i < 9; ++i)
        (*item.packed)[i] = char(0xFF); // a 4 GiB dictionary
    QTest::newRow("LZMA dictionary") << item;

    // XZ: the block header's LZMA2 dictionary byte raised to 4 GiB, its CRC mended.
    item.method = 95;
    item.flags = 0;
    QByteArray xz = ZipWriter::Compress(95, data);
    const int blockStart = 12;
    const int blockSize = (uchar(xz.at(blockStart)) + 1) * 4;
    const int filter = xz.indexOf(QByteArray("\x21\x01", 2), blockStart);
    QVERIFY(filter > blockStart && filter < blockStart + blockSize - 4);
    xz[filter + 2] = char(40);
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(xz.constData() + blockStart), uInt(blockSize - 4));
    for (int i = 0; i < 4; ++i)
        xz[blockStart + blockSize - 4 + i] = char((crc >> (8 * i)) & 0xFF);
    item.packed = xz;
    QTest::newRow("XZ dictionary") << item;

    // Zstandard: a frame whose window descriptor asks for 1 GiB. A stream of unknown size keeps the window
    // descriptor in its frame header (the fourth byte's single-segment bit clear), the fifth byte.
    ZSTD_CCtx* context = ZSTD_createCCtx();
    QByteArray zstd(qsizetype(ZSTD_compressBound(size_t(data.size())) + 64), Qt::Uninitialized);
    ZSTD_outBuffer output{zstd.data(), size_t(zstd.size()), 0};
    ZSTD_inBuffer input{data.constData(), size_t(data.size()), 0};
    QVERIFY(!ZSTD_isError(ZSTD_compressStream2(context, &output, &input, ZSTD_e_continue)));
    ZSTD_inBuffer none{nullptr, 0, 0};
    QCOMPARE(ZSTD_compressStream2(context, &output, &none, ZSTD_e_end), size_t(0));
    ZSTD_freeCCtx(context);
    zstd.resize(qsizetype(output.pos));
    QCOMPARE(uchar(zstd.at(4)) & 0x20, 0);
    zstd[5] = char((30 - 10) << 3);
    item.method = 93;
    item.packed = zstd;
    QTest::newRow("Zstandard window") << item;
}

void TestZipDecoders::tooMuchMemory()
{
    QFETCH(ZipItem, item);
    ZipWriter zip;
    zip.add(item.name, item.data) = item;
    ZipHandlePtr handle(ZipOpen(Save(zip.build())));
    QVERIFY(handle);
    const QString out = m_dir->filePath(QStringLiteral("out.jpg"));
    QCOMPARE(ZipResultName(ZipExtractEntry(handle.get(), 0, out)), ZipResultName(ZIPRES_WRITE));
    QCOMPARE(QFileInfo(out).size(), qint64(0));
}

void TestZipDecoders::largeEntryInChunks_data()
{
    QTest::addColumn<uint16_t>("method");
    QTest::addColumn<uint16_t>("flags");
    for (const Method& m : kMethods)
        QTest::newRow(m.name) << m.method << m.flags;
}

// A few megabytes come out in many chunks, each behind the hook; the hook stops the copy in the middle.
void TestZipDecoders::largeEntryInChunks()
{
    QFETCH(uint16_t, method);
    QFETCH(uint16_t, flags);
    const QByteArray data = Payload(3 * 1024 * 1024, 5);
    ZipWriter zip;
    zip.add("big.jpg", data, method).flags = flags;
    ZipHandlePtr handle(ZipOpen(Save(zip.build())));
    QVERIFY(handle);

    const QString out = m_dir->filePath(QStringLiteral("big.jpg"));
    int calls = 0;
    QCOMPARE(ZipExtractEntry(handle.get(), 0, out, [&] { return ++calls > 0; }), ZIPRES_OK);
    QVERIFY2(calls >= 12, qPrintable(QString::number(calls)));
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == data);
    file.close();

    calls = 0;
    QCOMPARE(ZipExtractEntry(handle.get(), 0, out, [&] { return ++calls < 4; }), ZIPRES_STOPPED);
    QCOMPARE(calls, 4);
    QVERIFY(QFileInfo(out).size() < data.size());
}

void TestZipDecoders::severalZstandardFrames()
{
    const QByteArray first = Payload(40000, 1);
    const QByteArray second = Payload(30000, 2);
    ZipWriter zip;
    ZipItem& item = zip.add("photo.jpg", first + second, 93);
    item.packed = ZipWriter::Compress(93, first) + ZipWriter::Compress(93, second);
    ZipHandlePtr handle(ZipOpen(Save(zip.build())));
    QVERIFY(handle);
    const QString out = m_dir->filePath(QStringLiteral("out.jpg"));
    QCOMPARE(ZipExtractEntry(handle.get(), 0, out), ZIPRES_OK);
    QCOMPARE(QFileInfo(out).size(), qint64(first.size() + second.size()));
}

void TestZipDecoders::dripFed_data()
{
    QTest::addColumn<uint16_t>("method");
    QTest::addColumn<uint16_t>("flags");
    QTest::newRow("stored") << uint16_t(0) << uint16_t(0);
    QTest::newRow("Deflate") << uint16_t(8) << uint16_t(0);
    for (const Method& m : kMethods)
        QTest::newRow(m.name) << m.method << m.flags;
}

// One input byte and a few output bytes per step: every decoder keeps its state across steps (the LZMA
// header split over many steps, a Zstandard frame ending at the last byte) and ends exactly once.
void TestZipDecoders::dripFed()
{
    QFETCH(uint16_t, method);
    QFETCH(uint16_t, flags);
    const QByteArray data = Payload(9000, 21);
    const QByteArray packed = ZipWriter::Compress(method, data, flags);
    const std::unique_ptr<zelvano::zip::ZipDecoder> decoder =
        zelvano::zip::MakeZipDecoder(method, flags, uint64_t(data.size()));
    QVERIFY(decoder);

    QByteArray out;
    qsizetype position = 0;
    zelvano::zip::DecodeStatus status = zelvano::zip::DecodeStatus::Ok;
    for (int steps = 0; status == zelvano::zip::DecodeStatus::Ok && steps < 1000000; ++steps) {
        unsigned char room[7];
        zelvano::zip::DecodeBuffers buffers;
        buffers.in = reinterpret_cast<const unsigned char*>(packed.constData()) + position;
        buffers.inLeft = position < packed.size() ? 1 : 0;
        buffers.inputEnds = position + qsizetype(buffers.inLeft) == packed.size();
        buffers.out = room;
        buffers.outLeft = sizeof room;
        const size_t given = buffers.inLeft;
        status = decoder->Step(buffers);
        position += qsizetype(given - buffers.inLeft);
        out.append(reinterpret_cast<const char*>(room), qsizetype(sizeof room - buffers.outLeft));
    }
    QCOMPARE(int(status), int(zelvano::zip::DecodeStatus::End));
    QCOMPARE(out.size(), data.size());
    QVERIFY(out == data);
}

void TestZipDecoders::stillRefused_data()
{
    QTest::addColumn<uint16_t>("method");
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<int>("expected");
    QTest::newRow("Deflate64") << uint16_t(9) << false << ZIPRES_METHOD;
    QTest::newRow("PPMd") << uint16_t(98) << false << ZIPRES_METHOD;
    QTest::newRow("encrypted BZip2") << uint16_t(12) << true << ZIPRES_ENCRYPTED;
    QTest::newRow("encrypted Zstandard") << uint16_t(93) << true << ZIPRES_ENCRYPTED;
}

void TestZipDecoders::stillRefused()
{
    QFETCH(uint16_t, method);
    QFETCH(bool, encrypted);
    QFETCH(int, expected);
    ZipWriter zip;
    zip.add("photo.jpg", Payload(3000, 9), method).encrypted = encrypted;
    ZipHandlePtr handle(ZipOpen(Save(zip.build())));
    QVERIFY(handle);
    int listed = -1;
    ZipListEntries(handle.get(), [&](const ZipEntry&, int32_t result) {
        listed = result;
        return true;
    });
    QCOMPARE(listed, encrypted ? ZIPRES_OK : ZIPRES_METHOD);
    const QString out = m_dir->filePath(QStringLiteral("out.jpg"));
    QCOMPARE(ZipResultName(ZipExtractEntry(handle.get(), 0, out)), ZipResultName(expected));
    QVERIFY(!QFileInfo::exists(out));
}

void TestZipDecoders::madeBy7z_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("expected");
    QTest::newRow("BZip2") << QStringLiteral("BZip2") << ZIPRES_OK;
    QTest::newRow("LZMA") << QStringLiteral("LZMA") << ZIPRES_OK;
    QTest::newRow("LZMA with end marker") << QStringLiteral("LZMA:eos") << ZIPRES_OK;
    QTest::newRow("Deflate64") << QStringLiteral("Deflate64") << ZIPRES_METHOD;
    QTest::newRow("PPMd") << QStringLiteral("PPMd") << ZIPRES_METHOD;
}

// Archives as 7-Zip writes them, when it is installed.
void TestZipDecoders::madeBy7z()
{
    QFETCH(QString, method);
    QFETCH(int, expected);
    const QString sevenZip = QStandardPaths::findExecutable(QStringLiteral("7z"));
    if (sevenZip.isEmpty())
        QSKIP("7z is not installed");

    const QByteArray data = Payload(400000, 13);
    const QString source = m_dir->filePath(QStringLiteral("photo.jpg"));
    QVERIFY(zelvano::test::WriteFile(source, data));
    const QString path = m_dir->filePath(QStringLiteral("made.zip"));
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.start(sevenZip, {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mm=") + method, path,
                             QStringLiteral("photo.jpg")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);

    ZipHandlePtr handle(ZipOpen(path));
    QVERIFY(handle);
    const QString out = m_dir->filePath(QStringLiteral("out.jpg"));
    QCOMPARE(ZipResultName(ZipExtractEntry(handle.get(), 0, out)), ZipResultName(expected));
    if (expected == ZIPRES_OK) {
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == data);
    }
}

QTEST_GUILESS_MAIN(TestZipDecoders)
#include "tst_zipdecoders.moc"
