#include "settings/imagefilter.h"
#include "settings/settings.h"

#include <QtTest>

class TestImageFilter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void matchesExtensionList_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("list");
        QTest::addColumn<bool>("matches");

        const QString defaults = QStringLiteral(".jpg;.jpeg;.bmp;.png;.gif;.tif;.tiff;");
        // clang-format off
        QTest::newRow("upper-case name in a folder")      << QStringLiteral("Holiday/IMG_01.JPG")  << defaults << true;
        QTest::newRow("backslash folder")                  << QStringLiteral("Holiday\\IMG_01.jpg") << defaults << true;
        QTest::newRow("no extension")                      << QStringLiteral("README")              << defaults << false;
        QTest::newRow("dot only in the folder name")       << QStringLiteral("photos.jpg/README")   << defaults << false;
        QTest::newRow("dot only before a drive colon")     << QStringLiteral("a.jpg:README")        << defaults << false;
        QTest::newRow("prefix of an item is no match")     << QStringLiteral("scan.jpe")            << defaults << false;
        QTest::newRow("one letter of an item")             << QStringLiteral("a.j")                 << defaults << false;
        QTest::newRow("two letters of an item")            << QStringLiteral("a.pn")                << defaults << false;
        QTest::newRow("start of .tif")                     << QStringLiteral("a.t")                 << defaults << false;
        QTest::newRow("end of an item")                    << QStringLiteral("a.peg")               << defaults << false;
        QTest::newRow("last item without semicolon")       << QStringLiteral("a.TIFF")              << QStringLiteral(".jpg;.tiff") << true;
        QTest::newRow("spaces around an item")             << QStringLiteral("info.nfo")            << QStringLiteral(".jpg; .nfo ;") << true;
        QTest::newRow("unlisted extension")                << QStringLiteral("notes.e")             << defaults << false;
        QTest::newRow("tiff and tif both match")           << QStringLiteral("a.tiff")              << defaults << true;
        QTest::newRow("trailing dot is no extension")      << QStringLiteral("name.")               << defaults << false;
        QTest::newRow("trailing dot, empty item in list")  << QStringLiteral("name.")               << QStringLiteral(".jpg;;.;") << false;
        QTest::newRow("trailing dot, empty list")          << QStringLiteral("name.")               << QString() << false;
        QTest::newRow("last dot counts")                   << QStringLiteral("a.jpg.txt")           << defaults << false;
        QTest::newRow("extra entry without semicolon")     << QStringLiteral("read.nfo")            << QStringLiteral(".jpg;.nfo") << true;
        QTest::newRow("wildcard entry never matches")      << QStringLiteral("a.b")                 << QStringLiteral(".jpg;\\*;.?;") << false;
        QTest::newRow("non-ASCII extension lowered")       << QStringLiteral("bild.ÄBC")            << QStringLiteral(".äbc;") << true;
        // clang-format on
    }
    void matchesExtensionList()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, list);
        QFETCH(bool, matches);
        QCOMPARE(MatchesExtensionList(fileName, list), matches);
    }

    void toExtensionList()
    {
        QCOMPARE(ToExtensionList(QStringLiteral("*.jpg;*.jpeg;")), QStringLiteral(".jpg;.jpeg;"));
        QCOMPARE(ToExtensionList(QStringLiteral("*.jpg; *.nfo;.txt;")), QStringLiteral(".jpg; .nfo;.txt;"));
        QCOMPARE(ToExtensionList(QString()), QString());
    }

    void buildImagePatternList_data()
    {
        QTest::addColumn<int>("types"); // bits: JPEG, BMP, PNG, GIF, TIFF
        QTest::addColumn<QString>("extra");
        QTest::addColumn<QString>("patterns");

        // clang-format off
        QTest::newRow("defaults in table order")       << 0x1f << QString()
            << QStringLiteral("*.jpg;*.jpeg;*.bmp;*.png;*.gif;*.tif;*.tiff;");
        QTest::newRow("extra text lowered, outer space trimmed, inner kept") << (0x4 | 0x8)
            << QStringLiteral(" .TXT;.nfo; ") << QStringLiteral("*.png;*.gif; .txt;.nfo;");
        QTest::newRow("tiff alone")                     << 0x10 << QString() << QStringLiteral("*.tif;*.tiff;");
        // clang-format on
    }
    void buildImagePatternList()
    {
        QFETCH(int, types);
        QFETCH(QString, extra);
        QFETCH(QString, patterns);
        CXSettings s;
        s.m_bTypeJPEG = (types & 0x1) ? 1 : 0;
        s.m_bTypeBMP = (types & 0x2) ? 1 : 0;
        s.m_bTypePNG = (types & 0x4) ? 1 : 0;
        s.m_bTypeGIF = (types & 0x8) ? 1 : 0;
        s.m_bTypeTIFF = (types & 0x10) ? 1 : 0;
        s.SetExtraExtensions(extra);
        QCOMPARE(BuildImagePatternList(s), patterns);
    }

    void defaultExtensionListHasSevenEntriesInOrder()
    {
        const CXSettings s;
        QCOMPARE(ToExtensionList(BuildImagePatternList(s)), QStringLiteral(".jpg;.jpeg;.bmp;.png;.gif;.tif;.tiff;"));
    }

    void asteriskBeforeExtraEntryBehavesLikeThePlainEntry()
    {
        CXSettings s;
        s.SetExtraExtensions(QStringLiteral("*.nfo;"));
        const QString withStar = ToExtensionList(BuildImagePatternList(s));
        s.SetExtraExtensions(QStringLiteral(".nfo;"));
        const QString plain = ToExtensionList(BuildImagePatternList(s));
        QCOMPARE(withStar, plain);
        QVERIFY(MatchesExtensionList(QStringLiteral("info.NFO"), withStar));
        QVERIFY(!MatchesExtensionList(QStringLiteral("info.txt"), withStar));
    }

    void archiveExtensionList() { QCOMPARE(BuildArchiveExtensionList(), QStringLiteral(".zip;.rar;")); }
};

QTEST_GUILESS_MAIN(TestImageFilter)
#include "tst_imagefilter.moc"
