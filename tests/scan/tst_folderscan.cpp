#include "common/runcontrol.h"
#include "common/workerhost.h"
#include "scan/archivelist.h"
#include "scan/scanrunner.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "support/rarwriter.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <atomic>
#include <fcntl.h>
#include <mutex>
#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;
using zelvano::test::WriteFile;

namespace {

QByteArray PhotoZip(int photos, const char* otherName = nullptr)
{
    zelvano::test::ZipWriter writer;
    for (int i = 0; i < photos; ++i)
        writer.add(QByteArray("img") + QByteArray::number(i) + ".jpg", QByteArray(50, 'p'), 0);
    if (otherName)
        writer.add(otherName, QByteArray("text"), 0);
    return writer.build();
}

// A small stored RAR5 archive of the named pictures, crafted, so the suite needs no rar command.
QByteArray RarBytes(const QStringList& names)
{
    QList<zelvano::test::CraftEntry> entries;
    for (const QString& name : names)
        entries.append({name.toUtf8(), 3, 0100644, false, QByteArray(60, 'r')});
    return zelvano::test::CraftRar5(entries);
}

// Records every notification of the worker. Optionally blocks the worker in its first progress call until
// the test lets it go, so the test can act while the worker stands at a known point.
class RecordingHost : public CXWorkerHost
{
public:
    void ScanProgress(const QString& folder) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_setProgress.insert(folder);
        }
        const int n = ++m_nProgress;
        if (m_bBlockFirst && n == 1) {
            m_reached.release();
            m_gate.acquire();
        }
    }
    void StatusText(int line, const QString& text) override
    {
        std::lock_guard lock(m_mutex);
        m_arrStatus << QStringLiteral("%1:%2").arg(line).arg(text);
    }
    void ScanFinished() override { ++m_nFinished; }
    DeleteAnswer ConfirmArchiveDelete(const QString&, bool) override { return DeleteAnswer::No; }
    void ShowDiskSpaceMessage(const QString&) override {}

    bool m_bBlockFirst = false;
    QSemaphore m_reached; // released when the worker stands in its first progress call
    QSemaphore m_gate;    // the worker waits here in that call
    std::atomic<int> m_nProgress{0};
    std::atomic<int> m_nFinished{0};
    std::mutex m_mutex;
    QSet<QString> m_setProgress;
    QStringList m_arrStatus;
};

QStringList Paths(const CXArchiveList& list, const QString& root)
{
    QStringList paths;
    for (const CXArchiveFile& a : list.m_arrArchives)
        paths << a.m_strPath.mid(root.size() + 1);
    return paths;
}

QStringList Relative(const QStringList& paths, const QString& root)
{
    QStringList out;
    for (const QString& p : paths)
        out << p.mid(root.size() + 1);
    return out;
}

// The not-taken entries as "relative path: reason", in the order the scan met them.
QStringList NotTaken(const CXArchiveList& list, const QString& root)
{
    QStringList out;
    for (const CXNotTaken& n : list.m_arrNotTaken)
        out << n.m_strPath.mid(root.size() + 1) + QStringLiteral(": ") + n.m_strReason;
    return out;
}

const QString kTrashReason = QStringLiteral("The folder is a trash folder");

// Records every notification in order; stops the run in one of them, or holds the worker there until the
// test lets it go.
class SequenceHost : public CXWorkerHost
{
public:
    void ScanProgress(const QString& folder) override { Note(QStringLiteral("progress ") + folder); }
    void StatusText(int line, const QString& text) override { Note(QStringLiteral("status %1 ").arg(line) + text); }
    void ScanFinished() override { Note(QStringLiteral("finished")); }
    DeleteAnswer ConfirmArchiveDelete(const QString&, bool) override { return DeleteAnswer::No; }
    void ShowDiskSpaceMessage(const QString&) override {}

    QStringList Calls()
    {
        std::lock_guard lock(m_mutex);
        return m_arrCalls;
    }

    CXRunControl* m_pStop = nullptr; // stopped in call number m_nStopAt (from 1)
    int m_nStopAt = 0;
    int m_nHoldAt = 0;    // the worker waits in this call for m_gate
    QSemaphore m_reached; // released when the worker stands in that call
    QSemaphore m_gate;

private:
    void Note(const QString& call)
    {
        qsizetype n = 0;
        {
            std::lock_guard lock(m_mutex);
            m_arrCalls << call;
            n = m_arrCalls.size();
        }
        if (n == m_nStopAt && m_pStop)
            m_pStop->Stop();
        if (n == m_nHoldAt) {
            m_reached.release();
            m_gate.acquire();
        }
    }

    std::mutex m_mutex;
    QStringList m_arrCalls;
};

// Everything a scan leaves behind: the model and the notifications, in order.
struct ScanOutcome
{
    QStringList calls;
    QList<CXArchiveFile> archives;
    QList<CXFileItem> invalid;
    QStringList skipped;
    QList<CXNotTaken> notTaken;
    int zips = 0;
    int rars = 0;

    static ScanOutcome Of(const CXArchiveList& list, SequenceHost& host)
    {
        return ScanOutcome{host.Calls(),       list.m_arrArchives, list.m_arrInvalid, list.m_arrSkipped.toStringList(),
                           list.m_arrNotTaken, list.m_nZipCount,   list.m_nRarCount};
    }
};

void CompareOutcomes(const ScanOutcome& got, const ScanOutcome& expected)
{
    QCOMPARE(got.calls, expected.calls);
    QCOMPARE(got.archives, expected.archives);
    QCOMPARE(got.invalid, expected.invalid);
    QCOMPARE(got.skipped, expected.skipped);
    QCOMPARE(got.notTaken, expected.notTaken);
    QCOMPARE(got.zips, expected.zips);
    QCOMPARE(got.rars, expected.rars);
}

// A ZIP whose examination takes long beside the small ones, so the walk runs ahead of it.
QByteArray SlowZip()
{
    zelvano::test::ZipWriter writer;
    for (int i = 0; i < 6000; ++i)
        writer.add(QByteArray("Folder ") + QByteArray::number(i % 9) + "/IMG_" + QByteArray::number(i) + ".jpg",
                   QByteArray(), 0);
    return writer.build();
}

} // namespace

class TestFolderScan : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_strRoot;    // the tree that is scanned
    QString m_strOutside; // a folder outside it that two links lead to
    CXSettings m_settings;

    // A host that holds the worker in its first notification until the test opens the gate.
    void AttachBlocking(CXArchiveList& list, RecordingHost& host)
    {
        host.m_bBlockFirst = true;
        list.m_pSettings = &m_settings;
        list.m_pHost = &host;
    }

    // Gives the model the suite's settings, their picture list and the recording host.
    void Attach(CXArchiveList& list, RecordingHost& host)
    {
        list.m_pSettings = &m_settings;
        list.SetImagePatterns(BuildImagePatternList(m_settings));
        list.m_pHost = &host;
    }

    void Scan(CXArchiveList& list, RecordingHost& host, const QString& folder)
    {
        Attach(list, host);
        CXRunControl run;
        run.Start();
        list.StartScan(folder, run);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_strRoot = m_dir.filePath(QStringLiteral("tree"));
        m_strOutside = m_dir.filePath(QStringLiteral("outside"));
        const QByteArray zip = PhotoZip(2);
        const QByteArray rar = RarBytes({QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg")});
        QVERIFY(!rar.isEmpty());
        const QString r = m_strRoot + QLatin1Char('/');
        // Recognised by the lower-cased name, whatever the case of the extension.
        QVERIFY(WriteFile(r + QStringLiteral("b.zip"), zip));
        QVERIFY(WriteFile(r + QStringLiteral("A.zip"), zip));
        QVERIFY(WriteFile(r + QStringLiteral("Trip.ZIP"), zip));
        QVERIFY(WriteFile(r + QStringLiteral("TRIP.RAR"), rar));
        // Named like volumes, but whole archives by their headers: each is an archive of its own.
        for (const char* name : {"Holiday.part1.rar", "Holiday.part2.rar", "holiday.party.rar", "Holiday.rar",
                                 "Holiday.r00", "Holiday.r01", "Mum.Party/m.rar"})
            QVERIFY(WriteFile(r + QString::fromLatin1(name), rar));
        // A folder named like an archive is searched.
        QVERIFY(WriteFile(r + QStringLiteral("Trip.zip/inner.zip"), zip));
        QVERIFY(WriteFile(r + QStringLiteral("bad.zip"), QByteArray("not a zip")));
        QVERIFY(WriteFile(r + QStringLiteral("bad.rar"), QByteArray("not a rar")));
        QVERIFY(WriteFile(r + QStringLiteral("text.zip"), PhotoZip(0, "readme.txt")));
        QVERIFY(WriteFile(r + QStringLiteral("sub/deep/c.zip"), zip));
        QVERIFY(WriteFile(r + QStringLiteral("sub/notes.txt"), QByteArray("x")));
        QVERIFY(WriteFile(r + QStringLiteral(".hidden/h.zip"), zip));
        QVERIFY(QDir().mkpath(r + QStringLiteral("empty")));
        // Links: a cycle back to the top, one into the tree, two to the same folder outside it, one to an
        // archive outside and one to an archive inside.
        QVERIFY(WriteFile(m_strOutside + QStringLiteral("/o.zip"), zip));
        QVERIFY(QFile::link(m_strRoot, r + QStringLiteral("loop")));
        QVERIFY(QFile::link(r + QStringLiteral("sub"), r + QStringLiteral("sub/deep/up")));
        QVERIFY(QFile::link(m_strOutside, r + QStringLiteral("l1")));
        QVERIFY(QFile::link(m_strOutside, r + QStringLiteral("sub/l2")));
        QVERIFY(QFile::link(m_strOutside + QStringLiteral("/o.zip"), r + QStringLiteral("sub/out.zip")));
        QVERIFY(QFile::link(QStringLiteral("../b.zip"), r + QStringLiteral("sub/same.zip")));
    }

    void walkFindsArchivesByName()
    {
        CXArchiveList list;
        RecordingHost host;
        Scan(list, host, m_strRoot);

        // Links within the tree are taken (a folder link's target is searched once, by its real path);
        // links out of it are not followed. sub/same.zip is a link to b.zip: the one file is listed once,
        // under the path the walk met first.
        const QStringList paths = Paths(list, m_strRoot);
        const bool bFirst = paths.contains(QStringLiteral("b.zip"));
        const QString first = bFirst ? QStringLiteral("b.zip") : QStringLiteral("sub/same.zip");
        const QString second = bFirst ? QStringLiteral("sub/same.zip") : QStringLiteral("b.zip");
        QStringList expected{QStringLiteral(".hidden/h.zip"),
                             QStringLiteral("A.zip"),
                             first,
                             QStringLiteral("Holiday.part1.rar"),
                             QStringLiteral("Holiday.part2.rar"),
                             QStringLiteral("holiday.party.rar"),
                             QStringLiteral("Holiday.rar"),
                             QStringLiteral("Mum.Party/m.rar"),
                             QStringLiteral("sub/deep/c.zip"),
                             QStringLiteral("TRIP.RAR"),
                             QStringLiteral("Trip.ZIP"),
                             QStringLiteral("Trip.zip/inner.zip")};
        std::sort(expected.begin(), expected.end(),
                  [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
        QCOMPARE(paths, expected);
        QCOMPARE(list.m_nZipCount, 6);
        QCOMPARE(list.m_nRarCount, 6);
        QStringList notTaken = NotTaken(list, m_strRoot);
        notTaken.sort();
        const QString outsideReason = QStringLiteral(": The link leads outside the chosen folder");
        QStringList expectedNotTaken{QStringLiteral("l1") + outsideReason, QStringLiteral("sub/l2") + outsideReason,
                                     QStringLiteral("sub/out.zip") + outsideReason,
                                     second + QStringLiteral(": The same file as ") + m_strRoot + QLatin1Char('/') +
                                         first};
        expectedNotTaken.sort();
        QCOMPARE(notTaken, expectedNotTaken);

        QStringList invalid;
        for (const CXFileItem& item : list.m_arrInvalid) {
            invalid << item.m_strPath.mid(m_strRoot.size() + 1);
            QCOMPARE(item.m_strFileName, QFileInfo(item.m_strPath).fileName());
            QVERIFY(item.m_nError != 0);
        }
        invalid.sort();
        QCOMPARE(invalid, (QStringList{QStringLiteral("bad.rar"), QStringLiteral("bad.zip")}));
        QCOMPARE(Relative(list.m_arrSkipped.toStringList(), m_strRoot), QStringList{QStringLiteral("text.zip")});

        const auto rarIt =
            std::find_if(list.m_arrArchives.cbegin(), list.m_arrArchives.cend(),
                         [](const CXArchiveFile& a) { return a.m_strFileName == QLatin1String("TRIP.RAR"); });
        QVERIFY(rarIt != list.m_arrArchives.cend());
        const CXArchiveFile& rar = *rarIt;
        QCOMPARE(rar.m_nArchiveType, 1);
        QCOMPARE(rar.m_nPhotoCount, 3);
        QCOMPARE(rar.m_nPhotoBytes, quint64(180));
        QCOMPARE(rar.m_strFileName, QStringLiteral("TRIP.RAR"));
        QVERIFY(rar.m_nFileSize > 0);

        // Every folder that holds entries was reported, without a trailing separator.
        const QString r = m_strRoot + QLatin1Char('/');
        QSet<QString> folders{m_strRoot,
                              r + QStringLiteral("Trip.zip"),
                              r + QStringLiteral("sub"),
                              r + QStringLiteral("sub/deep"),
                              r + QStringLiteral(".hidden"),
                              r + QStringLiteral("Mum.Party")};
        QCOMPARE(host.m_setProgress, folders);
        // The status text names each archive that opened, before it is examined.
        QCOMPARE(host.m_arrStatus.size(), list.m_arrArchives.size() + list.m_arrSkipped.size());
        QVERIFY(host.m_arrStatus.contains(QStringLiteral("1:text.zip")));
        QVERIFY(!host.m_arrStatus.contains(QStringLiteral("1:bad.zip")));
        QCOMPARE(host.m_nFinished.load(), 1);
    }

    // Names differing only in case are two files where the file system says so, and two archives then;
    // one file reached by two names (a hard link) is one archive.
    void caseVariantsAndHardLinks()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath(QStringLiteral("t"));
        QVERIFY(WriteFile(root + QStringLiteral("/Trip.zip"), PhotoZip(1)));
        QVERIFY(WriteFile(root + QStringLiteral("/trip.zip"), PhotoZip(2)));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/again")));
        QCOMPARE(::link(QFile::encodeName(root + QStringLiteral("/Trip.zip")).constData(),
                        QFile::encodeName(root + QStringLiteral("/again/copy.zip")).constData()),
                 0);
        const bool twoFiles = QDir(root).entryList(QDir::Files).size() == 2;
        CXArchiveList list;
        RecordingHost host;
        Scan(list, host, root);
        QStringList paths = Paths(list, root);
        const QStringList notTaken = NotTaken(list, root);
        // Either Trip.zip or its hard link comes first, depending on the order of the listing.
        QCOMPARE(notTaken.size(), 1);
        QVERIFY(paths.removeOne(QStringLiteral("Trip.zip")) != paths.removeOne(QStringLiteral("again/copy.zip")));
        QCOMPARE(paths, twoFiles ? QStringList{QStringLiteral("trip.zip")} : QStringList());
        QCOMPARE(list.m_nZipCount, twoFiles ? 2 : 1);
    }

    void trailingSeparatorAndSecondScanGiveTheSameList()
    {
        CXArchiveList first, second;
        RecordingHost h1, h2;
        Scan(first, h1, m_strRoot);
        Scan(second, h2, m_strRoot + QLatin1Char('/'));
        QCOMPARE(second.m_arrArchives, first.m_arrArchives);
        QCOMPARE(second.m_arrInvalid.size(), first.m_arrInvalid.size());
        QCOMPARE(second.m_arrSkipped, first.m_arrSkipped);
        // A second scan into the same model starts from an empty model.
        Scan(second, h2, m_strRoot);
        QCOMPARE(second.m_arrArchives, first.m_arrArchives);
        QCOMPARE(second.m_nZipCount, first.m_nZipCount);
    }

    void missingFolderIsEmpty()
    {
        CXArchiveList list;
        RecordingHost host;
        Scan(list, host, m_dir.filePath(QStringLiteral("nowhere")));
        QVERIFY(list.m_arrArchives.isEmpty());
        QCOMPARE(host.m_nProgress.load(), 0);
        QCOMPARE(host.m_nFinished.load(), 1);
    }

    // The worker stands in its first progress call; a pause set meanwhile holds it at its next check,
    // a resume lets it finish the scan.
    void pauseHoldsTheWorkerAndResumeContinues()
    {
        CXArchiveList list;
        RecordingHost host;
        AttachBlocking(list, host);
        list.SetImagePatterns(BuildImagePatternList(m_settings));
        CXScanRunner runner(list);
        QVERIFY(runner.Start(m_strRoot));
        QVERIFY(host.m_reached.tryAcquire(1, 10000));
        runner.Pause();
        const int before = host.m_nProgress.load();
        host.m_gate.release();
        // Held at the gate: nothing more reaches the window until the resume.
        QVERIFY(runner.WaitUntilParked(10s));
        QCOMPARE(host.m_nProgress.load(), before);
        QVERIFY(runner.IsRunning());
        QVERIFY(list.m_arrArchives.isEmpty());
        runner.Resume();
        QVERIFY(runner.WaitFor(10s));
        QCOMPARE(host.m_nFinished.load(), 1);
        QCOMPARE(list.m_arrArchives.size(), 12);
        QVERIFY(runner.FinishedNormally());
    }

    // A stop while the worker is blocked in a notification returns after its bounded wait; the worker ends
    // at its next check and sends no end notification.
    void stopWhileBlockedEndsWithoutFinishing()
    {
        CXArchiveList list;
        RecordingHost host;
        AttachBlocking(list, host);
        CXScanRunner runner(list);
        QVERIFY(runner.Start(m_strRoot));
        QVERIFY(host.m_reached.tryAcquire(1, 10000));
        runner.Stop(); // returns although the worker cannot end yet
        QVERIFY(runner.IsRunning());
        host.m_gate.release();
        QVERIFY(runner.WaitFor(10s));
        QCOMPARE(host.m_nFinished.load(), 0);
        QCOMPARE(host.m_nProgress.load(), 1);
        QVERIFY(list.m_arrArchives.isEmpty());
        QVERIFY(!runner.FinishedNormally());
    }

    void stopDuringPauseEndsTheWorker()
    {
        CXArchiveList list;
        RecordingHost host;
        AttachBlocking(list, host);
        CXScanRunner runner(list);
        QVERIFY(runner.Start(m_strRoot));
        QVERIFY(host.m_reached.tryAcquire(1, 10000));
        runner.Pause();
        host.m_gate.release();
        runner.Stop();
        QVERIFY(runner.WaitFor(10s));
        QCOMPARE(host.m_nFinished.load(), 0);
        QCOMPARE(host.m_nProgress.load(), 1);
        QVERIFY(!runner.IsPaused());
    }

    // Archives that an earlier run moved to a trash folder are neither found nor unpacked again.
    void trashFoldersAreNotEntered_data()
    {
        QTest::addColumn<QString>("folder"); // below the scanned home folder; a.zip lies in it
        QTest::addColumn<QString>("trash");  // the folder reported as not taken; empty when a.zip is found
        QTest::newRow("the user's trash")
            << QStringLiteral(".local/share/Trash/files") << QStringLiteral(".local/share/Trash");
        QTest::newRow("a volume's trash of one user")
            << QStringLiteral("disk/.Trash-1000/files") << QStringLiteral("disk/.Trash-1000");
        QTest::newRow("a volume's shared trash")
            << QStringLiteral("disk/.Trash/1000/files") << QStringLiteral("disk/.Trash");
        QTest::newRow("Trash elsewhere is a plain folder") << QStringLiteral("disk/Trash") << QString();
        QTest::newRow("other case is a plain folder") << QStringLiteral("disk/.trash") << QString();
        QTest::newRow("no user number") << QStringLiteral("disk/.Trash-") << QString();
        QTest::newRow("no number") << QStringLiteral("disk/.Trash-me") << QString();
    }
    void trashFoldersAreNotEntered()
    {
        QFETCH(QString, folder);
        QFETCH(QString, trash);
        const zelvano::test::IsolatedHome home;
        const QString root = QFileInfo(home.path()).canonicalFilePath();
        QVERIFY(WriteFile(root + QLatin1Char('/') + folder + QStringLiteral("/a.zip"), PhotoZip(1)));
        QVERIFY(WriteFile(root + QStringLiteral("/keep.zip"), PhotoZip(1)));
        CXArchiveList list;
        RecordingHost host;
        Scan(list, host, root);
        if (trash.isEmpty()) {
            QCOMPARE(Paths(list, root), (QStringList{folder + QStringLiteral("/a.zip"), QStringLiteral("keep.zip")}));
            QCOMPARE(NotTaken(list, root), QStringList());
        } else {
            QCOMPARE(Paths(list, root), QStringList{QStringLiteral("keep.zip")});
            QCOMPARE(NotTaken(list, root), QStringList{trash + QStringLiteral(": ") + kTrashReason});
        }
    }

    // A scan chosen inside a trash folder takes nothing from it.
    void chosenFolderInsideTheTrash()
    {
        const zelvano::test::IsolatedHome home;
        const QString files = home.path() + QStringLiteral("/.local/share/Trash/files");
        QVERIFY(WriteFile(files + QStringLiteral("/Album/a.zip"), PhotoZip(1)));
        CXArchiveList list;
        RecordingHost host;
        Scan(list, host, files + QStringLiteral("/Album"));
        QVERIFY(list.m_arrArchives.isEmpty());
        QCOMPARE(list.m_arrNotTaken.size(), 1);
        QCOMPARE(list.m_arrNotTaken.first().m_strPath, files + QStringLiteral("/Album"));
        QCOMPARE(list.m_arrNotTaken.first().m_strReason, kTrashReason);
        QCOMPARE(host.m_nFinished.load(), 1);
    }

    // A pipe named like an archive would block the reader's open until a writer comes: only regular files
    // are opened.
    void nonRegularFilesAreNotOpened()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        QVERIFY(WriteFile(root + QStringLiteral("/good.zip"), PhotoZip(1)));
        const QStringList pipes{root + QStringLiteral("/pipe.zip"), root + QStringLiteral("/pipe.rar")};
        for (const QString& pipe : pipes)
            QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QVERIFY(QFile::link(root + QStringLiteral("/pipe.zip"), root + QStringLiteral("/link.zip")));

        CXArchiveList list;
        RecordingHost host;
        Attach(list, host);
        CXScanRunner runner(list);
        QVERIFY(runner.Start(root));
        const bool finished = runner.WaitFor(10s);
        // Let a blocked reader go, so the failure is reported instead of hanging the test.
        for (int round = 0; round < 100 && !runner.WaitFor(100ms); ++round) {
            for (const QString& pipe : pipes)
                ::close(::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK));
        }
        QVERIFY(finished);
        QCOMPARE(Paths(list, root), QStringList{QStringLiteral("good.zip")});
        QVERIFY(list.m_arrInvalid.isEmpty());
        QStringList notTaken = NotTaken(list, root);
        notTaken.sort();
        const QString reason = QStringLiteral(": It is not a regular file");
        QCOMPARE(notTaken, (QStringList{QStringLiteral("link.zip") + reason, QStringLiteral("pipe.rar") + reason,
                                        QStringLiteral("pipe.zip") + reason}));
    }

    // Qt's directory listing passes over names that are not valid UTF-8; the scan names each such folder
    // and archive instead of losing it without a word.
    void namesThatAreNotUtf8AreListed()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        const QByteArray r = QFile::encodeName(root) + '/';
        const QByteArray zip = PhotoZip(1);
        const auto writeRaw = [&](const QByteArray& path) {
            const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
            return fd >= 0 && ::write(fd, zip.constData(), size_t(zip.size())) == zip.size() && ::close(fd) == 0;
        };
        const auto cleanup = qScopeGuard([&] {
            // QTemporaryDir cannot see these names either.
            ::unlink((r + "\xff\xfe.zip").constData());
            ::unlink((r + "\xff.txt").constData());
            ::unlink((r + "dir\xe9/in.zip").constData());
            ::rmdir((r + "dir\xe9").constData());
        });
        QVERIFY(writeRaw(r + "ok.zip"));
        QVERIFY(writeRaw(r + "\xff\xfe.zip"));
        QVERIFY(writeRaw(r + "\xff.txt"));
        QCOMPARE(::mkdir((r + "dir\xe9").constData(), 0700), 0);
        QVERIFY(writeRaw(r + "dir\xe9/in.zip"));

        CXArchiveList list;
        RecordingHost host;
        Scan(list, host, root);
        QCOMPARE(Paths(list, root), QStringList{QStringLiteral("ok.zip")});
        QStringList notTaken = NotTaken(list, root);
        notTaken.sort();
        const QString reason = QStringLiteral(": The name is not valid UTF-8");
        QStringList expected{QString::fromUtf8("\xff\xfe.zip") + reason, QString::fromUtf8("dir\xe9") + reason};
        expected.sort();
        QCOMPARE(notTaken, expected);
    }

    // The examination of each archive runs beside the walk; what the scan records and reports is what the
    // walk-order examination gives, also when the run stops in any of its notifications.
    void examiningAheadKeepsWalkOrder_data()
    {
        QTest::addColumn<QStringList>("layout"); // "kind path": zip, slow, bad, text, rar, vol, file, dir,
                                                 // "hard TARGET path", "link TARGET path"
        QTest::newRow("slow archive among quick ones") << QStringList{
            QStringLiteral("slow a/big.zip"),    QStringLiteral("zip a/b.zip"),  QStringLiteral("zip a/c.zip"),
            QStringLiteral("bad a/d.zip"),       QStringLiteral("text a/e.zip"), QStringLiteral("file a/f.txt"),
            QStringLiteral("vol a/g.part1.rar"), QStringLiteral("zip a/h.zip"),  QStringLiteral("rar a/i.rar"),
            QStringLiteral("zip a/j.zip"),       QStringLiteral("slow k.zip"),   QStringLiteral("zip l.zip")};
        QTest::newRow("deep folders, each slow") << QStringList{
            QStringLiteral("slow x/1.zip"),      QStringLiteral("zip x/y/2.zip"),   QStringLiteral("slow x/y/z/3.zip"),
            QStringLiteral("file x/y/z/n.txt"),  QStringLiteral("dir x/y/z/empty"), QStringLiteral("rar x/y/z/w/4.rar"),
            QStringLiteral("bad x/y/z/w/5.rar"), QStringLiteral("zip 6.zip")};
        QTest::newRow("links and a hard link behind slow archives")
            << QStringList{QStringLiteral("slow m/big.zip"),
                           QStringLiteral("zip m/one.zip"),
                           QStringLiteral("hard m/one.zip n/again.zip"),
                           QStringLiteral("slow n/big2.zip"),
                           QStringLiteral("link ../../outside.zip n/out.zip"),
                           QStringLiteral("link ../m n/to-m"),
                           QStringLiteral("link gone.zip n/dangling.zip"),
                           QStringLiteral("text n/none.zip")};
    }
    void examiningAheadKeepsWalkOrder()
    {
        QFETCH(QStringList, layout);
        QTemporaryDir dir;
        const QString root = dir.filePath(QStringLiteral("tree"));
        QVERIFY(WriteFile(dir.filePath(QStringLiteral("outside.zip")), PhotoZip(1)));
        for (const QString& line : layout) {
            const QStringList parts = line.split(QLatin1Char(' '));
            const QString kind = parts.first();
            const QString path = root + QLatin1Char('/') + parts.last();
            if (kind == QLatin1String("dir"))
                QVERIFY(QDir().mkpath(path));
            else if (kind == QLatin1String("hard"))
                QCOMPARE(QDir().mkpath(QFileInfo(path).path())
                             ? ::link(QFile::encodeName(root + QLatin1Char('/') + parts.at(1)).constData(),
                                      QFile::encodeName(path).constData())
                             : -1,
                         0);
            else if (kind == QLatin1String("link"))
                QVERIFY(QDir().mkpath(QFileInfo(path).path()) && QFile::link(parts.at(1), path));
            else
                QVERIFY(WriteFile(path, kind == QLatin1String("zip")    ? PhotoZip(2)
                                        : kind == QLatin1String("slow") ? SlowZip()
                                        : kind == QLatin1String("text") ? PhotoZip(0, "readme.txt")
                                        : kind == QLatin1String("rar") || kind == QLatin1String("vol")
                                            ? RarBytes({QStringLiteral("a.jpg")})
                                            : QByteArray("not an archive")));
        }
        // stopAt: the notification (from 1) whose call stops the run; 0 for none.
        const auto scan = [&](bool ahead, int stopAt) {
            CXArchiveList list;
            SequenceHost host;
            list.m_pSettings = &m_settings;
            list.SetImagePatterns(BuildImagePatternList(m_settings));
            list.m_pHost = &host;
            list.m_bExamineAhead = ahead;
            CXRunControl run;
            run.Start();
            host.m_pStop = &run;
            host.m_nStopAt = stopAt;
            list.StartScan(root, run);
            return ScanOutcome::Of(list, host);
        };
        const ScanOutcome inWalk = scan(false, 0);
        QVERIFY(inWalk.archives.size() >= 3);
        QCOMPARE(inWalk.calls.last(), QStringLiteral("finished"));
        CompareOutcomes(scan(true, 0), inWalk);
        for (int stopAt = 1; stopAt <= inWalk.calls.size(); ++stopAt) {
            const ScanOutcome stopped = scan(false, stopAt);
            QCOMPARE(stopped.calls, inWalk.calls.mid(0, stopAt));
            CompareOutcomes(scan(true, stopAt), stopped);
            if (QTest::currentTestFailed())
                return qWarning("stopped in notification %d", stopAt);
        }
    }

    // A pause while the examinations run ahead of the walk holds the worker: no notification reaches the
    // host until the resume, and the scan then ends as it would have without the pause.
    void pauseWhileExaminingAhead()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        for (int i = 0; i < 6; ++i) {
            QVERIFY(WriteFile(root + QStringLiteral("/s%1/big.zip").arg(i), SlowZip()));
            QVERIFY(WriteFile(root + QStringLiteral("/s%1/small.zip").arg(i), PhotoZip(1)));
        }
        const auto attach = [&](CXArchiveList& list, SequenceHost& host) {
            list.m_pSettings = &m_settings;
            list.SetImagePatterns(BuildImagePatternList(m_settings));
            list.m_pHost = &host;
        };
        CXArchiveList reference;
        SequenceHost referenceHost;
        attach(reference, referenceHost);
        CXRunControl run;
        run.Start();
        reference.StartScan(root, run);
        const ScanOutcome expected = ScanOutcome::Of(reference, referenceHost);
        QCOMPARE(expected.archives.size(), 12);

        for (const int holdAt : {2, int(expected.calls.size() / 2)}) {
            CXArchiveList list;
            SequenceHost host;
            attach(list, host);
            host.m_nHoldAt = holdAt;
            CXScanRunner runner(list);
            QVERIFY(runner.Start(root));
            QVERIFY(host.m_reached.tryAcquire(1, 10000));
            runner.Pause();
            host.m_gate.release();
            QVERIFY(runner.WaitUntilParked(10s));
            const qsizetype calls = host.Calls().size();
            QTest::qWait(100);
            QCOMPARE(host.Calls().size(), calls);
            QVERIFY(runner.IsRunning());
            runner.Resume();
            QVERIFY(runner.WaitFor(10s));
            CompareOutcomes(ScanOutcome::Of(list, host), expected);
        }
    }

    void restartAfterAStopScansAgain()
    {
        CXArchiveList list;
        RecordingHost host;
        Attach(list, host);
        CXScanRunner runner(list);
        QVERIFY(runner.Start(m_dir.filePath(QStringLiteral("nowhere"))));
        QVERIFY(runner.WaitFor(10s));
        QVERIFY(runner.Start(m_strRoot));
        QVERIFY(runner.WaitFor(10s));
        QCOMPARE(list.m_arrArchives.size(), 12);
        QCOMPARE(host.m_nFinished.load(), 2);
    }
};

QTEST_GUILESS_MAIN(TestFolderScan)
#include "tst_folderscan.moc"
