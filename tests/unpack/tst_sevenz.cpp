// 7z archives through the real unpack run: the pictures come out byte for byte and the archive goes when
// every entry is accounted for; hostile entries are refused, nothing is written outside the tree, and
// the archive stays with the reasons in its results.
#include "scan/archivelist.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "support/rarwriter.h"
#include "support/sevenzwriter.h"
#include "support/testenv.h"
#include "support/zipwriter.h"
#include "unpack/deferreddelete.h"
#include "unpack/extract.h"
#include "unpack/extractfixture.h"
#include "unpack/unpackrun.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace zelvano::test;

Q_DECLARE_METATYPE(zelvano::test::SevenZItem)

namespace {

class YesHost : public RecordingHost
{
public:
    DeleteAnswer ConfirmArchiveDelete(const QString&, bool) override { return DeleteAnswer::YesToAll; }
};

// Pictures the 7z command packs, from a folder "Trip".
QByteArray SevenZipMade(const QList<SevenZItem>& files, const QStringList& options)
{
    QTemporaryDir dir;
    for (const SevenZItem& file : files) {
        if (!WriteFile(dir.filePath(QStringLiteral("in/") + file.name), file.data))
            return {};
    }
    const QString path = dir.filePath(QStringLiteral("made.7z"));
    if (!RunSevenZipAdd(dir.filePath(QStringLiteral("in")), path, options, {QStringLiteral("Trip")}))
        return {};
    return ReadFile(path);
}

const char kOutside[] = "/zelvano-sevenz-test-outside";

} // namespace

class TestUnpackSevenZ : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_home = std::make_unique<IsolatedHome>(); }
    void cleanup() { m_home.reset(); }
    void run_data();
    void run();

private:
    std::unique_ptr<IsolatedHome> m_home; // the trash lives in it
};

void TestUnpackSevenZ::run_data()
{
    QTest::addColumn<QString>("archiveName");
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QList<SevenZItem>>("expected"); // the pictures on disk afterwards, by path below the tree
    QTest::addColumn<bool>("archiveLeft");
    QTest::addColumn<QStringList>("reasons"); // of the failed entries, sorted (empty when its flags say it)

    const QByteArray a = Jpeg(96, 64);
    const QByteArray b = Png(80, 40);
    const QByteArray c = Jpeg(50, 50);
    const QList<SevenZItem> trip{ZFolder(QStringLiteral("Trip")), ZFile(QStringLiteral("Trip/a.jpg"), a),
                                 ZFile(QStringLiteral("Trip/Day 2/b.png"), b)};
    const QList<SevenZItem> tripOnDisk{ZFile(QStringLiteral("Trip/a.jpg"), a),
                                       ZFile(QStringLiteral("Trip/Day 2/b.png"), b)};
    QTest::newRow("pictures in folders") << "Trip.7z" << WriteSevenZ(trip) << tripOnDisk << false << QStringList{};
    QTest::newRow("stored") << "Trip.7z" << WriteSevenZ(trip, "store") << tripOnDisk << false << QStringList{};
    QTest::newRow("cbz") << "Trip.cbz" <<
        [&] {
            ZipWriter zip;
            zip.add("Trip/a.jpg", a, 0);
            zip.add("Trip/Day 2/b.png", b, 8);
            return zip.build();
        }() << tripOnDisk << false
                         << QStringList{};
    QTest::newRow("7z named zip") << "Trip.zip" << WriteSevenZ(trip) << tripOnDisk << false << QStringList{};

    const QString outside = QString::fromLatin1(kOutside);
    QTest::newRow("hostile names") << "Bad.7z"
                                   << WriteSevenZ({ZFile(QStringLiteral("../x.jpg"), c),
                                                   ZFile(outside + QStringLiteral("/y.jpg"), c),
                                                   ZFile(QStringLiteral("c\x01tl.jpg"), c),
                                                   ZLink(QStringLiteral("link.jpg"), QStringLiteral("/etc/passwd")),
                                                   ZFile(QStringLiteral("good.jpg"), a)})
                                   << QList<SevenZItem>{ZFile(QStringLiteral("good.jpg"), a)} << true
                                   << QStringList{QStringLiteral("Name holds control characters"),
                                                  QStringLiteral("Name leads outside the destination folder"),
                                                  QStringLiteral("Name leads outside the destination folder"),
                                                  QStringLiteral("The entry is a link; links are not extracted")};
    QTest::newRow("duplicate names")
        << "Dup.7z" << WriteSevenZ({ZFile(QStringLiteral("dup.jpg"), a), ZFile(QStringLiteral("dup.jpg"), c)})
        << QList<SevenZItem>{ZFile(QStringLiteral("dup.jpg"), a)} << true
        << QStringList{QStringLiteral("A different picture with this name was already written in this run "
                                      "(Dup.7z: dup.jpg)")};
    QTest::newRow("empty picture") << "Empty.7z"
                                   << WriteSevenZ({ZFile(QStringLiteral("empty.jpg"), {}),
                                                   ZFile(QStringLiteral("full.jpg"), a)})
                                   << QList<SevenZItem>{ZFile(QStringLiteral("full.jpg"), a)} << true
                                   << QStringList{QString()}; // the validation flags say why
    if (!SevenZipTool().isEmpty()) {
        const QList<SevenZItem> files{ZFile(QStringLiteral("Trip/a.jpg"), a), ZFile(QStringLiteral("Trip/b/c.jpg"), c)};
        QTest::newRow("made by 7z, solid LZMA2")
            << "Trip.7z" << SevenZipMade(files, {QStringLiteral("-m0=lzma2"), QStringLiteral("-ms=on")}) << files
            << false << QStringList{};
        QTest::newRow("made by 7z, encrypted data")
            << "Trip.7z" << SevenZipMade(files, {QStringLiteral("-psecret")}) << QList<SevenZItem>{} << true
            << QStringList{QStringLiteral("Encrypted: no password"), QStringLiteral("Encrypted: no password")};
    }
}

void TestUnpackSevenZ::run()
{
    QFETCH(QString, archiveName);
    QFETCH(QByteArray, archive);
    QFETCH(QList<SevenZItem>, expected);
    QFETCH(bool, archiveLeft);
    QFETCH(QStringList, reasons);
    QVERIFY(!archive.isEmpty());

    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("tree"));
    const QString archivePath = root + QLatin1Char('/') + archiveName;
    QVERIFY(WriteFile(archivePath, archive));

    CXSettings settings;
    settings.ResetToDefaults();
    settings.m_nExtractTo = 1; // into the archive's folder
    settings.m_bRenameFolder = 0;
    settings.m_nAfterExtraction = 1; // delete permanently
    settings.m_nWhenToDelete = 0;
    settings.m_bConfirmDelete = 0;
    CXArchiveList list;
    const QList<CXSelItem> selection = ScanAndSelectAll(list, root, settings);
    QCOMPARE(selection.size(), 1);
    YesHost host;
    CXUnpackRun run(list, settings, host);
    QCOMPARE(run.Start(selection, root), UnpackStart::Started);
    run.Wait();
    RunDeferredDeletion(
        list, run.Selection(), settings, [](const QString&) { return true; }, nullptr, DeleteArchives);

    // The pictures, byte for byte, and nothing else but the archive when it stays.
    QStringList want;
    for (const SevenZItem& file : expected) {
        want << file.name;
        QCOMPARE(ReadFile(root + QLatin1Char('/') + file.name), file.data);
    }
    if (archiveLeft)
        want << archiveName;
    QStringList files;
    for (const QString& rel : TreeOf(root)) {
        if (!QFileInfo(root + QLatin1Char('/') + rel).isDir())
            files << rel;
    }
    want.sort();
    QCOMPARE(files, want);
    // Nothing beside the tree or at an absolute name.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("tree")});
    QVERIFY(!QFileInfo::exists(QString::fromLatin1(kOutside)));

    const CXArchiveFile& record = list.m_arrArchives.front();
    QCOMPARE(record.m_nExtracted, int(expected.size()));
    QCOMPARE(record.m_bRemoved, archiveLeft ? 0 : 1);
    QStringList got;
    for (const CXArchiveItem& item : record.m_arrFailedItems)
        got << item.m_strReason;
    got.sort();
    QCOMPARE(got.join(QStringLiteral(" | ")), reasons.join(QStringLiteral(" | ")));
    QCOMPARE(got.size(), reasons.size());
}

QTEST_GUILESS_MAIN(TestUnpackSevenZ)
#include "tst_sevenz.moc"
