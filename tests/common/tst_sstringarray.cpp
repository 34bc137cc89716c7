#include "common/sstringarray.h"
#include "common/textcompare.h"

#include <QtTest>

namespace {

CXSStringArray Make(const QStringList& items)
{
    CXSStringArray a;
    for (const QString& s : items)
        a.InsertSorted(s);
    return a;
}

} // namespace

class TestSStringArray : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void insertKeepsCaseInsensitiveOrder()
    {
        const CXSStringArray a = Make({QStringLiteral("b.zip"), QStringLiteral("A.zip"), QStringLiteral("c.zip"),
                                       QStringLiteral("a0.zip"), QStringLiteral("B0.zip")});
        QCOMPARE(a.toStringList(),
                 (QStringList{QStringLiteral("A.zip"), QStringLiteral("a0.zip"), QStringLiteral("b.zip"),
                              QStringLiteral("B0.zip"), QStringLiteral("c.zip")}));
    }

    // Names appended out of order and put in place at once give the list one insert at a time gives.
    void appendThenSortFromMatchesInserts()
    {
        const QStringList before{QStringLiteral("m.zip"), QStringLiteral("B.zip"), QStringLiteral("x.zip")};
        const QStringList later{QStringLiteral("c.zip"), QStringLiteral("A.zip"), QStringLiteral("z.zip"),
                                QStringLiteral("n.zip"), QStringLiteral("b0.zip")};
        CXSStringArray appended = Make(before);
        for (const QString& s : later)
            appended.Append(s);
        appended.SortFrom(before.size());
        QCOMPARE(appended.toStringList(), Make(before + later).toStringList());
    }

    void find_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("index");
        const QStringList abc{QStringLiteral("apple"), QStringLiteral("Banana"), QStringLiteral("cherry")};
        // clang-format off
        QTest::newRow("empty array inserts at 0")   << QStringList{} << QStringLiteral("x")      << false << 0;
        QTest::newRow("before the first")           << abc << QStringLiteral("Aardvark")           << false << 0;
        QTest::newRow("between")                    << abc << QStringLiteral("BLUE")               << false << 2;
        QTest::newRow("after the last")             << abc << QStringLiteral("zebra")              << false << 3;
        QTest::newRow("equal ignoring case")        << abc << QStringLiteral("BANANA")             << true  << 1;
        QTest::newRow("last element found")         << abc << QStringLiteral("Cherry")             << true  << 2;
        QTest::newRow("non-ASCII case folded")      << QStringList{QStringLiteral("Ärger")} << QStringLiteral("ärger") << true << 0;
        // clang-format on
    }
    void find()
    {
        QFETCH(QStringList, items);
        QFETCH(QString, key);
        QFETCH(bool, found);
        QFETCH(int, index);
        const CXSStringArray a = Make(items);
        qsizetype at = -1;
        QCOMPARE(a.Find(key, &at), found);
        QCOMPARE(at, qsizetype(index));
        QCOMPARE(a.Contains(key), found);
    }

    void insertSortedAddsAnEqualEntryNextToIt()
    {
        CXSStringArray a = Make({QStringLiteral("a"), QStringLiteral("Photo"), QStringLiteral("z")});
        const qsizetype at = a.InsertSorted(QStringLiteral("PHOTO"));
        QCOMPARE(at, qsizetype(1));
        QCOMPARE(a.size(), qsizetype(4));
        QVERIFY(EqualsNoCase(a.at(1), a.at(2)));
        QCOMPARE(a.at(3), QStringLiteral("z"));
    }

    void compareHelpers()
    {
        QVERIFY(EqualsNoCase(QStringLiteral("C:/Photos"), QStringLiteral("c:/photos")));
        QVERIFY(CompareNoCase(QStringLiteral("a"), QStringLiteral("B")) < 0);
        QVERIFY(LessNoCase()(QStringLiteral("a"), QStringLiteral("B")));
        QVERIFY(!LessNoCase()(QStringLiteral("B"), QStringLiteral("b")));
    }
};

QTEST_GUILESS_MAIN(TestSStringArray)
#include "tst_sstringarray.moc"
