// ZIP64: end record and locator, extra fields in central and local headers, offsets and sizes past 4 GiB.
#include "archive/zip.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <QTemporaryDir>
#include <QtTest>

using zelvano::test::ZipItem;
using zelvano::test::ZipWriter;

class TestZip64 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void smallEntries_data();
    void smallEntries();
    void endRecords_data();
    void endRecords();
    void offsetsPast4GiB();
    void sizePast4GiB();

private:
    QTemporaryDir m_dir;
};

static const QByteArray kText = QByteArray("ZIP64 entry text. ").repeated(3000);

void TestZip64::smallEntries_data()
{
    QTest::addColumn<QByteArray>("archive");

    auto make = [](bool saturate, bool descriptor, const QByteArray& stub) {
        ZipWriter w;
        w.stub = stub;
        w.zip64End = true;
        w.saturateEnd = saturate;
        w.add("first.jpg", "first").zip64 = true;
        ZipItem& item = w.add("second.jpg", kText);
        item.zip64 = true;
        item.dataDescriptor = descriptor;
        w.add("plain.jpg", "no extra field", 0);
        return w.build();
    };
    QTest::newRow("ZIP64 fields, saturated end record") << make(true, false, QByteArray());
    QTest::newRow("ZIP64 end record beside true classic values") << make(false, false, QByteArray());
    QTest::newRow("ZIP64 behind a stub") << make(true, false, QByteArray(3000, 'M'));
    QTest::newRow("ZIP64 with a data descriptor") << make(true, true, QByteArray());
}

void TestZip64::smallEntries()
{
    QFETCH(QByteArray, archive);
    const QString path = m_dir.filePath(QStringLiteral("small64.zip"));
    QVERIFY(zelvano::test::WriteFile(path, archive));
    ZipHandlePtr zip(ZipOpen(path));
    QVERIFY(zip);
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), -1, entry), ZIPRES_OK);
    QCOMPARE(entry.m_nIndex, 3);
    QCOMPARE(ZipGetEntry(zip.get(), 1, entry), ZIPRES_OK);
    QCOMPARE(entry.m_nUnpackedSize, int64_t(kText.size()));
    QCOMPARE(entry.m_nPackedSize, int64_t(ZipWriter::Deflate(kText).size()));
    QVERIFY(entry.m_nLocalHeaderOffset > 0);
    const QString out = m_dir.filePath(QStringLiteral("second.jpg"));
    QCOMPARE(ZipExtractEntry(zip.get(), 1, out), ZIPRES_OK);
    QCOMPARE(zelvano::test::ReadFile(out), kText);
    QCOMPARE(ZipExtractEntry(zip.get(), 2, out), ZIPRES_OK);
    QCOMPARE(zelvano::test::ReadFile(out), QByteArray("no extra field"));
}

void TestZip64::endRecords_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("entryResult"); // of entry 0 when the archive opens

    auto base = [] {
        ZipWriter w;
        w.zip64End = true;
        w.add("a.jpg", "alpha").zip64 = true;
        return w;
    };
    {
        ZipWriter w = base();
        w.zip64EntriesTotal = 7;
        QTest::newRow("ZIP64 entry counts differ") << w.build() << ZIPRES_BADZIP << 0;
    }
    {
        QByteArray bytes = base().build();
        bytes[bytes.lastIndexOf("PK\x06\x06") + 3] = 0x07;
        QTest::newRow("locator without its record, saturated end") << bytes << ZIPRES_BADZIP << 0;
        ZipWriter w = base();
        w.saturateEnd = false;
        bytes = w.build();
        bytes[bytes.lastIndexOf("PK\x06\x06") + 3] = 0x07;
        QTest::newRow("locator without its record, classic values not saturated") << bytes << ZIPRES_BADZIP << 0;
    }
    {
        QByteArray bytes = base().build();
        bytes[bytes.lastIndexOf("PK\x06\x07") + 16] = 3; // three disks
        QTest::newRow("locator: multi-disk") << bytes << ZIPRES_BADZIP << 0;
    }
    {
        ZipWriter w;
        ZipItem& item = w.add("a.jpg", "alpha");
        item.packedSize = 0xFFFFFFFFu; // saturated but no ZIP64 field to widen it
        QTest::newRow("saturated size without ZIP64 field") << w.build() << ZIPRES_OK << ZIPRES_DAMAGED;
    }
    {
        ZipWriter w;
        ZipItem& item = w.add("a.jpg", "alpha");
        item.zip64 = true;
        item.centralExtra = QByteArray();
        QByteArray bytes = w.build();
        // Shorten the central ZIP64 field to 8 bytes: the offset and packed size stay saturated.
        const qsizetype central = bytes.indexOf("PK\x01\x02");
        const qsizetype field = bytes.indexOf(QByteArray("\x01\x00\x18\x00", 4), central);
        bytes[field + 2] = 8;
        QTest::newRow("ZIP64 field too short for its values") << bytes << ZIPRES_OK << ZIPRES_READ;
    }
}

void TestZip64::endRecords()
{
    QFETCH(QByteArray, archive);
    QFETCH(int, result);
    QFETCH(int, entryResult);
    const QString path = m_dir.filePath(QStringLiteral("end64.zip"));
    QVERIFY(zelvano::test::WriteFile(path, archive));
    ZipHandlePtr zip(ZipOpen(path));
    QCOMPARE(ZipGetLastResult(), result);
    if (!zip)
        return;
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), 0, entry), entryResult);
}

void TestZip64::offsetsPast4GiB()
{
    // The archive starts 5 GiB into a sparse file, so its offsets need 64 bits.
    const uint64_t base = 5ull << 30;
    ZipWriter w;
    w.baseOffset = base;
    w.add("far.jpg", kText).zip64 = true;
    w.add("farther.jpg", "stored far away", 0).zip64 = true;
    const QString path = m_dir.filePath(QStringLiteral("far64.zip"));
    QVERIFY(zelvano::test::WriteSparseFile(path, base, w.build()));

    ZipHandlePtr zip(ZipOpen(path));
    QVERIFY(zip);
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), 1, entry), ZIPRES_OK);
    QVERIFY(entry.m_nLocalHeaderOffset > int64_t(base));
    QCOMPARE(ZipGetEntry(zip.get(), 0, entry), ZIPRES_OK);
    QCOMPARE(entry.m_nLocalHeaderOffset, int64_t(base));
    const QString out = m_dir.filePath(QStringLiteral("far.jpg"));
    QCOMPARE(ZipExtractEntry(zip.get(), 0, out), ZIPRES_OK);
    QCOMPARE(zelvano::test::ReadFile(out), kText);
    QCOMPARE(ZipExtractEntry(zip.get(), 1, out), ZIPRES_OK);
    QCOMPARE(zelvano::test::ReadFile(out), QByteArray("stored far away"));
    QFile::remove(path);
}

void TestZip64::sizePast4GiB()
{
    // 4 GiB and a bit of zeros compress to about 4 MB; the entry lists and extracts its true size.
    const uint64_t size = (4ull << 30) + 4097;
    uint32_t crc = 0;
    ZipWriter w;
    ZipItem& item = w.add("huge.tif", QByteArray());
    item.packed = ZipWriter::DeflatedZeros(size, crc);
    item.unpackedSize = size;
    item.crc = crc;
    item.zip64 = true;
    const QString path = m_dir.filePath(QStringLiteral("huge64.zip"));
    QVERIFY(zelvano::test::WriteFile(path, w.build()));

    ZipHandlePtr zip(ZipOpen(path));
    QVERIFY(zip);
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), 0, entry), ZIPRES_OK);
    QCOMPARE(entry.m_nUnpackedSize, int64_t(size));
    // Inflating 4 GiB takes half a minute on a small machine: only when asked for.
    if (qEnvironmentVariableIsEmpty("ZELVANO_LONG_TESTS"))
        QSKIP("set ZELVANO_LONG_TESTS=1 to inflate the whole entry");
#ifdef Q_OS_LINUX
    // Inflate it all and check the CRC, writing to a sink rather than the disk.
    QCOMPARE(ZipExtractEntry(zip.get(), 0, QStringLiteral("/dev/null")), ZIPRES_OK);
#endif
}

QTEST_GUILESS_MAIN(TestZip64)
#include "tst_zip64.moc"
