// The help texts and the man page: one text, complete, and what the parsers accept.
#include "cli/clirun.h"
#include "cli/help.h"
#include "support/testenv.h"

#include <QRegularExpression>
#include <QtTest>

using zelvano::test::CliResult;
using zelvano::test::RunCli;

namespace {

// Every "--name" the text mentions.
QStringList OptionsNamed(const QString& text)
{
    QStringList names;
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--([a-z][a-z-]*)"));
    for (const QRegularExpressionMatch& m : option.globalMatch(text))
        names << m.captured(1);
    names.removeDuplicates();
    names.sort();
    return names;
}

// A value the option takes: the first of its choices, or a file name.
QString SampleValue(const zelvano::cli::OptionDoc& option)
{
    const QString value = QString::fromLatin1(option.valueName);
    return value.contains(QLatin1Char('|')) ? value.section(QLatin1Char('|'), 0, 0) : QStringLiteral("/no/such/file");
}

} // namespace

class TestCliHelp : public QObject
{
    Q_OBJECT

    zelvano::test::IsolatedHome m_home;

private Q_SLOTS:
    void manPageInDocIsTheProgramsOwn()
    {
        const CliResult r = RunCli({QStringLiteral("--man")});
        QCOMPARE(r.code, 0);
        QFile file(QStringLiteral(ZELVANO_SOURCE_DIR "/doc/man/zelvano-cli.1"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString stored = QString::fromUtf8(file.readAll());
        QVERIFY2(stored == r.out,
                 "doc/man/zelvano-cli.1 is stale: rebuild it with zelvano-cli --man > doc/man/zelvano-cli.1");
        QVERIFY(r.out.startsWith(QStringLiteral(".TH ZELVANO\\-CLI 1")));
    }

    void helpTexts_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("contains");
        QTest::newRow("program") << QStringList{QStringLiteral("--help")}
                                 << QStringList{QStringLiteral("Usage: zelvano-cli --help"),
                                                QStringLiteral("zelvano-cli unpack [--mode"),
                                                QStringLiteral("Smart Extraction:"),
                                                QStringLiteral("Validation:"),
                                                QStringLiteral("Deletion:"),
                                                QStringLiteral("--man")};
        QTest::newRow("-h") << QStringList{QStringLiteral("-h")} << QStringList{QStringLiteral("Exit status:")};
        for (const zelvano::cli::CommandDoc& command : zelvano::cli::CommandDocs()) {
            const QString name = QString::fromLatin1(command.name);
            QStringList contains{QStringLiteral("Usage: zelvano-cli ") + name, QStringLiteral("-h, --help"),
                                 QStringLiteral("Exit status:")};
            for (const zelvano::cli::OptionDoc& option : command.options)
                contains << QStringLiteral("--") + QLatin1String(option.name);
            for (const char* topic : command.topics) {
                for (const zelvano::cli::TopicDoc& doc : zelvano::cli::TopicDocs()) {
                    if (qstrcmp(doc.id, topic) == 0)
                        contains << QLatin1String(doc.title) + QLatin1Char(':');
                }
            }
            for (const zelvano::cli::ExitDoc& exit : command.exits)
                contains << QStringLiteral("  %1 ").arg(exit.code);
            QTest::newRow(qPrintable(name + QStringLiteral(" --help")))
                << QStringList{name, QStringLiteral("--help")} << contains;
            // Help wins over everything else on the line, even arguments that are wrong.
            QTest::newRow(qPrintable(name + QStringLiteral(" with bad arguments and -h")))
                << QStringList{name, QStringLiteral("--frobnicate"), QStringLiteral("/no/such"), QStringLiteral("-h")}
                << QStringList{QStringLiteral("Usage: zelvano-cli ") + name};
        }
    }
    void helpTexts()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, contains);
        const CliResult r = RunCli(args);
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        for (const QString& text : contains)
            QVERIFY2(r.out.contains(text), qPrintable(text + QStringLiteral(" missing in:\n") + r.out));
        for (const QString& line : r.out.split(QLatin1Char('\n')))
            QVERIFY2(line.size() <= 79, qPrintable(line));
    }

    // Whatever a help text offers, the man page explains too.
    void manPageNamesEveryOptionOfTheHelp()
    {
        const QString man = RunCli({QStringLiteral("--man")}).out;
        QStringList named = OptionsNamed(RunCli({QStringLiteral("--help")}).out);
        for (const zelvano::cli::CommandDoc& command : zelvano::cli::CommandDocs())
            named += OptionsNamed(RunCli({QString::fromLatin1(command.name), QStringLiteral("--help")}).out);
        named.removeDuplicates();
        QVERIFY(named.contains(QStringLiteral("delete-other-files")));
        for (const QString& name : named) {
            const QString roff =
                QStringLiteral("\\-\\-") + QString(name).replace(QLatin1Char('-'), QStringLiteral("\\-"));
            QVERIFY2(man.contains(roff), qPrintable(name));
        }
    }

    // Every documented option is one the command accepts: the run fails only on the missing path.
    void everyDocumentedOptionIsAccepted_data()
    {
        QTest::addColumn<QStringList>("args");
        for (const zelvano::cli::CommandDoc& command : zelvano::cli::CommandDocs()) {
            for (const zelvano::cli::OptionDoc& option : command.options) {
                QStringList args{QString::fromLatin1(command.name), QStringLiteral("--") + QLatin1String(option.name)};
                if (option.valueName)
                    args << SampleValue(option);
                args << QStringLiteral("/no/such/folder");
                QTest::newRow(qPrintable(args.mid(0, 2).join(QLatin1Char(' ')))) << args;
            }
        }
    }
    void everyDocumentedOptionIsAccepted()
    {
        QFETCH(QStringList, args);
        const CliResult r = RunCli(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(!r.err.contains(QStringLiteral("nknown option")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("/no/such/folder")), qPrintable(r.err));
    }

    void usageErrorsShowTheUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("usage");
        QTest::newRow("nothing") << QStringList{} << QStringLiteral("Usage: zelvano-cli --help | --version | --man");
        QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")}
                                         << QStringLiteral("       zelvano-cli unpack [--mode");
        QTest::newRow("unpack, unknown option")
            << QStringList{QStringLiteral("unpack"), QStringLiteral("--frobnicate"), QStringLiteral(".")}
            << QStringLiteral("Usage: zelvano-cli unpack [--mode smart|here|folder]");
    }
    void usageErrorsShowTheUsage()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, usage);
        const CliResult r = RunCli(args);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(usage), qPrintable(r.err));
    }
};

QTEST_GUILESS_MAIN(TestCliHelp)
#include "tst_help.moc"
