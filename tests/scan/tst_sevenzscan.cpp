// 7z archives, comic book names and archives whose names lie, through the scan: the reader is chosen by
// the file's first bytes, the figures come from the same listing rules as ZIP and RAR, and the scan
// report names 7z archives only when there are some.
#include "common/runcontrol.h"
#include "reports/scanreport.h"
#include "scan/archivelist.h"
#include "scan/examine.h"
#include "scan/nottaken.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "support/rarwriter.h"
#include "support/sevenzwriter.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace zelvano::test;

namespace {

QByteArray Zip(const QStringList& names)
{
    ZipWriter writer;
    for (const QString& name : names)
        writer.add(name.toUtf8(), name.endsWith(QLatin1Char('/')) ? QByteArray() : QByteArray(50, 'z'), 0);
    return writer.build();
}

QByteArray Rar(const QStringList& names)
{
    QList<CraftEntry> entries;
    for (const QString& name : names)
        entries.append({name.toUtf8(), 3, 0100644, false, QByteArray(50, 'r')});
    return CraftRar5(entries);
}

QByteArray SevenZ(const QStringList& names)
{
    QList<SevenZItem> items;
    for (const QString& name : names) {
        if (name.endsWith(QLatin1Char('/')))
            items << ZFolder(name.chopped(1));
        else
            items << ZFile(name, QByteArray(50, 's'));
    }
    return WriteSevenZ(items);
}

// An archive made by the 7z command from pictures in folder "Trip"; empty when the command is missing.
QByteArray SevenZipMade(const QStringList& options)
{
    QTemporaryDir dir;
    if (SevenZipTool().isEmpty() || !WriteFile(dir.filePath(QStringLiteral("in/Trip/a.jpg")), QByteArray(500, 'a')) ||
        !WriteFile(dir.filePath(QStringLiteral("in/Trip/b.jpg")), QByteArray(700, 'b')))
        return {};
    const QString path = dir.filePath(QStringLiteral("made.7z"));
    if (!RunSevenZipAdd(dir.filePath(QStringLiteral("in")), path, options, {QStringLiteral("Trip")}))
        return {};
    return ReadFile(path);
}

CXSettings Defaults()
{
    CXSettings settings;
    settings.ResetToDefaults();
    return settings;
}

} // namespace

class TestSevenZScan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typeByBytes_data();
    void typeByBytes();
    void scanOfOneFile_data();
    void scanOfOneFile();
    void sameFiguresAsZip_data();
    void sameFiguresAsZip();
    void reportLine_data();
    void reportLine();
};

void TestSevenZScan::typeByBytes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("named");
    QTest::addColumn<int>("detected");

    const QByteArray zip = Zip({QStringLiteral("a.jpg")});
    const QByteArray rar = Rar({QStringLiteral("a.jpg")});
    const QByteArray sevenZ = SevenZ({QStringLiteral("a.jpg")});
    QTest::newRow("zip") << "a.zip" << zip << 0 << 0;
    QTest::newRow("empty zip") << "e.zip" << QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0') << 0 << 0;
    QTest::newRow("cbz") << "a.CBZ" << zip << 0 << 0;
    QTest::newRow("rar5") << "a.rar" << rar << 1 << 1;
    QTest::newRow("rar4") << "a.cbr" << CraftRar4({{"a.jpg", 2, 0x20, false, "x"}}) << 1 << 1;
    QTest::newRow("7z") << "a.7Z" << sevenZ << 2 << 2;
    QTest::newRow("rar named zip") << "a.zip" << rar << 0 << 1;
    QTest::newRow("zip named rar") << "a.rar" << zip << 1 << 0;
    QTest::newRow("7z named cbz") << "a.cbz" << sevenZ << 0 << 2;
    QTest::newRow("rar volume named by part") << "a.part2.rar" << rar << 1 << 1;
    // Bytes that are no archive keep the reader the name chooses, so they fail as before.
    QTest::newRow("garbage named 7z") << "g.7z" << QByteArray("no archive at all") << 2 << 2;
    QTest::newRow("garbage named zip") << "g.zip" << QByteArray("PK but no") << 0 << 0;
    QTest::newRow("empty file") << "n.rar" << QByteArray() << 1 << 1;
    QTest::newRow("not a candidate") << "a.tar" << zip << -1 << 0;
}

void TestSevenZScan::typeByBytes()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, named);
    QFETCH(int, detected);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(WriteFile(path, bytes));
    QCOMPARE(GetArchiveType(path), named);
    QCOMPARE(DetectArchiveType(path), detected);
}

void TestSevenZScan::scanOfOneFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("outcome"); // "valid TYPE PHOTOS FOLDERS ZIPS/RARS/7ZS", "skipped", "invalid REASON"

    const QStringList photos{QStringLiteral("Trip/"), QStringLiteral("Trip/a.jpg"), QStringLiteral("Trip/b.png"),
                             QStringLiteral("notes.txt")};
    QTest::newRow("7z") << "album.7z" << SevenZ(photos) << "valid 2 2 1 0/0/1";
    QTest::newRow("7z without pictures") << "docs.7z" << SevenZ({QStringLiteral("a.txt")}) << "skipped";
    QTest::newRow("empty 7z") << "none.7z" << SevenZ({}) << "skipped";
    QTest::newRow("cbz") << "comic.cbz" << Zip(photos) << "valid 0 2 1 1/0/0";
    QTest::newRow("cbr") << "comic.cbr" << Rar({QStringLiteral("p/a.jpg"), QStringLiteral("p/b.jpg")})
                         << "valid 1 2 1 0/1/0";
    QTest::newRow("RAR named zip") << "lie.zip" << Rar({QStringLiteral("a.jpg")}) << "valid 1 1 0 0/1/0";
    QTest::newRow("ZIP named rar") << "lie.rar" << Zip({QStringLiteral("a.jpg")}) << "valid 0 1 0 1/0/0";
    QTest::newRow("7z named zip") << "lie.zip" << SevenZ({QStringLiteral("a.jpg")}) << "valid 2 1 0 0/0/1";
    QTest::newRow("garbage named 7z") << "g.7z" << QByteArray("no archive at all")
                                      << "invalid Not a 7z archive, or one that cannot be read";
    QByteArray cut = SevenZ(photos);
    cut.truncate(cut.size() - 10);
    QTest::newRow("damaged 7z") << "cut.7z" << cut << "invalid The archive is damaged";
    // A RAR signature and nothing readable after it: the RAR library opens it and finds no entry, where the
    // ZIP reader its name chooses would have called it invalid.
    QTest::newRow("damaged RAR named zip")
        << "cut.zip" << QByteArray("Rar!\x1a\x07\x01\x00", 8) + QByteArray(40, '\x7f') << "skipped";
    if (!SevenZipTool().isEmpty()) {
        QTest::newRow("7z by 7z, LZMA2 solid")
            << "made.7z" << SevenZipMade({QStringLiteral("-m0=lzma2"), QStringLiteral("-ms=on")})
            << "valid 2 2 1 0/0/1";
        // The names can be read, the data cannot: the pictures count, and the unpack names them.
        QTest::newRow("7z by 7z, encrypted data")
            << "secret.7z" << SevenZipMade({QStringLiteral("-psecret")}) << "valid 2 2 1 0/0/1";
        QTest::newRow("7z by 7z, encrypted headers")
            << "hidden.7z" << SevenZipMade({QStringLiteral("-psecret"), QStringLiteral("-mhe=on")})
            << "invalid Encrypted: no password";
    }
}

void TestSevenZScan::scanOfOneFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, outcome);
    QVERIFY(!bytes.isEmpty());
    QTemporaryDir dir;
    QVERIFY(WriteFile(dir.filePath(name), bytes));
    const CXSettings settings = Defaults();
    CXArchiveList list;
    list.m_pSettings = &settings;
    list.SetImagePatterns(BuildImagePatternList(settings));
    CXRunControl run;
    run.Start();
    list.StartScan(dir.path(), run);

    QString got;
    if (list.m_arrArchives.size() == 1) {
        const CXArchiveFile& a = list.m_arrArchives.front();
        got = QStringLiteral("valid %1 %2 %3 %4/%5/%6")
                  .arg(a.m_nArchiveType)
                  .arg(a.m_nPhotoCount)
                  .arg(a.m_nFolderCount)
                  .arg(list.m_nZipCount)
                  .arg(list.m_nRarCount)
                  .arg(list.m_nSevenZCount);
        QVERIFY(a.m_nPhotoBytes > 0);
        QVERIFY(a.m_nSmartMode == 1 || a.m_nSmartMode == 2);
    } else if (list.m_arrInvalid.size() == 1) {
        got = QStringLiteral("invalid ") + InvalidArchiveReason(list.m_arrInvalid.front());
    } else if (list.m_arrSkipped.size() == 1) {
        got = QStringLiteral("skipped");
    }
    QCOMPARE(got, outcome);
}

void TestSevenZScan::sameFiguresAsZip_data()
{
    QTest::addColumn<QString>("archiveName");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("pictures at the top") << "Beach 2021"
                                         << QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")};
    QTest::newRow("one folder named as the archive")
        << "Beach 2021" << QStringList{QStringLiteral("Beach 2021/"), QStringLiteral("Beach 2021/a.jpg")};
    QTest::newRow("several folders") << "Trip"
                                     << QStringList{QStringLiteral("Day 1/a.jpg"), QStringLiteral("Day 2/b.jpg"),
                                                    QStringLiteral("c.jpg")};
    QTest::newRow("macOS junk") << "Trip"
                                << QStringList{QStringLiteral("x/a.jpg"), QStringLiteral("__MACOSX/x/._a.jpg"),
                                               QStringLiteral("._a.jpg")};
}

void TestSevenZScan::sameFiguresAsZip()
{
    QFETCH(QString, archiveName);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    const QString zip = dir.filePath(QStringLiteral("Photos/") + archiveName + QStringLiteral(".zip"));
    const QString sevenZ = dir.filePath(QStringLiteral("Photos/") + archiveName + QStringLiteral(".7z"));
    QVERIFY(WriteFile(zip, Zip(names)));
    QVERIFY(WriteFile(sevenZ, SevenZ(names)));
    const CXSettings settings = Defaults();
    const QString patterns = BuildImagePatternList(settings);
    const CXExamination z = ExamineArchiveFile(settings, zip, patterns, true);
    const CXExamination s = ExamineArchiveFile(settings, sevenZ, patterns, true);
    QVERIFY(z.m_bOpened);
    QVERIFY(s.m_bOpened);
    QCOMPARE(s.m_nType, 2);
    QCOMPARE(s.m_nPhotos, z.m_nPhotos);
    QCOMPARE(s.m_nPhotoBytes, z.m_nPhotoBytes);
    QCOMPARE(s.m_nFolderCount, z.m_nFolderCount);
    QCOMPARE(s.m_nMode, z.m_nMode);
    QVERIFY(s.m_nPhotoPackedBytes <= s.m_nFileSize);
}

void TestSevenZScan::reportLine_data()
{
    QTest::addColumn<int>("sevenZ");
    QTest::addColumn<QStringList>("countLines");

    QTest::newRow("no 7z archive") << 0
                                   << QStringList{QStringLiteral("Zip Archives:         2"),
                                                  QStringLiteral("RAR Archives:         1"),
                                                  QStringLiteral("Total Photos:         9")};
    QTest::newRow("7z archives") << 3
                                 << QStringList{QStringLiteral("Zip Archives:         2"),
                                                QStringLiteral("RAR Archives:         1"),
                                                QStringLiteral("7z Archives:          3"),
                                                QStringLiteral("Total Photos:         9")};
}

void TestSevenZScan::reportLine()
{
    QFETCH(int, sevenZ);
    QFETCH(QStringList, countLines);
    CXArchiveList list;
    list.m_nZipCount = 2;
    list.m_nRarCount = 1;
    list.m_nSevenZCount = sevenZ;
    ScanReportFigures figures = MakeScanReportFigures(list, QStringLiteral("/p"), 0, 0, QStringLiteral("0s"));
    figures.m_nTotalPhotos = 9;
    const QStringList lines = ScanSummaryLines(figures);
    const qsizetype zip = lines.indexOf(countLines.front());
    QVERIFY2(zip >= 0, qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(lines.mid(zip, countLines.size()), countLines);
    QCOMPARE(lines.size(), sevenZ > 0 ? 13 : 12);
}

QTEST_GUILESS_MAIN(TestSevenZScan)
#include "tst_sevenzscan.moc"
