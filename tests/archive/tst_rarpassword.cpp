#include "archive/rar.h"
#include "support/encryptedarchive.h"
#include "support/testenv.h"
#include "support/volumeset.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using zelvano::test::RarEncryption;

class TestRarPassword : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QList<QPair<QString, QByteArray>> m_files;

    QString Archive(RarEncryption encryption) const
    {
        return m_dir.filePath(encryption == RarEncryption::Headers ? QStringLiteral("headers.rar")
                                                                   : QStringLiteral("data.rar"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!zelvano::test::HaveRarCommand())
            QSKIP("the rar command is not installed");
        QVERIFY(m_dir.isValid());
        m_files = {{QStringLiteral("a.jpg"), zelvano::test::NoiseBytes(70000, 1)},
                   {QStringLiteral("b.jpg"), zelvano::test::NoiseBytes(300, 2)}};
        QVERIFY(zelvano::test::MakeEncryptedRar(Archive(RarEncryption::Data), m_files, QStringLiteral("pw"),
                                                RarEncryption::Data));
        QVERIFY(zelvano::test::MakeEncryptedRar(Archive(RarEncryption::Headers), m_files, QStringLiteral("pw"),
                                                RarEncryption::Headers));
    }

    void extract_data()
    {
        QTest::addColumn<RarEncryption>("encryption");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("sessionResult"); // what RarExtractArchive returns
        QTest::addColumn<int>("entryResult");   // what each entry's extraction gives (-1: no entry reached)
        QTest::addColumn<int>("testResult");    // RarTestPassword

        QTest::newRow("data, right") << RarEncryption::Data << QStringLiteral("pw") << 0 << 0 << 0;
        QTest::newRow("data, wrong") << RarEncryption::Data << QStringLiteral("wrong") << 0 << int(RarBadPassword)
                                     << int(RarBadPassword);
        QTest::newRow("data, none") << RarEncryption::Data << QString() << 0 << int(RarMissingPassword)
                                    << int(RarMissingPassword);
        QTest::newRow("headers, right") << RarEncryption::Headers << QStringLiteral("pw") << 0 << 0 << 0;
        QTest::newRow("headers, wrong") << RarEncryption::Headers << QStringLiteral("wrong") << int(RarBadPassword)
                                        << -1 << int(RarBadPassword);
        QTest::newRow("headers, none") << RarEncryption::Headers << QString() << int(RarMissingPassword) << -1
                                       << int(RarMissingPassword);
        // A password longer than the library's buffer is cut, so it opens nothing rather than overrunning.
        QTest::newRow("data, very long") << RarEncryption::Data << QString(2000, QLatin1Char('p')) << 0
                                         << int(RarBadPassword) << int(RarBadPassword);
    }
    void extract()
    {
        QFETCH(RarEncryption, encryption);
        QFETCH(QString, password);
        QFETCH(int, sessionResult);
        QFETCH(int, entryResult);
        QFETCH(int, testResult);

        const QString path = Archive(encryption);
        QCOMPARE(RarTestPassword(path, password), testResult);

        QTemporaryDir out;
        QMap<QString, int> results;
        bool opened = false;
        const int session = RarExtractArchive(
            path,
            [&](const RarEntry& entry) {
                RarExtractStep step;
                step.action = RarExtractStep::Extract;
                step.destination = out.filePath(entry.name);
                return step;
            },
            [&](const RarEntry& entry, const QString&, int result) { results[entry.name] = result; }, &opened,
            password);
        QCOMPARE(session, sessionResult);
        QCOMPARE(opened, sessionResult == 0);
        if (entryResult < 0) {
            QVERIFY(results.isEmpty());
        } else {
            QCOMPARE(results.size(), m_files.size());
            for (const auto& [name, bytes] : m_files) {
                QCOMPARE(results.value(name), entryResult);
                if (entryResult == 0)
                    QCOMPARE(zelvano::test::ReadFile(out.filePath(name)), bytes);
            }
        }
        // A password that does not open an entry never leaves a file.
        if (entryResult != 0)
            QVERIFY(QDir(out.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());

        // The listing reads encrypted names only with the right password; open data names always.
        QStringList names;
        const int listed = RarListArchive(
            path,
            [&names](const RarEntry& entry) {
                names << entry.name;
                return !entry.name.isEmpty();
            },
            nullptr, password);
        QCOMPARE(listed, sessionResult);
        QCOMPARE(names.size(), sessionResult == 0 ? m_files.size() : 0);
        QCOMPARE(RarTestOpen(path, password), sessionResult);
    }
};

QTEST_GUILESS_MAIN(TestRarPassword)
#include "tst_rarpassword.moc"
