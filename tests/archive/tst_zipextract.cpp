// Extracting ZIP entries: stored and deflated data in 16 KiB chunks, the faults that must fail (CRC,
// over-long and short streams, damaged deflate data, encryption), output files and folders.
#include "archive/zip.h"
#include "settings/imagefilter.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using zelvano::test::ZipItem;
using zelvano::test::ZipWriter;

class TestZipExtract : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void extract_data();
    void extract();
    void failures_data();
    void failures();
    void readEntryLimits_data();
    void readEntryLimits();
    void outputTimesAndReadOnly();
    void outputFolderMissingOrReadOnly();
    void directoryEntries_data();
    void directoryEntries();
    void fileNameTestBelongsToItsHandle();
    void chunkHook();

private:
    QString Save(const QByteArray& bytes);
    std::unique_ptr<QTemporaryDir> m_dir;
};

static QByteArray Noise(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(static_cast<quint32>(size));
    for (char& c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

void TestZipExtract::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestZipExtract::Save(const QByteArray& bytes)
{
    const QString path = m_dir->filePath(QStringLiteral("archive.zip"));
    return zelvano::test::WriteFile(path, bytes) ? path : QString();
}

void TestZipExtract::extract_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QByteArray>("content");

    const QByteArray text = QByteArray("The quick brown fox. ").repeated(4000); // 84 KB, compresses well
    const QByteArray noise = Noise(70000);                                      // does not compress
    auto one = [](const QByteArray& data, uint16_t method) {
        ZipWriter w;
        w.add("dummy.txt", "first entry");
        w.add("Trip/photo.jpg", data, method);
        return w.build();
    };
    QTest::newRow("stored, several chunks") << one(noise, 0) << noise;
    QTest::newRow("deflated, several chunks") << one(text, 8) << text;
    QTest::newRow("deflated noise") << one(noise, 8) << noise;
    QTest::newRow("stored, empty") << one(QByteArray(), 0) << QByteArray();
    QTest::newRow("deflated, empty") << one(QByteArray(), 8) << QByteArray();
    QTest::newRow("exactly one chunk") << one(noise.left(16384), 0) << noise.left(16384);
    {
        ZipWriter w;
        w.add("dummy.txt", "first entry");
        w.add("Trip/photo.jpg", text).dataDescriptor = true;
        QTest::newRow("data descriptor") << w.build() << text;
    }
    {
        ZipWriter w;
        w.stub = QByteArray(5000, 'M');
        w.add("dummy.txt", "first entry");
        w.add("Trip/photo.jpg", text);
        QTest::newRow("behind a self-extractor stub") << w.build() << text;
    }
    {
        ZipWriter w;
        w.comment = QByteArray(2000, 'c');
        w.add("dummy.txt", "first entry", 0);
        w.add("Trip/photo.jpg", noise, 0);
        QTest::newRow("with a 2,000-byte comment") << w.build() << noise;
    }
}

void TestZipExtract::extract()
{
    QFETCH(QByteArray, archive);
    QFETCH(QByteArray, content);
    ZipHandlePtr zip(ZipOpen(Save(archive)));
    QVERIFY(zip);
    const QString out = m_dir->filePath(QStringLiteral("photo.jpg"));
    QCOMPARE(ZipExtractEntry(zip.get(), 1, out), ZIPRES_OK);
    QCOMPARE(ZipGetLastResult(), ZIPRES_OK);
    QCOMPARE(zelvano::test::ReadFile(out), content);
    // Extracting again replaces the file.
    QVERIFY(zelvano::test::WriteFile(out, QByteArray(200000, 'z')));
    QCOMPARE(ZipExtractEntry(zip.get(), 1, out), ZIPRES_OK);
    QCOMPARE(zelvano::test::ReadFile(out), content);
    const QString first = m_dir->filePath(QStringLiteral("first.txt"));
    QCOMPARE(ZipExtractEntry(zip.get(), 0, first), ZIPRES_OK);
    QCOMPARE(zelvano::test::ReadFile(first), QByteArray("first entry"));

    // Read into memory, the entry gives the same bytes.
    QByteArray data("left over");
    QCOMPARE(ZipReadEntry(zip.get(), 1, data, content.size()), ZIPRES_OK);
    QVERIFY(data == content);
}

void TestZipExtract::failures_data()
{
    QTest::addColumn<ZipItem>("item");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("written"); // bytes left in the output file, -1 for no file

    const QByteArray data = QByteArray("0123456789").repeated(5000); // 50,000 bytes
    ZipItem good;
    good.name = "photo.jpg";
    good.data = data;

    ZipItem item = good;
    item.crc = ZipWriter::Crc(data) ^ 1;
    QTest::newRow("CRC mismatch, deflated") << item << ZIPRES_CRC << 50000;
    item.method = 0;
    QTest::newRow("CRC mismatch, stored") << item << ZIPRES_CRC << 50000;

    item = good;
    item.unpackedSize = 20000;
    QTest::newRow("deflate stream longer than declared") << item << ZIPRES_TOOBIG << 20000;
    item.unpackedSize = 0;
    QTest::newRow("declared empty, stream is not") << item << ZIPRES_TOOBIG << 0;
    item = good;
    item.method = 0;
    item.unpackedSize = 20000;
    QTest::newRow("stored data longer than declared") << item << ZIPRES_TOOBIG << 20000;

    item = good;
    item.unpackedSize = 60000;
    QTest::newRow("deflate stream shorter than declared") << item << ZIPRES_WRITE << 50000;
    item.method = 0;
    item.packedSize = 30000;
    item.unpackedSize = 50000;
    QTest::newRow("stored data shorter than declared") << item << ZIPRES_WRITE << 30000;

    item = good;
    const QByteArray deflated = ZipWriter::Deflate(data);
    item.packed = deflated.left(deflated.size() / 2);
    QTest::newRow("truncated deflate stream") << item << ZIPRES_WRITE << -2;
    item.packed = QByteArray(300, '\xFF');
    QTest::newRow("deflate garbage") << item << ZIPRES_WRITE << 0;
    item.packed = QByteArray();
    QTest::newRow("no deflate data at all") << item << ZIPRES_WRITE << 0;

    item = good;
    item.encrypted = true;
    QTest::newRow("encrypted, deflated") << item << ZIPRES_ENCRYPTED << -1;
    item.method = 99;
    QTest::newRow("encrypted, AES") << item << ZIPRES_ENCRYPTED << -1;
}

void TestZipExtract::failures()
{
    QFETCH(ZipItem, item);
    QFETCH(int, result);
    QFETCH(int, written);
    ZipWriter w;
    w.add("x", "") = item;
    w.add("after.jpg", "still fine");
    ZipHandlePtr zip(ZipOpen(Save(w.build())));
    QVERIFY(zip);
    const QString out = m_dir->filePath(QStringLiteral("out.jpg"));
    QCOMPARE(ZipExtractEntry(zip.get(), 0, out), result);
    QCOMPARE(ZipGetLastResult(), result);
    if (written == -1) {
        QVERIFY(!QFile::exists(out));
    } else if (written >= 0) {
        QCOMPARE(QFileInfo(out).size(), qint64(written));
        QVERIFY(item.data.startsWith(zelvano::test::ReadFile(out)));
    } else {
        QVERIFY(QFileInfo(out).size() < item.data.size());
    }
    // The failure is confined to its entry.
    QCOMPARE(ZipExtractEntry(zip.get(), 1, m_dir->filePath(QStringLiteral("after.jpg"))), ZIPRES_OK);

    // Read into memory, it fails the same way and leaves no partial bytes behind.
    QByteArray data("left over");
    QCOMPARE(ZipReadEntry(zip.get(), 0, data, 1 << 20), result);
    QVERIFY(data.isEmpty());
}

// Reading into memory takes no more than the caller allows, and folders are no data.
void TestZipExtract::readEntryLimits_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("declared"); // the entry's declared size, -1 for the real one
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<int>("result");

    const QByteArray file("Album/photo.jpg.json");
    QTest::newRow("exactly the limit") << file << -1 << qint64(5000) << ZIPRES_OK;
    QTest::newRow("one byte over the limit") << file << -1 << qint64(4999) << ZIPRES_TOOBIG;
    QTest::newRow("declares a huge size") << file << 0x7FFFFFFF << qint64(1 << 20) << ZIPRES_TOOBIG;
    QTest::newRow("declares less than it holds") << file << 100 << qint64(1 << 20) << ZIPRES_TOOBIG;
    QTest::newRow("negative limit") << file << -1 << qint64(-1) << ZIPRES_ARGS;
    QTest::newRow("folder entry") << QByteArray("Album/") << -1 << qint64(1 << 20) << ZIPRES_TOOBIG;
}

void TestZipExtract::readEntryLimits()
{
    QFETCH(QByteArray, name);
    QFETCH(int, declared);
    QFETCH(qint64, maxBytes);
    QFETCH(int, result);
    const QByteArray content = name.endsWith('/') ? QByteArray() : QByteArray(5000, 'j');
    ZipWriter w;
    ZipItem& item = name.endsWith('/') ? w.addFolder(name) : w.add(name, content, 0);
    if (declared >= 0)
        item.unpackedSize = declared;
    ZipHandlePtr zip(ZipOpen(Save(w.build())));
    QVERIFY(zip);
    QByteArray data("left over");
    QCOMPARE(ZipReadEntry(zip.get(), 0, data, maxBytes), result);
    QCOMPARE(data, result == ZIPRES_OK ? content : QByteArray());
    QCOMPARE(ZipReadEntry(zip.get(), 5, data, maxBytes), ZIPRES_ARGS);
    QCOMPARE(ZipReadEntry(nullptr, 0, data, maxBytes), ZIPRES_ARGS);
    // Nothing is written anywhere.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList(QStringLiteral("archive.zip")));
}

void TestZipExtract::outputTimesAndReadOnly()
{
    ZipWriter w;
    ZipItem& item = w.add("a.jpg", "picture");
    item.utModified = 1500000000u;
    item.utAccessed = 1600000000u;
    w.add("locked.jpg", "locked").externalAttributes = 0x21; // archive, read-only
    ZipHandlePtr zip(ZipOpen(Save(w.build())));
    const QString out = m_dir->filePath(QStringLiteral("a.jpg"));
    QCOMPARE(ZipExtractEntry(zip.get(), 0, out), ZIPRES_OK);
    const QFileInfo info(out);
    QCOMPARE(info.lastModified().toUTC(), QDateTime::fromSecsSinceEpoch(1500000000, QTimeZone::utc()));
    QCOMPARE(info.lastRead().toUTC(), QDateTime::fromSecsSinceEpoch(1600000000, QTimeZone::utc()));
    QVERIFY(info.isWritable());

    const QString locked = m_dir->filePath(QStringLiteral("locked.jpg"));
    QCOMPARE(ZipExtractEntry(zip.get(), 1, locked), ZIPRES_OK);
    QVERIFY(!(QFile::permissions(locked) & QFileDevice::WriteOwner));
    QCOMPARE(QFileInfo(locked).lastModified().toUTC(), QDateTime(QDate(2025, 1, 1), QTime(12, 0), QTimeZone::utc()));
}

void TestZipExtract::outputFolderMissingOrReadOnly()
{
    ZipWriter w;
    w.add("a.jpg", "picture");
    ZipHandlePtr zip(ZipOpen(Save(w.build())));

    // No folder is made for an output path.
    const QString missing = m_dir->filePath(QStringLiteral("no/such/folder/a.jpg"));
    QCOMPARE(ZipExtractEntry(zip.get(), 0, missing), ZIPRES_NOFILE);
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("no"))));

    // An output path that is a folder cannot be replaced.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("taken.jpg")));
    QCOMPARE(ZipExtractEntry(zip.get(), 0, m_dir->filePath(QStringLiteral("taken.jpg"))), ZIPRES_NOFILE);

#ifdef Q_OS_LINUX
    // A file system where no file can be created, even by root.
    QCOMPARE(ZipExtractEntry(zip.get(), 0, QStringLiteral("/proc/zelvano-test-a.jpg")), ZIPRES_NOFILE);
#endif
#ifdef Q_OS_UNIX
    if (::geteuid() == 0)
        QSKIP("root writes into read-only folders");
#endif
    const QString folder = m_dir->filePath(QStringLiteral("readonly"));
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QCOMPARE(ZipExtractEntry(zip.get(), 0, folder + QStringLiteral("/a.jpg")), ZIPRES_NOFILE);
    QCOMPARE(ZipGetLastResult(), ZIPRES_NOFILE);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestZipExtract::directoryEntries_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("pictures");
    QTest::addColumn<QString>("folder"); // the folder made below the output's folder, or empty
    QTest::addColumn<bool>("file");      // whether the output file is written

    QTest::newRow("folder entry makes its folder") << QByteArray("Album/") << QString() << "Album" << false;
    QTest::newRow("nested folder entry, every level")
        << QByteArray("Album/2024/June/") << QString() << "Album/2024/June" << false;
    QTest::newRow("backslash separators") << QByteArray("Album\\Sub\\") << QString() << "Album/Sub" << false;
    QTest::newRow("directory-flagged .jpg with the picture list is a file")
        << QByteArray("shot.jpg") << QStringLiteral(".jpg;.jpeg;") << QString() << true;
    QTest::newRow("directory-flagged .jpg without the list is a folder")
        << QByteArray("shot.jpg") << QStringLiteral(".png;") << "shot.jpg" << false;
    QTest::newRow("current-folder parts are skipped") << QByteArray("./Album/./") << QString() << "Album" << false;
}

void TestZipExtract::directoryEntries()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, pictures);
    QFETCH(QString, folder);
    QFETCH(bool, file);
    ZipWriter w;
    w.add(name, file ? QByteArray("jpeg bytes") : QByteArray(), 0).externalAttributes = (040755u << 16) | 0x10;
    ZipHandlePtr zip(ZipOpen(Save(w.build())));
    if (!pictures.isEmpty()) {
        QCOMPARE(ZipSetFileNameTest(
                     zip.get(), [&](const QString& entryName) { return MatchesExtensionList(entryName, pictures); }),
                 ZIPRES_OK);
    }
    const QString outFolder = m_dir->filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkdir(outFolder));
    const QString out = outFolder + QStringLiteral("/shot.jpg");
    QCOMPARE(ZipExtractEntry(zip.get(), 0, out), ZIPRES_OK);
    if (!folder.isEmpty())
        QVERIFY(QFileInfo(outFolder + QLatin1Char('/') + folder).isDir());
    QCOMPARE(QFileInfo(out).isFile(), file);
    if (file)
        QCOMPARE(zelvano::test::ReadFile(out), QByteArray("jpeg bytes"));
    // Nothing lands next to the output folder or in the current directory.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList({QStringLiteral("archive.zip"), QStringLiteral("out")}));
}

// Two extractions at once (the scan of one archive, the unpack of another) never see each other's test.
void TestZipExtract::fileNameTestBelongsToItsHandle()
{
    ZipWriter w;
    w.add("shot.jpg", QByteArray("jpeg bytes"), 0).externalAttributes = (040755u << 16) | 0x10;
    const QString archive = Save(w.build());
    ZipHandlePtr withTest(ZipOpen(archive));
    ZipHandlePtr without(ZipOpen(archive));
    QCOMPARE(ZipSetFileNameTest(withTest.get(), [](const QString&) { return true; }), ZIPRES_OK);
    QCOMPARE(ZipSetFileNameTest(nullptr, {}), ZIPRES_ARGS);

    const QString first = m_dir->filePath(QStringLiteral("first"));
    const QString second = m_dir->filePath(QStringLiteral("second"));
    QVERIFY(QDir().mkdir(first) && QDir().mkdir(second));
    QCOMPARE(ZipExtractEntry(without.get(), 0, second + QStringLiteral("/out.jpg")), ZIPRES_OK);
    QCOMPARE(ZipExtractEntry(withTest.get(), 0, first + QStringLiteral("/out.jpg")), ZIPRES_OK);
    QCOMPARE(zelvano::test::ReadFile(first + QStringLiteral("/out.jpg")), QByteArray("jpeg bytes"));
    QVERIFY(QFileInfo(second + QStringLiteral("/shot.jpg")).isDir());
    QVERIFY(!QFileInfo::exists(second + QStringLiteral("/out.jpg")));
}

void TestZipExtract::chunkHook()
{
    // Blocks of 256 KiB: a megabyte takes four, and a stop after the third leaves the file short.
    const QByteArray data = Noise(1000000);
    ZipWriter w;
    w.add("big.jpg", data, 0);
    w.add("big2.jpg", data, 8);
    ZipHandlePtr zip(ZipOpen(Save(w.build())));
    const QString out = m_dir->filePath(QStringLiteral("big.jpg"));
    for (int index : {0, 1}) {
        int calls = 0;
        QCOMPARE(ZipExtractEntry(zip.get(), index, out, [&] { return ++calls > 0; }), ZIPRES_OK);
        QVERIFY2(calls >= 1000000 / (256 * 1024), qPrintable(QString::number(calls)));
        QCOMPARE(zelvano::test::ReadFile(out), data);
        calls = 0;
        QCOMPARE(ZipExtractEntry(zip.get(), index, out, [&] { return ++calls < 3; }), ZIPRES_STOPPED);
        QVERIFY(QFileInfo(out).size() < data.size());
    }
}

QTEST_GUILESS_MAIN(TestZipExtract)
#include "tst_zipextract.moc"
