// A window that goes away while a worker waits for it: with a host whose calls block until the window
// answers, closing the gate releases the worker at once with the safe answer, and the runners' stop and
// destruction stay bounded. And a run reads the options as they were when it started.
#include "common/runcontrol.h"
#include "scan/archivelist.h"
#include "scan/scanrunner.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "support/testenv.h"
#include "support/zipwriter.h"
#include "unpack/extractfixture.h"
#include "unpack/unpackrun.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <condition_variable>
#include <mutex>

using namespace zelvano::test;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// Every call waits for the window, which never answers until WindowClosing releases it; a released
// question answers Yes, so only the gate can keep the archive.
class BlockingHost : public CXWorkerHost
{
public:
    void ScanProgress(const QString&) override { Block(); }
    void StatusText(int, const QString&) override { Block(); }
    DeleteAnswer ConfirmArchiveDelete(const QString&, bool) override
    {
        Block();
        return DeleteAnswer::YesToAll;
    }
    void ShowDiskSpaceMessage(const QString&) override { Block(); }
    void WindowClosing() override
    {
        std::lock_guard lock(m_mutex);
        m_bReleased = true;
        m_changed.notify_all();
    }

    // Waits until a worker is blocked in a call (at most a minute).
    bool WaitForBlockedCall()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::minutes(1), [this] { return m_nBlocked > 0; });
    }
    int CallsAfterRelease() const
    {
        std::lock_guard lock(m_mutex);
        return m_nAfterRelease;
    }

private:
    void Block()
    {
        std::unique_lock lock(m_mutex);
        if (m_bReleased) {
            ++m_nAfterRelease;
            return;
        }
        ++m_nBlocked;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_bReleased; });
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bReleased = false;
    int m_nBlocked = 0;
    int m_nAfterRelease = 0;
};

// A tree with one photo archive; its list as a scan would fill it.
struct OneArchive
{
    QTemporaryDir dir;
    QString archive;
    CXArchiveList list;
    CXSettings settings;

    OneArchive()
    {
        ZipWriter zip;
        zip.add("x.jpg", Jpeg());
        archive = dir.filePath(S("a.zip"));
        WriteFile(archive, zip.build());
        settings.ResetToDefaults();
        settings.m_nExtractTo = 1;
        CXArchiveFile a;
        a.InitFromPath(archive);
        a.m_nPhotoCount = 1;
        a.m_nSmartMode = 1;
        list.AddArchive(a);
    }
    QList<CXSelItem> Selection() const
    {
        CXSelItem sel;
        return {sel};
    }
};

} // namespace

class TestClosing : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The worker waits in the delete question when the window closes: the run ends at once, the
    // question counts as No, and nothing more reaches the window.
    void unpackReleasedByClosing_data()
    {
        QTest::addColumn<bool>("destroy"); // destroy the run instead of closing its host
        QTest::newRow("closing the host") << false;
        QTest::newRow("destroying the run") << true;
    }
    void unpackReleasedByClosing()
    {
        QFETCH(bool, destroy);
        OneArchive tree;
        tree.settings.m_nAfterExtraction = 1;
        tree.settings.m_nWhenToDelete = 0;
        tree.settings.m_bConfirmDelete = 1;
        BlockingHost host;
        QElapsedTimer timer;
        {
            CXUnpackRun run(tree.list, tree.settings, host);
            QCOMPARE(run.Start(tree.Selection(), tree.dir.path()), UnpackStart::Started);
            QVERIFY(host.WaitForBlockedCall());
            timer.start();
            if (!destroy)
                QVERIFY(run.CloseHost());
        }
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(QFileInfo::exists(tree.archive));
        QCOMPARE(host.CallsAfterRelease(), 0);
    }

    // The scan waits in a progress call when the window closes: its stop returns at once.
    void scanReleasedByClosing()
    {
        OneArchive tree;
        BlockingHost host;
        CXArchiveList model;
        model.m_pHost = &host;
        model.m_pSettings = &tree.settings;
        model.SetImagePatterns(BuildImagePatternList(tree.settings));
        QElapsedTimer timer;
        {
            CXScanRunner runner(model);
            QVERIFY(runner.StartScanThread(tree.dir.path()));
            QVERIFY(host.WaitForBlockedCall());
            timer.start();
            runner.CloseHost();
            QVERIFY(runner.WaitFor(std::chrono::seconds(5)));
        }
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(host.CallsAfterRelease(), 0);
        QCOMPARE(model.m_pHost, &host); // the model has its own host back
    }

    // Options changed in the window while a run goes on do not reach the worker.
    void runReadsOptionsOfItsStart()
    {
        OneArchive tree;
        tree.settings.m_nAfterExtraction = 0; // keep every archive
        RecordingHost host;
        // The window changes its record while the worker extracts.
        host.m_onStatus = [&](const QString&) {
            tree.settings.m_nAfterExtraction = 1;
            tree.settings.m_nWhenToDelete = 0;
            tree.settings.m_bConfirmDelete = 0;
        };
        CXUnpackRun run(tree.list, tree.settings, host);
        QCOMPARE(run.Start(tree.Selection(), tree.dir.path()), UnpackStart::Started);
        run.Wait();
        QCOMPARE(tree.settings.m_nAfterExtraction, 1);
        QVERIFY(QFileInfo::exists(tree.archive));
        QVERIFY(QFileInfo::exists(tree.dir.filePath(S("x.jpg"))));
        QCOMPARE(run.Options().m_nAfterExtraction, 0);
    }
};

QTEST_GUILESS_MAIN(TestClosing)
#include "tst_closing.moc"
