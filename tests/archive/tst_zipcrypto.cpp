// Password-protected entries: archives encrypted by the zip and 7z commands open with the right password,
// refuse a wrong one before writing, refuse to guess without one, and never pass damaged data on as good.
#include "archive/zip.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>

using zelvano::test::ZipItem;
using zelvano::test::ZipWriter;

namespace {

constexpr int kAnyFailure = -1;

enum class Patch
{
    None,
    AesVersion1, // the AES blocks say AE-1, and both headers carry the real CRC-32
};

// Little-endian fields of the one-entry archives the tools write.
uint16_t Get16(const QByteArray& bytes, qsizetype at)
{
    return uint16_t(uint8_t(bytes[at]) | (uint8_t(bytes[at + 1]) << 8));
}
uint32_t Get32(const QByteArray& bytes, qsizetype at)
{
    return uint32_t(Get16(bytes, at)) | (uint32_t(Get16(bytes, at + 2)) << 16);
}
void Put32(QByteArray& bytes, qsizetype at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (8 * i));
}

// Sets the version of every AES block in an extra field to 1.
void MarkAesVersion1(QByteArray& bytes, qsizetype extra, qsizetype length)
{
    for (qsizetype at = extra; at + 4 <= extra + length;) {
        const uint16_t id = Get16(bytes, at);
        const uint16_t size = Get16(bytes, at + 2);
        if (id == 0x9901 && size >= 7)
            bytes[at + 4] = 1;
        at += 4 + size;
    }
}

// The first entry's data: where it starts (after the local header) and its packed size.
void FirstData(const QByteArray& zip, qsizetype& start, qsizetype& size)
{
    const qsizetype central = zip.indexOf("PK\x01\x02");
    start = 30 + Get16(zip, 26) + Get16(zip, 28);
    size = qsizetype(Get32(zip, central + 20));
}

} // namespace

Q_DECLARE_METATYPE(Patch)

class TestZipCrypto : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void madeByTools_data();
    void madeByTools();
    void craftedEntries_data();
    void craftedEntries();
    void passwordCalls();

private:
    QString Make(const QString& tool, const QStringList& arguments, bool fromPipe, const QString& name);
    QTemporaryDir m_dir;
    QByteArray m_content;
};

void TestZipCrypto::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // More than one 256 KiB block, half incompressible, half text, so every method takes several steps.
    QByteArray noise(200000, Qt::Uninitialized);
    QRandomGenerator generator(11);
    for (char& c : noise)
        c = char(generator.bounded(256));
    m_content = noise + QByteArray("harbour at dawn, frame 17\n").repeated(8000);
    QVERIFY(zelvano::test::WriteFile(m_dir.filePath(QStringLiteral("photo.jpg")), m_content));
}

// Runs the tool in the test folder; returns the archive's path, or an empty string when it failed.
QString TestZipCrypto::Make(const QString& tool, const QStringList& arguments, bool fromPipe, const QString& name)
{
    const QString program = QStandardPaths::findExecutable(tool);
    const QString archive = m_dir.filePath(name);
    QFile::remove(archive);
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    QStringList all = arguments;
    if (tool == QLatin1String("7z"))
        all = QStringList{QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-bd")} + all;
    else
        all.prepend(QStringLiteral("-q"));
    all << archive << (fromPipe ? QStringLiteral("-") : QStringLiteral("photo.jpg"));
    process.start(program, all);
    if (fromPipe)
        process.write(m_content);
    process.closeWriteChannel();
    const bool ok =
        process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        qWarning() << process.readAllStandardError() << process.readAllStandardOutput();
    return ok ? archive : QString();
}

void TestZipCrypto::madeByTools_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("fromPipe");
    QTest::addColumn<Patch>("patch");
    QTest::addColumn<int>("flipped"); // the result with one encrypted byte changed

    const QByteArray pw("pw");
    const QByteArray umlauts("p\xC3\xA4sswort\xE2\x82\xAC"); // "pässwort€" in UTF-8
    const QString zip = QStringLiteral("zip");
    const QString sevenZip = QStringLiteral("7z");
    // The options as one string; a password given on its own keeps any bytes.
    const auto args = [](const char* options, const QByteArray& password = QByteArray()) {
        QStringList list = QString::fromUtf8(options).split(QLatin1Char(' '));
        if (!password.isEmpty())
            list.last() += QString::fromUtf8(password);
        return list;
    };

    // Traditional: a key that passes the check byte by chance makes garbage, so damage reads as a wrong password.
    QTest::newRow("zip, deflated") << zip << args("-P pw") << pw << false << Patch::None << ZIPRES_PASSWORD;
    QTest::newRow("zip, stored") << zip << args("-0 -P pw") << pw << false << Patch::None << ZIPRES_PASSWORD;
    QTest::newRow("zip, from a pipe (data descriptor)")
        << zip << args("-P pw") << pw << true << Patch::None << ZIPRES_PASSWORD;
    QTest::newRow("zip, non-ASCII password")
        << zip << args("-P ", umlauts) << umlauts << false << Patch::None << ZIPRES_PASSWORD;
    QTest::newRow("7z, traditional") << sevenZip << args("-ppw -mem=ZipCrypto") << pw << false << Patch::None
                                     << ZIPRES_PASSWORD;
    QTest::newRow("7z, traditional, BZip2")
        << sevenZip << args("-ppw -mem=ZipCrypto -mm=BZip2") << pw << false << Patch::None << ZIPRES_PASSWORD;

    // AES: the code over the encrypted data catches damage even where no CRC-32 is kept.
    QTest::newRow("7z, AES-128") << sevenZip << args("-ppw -mem=AES128") << pw << false << Patch::None << kAnyFailure;
    QTest::newRow("7z, AES-192") << sevenZip << args("-ppw -mem=AES192") << pw << false << Patch::None << kAnyFailure;
    QTest::newRow("7z, AES-256") << sevenZip << args("-ppw -mem=AES256") << pw << false << Patch::None << kAnyFailure;
    QTest::newRow("7z, AES-256, stored") << sevenZip << args("-ppw -mem=AES256 -mx=0") << pw << false << Patch::None
                                         << ZIPRES_CRC;
    QTest::newRow("7z, AES-128, stored, AE-1")
        << sevenZip << args("-ppw -mem=AES128 -mx=0") << pw << false << Patch::AesVersion1 << ZIPRES_CRC;
    QTest::newRow("7z, AES-256, deflated, AE-1")
        << sevenZip << args("-ppw -mem=AES256") << pw << false << Patch::AesVersion1 << kAnyFailure;
    QTest::newRow("7z, AES-256, BZip2") << sevenZip << args("-ppw -mem=AES256 -mm=BZip2") << pw << false << Patch::None
                                        << kAnyFailure;
    QTest::newRow("7z, AES-256, LZMA") << sevenZip << args("-ppw -mem=AES256 -mm=LZMA") << pw << false << Patch::None
                                       << kAnyFailure;
    // 7z refuses passwords beyond ASCII for ZIP archives, so only zip makes one.
}

void TestZipCrypto::madeByTools()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, password);
    QFETCH(bool, fromPipe);
    QFETCH(Patch, patch);
    QFETCH(int, flipped);
    if (QStandardPaths::findExecutable(tool).isEmpty())
        QSKIP("the archiver is not installed");

    const QString made =
        Make(tool, arguments, fromPipe, QString::fromUtf8(QTest::currentDataTag()) + QStringLiteral(".zip"));
    QVERIFY(!made.isEmpty());
    QByteArray zip = zelvano::test::ReadFile(made);
    const qsizetype central = zip.indexOf("PK\x01\x02");
    QVERIFY(central > 0);
    const bool aes = Get16(zip, central + 10) == 99;
    if (patch == Patch::AesVersion1) {
        QVERIFY(aes);
        QCOMPARE(Get16(zip, 6) & 0x0008, 0); // the local header holds the CRC-32 itself
        MarkAesVersion1(zip, 30 + Get16(zip, 26), Get16(zip, 28));
        MarkAesVersion1(zip, central + 46 + Get16(zip, central + 28), Get16(zip, central + 30));
        const uint32_t crc =
            uint32_t(crc32(0, reinterpret_cast<const Bytef*>(m_content.constData()), uInt(m_content.size())));
        Put32(zip, 14, crc);
        Put32(zip, central + 16, crc);
    }
    const QString path = m_dir.filePath(QStringLiteral("archive.zip"));
    QVERIFY(zelvano::test::WriteFile(path, zip));

    ZipHandlePtr handle(ZipOpen(path));
    QVERIFY(handle);
    ZipEntry entry;
    QCOMPARE(ZipResultName(ZipGetEntry(handle.get(), 0, entry)), "ZIPRES_OK");
    QVERIFY(entry.IsEncrypted());
    QVERIFY(entry.m_nMethod != 99); // an AES entry reports the method inside
    QCOMPARE(entry.m_nUnpackedSize, qint64(m_content.size()));
    const QString out = m_dir.filePath(QStringLiteral("out.jpg"));

    // Without a password nothing is tried.
    QFile::remove(out);
    QCOMPARE(ZipResultName(ZipExtractEntry(handle.get(), 0, out)), "ZIPRES_ENCRYPTED");
    QVERIFY(!QFileInfo::exists(out));

    // A wrong one fails as such; AES knows before writing (its verifier has 16 bits, the check byte 8).
    QCOMPARE(ZipSetPassword(handle.get(), QByteArray("wrong")), ZIPRES_OK);
    QCOMPARE(ZipResultName(ZipExtractEntry(handle.get(), 0, out)), "ZIPRES_PASSWORD");
    if (aes)
        QVERIFY(!QFileInfo::exists(out));

    // The right one gives the bytes back, and the copy still stops when asked to.
    QCOMPARE(ZipSetPassword(handle.get(), password), ZIPRES_OK);
    int calls = 0;
    QCOMPARE(ZipResultName(ZipExtractEntry(handle.get(), 0, out, [&]() { return ++calls < 2; })), "ZIPRES_STOPPED");
    QCOMPARE(ZipResultName(ZipExtractEntry(handle.get(), 0, out)), "ZIPRES_OK");
    QVERIFY(zelvano::test::ReadFile(out) == m_content);
    QByteArray data;
    QCOMPARE(ZipResultName(ZipReadEntry(handle.get(), 0, data, m_content.size())), "ZIPRES_OK");
    QVERIFY(data == m_content);

    // Cleared, the password is gone.
    QCOMPARE(ZipSetPassword(handle.get(), QByteArray()), ZIPRES_OK);
    QFile::remove(out);
    QCOMPARE(ZipResultName(ZipExtractEntry(handle.get(), 0, out)), "ZIPRES_ENCRYPTED");
    QCOMPARE(ZipResultName(ZipReadEntry(handle.get(), 0, data, m_content.size())), "ZIPRES_ENCRYPTED");
    QVERIFY(data.isEmpty());

    // Testing a password decodes the whole entry and writes nothing: the check a password must pass.
    const QStringList before = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(ZipResultName(ZipTestEntry(handle.get(), 0, password)), "ZIPRES_OK");
    QCOMPARE(ZipResultName(ZipTestEntry(handle.get(), 0, QByteArray("wrong"))), "ZIPRES_PASSWORD");
    QCOMPARE(ZipResultName(ZipTestEntry(handle.get(), 0, QByteArray())), "ZIPRES_ENCRYPTED");
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), before);
    handle.reset();

    // One changed byte in the middle of the encrypted data.
    qsizetype start = 0, size = 0;
    FirstData(zip, start, size);
    zip[start + size / 2] = char(zip[start + size / 2] ^ 0x20);
    QVERIFY(zelvano::test::WriteFile(path, zip));
    handle.reset(ZipOpen(path));
    QVERIFY(handle);
    QCOMPARE(ZipSetPassword(handle.get(), password), ZIPRES_OK);
    const int32_t damaged = ZipExtractEntry(handle.get(), 0, out);
    QCOMPARE(ZipResultName(ZipTestEntry(handle.get(), 0, password)), ZipResultName(damaged));
    if (flipped == kAnyFailure)
        QVERIFY2(damaged != ZIPRES_OK, ZipResultName(damaged));
    else
        QCOMPARE(ZipResultName(damaged), ZipResultName(flipped));
}

void TestZipCrypto::craftedEntries_data()
{
    QTest::addColumn<ZipItem>("item");
    QTest::addColumn<int>("listed");         // from ZipGetEntry
    QTest::addColumn<int>("withPassword");   // from ZipExtractEntry once a password is set
    QTest::addColumn<int>("methodReported"); // m_nMethod

    ZipItem good;
    good.name = "photo.jpg";
    good.data = QByteArray(500, 'p');
    good.method = 0;
    good.encrypted = true;

    ZipItem item = good;
    item.packed = QByteArray(11, 'x');
    item.packedSize = 11;
    QTest::newRow("traditional, shorter than its header") << item << ZIPRES_OK << ZIPRES_CORRUPT << 0;
    item = good;
    item.method = 9;
    QTest::newRow("traditional, Deflate64") << item << ZIPRES_METHOD << ZIPRES_METHOD << 9;

    // AES block: version 2, "AE", strength, method.
    const auto aesBlock = [](char strength, char method) {
        return QByteArray("\x01\x99\x07\x00\x02\x00"
                          "AE",
                          8) +
               QByteArray(1, strength) + QByteArray(1, method) + QByteArray(1, '\0');
    };
    ZipItem aes = good;
    aes.method = 99;
    aes.centralExtra = aesBlock(3, 0);
    aes.localExtra = aes.centralExtra;
    item = aes;
    item.packed = QByteArray(16 + 2 + 9, 'x'); // salt, verifier, and a code one byte short
    QTest::newRow("AES-256, shorter than salt, verifier and code") << item << ZIPRES_OK << ZIPRES_CORRUPT << 0;
    item = aes;
    item.centralExtra = item.localExtra = aesBlock(1, 98);
    QTest::newRow("AES, PPMd inside") << item << ZIPRES_METHOD << ZIPRES_METHOD << 98;
    item = aes;
    item.centralExtra = item.localExtra = aesBlock(4, 8);
    QTest::newRow("AES, unknown strength") << item << ZIPRES_METHOD << ZIPRES_METHOD << 99;
    item = aes;
    item.centralExtra = item.localExtra = QByteArray();
    QTest::newRow("AES without its block") << item << ZIPRES_METHOD << ZIPRES_METHOD << 99;
    item = aes;
    item.packed = QByteArray(16 + 2 + 10 + 500, '\0');
    QTest::newRow("AES, verifier differs") << item << ZIPRES_OK << ZIPRES_PASSWORD << 0;
}

void TestZipCrypto::craftedEntries()
{
    QFETCH(ZipItem, item);
    QFETCH(int, listed);
    QFETCH(int, withPassword);
    QFETCH(int, methodReported);
    ZipWriter writer;
    writer.add("x", "") = item;
    const QString path = m_dir.filePath(QStringLiteral("crafted.zip"));
    QVERIFY(zelvano::test::WriteFile(path, writer.build()));
    ZipHandlePtr handle(ZipOpen(path));
    QVERIFY(handle);
    ZipEntry entry;
    QCOMPARE(ZipResultName(ZipGetEntry(handle.get(), 0, entry)), ZipResultName(listed));
    QCOMPARE(int(entry.m_nMethod), methodReported);
    int fromListing = -1;
    int listedMethod = -1;
    ZipListEntries(handle.get(), [&](const ZipEntry& e, int32_t result) {
        fromListing = result;
        listedMethod = e.m_nMethod;
        return true;
    });
    QCOMPARE(ZipResultName(fromListing), ZipResultName(listed));
    QCOMPARE(listedMethod, methodReported);

    const QString out = m_dir.filePath(QStringLiteral("crafted.jpg"));
    QFile::remove(out);
    QCOMPARE(ZipResultName(ZipExtractEntry(handle.get(), 0, out)), "ZIPRES_ENCRYPTED");
    QCOMPARE(ZipSetPassword(handle.get(), QByteArray("pw")), ZIPRES_OK);
    QCOMPARE(ZipResultName(ZipExtractEntry(handle.get(), 0, out)), ZipResultName(withPassword));
    QVERIFY(!QFileInfo::exists(out));
}

void TestZipCrypto::passwordCalls()
{
    QCOMPARE(ZipSetPassword(nullptr, QByteArray("pw")), ZIPRES_ARGS);
    // The handle keeps a copy of its own: the caller's bytes stay as they were after the handle is gone.
    ZipWriter writer;
    writer.add("a.jpg", "a");
    const QString path = m_dir.filePath(QStringLiteral("plain.zip"));
    QVERIFY(zelvano::test::WriteFile(path, writer.build()));
    QByteArray password("secret");
    {
        ZipHandlePtr handle(ZipOpen(path));
        QVERIFY(handle);
        QCOMPARE(ZipSetPassword(handle.get(), password), ZIPRES_OK);
        // A password changes nothing for an entry that is not encrypted.
        const QString out = m_dir.filePath(QStringLiteral("a.jpg"));
        QCOMPARE(ZipExtractEntry(handle.get(), 0, out), ZIPRES_OK);
        QCOMPARE(zelvano::test::ReadFile(out), QByteArray("a"));
    }
    QCOMPARE(password, QByteArray("secret"));
}

QTEST_GUILESS_MAIN(TestZipCrypto)
#include "tst_zipcrypto.moc"
