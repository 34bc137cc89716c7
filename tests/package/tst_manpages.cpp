// The man pages against the programs they describe: every option a program's help prints is documented,
// nothing the desktop program does not take is, and groff reads both pages without a warning.
#include "support/testenv.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

namespace {

const QString kManDir = QStringLiteral(ZELVANO_SOURCE_DIR "/doc/man/");

struct Output
{
    int code = -1;
    QString out;
    QString err;
};

Output Run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    Output result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.code = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// Every "--name" in a text; in roff the hyphens are written "\-".
QStringList LongOptions(QString text)
{
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--([a-z][a-z0-9-]*[a-z0-9])"));
    QStringList names;
    for (const QRegularExpressionMatch& m : option.globalMatch(text))
        names << m.captured(1);
    names.removeDuplicates();
    names.sort();
    return names;
}

QString ManPage(const QString& name)
{
    QFile file(kManDir + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The commands zelvano-cli's help lists in its usage block, the lines before the first empty one
// ("       zelvano-cli scan [...").
QStringList CliCommands(const QString& help)
{
    static const QRegularExpression usage(QStringLiteral("^\\s*(?:Usage: )?zelvano-cli ([a-z]+)\\b"),
                                          QRegularExpression::MultilineOption);
    const QString block = help.left(help.indexOf(QStringLiteral("\n\n")));
    QStringList commands;
    for (const QRegularExpressionMatch& m : usage.globalMatch(block))
        commands << m.captured(1);
    commands.removeDuplicates();
    return commands;
}

} // namespace

class TestManPages : public QObject
{
    Q_OBJECT

    zelvano::test::IsolatedHome m_home;

private Q_SLOTS:
    void helpOptionsAreDocumented_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("page");

        const QString cli = QStringLiteral(ZELVANO_CLI_PROGRAM);
        const QString cliPage = QStringLiteral("zelvano-cli.1");
        QTest::newRow("zelvano --help") << QStringLiteral(ZELVANO_GUI_PROGRAM) << QStringList{QStringLiteral("--help")}
                                        << QStringLiteral("zelvano.1");
        QTest::newRow("zelvano-cli --help") << cli << QStringList{QStringLiteral("--help")} << cliPage;
        const Output help = Run(cli, {QStringLiteral("--help")});
        const QStringList commands = CliCommands(help.out);
        QVERIFY2(commands.contains(QStringLiteral("scan")), qPrintable(help.out));
        for (const QString& command : commands) {
            QTest::newRow(qPrintable(QStringLiteral("zelvano-cli %1 --help").arg(command)))
                << cli << QStringList{command, QStringLiteral("--help")} << cliPage;
        }
    }

    void helpOptionsAreDocumented()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, page);

        const Output help = Run(program, args);
        QCOMPARE(help.code, 0);
        const QStringList printed = LongOptions(help.out);
        QVERIFY2(printed.contains(QStringLiteral("help")), qPrintable(help.out));
        const QStringList documented = LongOptions(ManPage(page));
        QVERIFY2(!documented.isEmpty(), qPrintable(page));
        QStringList missing;
        for (const QString& option : printed) {
            if (!documented.contains(option))
                missing << QStringLiteral("--") + option;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(page + QStringLiteral(" lacks ") + missing.join(QStringLiteral(", "))));
    }

    // A page that still names an option the desktop program no longer takes.
    void desktopPageNamesOnlyItsOptions()
    {
        const Output help = Run(QStringLiteral(ZELVANO_GUI_PROGRAM), {QStringLiteral("--help")});
        QCOMPARE(help.code, 0);
        const QStringList printed = LongOptions(help.out);
        QStringList stale;
        for (const QString& option : LongOptions(ManPage(QStringLiteral("zelvano.1")))) {
            if (!printed.contains(option))
                stale << QStringLiteral("--") + option;
        }
        QVERIFY2(stale.isEmpty(),
                 qPrintable(QStringLiteral("zelvano --help lacks ") + stale.join(QStringLiteral(", "))));
        QVERIFY(printed.contains(QStringLiteral("no-splash")));
        QVERIFY(printed.contains(QStringLiteral("version")));
    }

    void groffReadsWithoutWarnings_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("zelvano.1") << QStringLiteral("zelvano.1");
        QTest::newRow("zelvano-cli.1") << QStringLiteral("zelvano-cli.1");
    }

    void groffReadsWithoutWarnings()
    {
        QFETCH(QString, page);
        const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
        if (groff.isEmpty())
            QSKIP("groff is not installed");
        const Output result =
            Run(groff, {QStringLiteral("-man"), QStringLiteral("-ww"), QStringLiteral("-z"), kManDir + page});
        QCOMPARE(result.code, 0);
        QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
    }
};

QTEST_GUILESS_MAIN(TestManPages)
#include "tst_manpages.moc"
