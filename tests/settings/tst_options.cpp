// The second settings file: the options the binary file has no room for, in an INI file beside it.
#include "settings/options.h"
#include "settings/settings.h"
#include "support/testenv.h"

#include <QDir>
#include <QtTest>

namespace {

QString DataFolder(const zelvano::test::IsolatedHome& home)
{
    return home.path() + QStringLiteral("/.local/share/ZLV");
}

} // namespace

class TestOptions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The option never reaches the binary file: the same bytes whatever its value.
    void binaryFileIsUnchangedByTheOption()
    {
        zelvano::test::IsolatedHome home;
        CXSettings s;
        QString error;
        QVERIFY2(s.InitializeSettings(&error), qPrintable(error));
        const QByteArray before = zelvano::test::ReadFile(s.m_strSettingsPath);
        s.m_bDeleteOtherFiles = 1;
        QCOMPARE(s.SaveSettingsToBytes(), before);
        QVERIFY(s.SaveSettings());
        QCOMPARE(zelvano::test::ReadFile(s.m_strSettingsPath), before);
        QCOMPARE(OptionsFilePath(s), DataFolder(home) + QStringLiteral("/ZelvanoOptions.ini"));
        QVERIFY(QFileInfo(OptionsFilePath(s)).isFile());
    }

    void valueSurvivesSaveAndLoad_data()
    {
        QTest::addColumn<qint32>("value");
        QTest::addColumn<bool>("removeBinaryFile");
        QTest::newRow("on") << 1 << false;
        QTest::newRow("off") << 0 << false;
        QTest::newRow("on, binary file re-created with defaults") << 1 << true;
    }
    void valueSurvivesSaveAndLoad()
    {
        QFETCH(qint32, value);
        QFETCH(bool, removeBinaryFile);
        zelvano::test::IsolatedHome home;
        CXSettings s;
        QString error;
        QVERIFY2(s.InitializeSettings(&error), qPrintable(error));
        s.m_bDeleteOtherFiles = value;
        QVERIFY(s.SaveSettings());
        if (removeBinaryFile)
            QVERIFY(QFile::remove(s.m_strSettingsPath));

        CXSettings t;
        t.m_bDeleteOtherFiles = 1 - value;
        QVERIFY2(t.InitializeSettings(&error), qPrintable(error));
        QCOMPARE(t.m_bDeleteOtherFiles, value);
        // The start-up steps saved it again, unchanged.
        CXSettings u;
        QVERIFY2(u.InitializeSettings(&error), qPrintable(error));
        QCOMPARE(u.m_bDeleteOtherFiles, value);
    }

    // Whatever the INI file holds, loading gives a flag (the default when in doubt), and the save that
    // follows at start-up leaves a file that reads back to it.
    void damagedFileGivesTheDefault_data()
    {
        QTest::addColumn<QByteArray>("ini"); // empty: no file at all
        QTest::addColumn<qint32>("expected");
        QTest::newRow("missing file") << QByteArray() << 0;
        QTest::newRow("well formed, on") << QByteArray("[Deletion]\r\nDeleteOtherFiles=1\r\n") << 1;
        QTest::newRow("value out of range") << QByteArray("[Deletion]\nDeleteOtherFiles=2\n") << 0;
        QTest::newRow("negative value") << QByteArray("[Deletion]\nDeleteOtherFiles=-1\n") << 0;
        QTest::newRow("a word, not a number") << QByteArray("[Deletion]\nDeleteOtherFiles=yes\n") << 0;
        QTest::newRow("empty value") << QByteArray("[Deletion]\nDeleteOtherFiles=\n") << 0;
        QTest::newRow("key in another group") << QByteArray("[General]\nDeleteOtherFiles=1\n") << 0;
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[\x01=\x02\n\x80\x81", 10) << 0;
        QTest::newRow("cut inside the group name") << QByteArray("[Dele") << 0;
    }
    void damagedFileGivesTheDefault()
    {
        QFETCH(QByteArray, ini);
        QFETCH(qint32, expected);
        zelvano::test::IsolatedHome home;
        const QString path = DataFolder(home) + QStringLiteral("/ZelvanoOptions.ini");
        if (!ini.isEmpty())
            QVERIFY(zelvano::test::WriteFile(path, ini));
        CXSettings s;
        s.m_bDeleteOtherFiles = 1 - expected;
        QString error;
        QVERIFY2(s.InitializeSettings(&error), qPrintable(error));
        QCOMPARE(s.m_bDeleteOtherFiles, expected);

        CXSettings t;
        t.SetSettingsPath(s.m_strSettingsPath);
        t.m_bDeleteOtherFiles = 1 - expected;
        LoadOptions(t);
        QCOMPARE(t.m_bDeleteOtherFiles, expected);
    }

    // An INI file that cannot be written makes the save report failure; the binary file is still written.
    void unwritableOptionsFileIsReported()
    {
        zelvano::test::IsolatedHome home;
        CXSettings s;
        QString error;
        QVERIFY2(s.InitializeSettings(&error), qPrintable(error));
        QVERIFY(QFile::remove(OptionsFilePath(s)));
        QVERIFY(QDir().mkpath(OptionsFilePath(s))); // a folder in the file's place
        s.m_nWindowWidth = 999;
        QVERIFY(!s.SaveSettings());
        CXSettings t;
        t.SetSettingsPath(s.m_strSettingsPath);
        t.LoadSettings();
        QCOMPARE(t.m_nWindowWidth, 999);
        QCOMPARE(t.m_bDeleteOtherFiles, 0);
    }
};

QTEST_GUILESS_MAIN(TestOptions)
#include "tst_options.moc"
