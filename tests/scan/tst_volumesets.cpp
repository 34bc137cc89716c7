#include "common/runcontrol.h"
#include "scan/archivelist.h"
#include "scan/nottaken.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "support/rarwriter.h"
#include "support/testenv.h"
#include "support/volumeset.h"
#include "support/zipwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using zelvano::test::MakeRarVolumeSet;
using zelvano::test::NoiseBytes;
using zelvano::test::WriteFile;
using zelvano::test::WriteOldStyleVolumeSet;

namespace {

// Three pictures of 30 KiB each: in volumes of 20 KiB every picture spans two or more of them.
QList<QPair<QString, QByteArray>> SetPictures()
{
    return {{QStringLiteral("a.jpg"), NoiseBytes(30 * 1024, 1)},
            {QStringLiteral("b.jpg"), NoiseBytes(30 * 1024, 2)},
            {QStringLiteral("c.jpg"), NoiseBytes(30 * 1024, 3)}};
}

// Five pictures of 1,000 bytes in four volumes.
QList<QList<QPair<QString, QByteArray>>> OldStylePictures()
{
    QList<QList<QPair<QString, QByteArray>>> volumes;
    for (int v = 0; v < 4; ++v)
        volumes.append({{QStringLiteral("p%1.jpg").arg(v), NoiseBytes(1000, quint32(v))}});
    volumes.back().append({QStringLiteral("last.jpg"), NoiseBytes(1000, 9)});
    return volumes;
}

quint64 SizeOf(const QStringList& paths)
{
    quint64 sum = 0;
    for (const QString& path : paths)
        sum += quint64(QFileInfo(path).size());
    return sum;
}

QString NameOf(const QString& path)
{
    return QFileInfo(path).fileName();
}

QByteArray CraftedRar(const QStringList& names)
{
    QList<zelvano::test::CraftEntry> entries;
    for (const QString& name : names)
        entries.append({name.toUtf8(), 3, 0100644, false, QByteArray(60, 'r')});
    return zelvano::test::CraftRar5(entries);
}

} // namespace

class TestVolumeSets : public QObject
{
    Q_OBJECT

    CXSettings m_settings;

    void Scan(CXArchiveList& list, const QString& folder)
    {
        list.m_pSettings = &m_settings;
        list.SetImagePatterns(BuildImagePatternList(m_settings));
        CXRunControl run;
        run.Start();
        list.StartScan(folder, run);
    }

    static QStringList Reasons(const CXArchiveList& list)
    {
        QStringList out;
        for (const CXFileItem& item : list.m_arrInvalid)
            out << item.m_strFileName + QStringLiteral(": ") + item.m_strReason;
        return out;
    }

    static QStringList NotTaken(const CXArchiveList& list)
    {
        QStringList out;
        for (const CXNotTaken& item : list.m_arrNotTaken)
            out << item.m_strPath + QStringLiteral(": ") + item.m_strReason;
        return out;
    }

private Q_SLOTS:
    void setIsOneArchive_data()
    {
        QTest::addColumn<int>("volumeKiB"); // 0: an old-style set of four volumes, crafted
        QTest::addColumn<int>("photos");
        QTest::addColumn<quint64>("photoBytes");
        QTest::newRow("name.partN.rar") << 20 << 3 << quint64(3 * 30 * 1024);
        QTest::newRow("name.partNN.rar") << 8 << 3 << quint64(3 * 30 * 1024);
        QTest::newRow("name.rar, name.rNN") << 0 << 5 << quint64(5 * 1000);
    }

    // One row, named by its first volume, counting every picture and sized as all its volumes together;
    // the later volumes are neither rows nor reported.
    void setIsOneArchive()
    {
        QFETCH(int, volumeKiB);
        QFETCH(int, photos);
        QFETCH(quint64, photoBytes);
        if (volumeKiB > 0 && !zelvano::test::HaveRarCommand())
            QSKIP("the rar command is not installed");
        QTemporaryDir dir;
        const QString tree = dir.filePath(QStringLiteral("tree"));
        const QStringList volumes = volumeKiB > 0
                                        ? MakeRarVolumeSet(tree, QStringLiteral("Trip"), SetPictures(), volumeKiB)
                                        : WriteOldStyleVolumeSet(tree, QStringLiteral("Trip"), OldStylePictures());
        QVERIFY(volumes.size() >= 4);
        if (volumeKiB > 0 && volumeKiB < 10)
            QVERIFY(NameOf(volumes.front()).endsWith(QLatin1String(".part01.rar")));

        CXArchiveList list;
        Scan(list, dir.filePath(QStringLiteral("tree")));
        QCOMPARE(list.m_arrArchives.size(), 1);
        const CXArchiveFile& set = list.m_arrArchives.front();
        QCOMPARE(set.m_strPath, volumes.front());
        QCOMPARE(set.m_nArchiveType, 1);
        QCOMPARE(set.m_nPhotoCount, photos);
        QCOMPARE(set.m_nPhotoBytes, photoBytes);
        QCOMPARE(set.m_nFileSize, SizeOf(volumes));
        QCOMPARE(set.m_arrVolumes, volumes.mid(1));
        QCOMPARE(set.AllVolumes(), volumes);
        QCOMPARE(list.m_nRarCount, 1);
        QCOMPARE(Reasons(list), QStringList());
        QCOMPARE(NotTaken(list), QStringList());
        QVERIFY(list.m_arrSkipped.isEmpty());
    }

    void brokenSetIsInvalid_data()
    {
        QTest::addColumn<bool>("oldStyle"); // crafted
        QTest::addColumn<int>("volume");    // the volume removed or damaged
        QTest::addColumn<bool>("damage");
        QTest::addColumn<QString>("reason");
        QTest::newRow("middle volume missing") << false << 2 << false << "Volume missing: Trip.part3.rar";
        QTest::newRow("last volume missing") << false << -1 << false << "Volume missing: Trip.part%1.rar";
        QTest::newRow("old-style volume missing") << true << 1 << false << "Volume missing: Trip.r00";
        QTest::newRow("middle volume damaged") << false << 2 << true << "Volume damaged: Trip.part3.rar";
    }

    // The first volume stands for the set, listed as invalid with the volume at fault; the volumes that
    // are there are no rows of their own.
    void brokenSetIsInvalid()
    {
        QFETCH(bool, oldStyle);
        QFETCH(int, volume);
        QFETCH(bool, damage);
        QFETCH(QString, reason);
        if (!oldStyle && !zelvano::test::HaveRarCommand())
            QSKIP("the rar command is not installed");
        QTemporaryDir dir;
        const QString tree = dir.filePath(QStringLiteral("tree"));
        const QStringList volumes = oldStyle ? WriteOldStyleVolumeSet(tree, QStringLiteral("Trip"), OldStylePictures())
                                             : MakeRarVolumeSet(tree, QStringLiteral("Trip"), SetPictures(), 20);
        QVERIFY(volumes.size() >= 4);
        const int index = volume < 0 ? int(volumes.size()) - 1 : volume;
        if (volume < 0)
            reason = reason.arg(index + 1);
        const QString victim = volumes.at(index);
        if (damage) {
            // Headers and data overwritten from the start of the volume on.
            QFile file(victim);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(8));
            file.write(QByteArray(4096, '\x5a'));
        } else {
            QVERIFY(QFile::remove(victim));
        }

        CXArchiveList list;
        Scan(list, tree);
        QCOMPARE(list.m_arrArchives.size(), 0);
        QCOMPARE(Reasons(list), QStringList{NameOf(volumes.front()) + QStringLiteral(": ") + reason});
        QCOMPARE(list.m_arrInvalid.front().m_strPath, volumes.front());
        QVERIFY(list.m_arrInvalid.front().m_nError != 0);
        // The reason is the one every listing of what was not taken gives.
        const QList<CXNotTaken> notTaken = ArchivesNotTaken(list);
        QVERIFY(!notTaken.isEmpty());
        QCOMPARE(notTaken.front().m_strPath, volumes.front());
        QCOMPARE(notTaken.front().m_strReason, reason);
        QCOMPARE(NotTaken(list), QStringList());
    }

    // Without its first volume a set cannot be read: its later volumes say which one is missing.
    void setWithoutItsFirstVolume()
    {
        if (!zelvano::test::HaveRarCommand())
            QSKIP("the rar command is not installed");
        QTemporaryDir dir;
        const QString tree = dir.filePath(QStringLiteral("tree"));
        const QStringList volumes = MakeRarVolumeSet(tree, QStringLiteral("Trip"), SetPictures(), 40);
        QCOMPARE(volumes.size(), 3);
        QVERIFY(QFile::remove(volumes.front()));
        CXArchiveList list;
        Scan(list, tree);
        QCOMPARE(list.m_arrArchives.size(), 0);
        QStringList reasons = Reasons(list);
        reasons.sort();
        QCOMPARE(reasons, (QStringList{QStringLiteral("Trip.part2.rar: Volume missing: Trip.part1.rar"),
                                       QStringLiteral("Trip.part3.rar: Volume missing: Trip.part1.rar")}));
    }

    // Only "name.partN.rar" names a volume, and only when the archive's header says it is one: ".part" in
    // a longer word, in a folder name, or on an archive that is a whole one is an ordinary archive.
    void ordinaryArchivesNamedLikeVolumes()
    {
        QTemporaryDir dir;
        const QString tree = dir.filePath(QStringLiteral("tree"));
        const QByteArray rar = CraftedRar({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
        QVERIFY(!rar.isEmpty());
        const QStringList names{QStringLiteral("Birthday.party.rar"), QStringLiteral("my.party/x.rar"),
                                QStringLiteral("my.party/y.part1.rar"), QStringLiteral("x.part2.rar"),
                                QStringLiteral("z.part003.rar")};
        for (const QString& name : names)
            QVERIFY(WriteFile(tree + QLatin1Char('/') + name, rar));
        CXArchiveList list;
        Scan(list, tree);
        QStringList found;
        for (const CXArchiveFile& archive : list.m_arrArchives) {
            found << archive.m_strPath.mid(tree.size() + 1);
            QCOMPARE(archive.m_nPhotoCount, 2);
            QCOMPARE(archive.m_nFileSize, quint64(rar.size()));
            QVERIFY(archive.m_arrVolumes.isEmpty());
        }
        QCOMPARE(found, names);
        QCOMPARE(Reasons(list), QStringList());
        QCOMPARE(NotTaken(list), QStringList());
    }

    void volumeNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("volumeName");
        QTest::addColumn<QString>("first");
        QTest::newRow("part2") << "/p/Trip.part2.rar" << true << "/p/Trip.part1.rar";
        QTest::newRow("part07") << "/p/Trip.part07.rar" << true << "/p/Trip.part01.rar";
        QTest::newRow("PART010") << "/p/Trip.PART010.RAR" << true << "/p/Trip.PART001.RAR";
        QTest::newRow("party") << "/p/Birthday.party.rar" << false << "/p/Birthday.party.rar";
        QTest::newRow("party folder") << "/p/my.party/x.rar" << false << "/p/my.party/x.rar";
        QTest::newRow("part folder") << "/p/my.part1.rar/x.rar" << false << "/p/my.part1.rar/x.rar";
        QTest::newRow("part alone") << "/p/.part1.rar" << false << "/p/.part1.rar";
        QTest::newRow("no digits") << "/p/Trip.part.rar" << false << "/p/Trip.part.rar";
        QTest::newRow("r00") << "/p/Trip.r00" << false << "/p/Trip.rar";
        QTest::newRow("r123") << "/p/Trip.r123" << false << "/p/Trip.rar";
        QTest::newRow("rtf") << "/p/Trip.rtf" << false << "/p/Trip.rtf";
    }

    void volumeNames()
    {
        QFETCH(QString, path);
        QFETCH(bool, volumeName);
        QFETCH(QString, first);
        QCOMPARE(IsRarVolumeName(path), volumeName);
        QCOMPARE(FirstVolumeName(path), first);
        if (path.endsWith(QLatin1String(".rar"), Qt::CaseInsensitive))
            QCOMPARE(GetArchiveType(path), 1);
    }

    // The ".zip" of a split set says why it is not read; its ".z01" parts are not listed on their own.
    void splitZipSet()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty())
            QSKIP("the zip command is not installed");
        QTemporaryDir dir;
        const QString tree = dir.filePath(QStringLiteral("tree"));
        QTemporaryDir source;
        for (const auto& [name, bytes] : SetPictures())
            QVERIFY(WriteFile(source.filePath(name), bytes));
        QVERIFY(QDir().mkpath(tree));
        QProcess zip;
        zip.setWorkingDirectory(source.path());
        zip.start(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-0"), QStringLiteral("-s"),
                                          QStringLiteral("64k"), tree + QStringLiteral("/Trip.zip"),
                                          QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg")});
        QVERIFY(zip.waitForFinished(60000));
        QCOMPARE(zip.exitCode(), 0);
        QVERIFY(QFileInfo::exists(tree + QStringLiteral("/Trip.z01")));
        // The same last part alone, without its ".z01": the end record tells.
        QVERIFY(QFile::copy(tree + QStringLiteral("/Trip.zip"), tree + QStringLiteral("/alone/Lone.zip")) ||
                (QDir().mkpath(tree + QStringLiteral("/alone")) &&
                 QFile::copy(tree + QStringLiteral("/Trip.zip"), tree + QStringLiteral("/alone/Lone.zip"))));

        CXArchiveList list;
        Scan(list, tree);
        QCOMPARE(list.m_arrArchives.size(), 0);
        QStringList reasons = Reasons(list);
        reasons.sort();
        QCOMPARE(reasons, (QStringList{QStringLiteral("Lone.zip: Split ZIP sets are not supported"),
                                       QStringLiteral("Trip.zip: Split ZIP sets are not supported")}));
        QCOMPARE(NotTaken(list), QStringList());
        QVERIFY(IsSplitZip(tree + QStringLiteral("/Trip.zip")));
        QVERIFY(!IsSplitZip(QStringLiteral("/nowhere/none.zip")));
    }
};

QTEST_GUILESS_MAIN(TestVolumeSets)
#include "tst_volumesets.moc"
