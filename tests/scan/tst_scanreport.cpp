#include "reports/reportwriter.h"
#include "reports/scanreport.h"
#include "scan/archivelist.h"
#include "support/testenv.h"

#include <clocale>
#include <ctime>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

namespace {

// 2021-03-07 14:05:09 and 15:07:10 UTC, a Sunday.
constexpr qint64 kStarted = 1615125909;
constexpr qint64 kFinished = 1615129630;

CXArchiveFile Archive(const QString& path, int photos, quint64 bytes)
{
    CXArchiveFile a;
    a.m_strPath = path;
    a.m_nPhotoCount = photos;
    a.m_nPhotoBytes = bytes;
    return a;
}

QByteArray Lines(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toUtf8() + "\r\n";
    return bytes;
}

const QString kSep = QString(100, QLatin1Char('-'));

} // namespace

class TestScanReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        // Fixed time zone and C day and month names, so the time lines are known texts.
        qputenv("TZ", "UTC");
        tzset();
        std::setlocale(LC_ALL, "C");
    }
    void cleanup() { std::setlocale(LC_ALL, "C"); }

    // The report's times and file name in other locales: names follow the locale, the time of day stays
    // unambiguous (24-hour form where the locale has no AM/PM marker), the file name stays in digits.
    void timesInLocale_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QString>("started");
        QTest::addColumn<QString>("finished");
        // clang-format off
        QTest::newRow("C")       << QByteArray("C")           << QStringLiteral("Sunday, March 07, 2021 @02:05:09 PM")    << QStringLiteral("Sunday, March 07, 2021 @03:07:10 PM");
        QTest::newRow("C.UTF-8") << QByteArray("C.UTF-8")     << QStringLiteral("Sunday, March 07, 2021 @02:05:09 PM")    << QStringLiteral("Sunday, March 07, 2021 @03:07:10 PM");
        QTest::newRow("German")  << QByteArray("de_DE.UTF-8") << QStringLiteral("Sonntag, M\u00e4rz 07, 2021 @14:05:09") << QStringLiteral("Sonntag, M\u00e4rz 07, 2021 @15:07:10");
        // clang-format on
    }
    void timesInLocale()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QString, started);
        QFETCH(QString, finished);
        if (!std::setlocale(LC_ALL, locale.constData()))
            QSKIP("locale not installed (scripts/install-deps.sh generates it)");
        CXArchiveList list;
        list.AddArchive(Archive(QStringLiteral("/photos/Trip.zip"), 1234, 2000000));
        const QStringList lines = ScanSummaryLines(
            MakeScanReportFigures(list, QStringLiteral("/photos"), kStarted, kFinished, QStringLiteral("1:02:01")));
        QCOMPARE(lines.value(1), QStringLiteral("Started:              ") + started);
        QCOMPARE(lines.value(2), QStringLiteral("Finished:             ") + finished);
        QCOMPARE(lines.value(10), QStringLiteral("Total Photos:         1,234"));
        QCOMPARE(ProposedScanReportName(kStarted), QStringLiteral("SCAN 03-07-2021 (1615125909).txt"));
    }

    void reportFileByteForByte()
    {
        CXArchiveList list;
        list.AddArchive(Archive(QStringLiteral("/photos/b/Trip.zip"), 12, 2000000));
        list.AddArchive(Archive(QStringLiteral("/photos/a/One.rar"), 1, 1500));
        list.m_arrInvalid.append(CXFileItem{QStringLiteral("bad.zip"), QStringLiteral("/photos/bad.zip"), -1});
        // An invalid archive with a reason of its own says it.
        list.m_arrInvalid.append(CXFileItem{QStringLiteral("Set.part1.rar"), QStringLiteral("/photos/Set.part1.rar"),
                                            15, QStringLiteral("Volume missing: Set.part2.rar")});
        list.m_arrSkipped.InsertSorted(QStringLiteral("/photos/text.zip"));
        list.m_arrSkipped.InsertSorted(QStringLiteral("/photos/notes.rar"));
        list.m_nZipCount = 1234;
        list.m_nRarCount = 1;
        ScanReportFigures figures =
            MakeScanReportFigures(list, QStringLiteral("/photos"), kStarted, kFinished, QStringLiteral("1:02:01"));

        const QString path = m_dir.filePath(QStringLiteral("report.txt"));
        QVERIFY(zelvano::test::WriteFile(path, QByteArray("an older report that must go\r\n")));
        QVERIFY(WriteScanReport(path, figures, list));

        const QByteArray expected = Lines({
            kSep,
            QStringLiteral("Zelvano Scan Report"),
            kSep,
            QString(),
            QStringLiteral("Scan Path:            /photos"),
            QStringLiteral("Started:              Sunday, March 07, 2021 @02:05:09 PM"),
            QStringLiteral("Finished:             Sunday, March 07, 2021 @03:07:10 PM"),
            QStringLiteral("Elapsed Time:         1:02:01"),
            QStringLiteral("Total Archives Found: 4"),
            QStringLiteral("Valid Archives:       2"),
            QStringLiteral("Invalid Archives:     2"),
            QStringLiteral("Skipped Archives:     2"),
            QStringLiteral("Zip Archives:         1,234"),
            QStringLiteral("RAR Archives:         1"),
            QStringLiteral("Total Photos:         13"),
            QStringLiteral("Size on Disk:         1.90 MB"),
            QString(),
            kSep,
            QStringLiteral("Files Skipped - No matching image/documents found in the following archive(s)."),
            kSep,
            QString(),
            QStringLiteral("/photos/notes.rar"),
            QStringLiteral("/photos/text.zip"),
            QString(),
            kSep,
            QStringLiteral("Invalid Archive Files:"),
            kSep,
            QString(),
            QStringLiteral("/photos/bad.zip"),
            QStringLiteral("/photos/Set.part1.rar (Volume missing: Set.part2.rar)"),
            QString(),
            kSep,
            QStringLiteral("Valid Archive Files:"),
            kSep,
            QString(),
            QStringLiteral("      1 Photo        /photos/a/One.rar"),
            QStringLiteral("     12 Photos       /photos/b/Trip.zip"),
        });
        QCOMPARE(zelvano::test::ReadFile(path), expected);
    }

    void emptyScanWritesTheSummaryOnly()
    {
        CXArchiveList list;
        const ScanReportFigures figures =
            MakeScanReportFigures(list, QStringLiteral("/empty"), kStarted, kStarted, QStringLiteral("0:00:00"));
        const QString path = m_dir.filePath(QStringLiteral("empty.txt"));
        QVERIFY(WriteScanReport(path, figures, list));
        const QList<QByteArray> lines = zelvano::test::ReadFile(path).split('\n');
        QCOMPARE(lines.size(), 17); // 16 lines, each ending with CR LF
        QCOMPARE(lines.at(8), QByteArray("Total Archives Found: 0\r"));
        QCOMPARE(lines.at(15), QByteArray("Size on Disk:         0 bytes\r"));
        QVERIFY(lines.at(16).isEmpty());
    }

    void reportThatCannotBeWrittenFails()
    {
        CXArchiveList list;
        const ScanReportFigures figures = MakeScanReportFigures(list, QStringLiteral("/x"), 0, 0, QString());
        QVERIFY(!WriteScanReport(m_dir.filePath(QStringLiteral("no/such/folder/r.txt")), figures, list));
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("no"))));
    }

    void proposedNameCarriesDateAndStartTime()
    {
        QCOMPARE(ProposedScanReportName(kStarted), QStringLiteral("SCAN 03-07-2021 (1615125909).txt"));
    }

    // Lines from several threads at once stay whole: the lock keeps each line together.
    void concurrentLinesStayWhole()
    {
        const QString path = m_dir.filePath(QStringLiteral("concurrent.txt"));
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([path, t] {
                for (int i = 0; i < 200; ++i)
                    AppendReportLine(path, QString(60, QLatin1Char(char('a' + t))));
            });
        }
        for (std::thread& t : threads)
            t.join();
        const QList<QByteArray> lines = zelvano::test::ReadFile(path).split('\n');
        QCOMPARE(lines.size(), 801);
        for (int i = 0; i < 800; ++i) {
            const QByteArray& line = lines.at(i);
            QCOMPARE(line.size(), 61);
            QCOMPARE(line.count(line.at(0)), 60);
            QVERIFY(line.endsWith('\r'));
        }
    }
};

QTEST_GUILESS_MAIN(TestScanReport)
#include "tst_scanreport.moc"
