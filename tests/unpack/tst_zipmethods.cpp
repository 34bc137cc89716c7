// ZIP entries compressed with methods the reader does not read (Deflate64, PPMd, unknown numbers): the archive
// is still listed with its photos, and each such entry fails at unpack naming its method (or as encrypted, when
// it is).
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

class TestZipMethods : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void unpackedMethods_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<QString>("reason");

        // clang-format off
        QTest::newRow("Deflate64")        << 9  << false << QStringLiteral("Unsupported compression method (Deflate64)");
        QTest::newRow("PPMd")             << 98 << false << QStringLiteral("Unsupported compression method (PPMd)");
        QTest::newRow("a number without a name") << 77 << false << QStringLiteral("Unsupported compression method (method 77)");
        QTest::newRow("WinZip AES")       << 99 << true  << zelvano::reason::EncryptedNoPassword();
        QTest::newRow("encrypted Deflate64") << 9 << true  << zelvano::reason::EncryptedNoPassword();
        // clang-format on
    }
    void unpackedMethods()
    {
        QFETCH(int, method);
        QFETCH(bool, encrypted);
        QFETCH(QString, reason);

        QTemporaryDir dir;
        ZipWriter zip;
        ZipItem& odd = zip.add("Trip/odd.jpg", QByteArray(300, 'x'), uint16_t(method));
        odd.encrypted = encrypted;
        zip.add("Trip/plain.jpg", Jpeg());
        const QString path = dir.filePath(QStringLiteral("Trip.zip"));
        QVERIFY(WriteFile(path, zip.build()));

        // The scan counts both photos.
        int mode = 0;
        quint64 photoBytes = 0, packedBytes = 0;
        int folders = 0;
        QCOMPARE(ExamineArchive(CXSettings(), path, BuildImagePatternList(CXSettings()), mode, photoBytes, packedBytes,
                                folders),
                 2);
        QCOMPARE(photoBytes, quint64(300 + Jpeg().size()));

        // The reader lists the entry as whole, and refuses to write it.
        ZipHandlePtr handle(ZipOpen(path));
        ZipEntry entry;
        QCOMPARE(ZipGetEntry(handle.get(), 0, entry), ZIPRES_METHOD);
        QCOMPARE(entry.m_szName, QStringLiteral("Trip/odd.jpg"));
        QCOMPARE(entry.m_nUnpackedSize, qint64(300));
        const QString out = dir.filePath(QStringLiteral("direct.jpg"));
        QCOMPARE(ZipExtractEntry(handle.get(), 0, out), encrypted ? ZIPRES_ENCRYPTED : ZIPRES_METHOD);
        QVERIFY(!QFileInfo::exists(out));
        handle.reset();

        // The unpack writes the readable picture and names why the other failed.
        UnpackFixture fx;
        CXArchiveFile archive = fx.Archive(path, 1);
        QVERIFY(!ExtractZipArchive(fx.m_ctx, archive));
        QCOMPARE(archive.m_nExtracted, 1);
        QCOMPARE(archive.m_arrFailedItems.size(), qsizetype(1));
        QCOMPARE(archive.m_arrFailedItems[0].m_strName, QStringLiteral("odd.jpg"));
        QCOMPARE(archive.m_arrFailedItems[0].m_strReason, reason);
        QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("Trip/plain.jpg"))));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("Trip/odd.jpg"))));
    }
};

QTEST_GUILESS_MAIN(TestZipMethods)
#include "tst_zipmethods.moc"
