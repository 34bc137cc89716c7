// zelvano-cli unpack end to end on small trees of real archives: what it prints, the JSON, the report,
// what it deletes and when it refuses, and its exit codes.
#include "cli/cli.h"
#include "cli/clirun.h"
#include "platform/diskspace.h"
#include "settings/settings.h"
#include "support/takeoutbuilder.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <csignal>
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using zelvano::test::CliResult;
using zelvano::test::L;
using zelvano::test::ReadFile;
using zelvano::test::WriteFile;

namespace {

// Runs `zelvano-cli unpack` with args.
CliResult RunCli(QStringList args)
{
    args.prepend(QStringLiteral("unpack"));
    return zelvano::test::RunCli(args);
}

QByteArray Jpeg(int seed)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 37 % 360, 200, 200));
    for (int y = 0; y < 48; ++y)
        image.setPixel(seed % 64, y, qRgb(0, 0, 0));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return buffer.data();
}

QStringList FilesUnder(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(folder.size() + 1);
    files.sort();
    return files;
}

QStringList Keys(const QJsonObject& o)
{
    QStringList k = o.keys();
    k.sort();
    return k;
}

} // namespace

class TestCliUnpack : public QObject
{
    Q_OBJECT

    zelvano::test::IsolatedHome m_home;
    QTemporaryDir m_dir;
    int m_nTree = 0;

    // A fresh tree: Trip/Trip.zip (two pictures in a top folder named like the archive), and, when asked,
    // Bad/damaged.zip whose second picture is cut off half-way.
    QString MakeTree(bool withDamaged)
    {
        const QString tree = m_dir.filePath(QStringLiteral("tree%1").arg(++m_nTree));
        zelvano::test::ZipWriter trip;
        trip.add("Trip/one.jpg", Jpeg(1), 8);
        trip.add("Trip/two.jpg", Jpeg(2), 0);
        trip.add("Trip/notes.txt", "not a picture", 8);
        WriteFile(tree + QStringLiteral("/Trip/Trip.zip"), trip.build());
        if (withDamaged) {
            zelvano::test::ZipWriter bad;
            bad.add("good.jpg", Jpeg(3), 8);
            const QByteArray cut = Jpeg(4);
            bad.add("cut.jpg", cut.left(cut.size() / 2), 8);
            WriteFile(tree + QStringLiteral("/Bad/damaged.zip"), bad.build());
        }
        return tree;
    }

private Q_SLOTS:
    void cleanup() { zelvano::platform::SetDiskSpaceQuery({}); }

    // A two-part photo export: one dated folder and the sidecars' dates, or with the switch each part as
    // an archive of its own.
    void exportDetection_data()
    {
        QTest::addColumn<bool>("detect");
        QTest::addColumn<bool>("json");
        QTest::newRow("on, json") << true << true;
        QTest::newRow("on, text") << true << false;
        QTest::newRow("off, json") << false << true;
    }
    void exportDetection()
    {
        QFETCH(bool, detect);
        QFETCH(bool, json);
        const QString tree = m_dir.filePath(QStringLiteral("export%1").arg(++m_nTree));
        const QString album = QStringLiteral("Takeout/Google Fotos/Urlaub/");
        zelvano::test::TakeoutBuilder takeout(QStringLiteral("20240601T101500Z"), 2);
        takeout.AddPicture(0, album + QStringLiteral("IMG_1.jpg"));
        takeout.AddSidecar(1, album + QStringLiteral("IMG_1.jpg.supplemental-metadata.json"), 1000000000);
        takeout.AddPicture(1, album + QStringLiteral("IMG_2(1).jpg"));
        takeout.AddSidecar(0, album + QStringLiteral("IMG_2.jpg(1).json"), 1100000000);
        takeout.AddPicture(1, album + QStringLiteral("IMG_3.jpg"));
        QCOMPARE(takeout.WriteParts(tree).size(), 2);

        QStringList args{QStringLiteral("--validate"), QStringLiteral("1"), tree};
        if (json)
            args.prepend(QStringLiteral("--json"));
        if (!detect)
            args.prepend(QStringLiteral("--no-export-detection"));
        const CliResult r = RunCli(args);
        QCOMPARE(r.code, 0);
        const QString library = tree + QStringLiteral("/Takeout 2024-06-01/") + album;
        QCOMPARE(QFileInfo::exists(library + QStringLiteral("IMG_1.jpg")), detect);
        if (detect) {
            QCOMPARE(FilesUnder(library.chopped(1)),
                     (QStringList{QStringLiteral("IMG_1.jpg"), QStringLiteral("IMG_1.jpg.supplemental-metadata.json"),
                                  QStringLiteral("IMG_2(1).jpg"), QStringLiteral("IMG_2.jpg(1).json"),
                                  QStringLiteral("IMG_3.jpg")}));
            QCOMPARE(QFileInfo(library + QStringLiteral("IMG_2(1).jpg")).lastModified().toSecsSinceEpoch(), 1100000000);
        }
        if (!json) {
            QVERIFY2(r.out.contains(QStringLiteral("Photo Exports:                Takeout 2024-06-01\n")),
                     qPrintable(r.out));
            QVERIFY2(r.out.contains(QStringLiteral("Dates Restored:               2\n")), qPrintable(r.out));
            QVERIFY2(r.out.contains(QStringLiteral("No Date Found:                1\n")), qPrintable(r.out));
            return;
        }
        const QJsonObject root = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(root.contains(QStringLiteral("exports")), detect);
        QCOMPARE(root.value(QStringLiteral("datesRestored")).toInt(), detect ? 2 : 0);
        QCOMPARE(root.value(QStringLiteral("noDateFound")).toInt(), detect ? 1 : 0);
        const QJsonArray archives = root.value(QStringLiteral("archives")).toArray();
        QCOMPARE(archives.size(), 2);
        for (const QJsonValue& archive : archives)
            QCOMPARE(archive.toObject().value(QStringLiteral("export")).toString(),
                     detect ? QStringLiteral("Takeout 2024-06-01") : QString());
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("errContains");
        QTest::newRow("no folder") << QStringList{} << QStringLiteral("no folder or archive given");
        QTest::newRow("missing folder") << QStringList{QStringLiteral("/no/such/folder")}
                                        << QStringLiteral("no such folder");
        QTest::newRow("unknown mode") << QStringList{QStringLiteral("--mode"), QStringLiteral("beside"),
                                                     QStringLiteral(".")}
                                      << QStringLiteral("--mode");
        QTest::newRow("validation level out of range")
            << QStringList{QStringLiteral("--validate"), QStringLiteral("4"), QStringLiteral(".")}
            << QStringLiteral("--validate");
        QTest::newRow("overwrite and skip together")
            << QStringList{QStringLiteral("--overwrite"), QStringLiteral("--skip-existing"), QStringLiteral(".")}
            << QStringLiteral("exclude each other");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate"), QStringLiteral(".")}
                                        << QStringLiteral("frobnicate");
        QTest::newRow("a file that is no archive") << QStringList{QCoreApplication::applicationFilePath()}
                                                   << QStringLiteral("not a folder, nor a ZIP or RAR archive");
        QTest::newRow("the second path is missing")
            << QStringList{QStringLiteral("."), QStringLiteral("/no/such/Album.zip")}
            << QStringLiteral("/no/such/Album.zip: no such folder or archive");
        QTest::newRow("unknown name encoding")
            << QStringList{QStringLiteral("--name-encoding"), QStringLiteral("klingon"), QStringLiteral(".")}
            << QStringLiteral("unknown name encoding 'klingon' for --name-encoding");
        QTest::newRow("empty name encoding")
            << QStringList{QStringLiteral("--name-encoding"), QString(), QStringLiteral(".")}
            << QStringLiteral("unknown name encoding '' for --name-encoding");
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, errContains);
        const CliResult r = RunCli(args);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(errContains), qPrintable(r.err));
    }

    // The code page of names without the UTF-8 flag: --name-encoding, else the options file. One short
    // name is too little to detect it, so only the chosen code page writes the picture under its name.
    void nameEncoding_data()
    {
        QTest::addColumn<QString>("setting"); // Names/ZipNameEncoding in the options file; empty: none
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("named");
        QTest::addColumn<QString>("errContains");
        QTest::newRow("option") << QString() << L({"--name-encoding", "cp866"}) << true << QString();
        QTest::newRow("setting") << QStringLiteral("CP866") << QStringList() << true << QString();
        QTest::newRow("option over setting")
            << QStringLiteral("Shift_JIS") << L({"--name-encoding", "IBM866"}) << true << QString();
        QTest::newRow("unknown setting: warned, detected")
            << QStringLiteral("klingon") << QStringList() << false << QStringLiteral("unknown name encoding 'klingon'");
    }
    void nameEncoding()
    {
        QFETCH(QString, setting);
        QFETCH(QStringList, options);
        QFETCH(bool, named);
        QFETCH(QString, errContains);
        const QString ini = m_home.path() + QStringLiteral("/.local/share/ZLV/ZelvanoOptions.ini");
        QVERIFY(
            WriteFile(ini, setting.isEmpty() ? QByteArray() : "[Names]\nZipNameEncoding=" + setting.toUtf8() + "\n"));
        const QString tree = m_dir.filePath(QStringLiteral("names%1").arg(++m_nTree));
        zelvano::test::ZipWriter album;
        album.add("\x9E\xA3.jpg", Jpeg(5), 8); // "Юг.jpg" in CP866
        QVERIFY(WriteFile(tree + QStringLiteral("/Album/Album.zip"), album.build()));
        const CliResult r = RunCli(options + L({"--mode", "here", "--delete", "none"}) + QStringList{tree});
        QFile::remove(ini);
        QCOMPARE(r.code, 0);
        QCOMPARE(QFile::exists(tree + QString::fromUtf8("/Album/Юг.jpg")), named);
        QCOMPARE(FilesUnder(tree).size(), 2);
        if (!errContains.isEmpty())
            QVERIFY2(r.err.contains(errContains), qPrintable(r.err));
    }

    // The summary lines of the report on stdout, the pictures in place, the text file left in the archive.
    void cleanRunPrintsTheSummary()
    {
        const QString tree = MakeTree(false);
        const CliResult r = RunCli({QStringLiteral("--mode"), QStringLiteral("here"), tree});
        QCOMPARE(r.code, 0);
        const QStringList lines = r.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 10);
        QCOMPARE(lines.at(0), QStringLiteral("Scan Path:                    ") + QDir::toNativeSeparators(tree));
        QVERIFY(lines.at(1).startsWith(QStringLiteral("Started:                      ")));
        QVERIFY(lines.at(2).startsWith(QStringLiteral("Finished:                     ")));
        QVERIFY(lines.at(3).startsWith(QStringLiteral("Elapsed Time:                 0:00:")));
        QCOMPARE(lines.at(4), QStringLiteral("Archives Processed:           1"));
        QCOMPARE(lines.at(5), QStringLiteral("Photos Extracted:             2"));
        QVERIFY(lines.at(6).startsWith(QStringLiteral("Size on Disk:                 ")));
        QCOMPARE(lines.at(7), QStringLiteral("Number Skipped (Duplicate):   0"));
        QCOMPARE(lines.at(8), QStringLiteral("Number of Errors:             0"));
        QCOMPARE(FilesUnder(tree), (QStringList{QStringLiteral("Trip/Trip.zip"), QStringLiteral("Trip/Trip/one.jpg"),
                                                QStringLiteral("Trip/Trip/two.jpg")}));

        // The same selection again: every picture is a plain duplicate, no error.
        const CliResult again = RunCli({QStringLiteral("--mode"), QStringLiteral("here"), tree});
        QCOMPARE(again.code, 0);
        QVERIFY(again.out.contains(QStringLiteral("Number Skipped (Duplicate):   2\n")));
        QVERIFY(again.out.contains(QStringLiteral("Number of Errors:             0\n")));
    }

    // Archives given by name, alone or beside folders: exactly those are unpacked, each once, where the scan
    // of their folder would have put them (Trip.zip brings its own Trip folder, damaged.zip gets a new one).
    void archivesAndFoldersGivenByName_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("unpacked");
        const QString trip = QStringLiteral("Trip/Trip.zip"), bad = QStringLiteral("Bad/damaged.zip");
        QTest::newRow("one archive") << QStringList{trip} << QStringList{trip};
        QTest::newRow("two archives") << QStringList{trip, bad} << QStringList{bad, trip};
        QTest::newRow("a folder and an archive in it, unpacked once")
            << QStringList{QStringLiteral("Trip"), trip} << QStringList{trip};
        QTest::newRow("an archive and another folder")
            << QStringList{trip, QStringLiteral("Bad")} << QStringList{bad, trip};
        QTest::newRow("the same archive twice") << QStringList{bad, bad} << QStringList{bad};
    }
    void archivesAndFoldersGivenByName()
    {
        QFETCH(QStringList, paths);
        QFETCH(QStringList, unpacked);
        const QString tree = MakeTree(true);
        QStringList args{QStringLiteral("--json"), QStringLiteral("--validate"), QStringLiteral("1")};
        QStringList given;
        for (const QString& path : paths)
            given << tree + QLatin1Char('/') + path;
        const CliResult r = RunCli(args + given);
        QCOMPARE(r.code, 0);
        const QJsonObject root = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(root.value(QStringLiteral("scanPath")).toString(),
                 QDir::toNativeSeparators(given.join(QStringLiteral("; "))));
        QStringList seen;
        for (const QJsonValue& value : root.value(QStringLiteral("archives")).toArray()) {
            const QJsonObject archive = value.toObject();
            const QString path = archive.value(QStringLiteral("path")).toString();
            seen << QDir::fromNativeSeparators(path).mid(tree.size() + 1);
            // The decision of a scan of the whole tree.
            QCOMPARE(archive.value(QStringLiteral("mode")).toInt(), path.endsWith(QLatin1String("Trip.zip")) ? 1 : 2);
        }
        QCOMPARE(seen, unpacked);
        QCOMPARE(root.value(QStringLiteral("archivesProcessed")).toInt(), int(unpacked.size()));
        QCOMPARE(QFile::exists(tree + QStringLiteral("/Trip/Trip/one.jpg")),
                 unpacked.contains(QStringLiteral("Trip/Trip.zip")));
        QCOMPARE(QFile::exists(tree + QStringLiteral("/Bad/Damaged/good.jpg")),
                 unpacked.contains(QStringLiteral("Bad/damaged.zip")));
    }

    // Named or not, an archive in the trash is not unpacked there again; the run says so.
    void archiveInTheTrashIsNotTaken()
    {
        const QString trashed = m_home.path() + QStringLiteral("/.local/share/Trash/files/Album.zip");
        zelvano::test::ZipWriter zip;
        zip.add("one.jpg", Jpeg(5), 8);
        QVERIFY(WriteFile(trashed, zip.build()));
        const CliResult r = RunCli({trashed});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains(QStringLiteral("Archives Processed:           0\n")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("Not taken: %1: The archive is in a trash folder\n")
                                    .arg(QDir::toNativeSeparators(trashed))),
                 qPrintable(r.out));
        QCOMPARE(FilesUnder(QFileInfo(trashed).path()), QStringList{QStringLiteral("Album.zip")});
    }

    // A cut-off picture fails at level 3 (exit 1, the entry and its reason listed), not at level 1.
    void failedEntriesAndExitCode_data()
    {
        QTest::addColumn<QString>("level");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("level 3 loads every picture") << QStringLiteral("3") << 1;
        QTest::newRow("level 1 only looks for the file") << QStringLiteral("1") << 0;
    }
    void failedEntriesAndExitCode()
    {
        QFETCH(QString, level);
        QFETCH(int, exitCode);
        const QString tree = MakeTree(true);
        const CliResult r =
            RunCli({QStringLiteral("--validate"), level, QStringLiteral("--mode"), QStringLiteral("folder"), tree});
        QCOMPARE(r.code, exitCode);
        const QString archive = QDir::toNativeSeparators(tree + QStringLiteral("/Bad/damaged.zip"));
        const QString entry = QDir::toNativeSeparators(tree + QStringLiteral("/Bad/Damaged/cut.jpg"));
        if (exitCode == 1) {
            QVERIFY2(r.out.contains(QStringLiteral("Number of Errors:             1\n")), qPrintable(r.out));
            QVERIFY2(r.out.contains(QStringLiteral("In archive: %1 (1 error)\n   %2 -> Image is invalid (damaged or "
                                                   "corrupted)\n")
                                        .arg(archive, entry)),
                     qPrintable(r.out));
        } else {
            QVERIFY2(!r.out.contains(QStringLiteral("In archive:")), qPrintable(r.out));
        }
    }

    // Exactly the documented keys, in selection order, with a failed entry's flags and reason.
    void jsonHasExactlyTheDocumentedKeys()
    {
        const QString tree = MakeTree(true);
        const CliResult r =
            RunCli({QStringLiteral("--json"), QStringLiteral("--mode"), QStringLiteral("folder"), tree});
        QCOMPARE(r.code, 1);
        QJsonParseError error;
        const QJsonObject root = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(Keys(root), (L({"archives", "archivesProcessed", "bytesOnDisk", "elapsed", "errors", "finished",
                                 "notTaken", "photosExtracted", "scanPath", "skipped", "started"})));
        QVERIFY(root.value(QStringLiteral("notTaken")).toArray().isEmpty());
        QCOMPARE(root.value(QStringLiteral("archivesProcessed")).toInt(), 2);
        // The cut picture fails its check, so it does not count as extracted.
        QCOMPARE(root.value(QStringLiteral("photosExtracted")).toInt(), 3);
        QCOMPARE(root.value(QStringLiteral("errors")).toInt(), 1);
        const QJsonArray archives = root.value(QStringLiteral("archives")).toArray();
        QCOMPARE(archives.size(), 2);
        const QJsonObject bad = archives.at(0).toObject();
        // Nothing was to be deleted: no "deleted", and no reason for keeping.
        QCOMPARE(Keys(bad), (L({"bytesOnDisk", "errors", "extracted", "failed", "kept", "mode", "path", "photos",
                                "removed", "skipped"})));
        QCOMPARE(bad.value(QStringLiteral("kept")).toString(), QString());
        QCOMPARE(bad.value(QStringLiteral("path")).toString(),
                 QDir::toNativeSeparators(tree + QStringLiteral("/Bad/damaged.zip")));
        QCOMPARE(bad.value(QStringLiteral("mode")).toInt(), 2);
        QCOMPARE(bad.value(QStringLiteral("photos")).toInt(), 2);
        QCOMPARE(bad.value(QStringLiteral("removed")).toBool(), false);
        const QJsonObject failed = bad.value(QStringLiteral("failed")).toArray().at(0).toObject();
        QCOMPARE(Keys(failed), (L({"exists", "loads", "name", "path", "reason", "result", "sizeMatches"})));
        QCOMPARE(failed.value(QStringLiteral("name")).toString(), QStringLiteral("cut.jpg"));
        QCOMPARE(failed.value(QStringLiteral("exists")).toBool(), true);
        QCOMPARE(failed.value(QStringLiteral("loads")).toBool(), false);
        QCOMPARE(failed.value(QStringLiteral("reason")).toString(),
                 QStringLiteral("Image is invalid (damaged or corrupted)"));
        QVERIFY(archives.at(1).toObject().value(QStringLiteral("failed")).toArray().isEmpty());
    }

    // The report file: the layout with its errors and processed sections, CR LF line ends.
    void reportFile()
    {
        const QString tree = MakeTree(true);
        const QString report = m_dir.filePath(QStringLiteral("unpack-report.txt"));
        const CliResult r =
            RunCli({QStringLiteral("--report"), report, QStringLiteral("--mode"), QStringLiteral("folder"), tree});
        QCOMPARE(r.code, 1);
        const QStringList lines = QString::fromUtf8(ReadFile(report)).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.at(1), QStringLiteral("Zelvano Unpack Report"));
        // Lines 5 to 13 are what stdout showed first.
        QCOMPARE(lines.mid(4, 9), r.out.split(QLatin1Char('\n')).mid(0, 9));
        const QString t = QDir::toNativeSeparators(tree);
        const int errors = int(lines.indexOf(QStringLiteral("Archive Files with errors:")));
        QVERIFY(errors > 0);
        QCOMPARE(lines.mid(errors + 3, 3),
                 (QStringList{QStringLiteral("In archive: ") + t + QStringLiteral("/Bad/damaged.zip"),
                              QStringLiteral("   ") + t + QStringLiteral("/Bad/Damaged/cut.jpg"),
                              QStringLiteral("   -> Image is invalid (damaged or corrupted)")}));
        QCOMPARE(
            lines.mid(lines.size() - 3),
            (QStringList{QStringLiteral("      2 Photos       ") + t + QStringLiteral("/Bad/damaged.zip"),
                         QStringLiteral("      2 Photos       ") + t + QStringLiteral("/Trip/Trip.zip"), QString()}));
    }

    // Deletion after each archive and after all of them, with --yes: an archive with a failed entry stays,
    // and so does one holding a file that is not a picture unless this run waives it. Each archive is
    // printed after the summary, deleted and how, or kept and why.
    void deletionWithYes_data()
    {
        QTest::addColumn<QString>("when");
        QTest::addColumn<QString>("deletion");
        QTest::addColumn<bool>("deleteOtherFiles");
        QTest::newRow("after each, permanently: the other file keeps it")
            << QStringLiteral("each") << QStringLiteral("permanent") << false;
        QTest::newRow("after all, permanently: the other file keeps it")
            << QStringLiteral("all") << QStringLiteral("permanent") << false;
        QTest::newRow("after each, trash, other files waived")
            << QStringLiteral("each") << QStringLiteral("trash") << true;
        QTest::newRow("after all, permanently, other files waived")
            << QStringLiteral("all") << QStringLiteral("permanent") << true;
    }
    void deletionWithYes()
    {
        QFETCH(QString, when);
        QFETCH(QString, deletion);
        QFETCH(bool, deleteOtherFiles);
        const QString tree = MakeTree(true);
        QStringList args{QStringLiteral("--delete"), deletion, QStringLiteral("--when"), when,
                         QStringLiteral("--yes"),    tree};
        if (deleteOtherFiles)
            args.prepend(QStringLiteral("--delete-other-files"));
        const CliResult r = RunCli(args);
        QCOMPARE(r.code, 1);
        QCOMPARE(QFile::exists(tree + QStringLiteral("/Trip/Trip.zip")), !deleteOtherFiles);
        QVERIFY(QFile::exists(tree + QStringLiteral("/Bad/damaged.zip")));
        QVERIFY(QFile::exists(tree + QStringLiteral("/Trip/Trip/one.jpg")));

        const QString bad = QDir::toNativeSeparators(tree + QStringLiteral("/Bad/damaged.zip"));
        const QString trip = QDir::toNativeSeparators(tree + QStringLiteral("/Trip/Trip.zip"));
        QStringList fates{QStringLiteral("Kept: %1: 1 entry failed").arg(bad)};
        if (!deleteOtherFiles)
            fates << QStringLiteral("Kept: %1: holds 1 other file that was not extracted (notes.txt)").arg(trip);
        else if (deletion == QLatin1String("trash"))
            fates << QStringLiteral("Deleted (trash): ") + trip;
        else
            fates << QStringLiteral("Deleted (permanently): ") + trip;
        QStringList lines = r.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.takeLast(), QString());
        QCOMPARE(lines.mid(lines.size() - 2), fates);
    }

    // The same in JSON: "deleted" says how, "kept" says why, the other keys stay.
    void deletionInJson()
    {
        const QString tree = MakeTree(true);
        const CliResult r = RunCli({QStringLiteral("--delete"), QStringLiteral("trash"), QStringLiteral("--when"),
                                    QStringLiteral("each"), QStringLiteral("--delete-other-files"),
                                    QStringLiteral("--yes"), QStringLiteral("--json"), tree});
        QCOMPARE(r.code, 1);
        const QJsonArray archives =
            QJsonDocument::fromJson(r.out.toUtf8()).object().value(QStringLiteral("archives")).toArray();
        QCOMPARE(archives.size(), 2);
        const QJsonObject bad = archives.at(0).toObject(), trip = archives.at(1).toObject();
        QCOMPARE(bad.value(QStringLiteral("removed")).toBool(), false);
        QVERIFY(!bad.contains(QStringLiteral("deleted")));
        QCOMPARE(bad.value(QStringLiteral("kept")).toString(), QStringLiteral("1 entry failed"));
        QCOMPARE(trip.value(QStringLiteral("removed")).toBool(), true);
        QCOMPARE(trip.value(QStringLiteral("deleted")).toString(), QStringLiteral("trash"));
        QCOMPARE(trip.value(QStringLiteral("kept")).toString(), QString());
        QCOMPARE(Keys(trip), (L({"bytesOnDisk", "deleted", "errors", "extracted", "failed", "kept", "mode", "path",
                                 "photos", "removed", "skipped"})));
    }

    // The report lists the kept archives in a section of their own, with the reason.
    void reportListsKeptArchives()
    {
        const QString tree = MakeTree(true);
        const QString report = m_dir.filePath(QStringLiteral("kept-report.txt"));
        const CliResult r = RunCli({QStringLiteral("--delete"), QStringLiteral("permanent"), QStringLiteral("--yes"),
                                    QStringLiteral("--report"), report, tree});
        QCOMPARE(r.code, 1);
        const QStringList lines = QString::fromUtf8(ReadFile(report)).split(QStringLiteral("\r\n"));
        const int kept = int(lines.indexOf(QStringLiteral("Archive Files kept:")));
        QVERIFY2(kept > lines.indexOf(QStringLiteral("Archive Files with errors:")),
                 qPrintable(lines.join(QLatin1Char('\n'))));
        const QString t = QDir::toNativeSeparators(tree);
        QCOMPARE(
            lines.mid(kept + 3, 6),
            (QStringList{t + QStringLiteral("/Bad/damaged.zip"), QStringLiteral("   -> 1 entry failed"), QString(),
                         t + QStringLiteral("/Trip/Trip.zip"),
                         QStringLiteral("   -> holds 1 other file that was not extracted (notes.txt)"), QString()}));
        QVERIFY(lines.indexOf(QStringLiteral("Processed Archive Files:")) > kept);
    }

    // What the scan met but did not take is printed after the rest, and listed in the JSON.
    void notTakenEntries_data()
    {
        QTest::addColumn<bool>("json");
        QTest::newRow("text") << false;
        QTest::newRow("json") << true;
    }
    void notTakenEntries()
    {
        QFETCH(bool, json);
        const QString tree = MakeTree(false);
        QTemporaryDir outside;
        QVERIFY(WriteFile(outside.filePath(QStringLiteral("x.zip")), "not read"));
        const QString link = tree + QStringLiteral("/elsewhere");
        QVERIFY(QFile::link(outside.path(), link));
        QStringList args{tree};
        if (json)
            args.prepend(QStringLiteral("--json"));
        const CliResult r = RunCli(args);
        QCOMPARE(r.code, 0);
        if (json) {
            const QJsonArray notTaken =
                QJsonDocument::fromJson(r.out.toUtf8()).object().value(QStringLiteral("notTaken")).toArray();
            QCOMPARE(notTaken.size(), 1);
            const QJsonObject entry = notTaken.at(0).toObject();
            QCOMPARE(Keys(entry), (L({"path", "reason"})));
            QCOMPARE(entry.value(QStringLiteral("path")).toString(), QDir::toNativeSeparators(link));
            QVERIFY(!entry.value(QStringLiteral("reason")).toString().isEmpty());
        } else {
            QStringList lines = r.out.split(QLatin1Char('\n'));
            QCOMPARE(lines.takeLast(), QString());
            const QString prefix = QStringLiteral("Not taken: %1: ").arg(QDir::toNativeSeparators(link));
            QVERIFY2(lines.last().startsWith(prefix) && lines.last().size() > prefix.size(), qPrintable(r.out));
        }
    }

    // The archives the scan did not take are named with the scan's own reason; one that may hold pictures
    // the run could not reach makes the exit code 1.
    void archivesNotTakenAndExitCode_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("exitCode");
        zelvano::test::ZipWriter text;
        text.add("notes.txt", "no picture here");
        QByteArray cut = text.build();
        cut.chop(10);
        QTest::newRow("not an archive at all")
            << QStringLiteral("fake.zip") << QByteArray("just text")
            << QStringLiteral("Not a ZIP archive (no end of central directory)") << 1;
        QTest::newRow("cut short") << QStringLiteral("cut.zip") << cut
                                   << QStringLiteral("Not a ZIP archive (no end of central directory)") << 1;
        QTest::newRow("no picture of an enabled type")
            << QStringLiteral("text.zip") << text.build() << QStringLiteral("No picture of an enabled type") << 0;
        // Named like a later volume, but no volume at all: told by its content, as any damaged RAR.
        QTest::newRow("damaged, named like a later volume")
            << QStringLiteral("set.part2.rar") << QByteArray("Rar!") << QStringLiteral("Not a RAR archive") << 1;
    }
    void archivesNotTakenAndExitCode()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QFETCH(int, exitCode);
        const QString tree = MakeTree(false);
        const QString path = tree + QStringLiteral("/Other/") + name;
        QVERIFY(WriteFile(path, bytes));
        const CliResult r = RunCli({tree});
        QCOMPARE(r.code, exitCode);
        const QString line = QStringLiteral("Not taken: %1: %2").arg(QDir::toNativeSeparators(path), reason);
        QVERIFY2(r.out.contains(line), qPrintable(r.out));

        const CliResult j = RunCli({QStringLiteral("--json"), tree});
        const QJsonArray notTaken =
            QJsonDocument::fromJson(j.out.toUtf8()).object().value(QStringLiteral("notTaken")).toArray();
        QCOMPARE(notTaken.size(), 1);
        QVERIFY(notTaken.at(0).toObject().value(QStringLiteral("reason")).toString().startsWith(reason));
    }

    // Without a terminal on stdin and without --yes, every delete question is answered No: the real program,
    // its stdin a pipe that is closed at once.
    void deleteQuestionWithoutTerminalIsNo_data()
    {
        QTest::addColumn<QString>("when");
        QTest::newRow("after each archive") << QStringLiteral("each");
        QTest::newRow("after all archives") << QStringLiteral("all");
    }
    void deleteQuestionWithoutTerminalIsNo()
    {
        QFETCH(QString, when);
        const QString cli = qEnvironmentVariable("ZELVANO_BUILD_DIR") + QStringLiteral("/src/cli/zelvano-cli");
        if (!QFile::exists(cli))
            QSKIP("zelvano-cli is not built");
        const QString tree = MakeTree(false);
        QProcess process;
        process.start(cli, {QStringLiteral("unpack"), QStringLiteral("--delete"), QStringLiteral("trash"),
                            QStringLiteral("--when"), when, tree});
        QVERIFY(process.waitForStarted());
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(QFile::exists(tree + QStringLiteral("/Trip/Trip.zip")));
        QVERIFY(QFile::exists(tree + QStringLiteral("/Trip/Trip/one.jpg")));
    }

    // On a terminal each delete question is asked; the answers hold as in the desktop program. The real
    // program runs under script(1), which gives it a terminal and types the answers. The question says
    // where the archives go and which letter cancels; nothing speaks of clicking.
    void deleteQuestionsOnATerminal_data()
    {
        QTest::addColumn<QString>("deletion");
        QTest::addColumn<QString>("when");
        QTest::addColumn<QString>("answers");
        QTest::addColumn<QString>("kept"); // archives still there, of a, b, c
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("asked"); // a text the questions hold
        const QString permanent = QStringLiteral("permanent"), trash = QStringLiteral("trash"),
                      each = QStringLiteral("each");
        const QString deleteA = QStringLiteral("Delete the archive 'a.zip' permanently? It cannot be restored.\r\n"
                                               "Type c to cancel: the run ends and nothing more is unpacked.\r\n"
                                               "(Y)es, Y(e)s to All, (N)o, N(o) to All, (C)ancel? ");
        QTest::newRow("No, then Yes to All deletes the rest")
            << permanent << each << QStringLiteral("n\ne\n") << QStringLiteral("a") << 0 << deleteA;
        QTest::newRow("Yes, No, then the last is asked with Yes and No only")
            << permanent << each << QStringLiteral("y\nn\ny\n") << QStringLiteral("b") << 0
            << QStringLiteral("Delete the archive 'c.zip' permanently? It cannot be restored.\r\n(Y)es, (N)o? ");
        QTest::newRow("No to All keeps every archive")
            << permanent << each << QStringLiteral("o\n") << QStringLiteral("abc") << 0 << deleteA;
        QTest::newRow("Cancel ends the run: exit 3, nothing more unpacked")
            << permanent << each << QStringLiteral("y\nc\n") << QStringLiteral("bc") << 3 << deleteA;
        // Every answer is typed: how script(1) passes on the end of its input is not to be relied on.
        QTest::newRow("an unknown answer is asked again")
            << permanent << each << QStringLiteral("maybe\nn\nn\nn\n") << QStringLiteral("abc") << 0 << deleteA;
        QTest::newRow("the trash is named as the place the archive goes")
            << trash << each << QStringLiteral("y\no\n") << QStringLiteral("bc") << 0
            << QStringLiteral("Move the archive 'a.zip' to the trash?\r\nType c to cancel");
        QTest::newRow("after all, to the trash: one question that says so")
            << trash << QStringLiteral("all") << QStringLiteral("y\n") << QString() << 0
            << QStringLiteral("They will be moved to the trash.\r\n(Y)es, (N)o? ");
        QTest::newRow("after all, permanently: one question that says so")
            << permanent << QStringLiteral("all") << QStringLiteral("n\n") << QStringLiteral("abc") << 0
            << QStringLiteral("They will be deleted permanently.\r\n(Y)es, (N)o? ");
    }
    void deleteQuestionsOnATerminal()
    {
        QFETCH(QString, deletion);
        QFETCH(QString, when);
        QFETCH(QString, answers);
        QFETCH(QString, kept);
        QFETCH(int, exitCode);
        QFETCH(QString, asked);
        const QString cli = qEnvironmentVariable("ZELVANO_BUILD_DIR") + QStringLiteral("/src/cli/zelvano-cli");
        const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
        if (!QFile::exists(cli) || script.isEmpty())
            QSKIP("zelvano-cli or script(1) is missing");
        const QString tree = m_dir.filePath(QStringLiteral("tree%1").arg(++m_nTree));
        for (const char* name : {"a", "b", "c"}) {
            zelvano::test::ZipWriter zip;
            zip.add("p.jpg", Jpeg(name[0]), 8);
            QVERIFY(WriteFile(tree + QStringLiteral("/%1/%1.zip").arg(QLatin1String(name)), zip.build()));
        }
        QProcess process;
        process.start(
            script,
            {QStringLiteral("-qec"),
             QStringLiteral("'%1' unpack --delete %2 --when %3 --mode folder '%4'").arg(cli, deletion, when, tree),
             QStringLiteral("/dev/null")});
        QVERIFY(process.waitForStarted());
        process.write(answers.toUtf8());
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(60000));
        const QString terminal = QString::fromUtf8(process.readAllStandardOutput());
        QCOMPARE(process.exitCode(), exitCode);
        QVERIFY2(terminal.contains(asked), qPrintable(terminal));
        QVERIFY2(!terminal.contains(QStringLiteral("Click")), qPrintable(terminal));
        QString left;
        for (const char* name : {"a", "b", "c"}) {
            if (QFile::exists(tree + QStringLiteral("/%1/%1.zip").arg(QLatin1String(name))))
                left += QLatin1String(name);
        }
        QCOMPARE(left, kept);
        // A cancelled run unpacks nothing after the archive it asked about.
        QCOMPARE(QFile::exists(tree + QStringLiteral("/c/C/p.jpg")), exitCode == 0);
    }

    // With "Confirm Before Deleting Archive" off in the settings, nothing is asked and the archive goes,
    // as in the desktop program; the saved option of the second settings file lets the text file inside
    // go with it. The options of a run are never saved.
    void confirmationOffDeletesWithoutAsking()
    {
        CXSettings settings;
        QString error;
        QVERIFY(settings.InitializeSettings(&error));
        settings.m_bConfirmDelete = 0;
        settings.m_bDeleteOtherFiles = 1;
        QVERIFY(settings.SaveSettings());

        const QString tree = MakeTree(false);
        const CliResult r = RunCli({QStringLiteral("--delete"), QStringLiteral("trash"), QStringLiteral("--when"),
                                    QStringLiteral("each"), QStringLiteral("--validate"), QStringLiteral("1"), tree});
        QCOMPARE(r.code, 0);
        QVERIFY(!QFile::exists(tree + QStringLiteral("/Trip/Trip.zip")));
        QVERIFY(QFile::exists(tree + QStringLiteral("/Trip/Trip/one.jpg")));
        // Loading re-saves the record, but the run's options are not in it.
        CXSettings reloaded;
        QVERIFY(reloaded.InitializeSettings(&error));
        QCOMPARE(reloaded.m_nAfterExtraction, 0);
        QCOMPARE(reloaded.m_nValidationLevel, 2);
        QCOMPARE(reloaded.m_bConfirmDelete, 0);
        QCOMPARE(reloaded.m_bDeleteOtherFiles, 1);
        settings.m_bConfirmDelete = 1;
        settings.m_bDeleteOtherFiles = 0;
        QVERIFY(settings.SaveSettings());
    }

    // Too little space: the message on stderr, nothing written, exit 3; with the trash no check is made.
    void notEnoughSpace_data()
    {
        QTest::addColumn<QString>("deletion");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("nothing deleted: refused") << QStringLiteral("none") << 3;
        QTest::newRow("permanent at the end: refused") << QStringLiteral("permanent") << 3;
        QTest::newRow("trash: no check") << QStringLiteral("trash") << 0;
    }
    void notEnoughSpace()
    {
        QFETCH(QString, deletion);
        QFETCH(int, exitCode);
        zelvano::platform::SetDiskSpaceQuery([](const QString&) {
            zelvano::platform::DiskSpace d;
            d.m_bValid = true;
            d.m_nFree = 100;
            d.m_strRoot = QStringLiteral("/volume");
            return d;
        });
        const QString tree = MakeTree(false);
        const CliResult r =
            RunCli({QStringLiteral("--delete"), deletion, QStringLiteral("--when"), QStringLiteral("all"), tree});
        QCOMPARE(r.code, exitCode);
        if (exitCode == 3) {
            QVERIFY(r.out.isEmpty());
            QVERIFY2(r.err.contains(QStringLiteral("There's not enough disk space available on Volume (/volume) to "
                                                   "continue.\n\nUnpacking selected archives requires around ")),
                     qPrintable(r.err));
            QVERIFY(r.err.contains(QStringLiteral("and there's only 100 bytes available.")));
            QCOMPARE(FilesUnder(tree), QStringList{QStringLiteral("Trip/Trip.zip")});
        }
    }

    // Ctrl-C as the run starts: the run is stopped as Stop does (the current entry finishes, nothing more is
    // written, nothing is deleted), and what was done is printed and reported before exit 130.
    void interruptStopsWithExitCode130()
    {
        zelvano::platform::SetDiskSpaceQuery([](const QString&) {
            std::raise(SIGINT);
            zelvano::platform::DiskSpace d;
            d.m_bValid = true;
            d.m_nFree = quint64(1) << 40;
            return d;
        });
        const QString tree = MakeTree(true);
        const QString report = m_dir.filePath(QStringLiteral("interrupted.txt"));
        const CliResult r =
            RunCli({QStringLiteral("--delete"), QStringLiteral("permanent"), QStringLiteral("--when"),
                    QStringLiteral("all"), QStringLiteral("--yes"), QStringLiteral("--report"), report, tree});
        QCOMPARE(r.code, 130);
        const QStringList lines = r.out.split(QLatin1Char('\n'));
        QVERIFY2(lines.size() >= 10, qPrintable(r.out));
        QCOMPARE(lines.at(0), QStringLiteral("Scan Path:                    ") + QDir::toNativeSeparators(tree));
        // However far the run got, the figures printed are what is on disk.
        const QStringList files = FilesUnder(tree);
        const qsizetype pictures = files.filter(QStringLiteral(".jpg")).size();
        QCOMPARE(lines.at(5), QStringLiteral("Photos Extracted:             %1").arg(pictures));
        QCOMPARE(files.filter(QStringLiteral(".zip")).size(), 2); // the deletion at the end never came
        QCOMPARE(QString::fromUtf8(ReadFile(report)).split(QStringLiteral("\r\n")).mid(4, 9), lines.mid(0, 9));
    }
};

QTEST_GUILESS_MAIN(TestCliUnpack)
#include "tst_unpack.moc"
