// The deletion "After processing all archive(s)": which archives it takes, the question, and what a
// deletion that leaves an archive behind does to the results.
#include "scan/archivelist.h"
#include "settings/settings.h"
#include "support/testenv.h"
#include "unpack/deferreddelete.h"

#include <QtTest>

namespace {

class RowHost : public CXWorkerHost
{
public:
    DeleteAnswer ConfirmArchiveDelete(const QString&, bool) override { return DeleteAnswer::No; }
    void ShowDiskSpaceMessage(const QString&) override {}
    void StatusState(int state) override { m_states << state; }
    void RemoveArchiveRow(int index) override { m_removed << index; }

    QList<int> m_states;
    QList<int> m_removed;
};

// Permanent list deletion as the engine does it: in order, stopping at the first file that stays.
bool RemoveInOrder(const QStringList& paths, const QStringList& locked)
{
    for (const QString& p : paths) {
        if (locked.contains(p) || (QFile::exists(p) && !QFile::remove(p)))
            return false;
    }
    return true;
}

} // namespace

class TestDeferredDeletion : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void deletion_data()
    {
        QTest::addColumn<int>("archives");
        QTest::addColumn<QList<int>>("failedEntry"); // archives with a failed entry
        QTest::addColumn<QList<int>>("notOpened");   // archives whose extraction failed without a record
        QTest::addColumn<QList<int>>("locked");      // archives that cannot be removed
        QTest::addColumn<int>("afterExtraction");
        QTest::addColumn<int>("whenToDelete");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<bool>("answer");
        // Expected:
        QTest::addColumn<QString>("question");
        QTest::addColumn<QList<int>>("gone");
        QTest::addColumn<QList<int>>("failedToGo");

        const QString five = QStringLiteral("Are you sure you want to delete the following 4 Archives?\n\n"
                                            "@/a.zip\n@/b.zip\n@/d.zip\n@/e.zip\n\n"
                                            "..and 1 other (total of 5 archives).");
        QTest::newRow("six archives, one failed: four listed, the fifth summed up; the failed one stays")
            << 6 << QList<int>{2} << QList<int>{} << QList<int>{} << 1 << 1 << true << true << five
            << QList<int>{0, 1, 3, 4, 5} << QList<int>{};
        QTest::newRow("No keeps every archive") << 6 << QList<int>{2} << QList<int>{} << QList<int>{} << 2 << 1 << true
                                                << false << five << QList<int>{} << QList<int>{};
        QTest::newRow("one archive: singular noun, no summary line")
            << 1 << QList<int>{} << QList<int>{} << QList<int>{} << 1 << 1 << true << true
            << QStringLiteral("Are you sure you want to delete the following 1 Archive?\n\n@/a.zip\n") << QList<int>{0}
            << QList<int>{};
        QTest::newRow("confirmation off deletes without a question")
            << 2 << QList<int>{} << QList<int>{} << QList<int>{} << 1 << 1 << false << false << QString()
            << QList<int>{0, 1} << QList<int>{};
        QTest::newRow("an archive that did not open in this run is never taken")
            << 3 << QList<int>{} << QList<int>{1} << QList<int>{} << 1 << 1 << false << true << QString()
            << QList<int>{0, 2} << QList<int>{};
        QTest::newRow("a deletion stopped by a locked archive: it and the rest stay listed and are counted")
            << 3 << QList<int>{} << QList<int>{} << QList<int>{1} << 1 << 1 << false << true << QString()
            << QList<int>{0} << QList<int>{1, 2};
        QTest::newRow("timing after each archive: nothing at the end")
            << 2 << QList<int>{} << QList<int>{} << QList<int>{} << 1 << 0 << false << true << QString() << QList<int>{}
            << QList<int>{};
        QTest::newRow("do nothing: nothing at the end") << 2 << QList<int>{} << QList<int>{} << QList<int>{} << 0 << 1
                                                        << false << true << QString() << QList<int>{} << QList<int>{};
    }
    void deletion()
    {
        QFETCH(int, archives);
        QFETCH(QList<int>, failedEntry);
        QFETCH(QList<int>, notOpened);
        QFETCH(QList<int>, locked);
        QFETCH(int, afterExtraction);
        QFETCH(int, whenToDelete);
        QFETCH(bool, confirm);
        QFETCH(bool, answer);
        QFETCH(QString, question);
        QFETCH(QList<int>, gone);
        QFETCH(QList<int>, failedToGo);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        CXArchiveList list;
        QList<CXSelItem> selection;
        QStringList lockedPaths;
        for (int i = 0; i < archives; ++i) {
            CXArchiveFile a;
            a.m_strFolder = dir.path() + QLatin1Char('/');
            a.m_strFileName = QChar(u'a' + i) + QStringLiteral(".zip");
            a.m_strPath = a.m_strFolder + a.m_strFileName;
            QVERIFY(zelvano::test::WriteFile(a.m_strPath, "PK"));
            if (failedEntry.contains(i))
                a.m_arrFailedItems << CXArchiveItem{};
            if (locked.contains(i))
                lockedPaths << a.m_strPath;
            list.AddArchive(a);
            CXSelItem sel;
            sel.m_nArchive = i;
            sel.m_nRow = i;
            sel.m_bProcessed = true;
            sel.m_bExtracted = !failedEntry.contains(i) && !notOpened.contains(i);
            sel.m_identity = zelvano::platform::IdentifyFile(a.m_strPath);
            selection << sel;
        }
        CXSettings settings;
        settings.ResetToDefaults();
        settings.m_nAfterExtraction = afterExtraction;
        settings.m_nWhenToDelete = whenToDelete;
        settings.m_bConfirmDelete = confirm ? 1 : 0;

        QString asked;
        RowHost host;
        bool recycleSeen = false;
        const DeferredDeletionResult result = RunDeferredDeletion(
            list, selection, settings,
            [&](const QString& text) {
                asked = text;
                return answer;
            },
            &host,
            [&](const QStringList& paths, bool recycle) {
                recycleSeen = recycle;
                return RemoveInOrder(paths, lockedPaths);
            });

        QCOMPARE(asked, question.replace(QLatin1Char('@'), dir.path()));
        QCOMPARE(result.m_nDeleted, int(gone.size()));
        QCOMPARE(result.m_nFailed, int(failedToGo.size()));
        QCOMPARE(host.m_removed, gone);
        if (result.m_bConfirmed) {
            QCOMPARE(host.m_states, QList<int>{afterExtraction == 2 ? 9 : 8});
            QCOMPARE(recycleSeen, afterExtraction == 2);
        }
        for (int i = 0; i < archives; ++i) {
            const CXArchiveFile& a = list.m_arrArchives.at(i);
            QCOMPARE(QFile::exists(a.m_strPath), !gone.contains(i));
            QCOMPARE(a.m_bRemoved != 0, gone.contains(i));
            QCOMPARE(selection.at(i).m_bDeleteFailed, failedToGo.contains(i));
            if (failedToGo.contains(i)) {
                QCOMPARE(a.m_nErrors, 1);
                QCOMPARE(a.m_arrFailedItems.last().m_strPath, a.m_strPath);
                QCOMPARE(a.m_arrFailedItems.last().m_strReason, QStringLiteral("The archive could not be deleted"));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestDeferredDeletion)
#include "tst_rundeferred.moc"
