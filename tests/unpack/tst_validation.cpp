#include "unpack/imagecheck.h"
#include "unpack/tempfiles.h"
#include "unpack/validation.h"

#include <zlib.h>

#include "support/testenv.h"
#include "unpack/extractfixture.h"

#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtTest>

using namespace zelvano::test;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// A progressive JPEG has several scans; the end check must walk all of them.
QByteArray ProgressiveJpeg()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(TestPicture(200, 150));
    return bytes;
}

// Qt writes no GIF: a 1x1 GIF89a by hand.
QByteArray TinyGif()
{
    static const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                                        0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04,
                                        0x01, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01,
                                        0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
    return QByteArray(reinterpret_cast<const char*>(gif), sizeof gif);
}

} // namespace

class TestValidation : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void imageKind_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("kind");
        // clang-format off
        QTest::newRow("jpg")                    << S("/a/x.jpg")    << 0;
        QTest::newRow("upper-case JPG")         << S("/a/IMG.JPG")  << 0;
        QTest::newRow("jpeg")                   << S("/a/x.jpeg")   << 0;
        QTest::newRow("bmp")                    << S("/a/x.bmp")    << 1;
        QTest::newRow("png")                    << S("/a/x.png")    << 2;
        QTest::newRow("tif")                    << S("/a/x.tif")    << 3;
        QTest::newRow("tiff")                   << S("/a/x.TIFF")   << 3;
        QTest::newRow("gif")                    << S("/a/x.gif")    << 4;
        QTest::newRow("extra extension")        << S("/a/x.txt")    << -1;
        QTest::newRow("no extension")           << S("/a/x")        << -1;
        QTest::newRow("dot only in the folder") << S("/a.jpg/x")    << -1;
        // clang-format on
    }
    void imageKind()
    {
        QFETCH(QString, path);
        QFETCH(int, kind);
        QCOMPARE(GetImageKind(path), kind);
    }

    // The default picture test on real files: a picture that decodes only in part must not load.
    void loadsAsPicture_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("loads");

        const QByteArray jpeg = Jpeg(640, 480);
        const QByteArray progressive = ProgressiveJpeg();
        QByteArray withTrailer = jpeg + QByteArray("trailing bytes after the picture");
        QByteArray jpegNoEnd = jpeg;
        jpegNoEnd.chop(2);                     // every coded byte, but no end-of-image marker
        const QByteArray odd = Jpeg(643, 481); // the reduced size is rounded
        // Past the size read into memory whole, the file is mapped instead.
        const QByteArray padding(17 * 1024 * 1024, '\0');
        // clang-format off
        QTest::newRow("whole JPEG")                          << S("a.jpg")  << jpeg                              << true;
        QTest::newRow("whole progressive JPEG")              << S("a.jpg")  << progressive                       << true;
        QTest::newRow("JPEG with bytes after its end")       << S("a.jpg")  << withTrailer                       << true;
        QTest::newRow("tiny JPEG, not scaled")               << S("a.jpg")  << Jpeg(4, 4)                        << true;
        QTest::newRow("truncated JPEG")                      << S("a.jpg")  << jpeg.left(jpeg.size() / 2)        << false;
        QTest::newRow("JPEG cut just before its end")        << S("a.jpg")  << jpegNoEnd                         << false;
        QTest::newRow("truncated progressive JPEG")          << S("a.jpg")  << progressive.left(progressive.size() * 2 / 3) << false;
        QTest::newRow("JPEG header only")                    << S("a.jpg")  << jpeg.left(300)                    << false;
        QTest::newRow("JPEG sized no multiple of 8")         << S("a.jpg")  << odd                               << true;
        QTest::newRow("truncated JPEG sized no multiple of 8") << S("a.jpg") << odd.left(odd.size() * 3 / 4)     << false;
        QTest::newRow("large file: whole JPEG, long trailer")  << S("a.jpg") << jpeg + padding                   << true;
        QTest::newRow("large file: JPEG cut in its coded data") << S("a.jpg") << jpeg.left(jpeg.size() / 2) + padding << false;
        QTest::newRow("large file: PNG with a damaged chunk") << S("a.png") << DamagedPng() + padding             << false;
        QTest::newRow("whole PNG")                           << S("a.png")  << Png()                             << true;
        QTest::newRow("truncated PNG")                       << S("a.png")  << Png().left(Png().size() / 2)      << false;
        QTest::newRow("PNG with a damaged data chunk")       << S("a.png")  << DamagedPng()                      << false;
        QTest::newRow("PNG named .jpg loads by content")     << S("a.jpg")  << Png()                             << true;
        QTest::newRow("whole BMP")                           << S("a.bmp")  << Encode(TestPicture(), "BMP")      << true;
        QTest::newRow("whole GIF")                           << S("a.gif")  << TinyGif()                         << true;
        QTest::newRow("whole TIFF")                          << S("a.tif")  << Encode(TestPicture(), "TIFF")     << true;
        QTest::newRow("text is no picture")                  << S("a.jpg")  << QByteArray("hello, not a picture") << false;
        QTest::newRow("empty file")                          << S("a.jpg")  << QByteArray()                      << false;
        // clang-format on
    }
    void loadsAsPicture()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, loads);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(WriteFile(path, bytes));
        QCOMPARE(LoadsAsPicture(path), loads);
    }

    void missingFileDoesNotLoad() { QVERIFY(!LoadsAsPicture(S("/nonexistent/zelvano/a.jpg"))); }

    // The three levels on one written file each, with the extraction call's result.
    void levels_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // empty with write=false: nothing on disk
        QTest::addColumn<bool>("write");
        QTest::addColumn<int>("sizeDelta"); // listed size minus real size
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("sizeMatches");
        QTest::addColumn<bool>("loads");

        const QByteArray truncated = TruncatedJpeg();
        // A whole picture with a few bytes between two segments, as some writers leave them.
        QByteArray stray = Jpeg();
        stray.insert(stray.indexOf("\xFF\xDB"), QByteArray("\0\0junk", 6));
        // clang-format off
        QTest::newRow("level 1: a truncated picture exists")       << 0 << S("a.jpg") << truncated << true  << 0  << 0 << true  << true  << true  << true;
        QTest::newRow("level 1: a failed call is never valid")     << 0 << S("a.jpg") << truncated << true  << 0  << 0x410 << false << true << true << true;
        QTest::newRow("level 1: nothing written")                  << 0 << S("a.jpg") << QByteArray() << false << 0 << 0 << false << false << true << true;
        QTest::newRow("level 1: size is not looked at")            << 0 << S("a.jpg") << truncated << true  << 5  << 0 << true  << true  << true  << true;
        QTest::newRow("level 2: wrong size")                       << 1 << S("a.jpg") << truncated << true  << 5  << 0 << false << true  << false << true;
        QTest::newRow("level 2: damaged data of the right size")   << 1 << S("a.jpg") << truncated << true  << 0  << 0 << true  << true  << true  << true;
        QTest::newRow("level 3: truncated JPEG")                   << 2 << S("a.jpg") << truncated << true  << 0  << 0 << false << true  << true  << false;
        QTest::newRow("level 3: upper-case name is checked too")   << 2 << S("IMG.JPG") << truncated << true << 0 << 0 << false << true  << true  << false;
        QTest::newRow("level 3: PNG with a bad chunk")             << 2 << S("a.png") << DamagedPng() << true << 0 << 0 << false << true  << true  << false;
        QTest::newRow("level 3: whole JPEG")                       << 2 << S("a.jpg") << Jpeg()    << true  << 0  << 0 << true  << true  << true  << true;
        QTest::newRow("level 3: JPEG with stray bytes between segments") << 2 << S("a.jpg") << stray << true << 0 << 0 << true << true << true << true;
        QTest::newRow("level 3: extra type only exists and size")  << 2 << S("a.txt") << QByteArray("text") << true << 0 << 0 << true << true << true << true;
        QTest::newRow("level 3: extra type with wrong size")       << 2 << S("a.txt") << QByteArray("text") << true << 1 << 0 << false << true << false << true;
        QTest::newRow("level 3: a failed call is never valid")     << 2 << S("a.jpg") << Jpeg()    << true  << 0  << 0x400 << false << true << true << true;
        QTest::newRow("damaged level value counts as level 1")     << 9 << S("a.jpg") << truncated << true  << 5  << 0 << true  << true  << true  << true;
        // clang-format on
    }
    void levels()
    {
        QFETCH(int, level);
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, write);
        QFETCH(int, sizeDelta);
        QFETCH(int, result);
        QFETCH(bool, valid);
        QFETCH(bool, exists);
        QFETCH(bool, sizeMatches);
        QFETCH(bool, loads);

        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (write)
            QVERIFY(WriteFile(path, bytes));
        // The tally maps levels outside 0 to 2 to 0; the plain function takes the level as given.
        const int effective = (level < 0 || level > 2) ? 0 : level;
        const CXValidationOutcome out = ValidateFile(effective, path, bytes.size() + sizeDelta, result,
                                                     [](const QString& p) { return LoadsAsPicture(p); });
        QCOMPARE(out.m_bValid, valid);
        QCOMPARE(out.m_bExists, exists);
        QCOMPARE(out.m_bSizeMatches, sizeMatches);
        QCOMPARE(out.m_bLoads, loads);
        QCOMPARE(out.m_nSize, write ? quint64(bytes.size()) : quint64(0));
    }

    // An entry staged in a temporary file beside its final path, as the extraction writes it.
    static CXEntryWrite Stage(const QString& final, const QByteArray& bytes, qint64 listedSize = -1)
    {
        CXEntryWrite write;
        write.m_strFinal = final;
        write.m_strTemp = NewTempPath(QFileInfo(final).absolutePath());
        write.m_strName = QFileInfo(final).fileName();
        write.m_nPacked = 10;
        write.m_nUnpacked = listedSize >= 0 ? listedSize : bytes.size();
        write.m_nCrc = quint32(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
        if (!bytes.isNull())
            WriteFile(write.m_strTemp, bytes);
        return write;
    }

    // The tally itself: only a proven file takes its final name; failed entries are recorded with their
    // flags and leave nothing behind; a failed call names its code.
    void tallyCountsAndRecords()
    {
        UnpackFixture fx;
        fx.m_settings.m_nValidationLevel = 2;
        QTemporaryDir dir;
        CXArchiveFile archive = fx.Archive(dir.filePath(S("Trip.zip")));
        const QString good = dir.filePath(S("good.jpg"));
        const QString bad = dir.filePath(S("bad.jpg"));
        const QString failed = dir.filePath(S("crc.jpg"));
        {
            CXArchiveTally tally(fx.m_ctx, archive);
            tally.FinishEntry(Stage(good, Jpeg()), 0);
            tally.FinishEntry(Stage(bad, TruncatedJpeg()), 0);
            tally.FinishEntry(Stage(failed, Jpeg()), 0x410, zelvano::reason::ExtractionFailed(0x410, S("ZIPRES_CRC")));
            tally.FinishEntry(Stage(dir.filePath(S("none.jpg")), QByteArray(), 20), 0x200);
            QVERIFY(!tally.Finish());
        }
        QCOMPARE(archive.m_nExtracted, 1);
        QCOMPARE(archive.m_nErrors, 3);
        QCOMPARE(archive.m_nBytesOnDisk, quint64(QFileInfo(good).size()));
        QVERIFY(QFileInfo(good).isFile());
        QVERIFY(!QFileInfo::exists(bad));
        QVERIFY(!QFileInfo::exists(failed));
        QCOMPARE(TempFilesIn(dir.path()), QStringList());
        QCOMPARE(archive.m_arrFailedItems.size(), 3);
        const CXArchiveItem& damaged = archive.m_arrFailedItems[0];
        QCOMPARE(damaged.m_strName, S("bad.jpg"));
        QCOMPARE(damaged.m_bLoads, 0);
        QCOMPARE(damaged.m_bExists, 1);
        QVERIFY(damaged.m_strReason.isEmpty());
        const CXArchiveItem& crc = archive.m_arrFailedItems[1];
        QCOMPARE(crc.m_nResult, 0x410);
        QCOMPARE(crc.m_strReason, S("Extraction failed (ZIPRES_CRC, code 1040)"));
        const CXArchiveItem& none = archive.m_arrFailedItems[2];
        QCOMPARE(none.m_bExists, 0);
        QCOMPARE(none.m_bSizeMatches, 0);
        QCOMPARE(none.m_bLoads, 0);
        QVERIFY(none.m_strReason.startsWith(S("Extraction failed")));
        QCOMPARE(fx.m_host.m_nValidations.load(), 2);
    }

    // Several picture tests are in flight at once; their outcomes, the failures recorded directly and
    // the counters must still come out in entry order.
    void tallyKeepsEntryOrderWithTestsInFlight()
    {
        UnpackFixture fx;
        fx.m_settings.m_nValidationLevel = 2;
        QTemporaryDir dir;
        CXArchiveFile archive = fx.Archive(dir.filePath(S("Trip.zip")));
        const QByteArray good = Jpeg(320, 240);
        const QByteArray bad = TruncatedJpeg();
        // g: whole picture, b: damaged picture, x: a failure recorded by the extractor, t: a text file
        // of the wrong size.
        const QString plan = S("gbgbbxbgtbgg");
        QStringList expected;
        int written = 0;
        {
            CXArchiveTally tally(fx.m_ctx, archive);
            for (int i = 0; i < plan.size(); ++i) {
                const QChar kind = plan.at(i);
                const QString name = QStringLiteral("%1%2.%3").arg(kind).arg(i).arg(kind == u't' ? S("txt") : S("jpg"));
                const QString path = dir.filePath(name);
                if (kind == u'x') {
                    tally.RecordFailure(path, name, 1, 1, 0x400, false, false, false, S("recorded directly"));
                    expected << name;
                    continue;
                }
                const QByteArray bytes = kind == u'g' ? good : kind == u'b' ? bad : QByteArray("text");
                tally.FinishEntry(Stage(path, bytes, bytes.size() + (kind == u't' ? 1 : 0)), 0);
                if (kind != u'g')
                    expected << name;
                else
                    ++written;
            }
            QVERIFY(!tally.Finish());
        }
        QStringList got;
        for (const CXArchiveItem& item : archive.m_arrFailedItems)
            got << item.m_strName;
        QCOMPARE(got, expected);
        QCOMPARE(archive.m_nErrors, qint32(expected.size()));
        QCOMPARE(archive.m_nExtracted, written);
        QCOMPARE(archive.m_arrFailedItems.at(2).m_bLoads, 0);
        QCOMPARE(archive.m_arrFailedItems.at(3).m_strReason, S("recorded directly"));
        QCOMPARE(TempFilesIn(dir.path()), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestValidation)
#include "tst_validation.moc"
