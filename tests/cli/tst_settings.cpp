#include "cli/cli.h"
#include "settings/settings.h"
#include "support/testenv.h"

#include <QDir>
#include <QtTest>

namespace {

struct CliResult
{
    int code = -1;
    QStringList out;
    QString err;
};

CliResult RunCli(const QStringList& args)
{
    QString out;
    CliResult r;
    QTextStream o(&out), e(&r.err);
    r.code = zelvano::cli::Run(args, o, e);
    o.flush();
    e.flush();
    r.out = out.split(QLatin1Char('\n'));
    if (!r.out.isEmpty() && r.out.last().isEmpty())
        r.out.removeLast();
    return r;
}

const QString kSettings = QStringLiteral("settings");

// The stored field names in file order (the history comes last, one line per entry).
const char* const kFieldOrder[] = {
    "m_nVersion",
    "m_strSignature",
    "m_bMinimizeOnClose",
    "m_bShowTooltips",
    "m_bMinimizeToTray",
    "m_bAlwaysShowTrayIcon",
    "m_nDoubleClickAction",
    "m_bConfirmExit",
    "m_bConfirmCancelUnpack",
    "m_bConfirmCancelScan",
    "m_bConfirmDelete",
    "m_bAutoSizeNameColumn",
    "m_nNameDisplay",
    "m_strLastSourceFolder",
    "m_nColWidthName",
    "m_nColWidthType",
    "m_nColWidthModified",
    "m_nColWidthExtract",
    "m_nColWidthSize",
    "m_nColWidthPhotos",
    "m_nReserved1",
    "m_bAutoCheckFound",
    "m_nAfterExtraction",
    "m_nWhenToDelete",
    "m_nValidationLevel",
    "m_bOverwritePhotos",
    "m_nExtractTo",
    "m_bRenameFolder",
    "m_nRenameCase",
    "m_bShowScanResults",
    "m_bShowUnpackResults",
    "m_bTypeJPEG",
    "m_bTypeBMP",
    "m_bTypePNG",
    "m_bTypeTIFF",
    "m_bTypeGIF",
    "m_strExtraExtensions",
    "m_nSortColumn",
    "m_bSortAscending",
    "m_nReserved2",
    "m_nReserved3",
    "m_nReserved4",
    "m_bMaximized",
    "m_nWindowWidth",
    "m_nWindowHeight",
    "m_strIgnoreFolderNames",
};

} // namespace

class TestCliSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstRunCreatesTheFileAndListsTheDefaults()
    {
        zelvano::test::IsolatedHome home;
        const CliResult r = RunCli({kSettings});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        const QString path = home.path() + QStringLiteral("/.local/share/ZLV/ZelvanoSettings.dat");
        QCOMPARE(r.out.value(0), QDir::toNativeSeparators(path));
        QVERIFY(QFileInfo::exists(path));
        QVERIFY(QFileInfo(home.path() + QStringLiteral("/.local/share/ZLV/Temp")).isDir());

        // Every stored field once, in file order, then the history, then the ignore words.
        QStringList names;
        for (const QString& line : r.out.mid(1))
            names << line.section(QStringLiteral(" = "), 0, 0);
        QStringList expected;
        for (const char* name : kFieldOrder)
            expected << QString::fromLatin1(name);
        expected << QStringLiteral("m_arrSourceHistory[0]");
        for (int i = 0; i < 9; ++i)
            expected << QStringLiteral("m_arrIgnoreFolderNames[%1]").arg(i);
        expected << QStringLiteral("deleteOtherFiles");
        QCOMPARE(names, expected);
        QVERIFY(QFileInfo::exists(home.path() + QStringLiteral("/.local/share/ZLV/ZelvanoOptions.ini")));

        const QString pictures = CXSettings::MyPicturesFolder();
        for (const QString& line :
             {QStringLiteral("m_nVersion = 1"), QStringLiteral("m_strSignature = ZelvanoSettings.dat"),
              QStringLiteral("m_nColWidthExtract = 120"), QStringLiteral("m_nReserved1 = 0"),
              QStringLiteral("m_strExtraExtensions = "), QStringLiteral("m_strLastSourceFolder = ") + pictures,
              QStringLiteral("m_arrSourceHistory[0] = ") + pictures,
              QStringLiteral("m_arrIgnoreFolderNames[0] = large"),
              QStringLiteral("m_arrIgnoreFolderNames[8] = wallpaper"), QStringLiteral("deleteOtherFiles = 0")})
            QVERIFY2(r.out.contains(line), qPrintable(line));
    }

    void listsWhatTheFileHolds()
    {
        zelvano::test::IsolatedHome home;
        CXSettings s;
        s.m_nWindowWidth = 1024;
        s.m_nReserved2 = -5;
        s.m_strExtraExtensions = QStringLiteral(".nfo; .txt;");
        s.AddSourceFolder(QStringLiteral("/data/Zebra"));
        s.AddSourceFolder(QStringLiteral("/data/alpha"));
        const QString path = home.path() + QStringLiteral("/.local/share/ZLV/ZelvanoSettings.dat");
        QVERIFY(zelvano::test::WriteFile(path, s.SaveSettingsToBytes()));
        QVERIFY(zelvano::test::WriteFile(home.path() + QStringLiteral("/.local/share/ZLV/ZelvanoOptions.ini"),
                                         "[Deletion]\nDeleteOtherFiles=1\n"));

        const CliResult r = RunCli({kSettings});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out.last(), QStringLiteral("deleteOtherFiles = 1"));
        for (const QString& line : {QStringLiteral("m_nWindowWidth = 1024"), QStringLiteral("m_nReserved2 = -5"),
                                    QStringLiteral("m_strExtraExtensions = .nfo; .txt;"),
                                    QStringLiteral("m_arrSourceHistory[0] = /data/alpha"),
                                    QStringLiteral("m_arrSourceHistory[1] = /data/Zebra")})
            QVERIFY2(r.out.contains(line), qPrintable(line + QLatin1Char('\n') + r.out.join(QLatin1Char('\n'))));
    }

    void dataFolderThatCannotBeCreatedFails()
    {
        zelvano::test::IsolatedHome home;
        const QString blocker = home.path() + QStringLiteral("/not-a-folder");
        QVERIFY(zelvano::test::WriteFile(blocker, "x"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(blocker + QStringLiteral("/share")));
        const CliResult r = RunCli({kSettings});
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(QStringLiteral("data folder")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QDir::toNativeSeparators(blocker)), qPrintable(r.err));
    }

    void unexpectedArgumentIsAUsageError_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("positional argument") << QStringList{kSettings, QStringLiteral("extra")};
        QTest::newRow("unknown option") << QStringList{kSettings, QStringLiteral("--frobnicate")};
    }
    void unexpectedArgumentIsAUsageError()
    {
        QFETCH(QStringList, args);
        zelvano::test::IsolatedHome home;
        const CliResult r = RunCli(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("Usage: zelvano-cli settings")), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(home.path() + QStringLiteral("/.local/share/ZLV"))); // nothing written
    }
};

QTEST_GUILESS_MAIN(TestCliSettings)
#include "tst_settings.moc"
