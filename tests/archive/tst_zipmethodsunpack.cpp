// Pictures compressed with BZip2, LZMA, XZ or Zstandard go the whole way a deflated one goes: the scan counts
// them, the unpack writes and validates them, and a damaged stream fails with the reason of a damaged
// deflated picture.
#include "archive/zip.h"
#include "scan/examine.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "unpack/extract.h"
#include "unpack/validation.h"

#include "support/testenv.h"
#include "support/zipwriter.h"
#include "unpack/extractfixture.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace zelvano::test;

class TestZipMethodsUnpack : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void scannedAndUnpacked_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("flags");
        QTest::newRow("Deflate, the measure") << 8 << 0;
        QTest::newRow("BZip2") << 12 << 0;
        QTest::newRow("LZMA") << 14 << 0;
        QTest::newRow("LZMA with end marker") << 14 << 2;
        QTest::newRow("XZ") << 95 << 0;
        QTest::newRow("Zstandard") << 93 << 0;
    }
    void scannedAndUnpacked()
    {
        QFETCH(int, method);
        QFETCH(int, flags);

        QTemporaryDir dir;
        const QByteArray picture = Jpeg(160, 120);
        ZipWriter zip;
        zip.add("Trip/packed.jpg", picture, uint16_t(method)).flags = uint16_t(flags);
        zip.add("Trip/plain.jpg", Jpeg());
        // The same method over a stream cut short: it fails like damaged deflate data.
        ZipItem& cut = zip.add("Trip/cut.jpg", picture, uint16_t(method));
        cut.flags = uint16_t(flags);
        cut.packed = ZipWriter::Compress(uint16_t(method), picture, uint16_t(flags)).left(40);
        const QString path = dir.filePath(QStringLiteral("Trip.zip"));
        QVERIFY(WriteFile(path, zip.build()));

        int mode = 0;
        quint64 photoBytes = 0, packedBytes = 0;
        int folders = 0;
        QCOMPARE(ExamineArchive(CXSettings(), path, BuildImagePatternList(CXSettings()), mode, photoBytes, packedBytes,
                                folders),
                 3);
        QCOMPARE(photoBytes, quint64(2 * picture.size() + Jpeg().size()));

        UnpackFixture fx;
        CXArchiveFile archive = fx.Archive(path, 1);
        QVERIFY(!ExtractZipArchive(fx.m_ctx, archive));
        QCOMPARE(archive.m_nExtracted, 2);
        QCOMPARE(archive.m_arrFailedItems.size(), qsizetype(1));
        QCOMPARE(archive.m_arrFailedItems[0].m_strName, QStringLiteral("cut.jpg"));
        QCOMPARE(archive.m_arrFailedItems[0].m_strReason,
                 zelvano::reason::ExtractionFailed(ZIPRES_WRITE, QStringLiteral("ZIPRES_WRITE")));
        QFile file(dir.filePath(QStringLiteral("Trip/packed.jpg")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), picture);
        QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("Trip/plain.jpg"))));
    }
};

QTEST_GUILESS_MAIN(TestZipMethodsUnpack)
#include "tst_zipmethodsunpack.moc"
