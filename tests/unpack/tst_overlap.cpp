// Runs at level 3 where an archive's last picture tests are still running while the next archive is
// extracted: what the host is told, the figures, the deletions and the files must be those of a run that
// takes the archives one after the other. A picture test is held until the next archive's first test has
// started, so the overlap really happens.
#include "common/runcontrol.h"
#include "scan/archivelist.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "support/testenv.h"
#include "support/zipwriter.h"
#include "unpack/checkpool.h"
#include "unpack/extractfixture.h"
#include "unpack/imagecheck.h"
#include "unpack/keep.h"
#include "unpack/tempfiles.h"
#include "unpack/unpackrun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <condition_variable>
#include <mutex>

using namespace zelvano::test;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// Every call the run makes, in order.
class LogHost : public CXWorkerHost
{
public:
    void StatusText(int line, const QString& text) override
    {
        Log(QStringLiteral("text%1:%2").arg(line).arg(text));
        if (m_onText)
            m_onText(line, text);
    }
    void StatusState(int state) override { Log(QStringLiteral("state:%1").arg(state)); }
    void UnpackFinished() override { Log(S("finished")); }
    void EnsureArchiveVisible(int index) override { Log(QStringLiteral("visible:%1").arg(index)); }
    void RemoveArchiveRow(int index) override { Log(QStringLiteral("remove:%1").arg(index)); }
    void UncheckArchiveRow(int index) override { Log(QStringLiteral("uncheck:%1").arg(index)); }
    void RequestStop() override { Log(S("stop")); }
    void StepProgress() override { Log(S("step")); }
    DeleteAnswer ConfirmArchiveDelete(const QString& fileName, bool) override
    {
        Log(S("question:") + fileName);
        return DeleteAnswer::YesToAll;
    }
    void ShowDiskSpaceMessage(const QString& text) override { Log(S("space:") + text); }

    void Log(const QString& s)
    {
        std::lock_guard lock(m_mutex);
        m_log << s;
    }
    std::function<void(int, const QString&)> m_onText;

    QStringList Events() const
    {
        std::lock_guard lock(m_mutex);
        return m_log;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_log;
};

// Holds the last picture test of each archive named in holding until a test of the next archive has
// begun (or a few seconds have passed: then the overlap did not happen, which the test reports).
class HeldChecks
{
public:
    HeldChecks(const QStringList& order, const QString& holding, int perArchive)
        : m_order(order), m_holding(holding), m_nPerArchive(perArchive)
    {}

    // The archive a test belongs to: its pictures go into a folder named after it, or it is named by
    // the file's folder when the tree holds one archive per folder.
    bool Check(const QString& path)
    {
        const QString folder = QFileInfo(path).dir().dirName();
        const qsizetype index = m_order.indexOf(folder);
        bool hold = false;
        {
            std::lock_guard lock(m_mutex);
            m_started[folder] += 1;
            hold = index >= 0 && index + 1 < m_order.size() && m_holding.contains(folder.at(0)) &&
                   m_started[folder] == m_nPerArchive;
            if (m_onStart)
                m_onStart(folder, m_started[folder]);
        }
        m_changed.notify_all();
        if (hold) {
            const QString next = m_order.at(index + 1);
            std::unique_lock lock(m_mutex);
            const bool overlapped =
                m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_started.value(next) > 0; });
            if (overlapped)
                m_overlapped << folder;
        }
        return LoadsAsPicture(path);
    }
    QStringList Overlapped() const
    {
        std::lock_guard lock(m_mutex);
        QStringList out = m_overlapped;
        out.sort();
        return out;
    }
    // Called (under the lock) when a test starts: the folder and how many of its tests have started.
    std::function<void(const QString&, int)> m_onStart;

private:
    QStringList m_order;
    QString m_holding;
    int m_nPerArchive;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QHash<QString, int> m_started;
    QStringList m_overlapped;
};

struct Outcome
{
    QStringList m_log;
    QList<CXSelItem> m_selection;
    QList<CXArchiveFile> m_archives;
    QStringList m_overlapped;
    UnpackEnd m_end = UnpackEnd::None;
};

// Scans root and unpacks every archive found. checks, when given, is the level-3 picture test.
Outcome Unpack(const QString& root, const CXSettings& settings, HeldChecks* checks,
               const std::function<void(CXUnpackRun&)>& beforeStart = {},
               const std::function<void(int, const QString&)>& onText = {})
{
    CXArchiveList list;
    const QList<CXSelItem> selection = ScanAndSelectAll(list, root, settings);
    LogHost host;
    host.m_onText = onText;
    CXUnpackRun run(list, settings, host);
    // Two test threads whatever the machine: one held, one free for the next archive.
    run.Context().m_pChecks = std::make_shared<CXCheckPool>(2);
    if (checks)
        run.Context().m_pictureCheck = [checks](const QString& path) { return checks->Check(path); };
    if (beforeStart)
        beforeStart(run);
    Outcome out;
    if (run.Start(selection, root) != UnpackStart::Started)
        return out;
    run.Wait();
    out.m_log = host.Events().replaceInStrings(root, S("ROOT"));
    out.m_selection = run.Selection();
    out.m_archives = list.m_arrArchives;
    out.m_end = run.End();
    if (checks)
        out.m_overlapped = checks->Overlapped();
    return out;
}

CXSettings Options(int level, int extractTo, int after, int when)
{
    CXSettings settings;
    settings.ResetToDefaults();
    settings.m_nValidationLevel = level;
    settings.m_nExtractTo = extractTo;
    settings.m_bRenameFolder = 0;
    settings.m_nAfterExtraction = after;
    settings.m_nWhenToDelete = when;
    settings.m_bConfirmDelete = 1;
    return settings;
}

// Archives a.zip, b.zip, c.zip, each with three distinct pictures.
void WriteTree(const QString& root)
{
    int seed = 0;
    for (const char* name : {"a", "b", "c"}) {
        ZipWriter zip;
        for (int i = 1; i <= 3; ++i)
            zip.add(QByteArray(name) + QByteArray::number(i) + ".jpg", Jpeg(40 + ++seed, 30));
        QVERIFY(WriteFile(root + QLatin1Char('/') + S(name) + S(".zip"), zip.build()));
    }
}

} // namespace

class TestOverlap : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { m_home = std::make_unique<IsolatedHome>(); }
    void cleanup() { m_home.reset(); }

    // The host hears the same calls in the same order as in a run without overlap (level 2, no picture
    // tests), and the same archives go.
    void hostSeesArchivesInOrder_data()
    {
        QTest::addColumn<int>("after");
        QTest::addColumn<int>("when");
        QTest::addColumn<QString>("holding");      // the archives whose last test waits for the next archive
        QTest::addColumn<QStringList>("archives"); // left afterwards

        QTest::newRow("nothing deleted") << int(AfterDoNothing) << int(DeleteAfterAll) << S("ab")
                                         << QStringList{S("a.zip"), S("b.zip"), S("c.zip")};
        QTest::newRow("deleted at the end") << int(AfterDeletePermanently) << int(DeleteAfterAll) << S("ab")
                                            << QStringList{S("a.zip"), S("b.zip"), S("c.zip")};
        // The first archive's question is answered before anything of the next one; Yes to All lets the
        // later archives overlap, each deleted as soon as its own tests are done.
        QTest::newRow("deleted after each, Yes to All")
            << int(AfterDeletePermanently) << int(DeleteAfterEach) << S("b") << QStringList();
    }
    void hostSeesArchivesInOrder()
    {
        QFETCH(int, after);
        QFETCH(int, when);
        QFETCH(QString, holding);
        QFETCH(QStringList, archives);

        Outcome outcomes[2];
        for (const int level : {ValidateSize, ValidateLoads}) {
            QTemporaryDir dir;
            const QString root = dir.filePath(S("tree"));
            WriteTree(root);
            HeldChecks checks({S("a"), S("b"), S("c")}, holding, 3);
            Outcome& out = outcomes[level == ValidateLoads];
            out =
                Unpack(root, Options(level, ExtractToFolder, after, when), level == ValidateLoads ? &checks : nullptr);
            QCOMPARE(out.m_end, UnpackEnd::Finished);
            QStringList left;
            for (const QString& rel : TreeOf(root)) {
                if (rel.endsWith(S(".zip")))
                    left << rel;
                else if (!QFileInfo(root + QLatin1Char('/') + rel).isDir())
                    QVERIFY2(rel.contains(QLatin1Char('/')), qPrintable(rel));
            }
            QCOMPARE(left, archives);
            for (const CXArchiveFile& archive : out.m_archives) {
                QCOMPARE(archive.m_nExtracted, 3);
                QCOMPARE(archive.m_nErrors, 0);
            }
            for (const CXSelItem& sel : out.m_selection) {
                QVERIFY(sel.m_bExtracted);
                QCOMPARE(sel.m_arrOnDisk.size(), 3);
            }
        }
        QCOMPARE(outcomes[1].m_log, outcomes[0].m_log);
        QStringList expected;
        for (const QChar c : holding)
            expected << QString(c);
        QCOMPARE(outcomes[1].m_overlapped, expected);
    }

    // A stop while the next archive is extracted and the previous one still waits for a test: the
    // earlier archive keeps its figures but is neither deleted nor unchecked, as when the stop comes
    // within the archive.
    void stopWhileAnArchiveWaitsForItsTests()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath(S("tree"));
        WriteTree(root);
        HeldChecks checks({S("a"), S("b"), S("c")}, S("a"), 3);
        CXRunControl* control = nullptr;
        checks.m_onStart = [&](const QString& folder, int) {
            if (folder == S("b") && control)
                control->Stop();
        };
        CXSettings settings = Options(ValidateLoads, ExtractToFolder, AfterDeletePermanently, DeleteAfterEach);
        settings.m_bConfirmDelete = 0;
        const Outcome out = Unpack(root, settings, &checks, [&](CXUnpackRun& run) { control = &run.RunControl(); });

        QCOMPARE(out.m_end, UnpackEnd::Stopped);
        QCOMPARE(out.m_overlapped, QStringList{S("a")});
        QVERIFY(!out.m_log.contains(S("finished")));
        QVERIFY(!out.m_log.contains(S("step")));
        QVERIFY(!out.m_log.contains(S("uncheck:0")));
        QVERIFY(QFileInfo::exists(root + S("/a.zip")));
        QCOMPARE(out.m_archives.at(0).m_nExtracted, 3);
        QVERIFY(out.m_selection.at(0).m_bProcessed);
        QVERIFY(!out.m_selection.at(0).m_bDeleted);
        QCOMPARE(out.m_selection.at(0).m_strKept, zelvano::kept::Stopped());
        // The stop may come before or after the next archive's last entry, but never lets it go.
        QVERIFY(QFileInfo::exists(root + S("/b.zip")));
        QVERIFY(!out.m_log.contains(S("uncheck:1")));
        QCOMPARE(TempFilesIn(root + S("/a")), QStringList());
        QCOMPARE(TempFilesIn(root + S("/b")), QStringList());
    }

    // Two archives write the same path: the later one's entry waits for the earlier one's test, then
    // is a verified duplicate when the bytes agree, and fails when they differ; the earlier picture stays.
    void samePathAcrossArchives_data()
    {
        QTest::addColumn<bool>("same");
        QTest::newRow("same picture") << true;
        QTest::newRow("different picture") << false;
    }
    void samePathAcrossArchives()
    {
        QFETCH(bool, same);
        QTemporaryDir dir;
        const QString root = dir.filePath(S("tree"));
        const QByteArray first = Jpeg(50, 40);
        const QByteArray second = same ? first : Jpeg(60, 40);
        ZipWriter a;
        a.add("x.jpg", first);
        ZipWriter b;
        b.add("y.jpg", Jpeg(70, 40));
        b.add("x.jpg", second);
        QVERIFY(WriteFile(root + S("/a.zip"), a.build()));
        QVERIFY(WriteFile(root + S("/b.zip"), b.build()));

        // Both archives put their pictures into the tree's own folder; the tests come in entry order.
        std::mutex mutex;
        std::condition_variable changed;
        int started = 0;
        bool overlapped = false;
        const Outcome out = Unpack(
            root, Options(ValidateLoads, ExtractHere, AfterDoNothing, DeleteAfterAll), nullptr, [&](CXUnpackRun& run) {
                run.Context().m_pictureCheck = [&](const QString& path) {
                    std::unique_lock lock(mutex);
                    const int n = ++started;
                    changed.notify_all();
                    // a's x.jpg waits until b's y.jpg is being tested.
                    if (n == 1)
                        overlapped = changed.wait_for(lock, std::chrono::seconds(5), [&] { return started > 1; });
                    lock.unlock();
                    return LoadsAsPicture(path);
                };
            });
        QVERIFY(overlapped);
        QCOMPARE(ReadFile(root + S("/x.jpg")), first);
        QCOMPARE(out.m_archives.at(0).m_nExtracted, 1);
        const CXArchiveFile& later = out.m_archives.at(1);
        if (same) {
            QCOMPARE(later.m_nSkipped, 1);
            QCOMPARE(later.m_nErrors, 0);
            QVERIFY(out.m_selection.at(1).m_bExtracted);
        } else {
            QCOMPARE(later.m_nErrors, 1);
            QCOMPARE(later.m_arrFailedItems.at(0).m_strReason,
                     S("A different picture with this name was already written in this run (a.zip: x.jpg)"));
            QVERIFY(!out.m_selection.at(1).m_bExtracted);
        }
        QCOMPARE(TempFilesIn(root), QStringList());
    }

    // Below level 3 the next archive is extracted ahead while the current one is unpacked. An archive
    // replaced after that is read again: what was extracted from the old file is never used.
    void replacedArchiveIsReadAgain()
    {
        if (std::thread::hardware_concurrency() < 2)
            QSKIP("the extraction ahead needs a second core");
        QTemporaryDir dir;
        const QString root = dir.filePath(S("tree"));
        ZipWriter a;
        a.add("a1.jpg", Jpeg(40, 30));
        ZipWriter before;
        ZipWriter after;
        for (int i = 0; i < 3; ++i) {
            // Same names and sizes of the listing would not do: the pictures differ in their bytes.
            before.add(QByteArray("b") + QByteArray::number(i) + ".jpg", Jpeg(50 + i, 30));
            after.add(QByteArray("b") + QByteArray::number(i) + ".jpg", Jpeg(60 + i, 30));
        }
        QVERIFY(WriteFile(root + S("/a.zip"), a.build()));
        QVERIFY(WriteFile(root + S("/b.zip"), before.build()));
        const QString replacement = dir.filePath(S("b-new.zip"));
        QVERIFY(WriteFile(replacement, after.build()));

        bool replaced = false;
        const auto onText = [&](int line, const QString& text) {
            if (replaced || line != 1 || text != S("a1.jpg"))
                return;
            // Wait until the old b.zip's pictures lie extracted ahead, then put the new one in its place.
            QElapsedTimer timer;
            timer.start();
            while (TempFilesIn(root).size() < 3 && timer.elapsed() < 5000)
                QThread::msleep(5);
            replaced = QFile::remove(root + S("/b.zip")) && QFile::rename(replacement, root + S("/b.zip"));
        };
        const Outcome out =
            Unpack(root, Options(ValidateSize, ExtractToFolder, AfterDoNothing, DeleteAfterAll), nullptr, {}, onText);
        QVERIFY(replaced);
        QCOMPARE(out.m_end, UnpackEnd::Finished);
        for (int i = 0; i < 3; ++i) {
            const QString name = QStringLiteral("b%1.jpg").arg(i);
            QCOMPARE(ReadFile(root + S("/b/") + name), Jpeg(60 + i, 30));
        }
        QCOMPARE(TempFilesIn(root), QStringList());
    }

private:
    std::unique_ptr<IsolatedHome> m_home;
};

QTEST_GUILESS_MAIN(TestOverlap)
#include "tst_overlap.moc"
