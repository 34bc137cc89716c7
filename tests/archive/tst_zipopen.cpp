// Opening ZIP archives: the end-record search, the start offset behind a stub, the checks of the end
// records, and the per-thread last result.
#include "archive/zip.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using zelvano::test::ZipWriter;

class TestZipOpen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openArchive_data();
    void openArchive();
    void openWhatIsNoFile();
    void lastResultIsPerThread();
    void closeNull();

private:
    QTemporaryDir m_dir;
};

void TestZipOpen::openArchive_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("count");

    auto twoEntries = [] {
        ZipWriter w;
        w.add("a.jpg", QByteArray(300, 'a'));
        w.add("b.jpg", "bee", 0);
        return w;
    };

    QTest::newRow("no entries") << ZipWriter().build() << ZIPRES_OK << 0;
    QTest::newRow("two entries") << twoEntries().build() << ZIPRES_OK << 2;
    {
        ZipWriter w = twoEntries();
        w.comment = QByteArray(2000, 'c');
        QTest::newRow("comment of 2,000 bytes") << w.build() << ZIPRES_OK << 2;
    }
    {
        ZipWriter w = twoEntries();
        w.comment = QByteArray(65513, 'c');
        QTest::newRow("comment of 65,513 bytes: end record still in reach") << w.build() << ZIPRES_OK << 2;
        w.comment = QByteArray(65514, 'c');
        QTest::newRow("comment of 65,514 bytes: end record out of reach") << w.build() << ZIPRES_IOERROR << 0;
    }
    {
        ZipWriter w = twoEntries();
        // The signature starts 1,030 bytes before the end: split over the first two 1,028-byte blocks.
        w.comment = QByteArray(1008, 'c');
        QTest::newRow("end record across a block boundary") << w.build() << ZIPRES_OK << 2;
        // A signature in the comment is nearer to the end: it wins (here it reads as an empty archive).
        w.comment = QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0');
        QTest::newRow("signature in the comment wins") << w.build() << ZIPRES_OK << 0;
    }
    {
        ZipWriter w = twoEntries();
        w.stub = QByteArray(70000, 'M');
        QTest::newRow("self-extractor stub in front") << w.build() << ZIPRES_OK << 2;
    }
    QTest::newRow("not a zip") << QByteArray(5000, 'x') << ZIPRES_IOERROR << 0;
    QTest::newRow("empty file") << QByteArray() << ZIPRES_IOERROR << 0;
    QTest::newRow("shorter than an end record") << QByteArray("PK\x05\x06\0\0", 6) << ZIPRES_IOERROR << 0;
    {
        const QByteArray whole = twoEntries().build();
        QTest::newRow("truncated inside the end record") << whole.left(whole.size() - 10) << ZIPRES_IOERROR << 0;
        QTest::newRow("truncated before the end record") << whole.left(whole.size() / 2) << ZIPRES_IOERROR << 0;
        // Cut in the middle: the end record is still found, but its directory would start before the file.
        QTest::newRow("front cut off") << whole.mid(50) << ZIPRES_BADZIP << 0;
    }
    {
        ZipWriter w = twoEntries();
        w.diskNumber = 1;
        QTest::newRow("multi-disk: this disk is 1") << w.build() << ZIPRES_BADZIP << 0;
    }
    {
        ZipWriter w = twoEntries();
        w.directoryDisk = 2;
        QTest::newRow("multi-disk: directory on disk 2") << w.build() << ZIPRES_BADZIP << 0;
    }
    {
        ZipWriter w = twoEntries();
        w.entriesOnDisk = 1;
        QTest::newRow("entry counts differ") << w.build() << ZIPRES_BADZIP << 0;
    }
    {
        ZipWriter w = twoEntries();
        w.directoryOffset = 0x7FFFFFF0;
        QTest::newRow("directory would end after the end record") << w.build() << ZIPRES_BADZIP << 0;
    }
    {
        ZipWriter w = twoEntries();
        w.entriesOnDisk = 5000;
        w.entriesTotal = 5000;
        QTest::newRow("count cannot fit in the directory") << w.build() << ZIPRES_BADZIP << 0;
    }
    {
        ZipWriter w = twoEntries();
        w.commentLength = 500; // claims a comment the file does not have: still opens
        QTest::newRow("comment length past the end") << w.build() << ZIPRES_OK << 2;
    }
}

void TestZipOpen::openArchive()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, result);
    QFETCH(int, count);

    const QString path = m_dir.filePath(QStringLiteral("open.zip"));
    QVERIFY(zelvano::test::WriteFile(path, bytes));
    // The open for a file a folder walk has just seen gives the same result, with the file's own figures.
    ZipFileFacts facts;
    ZipHandlePtr found(ZipOpenRegularFile(path, &facts));
    QCOMPARE(ZipGetLastResult(), result);
    QCOMPARE(found != nullptr, result == ZIPRES_OK);
    if (found) {
        const QFileInfo info(path);
        QCOMPARE(facts.m_nSize, qint64(bytes.size()));
        QCOMPARE(facts.m_ftCreated, info.birthTime());
        QCOMPARE(facts.m_ftChanged, info.metadataChangeTime());
    }

    ZipHandlePtr zip(ZipOpen(path));
    QCOMPARE(ZipGetLastResult(), result);
    QCOMPARE(zip != nullptr, result == ZIPRES_OK);
    if (!zip)
        return;
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), -1, entry), ZIPRES_OK);
    QCOMPARE(entry.m_nIndex, count);
    for (int i = 0; i < count; ++i)
        QCOMPARE(ZipGetEntry(zip.get(), i, entry), ZIPRES_OK);
}

void TestZipOpen::openWhatIsNoFile()
{
    QCOMPARE(ZipOpen(m_dir.filePath(QStringLiteral("missing.zip"))), nullptr);
    QCOMPARE(ZipGetLastResult(), ZIPRES_NOFILE);
    QCOMPARE(ZipOpenRegularFile(m_dir.filePath(QStringLiteral("missing.zip")), nullptr), nullptr);
    QCOMPARE(ZipGetLastResult(), ZIPRES_NOFILE);

    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.zip")));
    QCOMPARE(ZipOpen(m_dir.filePath(QStringLiteral("folder.zip"))), nullptr);
    QCOMPARE(ZipGetLastResult(), ZIPRES_NOFILE);

#ifdef Q_OS_UNIX
    // A FIFO named like an archive must not block the open (a scan would hang on it).
    const QString fifo = m_dir.filePath(QStringLiteral("pipe.zip"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(ZipOpen(fifo), nullptr);
    QCOMPARE(ZipGetLastResult(), ZIPRES_NOFILE);
#endif
}

void TestZipOpen::lastResultIsPerThread()
{
    const QString bad = m_dir.filePath(QStringLiteral("bad.zip"));
    QVERIFY(zelvano::test::WriteFile(bad, QByteArray(100, 'x')));
    const QString good = m_dir.filePath(QStringLiteral("good.zip"));
    QVERIFY(zelvano::test::WriteFile(good, ZipWriter().build()));

    QCOMPARE(ZipOpen(bad), nullptr);
    QCOMPARE(ZipGetLastResult(), ZIPRES_IOERROR);
    int other = -12345;
    std::thread thread([&] {
        ZipHandlePtr zip(ZipOpen(good));
        other = ZipGetLastResult();
    });
    thread.join();
    QCOMPARE(other, ZIPRES_OK);
    QCOMPARE(ZipGetLastResult(), ZIPRES_IOERROR);
}

void TestZipOpen::closeNull()
{
    QCOMPARE(ZipClose(nullptr), ZIPRES_ARGS);
    QCOMPARE(ZipGetLastResult(), ZIPRES_ARGS);
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(nullptr, 0, entry), ZIPRES_ARGS);
    QCOMPARE(ZipExtractEntry(nullptr, 0, m_dir.filePath(QStringLiteral("x"))), ZIPRES_ARGS);
    QCOMPARE(QString::fromLatin1(ZipResultName(ZIPRES_DAMAGED)), QStringLiteral("ZIPRES_DAMAGED"));
}

QTEST_GUILESS_MAIN(TestZipOpen)
#include "tst_zipopen.moc"
