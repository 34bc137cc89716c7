// The shared rules for names from archives and the paths written from them.
#include "archive/pathrules.h"

#include <QDir>
#include <QtTest>

using namespace zelvano::pathrules;

Q_DECLARE_METATYPE(zelvano::pathrules::NameCheck)

namespace {

QStringList L(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* t : texts)
        list << QString::fromUtf8(t);
    return list;
}

} // namespace

class TestPathRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void entryNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<NameCheck>("check");
        QTest::addColumn<QStringList>("parts");

        const auto outside = NameCheck::LeadsOutside;
        const auto control = NameCheck::ControlCharacters;
        const auto relative = NameCheck::Relative;
        // clang-format off
        QTest::newRow("plain name")                    << QStringLiteral("a/b.jpg")           << relative << L({"a", "b.jpg"});
        QTest::newRow("backslash separates too")       << QStringLiteral("a\\b\\c.jpg")       << relative << L({"a", "b", "c.jpg"});
        QTest::newRow("empty and dot parts dropped")   << QStringLiteral("./a//./b.jpg")      << relative << L({"a", "b.jpg"});
        QTest::newRow("folder name with a slash")      << QStringLiteral("Album/")            << relative << L({"Album"});
        QTest::newRow("dots inside a name")            << QStringLiteral("a..b/c..jpg")       << relative << L({"a..b", "c..jpg"});
        QTest::newRow("colon inside a name")           << QStringLiteral("12:30/x.jpg")       << relative << L({"12:30", "x.jpg"});
        QTest::newRow("parent part")                   << QStringLiteral("../x.jpg")          << outside  << QStringList();
        QTest::newRow("parent part deeper down")       << QStringLiteral("a/../../x.jpg")     << outside  << QStringList();
        QTest::newRow("parent behind backslashes")     << QStringLiteral("a\\..\\x.jpg")      << outside  << QStringList();
        QTest::newRow("parent part at the end")        << QStringLiteral("a/..")              << outside  << QStringList();
        QTest::newRow("dots and a space")              << QStringLiteral(".. /x.jpg")         << outside  << QStringList();
        QTest::newRow("three dots")                    << QStringLiteral(".../x.jpg")         << outside  << QStringList();
        QTest::newRow("dot and a space")               << QStringLiteral(". /x.jpg")          << outside  << QStringList();
        QTest::newRow("spaces only")                   << QStringLiteral("a/  /x.jpg")        << outside  << QStringList();
        QTest::newRow("absolute")                      << QStringLiteral("/etc/x.jpg")        << outside  << QStringList();
        QTest::newRow("absolute with a backslash")     << QStringLiteral("\\x.jpg")           << outside  << QStringList();
        QTest::newRow("UNC")                           << QStringLiteral("\\\\server\\share\\x.jpg") << outside << QStringList();
        QTest::newRow("drive letter")                  << QStringLiteral("C:\\x.jpg")         << outside  << QStringList();
        QTest::newRow("drive-relative")                << QStringLiteral("c:x.jpg")           << outside  << QStringList();
        QTest::newRow("control character")             << QStringLiteral("a\x01/x.jpg")       << control  << QStringList();
        QTest::newRow("DEL")                           << QStringLiteral("a\x7F.jpg")         << control  << QStringList();
        QTest::newRow("NUL before a parent part")      << (QStringLiteral("x.jpg") + QChar(0) + QStringLiteral("/../y")) << control << QStringList();
        QTest::newRow("empty name")                    << QString()                           << relative << QStringList();
        // clang-format on
    }
    void entryNames()
    {
        QFETCH(QString, name);
        QFETCH(NameCheck, check);
        QFETCH(QStringList, parts);
        QStringList got{QStringLiteral("stale")};
        QCOMPARE(SplitEntryName(name, got), check);
        QCOMPARE(got, parts);
    }

    void outputPaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("safe");
        const QString root = QDir::rootPath();
        // clang-format off
        QTest::newRow("absolute")                   << root + QStringLiteral("pics/a.jpg")        << true;
        QTest::newRow("relative")                   << QStringLiteral("pics/a.jpg")               << false;
        QTest::newRow("empty")                      << QString()                                  << false;
        QTest::newRow("parent part")                << root + QStringLiteral("pics/../a.jpg")     << false;
        QTest::newRow("parent behind a backslash")  << root + QStringLiteral("pics\\..\\a.jpg")   << false;
        QTest::newRow("dots and a space")           << root + QStringLiteral("pics/.. /a.jpg")    << false;
        QTest::newRow("control character")          << root + QStringLiteral("pics/a\x01.jpg")    << false;
        QTest::newRow("dot part is harmless")       << root + QStringLiteral("pics/./a.jpg")      << true;
        // clang-format on
    }
    void outputPaths()
    {
        QFETCH(QString, path);
        QFETCH(bool, safe);
        QCOMPARE(IsSafeOutputPath(path), safe);
    }
};

QTEST_GUILESS_MAIN(TestPathRules)
#include "tst_pathrules.moc"
