#include "archive/zip.h"
#include "unpack/destination.h"
#include "unpack/extract.h"
#include "unpack/validation.h"

#include "support/testenv.h"
#include "support/zipwriter.h"
#include "unpack/extractfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

using namespace zelvano::test;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

bool WriteZip(const QString& path, const ZipWriter& writer)
{
    return WriteFile(path, writer.build());
}

// Bytes that are no picture, for entries checked only for existence and size.
QByteArray Filler(int size, char seed)
{
    QByteArray out(size, Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = char(x >> 24);
    }
    return out;
}

// Makes a RAR archive from the files below source (paths relative to it), keeping links as links.
bool MakeRar(const QString& archive, const QString& source, const QStringList& names)
{
    QProcess rar;
    rar.setWorkingDirectory(source);
    rar.start(S("rar"), QStringList{S("a"), S("-idq"), S("-y"), S("-ma5"), S("-r"), S("-ol"), archive} + names);
    return rar.waitForFinished(60000) && rar.exitStatus() == QProcess::NormalExit && rar.exitCode() == 0;
}

bool HaveRar()
{
    return !QStandardPaths::findExecutable(S("rar")).isEmpty();
}

enum class Existing
{
    Same,
    SameSizeOtherContent,
    OtherSize,
    Folder,
    LinkOut,
    DanglingLink
};
enum class ZipFault
{
    None,
    Truncated,
    DamagedPng,
    CrcMismatch,
    ListedSmaller,
    ListedLarger,
    Encrypted,
    BadLocal
};

} // namespace

Q_DECLARE_METATYPE(Existing)
Q_DECLARE_METATYPE(ZipFault)

class TestExtract : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Only picture entries are written (hidden ones too): no known junk, no folders, no other types.
    void zipEntryFilter()
    {
        QTemporaryDir dir;
        ZipWriter zip;
        zip.addFolder("Trip/");
        zip.add("Trip/IMG_1.JPG", Jpeg());
        zip.add("__MACOSX/Trip/._IMG_1.JPG", "junk");
        zip.add("Trip/.DS_Store", "junk");
        zip.add("Trip/notes.txt", "text");
        zip.add("Trip/hidden.jpg", Jpeg()).externalAttributes = 0x22;
        zip.add("Trip/a.jp", "short extension");                     // ".jp" is only a part of ".jpg"
        zip.add("Trip/holiday. jpg", Jpeg());                        // dot and space before the extension
        zip.add("Trip/Album.jpg", Jpeg()).externalAttributes = 0x10; // flagged as a folder, named as a picture
        const QString path = dir.filePath(S("Trip.zip"));
        QVERIFY(WriteZip(path, zip));

        UnpackFixture fx;
        CXArchiveFile archive = fx.Archive(path, 1);
        QVERIFY(ExtractZipArchive(fx.m_ctx, archive));
        QCOMPARE(TreeOf(dir.path()), QStringList({S("Trip"), S("Trip.zip"), S("Trip/Album.jpg"), S("Trip/IMG_1.JPG"),
                                                  S("Trip/hidden.jpg"), S("Trip/holiday.jpg")}));
        QCOMPARE(archive.m_nExtracted, 4);
        QCOMPARE(archive.m_nSkipped, 0);
        QCOMPARE(archive.m_nErrors, 0);
        QCOMPARE(archive.m_nBytesOnDisk, quint64(4 * Jpeg().size()));
        QCOMPARE(fx.m_host.Texts(),
                 QStringList({S("IMG_1.JPG"), S("hidden.jpg"), S("holiday.jpg"), S("Album.jpg"), QString()}));
        QCOMPARE(fx.m_host.m_nValidations.load(), 4);
        // The text file and the ".jp" file stay inside: neither is a picture, a folder nor known junk.
        QCOMPARE(archive.m_nOtherFiles, 2);
        QCOMPARE(archive.m_arrOtherFiles, QStringList({S("notes.txt"), S("a.jp")}));
    }

    // An existing output: a plain skip only when a regular file of the entry's size and CRC-32 stands in
    // for it.
    void zipDuplicates_data()
    {
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<Existing>("existing");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<int>("errors");
        QTest::addColumn<int>("extracted");
        QTest::addColumn<QString>("reason");
        const QString different = zelvano::reason::DifferentFileExists();
        // clang-format off
        QTest::newRow("same picture: plain skip")                  << false << Existing::Same                 << 1 << 0 << 0 << QString();
        QTest::newRow("same size, other content: skipped and failed") << false << Existing::SameSizeOtherContent << 1 << 1 << 0 << different;
        QTest::newRow("other size: skipped and failed")            << false << Existing::OtherSize            << 1 << 1 << 0 << different;
        QTest::newRow("folder in the way: skipped and failed")     << false << Existing::Folder               << 1 << 1 << 0 << different;
        QTest::newRow("link out: skipped and failed")              << false << Existing::LinkOut              << 1 << 1 << 0 << different;
        QTest::newRow("dangling link: skipped and failed")         << false << Existing::DanglingLink         << 1 << 1 << 0 << different;
        QTest::newRow("overwrite replaces another file")           << true  << Existing::OtherSize            << 0 << 0 << 1 << QString();
        QTest::newRow("overwrite replaces a link, not its target") << true  << Existing::LinkOut              << 0 << 0 << 1 << QString();
        QTest::newRow("overwrite replaces a dangling link")        << true  << Existing::DanglingLink         << 0 << 0 << 1 << QString();
        // clang-format on
    }
    void zipDuplicates()
    {
        QFETCH(bool, overwrite);
        QFETCH(Existing, existing);
        QFETCH(int, skipped);
        QFETCH(int, errors);
        QFETCH(int, extracted);
        QFETCH(QString, reason);

        QTemporaryDir dir;
        const QString dest = dir.filePath(S("dest"));
        const QString outside = dir.filePath(S("outside"));
        QVERIFY(QDir().mkpath(dest));
        QVERIFY(QDir().mkpath(outside));
        const QByteArray picture = Jpeg();
        ZipWriter zip;
        zip.add("x.jpg", picture);
        QVERIFY(WriteZip(dest + S("/Trip.zip"), zip));

        const QString target = dest + S("/x.jpg");
        const QString outsideFile = outside + S("/target.jpg");
        QByteArray before;
        switch (existing) {
        case Existing::Same:
            before = picture;
            break;
        case Existing::SameSizeOtherContent:
            before = QByteArray(picture.size(), 'z');
            break;
        case Existing::OtherSize:
            before = "a different picture";
            break;
        case Existing::Folder:
            QVERIFY(QDir().mkpath(target));
            break;
        case Existing::LinkOut:
            QVERIFY(WriteFile(outsideFile, QByteArray(picture.size(), 'o')));
            QVERIFY(QFile::link(outsideFile, target));
            break;
        case Existing::DanglingLink:
            QVERIFY(QFile::link(outsideFile, target));
            break;
        }
        if (!before.isEmpty())
            QVERIFY(WriteFile(target, before));
        const QByteArray outsideBefore = ReadFile(outsideFile);

        UnpackFixture fx;
        fx.m_settings.m_bOverwritePhotos = overwrite;
        CXArchiveFile archive = fx.Archive(dest + S("/Trip.zip"));
        const bool ok = ExtractZipArchive(fx.m_ctx, archive);
        QCOMPARE(ok, errors == 0);
        QCOMPARE(archive.m_nSkipped, skipped);
        QCOMPARE(archive.m_nErrors, errors);
        QCOMPARE(archive.m_nExtracted, extracted);
        QCOMPARE(archive.m_arrFailedItems.size(), qsizetype(errors));
        if (errors)
            QCOMPARE(archive.m_arrFailedItems[0].m_strReason, reason);
        if (skipped)
            QCOMPARE(fx.m_host.Texts().first(), S("Skipping: x.jpg"));
        if (!before.isEmpty() && !overwrite)
            QCOMPARE(ReadFile(target), before);
        if (overwrite) {
            QVERIFY(!QFileInfo(target).isSymLink());
            QCOMPARE(ReadFile(target), picture);
        }
        // Whatever happened, nothing beyond the destination changed.
        QCOMPARE(ReadFile(outsideFile), outsideBefore);
        QCOMPARE(QDir(outside).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(),
                 existing == Existing::LinkOut ? 1 : 0);
    }

    // Running the same archive twice with overwriting off: everything is a skip, nothing an error.
    void zipSecondRunSkipsEverything()
    {
        QTemporaryDir dir;
        ZipWriter zip;
        zip.add("Trip/a.jpg", Jpeg());
        zip.add("Trip/b.png", Png());
        const QString path = dir.filePath(S("Trip.zip"));
        QVERIFY(WriteZip(path, zip));
        UnpackFixture fx;
        CXArchiveFile archive = fx.Archive(path, 1);
        QVERIFY(ExtractZipArchive(fx.m_ctx, archive));
        QCOMPARE(archive.m_nExtracted, 2);

        UnpackFixture again;
        QVERIFY(ExtractZipArchive(again.m_ctx, archive));
        QCOMPARE(archive.m_nExtracted, 0);
        QCOMPARE(archive.m_nSkipped, 2);
        QCOMPARE(archive.m_nErrors, 0);
        QVERIFY(archive.m_arrFailedItems.isEmpty());
        QCOMPARE(again.m_host.Texts(), QStringList({S("Skipping: a.jpg"), S("Skipping: b.png"), QString()}));
    }

    // Damaged pictures and failing extraction calls at the three validation levels.
    void zipValidation_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<ZipFault>("fault");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("extracted");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<QString>("reasonStart");
        // clang-format off
        QTest::newRow("level 1: a whole picture")                      << 0 << ZipFault::None          << true  << 1 << true  << true  << QString();
        QTest::newRow("level 1: truncated JPEG exists")                << 0 << ZipFault::Truncated     << true  << 1 << true  << true  << QString();
        QTest::newRow("level 3: truncated JPEG is invalid")            << 2 << ZipFault::Truncated     << false << 0 << true  << false << QString();
        QTest::newRow("level 3: PNG with a bad chunk is invalid")      << 2 << ZipFault::DamagedPng    << false << 0 << true  << false << QString();
        QTest::newRow("level 3: a whole picture")                      << 2 << ZipFault::None          << true  << 1 << true  << true  << QString();
        QTest::newRow("level 1: CRC mismatch fails")                   << 0 << ZipFault::CrcMismatch   << false << 0 << false << false << S("Extraction failed (ZIPRES_CRC");
        QTest::newRow("level 3: CRC mismatch fails")                   << 2 << ZipFault::CrcMismatch   << false << 0 << false << false << S("Extraction failed (ZIPRES_CRC");
        QTest::newRow("level 1: more data than listed fails")          << 0 << ZipFault::ListedSmaller << false << 0 << false << false << S("Extraction failed");
        QTest::newRow("level 1: less data than listed fails")          << 0 << ZipFault::ListedLarger  << false << 0 << false << false << S("Extraction failed");
        QTest::newRow("level 1: encrypted entry fails")                << 0 << ZipFault::Encrypted     << false << 0 << false << false << S("Encrypted: no password");
        QTest::newRow("level 1: damaged local header fails")           << 0 << ZipFault::BadLocal      << false << 0 << false << false << S("Extraction failed (ZIPRES_CORRUPT");
        // clang-format on
    }
    void zipValidation()
    {
        QFETCH(int, level);
        QFETCH(ZipFault, fault);
        QFETCH(bool, ok);
        QFETCH(int, extracted);
        QFETCH(bool, exists);
        QFETCH(bool, loads);
        QFETCH(QString, reasonStart);

        QTemporaryDir dir;
        ZipWriter zip;
        const QByteArray picture = fault == ZipFault::Truncated    ? TruncatedJpeg()
                                   : fault == ZipFault::DamagedPng ? DamagedPng()
                                                                   : Jpeg();
        ZipItem& item = zip.add(fault == ZipFault::DamagedPng ? "x.png" : "x.jpg", picture);
        switch (fault) {
        case ZipFault::CrcMismatch:
            item.crc = ZipWriter::Crc(picture) ^ 1u;
            break;
        case ZipFault::ListedSmaller:
            item.unpackedSize = uint64_t(picture.size() - 10);
            break;
        case ZipFault::ListedLarger:
            item.unpackedSize = uint64_t(picture.size() + 10);
            break;
        case ZipFault::Encrypted:
            item.encrypted = true;
            break;
        case ZipFault::BadLocal:
            item.localMethod = 0;
            break;
        default:
            break;
        }
        const QString path = dir.filePath(S("Trip.zip"));
        QVERIFY(WriteZip(path, zip));

        UnpackFixture fx;
        fx.m_settings.m_nValidationLevel = level;
        CXArchiveFile archive = fx.Archive(path);
        QCOMPARE(ExtractZipArchive(fx.m_ctx, archive), ok);
        QCOMPARE(archive.m_nExtracted, extracted);
        QCOMPARE(archive.m_nErrors, ok ? 0 : 1);
        if (!ok) {
            const CXArchiveItem& failed = archive.m_arrFailedItems.value(0);
            QCOMPARE(bool(failed.m_bExists), exists);
            QCOMPARE(bool(failed.m_bLoads), loads);
            QVERIFY2(failed.m_strReason.startsWith(reasonStart), qPrintable(failed.m_strReason));
            QCOMPARE(failed.m_strPath, dir.filePath(failed.m_strName));
        }
        // A failed entry leaves nothing behind: no final file, no temporary file.
        QCOMPARE(TreeOf(dir.path()).size(), ok ? 2 : 1);
    }

    // Picture tests run beside the next entry's extraction; records, counters and texts still come in
    // entry order, also when two entries write the same path.
    void zipRecordsKeepEntryOrder()
    {
        QTemporaryDir dir;
        ZipWriter zip;
        zip.add("a.jpg", TruncatedJpeg());
        zip.add("b.jpg", Jpeg());
        zip.add("c.jpg", Jpeg());
        zip.add("d.png", DamagedPng());
        zip.add("e.jpg", Jpeg());
        zip.add("f.jpg", Jpeg()).crc = 0;
        zip.add("sub/../e.jpg", TruncatedJpeg()); // a refused name is recorded in its place
        zip.add("g.jpg", Jpeg(300, 200));
        const QString path = dir.filePath(S("Trip.zip"));
        QVERIFY(WriteZip(path, zip));
        QVERIFY(WriteFile(dir.filePath(S("c.jpg")), "another picture"));

        UnpackFixture fx;
        fx.m_settings.m_nValidationLevel = 2;
        CXArchiveFile archive = fx.Archive(path);
        QVERIFY(!ExtractZipArchive(fx.m_ctx, archive));
        QStringList names;
        for (const CXArchiveItem& item : archive.m_arrFailedItems)
            names << item.m_strName;
        QCOMPARE(names, QStringList({S("a.jpg"), S("c.jpg"), S("d.png"), S("f.jpg"), S("e.jpg")}));
        QCOMPARE(archive.m_nErrors, 5);
        QCOMPARE(archive.m_nSkipped, 1);
        QCOMPARE(archive.m_nExtracted, 3); // b, e and g; the failed ones left nothing behind
        QCOMPARE(fx.m_host.Texts(), QStringList({S("a.jpg"), S("b.jpg"), S("Skipping: c.jpg"), S("d.png"), S("e.jpg"),
                                                 S("f.jpg"), S("g.jpg"), QString()}));
        QCOMPARE(ReadFile(dir.filePath(S("e.jpg"))), Jpeg());
    }

    // Two entries of one archive that land on one output path: the later one never replaces what this run
    // wrote. The same contents are a verified duplicate; anything else fails and keeps the archive.
    void zipSamePathTwice_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QByteArray>("secondData");
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<bool>("ok");
        const QByteArray big = Jpeg(800, 600);
        const QByteArray small = Jpeg(64, 48);
        // clang-format off
        QTest::newRow("same name twice, other picture, overwrite on") << QByteArray("x.jpg") << QByteArray("./x.jpg") << small << S("x.jpg") << true  << false;
        QTest::newRow("same name twice, other picture, skip mode")    << QByteArray("x.jpg") << QByteArray("x.jpg")   << small << S("x.jpg") << false << false;
        QTest::newRow("same name twice, same picture")                << QByteArray("x.jpg") << QByteArray("x.jpg")   << big   << S("x.jpg") << true  << true;
        QTest::newRow("dot-space rewrite meets the plain name")       << QByteArray("a.b.jpg") << QByteArray("a. b.jpg") << small << S("a.b.jpg") << true << false;
        QTest::newRow("backslash meets slash")                        << QByteArray("d/x.jpg") << QByteArray("d\\x.jpg") << small << S("d/x.jpg") << true << false;
        // clang-format on
    }
    void zipSamePathTwice()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QByteArray, secondData);
        QFETCH(QString, output);
        QFETCH(bool, overwrite);
        QFETCH(bool, ok);

        QTemporaryDir dir;
        ZipWriter zip;
        zip.add(first.constData(), Jpeg(800, 600));
        zip.add(second.constData(), secondData);
        const QString path = dir.filePath(S("Trip.zip"));
        QVERIFY(WriteZip(path, zip));
        UnpackFixture fx;
        fx.m_settings.m_nValidationLevel = 2;
        fx.m_settings.m_bOverwritePhotos = overwrite ? 1 : 0;
        CXArchiveFile archive = fx.Archive(path);
        QCOMPARE(ExtractZipArchive(fx.m_ctx, archive), ok);
        QCOMPARE(archive.m_nExtracted, 1);
        QCOMPARE(archive.m_nSkipped, ok ? 1 : 0);
        QCOMPARE(archive.m_nErrors, ok ? 0 : 1);
        if (!ok)
            QVERIFY2(archive.m_arrFailedItems.value(0).m_strReason.contains(S("already written in this run")),
                     qPrintable(archive.m_arrFailedItems.value(0).m_strReason));
        QCOMPARE(ReadFile(dir.filePath(output)), Jpeg(800, 600));
    }

    // Hostile names: nothing is written outside the destination, the good entry still is, and the
    // archive reports the failure so it is never deleted.
    void zipConfinement_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("link"); // a link below the destination leading to "outside"
        QTest::addColumn<QString>("reason");
        const QString unsafe = zelvano::reason::UnsafeName();
        // clang-format off
        QTest::newRow("parent part")                      << 1 << QByteArray("../escape.jpg")        << QString()  << unsafe;
        QTest::newRow("parent part deeper down")          << 1 << QByteArray("a/../../escape.jpg")   << QString()  << unsafe;
        QTest::newRow("parent part leaving the new folder") << 2 << QByteArray("../escape.jpg")      << QString()  << unsafe;
        QTest::newRow("parent part behind backslashes")   << 1 << QByteArray("a\\..\\..\\escape.jpg") << QString() << unsafe;
        QTest::newRow("absolute name")                    << 1 << QByteArray("@OUTSIDE@/abs.jpg")    << QString()  << unsafe;
        QTest::newRow("absolute name in mode 2")          << 2 << QByteArray("@OUTSIDE@/abs.jpg")    << QString()  << unsafe;
        QTest::newRow("drive letter")                     << 1 << QByteArray("C:/escape.jpg")        << QString()  << unsafe;
        QTest::newRow("UNC name")                         << 1 << QByteArray("\\\\host\\share\\escape.jpg") << QString() << unsafe;
        QTest::newRow("control character")                << 1 << QByteArray("esc\x1b.jpg")          << QString()  << zelvano::reason::ControlCharacters();
        QTest::newRow("folder link leading out")          << 1 << QByteArray("link/escape.jpg")      << S("link")  << zelvano::reason::LinkLeadsOut();
        QTest::newRow("folder link leading out, mode 2")  << 2 << QByteArray("link/escape.jpg")      << S("Trip/link") << zelvano::reason::LinkLeadsOut();
        // clang-format on
    }
    void zipConfinement()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, name);
        QFETCH(QString, link);
        QFETCH(QString, reason);

        QTemporaryDir dir;
        const QString dest = dir.filePath(S("dest"));
        const QString outside = dir.filePath(S("outside"));
        QVERIFY(QDir().mkpath(dest));
        QVERIFY(QDir().mkpath(outside));
        if (!link.isEmpty()) {
            QVERIFY(QDir().mkpath(QFileInfo(dest + QLatin1Char('/') + link).absolutePath()));
            QVERIFY(QFile::link(outside, dest + QLatin1Char('/') + link));
        }
        name.replace("@OUTSIDE@", QFile::encodeName(outside));
        ZipWriter zip;
        zip.add("good.jpg", Jpeg());
        zip.add(name, Jpeg());
        const QString path = dest + S("/Trip.zip");
        QVERIFY(WriteZip(path, zip));

        UnpackFixture fx;
        fx.m_settings.m_nExtractTo = mode;
        CXArchiveFile archive = fx.Archive(path);
        QVERIFY(!ExtractZipArchive(fx.m_ctx, archive));
        QCOMPARE(archive.m_nExtracted, 1);
        QCOMPARE(archive.m_nErrors, 1);
        QCOMPARE(archive.m_arrFailedItems.value(0).m_strReason, reason);
        QCOMPARE(archive.m_arrFailedItems.value(0).m_bExists, 0);
        QVERIFY(QFileInfo::exists(mode == 1 ? dest + S("/good.jpg") : dest + S("/Trip/good.jpg")));
        QCOMPARE(TreeOf(outside), QStringList());
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList({S("dest"), S("outside")}));
        QVERIFY(!QFileInfo::exists(dest + S("/C:")));
    }

    // A stop while an entry is written lets that entry finish and starts no other; the counters so far
    // are stored.
    void zipStopBetweenEntries()
    {
        QTemporaryDir dir;
        ZipWriter zip;
        for (int i = 1; i <= 5; ++i)
            zip.add(QByteArray("p") + QByteArray::number(i) + ".jpg", Jpeg());
        const QString path = dir.filePath(S("Trip.zip"));
        QVERIFY(WriteZip(path, zip));

        UnpackFixture fx;
        fx.m_host.m_onStatus = [&](const QString& text) {
            if (text == S("p2.jpg"))
                fx.m_run.Stop();
        };
        CXArchiveFile archive = fx.Archive(path);
        // Cut short by the stop: the counters stand, but the archive does not count as unpacked.
        QVERIFY(!ExtractZipArchive(fx.m_ctx, archive));
        QCOMPARE(archive.m_nExtracted, 2);
        QCOMPARE(TreeOf(dir.path()), QStringList({S("Trip.zip"), S("p1.jpg"), S("p2.jpg")}));
        QCOMPARE(fx.m_host.Texts().last(), QString());

        // With the run already stopped nothing is done and nothing is stored.
        archive.m_nExtracted = 7;
        QVERIFY(!ExtractZipArchive(fx.m_ctx, archive));
        QCOMPARE(archive.m_nExtracted, 7);
    }

    // A pause inside a large entry holds the worker in that entry; a resume finishes the same entry.
    void zipPauseInsideAnEntry()
    {
        QTemporaryDir dir;
        const QByteArray big = Filler(6 << 20, 'b');
        ZipWriter zip;
        zip.add("big.jpg", big, 0);
        zip.add("after.jpg", "after");
        const QString path = dir.filePath(S("Trip.zip"));
        QVERIFY(WriteZip(path, zip));

        UnpackFixture fx;
        fx.m_settings.m_nValidationLevel = 1;
        std::promise<void> paused;
        std::atomic<int> progressCalls{0};
        qint64 lastDone = -1;
        bool monotonic = true;
        fx.m_host.m_onProgress = [&](qint64 done, qint64 total) {
            monotonic = monotonic && done > lastDone && total == big.size();
            lastDone = done;
            if (progressCalls++ == 0) {
                fx.m_run.Pause();
                paused.set_value();
            }
        };
        CXArchiveFile archive = fx.Archive(path);
        std::atomic<bool> done{false};
        bool ok = false;
        std::thread worker([&] {
            ok = ExtractZipArchive(fx.m_ctx, archive);
            done = true;
        });
        QVERIFY(paused.get_future().wait_for(std::chrono::seconds(60)) == std::future_status::ready);
        // The worker stands at the gate inside the entry before anything is looked at.
        const bool parked = fx.m_run.WaitUntilParked(std::chrono::seconds(60));
        const bool heldInEntry = !done && QFileInfo(dir.filePath(S("big.jpg"))).size() < big.size() &&
                                 !QFileInfo::exists(dir.filePath(S("after.jpg")));
        fx.m_run.Resume();
        worker.join();
        QVERIFY(parked);
        QVERIFY(heldInEntry);
        QVERIFY(ok);
        QVERIFY(monotonic);
        QCOMPARE(archive.m_nExtracted, 2);
        QCOMPARE(ReadFile(dir.filePath(S("big.jpg"))), big);
    }

    // The same for RAR: the library's data callback passes the pause gate inside the entry.
    void rarPauseInsideAnEntry()
    {
        QTemporaryDir dir;
        const QString src = dir.filePath(S("src"));
        QVERIFY(QDir().mkpath(src));
        // Bytes that do not compress, so the entry is unpacked in many blocks.
        QByteArray big(16 << 20, Qt::Uninitialized);
        quint32 x = 2463534242u;
        for (char& c : big) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            c = char(x);
        }
        QVERIFY(WriteFile(src + S("/big.jpg"), big));
        QVERIFY(WriteFile(src + S("/z.jpg"), QByteArray("after")));
        const QString dest = dir.filePath(S("dest"));
        QVERIFY(QDir().mkpath(dest));
        const QString path = dest + S("/Trip.rar");
        QVERIFY(MakeRar(path, src, {S("big.jpg"), S("z.jpg")}));

        UnpackFixture fx;
        fx.m_settings.m_nValidationLevel = 1;
        fx.m_settings.m_nExtractTo = 1;
        std::promise<void> started;
        fx.m_host.m_onStatus = [&](const QString& text) {
            if (text == S("big.jpg")) {
                fx.m_run.Pause(); // the worker is about to extract: the gate closes inside the entry
                started.set_value();
            }
        };
        CXArchiveFile archive = fx.Archive(path);
        std::atomic<bool> done{false};
        bool ok = false;
        std::thread worker([&] {
            ok = ExtractRarArchive(fx.m_ctx, archive);
            done = true;
        });
        QVERIFY(started.get_future().wait_for(std::chrono::seconds(60)) == std::future_status::ready);
        const bool parked = fx.m_run.WaitUntilParked(std::chrono::seconds(60));
        const bool held =
            !done && QFileInfo(dest + S("/big.jpg")).size() < big.size() && !QFileInfo::exists(dest + S("/z.jpg"));
        fx.m_run.Resume();
        worker.join();
        QVERIFY(parked);
        QVERIFY(held);
        QVERIFY(ok);
        QCOMPARE(ReadFile(dest + S("/big.jpg")), big);
        QVERIFY(QFileInfo::exists(dest + S("/z.jpg")));
    }

    void archiveThatDoesNotOpen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("missing ZIP") << S("gone.zip") << QByteArray();
        QTest::newRow("damaged ZIP") << S("bad.zip") << QByteArray("this is no archive");
        QTest::newRow("missing RAR") << S("gone.rar") << QByteArray();
        QTest::newRow("damaged RAR") << S("bad.rar") << QByteArray("Rar!\x1a\x07\x01\x00 broken");
    }
    void archiveThatDoesNotOpen()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (!bytes.isEmpty())
            QVERIFY(WriteFile(path, bytes));
        UnpackFixture fx;
        CXArchiveFile archive = fx.Archive(path);
        archive.m_nExtracted = 4;
        archive.m_nSkipped = 3;
        archive.m_nBytesOnDisk = 99;
        const bool ok =
            name.endsWith(S(".zip")) ? ExtractZipArchive(fx.m_ctx, archive) : ExtractRarArchive(fx.m_ctx, archive);
        QVERIFY(!ok);
        QCOMPARE(archive.m_nExtracted, 0);
        QCOMPARE(archive.m_nSkipped, 0);
        QCOMPARE(archive.m_nErrors, 0);
        QCOMPARE(archive.m_nBytesOnDisk, quint64(0));
        QCOMPARE(fx.m_host.Texts(), QStringList({QString()}));
    }

    // RAR: folders passed over whatever their names, the same filter, renaming in mode 2, and the
    // process's current directory left alone.
    void rarExtraction()
    {
        if (!HaveRar())
            QSKIP("the rar command is not installed");
        QTemporaryDir dir;
        const QString src = dir.filePath(S("src"));
        QVERIFY(WriteFile(src + S("/Trip/IMG_1.JPG"), Jpeg()));
        QVERIFY(WriteFile(src + S("/Trip/b.png"), Png()));
        QVERIFY(WriteFile(src + S("/__MACOSX/Trip/._IMG_1.JPG"), "junk"));
        QVERIFY(WriteFile(src + S("/Trip.jpg/inner.txt"), "text"));
        QVERIFY(WriteFile(src + S("/holiday. jpg"), Jpeg()));
        const QString dest = dir.filePath(S("dest"));
        QVERIFY(QDir().mkpath(dest));
        const QString path = dest + S("/my_trip.rar");
        QVERIFY(MakeRar(path, src, {S("Trip"), S("__MACOSX"), S("Trip.jpg"), S("holiday. jpg")}));

        UnpackFixture fx;
        fx.m_settings.m_nExtractTo = 2;
        fx.m_settings.m_bRenameFolder = 1;
        CXArchiveFile archive = fx.Archive(path, 1);
        const QString cwd = QDir::currentPath();
        QVERIFY(ExtractRarArchive(fx.m_ctx, archive));
        QCOMPARE(QDir::currentPath(), cwd);
        QCOMPARE(TreeOf(dest), QStringList({S("My Trip"), S("My Trip/Trip"), S("My Trip/Trip/IMG_1.JPG"),
                                            S("My Trip/Trip/b.png"), S("my_trip.rar")}));
        QCOMPARE(archive.m_nExtracted, 2);
        QCOMPARE(archive.m_nErrors, 0);
        QCOMPARE(ReadFile(dest + S("/My Trip/Trip/IMG_1.JPG")), Jpeg());
        QCOMPARE(fx.m_host.m_nValidations.load(), 2);

        // The second run skips every picture.
        UnpackFixture again;
        again.m_settings.m_nExtractTo = 2;
        again.m_settings.m_bRenameFolder = 1;
        QVERIFY(ExtractRarArchive(again.m_ctx, archive));
        QCOMPARE(archive.m_nSkipped, 2);
        QCOMPARE(archive.m_nExtracted, 0);
        QCOMPARE(again.m_host.Texts(), QStringList({S("Skipping: IMG_1.JPG"), S("Skipping: b.png"), QString()}));
    }

    // RAR links are never created; a link standing for a picture fails the archive. A damaged picture
    // fails level 3 as in a ZIP.
    void rarLinksAndDamage()
    {
        if (!HaveRar())
            QSKIP("the rar command is not installed");
        QTemporaryDir dir;
        const QString src = dir.filePath(S("src"));
        const QString outside = dir.filePath(S("outside"));
        QVERIFY(WriteFile(outside + S("/target.jpg"), Jpeg()));
        QVERIFY(WriteFile(src + S("/good.jpg"), Jpeg()));
        QVERIFY(WriteFile(src + S("/cut.jpg"), TruncatedJpeg()));
        QVERIFY(QFile::link(S("../outside/target.jpg"), src + S("/rel.jpg")));
        QVERIFY(QFile::link(outside + S("/target.jpg"), src + S("/abs.jpg")));
        const QString dest = dir.filePath(S("dest"));
        QVERIFY(QDir().mkpath(dest));
        const QString path = dest + S("/Trip.rar");
        QVERIFY(MakeRar(path, src, {S("good.jpg"), S("cut.jpg"), S("rel.jpg"), S("abs.jpg")}));

        UnpackFixture fx;
        CXArchiveFile archive = fx.Archive(path);
        QVERIFY(!ExtractRarArchive(fx.m_ctx, archive));
        QCOMPARE(TreeOf(dest), QStringList({S("Trip.rar"), S("good.jpg")}));
        QCOMPARE(archive.m_nExtracted, 1);
        QCOMPARE(archive.m_nErrors, 3);
        QStringList reasons;
        for (const CXArchiveItem& item : archive.m_arrFailedItems)
            reasons << item.m_strName + QLatin1Char(':') +
                           (item.m_strReason.isEmpty() && !item.m_bLoads ? S("does not load") : item.m_strReason);
        reasons.sort();
        QCOMPARE(reasons, QStringList({S("abs.jpg:") + zelvano::reason::LinkEntry(), S("cut.jpg:does not load"),
                                       S("rel.jpg:") + zelvano::reason::LinkEntry()}));
        QCOMPARE(ReadFile(outside + S("/target.jpg")), Jpeg());
    }

    // RAR output never keeps mode bits of the archive (an executable picture, set-id bits): pictures get
    // the plain permissions of a new file. An entry with encrypted data fails with that reason, and no
    // folder is left behind for it.
    void rarPermissionsAndEncryption()
    {
        if (!HaveRar())
            QSKIP("the rar command is not installed");
        QTemporaryDir dir;
        const QString src = dir.filePath(S("src"));
        QVERIFY(WriteFile(src + S("/run.jpg"), Jpeg()));
        QVERIFY(QFile::setPermissions(src + S("/run.jpg"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                               QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                               QFileDevice::ExeOther));
        QVERIFY(WriteFile(src + S("/sub/secret.jpg"), Jpeg()));
        const QString dest = dir.filePath(S("dest"));
        QVERIFY(QDir().mkpath(dest));
        QVERIFY(MakeRar(dest + S("/Plain.rar"), src, {S("run.jpg")}));
        QProcess rar;
        rar.setWorkingDirectory(src);
        rar.start(S("rar"),
                  {S("a"), S("-idq"), S("-y"), S("-ma5"), S("-psecret"), dest + S("/Locked.rar"), S("sub/secret.jpg")});
        QVERIFY(rar.waitForFinished(60000) && rar.exitCode() == 0);

        UnpackFixture fx;
        CXArchiveFile plain = fx.Archive(dest + S("/Plain.rar"));
        QVERIFY(ExtractRarArchive(fx.m_ctx, plain));
        const mode_t mask = ::umask(022);
        ::umask(mask);
        struct stat st
        {};
        QCOMPARE(::stat(QFile::encodeName(dest + S("/run.jpg")).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0666 & ~mask);

        CXArchiveFile locked = fx.Archive(dest + S("/Locked.rar"));
        QVERIFY(!ExtractRarArchive(fx.m_ctx, locked));
        QCOMPARE(locked.m_arrFailedItems.size(), 1);
        QCOMPARE(locked.m_arrFailedItems[0].m_strReason, zelvano::reason::EncryptedNoPassword());
        QVERIFY(!QFileInfo::exists(dest + S("/sub")));
    }

    // A failed RAR entry names its cause, as a ZIP entry does.
    void rarFailuresNameTheirCause_data()
    {
        QTest::addColumn<bool>("volumes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("data damaged: CRC error") << false << S("Extraction failed (CRC error)");
        QTest::newRow("the next volume is missing") << true << S("Next volume missing");
    }
    void rarFailuresNameTheirCause()
    {
        QFETCH(bool, volumes);
        QFETCH(QString, reason);
        if (!HaveRar())
            QSKIP("the rar command is not installed");
        QTemporaryDir dir;
        const QString src = dir.filePath(S("src"));
        QByteArray noise(300000, '\0');
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919) ^ (i >> 5));
        QVERIFY(WriteFile(src + S("/big.jpg"), noise));
        const QString dest = dir.filePath(S("dest"));
        QVERIFY(QDir().mkpath(dest));
        QProcess rar;
        rar.setWorkingDirectory(src);
        QStringList args{S("a"), S("-idq"), S("-y"), S("-ma5"), S("-m0")};
        if (volumes)
            args << S("-v100k");
        rar.start(S("rar"), args << dest + S("/Set.rar") << S("big.jpg"));
        QVERIFY(rar.waitForFinished(60000) && rar.exitCode() == 0);
        QString path = dest + S("/Set.rar");
        if (volumes) {
            path = dest + S("/Set.part1.rar");
            QVERIFY(QFile::remove(dest + S("/Set.part2.rar")));
        } else {
            QByteArray bytes = ReadFile(path);
            const qsizetype at = bytes.indexOf(noise.mid(1000, 64)) + 100;
            QVERIFY(at > 100);
            bytes[at] = char(bytes[at] ^ 0x40);
            QVERIFY(WriteFile(path, bytes));
        }
        UnpackFixture fx;
        CXArchiveFile archive = fx.Archive(path);
        QVERIFY(!ExtractRarArchive(fx.m_ctx, archive));
        QCOMPARE(archive.m_arrFailedItems.value(0).m_strReason, reason);
        QVERIFY(!QFileInfo::exists(dest + S("/big.jpg")));
    }

    void rarStopBetweenEntries()
    {
        if (!HaveRar())
            QSKIP("the rar command is not installed");
        QTemporaryDir dir;
        const QString src = dir.filePath(S("src"));
        for (int i = 1; i <= 3; ++i)
            QVERIFY(WriteFile(src + S("/p%1.jpg").arg(i), Jpeg()));
        const QString dest = dir.filePath(S("dest"));
        QVERIFY(QDir().mkpath(dest));
        const QString path = dest + S("/Trip.rar");
        QVERIFY(MakeRar(path, src, {S("p1.jpg"), S("p2.jpg"), S("p3.jpg")}));

        UnpackFixture fx;
        fx.m_host.m_onStatus = [&](const QString& text) {
            if (text == S("p2.jpg"))
                fx.m_run.Stop();
        };
        CXArchiveFile archive = fx.Archive(path);
        QVERIFY(!ExtractRarArchive(fx.m_ctx, archive));
        QCOMPARE(archive.m_nExtracted, 2);
        QCOMPARE(TreeOf(dest), QStringList({S("Trip.rar"), S("p1.jpg"), S("p2.jpg")}));
    }
};

QTEST_GUILESS_MAIN(TestExtract)
#include "tst_extract.moc"
