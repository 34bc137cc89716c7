// Whole unpack runs over small real trees: every way a picture could be lost, each row named after the
// fault it guards, run for both deletion timings and both deletion kinds. Each row asserts the bytes of
// every picture in the tree afterwards and whether the archive is still there.
#include "common/runcontrol.h"
#include "scan/archivelist.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "support/testenv.h"
#include "support/zipwriter.h"
#include "unpack/deferreddelete.h"
#include "unpack/extract.h"
#include "unpack/extractfixture.h"
#include "unpack/tempfiles.h"
#include "unpack/unpackrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace zelvano::test;

// One file of a tree: a picture already on disk before the run, or an archive.
struct TreeFile
{
    QString m_strPath; // relative to the tree
    QByteArray m_bytes;
};
Q_DECLARE_METATYPE(TreeFile)

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// Says Yes to every delete question; a hook may act when the question comes.
class YesHost : public RecordingHost
{
public:
    DeleteAnswer ConfirmArchiveDelete(const QString& fileName, bool moreFollow) override
    {
        if (m_onQuestion)
            m_onQuestion(fileName);
        (void)moreFollow;
        return DeleteAnswer::YesToAll;
    }
    std::function<void(const QString&)> m_onQuestion;
};

struct RunResult
{
    QList<CXSelItem> m_selection;
    QList<CXArchiveFile> m_archives;
};

// Scans root, unpacks every archive found with the settings given and, for the deletion at the end,
// deletes what the run allows; the question is always answered Yes.
RunResult UnpackTree(const QString& root, const CXSettings& settings, YesHost& host,
                     const std::function<void()>& beforeDeferred = {})
{
    CXArchiveList list;
    const QList<CXSelItem> selection = ScanAndSelectAll(list, root, settings);
    CXUnpackRun run(list, settings, host);
    RunResult result;
    if (run.Start(selection, root) != UnpackStart::Started)
        return result;
    run.Wait();
    if (beforeDeferred)
        beforeDeferred();
    RunDeferredDeletion(
        list, run.Selection(), settings, [](const QString&) { return true; }, nullptr, DeleteArchives);
    result.m_selection = run.Selection();
    result.m_archives = list.m_arrArchives;
    return result;
}

} // namespace

class TestSafety : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { m_home = std::make_unique<IsolatedHome>(); }
    void cleanup() { m_home.reset(); }

    void noPictureLost_data()
    {
        QTest::addColumn<QList<TreeFile>>("before");
        QTest::addColumn<int>("mode"); // 1 into the archive's folder, 2 a new folder
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<bool>("deleteOthers");     // "Delete archives that also hold other files"
        QTest::addColumn<QList<TreeFile>>("after"); // every picture expected afterwards, with its bytes
        QTest::addColumn<QStringList>("archivesLeft");
        QTest::addColumn<QString>("keptReason"); // the start of the first kept archive's reason

        const QByteArray good = Jpeg();
        const QByteArray other = Jpeg(64, 48);
        const QByteArray bmpA(4000, 'a');
        const QByteArray bmpB(4000, 'b');

        ZipWriter damaged;
        damaged.add("x.jpg", other).crc = ZipWriter::Crc(other) ^ 1u;
        QTest::newRow("a damaged entry never replaces the picture it would overwrite")
            << QList<TreeFile>{{S("x.jpg"), good}, {S("a.zip"), damaged.build()}} << 1 << true << false
            << QList<TreeFile>{{S("x.jpg"), good}} << QStringList{S("a.zip")} << S("1 entry failed");

        ZipWriter scans;
        scans.add("scan001.bmp", bmpB);
        QTest::newRow("a different picture of the same name and size is no duplicate")
            << QList<TreeFile>{{S("scan001.bmp"), bmpA}, {S("scans.zip"), scans.build()}} << 1 << false << false
            << QList<TreeFile>{{S("scan001.bmp"), bmpA}} << QStringList{S("scans.zip")} << S("1 entry failed");
        QTest::newRow("the same picture already there is a verified duplicate")
            << QList<TreeFile>{{S("scan001.bmp"), bmpB}, {S("scans.zip"), scans.build()}} << 1 << false << false
            << QList<TreeFile>{{S("scan001.bmp"), bmpB}} << QStringList{} << QString();

        ZipWriter first;
        first.add("p1.jpg", good);
        ZipWriter second;
        second.add("p1.jpg", other);
        QTest::newRow("a later archive never overwrites what an earlier one wrote")
            << QList<TreeFile>{{S("Trip (1).zip"), first.build()}, {S("trip_1.zip"), second.build()}} << 2 << true
            << false << QList<TreeFile>{{S("Trip 1/p1.jpg"), good}} << QStringList{S("trip_1.zip")}
            << S("1 entry failed");
        QTest::newRow("a later archive with the same picture is a verified duplicate")
            << QList<TreeFile>{{S("Trip (1).zip"), first.build()}, {S("trip_1.zip"), first.build()}} << 2 << false
            << false << QList<TreeFile>{{S("Trip 1/p1.jpg"), good}} << QStringList{} << QString();

        ZipWriter mixed;
        mixed.add("x.jpg", good);
        mixed.add("clip.mov", "not a picture");
        mixed.add("notes.txt", "text");
        QTest::newRow("other files keep the archive")
            << QList<TreeFile>{{S("a.zip"), mixed.build()}} << 1 << false << false
            << QList<TreeFile>{{S("x.jpg"), good}} << QStringList{S("a.zip")}
            << S("holds 2 other files that were not extracted (clip.mov, notes.txt)");
        QTest::newRow("other files go when the user lets them")
            << QList<TreeFile>{{S("a.zip"), mixed.build()}} << 1 << false << true << QList<TreeFile>{{S("x.jpg"), good}}
            << QStringList{} << QString();

        ZipWriter junk;
        junk.add("x.jpg", good);
        junk.add("._x.jpg", "apple double");
        junk.add("__MACOSX/._x.jpg", "resource fork");
        junk.add("Thumbs.db", "cache");
        junk.add("sub/desktop.ini", "settings");
        junk.add("my.DS_Store.jpg", other);
        QTest::newRow("known junk does not keep the archive; a picture named like junk is a picture")
            << QList<TreeFile>{{S("a.zip"), junk.build()}} << 1 << false << false
            << QList<TreeFile>{{S("my.DS_Store.jpg"), other}, {S("x.jpg"), good}} << QStringList{} << QString();

        ZipWriter lonely;
        lonely.add("x.jpg", good);
        lonely.add("._notes", "no companion");
        QTest::newRow("a ._ file without its companion is another file")
            << QList<TreeFile>{{S("a.zip"), lonely.build()}} << 1 << false << false
            << QList<TreeFile>{{S("x.jpg"), good}} << QStringList{S("a.zip")} << S("holds 1 other file");

        ZipWriter link;
        link.add("x.jpg", good);
        link.add("y.jpg", "x.jpg").externalAttributes = 0120777u << 16;
        QTest::newRow("a link entry named like a picture is never written and keeps the archive")
            << QList<TreeFile>{{S("a.zip"), link.build()}} << 1 << false << true << QList<TreeFile>{{S("x.jpg"), good}}
            << QStringList{S("a.zip")} << S("1 entry failed");

        ZipWriter locked;
        locked.add("x.jpg", good).encrypted = true;
        QTest::newRow("an encrypted entry keeps the archive and leaves no folder behind")
            << QList<TreeFile>{{S("Locked.zip"), locked.build()}} << 2 << false << false << QList<TreeFile>{}
            << QStringList{S("Locked.zip")} << S("1 entry failed");
    }
    void noPictureLost()
    {
        QFETCH(QList<TreeFile>, before);
        QFETCH(int, mode);
        QFETCH(bool, overwrite);
        QFETCH(bool, deleteOthers);
        QFETCH(QList<TreeFile>, after);
        QFETCH(QStringList, archivesLeft);
        QFETCH(QString, keptReason);

        // Level 2 beside the default level 3, where an archive's last picture tests may still run while
        // the next archive is extracted.
        for (const int level : {int(ValidateSize), int(ValidateLoads)}) {
            for (const int when : {0, 1}) {
                for (const int kind : {1, 2}) {
                    const QString label =
                        QStringLiteral("level %1, timing %2, %3")
                            .arg(level + 1)
                            .arg(when ? S("all") : S("each"), kind == 2 ? S("trash") : S("permanent"));
                    QTemporaryDir dir;
                    const QString root = dir.filePath(S("tree"));
                    for (const TreeFile& f : before)
                        QVERIFY(WriteFile(root + QLatin1Char('/') + f.m_strPath, f.m_bytes));

                    CXSettings settings;
                    settings.ResetToDefaults();
                    settings.m_nExtractTo = mode;
                    settings.m_bRenameFolder = 1;
                    settings.m_nRenameCase = 2;
                    settings.m_bOverwritePhotos = overwrite ? 1 : 0;
                    settings.m_bDeleteOtherFiles = deleteOthers ? 1 : 0;
                    settings.m_nAfterExtraction = kind;
                    settings.m_nWhenToDelete = when;
                    settings.m_bConfirmDelete = 1;
                    settings.m_nValidationLevel = level;
                    YesHost host;
                    const RunResult result = UnpackTree(root, settings, host);
                    QVERIFY2(!result.m_selection.isEmpty(), qPrintable(label));

                    QStringList pictures;
                    QStringList archives;
                    for (const QString& rel : TreeOf(root)) {
                        if (QFileInfo(root + QLatin1Char('/') + rel).isDir())
                            continue;
                        const bool isArchive = rel.endsWith(S(".zip")) || rel.endsWith(S(".rar"));
                        (isArchive ? archives : pictures) << rel;
                    }
                    QStringList expected;
                    for (const TreeFile& f : after) {
                        expected << f.m_strPath;
                        QVERIFY2(ReadFile(root + QLatin1Char('/') + f.m_strPath) == f.m_bytes,
                                 qPrintable(label + S(": ") + f.m_strPath));
                    }
                    expected.sort();
                    QCOMPARE(pictures, expected);
                    QCOMPARE(archives, archivesLeft);
                    // When the archives went, every picture stood in the list of files made durable first.
                    QStringList onDisk;
                    for (const CXSelItem& sel : result.m_selection)
                        onDisk += sel.m_arrOnDisk;
                    for (const TreeFile& f : archivesLeft.isEmpty() ? after : QList<TreeFile>())
                        QVERIFY2(onDisk.contains(root + QLatin1Char('/') + f.m_strPath),
                                 qPrintable(label + S(": ") + f.m_strPath));
                    QString kept;
                    for (const CXSelItem& sel : result.m_selection) {
                        if (!sel.m_strKept.isEmpty()) {
                            kept = sel.m_strKept;
                            break;
                        }
                    }
                    QVERIFY2(keptReason.isEmpty() ? kept.isEmpty() : kept.startsWith(keptReason),
                             qPrintable(label + S(": ") + kept));
                }
            }
        }
    }

    // An archive that changed after it was unpacked is not the archive that was unpacked: it stays.
    void changedArchiveStays_data()
    {
        QTest::addColumn<int>("when");
        QTest::addColumn<int>("kind");
        QTest::newRow("after each, permanently") << 0 << 1;
        QTest::newRow("after each, to the trash") << 0 << 2;
        QTest::newRow("at the end, permanently") << 1 << 1;
        QTest::newRow("at the end, to the trash") << 1 << 2;
    }
    void changedArchiveStays()
    {
        QFETCH(int, when);
        QFETCH(int, kind);
        QTemporaryDir dir;
        const QString root = dir.filePath(S("tree"));
        ZipWriter zip;
        zip.add("x.jpg", Jpeg());
        const QString archive = root + S("/a.zip");
        QVERIFY(WriteFile(archive, zip.build()));
        const auto appendPicture = [&] {
            ZipWriter grown;
            grown.add("x.jpg", Jpeg());
            grown.add("new.jpg", Jpeg(50, 40));
            QVERIFY(WriteFile(archive, grown.build()));
        };

        CXSettings settings;
        settings.ResetToDefaults();
        settings.m_nExtractTo = 1;
        settings.m_nAfterExtraction = kind;
        settings.m_nWhenToDelete = when;
        settings.m_bConfirmDelete = 1;
        YesHost host;
        host.m_onQuestion = [&](const QString&) { appendPicture(); };
        const RunResult result = UnpackTree(root, settings, host, [&] {
            if (when == 1)
                appendPicture();
        });
        QVERIFY(QFileInfo::exists(archive));
        QCOMPARE(result.m_selection.value(0).m_strKept, S("the archive changed after it was unpacked"));
    }

    // Leftovers of a killed run are removed where the next run writes; a file another running process is
    // writing is not.
    void staleTemporaryFiles()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath(S("tree"));
        ZipWriter zip;
        zip.add("x.jpg", Jpeg());
        QVERIFY(WriteFile(root + S("/a.zip"), zip.build()));
        const QString stale = root + S("/.zelvano-999999999-1.partial");
        const QString live = root + S("/.zelvano-1-1.partial"); // process 1 is always running
        QVERIFY(WriteFile(stale, "half a picture"));
        QVERIFY(WriteFile(live, "being written"));
        QVERIFY(IsTempName(QFileInfo(stale).fileName()));

        CXSettings settings;
        settings.ResetToDefaults();
        settings.m_nExtractTo = 1;
        YesHost host;
        UnpackTree(root, settings, host);
        QVERIFY(!QFileInfo::exists(stale));
        QVERIFY(QFileInfo::exists(live));
        QCOMPARE(ReadFile(root + S("/x.jpg")), Jpeg());
    }

private:
    std::unique_ptr<IsolatedHome> m_home;
};

QTEST_GUILESS_MAIN(TestSafety)
#include "tst_safety.moc"
