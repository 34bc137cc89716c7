#include "takeout/takeoutplan.h"

#include <QtTest>

namespace {

bool IsPicture(const QString& name)
{
    const QString n = name.toLower();
    return n.endsWith(QLatin1String(".jpg")) || n.endsWith(QLatin1String(".jpeg")) ||
           n.endsWith(QLatin1String(".heic")) || n.endsWith(QLatin1String(".png"));
}

QStringList Prefixed(const QString& folder, const QStringList& names)
{
    QStringList paths;
    for (const QString& n : names)
        paths << (n.endsWith(QLatin1Char('/')) && n.size() == 1 ? folder : folder + n);
    return paths;
}

} // namespace

using PartList = QList<QStringList>;

class TestTakeoutPlan : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The photos folder is found by its sidecars, whatever its translated name.
    void photosFolder_data()
    {
        QTest::addColumn<PartList>("parts");
        QTest::addColumn<QString>("folder");

        const QStringList album{QStringLiteral("Trip/"), QStringLiteral("Trip/IMG_1.jpg"),
                                QStringLiteral("Trip/IMG_1.jpg.json"), QStringLiteral("Trip/IMG_2.jpg")};
        for (const char* name : {"Google Photos", "Google Fotos", "Google Foto", "Google Φωτογραφίες", "Google フォト",
                                 "Zdjęcia Google"}) {
            const QString folder = QStringLiteral("Takeout/%1/").arg(QString::fromUtf8(name));
            QTest::newRow(name) << PartList{Prefixed(folder, album)} << folder;
        }
        QTest::newRow("sidecar in another part")
            << PartList{{QStringLiteral("Takeout/Google Fotos/Trip/IMG_1.jpg")},
                        {QStringLiteral("Takeout/Google Fotos/Trip/IMG_1.jpg.supplemental-metadata.json")}}
            << QStringLiteral("Takeout/Google Fotos/");
        QTest::newRow("the folder with pictures and sidecars wins")
            << PartList{{QStringLiteral("Takeout/Drive/notes.json"), QStringLiteral("Takeout/Drive/a.jpg"),
                         QStringLiteral("Takeout/Google Photos/x/a.jpg"),
                         QStringLiteral("Takeout/Google Photos/x/a.jpg.json"),
                         QStringLiteral("Takeout/Google Photos/x/b.jpg"),
                         QStringLiteral("Takeout/Google Photos/x/b.jpg.json")}}
            << QStringLiteral("Takeout/Google Photos/");
        QTest::newRow("named right but no sidecars")
            << PartList{{QStringLiteral("Takeout/Google Photos/Trip/IMG_1.jpg")}} << QString();
        QTest::newRow("sidecars without pictures")
            << PartList{{QStringLiteral("Takeout/Google Photos/Trip/metadata.json"),
                         QStringLiteral("Takeout/Google Photos/Trip/IMG_1.MP4")}}
            << QString();
        QTest::newRow("not under Takeout") << PartList{Prefixed(QStringLiteral("Google Photos/"), album)} << QString();
        QTest::newRow("sidecar in another folder")
            << PartList{{QStringLiteral("Takeout/Google Photos/A/IMG_1.jpg"),
                         QStringLiteral("Takeout/Google Photos/B/IMG_1.jpg.json")}}
            << QString();
        QTest::newRow("empty") << PartList{} << QString();
    }
    void photosFolder()
    {
        QFETCH(PartList, parts);
        QFETCH(QString, folder);
        QCOMPARE(FindTakeoutPhotosFolder(parts, IsPicture), folder);
    }

    // Three parts as Google cuts an export: sidecars and pictures land in different parts, a picture
    // appears in two albums, edited copies and counters share or own sidecars, one picture has none.
    void plan()
    {
        const QString root = QStringLiteral("Takeout/Google Fotos/");
        CXTakeoutPlan plan;
        plan.AddPart(
            Prefixed(root, {QStringLiteral("/"), QStringLiteral("Urlaub 2019/"),
                            QStringLiteral("Urlaub 2019/IMG_1.jpg"), QStringLiteral("Urlaub 2019/IMG_1-bearbeitet.jpg"),
                            QStringLiteral("Urlaub 2019/IMG_2(1).jpg"), QStringLiteral("Urlaub 2019/metadata.json")}));
        plan.AddPart(Prefixed(
            root, {QStringLiteral("Urlaub 2019/IMG_1.jpg.supplemental-meta.json"),
                   QStringLiteral("Urlaub 2019/IMG_2.jpg(1).json"), QStringLiteral("Urlaub 2019/IMG_3.jpg"),
                   QStringLiteral("Photos from 2019/IMG_1.jpg"), QStringLiteral("Photos from 2019/IMG_1.jpg.json"),
                   QStringLiteral("Photos from 2019/clip.mp4")}));
        plan.AddPart({QStringLiteral("Takeout/archive_browser.html"), QStringLiteral("Takeout/Drive/x.jpg")});
        plan.Build(IsPicture);

        QCOMPARE(plan.PhotosFolder(), root);
        QVERIFY(plan.IsExport());
        QCOMPARE(plan.PictureCount(), 5);
        QCOMPARE(plan.SidecarOf({0, 2}), (CXTakeoutEntryRef{1, 0}));
        QCOMPARE(plan.SidecarOf({0, 3}), (CXTakeoutEntryRef{1, 0})); // the edit shares its original's
        QCOMPARE(plan.SidecarOf({0, 4}), (CXTakeoutEntryRef{1, 1}));
        QCOMPARE(plan.SidecarOf({1, 3}), (CXTakeoutEntryRef{1, 4})); // the same picture in a second album
        QVERIFY(!plan.SidecarOf({1, 2}).IsValid());
        QCOMPARE(plan.PicturesWithoutSidecar(), (QList<CXTakeoutEntryRef>{{1, 2}}));
        QCOMPARE(plan.EntryPath({1, 2}), root + QStringLiteral("Urlaub 2019/IMG_3.jpg"));

        QVERIFY(plan.IsSidecar({1, 0}));
        QVERIFY(plan.IsSidecar({1, 4}));
        QVERIFY(!plan.IsSidecar({0, 5})); // an album's own metadata belongs to no picture
        QVERIFY(!plan.IsSidecar({0, 2}));
        QVERIFY(!plan.IsPlannedPicture({2, 1})); // outside the photos folder
        QVERIFY(!plan.IsPlannedPicture({1, 5}));
        QVERIFY(plan.IsPlannedPicture({0, 3}));
    }

    void notAnExport()
    {
        CXTakeoutPlan plan;
        plan.AddPart({QStringLiteral("Holiday/IMG_1.jpg"), QStringLiteral("Holiday/IMG_1.jpg.json")});
        plan.Build(IsPicture);
        QVERIFY(!plan.IsExport());
        QCOMPARE(plan.PictureCount(), 0);
        QVERIFY(plan.PicturesWithoutSidecar().isEmpty());
        QVERIFY(!plan.SidecarOf({0, 0}).IsValid());
        QVERIFY(plan.EntryPath({3, 0}).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTakeoutPlan)
#include "tst_plan.moc"
