#include "archive/zip.h"
#include "scan/examine.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "support/rarwriter.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <limits>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using zelvano::test::CraftEntry;
using zelvano::test::CraftRar5;
using zelvano::test::ZipItem;
using zelvano::test::ZipWriter;

namespace {

// Every photo entry of the fixtures holds this many bytes, stored, so both byte sums are 100 per photo.
constexpr int kEntrySize = 100;

// An entry of a fixture: "name" or "name|flags" with D (directory flag), H (hidden), L (symbolic link, RAR).
struct FixtureEntry
{
    QString name;
    QString flags;
};

FixtureEntry ParseEntry(const QString& text)
{
    const int bar = text.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return {text, QString()};
    return {text.left(bar), text.mid(bar + 1)};
}

QByteArray Payload()
{
    return QByteArray(kEntrySize, 'x');
}

bool MakeZip(const QString& path, const QStringList& entries)
{
    ZipWriter writer;
    for (const QString& text : entries) {
        const FixtureEntry e = ParseEntry(text);
        const bool folderName = e.name.endsWith(QLatin1Char('/'));
        auto& item = writer.add(e.name.toUtf8(), folderName ? QByteArray() : Payload(), 0);
        item.flags |= 0x0800;
        item.versionMadeBy = 0x0014; // MS-DOS attributes only
        if (e.flags.contains(QLatin1Char('D')))
            item.externalAttributes |= 0x10;
        if (e.flags.contains(QLatin1Char('H')))
            item.externalAttributes |= 0x02;
    }
    return zelvano::test::WriteFile(path, writer.build());
}

// Builds the archive with the rar command from a staging folder holding exactly the listed entries.
bool MakeRar(const QString& path, const QStringList& entries, QString* error)
{
    QTemporaryDir staging;
    QStringList names;
    for (const QString& text : entries) {
        const FixtureEntry e = ParseEntry(text);
        const QString full = staging.filePath(e.name);
        QDir().mkpath(QFileInfo(full).absolutePath());
        if (e.flags.contains(QLatin1Char('D'))) {
            QDir().mkpath(full);
        } else if (e.flags.contains(QLatin1Char('L'))) {
            QFile::link(QStringLiteral("target.bin"), full);
        } else if (!zelvano::test::WriteFile(full, Payload())) {
            *error = QStringLiteral("cannot write ") + full;
            return false;
        }
        names << e.name;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QProcess rar;
    rar.setWorkingDirectory(staging.path());
    rar.start(QStringLiteral("rar"), QStringList{QStringLiteral("a"), QStringLiteral("-idq"), QStringLiteral("-y"),
                                                 QStringLiteral("-ol"), QStringLiteral("-m0"), path} +
                                         names);
    if (!rar.waitForFinished(60000) || rar.exitCode() != 0) {
        *error = QString::fromLocal8Bit(rar.readAllStandardError());
        return false;
    }
    return true;
}

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QStringList L(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* t : texts)
        list << QString::fromUtf8(t);
    return list;
}

QString DefaultPatterns()
{
    return BuildImagePatternList(CXSettings());
}

} // namespace

class TestExamine : public QObject
{
    Q_OBJECT

    // A folder whose path holds no word the fixtures' folder names could match by accident.
    QTemporaryDir m_root{QDir::tempPath() + QStringLiteral("/zv-XXXXXX")};

    int m_nCase = 0;

    // A fresh folder per row, named so that no word of it can match a fixture's folder names.
    QString CaseFolder() { return m_root.filePath(QStringLiteral("c%1/").arg(++m_nCase)); }

    void AddColumns()
    {
        QTest::addColumn<QString>("archivePath"); // below the temporary folder
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("ignore");   // the ignore words; "*" keeps the default list
        QTest::addColumn<QString>("patterns"); // the image pattern list; empty for the default one
        QTest::addColumn<int>("photos");
        QTest::addColumn<int>("folders");
        QTest::addColumn<int>("mode");
    }

    void CheckExamination(const QString& path)
    {
        QFETCH(QString, ignore);
        QFETCH(QString, patterns);
        QFETCH(int, photos);
        QFETCH(int, folders);
        QFETCH(int, mode);
        CXSettings settings;
        if (ignore != QLatin1String("*"))
            settings.SetIgnoreFolderNames(ignore);
        int error = 0;
        QVERIFY2(CanOpenArchive(path, &error), qPrintable(QString::number(error)));
        int gotMode = 0;
        quint64 photoBytes = 1;
        quint64 packedBytes = 1;
        int folderCount = -5;
        const int got = ExamineArchive(settings, path, patterns.isEmpty() ? DefaultPatterns() : patterns, gotMode,
                                       photoBytes, packedBytes, folderCount);
        QCOMPARE(got, photos);
        QCOMPARE(folderCount, folders);
        QCOMPARE(gotMode, mode);
        const quint64 bytes = photos > 0 ? quint64(photos) * kEntrySize : 0;
        QCOMPARE(photoBytes, bytes);
        QCOMPARE(packedBytes, bytes);
        CheckOneOpenAgrees(settings, path, patterns.isEmpty() ? DefaultPatterns() : patterns);
    }

    // The scan's open-and-examine gives what the open test followed by the examination gives.
    void CheckOneOpenAgrees(const CXSettings& settings, const QString& path, const QString& patterns)
    {
        int error = 12345;
        const bool opens = CanOpenArchive(path, &error);
        int mode = 0, folders = -5;
        quint64 photoBytes = 1, packedBytes = 1;
        const int photos = opens ? ExamineArchive(settings, path, patterns, mode, photoBytes, packedBytes, folders) : 0;
        int oneError = 12345, onePhotos = 0, oneMode = 0, oneFolders = -5, calls = 0;
        quint64 onePhotoBytes = 1, onePackedBytes = 1;
        QCOMPARE(OpenAndExamineArchive(
                     settings, path, patterns, &oneError, [&] { ++calls; }, onePhotos, oneMode, onePhotoBytes,
                     onePackedBytes, oneFolders),
                 opens);
        QCOMPARE(oneError, error);
        QCOMPARE(calls, opens ? 1 : 0);
        QCOMPARE(onePhotos, photos);
        QCOMPARE(oneMode, mode);
        QCOMPARE(oneFolders, folders);
        QCOMPARE(onePhotoBytes, photoBytes);
        QCOMPARE(onePackedBytes, packedBytes);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_root.isValid()); }

    void zipAdvice_data()
    {
        AddColumns();
        const QString def = QStringLiteral("*");
        // clang-format off
        QTest::newRow("mac resource forks are no photos")
            << S("Misc/trip.zip") << L({"__MACOSX/|D", "__MACOSX/._IMG_1.jpg", "IMG_1.jpg"}) << def << S("") << 1 << 0 << 2;
        QTest::newRow("a .DS_Store file never counts, even when its type is listed")
            << S("Misc/a.zip") << L({"Album/.DS_Store", ".DS_Store", "a.jpg"}) << def << S("*.jpg;*.ds_store;") << 1 << 0 << 2;
        QTest::newRow("hidden picture counts")
            << S("Misc/a.zip") << L({"a.jpg|H", "b.jpg"}) << def << S("") << 2 << 0 << 2;
        QTest::newRow("names that merely hold junk words are pictures")
            << S("Misc/a.zip") << L({"my.DS_Store.jpg", "Thumbs.db.jpg", "Album/__MACOSX/a.jpg"}) << def << S("") << 3 << 1 << 2;
        QTest::newRow("AppleDouble companion beside its picture is junk, a lone one a picture")
            << S("Misc/a.zip") << L({"Album/a.jpg", "Album/._a.jpg", "._b.jpg"}) << def << S("") << 2 << 1 << 2;
        QTest::newRow("Thumbs.db and desktop.ini never count, even when their types are listed")
            << S("Misc/a.zip") << L({"Thumbs.db", "Album/desktop.ini", "x.db"}) << def << S("*.jpg;*.db;*.ini;") << 1 << 0 << 2;
        QTest::newRow("junk gives no folder key")
            << S("Trips/Hawaii/Hawaii.zip") << L({"__MACOSX/|D", "__MACOSX/Rome/|D", "__MACOSX/Rome/._a.jpg", "a.jpg"}) << def << S("") << 1 << 0 << 1;
        QTest::newRow("dot space before the extension still counts")
            << S("Misc/a.zip") << L({"IMG. jpg"}) << def << S("") << 1 << 0 << 2;
        QTest::newRow("only a whole item of the list counts")
            << S("Misc/a.zip") << L({"photo.jp", "photo.png", "photo.j", "photo.", "photo.jpeg"}) << def << S("*.jpg;*.jpeg;") << 1 << 0 << 2;
        QTest::newRow("upper-case extension counts")
            << S("Misc/a.zip") << L({"A.JPG"}) << def << S("") << 1 << 0 << 2;
        QTest::newRow("directory flag on a picture name is a photo")
            << S("Misc/a.zip") << L({"shot.jpg|D"}) << def << S("") << 1 << 0 << 2;
        QTest::newRow("directory flag on another name is a folder")
            << S("Misc/a.zip") << L({"Notes|D", "a.jpg"}) << def << S("") << 1 << 1 << 2;
        QTest::newRow("folder entry and its photo give one key")
            << S("Misc/a.zip") << L({"Album/|D", "Album/a.jpg"}) << def << S("") << 1 << 1 << 2;
        QTest::newRow("unflagged folder entry is a key too")
            << S("Misc/a.zip") << L({"Album/", "Album/a.jpg"}) << def << S("") << 1 << 1 << 2;
        QTest::newRow("folder keys ignore case")
            << S("Misc/a.zip") << L({"Album/a.jpg", "ALBUM/b.jpg"}) << def << S("") << 2 << 1 << 2;
        QTest::newRow("nested folders join without separators")
            << S("Album/Sub/a.zip") << L({"Album/Sub/a.jpg"}) << def << S("") << 1 << 1 << 2;
        QTest::newRow("inner folder named in the path extracts in place")
            << S("Photos/Hawaii 2010.zip") << L({"Hawaii/a.jpg"}) << def << S("") << 1 << 1 << 1;
        QTest::newRow("inner folder not in the path gets a new folder")
            << S("Photos/Hawaii 2010.zip") << L({"Pictures/a.jpg"}) << def << S("") << 1 << 1 << 2;
        QTest::newRow("dots in a folder name become spaces")
            << S("Photos/my album.zip") << L({"My.Album/a.jpg"}) << def << S("") << 1 << 1 << 1;
        QTest::newRow("ignored folder word does not match")
            << S("photo/set.zip") << L({"photo/a.jpg"}) << def << S("") << 1 << 1 << 2;
        QTest::newRow("the same word counts without an ignore list")
            << S("photo/set.zip") << L({"photo/a.jpg"}) << S("") << S("") << 1 << 1 << 1;
        QTest::newRow("root photos, archive named after its folder")
            << S("Trips/Hawaii/Hawaii Beach.zip") << L({"a.jpg", "b.jpg"}) << def << S("") << 2 << 0 << 1;
        QTest::newRow("root photos, unrelated folder")
            << S("Trips/Misc/Hawaii Beach.zip") << L({"a.jpg", "b.jpg"}) << def << S("") << 2 << 0 << 2;
        QTest::newRow("root photos, ignored folder name")
            << S("photo/photo beach.zip") << L({"a.jpg"}) << def << S("") << 1 << 0 << 2;
        QTest::newRow("root photos, apostrophe dropped from folder words")
            << S("Trips/Bob's Trip/bobs holiday.zip") << L({"a.jpg"}) << def << S("") << 1 << 0 << 1;
        QTest::newRow("root photos, ampersand dropped from the folder name")
            << S("Trips/Photo & Set/photo set 2.zip") << L({"a.jpg"}) << def << S("") << 1 << 0 << 1;
        // An archive whose one top folder is its own title brings the folder it would be given.
        QTest::newRow("only top folder is the title, words too short to count")
            << S("Misc/京都 旅行.zip") << L({"京都 旅行/a.jpg", "京都 旅行/b.jpg"}) << def << S("") << 2 << 1 << 1;
        QTest::newRow("only top folder is the title, with its folder entry and a subfolder")
            << S("Misc/京都 旅行.zip") << L({"京都 旅行/|D", "京都 旅行/夜/|D", "京都 旅行/夜/a.jpg"}) << def << S("") << 1 << 2 << 1;
        QTest::newRow("top folder is the title after tidying, ignoring case")
            << S("Misc/ab_cd.zip") << L({"AB CD/a.jpg", "ab cd/b.jpg"}) << def << S("") << 2 << 1 << 1;
        QTest::newRow("top folder is the title, but photos lie beside it")
            << S("Misc/京都 旅行.zip") << L({"京都 旅行/a.jpg", "b.jpg"}) << def << S("") << 2 << 1 << 2;
        QTest::newRow("two top folders, one of them the title")
            << S("Misc/京都 旅行.zip") << L({"京都 旅行/a.jpg", "大阪/b.jpg"}) << def << S("") << 2 << 2 << 2;
        QTest::newRow("top folder that only contains the title")
            << S("Misc/京都.zip") << L({"京都 旅行/a.jpg"}) << def << S("") << 1 << 1 << 2;
        // Archivers on Windows store backslashes; they separate folders like slashes.
        QTest::newRow("backslash names give their folder key")
            << S("Misc/Geburtstag Müller.zip") << L({"Geburtstag Müller\\IMG_1.jpg", "Geburtstag Müller\\IMG_2.jpg"}) << def << S("") << 2 << 1 << 1;
        QTest::newRow("backslash folder entry gives its key")
            << S("Misc/Feier.zip") << L({"Feier\\|D", "Feier\\Tag\\a.jpg"}) << def << S("") << 1 << 2 << 1;
        QTest::newRow("backslash names, folder not in the path")
            << S("Misc/Geburtstag.zip") << L({"Pictures\\IMG_1.jpg"}) << def << S("") << 1 << 1 << 2;
        // The same name in its composed and decomposed forms is one name.
        QTest::newRow("decomposed archive name, composed folder name")
            << S("Misc/Mu\xCC\x88ller Fotos.zip") << L({"Müller/a.jpg"}) << def << S("") << 1 << 1 << 1;
        QTest::newRow("text files only")
            << S("Misc/a.zip") << L({"notes/|D", "readme.txt"}) << def << S("") << -1 << 1 << 2;
        QTest::newRow("empty archive")
            << S("Misc/a.zip") << L({}) << def << S("") << -1 << 0 << 2;
        // clang-format on
    }
    void zipAdvice()
    {
        QFETCH(QString, archivePath);
        QFETCH(QStringList, entries);
        const QString path = CaseFolder() + archivePath;
        QVERIFY(MakeZip(path, entries));
        CheckExamination(path);
    }

    void rarAdvice_data()
    {
        AddColumns();
        const QString def = QStringLiteral("*");
        // clang-format off
        QTest::newRow("directory entry with a picture name is a folder")
            << S("Misc/a.rar") << L({"shot.jpg|D", "b.jpg"}) << def << S("") << 1 << 1 << 2;
        QTest::newRow("nested folders keep their separator")
            << S("Album/Sub/a.rar") << L({"Album/Sub/a.jpg"}) << def << S("") << 1 << 1 << 1;
        QTest::newRow("a link is no photo")
            << S("Misc/a.rar") << L({"b.jpg", "link.jpg|L"}) << def << S("") << 1 << 0 << 2;
        QTest::newRow("mac resource forks are no photos")
            << S("Misc/a.rar") << L({"__MACOSX/._a.jpg", "a.jpg"}) << def << S("") << 1 << 0 << 2;
        QTest::newRow("AppleDouble companion beside its picture is junk")
            << S("Misc/a.rar") << L({"Album/a.jpg", "Album/._a.jpg"}) << def << S("") << 1 << 1 << 2;
        QTest::newRow("a junk word in a picture's name is no junk")
            << S("Misc/a.rar") << L({"my.DS_Store.jpg"}) << def << S("") << 1 << 0 << 2;
        QTest::newRow("inner folder named in the path extracts in place")
            << S("Photos/Hawaii 2010.rar") << L({"Hawaii/a.jpg", "Hawaii/b.jpg"}) << def << S("") << 2 << 1 << 1;
        QTest::newRow("root photos, archive named after its folder")
            << S("Trips/Hawaii/Hawaii Beach.rar") << L({"a.jpg"}) << def << S("") << 1 << 0 << 1;
        QTest::newRow("root photos, unrelated folder")
            << S("Trips/Misc/Hawaii Beach.rar") << L({"a.jpg"}) << def << S("") << 1 << 0 << 2;
        QTest::newRow("text files only")
            << S("Misc/a.rar") << L({"readme.txt"}) << def << S("") << -1 << 0 << 2;
        // clang-format on
    }
    void rarAdvice()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("rar")).isEmpty())
            QSKIP("the rar command is not installed");
        QFETCH(QString, archivePath);
        QFETCH(QStringList, entries);
        const QString path = CaseFolder() + archivePath;
        QString error;
        QVERIFY2(MakeRar(path, entries, &error), qPrintable(error));
        CheckExamination(path);
    }

    // The hidden attribute of an archive made on Windows does not keep a picture from counting.
    void rarHiddenPictureCounts()
    {
        const QString path = m_root.filePath(QStringLiteral("hidden/Misc/a.rar"));
        QVERIFY(zelvano::test::WriteFile(
            path, CraftRar5({{"hidden.jpg", 2, 0x22, false, Payload()}, {"b.jpg", 2, 0x20, false, Payload()}})));
        int mode = 0;
        quint64 photoBytes = 0;
        quint64 packedBytes = 0;
        int folders = 0;
        QCOMPARE(ExamineArchive(CXSettings(), path, DefaultPatterns(), mode, photoBytes, packedBytes, folders), 2);
        QCOMPARE(photoBytes, quint64(2 * kEntrySize));
        CheckOneOpenAgrees(CXSettings(), path, DefaultPatterns());
    }

    void byteSumsAreCompressedAndUncompressedSizes()
    {
        ZipWriter writer;
        const QByteArray picture(5000, 'a');
        writer.add("a.jpg", picture, 8);
        writer.add("b.jpg", picture, 8);
        writer.add("c.txt", picture, 8);
        const QString path = m_root.filePath(QStringLiteral("sums/Misc/a.zip"));
        QVERIFY(zelvano::test::WriteFile(path, writer.build()));
        int mode = 0;
        quint64 photoBytes = 0;
        quint64 packedBytes = 0;
        int folders = 0;
        QCOMPARE(ExamineArchive(CXSettings(), path, DefaultPatterns(), mode, photoBytes, packedBytes, folders), 2);
        QCOMPARE(photoBytes, quint64(10000));
        QCOMPARE(packedBytes, quint64(2 * ZipWriter::Deflate(picture).size()));
    }

    // Sizes a hostile archive declares can never add up to a small total (which would let a disk-space
    // check pass): the sums stop at the largest value.
    void byteSumsSaturate_data()
    {
        QTest::addColumn<bool>("rar");
        QTest::addColumn<QList<quint64>>("unpacked"); // the declared size of each picture
        QTest::addColumn<quint64>("photoBytes");
        constexpr quint64 kMax = std::numeric_limits<quint64>::max();
        constexpr quint64 kHalf = quint64(1) << 63;
        // The ZIP reader gives sizes as signed 64-bit numbers, the largest ones as 2^63 - 1.
        QTest::newRow("ZIP64: two forged sizes and a small one would wrap to zero")
            << false << QList<quint64>{kMax - 50, kMax - 50, 2} << kMax;
        QTest::newRow("ZIP64: below the limit adds up") << false << QList<quint64>{kHalf - 1, kHalf - 1} << kMax - 1;
        QTest::newRow("RAR: near 2^64 plus a small one") << true << QList<quint64>{kMax - 50, 100} << kMax;
        QTest::newRow("RAR: two halves") << true << QList<quint64>{kHalf, kHalf} << kMax;
    }
    void byteSumsSaturate()
    {
        QFETCH(bool, rar);
        QFETCH(QList<quint64>, unpacked);
        QFETCH(quint64, photoBytes);
        const QString path = CaseFolder() + (rar ? QStringLiteral("Misc/big.rar") : QStringLiteral("Misc/big.zip"));
        QByteArray bytes;
        if (rar) {
            QList<CraftEntry> files;
            for (int i = 0; i < unpacked.size(); ++i)
                files.append({"p" + QByteArray::number(i) + ".jpg", 3, 0100644, false, Payload(), unpacked.at(i)});
            bytes = CraftRar5(files);
        } else {
            ZipWriter writer;
            for (int i = 0; i < unpacked.size(); ++i) {
                ZipItem& item = writer.add("p" + QByteArray::number(i) + ".jpg", Payload(), 0);
                item.zip64 = true;
                item.unpackedSize = unpacked.at(i);
            }
            bytes = writer.build();
        }
        QVERIFY(zelvano::test::WriteFile(path, bytes));
        int mode = 0;
        quint64 gotPhotoBytes = 0;
        quint64 packedBytes = 0;
        int folders = 0;
        QCOMPARE(ExamineArchive(CXSettings(), path, DefaultPatterns(), mode, gotPhotoBytes, packedBytes, folders),
                 int(unpacked.size()));
        QCOMPARE(gotPhotoBytes, photoBytes);
        QCOMPARE(packedBytes, quint64(unpacked.size()) * kEntrySize);
    }

    // Files named like archives that are not: the open test fails with the reader's code, and the
    // examination reports no mode and leaves the folder count alone.
    void openFailures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("expectCode");
        QTest::newRow("not a zip") << S("bad.zip") << true;
        QTest::newRow("not a rar") << S("bad.rar") << true;
        QTest::newRow("not an archive name") << S("bad.txt") << false;
    }
    void openFailures()
    {
        QFETCH(QString, name);
        QFETCH(bool, expectCode);
        const QString path = m_root.filePath(QStringLiteral("bad/") + name);
        QVERIFY(zelvano::test::WriteFile(path, QByteArray("this is not an archive at all\n").repeated(20)));
        int error = 12345;
        QVERIFY(!CanOpenArchive(path, &error));
        if (expectCode)
            QVERIFY(error != 12345 && error != 0);
        else
            QCOMPARE(error, 12345);
        if (name.endsWith(QLatin1String(".zip")))
            QCOMPARE(error, ZIPRES_IOERROR);
        int mode = 0;
        quint64 photoBytes = 7;
        quint64 packedBytes = 7;
        int folders = 42;
        QCOMPARE(ExamineArchive(CXSettings(), path, DefaultPatterns(), mode, photoBytes, packedBytes, folders), -1);
        QCOMPARE(mode, -1);
        QCOMPARE(photoBytes, quint64(0));
        QCOMPARE(packedBytes, quint64(0));
        QCOMPARE(folders, 42);
        CheckOneOpenAgrees(CXSettings(), path, DefaultPatterns());
    }

    // A damaged RAR archive fails the shared open exactly as it fails the open test, whatever part of
    // it is missing.
    void rarOpenFailuresAgree_data()
    {
        QTest::addColumn<int>("keep"); // bytes kept of a good archive; -1 for all of them
        QTest::newRow("whole archive") << -1;
        QTest::newRow("signature only") << 7;
        QTest::newRow("main header cut") << 12;
        QTest::newRow("first file header cut") << 40;
        QTest::newRow("no end of archive") << -20;
        QTest::newRow("empty file") << 0;
    }
    void rarOpenFailuresAgree()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("rar")).isEmpty())
            QSKIP("the rar command is not installed");
        QFETCH(int, keep);
        const QString path = CaseFolder() + QStringLiteral("Misc/cut.rar");
        QString error;
        QVERIFY2(MakeRar(path, L({"Album/a.jpg", "Album/b.jpg", "c.txt"}), &error), qPrintable(error));
        QFile file(path);
        if (keep != -1)
            QVERIFY(file.resize(keep >= 0 ? keep : file.size() + keep));
        CheckOneOpenAgrees(CXSettings(), path, DefaultPatterns());
    }

    void missingFileDoesNotOpen()
    {
        int error = 0;
        QVERIFY(!CanOpenArchive(m_root.filePath(QStringLiteral("nowhere/gone.zip")), &error));
        QCOMPARE(error, ZIPRES_NOFILE);
    }
};

QTEST_GUILESS_MAIN(TestExamine)
#include "tst_examine.moc"
