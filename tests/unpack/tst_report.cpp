// The unpack report file byte for byte, and the reason given for each kind of failed entry.
#include "reports/unpackreport.h"
#include "scan/archivelist.h"
#include "support/testenv.h"

#include <clocale>
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
        // The application sets the user's locale at start; the texts below are those of the C locale.
        std::setlocale(LC_ALL, "C");
    }
    void cleanup() { std::setlocale(LC_ALL, "C"); }

    // The summary's times follow the locale's names but never lose the time of day: without an AM/PM
    // marker the hour is in 24-hour form. Counts are grouped the same in every locale.
    void summaryInLocale_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QString>("started");
        QTest::addColumn<QString>("finished");
        // clang-format off
        QTest::newRow("C")       << QByteArray("C")           << QStringLiteral("Tuesday, November 14, 2023 @10:13:20 PM") << QStringLiteral("Tuesday, November 14, 2023 @11:15:25 PM");
        QTest::newRow("C.UTF-8") << QByteArray("C.UTF-8")     << QStringLiteral("Tuesday, November 14, 2023 @10:13:20 PM") << QStringLiteral("Tuesday, November 14, 2023 @11:15:25 PM");
        QTest::newRow("German")  << QByteArray("de_DE.UTF-8") << QStringLiteral("Dienstag, November 14, 2023 @22:13:20")   << QStringLiteral("Dienstag, November 14, 2023 @23:15:25");
        // clang-format on
    }
    void summaryInLocale()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QString, started);
        QFETCH(QString, finished);
        if (!std::setlocale(LC_ALL, locale.constData()))
            QSKIP("locale not installed (scripts/install-deps.sh generates it)");
        UnpackReportData data;
        data.m_strScanPath = QStringLiteral("/p");
        data.m_tStarted = 1700000000;
        data.m_tFinished = 1700003725;
        data.m_nSkipped = 1234;
        data.m_nBytesOnDisk = 1536;
        const QStringList lines = UnpackReportSummaryLines(data);
        const auto field = [&lines](const char* label) {
            for (const QString& line : lines) {
                if (line.startsWith(QLatin1String(label)))
                    return line.mid(30);
            }
            return QStringLiteral("(missing)");
        };
        QCOMPARE(field("Started:"), started);
        QCOMPARE(field("Finished:"), finished);
        QCOMPARE(field("Number Skipped (Duplicate):"), QStringLiteral("1,234"));
        QCOMPARE(field("Size on Disk:"), QStringLiteral("1.50 KB"));
        // The file name keeps its digits in every locale.
        QCOMPARE(ProposedUnpackReportName(data.m_tStarted), QStringLiteral("UNPACK 11-14-2023 (1700000000).txt"));
    }

    // The number in the name is the low 32 bits of the start time, read as signed.
    void proposedName_data()
    {
        QTest::addColumn<qint64>("started");
        QTest::addColumn<QString>("name");
        QTest::newRow("2023") << qint64(1700000000) << QStringLiteral("UNPACK 11-14-2023 (1700000000).txt");
        QTest::newRow("first second of 1970") << qint64(0) << QStringLiteral("UNPACK 01-01-1970 (0).txt");
        QTest::newRow("past 2038 wraps negative")
            << qint64(2147483648) << QStringLiteral("UNPACK 01-19-2038 (-2147483648).txt");
    }
    void proposedName()
    {
        QFETCH(qint64, started);
        QFETCH(QString, name);
        QCOMPARE(ProposedUnpackReportName(started), name);
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

    // One line per archive deleted or kept, in run order; nothing for an archive with neither, or for an
    // index outside the list.
    void fateLines_data()
    {
        QTest::addColumn<int>("deleted"); // ArchiveDeletion
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QStringList>("lines");
        const QString reason = QStringLiteral("holds 3 other files that were not extracted (clip.mov, notes.txt, ...)");
        QTest::newRow("moved to the trash")
            << int(ArchiveDeletion::Trash) << QString() << QStringList{QStringLiteral("Deleted (trash): /p/a.zip")};
        QTest::newRow("deleted permanently") << int(ArchiveDeletion::Permanent) << QString()
                                             << QStringList{QStringLiteral("Deleted (permanently): /p/a.zip")};
        QTest::newRow("kept with its reason")
            << int(ArchiveDeletion::None) << reason << QStringList{QStringLiteral("Kept: /p/a.zip: ") + reason};
        QTest::newRow("neither deleted nor kept: no line") << int(ArchiveDeletion::None) << QString() << QStringList{};
    }
    void fateLines()
    {
        QFETCH(int, deleted);
        QFETCH(QString, kept);
        QList<CXArchiveFile> archives(2);
        archives[0].m_strPath = QStringLiteral("/p/a.zip");
        archives[1].m_strPath = QStringLiteral("/p/b.zip");
        UnpackReportData data;
        data.m_pArchives = &archives;
        UnpackArchiveFate fate;
        fate.m_nArchive = 0;
        fate.m_nDeleted = ArchiveDeletion(deleted);
        fate.m_strKept = kept;
        UnpackArchiveFate outside;
        outside.m_nArchive = 2;
        outside.m_strKept = QStringLiteral("not in the list");
        UnpackArchiveFate second;
        second.m_nArchive = 1;
        second.m_strKept = QStringLiteral("the deletion was not confirmed");
        data.m_arrFates = {fate, outside, second};
        QStringList expected;
        QFETCH(QStringList, lines);
        expected << lines << QStringLiteral("Kept: /p/b.zip: the deletion was not confirmed");
        QCOMPARE(UnpackFateLines(data), expected);
    }

    // The kept archives get a section of their own between the errors and the processed archives; the
    // lines around it stay as they are, and without a kept archive there is no section.
    void keptSection_data()
    {
        QTest::addColumn<bool>("withErrors");
        QTest::addColumn<bool>("withKept");
        QTest::newRow("errors and kept") << true << true;
        QTest::newRow("kept without errors") << false << true;
        QTest::newRow("every archive deleted: no kept section") << false << false;
    }
    void keptSection()
    {
        QFETCH(bool, withErrors);
        QFETCH(bool, withKept);
        QList<CXArchiveFile> archives(3);
        archives[0].m_strPath = QStringLiteral("/p/a.zip");
        archives[0].m_nPhotoCount = 2;
        archives[1].m_strPath = QStringLiteral("/p/b.zip");
        archives[1].m_nPhotoCount = 3;
        archives[2].m_strPath = QStringLiteral("/p/c.zip");
        archives[2].m_nPhotoCount = 4;
        UnpackReportData data;
        data.m_strScanPath = QStringLiteral("/p");
        data.m_pArchives = &archives;
        data.m_arrSelection = {0, 1, 2};
        if (withErrors) {
            CXArchiveItem item;
            item.m_strPath = QStringLiteral("/p/b/1.jpg");
            item.m_bLoads = 0;
            archives[1].m_arrFailedItems << item;
            data.m_nErrors = 1;
        }
        UnpackArchiveFate a;
        a.m_nArchive = 0;
        a.m_nDeleted = ArchiveDeletion::Trash;
        UnpackArchiveFate b;
        b.m_nArchive = 1;
        b.m_nDeleted = withKept ? ArchiveDeletion::None : ArchiveDeletion::Trash;
        b.m_strKept = withKept ? QStringLiteral("1 entry failed") : QString();
        UnpackArchiveFate c;
        c.m_nArchive = 2;
        c.m_nDeleted = withKept ? ArchiveDeletion::None : ArchiveDeletion::Trash;
        c.m_strKept = withKept ? QStringLiteral("holds 1 other file that was not extracted (clip.mov)") : QString();
        data.m_arrFates = {a, b, c};

        const QStringList lines = UnpackReportLines(data);
        const QString sep(100, QLatin1Char('-'));
        QStringList expected = lines.mid(0, 13); // the header and summary, checked byte for byte above
        if (withErrors) {
            expected << QString() << sep << QStringLiteral("Archive Files with errors:") << sep << QString()
                     << QStringLiteral("In archive: /p/b.zip") << QStringLiteral("   /p/b/1.jpg")
                     << QStringLiteral("   -> Image is invalid (damaged or corrupted)") << QString();
        }
        if (withKept) {
            expected << QString() << sep << QStringLiteral("Archive Files kept:") << sep << QString()
                     << QStringLiteral("/p/b.zip") << QStringLiteral("   -> 1 entry failed") << QString()
                     << QStringLiteral("/p/c.zip")
                     << QStringLiteral("   -> holds 1 other file that was not extracted (clip.mov)") << QString();
        }
        expected << QString() << sep << QStringLiteral("Processed Archive Files:") << sep << QString()
                 << QStringLiteral("      2 Photos       /p/a.zip") << QStringLiteral("      3 Photos       /p/b.zip")
                 << QStringLiteral("      4 Photos       /p/c.zip");
        QCOMPARE(lines, expected);
        QCOMPARE(lines.at(12), QStringLiteral("Number of Errors:             ") + QLatin1Char(withErrors ? '1' : '0'));
    }
};

QTEST_GUILESS_MAIN(TestUnpackReport)
#include "tst_report.moc"
