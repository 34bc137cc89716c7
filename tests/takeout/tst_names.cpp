#include "takeout/exportname.h"
#include "takeout/sidecarnames.h"

#include <QtTest>

class TestTakeoutNames : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void partNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("tarball");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("part");

        const QString key = QStringLiteral("20240601T101500Z");
        QTest::newRow("first part") << "takeout-20240601T101500Z-001.zip" << true << false << key << 1;
        QTest::newRow("fourteenth") << "takeout-20240601T101500Z-014.zip" << true << false << key << 14;
        QTest::newRow("past 999") << "takeout-20240601T101500Z-1203.zip" << true << false << key << 1203;
        QTest::newRow("in a folder") << "/home/a/Downloads/takeout-20240601T101500Z-002.zip" << true << false << key
                                     << 2;
        QTest::newRow("extension case") << "takeout-20240601T101500Z-003.ZIP" << true << false << key << 3;
        QTest::newRow("tgz") << "takeout-20240601T101500Z-001.tgz" << true << true << key << 1;
        QTest::newRow("tar.gz") << "takeout-20240601T101500Z-002.tar.gz" << true << true << key << 2;
        QTest::newRow("capitalised prefix") << "Takeout-20240601T101500Z-001.zip" << false << false << "" << 0;
        QTest::newRow("lower-case t") << "takeout-20240601t101500z-001.zip" << false << false << "" << 0;
        QTest::newRow("no part") << "takeout-20240601T101500Z.zip" << false << false << "" << 0;
        QTest::newRow("two-digit part") << "takeout-20240601T101500Z-01.zip" << false << false << "" << 0;
        QTest::newRow("part zero") << "takeout-20240601T101500Z-000.zip" << false << false << "" << 0;
        QTest::newRow("no such day") << "takeout-20240231T101500Z-001.zip" << false << false << "" << 0;
        QTest::newRow("no such hour") << "takeout-20240601T251500Z-001.zip" << false << false << "" << 0;
        QTest::newRow("rar") << "takeout-20240601T101500Z-001.rar" << false << false << "" << 0;
        QTest::newRow("copy by a browser") << "takeout-20240601T101500Z-001 (1).zip" << false << false << "" << 0;
        QTest::newRow("other archive") << "holiday-2024.zip" << false << false << "" << 0;
    }
    void partNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QFETCH(bool, tarball);
        QFETCH(QString, key);
        QFETCH(int, part);
        const CXTakeoutPartName parsed = ParseTakeoutPartName(name);
        QCOMPARE(parsed.m_bValid, valid);
        QCOMPARE(parsed.m_bTarball, tarball);
        QCOMPARE(parsed.m_strKey, key);
        QCOMPARE(parsed.m_nPart, part);
    }

    void folderName_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("folder");
        QTest::newRow("export") << "20240601T101500Z"
                                << "Takeout 2024-06-01";
        QTest::newRow("new year") << "20250101T000001Z"
                                  << "Takeout 2025-01-01";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("not a date") << "20241301T101500Z"
                                    << "";
    }
    void folderName()
    {
        QFETCH(QString, key);
        QFETCH(QString, folder);
        QCOMPARE(TakeoutFolderName(key), folder);
    }

    // Picture names against sidecar names as exports hold them.
    void sidecarOfPicture_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("sidecar");
        QTest::addColumn<bool>("belongs");

        QTest::newRow("classic") << "IMG_1234.JPG"
                                 << "IMG_1234.JPG.json" << true;
        QTest::newRow("supplemental") << "IMG_1234.JPG"
                                      << "IMG_1234.JPG.supplemental-metadata.json" << true;
        QTest::newRow("supplemental just fits") << "IMG_20210627_121524.jpg"
                                                << "IMG_20210627_121524.jpg.supplemental-metadata.json" << true;
        QTest::newRow("suffix cut at the limit") << "PXL_20230518_173512345.MP.jpg"
                                                 << "PXL_20230518_173512345.MP.jpg.supplemental-met.json" << true;
        QTest::newRow("suffix cut: metada") << "IMG_1234.JPG"
                                            << "IMG_1234.JPG.supplemental-metada.json" << true;
        QTest::newRow("suffix cut: supp") << "IMG_1234.JPG"
                                          << "IMG_1234.JPG.supp.json" << true;
        QTest::newRow("suffix cut: s") << "IMG_1234.JPG"
                                       << "IMG_1234.JPG.s.json" << true;
        QTest::newRow("suffix cut after the dot") << "IMG_1234.JPG"
                                                  << "IMG_1234.JPG..json" << true;
        QTest::newRow("title cut at 46") << "Screenshot_20220315-142530_Google Play Store.jpg"
                                         << "Screenshot_20220315-142530_Google Play Store.j.json" << true;
        QTest::newRow("title cut at 51") << "20200815_Familienfeier_bei_Oma_und_Opa_im_Garten_001.jpg"
                                         << "20200815_Familienfeier_bei_Oma_und_Opa_im_Garten_00.json" << true;
        QTest::newRow("title and suffix cut at 51")
            << "Urlaub_2019_Sardinien_Strand_Sonnenuntergang.jpg"
            << "Urlaub_2019_Sardinien_Strand_Sonnenuntergang.jpg.su.json" << true;
        QTest::newRow("counter after the extension") << "IMG_1234(1).JPG"
                                                     << "IMG_1234.JPG(1).json" << true;
        QTest::newRow("counter after the suffix") << "IMG_1234(2).JPG"
                                                  << "IMG_1234.JPG.supplemental-metadata(2).json" << true;
        QTest::newRow("counter after a cut title") << "original_1d4caa6f-16c6-4c3d-901b-9387de10e528_P(1).jpg"
                                                   << "original_1d4caa6f-16c6-4c3d-901b-9387de10e528_(1).json" << true;
        QTest::newRow("counter that is part of the name") << "Photo(3).jpg"
                                                          << "Photo(3).jpg.json" << true;
        QTest::newRow("edited") << "IMG_1234-edited.JPG"
                                << "IMG_1234.JPG.json" << true;
        QTest::newRow("bearbeitet") << "IMG_1234-bearbeitet.jpg"
                                    << "IMG_1234.jpg.supplemental-metadata.json" << true;
        QTest::newRow("modifié") << "IMG_1234-modifié.jpg"
                                 << "IMG_1234.jpg.supplemental-me.json" << true;
        QTest::newRow("edited with a counter") << "IMG_1234-edited(1).jpg"
                                               << "IMG_1234.jpg(1).json" << true;
        QTest::newRow("edited keeps its own first") << "IMG_1234-edited.JPG"
                                                    << "IMG_1234-edited.JPG.json" << true;
        QTest::newRow("without extension") << "IMG_1234.jpg"
                                           << "IMG_1234.json" << true;
        QTest::newRow("case") << "img_1234.jpg"
                              << "IMG_1234.JPG.json" << true;
        QTest::newRow("folders ignored") << "Takeout/Google Photos/Trip/IMG_1.jpg"
                                         << "Trip/IMG_1.jpg.json" << true;

        QTest::newRow("other picture") << "IMG_1234.JPG"
                                       << "IMG_1235.JPG.json" << false;
        QTest::newRow("prefix of another name") << "IMG_12.JPG"
                                                << "IMG_1234.JPG.json" << false;
        QTest::newRow("longer name") << "IMG_1234.JPG"
                                     << "IMG_1234.JPG.MP4.json" << false;
        QTest::newRow("copy does not take the original's") << "IMG_1234(1).JPG"
                                                           << "IMG_1234.JPG.json" << false;
        QTest::newRow("original does not take the copy's") << "IMG_1234.JPG"
                                                           << "IMG_1234.JPG(1).json" << false;
        QTest::newRow("other counter") << "IMG_1234(1).JPG"
                                       << "IMG_1234.JPG(2).json" << false;
        QTest::newRow("short name not cut") << "IMG_1234.JPG"
                                            << "IMG_1234.J.json" << false;
        QTest::newRow("cut title off the limit") << "Screenshot_20220315-142530_Google Play Store.jpg"
                                                 << "Screenshot_20220315-142530_Google Play Sto.json" << false;
        QTest::newRow("original does not take the edit's") << "IMG_1234.JPG"
                                                           << "IMG_1234-edited.JPG.json" << false;
        QTest::newRow("not json") << "IMG_1234.JPG"
                                  << "IMG_1234.JPG.xmp" << false;
        QTest::newRow("other suffix") << "IMG_1234.JPG"
                                      << "IMG_1234.JPG.metadata.json" << false;
    }
    void sidecarOfPicture()
    {
        QFETCH(QString, picture);
        QFETCH(QString, sidecar);
        QFETCH(bool, belongs);
        QCOMPARE(SidecarBelongsTo(sidecar, picture), belongs);
    }

    // The most likely names come first, and no name twice.
    void candidatesOrder()
    {
        QStringList names = SidecarCandidates(QStringLiteral("IMG_1234-edited(1).JPG"));
        QCOMPARE(names.first(), QStringLiteral("IMG_1234-edited(1).JPG.supplemental-metadata.json"));
        QCOMPARE(names.at(1), QStringLiteral("IMG_1234-edited(1).JPG.json"));
        QCOMPARE(names.removeDuplicates(), 0);
        QVERIFY(names.indexOf(QStringLiteral("IMG_1234-edited.JPG(1).json")) <
                names.indexOf(QStringLiteral("IMG_1234.JPG(1).json")));
        QVERIFY(SidecarCandidates(QString()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTakeoutNames)
#include "tst_names.moc"
