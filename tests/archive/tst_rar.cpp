#include "archive/rar.h"

#include "support/rarwriter.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <sys/stat.h>
#include <zlib.h>

using namespace zelvano::test;
using zelvano::test::ReadFile;
using zelvano::test::WriteFile;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QStringList SL(std::initializer_list<const char*> texts)
{
    QStringList out;
    for (const char* t : texts)
        out << S(t);
    return out;
}

// The bytes make-rar-fixtures.sh writes for a payload: "zelvano SEED payload" repeated, cut at size.
QByteArray Payload(const char* seed, int size)
{
    const QByteArray unit = QByteArray("zelvano ") + seed + " payload";
    QByteArray out;
    while (out.size() < size)
        out += unit;
    out.truncate(size);
    return out;
}

// A short text of what the listing reports about one entry: name, kind letters, unpacked size.
// d directory, h hidden, l link (with its target), e encrypted, < split before, > split after.
QString Describe(const RarEntry& e)
{
    QString kind;
    if (e.isDirectory)
        kind += QLatin1Char('d');
    if (e.isHidden)
        kind += QLatin1Char('h');
    if (e.isLink)
        kind += QLatin1Char('l');
    if (e.isEncrypted)
        kind += QLatin1Char('e');
    if (e.splitBefore)
        kind += QLatin1Char('<');
    if (e.splitAfter)
        kind += QLatin1Char('>');
    if (kind.isEmpty())
        kind = QStringLiteral("f");
    QString text = e.name + QLatin1Char(' ') + kind + QLatin1Char(' ') + QString::number(e.unpackedSize);
    if (!e.redirTarget.isEmpty())
        text += QStringLiteral(" -> ") + e.redirTarget;
    return text;
}

} // namespace

class TestRar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void openTest_data();
    void openTest();
    void listing_data();
    void listing();
    void hostSystem_data();
    void hostSystem();
    void extraction_data();
    void extraction();
    void failedEntriesLeaveTheRestReadable_data();
    void failedEntriesLeaveTheRestReadable();
    void extractedFilesLoseSpecialBits();
    void stopEndsSession();
    void handleRefusesWorkWhenClosed();
    void volumesTheLibraryWentTo_data();
    void volumesTheLibraryWentTo();

private:
    QString Fixture(const QString& name) const { return m_fixtures.filePath(name); }

    QTemporaryDir m_fixtureDir;
    QDir m_fixtures;
};

void TestRar::initTestCase()
{
    QVERIFY(m_fixtureDir.isValid());
    m_fixtures.setPath(m_fixtureDir.path());
    const QString script = qEnvironmentVariable("ZELVANO_TEST_DATA") + QStringLiteral("/make-rar-fixtures.sh");
    QVERIFY2(QFileInfo::exists(script), qPrintable(script));
    QProcess maker;
    maker.setProcessChannelMode(QProcess::MergedChannels);
    maker.start(QStringLiteral("bash"), {script, m_fixtureDir.path()});
    QVERIFY(maker.waitForFinished(120000));
    QVERIFY2(maker.exitStatus() == QProcess::NormalExit && maker.exitCode() == 0, maker.readAll().constData());

    // Run under the plain "C" character locale, where the library cannot turn non-ASCII wide paths into
    // bytes unless the layer sees to it: names must not depend on the user's locale.
    setlocale(LC_CTYPE, "C");

    const QByteArray photo = Payload("crafted", 64);
    // Made on Windows: a folder by its flag, a hidden picture, and a picture whose attributes carry
    // 0x10 without the directory flag (attributes never make a folder).
    QVERIFY(WriteFile(Fixture(QStringLiteral("win4.rar")), CraftRar4({{"Album", 2, 0x10, true, {}},
                                                                      {"Album\\a.jpg", 2, 0x20, false, photo},
                                                                      {"hidden.jpg", 2, 0x22, false, photo},
                                                                      {"attr10.jpg", 2, 0x10, false, photo}})));
    QVERIFY(WriteFile(Fixture(QStringLiteral("dos4.rar")), CraftRar4({{"HIDDEN.JPG", 0, 0x02, false, photo}})));
    // Made on Unix: modes whose low bits read as "hidden" and "directory" in Windows terms, a symbolic
    // link by its mode (the link target is the data), a set-id picture nobody may read.
    QVERIFY(WriteFile(Fixture(QStringLiteral("unix4.rar")), CraftRar4({{"p666.jpg", 3, 0100666, false, photo},
                                                                       {"p777.jpg", 3, 0100777, false, photo},
                                                                       {"link.jpg", 3, 0120777, false, "p666.jpg"},
                                                                       {"setid.jpg", 3, 0106000, false, photo}})));
    // Sizes above 4 GiB: the listing must carry the high 32 bits.
    QVERIFY(WriteFile(Fixture(QStringLiteral("large4.rar")),
                      CraftRar4({{"huge.jpg", 2, 0x20, false, photo, (quint64(5) << 32) + 64, 0}})));
    QVERIFY(WriteFile(Fixture(QStringLiteral("win5.rar")), CraftRar5({{"hidden.jpg", 2, 0x22, false, photo},
                                                                      {"attr10.jpg", 2, 0x10, false, photo},
                                                                      {"Album", 2, 0x10, true, {}}})));
}

void TestRar::openTest_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<int>("result");

    QTest::newRow("good archive opens") << S("album.rar") << int(RarSuccess);
    QTest::newRow("empty archive opens") << S("empty.rar") << int(RarSuccess);
    QTest::newRow("crafted RAR4 opens") << S("win4.rar") << int(RarSuccess);
    QTest::newRow("text file named .rar") << S("notrar.rar") << int(RarBadArchive);
    QTest::newRow("zero-byte file") << S("zero.rar") << int(RarBadArchive);
    QTest::newRow("missing file") << S("nothere.rar") << int(RarOpenError);
    QTest::newRow("truncated after its headers opens") << S("truncated.rar") << int(RarSuccess);
    QTest::newRow("encrypted headers need a password") << S("enchead.rar") << int(RarMissingPassword);
    QTest::newRow("encrypted data opens") << S("encdata.rar") << int(RarSuccess);
    QTest::newRow("first volume of a set") << S("vol.part1.rar") << int(RarSuccess);
    QTest::newRow("first volume alone") << S("lonevol/vol.part1.rar") << int(RarSuccess);
}

void TestRar::openTest()
{
    QFETCH(QString, archive);
    QFETCH(int, result);
    QCOMPARE(RarTestOpen(Fixture(archive)), result);
}

void TestRar::listing_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("result");

    QTest::newRow("folder flag and folder prefix; Unix 0666/0777 are plain files")
        << S("album.rar")
        << SL({"Album/a.jpg f 3000", "p666.jpg f 1200", "p777.jpg f 1300", "p644.jpg f 1400", "Album d 0"})
        << int(RarSuccess);
    QTest::newRow("Windows attributes: hidden read, 0x10 without flag is a file")
        << S("win4.rar") << SL({"Album d 0", "Album/a.jpg f 64", "hidden.jpg h 64", "attr10.jpg f 64"})
        << int(RarSuccess);
    QTest::newRow("RAR5 Windows attributes")
        << S("win5.rar") << SL({"hidden.jpg h 64", "attr10.jpg f 64", "Album d 0"}) << int(RarSuccess);
    QTest::newRow("DOS hidden attribute") << S("dos4.rar") << SL({"HIDDEN.JPG h 64"}) << int(RarSuccess);
    QTest::newRow("RAR4 Unix modes are not attributes; link by mode")
        << S("unix4.rar") << SL({"p666.jpg f 64", "p777.jpg f 64", "link.jpg l 8", "setid.jpg f 64"})
        << int(RarSuccess);
    QTest::newRow("symbolic and hard links reported")
        << S("links.rar") << SL({"a.jpg f 700", "rel.jpg l 5 -> a.jpg", "hard.jpg l 700 -> a.jpg"}) << int(RarSuccess);
    QTest::newRow("absolute link reported")
        << S("abslink.rar") << SL({"abs.jpg l 13 -> /etc/hostname"}) << int(RarSuccess);
    QTest::newRow("sizes above 4 GiB") << S("large4.rar") << SL({"huge.jpg f 21474836544"}) << int(RarSuccess);
    QTest::newRow("wide names whole") << S("wide.rar") << SL({"Ålbum/żółw 日本.jpg f 500", "Ålbum d 0"})
                                      << int(RarSuccess);
    QTest::newRow("encrypted data still lists") << S("encdata.rar") << SL({"secret.jpg e 900"}) << int(RarSuccess);
    QTest::newRow("split parts listed") << S("vol.part1.rar")
                                        << SL({"big.jpg > 60000", "big.jpg <> 60000", "big.jpg < 60000"})
                                        << int(RarSuccess);
    QTest::newRow("missing next volume ends with a code")
        << S("lonevol/vol.part1.rar") << SL({"big.jpg > 60000"}) << int(RarOpenError);
    QTest::newRow("empty archive ends at once") << S("empty.rar") << QStringList() << int(RarSuccess);
    QTest::newRow("encrypted headers do not open") << S("enchead.rar") << QStringList() << int(RarMissingPassword);
    QTest::newRow("not a RAR") << S("notrar.rar") << QStringList() << int(RarBadArchive);
    // The library ends a truncated archive quietly at the last whole header.
    QTest::newRow("truncated lists its whole headers")
        << S("truncated.rar") << SL({"Album/a.jpg f 3000", "p666.jpg f 1200"}) << int(RarSuccess);
}

void TestRar::listing()
{
    QFETCH(QString, archive);
    QFETCH(QStringList, entries);
    QFETCH(int, result);

    QStringList listed;
    bool opened = false;
    const int r = RarListArchive(
        Fixture(archive),
        [&](const RarEntry& e) {
            listed << Describe(e);
            return true;
        },
        &opened);
    QCOMPARE(listed, entries);
    QCOMPARE(r, result);
    QCOMPARE(opened, result == RarSuccess || !entries.isEmpty());
}

void TestRar::hostSystem_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<quint32>("hostOs");

    // The library reports the kind of attributes with two RAR4 numbers: MS-DOS comes as Win32.
    QTest::newRow("RAR5 made on Unix") << S("album.rar") << quint32(RarHostUnix);
    QTest::newRow("RAR5 made on Windows") << S("win5.rar") << quint32(RarHostWin32);
    QTest::newRow("RAR4 made on Windows") << S("win4.rar") << quint32(RarHostWin32);
    QTest::newRow("RAR4 made on DOS") << S("dos4.rar") << quint32(RarHostWin32);
    QTest::newRow("RAR4 made on Unix") << S("unix4.rar") << quint32(RarHostUnix);
}

void TestRar::hostSystem()
{
    QFETCH(QString, archive);
    QFETCH(quint32, hostOs);
    QList<quint32> hosts;
    QCOMPARE(RarListArchive(Fixture(archive),
                            [&](const RarEntry& e) {
                                hosts << e.hostOs;
                                return true;
                            }),
             int(RarSuccess));
    QVERIFY(!hosts.isEmpty());
    for (quint32 h : hosts)
        QCOMPARE(h, hostOs);
}

void TestRar::extraction_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("destination"); // relative to a fresh output folder; "/" prefix kept as is
    QTest::addColumn<QString>("before");      // "file": an old file at the destination; "link": a link there
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("content"); // expected bytes, or empty: nothing may be at the destination

    QTest::newRow("stored entry") << S("album.rar") << S("Album/a.jpg") << S("out/a.jpg") << S("") << int(RarSuccess)
                                  << Payload("a", 3000);
    QTest::newRow("compressed entry") << S("links.rar") << S("a.jpg") << S("a.jpg") << S("") << int(RarSuccess)
                                      << Payload("la", 700);
    QTest::newRow("Unix 0666 picture extracts")
        << S("album.rar") << S("p666.jpg") << S("p666.jpg") << S("") << int(RarSuccess) << Payload("p666", 1200);
    QTest::newRow("crafted RAR4 entry") << S("win4.rar") << S("Album/a.jpg") << S("a.jpg") << S("") << int(RarSuccess)
                                        << Payload("crafted", 64);
    QTest::newRow("non-ASCII destination") << S("wide.rar") << S("Ålbum/żółw 日本.jpg") << S("Ålbum/żółw 日本.jpg")
                                           << S("") << int(RarSuccess) << Payload("wide", 500);
    QTest::newRow("existing file replaced")
        << S("album.rar") << S("p644.jpg") << S("p644.jpg") << S("file") << int(RarSuccess) << Payload("p644", 1400);
    QTest::newRow("joined over volumes") << S("vol.part1.rar") << S("big.jpg") << S("big.jpg") << S("")
                                         << int(RarSuccess) << Payload("vol", 60000);
    QTest::newRow("encrypted entry fails")
        << S("encdata.rar") << S("secret.jpg") << S("secret.jpg") << S("") << int(RarMissingPassword) << QByteArray();
    QTest::newRow("damaged data fails") << S("damaged.rar") << S("Album/a.jpg") << S("a.jpg") << S("")
                                        << int(RarBadData) << QByteArray();
    QTest::newRow("truncated data fails")
        << S("truncated.rar") << S("p666.jpg") << S("p666.jpg") << S("") << int(RarBadData) << QByteArray();
    QTest::newRow("missing next volume fails")
        << S("lonevol/vol.part1.rar") << S("big.jpg") << S("big.jpg") << S("") << int(RarOpenError) << QByteArray();
    QTest::newRow("relative symbolic link never created")
        << S("links.rar") << S("rel.jpg") << S("rel.jpg") << S("") << int(RarRefusedLink) << QByteArray();
    QTest::newRow("absolute symbolic link never created")
        << S("abslink.rar") << S("abs.jpg") << S("abs.jpg") << S("") << int(RarRefusedLink) << QByteArray();
    QTest::newRow("hard link never created")
        << S("links.rar") << S("hard.jpg") << S("hard.jpg") << S("") << int(RarRefusedLink) << QByteArray();
    QTest::newRow("RAR4 link by mode never created")
        << S("unix4.rar") << S("link.jpg") << S("link.jpg") << S("") << int(RarRefusedLink) << QByteArray();
    QTest::newRow("never written through a link at the destination")
        << S("album.rar") << S("p644.jpg") << S("p644.jpg") << S("link") << int(RarRefusedDestination) << QByteArray();
    QTest::newRow("relative destination refused")
        << S("album.rar") << S("p644.jpg") << S("/relative.jpg") << S("") << int(RarRefusedDestination) << QByteArray();
    QTest::newRow("destination with a parent part refused") << S("album.rar") << S("p644.jpg") << S("sub/../p644.jpg")
                                                            << S("") << int(RarRefusedDestination) << QByteArray();
    QTest::newRow("destination with a control character refused")
        << S("album.rar") << S("p644.jpg") << S("p\x01.jpg") << S("") << int(RarRefusedDestination) << QByteArray();
}

void TestRar::extraction()
{
    QFETCH(QString, archive);
    QFETCH(QString, entry);
    QFETCH(QString, destination);
    QFETCH(QString, before);
    QFETCH(int, result);
    QFETCH(QByteArray, content);

    QTemporaryDir out;
    QVERIFY(out.isValid());
    // A file outside the output folder that a link at the destination points to.
    const QString outside = m_fixtures.filePath(QStringLiteral("outside-%1.txt").arg(S(QTest::currentDataTag())));
    QVERIFY(WriteFile(outside, "keep me"));
    const bool relative = destination.startsWith(QLatin1Char('/'));
    const QString dest = relative ? destination.mid(1) : out.filePath(destination);
    if (!relative)
        QVERIFY(QDir().mkpath(QFileInfo(dest).absolutePath()));
    if (before == QLatin1String("file"))
        QVERIFY(WriteFile(dest, "an older, longer file that the entry replaces entirely ..............."));
    if (before == QLatin1String("link"))
        QVERIFY(QFile::link(outside, dest));

    int extracted = 0;
    int entryResult = -1;
    const int r = RarExtractArchive(
        Fixture(archive),
        [&](const RarEntry& e) {
            RarExtractStep step;
            if (e.name == entry && !e.splitBefore) {
                step.action = RarExtractStep::Extract;
                step.destination = dest;
            }
            return step;
        },
        [&](const RarEntry&, const QString& path, int code) {
            QCOMPARE(path, dest);
            ++extracted;
            entryResult = code;
        });
    QCOMPARE(extracted, 1);
    QCOMPARE(entryResult, result);
    // The session goes on after a failed entry; only a missing volume ends it early.
    QCOMPARE(r, result == RarOpenError ? int(RarOpenError) : int(RarSuccess));
    QCOMPARE(ReadFile(outside), QByteArray("keep me"));
    QFile::remove(outside);

    if (before == QLatin1String("link")) {
        QVERIFY(QFileInfo(dest).isSymLink()); // left as the user had it
        return;
    }
    if (relative) {
        QVERIFY(!QFileInfo::exists(dest));
        return;
    }
    const QFileInfo written(dest);
    QVERIFY2(!written.isSymLink(), "a link was created");
    if (content.isEmpty()) {
        QVERIFY2(!written.exists(), "a failed entry left a file");
    } else {
        QVERIFY(written.isFile());
        QCOMPARE(ReadFile(dest), content);
    }
}

void TestRar::failedEntriesLeaveTheRestReadable_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QStringList>("results"); // "name code" per extracted entry, in archive order

    // The encrypted data get a new random salt each time the fixtures are made; the row must hold for all.
    QTest::newRow("encrypted entry before a plain one") << S("mixed.rar") << SL({"secret.jpg 22", "plain.jpg 0"});
    QTest::newRow("damaged entry before good ones")
        << S("damaged.rar") << SL({"Album/a.jpg 12", "p666.jpg 0", "p777.jpg 0", "p644.jpg 0"});
    QTest::newRow("links between pictures") << S("links.rar") << SL({"a.jpg 0", "rel.jpg 100", "hard.jpg 100"});
}

void TestRar::failedEntriesLeaveTheRestReadable()
{
    QFETCH(QString, archive);
    QFETCH(QStringList, results);
    QTemporaryDir out;
    QVERIFY(out.isValid());
    QStringList seen;
    const int r = RarExtractArchive(
        Fixture(archive),
        [&](const RarEntry& e) {
            if (e.isDirectory)
                return RarExtractStep{};
            return RarExtractStep{RarExtractStep::Extract, out.filePath(QString::number(seen.size()) + S(".jpg"))};
        },
        [&](const RarEntry& e, const QString& path, int code) {
            seen << e.name + QLatin1Char(' ') + QString::number(code);
            QCOMPARE(QFileInfo::exists(path), code == RarSuccess);
        });
    QCOMPARE(seen, results);
    QCOMPARE(r, int(RarSuccess));
}

void TestRar::extractedFilesLoseSpecialBits()
{
    QTemporaryDir out;
    QVERIFY(out.isValid());
    const QString dest = out.filePath(QStringLiteral("setid.jpg"));
    int code = -1;
    RarExtractArchive(
        Fixture(QStringLiteral("unix4.rar")),
        [&](const RarEntry& e) {
            return e.name == QLatin1String("setid.jpg") ? RarExtractStep{RarExtractStep::Extract, dest}
                                                        : RarExtractStep{};
        },
        [&](const RarEntry&, const QString&, int r) { code = r; });
    QCOMPARE(code, int(RarSuccess));
    struct stat st = {};
    QCOMPARE(::stat(QFile::encodeName(dest).constData(), &st), 0);
    QCOMPARE(st.st_mode & (S_ISUID | S_ISGID | S_ISVTX), mode_t(0));
    QCOMPARE(st.st_mode & (S_IRUSR | S_IWUSR), mode_t(S_IRUSR | S_IWUSR));
    QCOMPARE(ReadFile(dest), Payload("crafted", 64));
}

void TestRar::stopEndsSession()
{
    QTemporaryDir out;
    QVERIFY(out.isValid());
    QStringList seen;
    QStringList written;
    const int r = RarExtractArchive(
        Fixture(QStringLiteral("album.rar")),
        [&](const RarEntry& e) {
            seen << e.name;
            if (seen.size() == 3)
                return RarExtractStep{RarExtractStep::Stop, {}};
            return RarExtractStep{RarExtractStep::Extract, out.filePath(QString::number(seen.size()))};
        },
        [&](const RarEntry& e, const QString&, int code) {
            QCOMPARE(code, int(RarSuccess));
            written << e.name;
        });
    QCOMPARE(r, int(RarSuccess));
    QCOMPARE(seen, SL({"Album/a.jpg", "p666.jpg", "p777.jpg"}));
    QCOMPARE(written, SL({"Album/a.jpg", "p666.jpg"}));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), SL({"1", "2"}));
}

void TestRar::handleRefusesWorkWhenClosed()
{
    RarArchive archive;
    RarEntry entry;
    QCOMPARE(archive.ReadHeader(entry), int(RarNotOpen));
    QCOMPARE(archive.Skip(), int(RarNotOpen));
    QCOMPARE(archive.Open(Fixture(QStringLiteral("notrar.rar")), RarOpenMode::Extract), int(RarBadArchive));
    QVERIFY(!archive.IsOpen());
    QCOMPARE(archive.Open(Fixture(QStringLiteral("album.rar")), RarOpenMode::List), int(RarSuccess));
    QVERIFY(archive.IsOpen());
    archive.Close();
    archive.Close();
    QCOMPARE(archive.ExtractTo(QStringLiteral("/tmp/never.jpg")), int(RarNotOpen));
}

void TestRar::volumesTheLibraryWentTo_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<bool>("volume");
    QTest::addColumn<bool>("first");
    QTest::addColumn<QStringList>("next");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<int>("listed");
    QTest::newRow("whole set") << S("vol.part1.rar") << true << true << SL({"vol.part2.rar", "vol.part3.rar"}) << S("")
                               << int(RarSuccess);
    QTest::newRow("first volume alone") << S("lonevol/vol.part1.rar") << true << true << QStringList()
                                        << S("lonevol/vol.part2.rar") << int(RarOpenError);
    QTest::newRow("later volume") << S("vol.part2.rar") << true << false << QStringList() << S("") << -1;
    QTest::newRow("no set") << S("album.rar") << false << false << QStringList() << S("") << int(RarSuccess);
}

// The library opens the next volumes itself and says which; a missing one is named, and ends the listing.
void TestRar::volumesTheLibraryWentTo()
{
    QFETCH(QString, archive);
    QFETCH(bool, volume);
    QFETCH(bool, first);
    QFETCH(QStringList, next);
    QFETCH(QString, missing);
    QFETCH(int, listed);
    RarArchive rar;
    QCOMPARE(rar.Open(Fixture(archive), RarOpenMode::ListSplit), int(RarSuccess));
    QCOMPARE(rar.IsVolume(), volume);
    QCOMPARE(rar.IsFirstVolume(), first);
    if (listed < 0)
        return; // a later volume is read through the first one
    QCOMPARE(RarListEntries(rar, {}), listed);
    QStringList expected;
    for (const QString& name : next)
        expected << Fixture(name);
    QCOMPARE(rar.NextVolumes(), expected);
    QCOMPARE(rar.MissingVolume(), missing.isEmpty() ? QString() : Fixture(missing));
    QCOMPARE(rar.CurrentVolume(), expected.isEmpty() ? Fixture(archive) : expected.back());
    rar.Close();
    QVERIFY(rar.NextVolumes().isEmpty());
    QVERIFY(rar.MissingVolume().isEmpty());
}

QTEST_GUILESS_MAIN(TestRar)
#include "tst_rar.moc"
