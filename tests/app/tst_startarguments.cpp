#include "app/application.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

class TestStartArguments : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void parse_data();
    void parse();
    void splash_data();
    void splash();
    void setupApplication();

private:
    QTemporaryDir m_dir;
    QString m_work; // canonical path of m_dir, the current folder during the tests
    QString m_oldCurrent;
};

void TestStartArguments::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_work = QDir(m_dir.path()).canonicalPath();
    QVERIFY(QDir(m_work).mkpath(QStringLiteral("photos 1")));
    QVERIFY(QDir(m_work).mkpath(QStringLiteral("-dash")));
    QFile archive(m_work + QStringLiteral("/album.zip"));
    QVERIFY(archive.open(QIODevice::WriteOnly));
    m_oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_work));
}

void TestStartArguments::cleanupTestCase()
{
    QDir::setCurrent(m_oldCurrent);
}

void TestStartArguments::parse_data()
{
    // "%W" stands for the current folder of the test.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("out"); // a part of what is printed on stdout
    QTest::addColumn<QString>("err"); // a part of what is printed on stderr; empty: nothing

    const QString none;
    const QString photos = QStringLiteral("%W/photos 1");
    QTest::newRow("no folder") << QStringList{} << true << 0 << none << none << none;
    QTest::newRow("empty folder argument") << QStringList{QString()} << true << 0 << none << none << none;
    QTest::newRow("absolute") << QStringList{QStringLiteral("%W/photos 1")} << true << 0 << photos << none << none;
    QTest::newRow("relative") << QStringList{QStringLiteral("photos 1")} << true << 0 << photos << none << none;
    QTest::newRow("cleaned") << QStringList{QStringLiteral("./photos 1/../photos 1/")} << true << 0 << photos << none
                             << none;
    QTest::newRow("file URL") << QStringList{QStringLiteral("file://%W/photos%201")} << true << 0 << photos << none
                              << none;
    QTest::newRow("dash name after --") << QStringList{QStringLiteral("--"), QStringLiteral("-dash")} << true << 0
                                        << QStringLiteral("%W/-dash") << none << none;
    QTest::newRow("missing folder ignored") << QStringList{QStringLiteral("gone")} << true << 0 << none << none
                                            << QStringLiteral("zelvano: No such folder: gone\n");
    QTest::newRow("file ignored") << QStringList{QStringLiteral("album.zip")} << true << 0 << none << none
                                  << QStringLiteral("zelvano: Not a folder: album.zip\n");
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << false << 0 << none << QStringLiteral("[FOLDER]")
                            << none;
    QTest::newRow("-h") << QStringList{QStringLiteral("-h")} << false << 0 << none << QStringLiteral("--version")
                        << none;
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << false << 0 << none
                               << QStringLiteral("zelvano " ZELVANO_VERSION "\n") << none;
    QTest::newRow("help wins over a folder") << QStringList{QStringLiteral("photos 1"), QStringLiteral("--help")}
                                             << false << 0 << none << QStringLiteral("[FOLDER]") << none;
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate")} << false << 2 << none << none
                                    << QStringLiteral("frobnicate");
    QTest::newRow("two folders") << QStringList{QStringLiteral("photos 1"), QStringLiteral("album.zip")} << false << 2
                                 << none << none << QStringLiteral("Only one folder");
}

void TestStartArguments::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, ok);
    QFETCH(int, exitCode);
    QFETCH(QString, folder);
    QFETCH(QString, out);
    QFETCH(QString, err);

    arguments.replaceInStrings(QStringLiteral("%W"), m_work);
    arguments.prepend(QStringLiteral("zelvano"));
    folder.replace(QStringLiteral("%W"), m_work);

    QString outText;
    QString errText;
    QTextStream outStream(&outText);
    QTextStream errStream(&errText);
    const StartArguments result = ParseStartArguments(arguments, outStream, errStream);

    QCOMPARE(result.ok, ok);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.folder, folder);
    if (out.isEmpty())
        QCOMPARE(outText, QString());
    else
        QVERIFY2(outText.contains(out), qPrintable(outText));
    if (err.isEmpty())
        QCOMPARE(errText, QString());
    else
        QVERIFY2(errText.contains(err), qPrintable(errText));
}

void TestStartArguments::setupApplication()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    QVERIFY(app != nullptr);
    SetupApplication(*app);

    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Kestrelworks"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Zelvano"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral(ZELVANO_VERSION));
    QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("zelvano"));
    // The icon comes from the resources of a static library and is drawn from SVG.
    QVERIFY(QFile::exists(QStringLiteral(":/icons/zelvano.svg")));
    QCOMPARE(QApplication::windowIcon().pixmap(QSize(32, 32)).size(), QSize(32, 32));
}

void TestStartArguments::splash_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("splash");
    QTest::addColumn<bool>("withFolder");

    QTest::newRow("default") << QStringList{} << true << false;
    QTest::newRow("--no-splash") << QStringList{QStringLiteral("--no-splash")} << false << false;
    QTest::newRow("--no-splash with a folder")
        << QStringList{QStringLiteral("photos 1"), QStringLiteral("--no-splash")} << false << true;
}

// The option turns the picture off without taking the folder's place.
void TestStartArguments::splash()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, splash);
    QFETCH(bool, withFolder);

    arguments.prepend(QStringLiteral("zelvano"));
    QString outText;
    QString errText;
    QTextStream outStream(&outText);
    QTextStream errStream(&errText);
    const StartArguments result = ParseStartArguments(arguments, outStream, errStream);
    QVERIFY(result.ok);
    QCOMPARE(result.splash, splash);
    QCOMPARE(result.folder.isEmpty(), !withFolder);
    QCOMPARE(errText, QString());
}

QTEST_MAIN(TestStartArguments)
#include "tst_startarguments.moc"
