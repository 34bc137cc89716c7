// A RAR volume set through the real unpack run: every picture comes out, also those that lie across two
// volumes, and the set is deleted whole or the results say which volumes stayed.
#include "scan/archivelist.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "support/testenv.h"
#include "support/volumeset.h"
#include "unpack/deferreddelete.h"
#include "unpack/extract.h"
#include "unpack/keep.h"
#include "unpack/unpackrun.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QtTest>

#include <random>

namespace {

class YesHost : public CXWorkerHost
{
public:
    DeleteAnswer ConfirmArchiveDelete(const QString&, bool) override { return DeleteAnswer::YesToAll; }
    void ShowDiskSpaceMessage(const QString&) override {}
};

// A PNG of noise: it does not compress, so each picture is larger than a volume.
QByteArray NoisePng(quint32 seed)
{
    QImage image(110, 110, QImage::Format_RGB32);
    std::mt19937 random(seed);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, random() | 0xff000000u);
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

QList<QPair<QString, QByteArray>> Pictures()
{
    return {{QStringLiteral("Trip/a.png"), NoisePng(1)},
            {QStringLiteral("Trip/b.png"), NoisePng(2)},
            {QStringLiteral("Trip/c.png"), NoisePng(3)}};
}

QStringList Present(const QStringList& paths)
{
    QStringList out;
    for (const QString& path : paths) {
        if (QFileInfo::exists(path))
            out << QFileInfo(path).fileName();
    }
    return out;
}

} // namespace

class TestUnpackVolumeSets : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void setUnpackedAndDeletedWhole_data()
    {
        QTest::addColumn<int>("afterExtraction");
        QTest::addColumn<int>("whenToDelete");
        QTest::addColumn<int>("failing"); // the volume whose deletion fails, -1 for none
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("replaced"); // the volume replaced between the unpack and the deletion, -1 for none
        const QStringList none;
        QTest::newRow("permanently, after each") << 1 << 0 << -1 << none << QString() << -1;
        QTest::newRow("to the trash, after each") << 2 << 0 << -1 << none << QString() << -1;
        QTest::newRow("permanently, after all") << 1 << 1 << -1 << none << QString() << -1;
        QTest::newRow("to the trash, after all") << 2 << 1 << -1 << none << QString() << -1;
        // The later volumes go from the last one back; the first volume stays with the one that failed.
        const QStringList twoLeft{QStringLiteral("Trip.part1.rar"), QStringLiteral("Trip.part2.rar")};
        QTest::newRow("a volume stays, after each")
            << 1 << 0 << 1 << twoLeft
            << "The archive could not be deleted (volumes left: Trip.part1.rar, Trip.part2.rar)" << -1;
        QTest::newRow("a volume stays, after all, trash")
            << 2 << 1 << 1 << twoLeft
            << "The archive could not be moved to the trash (volumes left: Trip.part1.rar, Trip.part2.rar)" << -1;
        QTest::newRow("the first volume stays, after all")
            << 1 << 1 << 0 << QStringList{QStringLiteral("Trip.part1.rar")}
            << "The archive could not be deleted (volumes left: Trip.part1.rar)" << -1;
        // Deleted at the end, the set must still be the files unpacked: a later volume downloaded again in
        // the meantime keeps every volume.
        QTest::newRow("a later volume replaced, after all") << 1 << 1 << -1 << none << zelvano::kept::Changed() << 2;
        QTest::newRow("the first volume replaced, after all") << 2 << 1 << -1 << none << zelvano::kept::Changed() << 0;
    }

    void setUnpackedAndDeletedWhole()
    {
        QFETCH(int, afterExtraction);
        QFETCH(int, whenToDelete);
        QFETCH(int, failing);
        QFETCH(QStringList, left);
        QFETCH(QString, reason);
        QFETCH(int, replaced);
        if (!zelvano::test::HaveRarCommand())
            QSKIP("the rar command is not installed");
        zelvano::test::IsolatedHome home; // the trash lives in it
        QTemporaryDir dir;
        const QList<QPair<QString, QByteArray>> pictures = Pictures();
        QVERIFY(pictures.front().second.size() > 30000);
        const QStringList volumes = zelvano::test::MakeRarVolumeSet(dir.path(), QStringLiteral("Trip"), pictures, 16);
        QVERIFY(volumes.size() >= 4);

        CXSettings settings;
        settings.ResetToDefaults();
        settings.m_nAfterExtraction = afterExtraction;
        settings.m_nWhenToDelete = whenToDelete;
        CXArchiveList list;
        list.m_pSettings = &settings;
        list.SetImagePatterns(BuildImagePatternList(settings));
        CXRunControl scan;
        scan.Start();
        list.StartScan(dir.path(), scan);
        QCOMPARE(list.m_arrArchives.size(), 1);
        QCOMPARE(list.m_arrArchives.front().m_arrVolumes, volumes.mid(1));

        const QString failPath = failing >= 0 ? volumes.at(failing) : QString();
        QStringList tried;
        const auto deleteOne = [&](const QString& path, bool recycle) {
            tried << QFileInfo(path).fileName();
            return path != failPath && DeleteArchive(path, recycle);
        };
        UnpackOperations ops = DefaultUnpackOperations();
        ops.deleteArchive = deleteOne;
        YesHost host;
        CXUnpackRun run(list, settings, host, ops);
        CXSelItem sel;
        sel.m_nArchive = 0;
        QCOMPARE(run.Start({sel}, dir.path()), UnpackStart::Started);
        run.Wait();
        QCOMPARE(run.End(), UnpackEnd::Finished);
        if (replaced >= 0) {
            const QString path = volumes.at(replaced);
            const QByteArray bytes = zelvano::test::ReadFile(path);
            QVERIFY(QFile::remove(path));
            QVERIFY(zelvano::test::WriteFile(path, bytes + "x"));
        }
        RunDeferredDeletion(
            list, run.Selection(), settings, [](const QString&) { return true; }, &host,
            [&](const QStringList& paths, bool recycle) {
                bool all = true;
                for (const QString& path : paths)
                    all = deleteOne(path, recycle) && all;
                return all;
            });

        // Every picture, also those split over two volumes, byte for byte where the set's folder says.
        const CXArchiveFile& set = list.m_arrArchives.front();
        QCOMPARE(set.m_nExtracted, 3);
        for (const auto& [name, bytes] : pictures)
            QCOMPARE(zelvano::test::ReadFile(dir.filePath(name)), bytes);

        if (replaced >= 0) {
            QCOMPARE(Present(volumes).size(), volumes.size());
            QCOMPARE(set.m_bRemoved, 0);
            QCOMPARE(run.Selection().front().m_strKept, reason);
            return;
        }
        QCOMPARE(Present(volumes), left);
        QCOMPARE(set.m_bRemoved, left.isEmpty() ? 1 : 0);
        QCOMPARE(run.Selection().front().m_bDeleted, left.isEmpty());
        if (left.isEmpty()) {
            QCOMPARE(set.m_nErrors, 0);
            return;
        }
        QCOMPARE(set.m_nErrors, 1);
        QCOMPARE(set.m_arrFailedItems.last().m_strPath, volumes.front());
        QCOMPARE(set.m_arrFailedItems.last().m_strReason, reason);
        // Nothing was tried past the volume that stayed.
        QCOMPARE(tried.last(), QFileInfo(failPath).fileName());
    }

    // A folder that cannot be changed keeps the whole set: no volume is tried.
    void readOnlyFolderKeepsEverything()
    {
        QTemporaryDir dir;
        const QString locked = dir.filePath(QStringLiteral("locked"));
        QStringList volumes;
        for (const char* name : {"s.part1.rar", "s.part2.rar"}) {
            volumes << locked + QLatin1Char('/') + QLatin1String(name);
            QVERIFY(zelvano::test::WriteFile(volumes.back(), "Rar!"));
        }
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (QFileInfo(locked).isWritable()) {
            QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QSKIP("every folder can be changed here (running as root)");
        }
        QStringList tried;
        const QStringList stayed = DeleteVolumes(volumes, false, [&](const QString& path, bool) {
            tried << path;
            return QFile::remove(path);
        });
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(stayed, volumes);
        QCOMPARE(tried, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestUnpackVolumeSets)
#include "tst_volumesets.moc"
