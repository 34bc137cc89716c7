#include "cli/cli.h"
#include "cli/clicommon.h"
#include "cli/clirun.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <csignal>
#include <fcntl.h>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using zelvano::test::CliResult;
using zelvano::test::L;
using zelvano::test::RunCli;
using zelvano::test::WriteFile;

namespace {

QByteArray PhotoZip(int photos)
{
    zelvano::test::ZipWriter writer;
    for (int i = 0; i < photos; ++i)
        writer.add("Album/img" + QByteArray::number(i) + ".jpg", QByteArray(1000, 'p'), 0);
    if (photos == 0)
        writer.add("readme.txt", QByteArray("text"), 0);
    return writer.build();
}

} // namespace

class TestCliScan : public QObject
{
    Q_OBJECT

    zelvano::test::IsolatedHome m_home;
    QTemporaryDir m_dir;
    QString m_strTree;

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("rar")).isEmpty())
            QSKIP("the rar command is not installed");
        m_strTree = m_dir.filePath(QStringLiteral("tree"));
        const QString t = m_strTree + QLatin1Char('/');
        QVERIFY(WriteFile(t + QStringLiteral("Album/Album.zip"), PhotoZip(12)));
        QVERIFY(WriteFile(t + QStringLiteral("b/one.zip"), PhotoZip(1)));
        QVERIFY(WriteFile(t + QStringLiteral("notes.zip"), PhotoZip(0)));
        QVERIFY(WriteFile(t + QStringLiteral("broken.zip"), QByteArray("not a zip")));
        QVERIFY(WriteFile(m_dir.filePath(QStringLiteral("stage/x.jpg")), QByteArray(500, 'r')));
        QProcess rar;
        rar.setWorkingDirectory(m_dir.filePath(QStringLiteral("stage")));
        rar.start(QStringLiteral("rar"), {QStringLiteral("a"), QStringLiteral("-idq"), QStringLiteral("-m0"),
                                          t + QStringLiteral("c.rar"), QStringLiteral("x.jpg")});
        QVERIFY(rar.waitForFinished(60000) && rar.exitCode() == 0);
        // A link out of the tree: not followed, named after the archives.
        QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("stage")), t + QStringLiteral("away")));
    }

    void summaryAndArchiveLinesOnStdout()
    {
        const CliResult r = RunCli({QStringLiteral("scan"), m_strTree});
        QCOMPARE(r.code, 0);
        const QStringList lines = r.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 17); // 12 summary lines, 3 archives, 1 not taken, and the end of the last line
        QCOMPARE(lines.at(0), QStringLiteral("Scan Path:            ") + QDir::toNativeSeparators(m_strTree));
        QVERIFY(lines.at(1).startsWith(QStringLiteral("Started:              ")));
        QVERIFY(lines.at(2).startsWith(QStringLiteral("Finished:             ")));
        QVERIFY(lines.at(3).startsWith(QStringLiteral("Elapsed Time:         0:00:")));
        QCOMPARE(lines.mid(4, 8), (QStringList{
                                      QStringLiteral("Total Archives Found: 4"),
                                      QStringLiteral("Valid Archives:       3"),
                                      QStringLiteral("Invalid Archives:     1"),
                                      QStringLiteral("Skipped Archives:     1"),
                                      QStringLiteral("Zip Archives:         2"),
                                      QStringLiteral("RAR Archives:         1"),
                                      QStringLiteral("Total Photos:         14"),
                                      QStringLiteral("Size on Disk:         13.1 KB"),
                                  }));
        const QString t = m_strTree + QLatin1Char('/');
        QCOMPARE(lines.mid(12), (QStringList{
                                    QStringLiteral("     12 Photos       ") + t + QStringLiteral("Album/Album.zip"),
                                    QStringLiteral("      1 Photo        ") + t + QStringLiteral("b/one.zip"),
                                    QStringLiteral("      1 Photo        ") + t + QStringLiteral("c.rar"),
                                    QStringLiteral("Not taken: ") + t +
                                        QStringLiteral("away (The link leads outside the chosen folder)"),
                                    QString(),
                                }));
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    }

    void reportFileReplacesAnExistingOne()
    {
        const QString report = m_dir.filePath(QStringLiteral("scan report.txt"));
        QVERIFY(WriteFile(report, QByteArray(5000, 'o')));
        const CliResult r = RunCli({QStringLiteral("scan"), QStringLiteral("--report"), report, m_strTree});
        QCOMPARE(r.code, 0);
        const QByteArray bytes = zelvano::test::ReadFile(report);
        QVERIFY(!bytes.contains('o' + QByteArray(10, 'o')));
        QVERIFY(bytes.startsWith(QByteArray(100, '-') + "\r\nZelvano Scan Report\r\n"));
        // The summary of the report is what stdout shows, with CR LF line ends.
        const QStringList stdoutLines = r.out.split(QLatin1Char('\n'));
        QByteArray summary;
        for (int i = 0; i < 12; ++i)
            summary += stdoutLines.at(i).toUtf8() + "\r\n";
        QVERIFY(bytes.contains("\r\n\r\n" + summary + "\r\n"));
        QVERIFY(bytes.contains("\r\nInvalid Archive Files:\r\n"));
        QVERIFY(bytes.endsWith("      1 Photo        " + m_strTree.toUtf8() + "/c.rar\r\n"));
    }

    void jsonHasExactlyTheDocumentedKeys()
    {
        const CliResult r = RunCli({QStringLiteral("scan"), QStringLiteral("--json"), m_strTree});
        QCOMPARE(r.code, 0);
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        const QJsonObject o = doc.object();
        QStringList keys = o.keys();
        keys.sort();
        QStringList expected =
            L({"archives", "elapsed", "finished", "invalid", "invalidArchives", "notTaken", "photoBytes", "rarCount",
               "scanPath", "skipped", "skippedArchives", "started", "totalFound", "totalPhotos", "valid", "zipCount"});
        expected.sort();
        QCOMPARE(keys, expected);
        QCOMPARE(o.value(QStringLiteral("scanPath")).toString(), QDir::toNativeSeparators(m_strTree));
        QVERIFY(o.value(QStringLiteral("started")).toInteger() > 1600000000);
        QVERIFY(o.value(QStringLiteral("finished")).toInteger() >= o.value(QStringLiteral("started")).toInteger());
        QVERIFY(o.value(QStringLiteral("elapsed")).toString().startsWith(QStringLiteral("0:00:")));
        QCOMPARE(o.value(QStringLiteral("zipCount")).toInt(), 2);
        QCOMPARE(o.value(QStringLiteral("rarCount")).toInt(), 1);
        QCOMPARE(o.value(QStringLiteral("totalFound")).toInt(), 4);
        QCOMPARE(o.value(QStringLiteral("valid")).toInt(), 3);
        QCOMPARE(o.value(QStringLiteral("invalid")).toInt(), 1);
        QCOMPARE(o.value(QStringLiteral("skipped")).toInt(), 1);
        QCOMPARE(o.value(QStringLiteral("totalPhotos")).toInt(), 14);
        QCOMPARE(o.value(QStringLiteral("photoBytes")).toInteger(), 13500);

        const QJsonArray archives = o.value(QStringLiteral("archives")).toArray();
        QCOMPARE(archives.size(), 3);
        const QJsonObject album = archives.at(0).toObject();
        QStringList archiveKeys = album.keys();
        archiveKeys.sort();
        QCOMPARE(archiveKeys, L({"folderCount", "packedBytes", "path", "photoBytes", "photos", "smartMode", "type"}));
        QCOMPARE(album.value(QStringLiteral("path")).toString(), m_strTree + QStringLiteral("/Album/Album.zip"));
        QCOMPARE(album.value(QStringLiteral("type")).toInt(), 0);
        QCOMPARE(album.value(QStringLiteral("photos")).toInt(), 12);
        QCOMPARE(album.value(QStringLiteral("smartMode")).toInt(), 1);
        QCOMPARE(album.value(QStringLiteral("folderCount")).toInt(), 1);
        QCOMPARE(album.value(QStringLiteral("photoBytes")).toInteger(), 12000);
        QCOMPARE(album.value(QStringLiteral("packedBytes")).toInteger(), 12000);
        QCOMPARE(archives.at(2).toObject().value(QStringLiteral("type")).toInt(), 1);

        const QJsonArray invalid = o.value(QStringLiteral("invalidArchives")).toArray();
        QCOMPARE(invalid.size(), 1);
        QCOMPARE(invalid.at(0).toObject().value(QStringLiteral("path")).toString(),
                 m_strTree + QStringLiteral("/broken.zip"));
        QCOMPARE(invalid.at(0).toObject().value(QStringLiteral("error")).toInt(), -1);
        QCOMPARE(o.value(QStringLiteral("skippedArchives")).toArray(),
                 QJsonArray{m_strTree + QStringLiteral("/notes.zip")});
        const QJsonArray notTaken = o.value(QStringLiteral("notTaken")).toArray();
        QCOMPARE(notTaken.size(), 1);
        QCOMPARE(notTaken.at(0).toObject(),
                 (QJsonObject{{QStringLiteral("path"), m_strTree + QStringLiteral("/away")},
                              {QStringLiteral("reason"), QStringLiteral("The link leads outside the chosen folder")}}));
    }

    void badArgumentsExitWithTwo_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("errContains");
        QTest::newRow("no folder") << QStringList{QStringLiteral("scan")} << QStringLiteral("no folder");
        QTest::newRow("missing folder") << QStringList{QStringLiteral("scan"), QStringLiteral("/no/such/folder/x")}
                                        << QStringLiteral("no such folder");
        QTest::newRow("a file, not a folder")
            << QStringList{QStringLiteral("scan"), QStringLiteral("@FILE@")} << QStringLiteral("not a folder");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("scan"), QStringLiteral("--fast"),
                                                       QStringLiteral("/tmp")}
                                        << QStringLiteral("Usage");
        QTest::newRow("unknown name encoding")
            << QStringList{QStringLiteral("scan"), QStringLiteral("--name-encoding"), QStringLiteral("EBCDIC"),
                           QStringLiteral("/tmp")}
            << QStringLiteral("unknown name encoding 'EBCDIC' for --name-encoding (known: CP437, ");
        QTest::newRow("report without its file")
            << QStringList{QStringLiteral("scan"), QStringLiteral("--report")} << QStringLiteral("Usage");
    }
    void badArgumentsExitWithTwo()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, errContains);
        args.replaceInStrings(QStringLiteral("@FILE@"), m_strTree + QStringLiteral("/notes.zip"));
        const CliResult r = RunCli(args);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(errContains), qPrintable(r.err));
    }

    // Ctrl-C while the scan runs: the command stops the run, prints nothing and exits with 130; the process
    // itself lives on.
    void interruptStopsWithExitCode130()
    {
        const QString report = m_dir.filePath(QStringLiteral("interrupted.txt"));
        struct sigaction before;
        QCOMPARE(sigaction(SIGINT, nullptr, &before), 0);
        zelvano::cli::SetRunStartedHook([] { ::kill(::getpid(), SIGINT); });
        const CliResult r = RunCli({QStringLiteral("scan"), QStringLiteral("--report"), report, m_strTree});
        zelvano::cli::SetRunStartedHook({});
        QCOMPARE(r.code, 130);
        QVERIFY(r.out.isEmpty());
        QVERIFY(!QFile::exists(report));
        // The handler of before the command is back.
        struct sigaction after;
        QCOMPARE(sigaction(SIGINT, nullptr, &after), 0);
        QVERIFY(after.sa_handler == before.sa_handler);
    }
};

QTEST_GUILESS_MAIN(TestCliScan)
#include "tst_scan.moc"
