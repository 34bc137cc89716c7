#include "settings/titlecase.h"

#include <QtTest>

class TestTitleCase : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void makeTitleCase_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("bangToSpace");
        QTest::addColumn<QString>("expected");

        // clang-format off
        QTest::newRow("empty stays empty")                     << QString()                        << true  << QString();
        QTest::newRow("only separators give empty")            << QStringLiteral("  ()[]{} _ ")     << true  << QString();
        QTest::newRow("underscore, brackets and bang")         << QStringLiteral("my_holiday (2010)!") << true << QStringLiteral("My Holiday 2010");
        QTest::newRow("bang kept when switched off")           << QStringLiteral("wow! pics")      << false << QStringLiteral("Wow! Pics");
        QTest::newRow("short word keeps its case, & spaced")   << QStringLiteral("TOM&jerry - beach-party") << true << QStringLiteral("TOM & Jerry - Beach Party");
        QTest::newRow("underscore splits words")               << QStringLiteral("dsc_0001")       << true  << QStringLiteral("Dsc 0001");
        QTest::newRow("three letters only first raised")       << QStringLiteral("usa")            << true  << QStringLiteral("Usa");
        QTest::newRow("three capitals stay")                   << QStringLiteral("USA")            << true  << QStringLiteral("USA");
        QTest::newRow("long capitals are lowered")             << QStringLiteral("HOLIDAY PICS")   << true  << QStringLiteral("Holiday Pics");
        QTest::newRow("Mc raises the next letter")             << QStringLiteral("mcdonald farm")  << true  << QStringLiteral("McDonald Farm");
        QTest::newRow("bare Mc does not index past the end")   << QStringLiteral("mc")             << true  << QStringLiteral("Mc");
        QTest::newRow("hyphen between words becomes a space")  << QStringLiteral("x-ray")          << true  << QStringLiteral("X Ray");
        QTest::newRow("double hyphen leaves no double space")  << QStringLiteral("x--ray")         << true  << QStringLiteral("X Ray");
        QTest::newRow("leading hyphen is dropped")             << QStringLiteral("-party")         << true  << QStringLiteral("Party");
        QTest::newRow("spaced dash is kept")                   << QStringLiteral("a - b")          << true  << QStringLiteral("A - B");
        QTest::newRow("runs of spaces collapse")               << QStringLiteral("  big     set  ") << true << QStringLiteral("Big Set");
        QTest::newRow("dollar and percent become spaces")      << QStringLiteral("50%off$deal")    << true  << QStringLiteral("50 Off Deal");
        QTest::newRow("hash and pipe become spaces")           << QStringLiteral("set#1|set#2")    << true  << QStringLiteral("Set 1 Set 2");
        QTest::newRow("non-ASCII words are lowered, raised")   << QStringLiteral("ÉTÉS À PARIS")   << true  << QStringLiteral("Étés À Paris");
        // clang-format on
    }
    void makeTitleCase()
    {
        QFETCH(QString, text);
        QFETCH(bool, bangToSpace);
        QFETCH(QString, expected);
        QCOMPARE(MakeTitleCase(text, bangToSpace), expected);
    }
};

QTEST_GUILESS_MAIN(TestTitleCase)
#include "tst_titlecase.moc"
