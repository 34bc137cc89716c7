#include "scan/archivelist.h"
#include "settings/settings.h"
#include "unpack/destination.h"

#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

CXArchiveFile ArchiveAt(const QString& path, int folderCount, int smartMode)
{
    CXArchiveFile archive;
    archive.m_strPath = path;
    archive.m_nFolderCount = folderCount;
    archive.m_nSmartMode = smartMode;
    return archive;
}

} // namespace

class TestDestination : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void folderName_data()
    {
        QTest::addColumn<int>("renameCase");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("title case")                 << 2 << S("my_trip [2012]") << S("My Trip 2012");
        QTest::newRow("lower case")                 << 1 << S("my_trip [2012]") << S("my trip 2012");
        QTest::newRow("upper case")                 << 0 << S("my_trip [2012]") << S("MY TRIP 2012");
        QTest::newRow("unknown choice is title")    << 7 << S("my_trip [2012]") << S("My Trip 2012");
        QTest::newRow("bang stays in folder names") << 2 << S("wow!_pics")      << S("Wow! Pics");
        // clang-format on
    }
    void folderName()
    {
        QFETCH(int, renameCase);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(RenameFolderName(renameCase, name), expected);
    }

    void modeAndContainingFolder()
    {
        CXSettings settings;
        CXArchiveFile archive = ArchiveAt(S("/Pics/trip_2012.zip"), 1, 2);
        settings.m_nExtractTo = 0;
        QCOMPARE(GetExtractMode(settings, archive), 2);
        settings.m_nExtractTo = 1;
        QCOMPARE(GetExtractMode(settings, archive), 1);
        settings.m_bRenameFolder = 0;
        QCOMPARE(GetContainingFolderName(settings, archive), S("trip_2012"));
        settings.m_bRenameFolder = 1;
        settings.m_nRenameCase = 2;
        QCOMPARE(GetContainingFolderName(settings, archive), S("Trip 2012"));
    }

    // Output paths without touching the disk: modes, renaming, separators, and every name that would
    // lead out of the destination.
    void plan_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<int>("extractTo");
        QTest::addColumn<int>("smartMode");
        QTest::addColumn<int>("rename"); // -1 off, else the case choice
        QTest::addColumn<int>("folderCount");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("path");    // expected output, empty when refused
        QTest::addColumn<QString>("display"); // expected display name
        QTest::addColumn<QString>("reason");

        const QString none;
        const QString unsafe = zelvano::reason::UnsafeName();
        // clang-format off
        QTest::newRow("mode 2 keeps the entry's folders")       << S("/Pics/Trip.zip") << 2 << 1 << -1 << 1 << S("a/b.jpg") << S("/Pics/Trip/a/b.jpg") << S("b.jpg") << none;
        QTest::newRow("mode 1 writes beside the archive")       << S("/Pics/Trip.zip") << 1 << 2 << -1 << 1 << S("a/b.jpg") << S("/Pics/a/b.jpg") << S("b.jpg") << none;
        QTest::newRow("smart mode follows the advice")          << S("/Pics/Trip.zip") << 0 << 2 << -1 << 1 << S("b.jpg")   << S("/Pics/Trip/b.jpg") << S("b.jpg") << none;
        QTest::newRow("mode 2 title case")                      << S("/Pics/my_trip [2012].zip") << 2 << 1 << 2 << 0 << S("x.jpg") << S("/Pics/My Trip 2012/x.jpg") << S("x.jpg") << none;
        QTest::newRow("mode 2 upper case")                      << S("/Pics/my_trip [2012].zip") << 2 << 1 << 0 << 0 << S("x.jpg") << S("/Pics/MY TRIP 2012/x.jpg") << S("x.jpg") << none;
        QTest::newRow("mode 2 lower case")                      << S("/Pics/my_trip [2012].zip") << 2 << 1 << 1 << 0 << S("x.jpg") << S("/Pics/my trip 2012/x.jpg") << S("x.jpg") << none;
        QTest::newRow("title drops only the last extension")    << S("/Pics/Trip.2012.zip") << 2 << 1 << -1 << 0 << S("x.jpg") << S("/Pics/Trip.2012/x.jpg") << S("x.jpg") << none;
        QTest::newRow("mode 1 renames the one top folder")      << S("/Pics/trip_2012.zip") << 1 << 1 << 2 << 1 << S("trip_2012/x.jpg") << S("/Pics/Trip 2012/x.jpg") << S("x.jpg") << none;
        QTest::newRow("mode 1 two folders stay as they are")    << S("/Pics/trip_2012.zip") << 1 << 1 << 2 << 2 << S("trip_2012/x.jpg") << S("/Pics/trip_2012/x.jpg") << S("x.jpg") << none;
        QTest::newRow("mode 1 rename off leaves the folder")    << S("/Pics/trip_2012.zip") << 1 << 1 << -1 << 1 << S("trip_2012/x.jpg") << S("/Pics/trip_2012/x.jpg") << S("x.jpg") << none;
        QTest::newRow("rename never moves the archive's folder") << S("/C/trip_2012/trip_2012.zip") << 1 << 1 << 2 << 1 << S("trip_2012/x.jpg") << S("/C/trip_2012/Trip 2012/x.jpg") << S("x.jpg") << none;
        QTest::newRow("rename leaves file names alone")          << S("/Pics/beach.zip") << 1 << 1 << 2 << 1 << S("beach/beach_0001.jpg") << S("/Pics/Beach/beach_0001.jpg") << S("beach_0001.jpg") << none;
        QTest::newRow("rename leaves parts of words alone")      << S("/Pics/a.zip") << 1 << 1 << 2 << 1 << S("a/cat.jpg") << S("/Pics/A/cat.jpg") << S("cat.jpg") << none;
        QTest::newRow("rename only a leading folder")            << S("/Pics/a.zip") << 1 << 1 << 2 << 1 << S("x/a/cat.jpg") << S("/Pics/x/a/cat.jpg") << S("cat.jpg") << none;
        QTest::newRow("backslash is a separator")               << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << S("a\\b.jpg") << S("/Pics/a/b.jpg") << S("b.jpg") << none;
        QTest::newRow("dot parts and doubled slashes drop")     << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << S("./a//./b.jpg") << S("/Pics/a/b.jpg") << S("b.jpg") << none;
        QTest::newRow("dots inside a name are fine")            << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << S("a..b/c..jpg") << S("/Pics/a..b/c..jpg") << S("c..jpg") << none;
        QTest::newRow("parent part")                            << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << S("../x.jpg") << none << S("x.jpg") << unsafe;
        QTest::newRow("parent part deeper down")                << S("/Pics/Trip.zip") << 2 << 1 << -1 << 0 << S("a/../../x.jpg") << none << S("x.jpg") << unsafe;
        QTest::newRow("parent part behind a backslash")         << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << S("a\\..\\..\\x.jpg") << none << S("x.jpg") << unsafe;
        QTest::newRow("parent part with a trailing space")      << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << S(".. /x.jpg") << none << S("x.jpg") << unsafe;
        QTest::newRow("absolute name")                          << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << S("/etc/x.jpg") << none << S("x.jpg") << unsafe;
        QTest::newRow("UNC name")                               << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << S("\\\\server\\share\\x.jpg") << none << S("x.jpg") << unsafe;
        QTest::newRow("drive letter")                           << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << S("C:/x.jpg") << none << S("x.jpg") << unsafe;
        QTest::newRow("drive-relative name")                    << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << S("C:x.jpg") << none << S("C:x.jpg") << unsafe;
        QTest::newRow("control character")                      << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << S("a\x01/x.jpg") << none << S("x.jpg") << zelvano::reason::ControlCharacters();
        QTest::newRow("NUL inside the name")                    << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << (S("x.jpg") + QChar(0) + S("/../y.jpg")) << none << S("y.jpg") << zelvano::reason::ControlCharacters();
        QTest::newRow("name ending in a separator")             << S("/Pics/Trip.zip") << 1 << 1 << -1 << 0 << S("a.jpg/") << none << S("a.jpg/") << zelvano::reason::NoFileName();
        QTest::newRow("archive named dot-dot gets no folder")   << S("/Pics/...zip") << 2 << 1 << -1 << 0 << S("x.jpg") << none << S("x.jpg") << zelvano::reason::BadFolderName();
        QTest::newRow("archive without a title gets no folder") << S("/Pics/.zip") << 2 << 1 << 2 << 0 << S("x.jpg") << none << S("x.jpg") << zelvano::reason::BadFolderName();
        QTest::newRow("emptied name falls back to the title")   << S("/Pics/___.zip") << 2 << 1 << 2 << 0 << S("x.jpg") << S("/Pics/___/x.jpg") << S("x.jpg") << none;
        QTest::newRow("unknown mode writes nothing")            << S("/Pics/Trip.zip") << 3 << 1 << -1 << 0 << S("x.jpg") << none << S("x.jpg") << zelvano::reason::NoMode();
        // clang-format on
    }
    void plan()
    {
        QFETCH(QString, archive);
        QFETCH(int, extractTo);
        QFETCH(int, smartMode);
        QFETCH(int, rename);
        QFETCH(int, folderCount);
        QFETCH(QString, entry);
        QFETCH(QString, path);
        QFETCH(QString, display);
        QFETCH(QString, reason);

        CXSettings settings;
        settings.m_nExtractTo = extractTo;
        settings.m_bRenameFolder = rename >= 0 ? 1 : 0;
        settings.m_nRenameCase = rename;
        CXDestinationPlanner planner;
        planner.Begin(settings, ArchiveAt(archive, folderCount, smartMode));
        const CXPlannedPath planned = planner.PlanOutputPathOnly(entry);
        QCOMPARE(planned.m_strReason, reason);
        QCOMPARE(planned.m_strDisplayName, display);
        if (reason.isEmpty())
            QCOMPARE(planned.m_strPath, path);
        else
            QVERIFY(!planned.m_strPath.contains(QChar(0)));
    }

    // Folders are made only when a file is written into them, and only where the entries need them.
    void createsFolders()
    {
        QTemporaryDir dir;
        CXSettings settings;
        settings.m_nExtractTo = 2;
        settings.m_bRenameFolder = 0;
        CXDestinationPlanner planner;
        planner.Begin(settings, ArchiveAt(dir.filePath(S("Trip.zip")), 1, 1));
        const CXPlannedPath planned = planner.PlanOutputPath(S("a/b.jpg"));
        QVERIFY(planned.IsSafe());
        QCOMPARE(planned.m_strPath, dir.filePath(S("Trip/a/b.jpg")));
        QVERIFY(!QFileInfo::exists(dir.filePath(S("Trip"))));
        QVERIFY(planner.CreateFolderFor(planned));
        QVERIFY(QFileInfo(dir.filePath(S("Trip/a"))).isDir());
        QVERIFY(!QFileInfo::exists(planned.m_strPath));

        const CXPlannedPath refused = planner.PlanOutputPath(S("../../up/x.jpg"));
        QVERIFY(!refused.IsSafe());
        QVERIFY(!QFileInfo::exists(dir.filePath(S("up"))));
    }

    // Links already on disk: one leading out of the destination is never written through, one that
    // stays inside is fine.
    void existingLinks_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("link");   // below the archive's folder
        QTest::addColumn<QString>("target"); // below the test folder
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("safe");
        // clang-format off
        QTest::newRow("folder link leading out, mode 1")        << 1 << S("link")       << S("outside")          << S("link/x.jpg")      << false;
        QTest::newRow("link deeper down leading out")           << 1 << S("a/link")     << S("outside")          << S("a/link/b/x.jpg")  << false;
        QTest::newRow("new folder is a link leading out")       << 2 << S("Trip")       << S("outside")          << S("x.jpg")           << false;
        QTest::newRow("link in mode 2 leading to the folder")   << 2 << S("Trip/up")    << S("dest")             << S("up/x.jpg")        << false;
        QTest::newRow("dangling link")                          << 1 << S("gone")       << S("outside/missing")  << S("gone/x.jpg")      << false;
        QTest::newRow("link that stays inside")                 << 1 << S("alias")      << S("dest/real")        << S("alias/x.jpg")     << true;
        // clang-format on
    }
    void existingLinks()
    {
        QFETCH(int, mode);
        QFETCH(QString, link);
        QFETCH(QString, target);
        QFETCH(QString, entry);
        QFETCH(bool, safe);

        QTemporaryDir dir;
        const QString dest = dir.filePath(S("dest"));
        QVERIFY(QDir().mkpath(dest + S("/real")));
        QVERIFY(QDir().mkpath(dir.filePath(S("outside"))));
        const QString linkPath = dest + QLatin1Char('/') + link;
        QVERIFY(QDir().mkpath(QFileInfo(linkPath).absolutePath()));
        QVERIFY(QFile::link(dir.filePath(target), linkPath));

        CXSettings settings;
        settings.m_nExtractTo = mode;
        settings.m_bRenameFolder = 0;
        CXDestinationPlanner planner;
        planner.Begin(settings, ArchiveAt(dest + S("/Trip.zip"), 0, 1));
        const CXPlannedPath planned = planner.PlanOutputPath(entry);
        QCOMPARE(planned.IsSafe(), safe);
        if (!safe) {
            QCOMPARE(planned.m_strReason, zelvano::reason::LinkLeadsOut());
            QVERIFY(QDir(dir.filePath(S("outside"))).isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestDestination)
#include "tst_destination.moc"
