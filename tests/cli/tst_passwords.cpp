// zelvano-cli's --password-file: how the file is read, what it opens, and that no password is ever printed.
#include "cli/clicommon.h"
#include "cli/clirun.h"
#include "support/encryptedarchive.h"
#include "support/testenv.h"
#include "support/volumeset.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using zelvano::test::CliResult;
using zelvano::test::L;
using zelvano::test::RarEncryption;

namespace {

// Distinct enough that finding it in any output means it was printed.
const char* const kSecret = "Sesame-7%kiwi";

QByteArray Jpeg(int seed)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 37 % 360, 200, 200));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return buffer.data();
}

} // namespace

class TestCliPasswords : public QObject
{
    Q_OBJECT

    zelvano::test::IsolatedHome m_home;
    QTemporaryDir m_dir;
    int m_nTree = 0;

private Q_SLOTS:
    void lines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("passwords");

        QTest::newRow("LF") << QByteArray("a\nb\n") << L({"a", "b"});
        QTest::newRow("CRLF, no final newline") << QByteArray("a\r\nb") << L({"a", "b"});
        QTest::newRow("empty lines skipped") << QByteArray("\n\r\na\n\n\r\nb\r\n\n") << L({"a", "b"});
        QTest::newRow("spaces are part of it") << QByteArray(" a \n\tb\n") << L({" a ", "\tb"});
        QTest::newRow("UTF-8, byte order mark dropped")
            << QByteArray("\xEF\xBB\xBFp\xC3\xA4ss\n\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C\n")
            << L({"p\xC3\xA4ss", "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C"});
        QTest::newRow("empty file") << QByteArray() << QStringList();
    }
    void lines()
    {
        QFETCH(QByteArray, bytes);
        QTEST(zelvano::cli::ParsePasswordLines(bytes), "passwords");
    }

    void badFile_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("file"); // relative to the test folder; "" for the folder itself
        QTest::newRow("scan, missing") << QStringLiteral("scan") << QStringLiteral("none.txt");
        QTest::newRow("unpack, missing") << QStringLiteral("unpack") << QStringLiteral("none.txt");
        QTest::newRow("unpack, a folder") << QStringLiteral("unpack") << QString();
    }
    void badFile()
    {
        QFETCH(QString, command);
        QFETCH(QString, file);
        const QString tree = m_dir.filePath(QStringLiteral("empty"));
        QVERIFY(QDir().mkpath(tree));
        const QString path = file.isEmpty() ? m_dir.path() : m_dir.filePath(file);
        const CliResult r = zelvano::test::RunCli({command, QStringLiteral("--password-file"), path, tree});
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains(QStringLiteral("cannot read the password file")));
        QVERIFY(r.err.contains(QDir::toNativeSeparators(path)));
        QVERIFY(r.out.isEmpty());
    }

    // A password is never an argument: the option does not exist, and its value is not echoed.
    void noPasswordOption()
    {
        const CliResult r = zelvano::test::RunCli(
            {QStringLiteral("unpack"), QStringLiteral("--password"), QString::fromLatin1(kSecret), m_dir.path()});
        QCOMPARE(r.code, 2);
        QVERIFY(!r.out.contains(QLatin1String(kSecret)));
        QVERIFY(!r.err.contains(QLatin1String(kSecret)));
    }

    void run_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("kind");    // rar (-p), rar-headers (-hp) or zip
        QTest::addColumn<QByteArray>("file"); // the password file
        QTest::addColumn<bool>("json");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("opened"); // the pictures unpacked (unpack), the archive listed (scan)

        const QByteArray right = QByteArray("other\r\n\r\n") + kSecret + "\r\n";
        const QByteArray wrong("other\nanother\n");
        const QString unpack = QStringLiteral("unpack"), scan = QStringLiteral("scan");
        const QString rar = QStringLiteral("rar"), headers = QStringLiteral("rar-headers"), zip = QStringLiteral("zip");
        QTest::newRow("unpack, right") << unpack << rar << right << false << 0 << true;
        QTest::newRow("unpack, right, JSON") << unpack << rar << right << true << 0 << true;
        QTest::newRow("unpack, wrong") << unpack << rar << wrong << false << 1 << false;
        QTest::newRow("unpack, zip, right") << unpack << zip << right << false << 0 << true;
        QTest::newRow("unpack, zip, wrong") << unpack << zip << wrong << true << 1 << false;
        QTest::newRow("unpack, names encrypted, right") << unpack << headers << right << false << 0 << true;
        QTest::newRow("unpack, names encrypted, wrong") << unpack << headers << wrong << true << 1 << false;
        QTest::newRow("scan, names encrypted, right") << scan << headers << right << true << 0 << true;
        QTest::newRow("scan, names encrypted, wrong") << scan << headers << wrong << true << 0 << false;
    }
    void run()
    {
        QFETCH(QString, command);
        QFETCH(QString, kind);
        QFETCH(QByteArray, file);
        QFETCH(bool, json);
        QFETCH(int, code);
        QFETCH(bool, opened);
        const bool zip = kind == QLatin1String("zip");
        if (zip ? !zelvano::test::HaveZipCommand() : !zelvano::test::HaveRarCommand())
            QSKIP("the archiver is not installed");

        const QString tree = m_dir.filePath(QStringLiteral("tree%1").arg(++m_nTree));
        const QString archive = tree + (zip ? QStringLiteral("/Trip.zip") : QStringLiteral("/Trip.rar"));
        const QList<QPair<QString, QByteArray>> pictures{{QStringLiteral("one.jpg"), Jpeg(1)},
                                                         {QStringLiteral("two.jpg"), Jpeg(2)}};
        if (zip)
            QVERIFY(zelvano::test::MakeEncryptedZip(archive, pictures, QString::fromLatin1(kSecret)));
        else
            QVERIFY(zelvano::test::MakeEncryptedRar(archive, pictures, QString::fromLatin1(kSecret),
                                                    kind == QLatin1String("rar-headers") ? RarEncryption::Headers
                                                                                         : RarEncryption::Data));
        const QString passwords = m_dir.filePath(QStringLiteral("passwords%1.txt").arg(m_nTree));
        QVERIFY(zelvano::test::WriteFile(passwords, file));
        const QString report = m_dir.filePath(QStringLiteral("report%1.txt").arg(m_nTree));

        QStringList args{command, QStringLiteral("--password-file"), passwords, QStringLiteral("--report"), report};
        if (command == QLatin1String("unpack"))
            args << QStringLiteral("--mode") << QStringLiteral("here") << QStringLiteral("--delete")
                 << QStringLiteral("none");
        if (json)
            args << QStringLiteral("--json");
        args << tree;
        const CliResult r = zelvano::test::RunCli(args);
        QCOMPARE(r.code, code);

        const QString secret = QString::fromLatin1(kSecret);
        QVERIFY(!r.out.contains(secret));
        QVERIFY(!r.err.contains(secret));
        QVERIFY(QFileInfo::exists(report));
        QVERIFY(!zelvano::test::ReadFile(report).contains(kSecret));

        const bool unpack = command == QLatin1String("unpack");
        if (unpack) {
            QCOMPARE(QFileInfo::exists(tree + QStringLiteral("/one.jpg")), opened);
            QCOMPARE(QFileInfo::exists(tree + QStringLiteral("/two.jpg")), opened);
        } else {
            QVERIFY(r.out.contains(QFileInfo(archive).fileName()));
            QCOMPARE(r.out.contains(QStringLiteral("\"photos\": 2")), opened);
        }
        QVERIFY(QFileInfo::exists(archive)); // nothing here deletes
        QCOMPARE(r.out.contains(QStringLiteral("Encrypted: no password")), !opened);
    }
};

QTEST_GUILESS_MAIN(TestCliPasswords)
#include "tst_passwords.moc"
