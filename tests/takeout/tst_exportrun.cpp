// Google Takeout exports through the real scan and unpack run: the parts land in one dated folder, the
// pictures get their sidecars' dates and the sidecars lie beside them.
#include "reports/unpackreport.h"
#include "scan/archivelist.h"
#include "scan/examine.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "support/takeoutbuilder.h"
#include "support/testenv.h"
#include "unpack/unpackresults.h"
#include "unpack/unpackrun.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QtTest>

using zelvano::test::TakeoutBuilder;

namespace {

const QString kKey = QStringLiteral("20240601T101500Z");
const QString kLibrary = QStringLiteral("Takeout 2024-06-01");

class QuietHost : public CXWorkerHost
{
public:
    DeleteAnswer ConfirmArchiveDelete(const QString&, bool) override { return DeleteAnswer::No; }
    void ShowDiskSpaceMessage(const QString&) override {}
};

struct Run
{
    CXSettings settings;
    CXArchiveList list;
    QuietHost host;
    UnpackReportData report;
    QList<CXSelItem> unpacked; // as the run left it

    explicit Run(bool detect = true)
    {
        settings.ResetToDefaults();
        settings.m_nAfterExtraction = AfterDoNothing;
        settings.m_nValidationLevel = 1;
        settings.m_bExportDetection = detect ? 1 : 0;
    }

    // Scans folder and unpacks every archive found.
    bool ScanAndUnpack(const QString& folder)
    {
        list.m_pSettings = &settings;
        list.SetImagePatterns(BuildImagePatternList(settings));
        CXRunControl scan;
        scan.Start();
        list.StartScan(folder, scan);
        CXUnpackRun run(list, settings, host);
        QList<CXSelItem> selection;
        for (int i = 0; i < list.m_arrArchives.size(); ++i) {
            CXSelItem sel;
            sel.m_nArchive = i;
            sel.m_nRow = i;
            selection << sel;
        }
        if (run.Start(selection, folder) != UnpackStart::Started)
            return false;
        run.Wait();
        report = MakeUnpackReportData(list, run.Selection(), settings, run.ArchivesProcessed(), false);
        unpacked = run.Selection();
        return run.End() == UnpackEnd::Finished;
    }
};

qint64 ModifiedTime(const QString& path)
{
    return QFileInfo(path).fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch();
}

// Every file below folder, relative to it, sorted.
QStringList Tree(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace

class TestExportRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // One picture and its sidecar per row, each naming quirk, in the same or another part, under a
    // translated photos folder; a second picture with a plain sidecar makes every part a photo archive.
    void pictureDate_data()
    {
        QTest::addColumn<QString>("photos");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("sidecar"); // empty: none
        QTest::addColumn<int>("sidecarPart");
        QTest::addColumn<bool>("takenTime"); // false: only a creation time in the sidecar

        const QString gp = QStringLiteral("Google Photos");
        QTest::newRow("classic") << gp << "Trip/IMG_1234.JPG"
                                 << "Trip/IMG_1234.JPG.json" << 0 << true;
        QTest::newRow("sidecar in the other part") << gp << "Trip/IMG_1234.JPG"
                                                   << "Trip/IMG_1234.JPG.supplemental-metadata.json" << 1 << true;
        QTest::newRow("suffix cut") << "Google Fotos"
                                    << "Urlaub/PXL_20230518_173512345.MP.jpg"
                                    << "Urlaub/PXL_20230518_173512345.MP.jpg.supplemental-met.json" << 1 << true;
        QTest::newRow("suffix cut short") << "Google Foto"
                                          << "Vacanze/IMG_1.jpg"
                                          << "Vacanze/IMG_1.jpg.supp.json" << 0 << true;
        QTest::newRow("title cut at 46") << gp << "Screens/Screenshot_20220315-142530_Google Play Store.jpg"
                                         << "Screens/Screenshot_20220315-142530_Google Play Store.j.json" << 1 << true;
        QTest::newRow("title cut at 51") << gp << "Fest/20200815_Familienfeier_bei_Oma_und_Opa_im_Garten_001.jpg"
                                         << "Fest/20200815_Familienfeier_bei_Oma_und_Opa_im_Garten_00.json" << 0
                                         << true;
        QTest::newRow("counter") << gp << "Trip/IMG_1234(1).JPG"
                                 << "Trip/IMG_1234.JPG(1).json" << 1 << true;
        QTest::newRow("edited copy") << "Google Fotos"
                                     << "Trip/IMG_1234-bearbeitet.JPG"
                                     << "Trip/IMG_1234.JPG.json" << 1 << true;
        QTest::newRow("creation time only") << gp << "Trip/IMG_7.jpg"
                                            << "Trip/IMG_7.jpg.json" << 0 << false;
        QTest::newRow("no sidecar") << gp << "Trip/IMG_8.jpg"
                                    << "" << 0 << true;
    }
    void pictureDate()
    {
        QFETCH(QString, photos);
        QFETCH(QString, picture);
        QFETCH(QString, sidecar);
        QFETCH(int, sidecarPart);
        QFETCH(bool, takenTime);
        const qint64 taken = 1561889700;   // 2019-06-30
        const qint64 created = 1717236900; // 2024-06-01
        const QString root = QStringLiteral("Takeout/%1/").arg(photos);

        TakeoutBuilder takeout(kKey, 2);
        takeout.AddPicture(0, root + picture);
        if (!sidecar.isEmpty()) {
            takeout.AddSidecar(sidecarPart, root + sidecar, takenTime ? std::optional<qint64>(taken) : std::nullopt,
                               created);
        }
        takeout.AddPicture(1, root + QStringLiteral("Other/IMG_9.jpg"));
        takeout.AddSidecar(1, root + QStringLiteral("Other/IMG_9.jpg.json"), taken);
        QTemporaryDir dir;
        QCOMPARE(takeout.WriteParts(dir.path()).size(), 2);

        Run run;
        QVERIFY(run.ScanAndUnpack(dir.path()));
        QCOMPARE(run.list.m_arrArchives.size(), 2);
        const QString library = dir.filePath(kLibrary) + QLatin1Char('/') + root;
        QVERIFY2(QFileInfo::exists(library + picture), qPrintable(Tree(dir.path()).join(QLatin1Char('\n'))));
        const qint64 expected = sidecar.isEmpty() ? TakeoutBuilder::EntryTime() : takenTime ? taken : created;
        QCOMPARE(ModifiedTime(library + picture), expected);
        QCOMPARE(ModifiedTime(library + QStringLiteral("Other/IMG_9.jpg")), taken);
        if (!sidecar.isEmpty())
            QCOMPARE(zelvano::test::ReadFile(library + sidecar),
                     TakeoutBuilder::SidecarJson(takenTime ? std::optional<qint64>(taken) : std::nullopt, created));
        // A sidecar the part accounts for is made durable with its pictures before that part may go.
        const QString ownSidecar = library + QStringLiteral("Other/IMG_9.jpg.json");
        QVERIFY(std::any_of(run.unpacked.cbegin(), run.unpacked.cend(),
                            [&](const CXSelItem& sel) { return sel.m_arrOnDisk.contains(ownSidecar); }));
        QCOMPARE(run.report.m_nDatesRestored, sidecar.isEmpty() ? 1 : 2);
        QCOMPARE(run.report.m_nNoDate, sidecar.isEmpty() ? 1 : 0);
        QCOMPARE(run.report.m_arrExports, QStringList{kLibrary});
        for (const CXArchiveFile& part : std::as_const(run.list.m_arrArchives)) {
            QCOMPARE(part.m_strExportKey, kKey);
            QCOMPARE(part.m_nSmartMode, 2); // the list shows the one decision for all parts
            QCOMPARE(part.m_nErrors, 0);
            QCOMPARE(part.m_nOtherFiles, 0); // the sidecars are accounted for
        }
    }

    // Three parts: albums, a picture in two albums, a part with sidecars only, an HTML index and a video
    // that stay inside, and a .tgz part that is listed as not supported.
    void wholeExport()
    {
        const QString root = QStringLiteral("Takeout/Google Photos/");
        TakeoutBuilder takeout(kKey, 3);
        takeout.AddPicture(0, root + QStringLiteral("Urlaub 2019/IMG_1.jpg"));
        takeout.AddPicture(0, root + QStringLiteral("Photos from 2019/IMG_1.jpg"));
        takeout.AddFile(0, QStringLiteral("Takeout/archive_browser.html"), "<html></html>");
        takeout.AddPicture(1, root + QStringLiteral("Photos from 2019/IMG_2.jpg"));
        takeout.AddFile(1, root + QStringLiteral("Photos from 2019/VID_3.mp4"), "not a picture");
        takeout.AddSidecar(2, root + QStringLiteral("Urlaub 2019/IMG_1.jpg.supplemental-metadata.json"), 1000000000);
        takeout.AddSidecar(2, root + QStringLiteral("Photos from 2019/IMG_1.jpg.supplemental-metadata.json"),
                           1000000000);
        takeout.AddSidecar(2, root + QStringLiteral("Photos from 2019/IMG_2.jpg.supplemental-metada.json"), 1100000000);
        QTemporaryDir dir;
        QCOMPARE(takeout.WriteParts(dir.path()).size(), 3);
        QVERIFY(zelvano::test::WriteFile(dir.filePath(QStringLiteral("takeout-20240601T101500Z-004.tgz")), "tar"));

        Run run;
        QVERIFY(run.ScanAndUnpack(dir.path()));
        QCOMPARE(run.list.m_arrArchives.size(), 2); // the part of sidecars only holds no picture
        QCOMPARE(run.list.m_arrInvalid.size(), 1);
        QCOMPARE(run.list.m_arrInvalid.first().m_strFileName, QStringLiteral("takeout-20240601T101500Z-004.tgz"));
        QVERIFY(run.list.m_arrInvalid.first().m_strReason.contains(QLatin1String(".tgz")));

        const QString library = dir.filePath(kLibrary);
        QCOMPARE(Tree(library), (QStringList{
                                    root + QStringLiteral("Photos from 2019/IMG_1.jpg"),
                                    root + QStringLiteral("Photos from 2019/IMG_1.jpg.supplemental-metadata.json"),
                                    root + QStringLiteral("Photos from 2019/IMG_2.jpg"),
                                    root + QStringLiteral("Photos from 2019/IMG_2.jpg.supplemental-metada.json"),
                                    root + QStringLiteral("Urlaub 2019/IMG_1.jpg"),
                                    root + QStringLiteral("Urlaub 2019/IMG_1.jpg.supplemental-metadata.json"),
                                }));
        QCOMPARE(ModifiedTime(library + QLatin1Char('/') + root + QStringLiteral("Urlaub 2019/IMG_1.jpg")), 1000000000);
        QCOMPARE(ModifiedTime(library + QLatin1Char('/') + root + QStringLiteral("Photos from 2019/IMG_1.jpg")),
                 1000000000);
        QCOMPARE(ModifiedTime(library + QLatin1Char('/') + root + QStringLiteral("Photos from 2019/IMG_2.jpg")),
                 1100000000);
        // The HTML index and the video keep their parts, as other files do everywhere.
        QCOMPARE(run.list.m_arrArchives.at(0).m_nOtherFiles, 1);
        QCOMPARE(run.list.m_arrArchives.at(1).m_nOtherFiles, 1);
        QCOMPARE(run.report.m_nDatesRestored, 3);
        QCOMPARE(run.report.m_nNoDate, 0);
        const QStringList lines = UnpackReportLines(run.report);
        QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QString& l) {
            return l.startsWith(QLatin1String("Photo Exports:")) && l.endsWith(kLibrary);
        }));
        QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QString& l) {
            return l.startsWith(QLatin1String("Dates Restored:")) && l.endsWith(QLatin1String(" 3"));
        }));
    }

    // Switched off, each part is an archive like any other: its own folder, entry times, no sidecars.
    void detectionOff()
    {
        const QString root = QStringLiteral("Takeout/Google Photos/Trip/");
        TakeoutBuilder takeout(kKey, 2);
        takeout.AddPicture(0, root + QStringLiteral("IMG_1.jpg"));
        takeout.AddSidecar(0, root + QStringLiteral("IMG_1.jpg.json"), 1000000000);
        takeout.AddPicture(1, root + QStringLiteral("IMG_2.jpg"));
        QTemporaryDir dir;
        QCOMPARE(takeout.WriteParts(dir.path()).size(), 2);
        QVERIFY(zelvano::test::WriteFile(dir.filePath(QStringLiteral("takeout-20240601T101500Z-003.tgz")), "tar"));

        Run run(false);
        run.settings.m_bRenameFolder = 0;
        QVERIFY(run.ScanAndUnpack(dir.path()));
        QVERIFY(run.list.m_arrInvalid.isEmpty());
        const QString first = QStringLiteral("takeout-20240601T101500Z-001/") + root + QStringLiteral("IMG_1.jpg");
        const QString second = QStringLiteral("takeout-20240601T101500Z-002/") + root + QStringLiteral("IMG_2.jpg");
        const QStringList files = Tree(dir.path());
        QCOMPARE(files.filter(QStringLiteral(".jpg")), (QStringList{first, second}));
        QVERIFY(files.filter(QStringLiteral(".json")).isEmpty());
        QCOMPARE(ModifiedTime(dir.filePath(QStringLiteral("takeout-20240601T101500Z-001/") + root +
                                           QStringLiteral("IMG_1.jpg"))),
                 TakeoutBuilder::EntryTime());
        QCOMPARE(run.list.m_arrArchives.at(0).m_nOtherFiles, 1);
        QVERIFY(run.report.m_arrExports.isEmpty());
        QVERIFY(UnpackExportLines(run.report).isEmpty());
    }
};

QTEST_MAIN(TestExportRun)
#include "tst_exportrun.moc"
