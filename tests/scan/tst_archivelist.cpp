#include "platform/pathcompare.h"
#include "scan/archivelist.h"
#include "support/testenv.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

CXArchiveFile Record(const QString& path, int photos = 1)
{
    CXArchiveFile a;
    a.m_strPath = path;
    a.m_nPhotoCount = photos;
    return a;
}

QStringList Paths(const CXArchiveList& list)
{
    QStringList paths;
    for (const CXArchiveFile& a : list.m_arrArchives)
        paths << a.m_strPath;
    return paths;
}

} // namespace

class TestArchiveList : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void archivesComeOutInPathOrderIgnoringCase()
    {
        CXArchiveList list;
        QCOMPARE(list.AddArchive(Record(QStringLiteral("/p/b.zip"))), 0);
        QCOMPARE(list.AddArchive(Record(QStringLiteral("/p/A.zip"))), 0);
        QCOMPARE(list.AddArchive(Record(QStringLiteral("/p/c.rar"))), 2);
        QCOMPARE(list.AddArchive(Record(QStringLiteral("/q/a.zip"))), 3);
        QCOMPARE(Paths(list), (QStringList{QStringLiteral("/p/A.zip"), QStringLiteral("/p/b.zip"),
                                           QStringLiteral("/p/c.rar"), QStringLiteral("/q/a.zip")}));
    }

    void samePathKeepsTheFirstRecord()
    {
        CXArchiveList list;
        list.AddArchive(Record(QStringLiteral("/p/a.zip")));
        list.AddArchive(Record(QStringLiteral("/p/Trip.zip"), 3));
        QCOMPARE(list.AddArchive(Record(QStringLiteral("/p/Trip.zip"), 9)), 1);
        QCOMPARE(list.m_arrArchives.size(), 2);
        QCOMPARE(list.m_arrArchives.at(1).m_nPhotoCount, 3);
    }

    // Paths differing only in case are two archives where the file system tells them apart (Linux), and
    // one where it does not (Windows). Either way the list stays in case-insensitive order.
    void pathsDifferingOnlyInCaseFollowTheFileSystem()
    {
        CXArchiveList list;
        list.AddArchive(Record(QStringLiteral("/p/a.zip")));
        list.AddArchive(Record(QStringLiteral("/p/Trip.zip"), 3));
        list.AddArchive(Record(QStringLiteral("/p/z.zip")));
        const int index = list.AddArchive(Record(QStringLiteral("/p/trip.zip"), 9));
        list.AddArchive(Record(QStringLiteral("/p/TRIP.zip"), 5));
        if (zelvano::platform::FileNameCaseSensitivity() == Qt::CaseSensitive) {
            QCOMPARE(Paths(list), (QStringList{QStringLiteral("/p/a.zip"), QStringLiteral("/p/TRIP.zip"),
                                               QStringLiteral("/p/Trip.zip"), QStringLiteral("/p/trip.zip"),
                                               QStringLiteral("/p/z.zip")}));
            QCOMPARE(index, 2);
            QCOMPARE(list.AddArchive(Record(QStringLiteral("/p/trip.zip"))), 3);
            QCOMPARE(list.m_arrArchives.at(3).m_nPhotoCount, 9);
        } else {
            QCOMPARE(Paths(list), (QStringList{QStringLiteral("/p/a.zip"), QStringLiteral("/p/Trip.zip"),
                                               QStringLiteral("/p/z.zip")}));
            QCOMPARE(index, 1);
            QCOMPARE(list.m_arrArchives.at(1).m_nPhotoCount, 3);
        }
    }

    void copiedRecordOwnsItsFailedItems()
    {
        CXArchiveFile first = Record(QStringLiteral("/p/a.zip"));
        CXArchiveItem item;
        item.m_strName = QStringLiteral("a.jpg");
        item.m_nResult = 7;
        first.m_arrFailedItems.append(item);
        CXArchiveFile copy = first;
        QCOMPARE(copy.m_arrFailedItems, first.m_arrFailedItems);
        copy.m_arrFailedItems[0].m_strName = QStringLiteral("b.jpg");
        copy.m_arrFailedItems.append(item);
        QCOMPARE(first.m_arrFailedItems.size(), 1);
        QCOMPARE(first.m_arrFailedItems.at(0).m_strName, QStringLiteral("a.jpg"));

        CXArchiveList list;
        list.AddArchive(first);
        first.m_arrFailedItems.clear();
        QCOMPARE(list.m_arrArchives.at(0).m_arrFailedItems.size(), 1);
    }

    void skippedListKeepsDuplicatesInOrder()
    {
        CXArchiveList list;
        list.m_arrSkipped.InsertSorted(QStringLiteral("/p/b.zip"));
        list.m_arrSkipped.InsertSorted(QStringLiteral("/p/a.zip"));
        list.m_arrSkipped.InsertSorted(QStringLiteral("/p/B.ZIP"));
        QCOMPARE(list.m_arrSkipped.size(), 3);
        QCOMPARE(list.m_arrSkipped.at(0), QStringLiteral("/p/a.zip"));
        QCOMPARE(list.m_arrSkipped.at(1).toLower(), QStringLiteral("/p/b.zip"));
        QCOMPARE(list.m_arrSkipped.at(2).toLower(), QStringLiteral("/p/b.zip"));
    }

    void resetForScanEmptiesEverything()
    {
        CXArchiveList list;
        list.AddArchive(Record(QStringLiteral("/p/a.zip")));
        list.m_arrInvalid.append(CXFileItem{QStringLiteral("x.zip"), QStringLiteral("/p/x.zip"), -1});
        list.m_arrSkipped.InsertSorted(QStringLiteral("/p/y.zip"));
        list.m_nZipCount = 3;
        list.m_nRarCount = 2;
        list.ResetForScan();
        QVERIFY(list.m_arrArchives.isEmpty());
        QVERIFY(list.m_arrInvalid.isEmpty());
        QVERIFY(list.m_arrSkipped.isEmpty());
        QCOMPARE(list.m_nZipCount + list.m_nRarCount, 0);
    }

    void initFromPathOfAVanishedFileKeepsTheNames()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Trip.zip"));
        CXArchiveFile a;
        a.InitFromPath(path);
        QCOMPARE(a.m_strPath, path);
        QCOMPARE(a.m_strFolder, dir.path() + QLatin1Char('/'));
        QCOMPARE(a.m_strFileName, QStringLiteral("Trip.zip"));
        QCOMPARE(a.m_nFileSize, quint64(0));
        QCOMPARE(a.m_tmCreated, qint64(0));
        QCOMPARE(a.m_nArchiveType, 0);

        QVERIFY(zelvano::test::WriteFile(path, QByteArray(1234, 'z')));
        a.InitFromPath(path);
        QCOMPARE(a.m_nFileSize, quint64(1234));
        QVERIFY(a.m_tmCreated > 0);
    }

    void archiveTypeByName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("type");
        QTest::newRow("zip") << QStringLiteral("/p/Trip.zip") << 0;
        QTest::newRow("upper-case zip") << QStringLiteral("/p/Trip.2010.ZIP") << 0;
        QTest::newRow("upper-case rar") << QStringLiteral("/p/TRIP.RAR") << 1;
        // A volume name is a RAR archive by name; its header tells a set's later volume from an archive.
        QTest::newRow("rar volume part1") << QStringLiteral("/p/Holiday.part1.rar") << 1;
        QTest::newRow("rar volume part2") << QStringLiteral("/p/Holiday.part2.rar") << 1;
        QTest::newRow("rar volume part01, upper case") << QStringLiteral("/p/Holiday.PART01.RAR") << 1;
        QTest::newRow("party in the name") << QStringLiteral("/p/birthday.party.rar") << 1;
        QTest::newRow(".part in a folder name") << QStringLiteral("/p/Mum.Party/holiday.rar") << 1;
        QTest::newRow("volume pattern in a folder name") << QStringLiteral("/p/x.part1.rar/holiday.rar") << 1;
        QTest::newRow(".part without digits") << QStringLiteral("/p/holiday.part.rar") << 1;
        QTest::newRow("letters after .part") << QStringLiteral("/p/holiday.part1a.rar") << 1;
        QTest::newRow("no name before .part") << QStringLiteral("/p/.part1.rar") << 1;
        QTest::newRow("upper-case rar in a dotted folder") << QStringLiteral("/p.q/TRIP.RAR") << 1;
        QTest::newRow("old-style volume") << QStringLiteral("/p/Holiday.r00") << -1;
        QTest::newRow("dot in the folder only") << QStringLiteral("/p/trip.zip/readme") << -1;
        QTest::newRow("no extension") << QStringLiteral("/p/zip") << -1;
        QTest::newRow("zip inside a longer extension") << QStringLiteral("/p/a.zipx") << -1;
    }
    void archiveTypeByName()
    {
        QFETCH(QString, path);
        QFETCH(int, type);
        QCOMPARE(GetArchiveType(path), type);
    }

    void countsAndClearing()
    {
        CXArchiveList list;
        list.AddArchive(Record(QStringLiteral("/p/a.zip")));
        list.AddArchive(Record(QStringLiteral("/p/b.zip")));
        list.m_arrArchives[0].m_bRemoved = 1;
        list.m_arrArchives[1].m_arrFailedItems.append(CXArchiveItem());
        QCOMPARE(list.CountActiveArchives(), 1);
        QCOMPARE(list.ClearFailedItems(), 2);
        QVERIFY(list.m_arrArchives.at(1).m_arrFailedItems.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestArchiveList)
#include "tst_archivelist.moc"
