// The unpack report file byte for byte, and the reason given for each kind of failed entry.
#include "reports/unpackreport.h"
#include "scan/archivelist.h"
#include "support/testenv.h"

#include <ctime>
#include <QtTest>

class TestUnpackReport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void reasons_data()
    {
        QTest::addColumn<int>("exists");
        QTest::addColumn<int>("sizeMatches");
        QTest::addColumn<int>("loads");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("recorded");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not written: whatever the other flags say")
            << 0 << 1 << 1 << 0 << QString() << QStringLiteral("Image can't be saved");
        QTest::newRow("a failed call that wrote nothing stays \"can't be saved\"")
            << 0 << 0 << 0 << 5 << QStringLiteral("Extraction failed (code 5)")
            << QStringLiteral("Image can't be saved");
        QTest::newRow("written, loads, wrong size")
            << 1 << 0 << 1 << 0 << QString() << QStringLiteral("Uncompressed Filesize mismatch");
        QTest::newRow("right size, does not load")
            << 1 << 1 << 0 << 0 << QString() << QStringLiteral("Image is invalid (damaged or corrupted)");
        QTest::newRow("a file left behind by a failed call: the error is named")
            << 1 << 1 << 1 << 5 << QStringLiteral("Extraction failed (code 5)")
            << QStringLiteral("Extraction failed (code 5)");
        QTest::newRow("a different file in the way, not a size mismatch")
            << 1 << 0 << 1 << 0 << QStringLiteral("A different file with this name already exists")
            << QStringLiteral("A different file with this name already exists");
        QTest::newRow("a name leading outside, not a picture that can't be saved")
            << 0 << 0 << 0 << 0 << QStringLiteral("The name leads outside the destination")
            << QStringLiteral("The name leads outside the destination");
        QTest::newRow("all flags set and nothing recorded: empty") << 1 << 1 << 1 << 0 << QString() << QString();
    }
    void reasons()
    {
        QFETCH(int, exists);
        QFETCH(int, sizeMatches);
        QFETCH(int, loads);
        QFETCH(int, result);
        QFETCH(QString, recorded);
        CXArchiveItem item;
        item.m_bExists = exists;
        item.m_bSizeMatches = sizeMatches;
        item.m_bLoads = loads;
        item.m_nResult = result;
        item.m_strReason = recorded;
        QTEST(FailedItemReason(item), "reason");
    }

    // Two archives of three processed, the second with two failed entries; the third archive of the list
    // was not selected. The processed section gives the scan's photo counts.
    void reportFile_data()
    {
        QTest::addColumn<bool>("withErrors");
        QTest::newRow("with errors") << true;
        QTest::newRow("without errors: no errors section") << false;
    }
    void reportFile()
    {
        QFETCH(bool, withErrors);
        QList<CXArchiveFile> archives(3);
        archives[0].m_strPath = QStringLiteral("/p/a.zip");
        archives[0].m_nPhotoCount = 1;
        archives[1].m_strPath = QStringLiteral("/p/trip/b.rar");
        archives[1].m_nPhotoCount = 12;
        archives[2].m_strPath = QStringLiteral("/p/z.zip");
        archives[2].m_nPhotoCount = 1234;
        if (withErrors) {
            CXArchiveItem one;
            one.m_strPath = QStringLiteral("/p/trip/b/1.jpg");
            one.m_bLoads = 0;
            CXArchiveItem two;
            two.m_strPath = QStringLiteral("/p/trip/b/2.jpg");
            two.m_bExists = 0;
            archives[1].m_arrFailedItems << one << two;
            archives[1].m_nErrors = 2;
        }

        UnpackReportData data;
        data.m_strScanPath = QStringLiteral("/p");
        data.m_tStarted = 1700000000; // Tuesday, November 14, 2023 22:13:20 UTC
        data.m_tFinished = 1700003725;
        data.m_strElapsed = QStringLiteral("1:02:05");
        data.m_nArchivesProcessed = 2;
        data.m_nExtracted = 11;
        data.m_nBytesOnDisk = 1536;
        data.m_nSkipped = 1234;
        data.m_nErrors = withErrors ? 2 : 0;
        data.m_pArchives = &archives;
        data.m_arrSelection = {0, 1};

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("UNPACK.txt"));
        QVERIFY(zelvano::test::WriteFile(path, "an older report that is replaced\r\n"));
        QVERIFY(WriteUnpackReport(path, data));

        const QByteArray sep(100, '-');
        QByteArray expected = sep +
                              "\r\n"
                              "Zelvano Unpack Report\r\n" +
                              sep +
                              "\r\n"
                              "\r\n"
                              "Scan Path:                    /p\r\n"
                              "Started:                      Tuesday, November 14, 2023 @10:13:20 PM\r\n"
                              "Finished:                     Tuesday, November 14, 2023 @11:15:25 PM\r\n"
                              "Elapsed Time:                 1:02:05\r\n"
                              "Archives Processed:           2\r\n"
                              "Photos Extracted:             11\r\n"
                              "Size on Disk:                 1.50 KB\r\n"
                              "Number Skipped (Duplicate):   1,234\r\n";
        if (withErrors) {
            expected += "Number of Errors:             2\r\n"
                        "\r\n" +
                        sep +
                        "\r\n"
                        "Archive Files with errors:\r\n" +
                        sep +
                        "\r\n"
                        "\r\n"
                        "In archive: /p/trip/b.rar\r\n"
                        "   /p/trip/b/1.jpg\r\n"
                        "   -> Image is invalid (damaged or corrupted)\r\n"
                        "\r\n"
                        "   /p/trip/b/2.jpg\r\n"
                        "   -> Image can't be saved\r\n"
                        "\r\n";
        } else {
            expected += "Number of Errors:             0\r\n";
        }
        expected += "\r\n" + sep +
                    "\r\n"
                    "Processed Archive Files:\r\n" +
                    sep +
                    "\r\n"
                    "\r\n"
                    "      1 Photo        /p/a.zip\r\n"
                    "     12 Photos       /p/trip/b.rar\r\n";
        QCOMPARE(zelvano::test::ReadFile(path), expected);
    }
};

QTEST_GUILESS_MAIN(TestUnpackReport)
#include "tst_report.moc"
