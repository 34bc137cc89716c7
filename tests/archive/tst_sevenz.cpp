#include "archive/sevenz.h"

#include "support/sevenzwriter.h"
#include "support/testenv.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace zelvano::test;

Q_DECLARE_METATYPE(zelvano::test::SevenZItem)

namespace {

QByteArray Bytes(const char* seed, int size)
{
    QByteArray out;
    quint32 x = qHash(QByteArray(seed));
    out.reserve(size);
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        // Half noise, half runs: compressible, but not trivially.
        out.append(char(i % 512 < 256 ? (x >> 16) & 0xFF : seed[0]));
    }
    return out;
}

// What the listing reports of one entry: name, kind letters (d folder, l link, e encrypted, f file), size.
QString Describe(const SevenZEntry& e)
{
    QString kind;
    if (e.isDirectory)
        kind += QLatin1Char('d');
    if (e.isLink)
        kind += QLatin1Char('l');
    if (e.isEncrypted)
        kind += QLatin1Char('e');
    if (kind.isEmpty())
        kind = QStringLiteral("f");
    return e.name + QLatin1Char(' ') + kind + QLatin1Char(' ') + QString::number(e.size);
}

QStringList ListAll(const QString& path, int* result)
{
    QStringList out;
    *result = SevenZListArchive(path, [&](const SevenZEntry& e) {
        out << Describe(e);
        return true;
    });
    return out;
}

} // namespace

class TestSevenZ : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void listing_data();
    void listing();
    void extraction_data();
    void extraction();
    void damage_data();
    void damage();
    void refusals_data();
    void refusals();
    void stopLeavesNoFile();
    void madeBySevenZip_data();
    void madeBySevenZip();
    void closedHandleRefusesWork();

private:
    QTemporaryDir m_dir;
};

void TestSevenZ::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestSevenZ::listing_data()
{
    QTest::addColumn<QList<SevenZItem>>("items");
    QTest::addColumn<QStringList>("expected");

    const QByteArray photo = Bytes("photo", 3000);
    QTest::newRow("files") << QList<SevenZItem>{ZFile(QStringLiteral("a.jpg"), photo),
                                                ZFile(QStringLiteral("b.png"), "png")}
                           << QStringList{QStringLiteral("a.jpg f 3000"), QStringLiteral("b.png f 3")};
    QTest::newRow("folders") << QList<SevenZItem>{ZFolder(QStringLiteral("Trip")),
                                                  ZFile(QStringLiteral("Trip/day 1/a.jpg"), photo)}
                             << QStringList{QStringLiteral("Trip d 0"), QStringLiteral("Trip/day 1/a.jpg f 3000")};
    QTest::newRow("link") << QList<SevenZItem>{ZLink(QStringLiteral("l.jpg"), QStringLiteral("/etc/passwd"))}
                          << QStringList{QStringLiteral("l.jpg l 0")};
    QTest::newRow("empty picture") << QList<SevenZItem>{ZFile(QStringLiteral("empty.jpg"), QByteArray())}
                                   << QStringList{QStringLiteral("empty.jpg f 0")};
    QTest::newRow("names as UTF-8") << QList<SevenZItem>{ZFile(QStringLiteral("Фото/日本 ü.jpg"), photo)}
                                    << QStringList{QStringLiteral("Фото/日本 ü.jpg f 3000")};
    QTest::newRow("hostile names kept as stored")
        << QList<SevenZItem>{ZFile(QStringLiteral("../x.jpg"), "x"), ZFile(QStringLiteral("/abs/y.jpg"), "y"),
                             ZFile(QStringLiteral("c\x01tl.jpg"), "z"), ZFile(QStringLiteral("dup.jpg"), "1"),
                             ZFile(QStringLiteral("dup.jpg"), "22")}
        << QStringList{QStringLiteral("../x.jpg f 1"), QStringLiteral("/abs/y.jpg f 1"),
                       QStringLiteral("c\x01tl.jpg f 1"), QStringLiteral("dup.jpg f 1"), QStringLiteral("dup.jpg f 2")};
    QTest::newRow("no entries") << QList<SevenZItem>{} << QStringList{};
}

void TestSevenZ::listing()
{
    QFETCH(QList<SevenZItem>, items);
    QFETCH(QStringList, expected);
    const QString path = m_dir.filePath(QStringLiteral("list.7z"));
    QVERIFY(WriteSevenZFile(path, items));
    int result = -1;
    // The writer stores entries without data after the others: the order is the library's.
    QStringList listed = ListAll(path, &result);
    listed.sort();
    expected.sort();
    QCOMPARE(listed, expected);
    QCOMPARE(result, int(SevenZOk));
}

void TestSevenZ::extraction_data()
{
    QTest::addColumn<QByteArray>("compression");
    QTest::addColumn<int>("size");

    for (const char* method : {"store", "lzma1", "lzma2", "bzip2", "deflate", "ppmd"}) {
        QTest::addRow("%s small", method) << QByteArray(method) << 1000;
        // Several chunks of the reader, and more than one block of input.
        QTest::addRow("%s large", method) << QByteArray(method) << 1500 * 1024;
    }
    QTest::newRow("empty") << QByteArray("lzma2") << 0;
}

void TestSevenZ::extraction()
{
    QFETCH(QByteArray, compression);
    QFETCH(int, size);
    const QByteArray first = Bytes("first", size);
    const QByteArray second = Bytes("second", size + 7);
    const QByteArray bytes =
        WriteSevenZ({ZFile(QStringLiteral("one.jpg"), first), ZFile(QStringLiteral("skipped.jpg"), "x"),
                     ZFile(QStringLiteral("two.jpg"), second)},
                    compression.constData());
    QVERIFY(!bytes.isEmpty());

    QTemporaryDir out;
    SevenZArchive archive;
    QCOMPARE(archive.OpenMemory(bytes), int(SevenZOk));
    SevenZEntry entry;
    QList<qint64> chunks;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    // Solid or not, one pass: "skipped.jpg" is passed over without being read.
    int next = 0;
    int seen = 0;
    while ((next = archive.Next(entry)) == SevenZOk) {
        ++seen;
        if (entry.name == QLatin1String("one.jpg")) {
            QCOMPARE(archive.ExtractTo(out.filePath(QStringLiteral("one.jpg")),
                                       [&](qint64 done) {
                                           chunks << done;
                                           return true;
                                       }),
                     int(SevenZOk));
        } else if (entry.name == QLatin1String("two.jpg")) {
            QCOMPARE(archive.ReadData(buffer), int(SevenZOk));
            // The data of an entry are read once.
            QCOMPARE(archive.ReadData(buffer), int(SevenZNoEntry));
        }
    }
    QCOMPARE(next, int(SevenZEnd));
    QCOMPARE(seen, 3);

    QCOMPARE(ReadFile(out.filePath(QStringLiteral("one.jpg"))), first);
    QCOMPARE(buffer.data(), second);
    QCOMPARE(QFileInfo(out.filePath(QStringLiteral("one.jpg"))).lastModified().toSecsSinceEpoch(), 1700000000);
    if (size > 0) {
        QVERIFY(!chunks.isEmpty());
        QCOMPARE(chunks.back(), qint64(size));
    }
}

void TestSevenZ::damage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("openResult");
    QTest::addColumn<int>("extractResult"); // of the first entry, when the archive opens

    const QByteArray good = WriteSevenZ(
        {ZFile(QStringLiteral("a.jpg"), Bytes("a", 40000)), ZFile(QStringLiteral("b.jpg"), Bytes("b", 40000))});
    QTest::newRow("intact") << good << int(SevenZOk) << int(SevenZOk);
    QTest::newRow("empty file") << QByteArray() << int(SevenZOpenError) << 0;
    QTest::newRow("garbage") << Bytes("garbage", 5000) << int(SevenZOpenError) << 0;
    QTest::newRow("a ZIP") << QByteArray("PK\x03\x04", 4) + Bytes("zip", 200) << int(SevenZOpenError) << 0;
    QTest::newRow("signature only") << good.left(6) << int(SevenZBadArchive) << 0;
    QTest::newRow("cut in the data") << good.left(good.size() / 3) << int(SevenZBadArchive) << 0;
    QTest::newRow("cut in the header") << good.left(good.size() - 20) << int(SevenZBadArchive) << 0;
    QByteArray flipped = good;
    for (int i = 100; i < 140; ++i)
        flipped[i] = char(flipped[i] ^ 0x5A);
    QTest::newRow("damaged stream") << flipped << int(SevenZOk) << int(SevenZBadData);
}

void TestSevenZ::damage()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, openResult);
    QFETCH(int, extractResult);
    const QString path = m_dir.filePath(QStringLiteral("damaged.7z"));
    QVERIFY(WriteFile(path, bytes));
    SevenZArchive archive;
    QCOMPARE(archive.Open(path), openResult);
    QCOMPARE(archive.IsOpen(), openResult == SevenZOk);
    if (openResult != SevenZOk)
        return;
    SevenZEntry entry;
    QCOMPARE(archive.Next(entry), int(SevenZOk));
    const QString out = m_dir.filePath(QStringLiteral("damaged-out.jpg"));
    QCOMPARE(archive.ExtractTo(out, {}), extractResult);
    // A failed write leaves nothing behind.
    QCOMPARE(QFileInfo::exists(out), extractResult == SevenZOk);
    QFile::remove(out);
}

void TestSevenZ::refusals_data()
{
    QTest::addColumn<SevenZItem>("item");
    QTest::addColumn<QString>("destination"); // relative to the test folder unless it starts with "!"
    QTest::addColumn<bool>("linkAtDestination");
    QTest::addColumn<int>("expected");

    const SevenZItem photo = ZFile(QStringLiteral("p.jpg"), "picture");
    QTest::newRow("link entry") << ZLink(QStringLiteral("l.jpg"), QStringLiteral("/etc/passwd"))
                                << QStringLiteral("l.jpg") << false << int(SevenZRefusedLink);
    QTest::newRow("folder entry") << ZFolder(QStringLiteral("f.jpg")) << QStringLiteral("f.jpg") << false
                                  << int(SevenZFolder);
    QTest::newRow("relative destination")
        << photo << QStringLiteral("!relative.jpg") << false << int(SevenZRefusedDestination);
    QTest::newRow("dots in destination") << photo << QStringLiteral("sub/../p.jpg") << false
                                         << int(SevenZRefusedDestination);
    QTest::newRow("control character") << photo << QStringLiteral("p\x07.jpg") << false
                                       << int(SevenZRefusedDestination);
    QTest::newRow("link at destination") << photo << QStringLiteral("p.jpg") << true << int(SevenZRefusedDestination);
}

void TestSevenZ::refusals()
{
    QFETCH(SevenZItem, item);
    QFETCH(QString, destination);
    QFETCH(bool, linkAtDestination);
    QFETCH(int, expected);
    QTemporaryDir dir;
    const QString victim = dir.filePath(QStringLiteral("victim.txt"));
    QVERIFY(WriteFile(victim, "untouched"));
    const QString path =
        destination.startsWith(QLatin1Char('!')) ? destination.mid(1) : dir.path() + QLatin1Char('/') + destination;
    if (linkAtDestination)
        QVERIFY(QFile::link(victim, path));

    SevenZArchive archive;
    QCOMPARE(archive.OpenMemory(WriteSevenZ({item})), int(SevenZOk));
    SevenZEntry entry;
    QCOMPARE(archive.Next(entry), int(SevenZOk));
    QCOMPARE(archive.ExtractTo(path, {}), expected);
    QCOMPARE(ReadFile(victim), QByteArray("untouched"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size(),
             linkAtDestination ? 2 : 1);
    QVERIFY(!QFileInfo::exists(QStringLiteral("relative.jpg")));
}

void TestSevenZ::stopLeavesNoFile()
{
    SevenZArchive archive;
    QCOMPARE(archive.OpenMemory(WriteSevenZ({ZFile(QStringLiteral("big.jpg"), Bytes("big", 2 * 1024 * 1024))})),
             int(SevenZOk));
    SevenZEntry entry;
    QCOMPARE(archive.Next(entry), int(SevenZOk));
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("big.jpg"));
    int calls = 0;
    QCOMPARE(archive.ExtractTo(out, [&](qint64) { return ++calls < 2; }), int(SevenZStopped));
    QCOMPARE(calls, 2);
    QVERIFY(!QFileInfo::exists(out));
}

void TestSevenZ::madeBySevenZip_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("openResult");
    QTest::addColumn<bool>("encrypted");

    QTest::newRow("LZMA2 solid") << QStringList{QStringLiteral("-m0=lzma2"), QStringLiteral("-ms=on")} << int(SevenZOk)
                                 << false;
    QTest::newRow("not solid") << QStringList{QStringLiteral("-ms=off")} << int(SevenZOk) << false;
    QTest::newRow("encrypted data") << QStringList{QStringLiteral("-psecret")} << int(SevenZOk) << true;
    QTest::newRow("encrypted headers") << QStringList{QStringLiteral("-psecret"), QStringLiteral("-mhe=on")}
                                       << int(SevenZEncrypted) << true;
}

void TestSevenZ::madeBySevenZip()
{
    QFETCH(QStringList, options);
    QFETCH(int, openResult);
    QFETCH(bool, encrypted);
    if (SevenZipTool().isEmpty())
        QSKIP("the 7z command is not installed");
    QTemporaryDir dir;
    const QByteArray a = Bytes("a", 70000);
    const QByteArray b = Bytes("b", 5000);
    QVERIFY(WriteFile(dir.filePath(QStringLiteral("in/Trip/a.jpg")), a));
    QVERIFY(WriteFile(dir.filePath(QStringLiteral("in/Trip/Day 2/b.jpg")), b));
    const QString path = dir.filePath(QStringLiteral("made.7z"));
    QVERIFY(RunSevenZipAdd(dir.filePath(QStringLiteral("in")), path, options, {QStringLiteral("Trip")}));

    SevenZArchive archive;
    QCOMPARE(archive.Open(path), openResult);
    if (openResult != SevenZOk)
        return;
    QMap<QString, QByteArray> got;
    QStringList folders;
    SevenZEntry entry;
    int next = 0;
    while ((next = archive.Next(entry)) == SevenZOk) {
        if (entry.isDirectory) {
            folders << entry.name;
            continue;
        }
        QCOMPARE(entry.isEncrypted, encrypted);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        const int result = archive.ReadData(buffer);
        QCOMPARE(result, encrypted ? int(SevenZEncrypted) : int(SevenZOk));
        got[entry.name] = buffer.data();
    }
    QCOMPARE(next, int(SevenZEnd));
    folders.sort();
    QCOMPARE(folders, (QStringList{QStringLiteral("Trip"), QStringLiteral("Trip/Day 2")}));
    QCOMPARE(got.keys(), (QStringList{QStringLiteral("Trip/Day 2/b.jpg"), QStringLiteral("Trip/a.jpg")}));
    if (!encrypted) {
        QCOMPARE(got.value(QStringLiteral("Trip/a.jpg")), a);
        QCOMPARE(got.value(QStringLiteral("Trip/Day 2/b.jpg")), b);
    }
}

void TestSevenZ::closedHandleRefusesWork()
{
    SevenZArchive archive;
    SevenZEntry entry;
    QBuffer buffer;
    QCOMPARE(archive.Next(entry), int(SevenZNotOpen));
    QCOMPARE(archive.ReadData(buffer), int(SevenZNotOpen));
    QCOMPARE(archive.Open(m_dir.filePath(QStringLiteral("missing.7z"))), int(SevenZOpenError));
    QVERIFY(!archive.IsOpen());
}

QTEST_GUILESS_MAIN(TestSevenZ)
#include "tst_sevenz.moc"
