#include "cli/cli.h"
#include "settings/options.h"
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
        expected << QStringLiteral("deleteOtherFiles") << QStringLiteral("exportDetection")
                 << QStringLiteral("zipNameEncoding");
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
                                         "[Deletion]\nDeleteOtherFiles=1\n[Names]\nZipNameEncoding= Big5\n"));

        const CliResult r = RunCli({kSettings});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out.mid(r.out.size() - 3),
                 (QStringList{QStringLiteral("deleteOtherFiles = 1"), QStringLiteral("exportDetection = 1"),
                              QStringLiteral("zipNameEncoding = Big5")}));
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

    // A value set from the command line is in the file: a later run reads it back, and every other line of the
    // listing stays as it was.
    void setStoresTheValue_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("listed"); // the lines of the listing that change start with this
        QTest::addColumn<QStringList>("got");
        QTest::newRow("flag") << QStringLiteral("m_bConfirmDelete") << QStringLiteral("0")
                              << QStringLiteral("m_bConfirmDelete") << QStringList{QStringLiteral("0")};
        QTest::newRow("choice") << QStringLiteral("m_nExtractTo") << QStringLiteral("2")
                                << QStringLiteral("m_nExtractTo") << QStringList{QStringLiteral("2")};
        QTest::newRow("number") << QStringLiteral("m_nWindowWidth") << QStringLiteral("1024")
                                << QStringLiteral("m_nWindowWidth") << QStringList{QStringLiteral("1024")};
        QTest::newRow("reserved, negative") << QStringLiteral("m_nReserved2") << QStringLiteral("-5")
                                            << QStringLiteral("m_nReserved2") << QStringList{QStringLiteral("-5")};
        QTest::newRow("text") << QStringLiteral("m_strExtraExtensions") << QStringLiteral(".nfo; .txt;")
                              << QStringLiteral("m_strExtraExtensions") << QStringList{QStringLiteral(".nfo; .txt;")};
        QTest::newRow("history, kept sorted and once")
            << QStringLiteral("m_arrSourceHistory") << QStringLiteral("/data/Zebra; /data/alpha ;/data/ALPHA")
            << QStringLiteral("m_arrSourceHistory")
            << QStringList{QStringLiteral("/data/alpha"), QStringLiteral("/data/Zebra")};
        QTest::newRow("option of the second file")
            << QStringLiteral("deleteOtherFiles") << QStringLiteral("1") << QStringLiteral("deleteOtherFiles")
            << QStringList{QStringLiteral("1")};
        QTest::newRow("code page of ZIP names")
            << QStringLiteral("zipNameEncoding") << QStringLiteral(" cp866 ") << QStringLiteral("zipNameEncoding")
            << QStringList{QStringLiteral("cp866")};
    }
    void setStoresTheValue()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(QString, listed);
        QFETCH(QStringList, got);
        zelvano::test::IsolatedHome home;
        const CliResult before = RunCli({kSettings});
        QCOMPARE(before.code, 0);

        const CliResult set = RunCli({kSettings, QStringLiteral("set"), name, value});
        QCOMPARE(set.code, 0);
        QVERIFY2(set.err.isEmpty(), qPrintable(set.err));
        QVERIFY2(
            set.out.value(0).startsWith(name + (got.size() > 1 ? QStringLiteral("[0] = ") : QStringLiteral(" = "))),
            qPrintable(set.out.join(QLatin1Char('\n'))));

        const CliResult get = RunCli({kSettings, QStringLiteral("get"), name});
        QCOMPARE(get.code, 0);
        if (name == QLatin1String("m_arrSourceHistory")) {
            // Loading adds My Pictures to the history, as the desktop program does.
            got << CXSettings::MyPicturesFolder();
            got.sort(Qt::CaseInsensitive);
        }
        QCOMPARE(get.out, got);

        const auto others = [&](const QStringList& lines) {
            QStringList kept;
            for (const QString& line : lines) {
                if (!line.startsWith(listed + QLatin1Char(' ')) && !line.startsWith(listed + QLatin1Char('[')))
                    kept << line;
            }
            return kept;
        };
        const CliResult after = RunCli({kSettings});
        QCOMPARE(others(after.out), others(before.out));
        QVERIFY(after.out != before.out);
    }

    // The ignore text and the word list made from it change together.
    void ignoreWordsFollowTheirText()
    {
        zelvano::test::IsolatedHome home;
        QCOMPARE(RunCli({kSettings, QStringLiteral("set"), QStringLiteral("m_strIgnoreFolderNames"),
                         QStringLiteral("Scans, hq; me")})
                     .code,
                 0);
        const CliResult get = RunCli({kSettings, QStringLiteral("get"), QStringLiteral("m_arrIgnoreFolderNames")});
        QCOMPARE(get.code, 0);
        QCOMPARE(get.out, (QStringList{QStringLiteral("scans")}));
    }

    // A refused value is named with what is allowed, and no file is written.
    void refusedValues_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("errContains");
        const auto set = [](const char* name, const char* value) {
            return QStringList{kSettings, QStringLiteral("set"), QString::fromUtf8(name), QString::fromUtf8(value)};
        };
        QTest::newRow("flag 2") << set("m_bTypeGIF", "2") << QStringLiteral("allowed: 0 (off), 1 (on)");
        QTest::newRow("choice out of its set")
            << set("m_nExtractTo", "3")
            << QStringLiteral("m_nExtractTo cannot be set to '3': allowed: 0 = Smart Extraction, 1 = here, in the "
                              "folder the archive lies in, 2 = a new folder named after the archive");
        QTest::newRow("choice by word") << set("m_nValidationLevel", "two") << QStringLiteral("2 = level 3");
        QTest::newRow("empty choice") << set("m_nAfterExtraction", "") << QStringLiteral("1 = delete");
        QTest::newRow("negative width") << set("m_nColWidthName", "-1")
                                        << QStringLiteral("a whole number from 0 to 2147483647");
        QTest::newRow("width beyond 32 bits") << set("m_nWindowHeight", "2147483648") << QStringLiteral("allowed");
        QTest::newRow("number with spaces") << set("m_nWindowHeight", " 5") << QStringLiteral("allowed");
        QTest::newRow("version") << set("m_nVersion", "1") << QStringLiteral("the program writes it itself");
        QTest::newRow("signature") << set("m_strSignature", "x") << QStringLiteral("the program writes it itself");
        QTest::newRow("derived words") << set("m_arrIgnoreFolderNames", "x") << QStringLiteral("set that one instead");
        QTest::newRow("option 2") << set("deleteOtherFiles", "2") << QStringLiteral("allowed: 0 (off), 1 (on)");
        QTest::newRow("unknown code page") << set("zipNameEncoding", "KOI8-R")
                                           << QStringLiteral("allowed: empty (found per archive) or one of CP437, ");
        QTest::newRow("unknown name") << set("m_nFrobnicate", "1") << QStringLiteral("unknown setting 'm_nFrobnicate'");
        QTest::newRow("get of an unknown name")
            << QStringList{kSettings, QStringLiteral("get"), QStringLiteral("colour")}
            << QStringLiteral("unknown setting 'colour'");
        QTest::newRow("set without a value")
            << QStringList{kSettings, QStringLiteral("set"), QStringLiteral("m_nExtractTo")}
            << QStringLiteral("set takes a NAME and a VALUE");
        QTest::newRow("get without a name")
            << QStringList{kSettings, QStringLiteral("get")} << QStringLiteral("get takes one NAME");
    }
    void refusedValues()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, errContains);
        zelvano::test::IsolatedHome home;
        const CliResult r = RunCli(args);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(errContains), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(home.path() + QStringLiteral("/.local/share/ZLV")));
    }

    // Every stored field can be read, and set again to what it holds, unless the program writes it.
    void everyFieldReadsAndTakesItsOwnValue_data()
    {
        QTest::addColumn<QString>("name");
        for (const SettingsField& field : CXSettings::StoredFields())
            QTest::newRow(field.name) << QString::fromLatin1(field.name);
        for (const OptionField& option : OptionFields())
            QTest::newRow(option.name) << QString::fromLatin1(option.name);
    }
    void everyFieldReadsAndTakesItsOwnValue()
    {
        QFETCH(QString, name);
        zelvano::test::IsolatedHome home;
        const CliResult get = RunCli({kSettings, QStringLiteral("get"), name});
        QCOMPARE(get.code, 0);
        QVERIFY(!get.out.isEmpty());
        const CliResult set = RunCli({kSettings, QStringLiteral("set"), name, get.out.join(QLatin1Char(';'))});
        if (name == QLatin1String("m_nVersion") || name == QLatin1String("m_strSignature")) {
            QCOMPARE(set.code, 2);
            return;
        }
        QVERIFY2(set.code == 0, qPrintable(set.err));
        QCOMPARE(RunCli({kSettings, QStringLiteral("get"), name}).out, get.out);
    }
};

QTEST_GUILESS_MAIN(TestCliSettings)
#include "tst_settings.moc"
