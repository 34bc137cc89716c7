// Listing ZIP entries: the count record, the directory cursor and its cache, the local-header check,
// attributes, times, names, damaged directory records, and the directory-only listing beside ZipGetEntry.
#include "archive/zip.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

using zelvano::test::ZipItem;
using zelvano::test::ZipWriter;

class TestZipList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void countRecord();
    void indexOutOfRange_data();
    void indexOutOfRange();
    void cacheAndRewind();
    void attributes_data();
    void attributes();
    void times_data();
    void times();
    void names_data();
    void names();
    void localHeader_data();
    void localHeader();
    void damagedDirectoryRecord_data();
    void damagedDirectoryRecord();
    void descriptorAndEncryptedList();
    void directoryListing_data();
    void directoryListing();
    void directoryListingStops();

private:
    ZipHandlePtr Open(const QByteArray& bytes, const QString& name = QStringLiteral("list.zip"));
    QTemporaryDir m_dir;
};

ZipHandlePtr TestZipList::Open(const QByteArray& bytes, const QString& name)
{
    const QString path = m_dir.filePath(name);
    if (!zelvano::test::WriteFile(path, bytes))
        return nullptr;
    return ZipHandlePtr(ZipOpen(path));
}

static QDateTime Utc(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc());
}

void TestZipList::countRecord()
{
    ZipHandlePtr empty = Open(ZipWriter().build());
    QVERIFY(empty);
    ZipEntry entry;
    entry.m_nIndex = 99;
    entry.m_szName = QStringLiteral("stale");
    QCOMPARE(ZipGetEntry(empty.get(), -1, entry), ZIPRES_OK);
    QCOMPARE(entry.m_nIndex, 0);

    ZipWriter w;
    w.add("a.jpg", "1");
    w.add("b.jpg", "2");
    w.add("c.jpg", "3");
    ZipHandlePtr three = Open(w.build());
    QCOMPARE(ZipGetEntry(three.get(), 1, entry), ZIPRES_OK);
    QCOMPARE(ZipGetEntry(three.get(), -1, entry), ZIPRES_OK);
    QCOMPARE(entry.m_nIndex, 3);
    QVERIFY(entry.m_szName.isEmpty());
    QCOMPARE(entry.m_dwAttributes, 0u);
    QCOMPARE(entry.m_nUnpackedSize, int64_t(0));
    QVERIFY(!entry.m_ftModified.isValid());
}

void TestZipList::indexOutOfRange_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("below -1") << -2;
    QTest::newRow("equal to the count") << 2;
    QTest::newRow("far beyond") << 1000000;
}

void TestZipList::indexOutOfRange()
{
    QFETCH(int, index);
    ZipWriter w;
    w.add("a.jpg", "1");
    w.add("b.jpg", "2");
    ZipHandlePtr zip = Open(w.build());
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), index, entry), ZIPRES_ARGS);
    QCOMPARE(ZipExtractEntry(zip.get(), index, m_dir.filePath(QStringLiteral("out.jpg"))), ZIPRES_ARGS);
    QCOMPARE(ZipGetLastResult(), ZIPRES_ARGS);
}

void TestZipList::cacheAndRewind()
{
    ZipWriter w;
    for (int i = 0; i < 7; ++i)
        w.add(QByteArray("photo") + QByteArray::number(i) + ".jpg", QByteArray(100 + i, char('a' + i)));
    const QString path = m_dir.filePath(QStringLiteral("cursor.zip"));
    QVERIFY(zelvano::test::WriteFile(path, w.build()));
    ZipHandlePtr zip(ZipOpen(path));
    QVERIFY(zip);

    ZipEntry entry;
    for (int index : {3, 1, 6, 0, 5}) {
        QCOMPARE(ZipGetEntry(zip.get(), index, entry), ZIPRES_OK);
        QCOMPARE(entry.m_nIndex, index);
        QCOMPARE(entry.m_szName, QStringLiteral("photo%1.jpg").arg(index));
        QCOMPARE(entry.m_nUnpackedSize, int64_t(100 + index));
    }
    // The same index again is served from the cache: it reads nothing, so it still answers after the
    // file is emptied, while any other index now fails to read its local header.
    QFile file(path);
    QVERIFY(file.resize(0));
    ZipEntry again;
    QCOMPARE(ZipGetEntry(zip.get(), 5, again), ZIPRES_OK);
    QCOMPARE(again.m_szName, entry.m_szName);
    QCOMPARE(again.m_nUnpackedSize, entry.m_nUnpackedSize);
    QCOMPARE(ZipGetEntry(zip.get(), 4, again), ZIPRES_READ);
}

void TestZipList::attributes_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<uint>("external");
    QTest::addColumn<uint>("attributes");

    QTest::newRow("Unix folder (mode 040755): directory") << QByteArray("Album/") << (040755u << 16) << 0x90u;
    QTest::newRow("Unix directory bit alone") << QByteArray("Album/") << 0x40000000u << 0x90u;
    QTest::newRow("DOS directory bit") << QByteArray("Album/") << 0x10u << 0x90u;
    QTest::newRow("Unix file 0644 with archive bit") << QByteArray("a.jpg") << ((0100644u << 16) | 0x20u) << 0xA0u;
    QTest::newRow("Unix file 0777 is no folder") << QByteArray("a.jpg") << (0100777u << 16) << 0x80u;
    QTest::newRow("Unix file 0666 is no folder") << QByteArray("a.jpg") << (0100666u << 16) << 0x80u;
    QTest::newRow("read-only, hidden, system") << QByteArray("a.jpg") << 0x07u << 0x87u;
    QTest::newRow("volume label and device bits dropped") << QByteArray("a.jpg") << 0x48u << 0x80u;
    QTest::newRow("nothing set") << QByteArray("a.jpg") << 0u << 0x80u;
}

void TestZipList::attributes()
{
    QFETCH(QByteArray, name);
    QFETCH(uint, external);
    QFETCH(uint, attributes);
    ZipWriter w;
    w.add(name, QByteArray()).externalAttributes = external;
    ZipHandlePtr zip = Open(w.build());
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), 0, entry), ZIPRES_OK);
    QCOMPARE(entry.m_dwAttributes, attributes);
    QCOMPARE(entry.m_dwExternalAttributes, external);
}

void TestZipList::times_data()
{
    QTest::addColumn<ZipItem>("item");
    QTest::addColumn<QDateTime>("modified");
    QTest::addColumn<QDateTime>("accessed");
    QTest::addColumn<QDateTime>("created");

    const QDateTime dos = Utc(2025, 1, 1, 12, 0, 0);
    ZipItem item;
    item.name = "a.jpg";
    item.data = "x";
    QTest::newRow("DOS time for all three") << item << dos << dos << dos;

    item.dosDate = (10 << 9) | (7 << 5) | 31;   // 1990-07-31
    item.dosTime = (23 << 11) | (59 << 5) | 29; // 23:59:58
    const QDateTime late = Utc(1990, 7, 31, 23, 59, 58);
    QTest::newRow("DOS fields taken as they are") << item << late << late << late;

    ZipItem ut = item;
    ut.utModified = 1600000000u;
    QTest::newRow("UT with modification time only")
        << ut << QDateTime::fromSecsSinceEpoch(1600000000, QTimeZone::utc()) << late << late;
    ut.utAccessed = 1600000100u;
    ut.utCreated = 1500000000u;
    QTest::newRow("UT with all three") << ut << QDateTime::fromSecsSinceEpoch(1600000000, QTimeZone::utc())
                                       << QDateTime::fromSecsSinceEpoch(1600000100, QTimeZone::utc())
                                       << QDateTime::fromSecsSinceEpoch(1500000000, QTimeZone::utc());
    ZipItem pastEpoch = item;
    pastEpoch.utModified = 0xF0000000u; // after 2038: unsigned seconds
    QTest::newRow("UT after 2038") << pastEpoch << QDateTime::fromSecsSinceEpoch(0xF0000000ll, QTimeZone::utc()) << late
                                   << late;

    ZipItem shortBlock = item;
    // Flags promise three times but the block holds only one: the missing ones keep the DOS time.
    shortBlock.localExtra = QByteArray("UT\x05\x00\x07\x00\xE1\xF5\x05", 9);
    QTest::newRow("UT block shorter than its flags")
        << shortBlock << QDateTime::fromSecsSinceEpoch(0x05F5E100, QTimeZone::utc()) << late << late;

    ZipItem afterOther = item;
    afterOther.localExtra = QByteArray("ux\x04\x00\xE8\x03\xE8\x03UT\x05\x00\x01\x00\xE1\xF5\x05", 17);
    QTest::newRow("UT after another block")
        << afterOther << QDateTime::fromSecsSinceEpoch(0x05F5E100, QTimeZone::utc()) << late << late;

    ZipItem broken = item;
    broken.localExtra = QByteArray("ux\xFF\x00UT\x05\x00\x01\x00\xE1\xF5\x05", 13); // first block runs past the end
    QTest::newRow("extra walk stops at a block past the end") << broken << late << late << late;

    ZipItem impossible = item;
    impossible.dosDate = (45 << 9) | (0 << 5) | 1; // month 0
    QTest::newRow("impossible DOS date") << impossible << QDateTime() << QDateTime() << QDateTime();
}

void TestZipList::times()
{
    QFETCH(ZipItem, item);
    QFETCH(QDateTime, modified);
    QFETCH(QDateTime, accessed);
    QFETCH(QDateTime, created);
    ZipWriter w;
    w.add("first.jpg", "1");
    w.add("x", "") = item;
    ZipHandlePtr zip = Open(w.build());
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), 1, entry), ZIPRES_OK);
    QCOMPARE(entry.m_ftModified, modified);
    QCOMPARE(entry.m_ftAccessed, accessed);
    QCOMPARE(entry.m_ftCreated, created);
}

void TestZipList::names_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("name");

    QTest::newRow("ASCII") << QByteArray("Trip/IMG_0001.JPG") << 0 << QStringLiteral("Trip/IMG_0001.JPG");
    QTest::newRow("UTF-8 with flag bit 11") << QByteArray("Stra\xC3\x9F"
                                                          "e.jpg")
                                            << 0x0800
                                            << QString::fromUtf8("Stra\xC3\x9F"
                                                                 "e.jpg");
    QTest::newRow("UTF-8 without the flag")
        << QByteArray("\xE6\x97\x85/\xE5\x86\x99.jpg") << 0 << QString::fromUtf8("\xE6\x97\x85/\xE5\x86\x99.jpg");
    QTest::newRow("code page 437") << QByteArray("\x81"
                                                 "ber/Gr\x94\xE1"
                                                 "e.jpg")
                                   << 0
                                   << QString::fromUtf8("\xC3\xBC"
                                                        "ber/Gr\xC3\xB6\xC3\x9F"
                                                        "e.jpg");
    QTest::newRow("code page 437 box and Greek")
        << QByteArray("\xC9\xCD\xBB\xE3\xFF") << 0
        << QString::fromUtf8("\xE2\x95\x94\xE2\x95\x90\xE2\x95\x97\xCF\x80\xC2\xA0");
    // Replacement characters would lose the bytes (and make different names equal): code page 437 keeps them.
    QTest::newRow("flag set but bytes not UTF-8")
        << QByteArray("a\xFF.jpg") << 0x0800 << QString::fromUtf8("a\xC2\xA0.jpg");
    QTest::newRow("flag set, another byte that is not UTF-8")
        << QByteArray("a\xFE.jpg") << 0x0800 << QString::fromUtf8("a\xE2\x96\xA0.jpg");
    QTest::newRow("flag set, UTF-8 sequence cut short") << QByteArray("\x81"
                                                                      "ber \xC3.jpg")
                                                        << 0x0800
                                                        << QString::fromUtf8("\xC3\xBC"
                                                                             "ber \xE2\x94\x9C.jpg");
    QTest::newRow("name of 1,000 bytes kept whole")
        << QByteArray(996, 'n') + ".jpg" << 0 << QString(996, QLatin1Char('n')) + QStringLiteral(".jpg");
    QTest::newRow("NUL inside kept whole")
        << QByteArray("a\0b.jpg", 7) << 0 << QString::fromLatin1(QByteArray("a\0b.jpg", 7));
}

void TestZipList::names()
{
    QFETCH(QByteArray, raw);
    QFETCH(int, flags);
    QFETCH(QString, name);
    ZipWriter w;
    w.add(raw, "data").flags = uint16_t(flags);
    ZipHandlePtr zip = Open(w.build());
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), 0, entry), ZIPRES_OK);
    QCOMPARE(entry.m_szName, name);
    QCOMPARE(entry.m_rawName, raw);
}

void TestZipList::localHeader_data()
{
    QTest::addColumn<ZipItem>("item");
    QTest::addColumn<int>("result");

    ZipItem good;
    good.name = "photo.jpg";
    good.data = QByteArray(5000, 'p');
    QTest::newRow("matching headers") << good << ZIPRES_OK;

    ZipItem item = good;
    item.localSignature = 0x04034B51;
    QTest::newRow("bad local signature") << item << ZIPRES_CORRUPT;
    item = good;
    item.localMethod = 0;
    QTest::newRow("local method differs") << item << ZIPRES_CORRUPT;
    item = good;
    item.localCrc = 0x12345678;
    QTest::newRow("local CRC differs") << item << ZIPRES_CORRUPT;
    item = good;
    item.localUnpackedSize = 4999;
    QTest::newRow("local size differs") << item << ZIPRES_CORRUPT;
    item = good;
    item.localName = "photo.jpeg";
    QTest::newRow("local name length differs") << item << ZIPRES_CORRUPT;
    item = good;
    item.localName = "PHOTO.JPG";
    QTest::newRow("local name of the same length") << item << ZIPRES_OK;
    item = good;
    item.method = 9; // Deflate64
    QTest::newRow("unsupported method") << item << ZIPRES_METHOD;
    item = good;
    item.method = 99;
    QTest::newRow("AES method without the encrypted flag") << item << ZIPRES_CORRUPT;
    item = good;
    item.dataDescriptor = true;
    QTest::newRow("data descriptor: local sizes are zero") << item << ZIPRES_OK;
    item = good;
    item.localOffset = 0x7FFFFFFF;
    QTest::newRow("local header beyond the file") << item << ZIPRES_READ;
    item = good;
    item.localExtra = QByteArray("zz\x10\x00", 4); // declares 16 bytes; the data follows instead
    QTest::newRow("extra block longer than the extra field") << item << ZIPRES_OK;
}

void TestZipList::localHeader()
{
    QFETCH(ZipItem, item);
    QFETCH(int, result);
    ZipWriter w;
    w.add("x", "") = item;
    ZipHandlePtr zip = Open(w.build());
    QVERIFY(zip);
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), 0, entry), result);
    // Even a record that fails the check names its entry, so a caller can report it.
    QCOMPARE(entry.m_rawName, item.name);
    QCOMPARE(entry.m_nUnpackedSize, int64_t(item.data.size()));
    if (result != ZIPRES_OK)
        QCOMPARE(ZipExtractEntry(zip.get(), 0, m_dir.filePath(QStringLiteral("local.out"))), result);
}

void TestZipList::damagedDirectoryRecord_data()
{
    QTest::addColumn<int>("damaged");
    QTest::newRow("first record damaged") << 0;
    QTest::newRow("middle record damaged") << 2;
    QTest::newRow("last record damaged") << 4;
}

void TestZipList::damagedDirectoryRecord()
{
    QFETCH(int, damaged);
    ZipWriter w;
    for (int i = 0; i < 5; ++i)
        w.add(QByteArray("e") + QByteArray::number(i) + ".jpg", "data");
    w.item(damaged).centralSignature = 0x02014B00;
    ZipHandlePtr zip = Open(w.build());
    QVERIFY(zip); // the open succeeds even when the first record is damaged
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), -1, entry), ZIPRES_OK);
    QCOMPARE(entry.m_nIndex, 5);
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 5; ++i) {
            entry = ZipEntry();
            QCOMPARE(ZipGetEntry(zip.get(), i, entry), i < damaged ? ZIPRES_OK : ZIPRES_BADZIP);
            if (i >= damaged)
                QVERIFY(entry.m_szName.isEmpty());
        }
    }
    QCOMPARE(ZipExtractEntry(zip.get(), 4, m_dir.filePath(QStringLiteral("damaged.out"))), ZIPRES_BADZIP);
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("damaged.out"))));
}

void TestZipList::descriptorAndEncryptedList()
{
    ZipWriter w;
    ZipItem& described = w.add("described.jpg", QByteArray(3000, 'd'));
    described.dataDescriptor = true;
    ZipItem& secret = w.add("secret.jpg", QByteArray(40, 's'), 0);
    secret.encrypted = true;
    ZipHandlePtr zip = Open(w.build());
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), 0, entry), ZIPRES_OK);
    QCOMPARE(entry.m_nUnpackedSize, int64_t(3000));
    QCOMPARE(entry.m_dwCrc, ZipWriter::Crc(QByteArray(3000, 'd')));
    QVERIFY(entry.m_nPackedSize > 0);
    QCOMPARE(ZipGetEntry(zip.get(), 1, entry), ZIPRES_OK);
    QVERIFY(entry.IsEncrypted());
    QCOMPARE(entry.m_nUnpackedSize, int64_t(40));
}

void TestZipList::directoryListing_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QList<int>>("listed"); // the result the listing gives each entry it reports
    QTest::addColumn<int>("result");

    ZipWriter plain;
    plain.addFolder("Album 2024/");
    plain.add("Album 2024/IMG_0001.JPG", QByteArray(700, 'a'));
    plain.add("Album 2024/notes.txt", "text", 0).externalAttributes = (0100644u << 16) | 0x02u;
    plain
        .add("Stra\xC3\x9F"
             "e.jpg",
             "u")
        .flags = 0x0800;
    plain.add("\x81"
              "ber.jpg",
              "cp437");
    plain.add("described.jpg", QByteArray(3000, 'd')).dataDescriptor = true;
    ZipItem& secret = plain.add("secret.jpg", QByteArray(40, 's'), 0);
    secret.encrypted = true;
    plain.add("big.jpg", QByteArray(100, 'z')).zip64 = true;
    plain.comment = "archive comment";
    plain.stub = QByteArray(333, 'S');
    QTest::newRow("good entries of every kind, behind a stub")
        << plain.build() << QList<int>(8, ZIPRES_OK) << ZIPRES_OK;

    ZipWriter local;
    local.add("a.jpg", "1");
    local.add("b.jpg", QByteArray(500, 'b')).localCrc = 0x12345678;
    local.add("c.jpg", "3").localSignature = 0x04034B51;
    local.add("d.jpg", "4");
    QTest::newRow("local header faults wait for extraction") << local.build() << QList<int>(4, ZIPRES_OK) << ZIPRES_OK;

    ZipWriter methods;
    methods.add("deflate64.jpg", "x", 9);
    methods.add("aes without flag.jpg", "x", 99);
    ZipItem& aes = methods.add("aes.jpg", "x", 99);
    aes.encrypted = true;
    QTest::newRow("methods the reader does not read are named at once")
        << methods.build() << QList<int>{ZIPRES_METHOD, ZIPRES_CORRUPT, ZIPRES_METHOD} << ZIPRES_OK;

    ZipWriter beyond;
    beyond.add("a.jpg", "1");
    beyond.add("far.jpg", "2").localOffset = 0x7FFFFFFF;
    beyond.add("huge.jpg", "3").packedSize = 0xFFFFFFF0u;
    QTest::newRow("data that cannot end before the directory")
        << beyond.build() << QList<int>{ZIPRES_OK, ZIPRES_DAMAGED, ZIPRES_DAMAGED} << ZIPRES_OK;

    ZipWriter overlap;
    overlap.add("a.jpg", QByteArray(2000, 'a'));
    overlap.addAlias(0, "b.jpg"); // a name of the same length, so the local header matches
    QTest::newRow("overlapping entries wait for extraction")
        << overlap.build() << QList<int>(2, ZIPRES_OK) << ZIPRES_OK;

    for (int damaged : {0, 2}) {
        ZipWriter broken;
        for (int i = 0; i < 4; ++i)
            broken.add(QByteArray("e") + QByteArray::number(i) + ".jpg", "data");
        broken.item(damaged).centralSignature = 0x02014B00;
        QTest::addRow("damaged record %d ends the listing", damaged)
            << broken.build() << QList<int>(damaged, ZIPRES_OK) << ZIPRES_BADZIP;
    }
    QTest::newRow("no entries") << ZipWriter().build() << QList<int>() << ZIPRES_OK;
}

// The listing reports what ZipGetEntry reports, from the directory alone: every entry ZipGetEntry accepts
// lists with the same record (times aside), and an entry the listing refuses is refused there too.
void TestZipList::directoryListing()
{
    QFETCH(QByteArray, archive);
    QFETCH(QList<int>, listed);
    QFETCH(int, result);
    ZipHandlePtr zip = Open(archive);
    QVERIFY(zip);
    QList<ZipEntry> entries;
    QList<int> results;
    QCOMPARE(ZipListEntries(zip.get(),
                            [&](const ZipEntry& entry, int32_t code) {
                                entries.append(entry);
                                results.append(code);
                                return true;
                            }),
             result);
    QCOMPARE(results, listed);
    for (const ZipEntry& e : entries) {
        QVERIFY(!e.m_ftModified.isValid());
        ZipEntry full;
        const int32_t code = ZipGetEntry(zip.get(), e.m_nIndex, full);
        QCOMPARE(full.m_nIndex, e.m_nIndex);
        QCOMPARE(full.m_szName, e.m_szName);
        QCOMPARE(full.m_rawName, e.m_rawName);
        QCOMPARE(full.m_dwAttributes, e.m_dwAttributes);
        QCOMPARE(full.m_nPackedSize, e.m_nPackedSize);
        QCOMPARE(full.m_nUnpackedSize, e.m_nUnpackedSize);
        QCOMPARE(full.m_nMethod, e.m_nMethod);
        QCOMPARE(full.m_nFlags, e.m_nFlags);
        QCOMPARE(full.m_nVersionMadeBy, e.m_nVersionMadeBy);
        QCOMPARE(full.m_dwCrc, e.m_dwCrc);
        QCOMPARE(full.m_dwExternalAttributes, e.m_dwExternalAttributes);
        QCOMPARE(full.m_nLocalHeaderOffset, e.m_nLocalHeaderOffset);
        if (results.at(e.m_nIndex) != ZIPRES_OK)
            QVERIFY(code != ZIPRES_OK);
    }
    // After the reads of ZipGetEntry a second listing still reports every entry.
    int again = 0;
    QCOMPARE(ZipListEntries(zip.get(), [&](const ZipEntry&, int32_t) { return ++again > 0; }), result);
    QCOMPARE(again, int(listed.size()));
}

void TestZipList::directoryListingStops()
{
    ZipWriter w;
    for (int i = 0; i < 5; ++i)
        w.add(QByteArray("p") + QByteArray::number(i) + ".jpg", "data");
    ZipHandlePtr zip = Open(w.build());
    int seen = 0;
    QCOMPARE(ZipListEntries(zip.get(), [&](const ZipEntry&, int32_t) { return ++seen < 2; }), ZIPRES_OK);
    QCOMPARE(seen, 2);
    QCOMPARE(ZipListEntries(nullptr, {}), ZIPRES_ARGS);
}

QTEST_GUILESS_MAIN(TestZipList)
#include "tst_ziplist.moc"
