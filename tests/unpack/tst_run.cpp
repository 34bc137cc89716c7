// The unpack run's decisions per archive, with the extraction, the questions and the deletion played
// by fakes: what is asked, what is deleted, which rows go or are unchecked, how a run ends.
#include "platform/diskspace.h"
#include "scan/archivelist.h"
#include "settings/settings.h"
#include "unpack/unpackrun.h"

#include <chrono>
#include <mutex>
#include <QSemaphore>
#include <QtTest>

namespace {

// Records what the worker tells the window.
class FakeHost : public CXWorkerHost
{
public:
    DeleteAnswer ConfirmArchiveDelete(const QString&, bool) override { return DeleteAnswer::No; }
    void ShowDiskSpaceMessage(const QString& text) override { Log(QStringLiteral("space:") + text); }
    void RemoveArchiveRow(int index) override { Log(QStringLiteral("remove:%1").arg(index)); }
    void UncheckArchiveRow(int index) override { Log(QStringLiteral("uncheck:%1").arg(index)); }
    void RequestStop() override { Log(QStringLiteral("stop")); }
    void UnpackFinished() override { Log(QStringLiteral("finished")); }
    void StepProgress() override { Log(QStringLiteral("step")); }

    void Log(const QString& s)
    {
        std::lock_guard lock(m_mutex);
        m_log << s;
    }
    // The logged events that start with prefix, without it, joined by ",".
    QString Events(const QString& prefix) const
    {
        std::lock_guard lock(m_mutex);
        QStringList out;
        for (const QString& s : m_log) {
            if (s.startsWith(prefix))
                out << s.mid(prefix.size());
        }
        return out.join(QLatin1Char(','));
    }
    bool Has(const QString& event) const
    {
        std::lock_guard lock(m_mutex);
        return m_log.contains(event);
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_log;
};

// What the fake extraction does with each archive.
enum Extraction
{
    Ok = 0,
    FailedEntry = 1,
    DidNotOpen = 2
};

struct Fixture
{
    QTemporaryDir dir;
    CXArchiveList list;
    CXSettings settings;
    FakeHost host;
    QList<int> extraction;       // per archive index
    QList<DeleteAnswer> answers; // the user's answers, in order
    QList<bool> deleteWorks;     // per archive index
    QStringList asked;           // "name+" when more follow, "name-" otherwise
    QStringList deleted;         // "index" or "index:trash"
    quint64 freeBytes = quint64(1) << 40;
    int diskQueries = 0;

    explicit Fixture(int archives)
    {
        settings.ResetToDefaults();
        const QStringList names{QStringLiteral("a.zip"), QStringLiteral("b.zip"), QStringLiteral("c.rar"),
                                QStringLiteral("d.zip")};
        for (int i = 0; i < archives; ++i) {
            CXArchiveFile a;
            a.m_strFileName = names.at(i);
            a.m_strFolder = dir.path() + QLatin1Char('/');
            a.m_strPath = a.m_strFolder + a.m_strFileName;
            QFile file(a.m_strPath);
            if (file.open(QIODevice::WriteOnly))
                file.write("archive");
            a.m_nPhotoCount = 3;
            a.m_nPhotoBytes = 1000;
            list.AddArchive(a);
            extraction << Ok;
            deleteWorks << true;
        }
        zelvano::platform::SetDiskSpaceQuery([this](const QString&) {
            ++diskQueries;
            zelvano::platform::DiskSpace d;
            d.m_bValid = true;
            d.m_nFree = freeBytes;
            d.m_strRoot = QStringLiteral("/fake");
            return d;
        });
    }
    ~Fixture() { zelvano::platform::SetDiskSpaceQuery({}); }

    int IndexOf(const QString& path) const
    {
        for (int i = 0; i < list.m_arrArchives.size(); ++i) {
            if (list.m_arrArchives.at(i).m_strPath == path)
                return i;
        }
        return -1;
    }

    bool Extract(CXArchiveFile& a)
    {
        const int what = extraction.value(IndexOf(a.m_strPath));
        a.m_nExtracted = what == Ok ? a.m_nPhotoCount : 0;
        a.m_nErrors = what == FailedEntry ? 1 : 0;
        if (what == FailedEntry) {
            CXArchiveItem item;
            item.m_strPath = a.m_strFolder + QStringLiteral("x.jpg");
            item.m_bLoads = 0;
            a.m_arrFailedItems << item;
        }
        return what == Ok;
    }

    UnpackOperations Ops()
    {
        UnpackOperations ops;
        ops.extractZip = [this](CXUnpackContext&, CXArchiveFile& a) { return Extract(a); };
        ops.extractRar = ops.extractZip;
        ops.confirmDelete = [this](CXUnpackContext&, const QString& name, bool more) {
            asked << name + (more ? QStringLiteral("+") : QStringLiteral("-"));
            return answers.isEmpty() ? DeleteAnswer::No : answers.takeFirst();
        };
        ops.deleteArchive = [this](const QString& path, bool recycle) {
            const int i = IndexOf(path);
            deleted << QString::number(i) + (recycle ? QStringLiteral(":trash") : QString());
            return deleteWorks.value(i);
        };
        ops.deleteArchives = [](const QStringList&, bool) { return false; };
        return ops;
    }

    QList<CXSelItem> SelectAll() const
    {
        QList<CXSelItem> sel;
        for (int i = 0; i < list.m_arrArchives.size(); ++i) {
            CXSelItem item;
            item.m_nArchive = i;
            item.m_nRow = i;
            sel.append(item);
        }
        return sel;
    }
};

QString Join(const QList<qint32>& values)
{
    QStringList s;
    for (qint32 v : values)
        s << QString::number(v);
    return s.join(QLatin1Char(','));
}

} // namespace

class TestUnpackRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decisions_data()
    {
        QTest::addColumn<int>("afterExtraction");
        QTest::addColumn<int>("whenToDelete");
        QTest::addColumn<QList<int>>("extraction");
        QTest::addColumn<QList<DeleteAnswer>>("answers");
        QTest::addColumn<QList<bool>>("deleteWorks");
        QTest::addColumn<quint64>("freeBytes");
        // Expected:
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("deleted");
        QTest::addColumn<QString>("rowsRemoved");
        QTest::addColumn<QString>("rowsUnchecked");
        QTest::addColumn<QString>("errors"); // per archive, after the run
        QTest::addColumn<int>("processed");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("diskQueries");

        using A = DeleteAnswer;
        const QList<int> allOk{Ok, Ok, Ok};
        const QList<bool> works{true, true, true};
        const quint64 plenty = quint64(1) << 40;
        const int finished = int(UnpackEnd::Finished);

        QTest::newRow("do nothing: no question, no deletion, every row unchecked")
            << 0 << 0 << allOk << QList<A>{} << works << plenty << ""
            << ""
            << ""
            << "0,1,2"
            << "0,0,0" << 3 << finished << 1;
        QTest::newRow("after all: the worker itself deletes nothing")
            << 1 << 1 << allOk << QList<A>{} << works << plenty << ""
            << ""
            << ""
            << "0,1,2"
            << "0,0,0" << 3 << finished << 1;
        QTest::newRow("each: Yes deletes that archive only; the last is asked without more to follow")
            << 1 << 0 << allOk << QList<A>{A::Yes, A::No, A::No} << works << plenty << "a.zip+,b.zip+,c.rar-"
            << "0"
            << "0"
            << "1,2"
            << "0,0,0" << 3 << finished << 0;
        QTest::newRow("each, trash: the deletion goes to the trash")
            << 2 << 0 << allOk << QList<A>{A::No, A::Yes, A::No} << works << plenty << "a.zip+,b.zip+,c.rar-"
            << "1:trash"
            << "1"
            << "0,2"
            << "0,0,0" << 3 << finished << 0;
        QTest::newRow("Yes to All deletes the rest without asking")
            << 1 << 0 << allOk << QList<A>{A::No, A::YesToAll} << works << plenty << "a.zip+,b.zip+"
            << "1,2"
            << "1,2"
            << "0"
            << "0,0,0" << 3 << finished << 0;
        QTest::newRow("No to All keeps the rest and checks the space after each")
            << 1 << 0 << allOk << QList<A>{A::NoToAll} << works << plenty << "a.zip+"
            << ""
            << ""
            << "0,1,2"
            << "0,0,0" << 3 << finished << 3;
        QTest::newRow("No to All with too little space ends the run at once")
            << 1 << 0 << allOk << QList<A>{A::NoToAll} << works << quint64(10) << "a.zip+"
            << ""
            << ""
            << ""
            << "0,0,0" << 1 << int(UnpackEnd::OutOfSpace) << 1;
        QTest::newRow("Cancel ends the run at once, nothing deleted")
            << 1 << 0 << allOk << QList<A>{A::Yes, A::Cancel} << works << plenty << "a.zip+,b.zip+"
            << "0"
            << "0"
            << ""
            << "0,0,0" << 2 << int(UnpackEnd::Cancelled) << 0;
        QTest::newRow("an archive with a failed entry is neither asked about nor deleted")
            << 1 << 0 << QList<int>{Ok, FailedEntry, Ok} << QList<A>{A::Yes, A::Yes} << works << plenty
            << "a.zip+,c.rar-"
            << "0,2"
            << "0,2"
            << "1"
            << "0,1,0" << 3 << finished << 0;
        QTest::newRow("an archive that did not open is never deleted, even after Yes to All")
            << 1 << 0 << QList<int>{Ok, DidNotOpen, Ok} << QList<A>{A::YesToAll} << works << plenty << "a.zip+"
            << "0,2"
            << "0,2"
            << "1"
            << "0,1,0" << 3 << finished << 0;
        QTest::newRow("a deletion that fails keeps the row and counts as an error")
            << 2 << 0 << allOk << QList<A>{A::YesToAll} << QList<bool>{true, false, true} << plenty << "a.zip+"
            << "0:trash,1:trash,2:trash"
            << "0,2"
            << "1"
            << "0,1,0" << 3 << finished << 0;
    }
    void decisions()
    {
        QFETCH(int, afterExtraction);
        QFETCH(int, whenToDelete);
        QFETCH(QList<int>, extraction);
        QFETCH(QList<DeleteAnswer>, answers);
        QFETCH(QList<bool>, deleteWorks);
        QFETCH(quint64, freeBytes);

        Fixture f(3);
        f.settings.m_nAfterExtraction = afterExtraction;
        f.settings.m_nWhenToDelete = whenToDelete;
        f.extraction = extraction;
        f.answers = answers;
        f.deleteWorks = deleteWorks;
        f.freeBytes = freeBytes;

        CXUnpackRun run(f.list, f.settings, f.host, f.Ops());
        QCOMPARE(run.Start(f.SelectAll(), QStringLiteral("/photos")), UnpackStart::Started);
        run.Wait();

        QTEST(f.asked.join(QLatin1Char(',')), "asked");
        QTEST(f.deleted.join(QLatin1Char(',')), "deleted");
        QTEST(f.host.Events(QStringLiteral("remove:")), "rowsRemoved");
        QTEST(f.host.Events(QStringLiteral("uncheck:")), "rowsUnchecked");
        QList<qint32> errors;
        for (const CXArchiveFile& a : f.list.m_arrArchives)
            errors << a.m_nErrors;
        QTEST(Join(errors), "errors");
        QTEST(run.ArchivesProcessed(), "processed");
        QTEST(int(run.End()), "end");
        QTEST(f.diskQueries, "diskQueries");

        // Removed in the model exactly when gone from disk; a run ended by the worker asks the window to
        // stop without a question and never reports a normal end.
        for (int i = 0; i < f.list.m_arrArchives.size(); ++i) {
            const CXSelItem& sel = run.Selection().at(i);
            QCOMPARE(f.list.m_arrArchives.at(i).m_bRemoved != 0, sel.m_bDeleted);
            if (sel.m_bDeleteFailed)
                QVERIFY(f.list.m_arrArchives.at(i).m_arrFailedItems.last().m_strReason.contains(
                    QStringLiteral("could not be")));
        }
        const bool endedByWorker = run.End() == UnpackEnd::Cancelled || run.End() == UnpackEnd::OutOfSpace;
        QCOMPARE(run.StopWithoutAsking(), endedByWorker);
        QCOMPARE(f.host.Has(QStringLiteral("stop")), endedByWorker);
        QCOMPARE(f.host.Has(QStringLiteral("finished")), run.End() == UnpackEnd::Finished);
        QCOMPARE(run.CurrentArchive(), QString());
    }

    // The free-space check before a run: made only when the space does not come back during the run.
    void diskSpaceAtStart_data()
    {
        QTest::addColumn<int>("afterExtraction");
        QTest::addColumn<int>("whenToDelete");
        QTest::addColumn<quint64>("freeBytes");
        QTest::addColumn<bool>("started");
        QTest::addColumn<int>("diskQueries");

        QTest::newRow("do nothing, too little space: refused") << 0 << 0 << quint64(2999) << false << 1;
        QTest::newRow("do nothing, exactly enough: started") << 0 << 0 << quint64(3000) << true << 1;
        QTest::newRow("permanent at the end, too little: refused") << 1 << 1 << quint64(10) << false << 1;
        QTest::newRow("permanent after each: no check") << 1 << 0 << quint64(0) << true << 0;
        QTest::newRow("trash at the end: no check") << 2 << 1 << quint64(0) << true << 0;
        QTest::newRow("trash after each: no check") << 2 << 0 << quint64(0) << true << 0;
    }
    void diskSpaceAtStart()
    {
        QFETCH(int, afterExtraction);
        QFETCH(int, whenToDelete);
        QFETCH(quint64, freeBytes);
        QFETCH(bool, started);

        Fixture f(3);
        f.settings.m_nAfterExtraction = afterExtraction;
        f.settings.m_nWhenToDelete = whenToDelete;
        f.settings.m_bConfirmDelete = 1;
        f.freeBytes = freeBytes;
        bool extracted = false;
        UnpackOperations ops = f.Ops();
        ops.extractZip = [&](CXUnpackContext&, CXArchiveFile&) { return extracted = true; };
        ops.extractRar = ops.extractZip;

        CXUnpackRun run(f.list, f.settings, f.host, ops);
        const UnpackStart result = run.Start(f.SelectAll(), QStringLiteral("/photos"));
        run.Wait();
        QCOMPARE(result == UnpackStart::Started, started);
        QCOMPARE(extracted, started);
        QTEST(f.diskQueries, "diskQueries");
        if (!started) {
            QCOMPARE(f.host.Events(QStringLiteral("space:")),
                     QStringLiteral("There's not enough disk space available on Volume (/fake) to continue.\n\n"
                                    "Unpacking selected archives requires around 2.92 KB of Free Disk Space and "
                                    "there's only %1 available.")
                         .arg(freeBytes == 10 ? QStringLiteral("10 bytes") : QStringLiteral("2.92 KB")));
            QCOMPARE(run.End(), UnpackEnd::None);
        }
    }

    // A volume that cannot be queried has no free space.
    void unknownVolumeHasNoSpace()
    {
        zelvano::platform::SetDiskSpaceQuery({});
        FakeHost host;
        QVERIFY(!CheckDiskSpace(1, QString(), true, &host));
        QVERIFY(host.Events(QStringLiteral("space:")).contains(QStringLiteral("there's only 0 bytes available")));
        QVERIFY(CheckDiskSpace(0, QString(), true, &host));
        QVERIFY(CheckDiskSpace(1, QDir::tempPath(), false, &host));
    }

    // Pause inside an archive's extraction holds the worker at its next look at the run flag; Resume
    // continues in the same entry, Stop ends the run there: the interrupted archive keeps its figures and
    // its checked row, the ones after it are untouched.
    void pauseThenResumeOrStop_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("resume continues in the same entry") << false;
        QTest::newRow("stop while paused ends the run after that entry") << true;
    }
    void pauseThenResumeOrStop()
    {
        QFETCH(bool, stop);
        Fixture f(3);
        QSemaphore inEntry, mayGoOn;
        QString entryLog;
        bool firstRun = true;
        UnpackOperations ops = f.Ops();
        ops.extractZip = [&](CXUnpackContext& ctx, CXArchiveFile& a) {
            if (!firstRun || a.m_strFileName != QLatin1String("b.zip"))
                return f.Extract(a);
            a.m_nExtracted = 1; // the first entry is written
            inEntry.release();
            mayGoOn.acquire();
            // Between two data chunks of the second entry.
            const bool goOn = ctx.m_pRun->Check();
            entryLog += goOn ? QStringLiteral("chunk2") : QStringLiteral("stopped");
            if (goOn)
                a.m_nExtracted = 2;
            return true;
        };

        CXUnpackRun run(f.list, f.settings, f.host, ops);
        QCOMPARE(run.Start(f.SelectAll(), QStringLiteral("/photos")), UnpackStart::Started);
        inEntry.acquire();
        run.Pause();
        QVERIFY(run.IsPaused());
        QCOMPARE(run.CurrentArchive(), f.dir.path() + QStringLiteral("/b.zip"));
        mayGoOn.release();
        // Held at the gate between the two chunks until the resume or the stop.
        QVERIFY(run.RunControl().WaitUntilParked(std::chrono::seconds(10)));
        QVERIFY(entryLog.isEmpty());
        if (stop) {
            QVERIFY(run.Stop());
        } else {
            run.Resume();
            run.Wait();
        }
        QVERIFY(!run.IsActive());

        if (stop) {
            QCOMPARE(entryLog, QStringLiteral("stopped"));
            QCOMPARE(run.ArchivesProcessed(), 2);
            QCOMPARE(f.host.Events(QStringLiteral("uncheck:")), QStringLiteral("0"));
            QCOMPARE(f.list.m_arrArchives.at(1).m_nExtracted, 1);
            QCOMPARE(f.list.m_arrArchives.at(2).m_nExtracted, 0);
            QVERIFY(!run.Selection().at(2).m_bProcessed);
            QCOMPARE(run.End(), UnpackEnd::Stopped);
            QVERIFY(!f.host.Has(QStringLiteral("finished")));
            QVERIFY(!run.StopWithoutAsking());
        } else {
            QCOMPARE(entryLog, QStringLiteral("chunk2"));
            QCOMPARE(run.ArchivesProcessed(), 3);
            QCOMPARE(f.list.m_arrArchives.at(1).m_nExtracted, 2);
            QCOMPARE(f.host.Events(QStringLiteral("uncheck:")), QStringLiteral("0,1,2"));
            QCOMPARE(run.End(), UnpackEnd::Finished);
        }

        // A stopped run leaves nothing behind that keeps the next one from starting.
        firstRun = false;
        QCOMPARE(run.Start(f.SelectAll(), QStringLiteral("/photos")), UnpackStart::Started);
        run.Wait();
        QCOMPARE(run.End(), UnpackEnd::Finished);
    }

    // Every run starts from empty failed-item lists; a record of an earlier run does not block deletion.
    void failedItemsClearedAtStart()
    {
        Fixture f(2);
        f.settings.m_nAfterExtraction = 1;
        f.settings.m_nWhenToDelete = 0;
        f.answers = {DeleteAnswer::YesToAll};
        f.list.m_arrArchives[0].m_arrFailedItems << CXArchiveItem{};
        CXUnpackRun run(f.list, f.settings, f.host, f.Ops());
        QCOMPARE(run.Start(f.SelectAll(), QStringLiteral("/photos")), UnpackStart::Started);
        run.Wait();
        QCOMPARE(f.deleted.join(QLatin1Char(',')), QStringLiteral("0,1"));
        QVERIFY(f.list.m_arrArchives.at(0).m_arrFailedItems.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestUnpackRun)
#include "tst_run.moc"
