// The reader agrees with the world: archives made by the Info-ZIP `zip` command list and extract as the
// files they were made from.
#include "archive/zip.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include <map>

class TestZipWorld : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void madeByZip_data();
    void madeByZip();
    void encryptedByZip();

private:
    QByteArray RunZip(const QStringList& arguments, bool* ok);
    QTemporaryDir m_dir;
    QString m_zip;
    QString m_source;
    std::map<QString, QByteArray> m_files; // name in the archive -> content; folders end with "/"
};

static const qint64 kModified = 1600000000;

void TestZipWorld::initTestCase()
{
    m_zip = QStandardPaths::findExecutable(QStringLiteral("zip"));
    if (m_zip.isEmpty())
        QSKIP("the zip command is not installed");
    m_source = m_dir.filePath(QStringLiteral("source"));
    QByteArray photo(40000, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char& c : photo)
        c = char(generator.bounded(256));
    m_files = {
        {QStringLiteral("Trip/"), {}},
        {QStringLiteral("Trip/IMG_0001.jpg"), photo},
        {QStringLiteral("Trip/notes.txt"), QByteArray("hello\n").repeated(2000)},
        {QStringLiteral("Trip/Sub/"), {}},
        {QStringLiteral("empty.jpg"), {}},
        {QString::fromUtf8("Stra\xC3\x9F"
                           "e.jpg"),
         QByteArray("umlaut")},
    };
    for (const auto& [name, content] : m_files) {
        const QString path = m_source + QLatin1Char('/') + name;
        if (name.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir().mkpath(path));
            continue;
        }
        QVERIFY(zelvano::test::WriteFile(path, content));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::fromSecsSinceEpoch(kModified, QTimeZone::utc()),
                                 QFileDevice::FileModificationTime));
    }
}

QByteArray TestZipWorld::RunZip(const QStringList& arguments, bool* ok)
{
    QProcess process;
    process.setWorkingDirectory(m_source);
    process.start(m_zip, QStringList{QStringLiteral("-q"), QStringLiteral("-r")} + arguments);
    process.closeWriteChannel();
    *ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!*ok)
        qWarning() << process.readAllStandardError();
    return process.readAllStandardOutput();
}

void TestZipWorld::madeByZip_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("stub");
    QTest::addColumn<bool>("toPipe");
    QTest::addColumn<bool>("adjust");

    QTest::newRow("deflated") << QStringList() << QByteArray() << false << false;
    QTest::newRow("stored") << QStringList{QStringLiteral("-0")} << QByteArray() << false << false;
    QTest::newRow("forced ZIP64") << QStringList{QStringLiteral("-fz")} << QByteArray() << false << false;
    QTest::newRow("written to a pipe: data descriptors") << QStringList() << QByteArray() << true << false;
    QTest::newRow("stub in front, offsets as written") << QStringList() << QByteArray(9000, 'M') << false << false;
    QTest::newRow("stub in front, offsets adjusted by zip -A")
        << QStringList() << QByteArray(9000, 'M') << false << true;
    QTest::newRow("ZIP64 behind a stub") << QStringList{QStringLiteral("-fz")} << QByteArray(9000, 'M') << false
                                         << false;
}

void TestZipWorld::madeByZip()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, stub);
    QFETCH(bool, toPipe);
    QFETCH(bool, adjust);

    const QString archive = m_dir.filePath(QStringLiteral("made.zip"));
    QFile::remove(archive);
    const QStringList inputs{QStringLiteral("Trip"), QStringLiteral("empty.jpg"),
                             QString::fromUtf8("Stra\xC3\x9F"
                                               "e.jpg")};
    bool ok = false;
    QByteArray bytes;
    if (toPipe) {
        bytes = RunZip(options + QStringList{QStringLiteral("-")} + inputs, &ok);
    } else {
        RunZip(options + QStringList{archive} + inputs, &ok);
        bytes = zelvano::test::ReadFile(archive);
    }
    QVERIFY(ok);
    QVERIFY(zelvano::test::WriteFile(archive, stub + bytes));
    if (adjust) {
        QProcess fix;
        fix.start(m_zip, {QStringLiteral("-q"), QStringLiteral("-A"), archive});
        QVERIFY(fix.waitForFinished(60000) && fix.exitCode() == 0);
    }

    ZipHandlePtr zip(ZipOpen(archive));
    QVERIFY2(zip, ZipResultName(ZipGetLastResult()));
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), -1, entry), ZIPRES_OK);
    QCOMPARE(entry.m_nIndex, int(m_files.size()));
    bool sawDescriptor = false;
    std::map<QString, QByteArray> seen;
    for (int i = 0; i < int(m_files.size()); ++i) {
        QCOMPARE(ZipGetEntry(zip.get(), i, entry), ZIPRES_OK);
        const auto expected = m_files.find(entry.m_szName);
        QVERIFY2(expected != m_files.end(), qPrintable(entry.m_szName));
        sawDescriptor = sawDescriptor || (entry.m_nFlags & 0x0008);
        const bool folder = entry.m_szName.endsWith(QLatin1Char('/'));
        QCOMPARE(entry.IsDirectory(), folder);
        QCOMPARE(entry.m_nUnpackedSize, int64_t(expected->second.size()));
        if (folder) {
            seen[entry.m_szName] = {};
            continue;
        }
        QCOMPARE(entry.m_ftModified, QDateTime::fromSecsSinceEpoch(kModified, QTimeZone::utc()));
        const QString out = m_dir.filePath(QStringLiteral("out.bin"));
        QCOMPARE(ZipExtractEntry(zip.get(), i, out), ZIPRES_OK);
        seen[entry.m_szName] = zelvano::test::ReadFile(out);
        QCOMPARE(QFileInfo(out).lastModified().toSecsSinceEpoch(), kModified);
    }
    QVERIFY(seen == m_files);
    QCOMPARE(sawDescriptor, toPipe);
}

void TestZipWorld::encryptedByZip()
{
    const QString archive = m_dir.filePath(QStringLiteral("secret.zip"));
    bool ok = false;
    RunZip({QStringLiteral("-P"), QStringLiteral("secret"), archive, QStringLiteral("Trip/notes.txt")}, &ok);
    QVERIFY(ok);
    ZipHandlePtr zip(ZipOpen(archive));
    QVERIFY(zip);
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), 0, entry), ZIPRES_OK);
    QVERIFY(entry.IsEncrypted());
    QCOMPARE(entry.m_nUnpackedSize, int64_t(12000));
    const QString out = m_dir.filePath(QStringLiteral("notes.txt"));
    QCOMPARE(ZipExtractEntry(zip.get(), 0, out), ZIPRES_ENCRYPTED);
    QVERIFY(!QFile::exists(out));
}

QTEST_GUILESS_MAIN(TestZipWorld)
#include "tst_zipworld.moc"
