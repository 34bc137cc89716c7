#include "cli/cli.h"

#include <QtTest>

class TestCliVersion : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void versionAndUnknownCommand_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outContains");
        QTest::addColumn<QString>("errContains");
        QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << QStringLiteral(ZELVANO_VERSION)
                                 << QString();
        QTest::newRow("unknown command is a usage error")
            << QStringList{QStringLiteral("frobnicate")} << 2 << QString() << QStringLiteral("unknown command");
        QTest::newRow("no command is a usage error") << QStringList{} << 2 << QString() << QStringLiteral("Usage");
    }
    void versionAndUnknownCommand()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, outContains);
        QFETCH(QString, errContains);
        QString out, err;
        QTextStream o(&out), e(&err);
        QCOMPARE(zelvano::cli::Run(args, o, e), exitCode);
        o.flush();
        e.flush();
        QVERIFY2(out.contains(outContains), qPrintable(out));
        QVERIFY2(err.contains(errContains), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestCliVersion)
#include "tst_version.moc"
