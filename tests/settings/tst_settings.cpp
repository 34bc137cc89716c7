#include "settings/settings.h"
#include "support/testenv.h"

#include <QtTest>
#include <variant>
#include <vector>

namespace {

// The test's own writer of the file layout, independent of the code under test.
class Bytes
{
public:
    Bytes& U8(quint8 v)
    {
        m_data.append(static_cast<char>(v));
        return *this;
    }
    Bytes& U16(quint16 v) { return U8(v & 0xFF).U8(v >> 8); }
    Bytes& U32(quint32 v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Bytes& I32(qint32 v) { return U32(static_cast<quint32>(v)); }
    Bytes& I64(qint64 v) { return U32(static_cast<quint64>(v) & 0xFFFFFFFFu).U32(static_cast<quint64>(v) >> 32); }
    Bytes& Raw(const QByteArray& b)
    {
        m_data.append(b);
        return *this;
    }
    // An 8-bit string with the shortest length prefix.
    Bytes& Str(const QString& s)
    {
        const QByteArray utf8 = s.toUtf8();
        Length(static_cast<quint32>(utf8.size()));
        return Raw(utf8);
    }
    // A UTF-16 string: the marker 0xFF 0xFFFE, then the length in 16-bit units, then the units.
    Bytes& Wide(const QString& s)
    {
        U8(0xFF).U16(0xFFFE);
        Length(static_cast<quint32>(s.size()));
        for (const QChar c : s)
            U16(c.unicode());
        return *this;
    }
    Bytes& Length(quint32 n)
    {
        if (n < 255)
            return U8(static_cast<quint8>(n));
        if (n < 0xFFFE)
            return U8(0xFF).U16(static_cast<quint16>(n));
        return U8(0xFF).U16(0xFFFF).U32(n);
    }
    const QByteArray& data() const { return m_data; }
    qsizetype size() const { return m_data.size(); }

private:
    QByteArray m_data;
};

using Member = std::variant<qint32 CXSettings::*, qint64 CXSettings::*, QString CXSettings::*>;

// The file order of fields 1 to 46, written out here on purpose rather than taken from the code's table.
const std::vector<Member> kFileOrder = {
    &CXSettings::m_nVersion,
    &CXSettings::m_strSignature,
    &CXSettings::m_bMinimizeOnClose,
    &CXSettings::m_bShowTooltips,
    &CXSettings::m_bMinimizeToTray,
    &CXSettings::m_bAlwaysShowTrayIcon,
    &CXSettings::m_nDoubleClickAction,
    &CXSettings::m_bConfirmExit,
    &CXSettings::m_bConfirmCancelUnpack,
    &CXSettings::m_bConfirmCancelScan,
    &CXSettings::m_bConfirmDelete,
    &CXSettings::m_bAutoSizeNameColumn,
    &CXSettings::m_nNameDisplay,
    &CXSettings::m_strLastSourceFolder,
    &CXSettings::m_nColWidthName,
    &CXSettings::m_nColWidthType,
    &CXSettings::m_nColWidthModified,
    &CXSettings::m_nColWidthExtract,
    &CXSettings::m_nColWidthSize,
    &CXSettings::m_nColWidthPhotos,
    &CXSettings::m_nReserved1,
    &CXSettings::m_bAutoCheckFound,
    &CXSettings::m_nAfterExtraction,
    &CXSettings::m_nWhenToDelete,
    &CXSettings::m_nValidationLevel,
    &CXSettings::m_bOverwritePhotos,
    &CXSettings::m_nExtractTo,
    &CXSettings::m_bRenameFolder,
    &CXSettings::m_nRenameCase,
    &CXSettings::m_bShowScanResults,
    &CXSettings::m_bShowUnpackResults,
    &CXSettings::m_bTypeJPEG,
    &CXSettings::m_bTypeBMP,
    &CXSettings::m_bTypePNG,
    &CXSettings::m_bTypeTIFF,
    &CXSettings::m_bTypeGIF,
    &CXSettings::m_strExtraExtensions,
    &CXSettings::m_nSortColumn,
    &CXSettings::m_bSortAscending,
    &CXSettings::m_nReserved2,
    &CXSettings::m_nReserved3,
    &CXSettings::m_nReserved4,
    &CXSettings::m_bMaximized,
    &CXSettings::m_nWindowWidth,
    &CXSettings::m_nWindowHeight,
    &CXSettings::m_strIgnoreFolderNames,
};

// Writes a record in the file layout; fieldEnds receives the offset after each field, the history count
// and each history string.
QByteArray WriteRecord(const CXSettings& s, std::vector<qsizetype>* fieldEnds = nullptr)
{
    Bytes b;
    for (const Member& m : kFileOrder) {
        if (auto p = std::get_if<qint32 CXSettings::*>(&m))
            b.I32(s.**p);
        else if (auto p64 = std::get_if<qint64 CXSettings::*>(&m))
            b.I64(s.**p64);
        else
            b.Str(s.*std::get<QString CXSettings::*>(m));
        if (fieldEnds)
            fieldEnds->push_back(b.size());
    }
    b.I32(static_cast<qint32>(s.m_arrSourceHistory.size()));
    if (fieldEnds)
        fieldEnds->push_back(b.size());
    for (const QString& entry : s.m_arrSourceHistory) {
        b.Str(entry);
        if (fieldEnds)
            fieldEnds->push_back(b.size());
    }
    return b.data();
}

// The bytes of a default file up to (not including) field number `index` of kFileOrder.
QByteArray DefaultPrefix(std::size_t index)
{
    CXSettings defaults;
    defaults.m_nVersion = 1;
    std::vector<qsizetype> ends;
    const QByteArray all = WriteRecord(defaults, &ends);
    return index == 0 ? QByteArray() : all.left(ends[index - 1]);
}

std::size_t IndexOf(const Member& m)
{
    for (std::size_t i = 0; i < kFileOrder.size(); ++i) {
        if (kFileOrder[i] == m)
            return i;
    }
    return std::size_t(-1);
}

void CopyField(const CXSettings& from, CXSettings& to, const Member& m)
{
    std::visit([&](auto p) { to.*p = from.*p; }, m);
}

// Every stored value and both arrays, as text, for whole-record comparisons with readable failures.
QStringList Describe(const CXSettings& s)
{
    QStringList out;
    for (std::size_t i = 0; i < kFileOrder.size(); ++i) {
        std::visit(
            [&](auto p) {
                QString value;
                if constexpr (std::is_same_v<decltype(p), QString CXSettings::*>)
                    value = s.*p;
                else
                    value = QString::number(s.*p);
                out << QStringLiteral("%1: %2").arg(i + 1).arg(value);
            },
            kFileOrder[i]);
    }
    for (const QString& h : s.m_arrSourceHistory)
        out << QStringLiteral("history: ") + h;
    for (const QString& w : s.m_arrIgnoreFolderNames)
        out << QStringLiteral("ignore: ") + w;
    return out;
}

// A record whose every stored value differs from its default and from every other field.
CXSettings DistinctRecord()
{
    CXSettings s;
    for (std::size_t i = 0; i < kFileOrder.size(); ++i) {
        std::visit(
            [&](auto p) {
                using T = std::remove_reference_t<decltype(s.*p)>;
                if constexpr (std::is_same_v<T, QString>)
                    s.*p = QStringLiteral("text of field %1").arg(i + 1);
                else if constexpr (std::is_same_v<T, qint64>)
                    s.*p = qint64(0x0102030405060708) * qint64(i + 1);
                else
                    s.*p = static_cast<qint32>(1000 + i);
            },
            kFileOrder[i]);
    }
    s.m_nVersion = 1;
    s.m_strIgnoreFolderNames = QStringLiteral("alpha, beta");
    s.m_arrSourceHistory.clear();
    s.AddSourceFolder(QStringLiteral("/photos/b"));
    s.AddSourceFolder(QStringLiteral("/photos/a"));
    return s;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<zelvano::test::IsolatedHome> m_home;

private Q_SLOTS:
    void initTestCase() { m_home = std::make_unique<zelvano::test::IsolatedHome>(); }
    void cleanupTestCase() { m_home.reset(); }

    void defaultsAreTheDocumentedOnes()
    {
        const CXSettings s;
        const QString pictures = CXSettings::MyPicturesFolder();
        QVERIFY(pictures.startsWith(m_home->path())); // never the real home
        QCOMPARE(s.m_nVersion, 0);
        QCOMPARE(s.m_strSignature, CXSettings::SettingsFileName());
        QCOMPARE(s.m_strLastSourceFolder, pictures);
        QCOMPARE(s.m_strDefaultSourceFolder, pictures);
        QCOMPARE(s.m_arrSourceHistory.toStringList(), QStringList{pictures});
        const qint32 ints[] = {s.m_bMinimizeOnClose,
                               s.m_bShowTooltips,
                               s.m_bMinimizeToTray,
                               s.m_bAlwaysShowTrayIcon,
                               s.m_nDoubleClickAction,
                               s.m_bConfirmExit,
                               s.m_bConfirmCancelUnpack,
                               s.m_bConfirmCancelScan,
                               s.m_bConfirmDelete,
                               s.m_bAutoSizeNameColumn,
                               s.m_nNameDisplay,
                               s.m_nColWidthName,
                               s.m_nColWidthType,
                               s.m_nColWidthModified,
                               s.m_nColWidthSize,
                               s.m_nColWidthExtract,
                               s.m_nColWidthPhotos,
                               s.m_bAutoCheckFound,
                               s.m_nAfterExtraction,
                               s.m_nWhenToDelete,
                               s.m_bOverwritePhotos,
                               s.m_nValidationLevel,
                               s.m_nExtractTo,
                               s.m_bRenameFolder,
                               s.m_nRenameCase,
                               s.m_bShowScanResults,
                               s.m_bShowUnpackResults,
                               s.m_bTypeJPEG,
                               s.m_bTypeBMP,
                               s.m_bTypePNG,
                               s.m_bTypeTIFF,
                               s.m_bTypeGIF,
                               s.m_nSortColumn,
                               s.m_bSortAscending,
                               s.m_nReserved3,
                               s.m_nReserved4,
                               s.m_bMaximized,
                               s.m_nWindowWidth,
                               s.m_nWindowHeight};
        const qint32 expected[] = {0, 1, 0, 1, 0, 1, 1, 1, 1, 1, 2, 215, 100, 138, 58, 120, 65, 1,   0,  1,
                                   0, 2, 0, 1, 2, 1, 1, 1, 1, 1, 1, 1,   0,   1,   0,  0,   0,  744, 549};
        QCOMPARE(std::vector<qint32>(std::begin(ints), std::end(ints)),
                 std::vector<qint32>(std::begin(expected), std::end(expected)));
        QCOMPARE(s.m_nReserved1, qint64(0));
        QCOMPARE(s.m_nReserved2, qint64(0));
        QCOMPARE(s.m_strExtraExtensions, QString());
        QCOMPARE(s.m_strIgnoreFolderNames,
                 QStringLiteral("pic, medium, large, photo, set, small, premium, standard, wallpaper"));
        QCOMPARE(s.m_arrIgnoreFolderNames.toStringList(),
                 QStringList({QStringLiteral("large"), QStringLiteral("medium"), QStringLiteral("photo"),
                              QStringLiteral("pic"), QStringLiteral("premium"), QStringLiteral("set"),
                              QStringLiteral("small"), QStringLiteral("standard"), QStringLiteral("wallpaper")}));
    }

    void resetRestoresDefaultsAfterChanges()
    {
        CXSettings s;
        const QStringList fresh = Describe(s);
        s = DistinctRecord();
        s.m_strDefaultSourceFolder = QStringLiteral("/elsewhere");
        s.ResetToDefaults();
        QCOMPARE(Describe(s), fresh);
        QCOMPARE(s.m_strDefaultSourceFolder, CXSettings::MyPicturesFolder());
    }

    void saveWritesTheExactLayout()
    {
        CXSettings s = DistinctRecord();
        QCOMPARE(s.SaveSettingsToBytes(), WriteRecord(s));
        CXSettings defaults;
        defaults.m_nVersion = 1;
        QCOMPARE(CXSettings().SaveSettingsToBytes(), WriteRecord(defaults)); // version always written as 1
    }

    void swappedPairsAreInFileOrder()
    {
        CXSettings s;
        s.m_nColWidthExtract = 0x11;
        s.m_nColWidthSize = 0x22;
        s.m_nValidationLevel = 0x33;
        s.m_bOverwritePhotos = 0x44;
        const QByteArray bytes = s.SaveSettingsToBytes();
        const QByteArray sig = CXSettings::SettingsFileName().toUtf8();
        const QByteArray last = s.m_strLastSourceFolder.toUtf8();
        QVERIFY(last.size() < 255);
        // version, signature, 11 ints, last folder, then name, type, modified widths
        const qsizetype extractAt = 4 + 1 + sig.size() + 11 * 4 + 1 + last.size() + 3 * 4;
        QCOMPARE(static_cast<int>(bytes.at(extractAt)), 0x11);
        QCOMPARE(static_cast<int>(bytes.at(extractAt + 4)), 0x22);
        // then photos width, the 8-byte reserved value, auto-check, after-extraction, when-to-delete
        const qsizetype validationAt = extractAt + 8 + 4 + 8 + 3 * 4;
        QCOMPARE(static_cast<int>(bytes.at(validationAt)), 0x33);
        QCOMPARE(static_cast<int>(bytes.at(validationAt + 4)), 0x44);
    }

    void loadReadsEveryFieldAndKeepsTheReservedValues()
    {
        const CXSettings source = DistinctRecord();
        const QByteArray file = WriteRecord(source);
        CXSettings loaded;
        QVERIFY(loaded.LoadSettingsFromBytes(file));
        CXSettings expected = source;
        expected.AddSourceFolder(CXSettings::MyPicturesFolder()); // merged into the default history
        expected.RebuildIgnoreFolderNames();
        QCOMPARE(Describe(loaded), Describe(expected));
        QCOMPARE(loaded.m_arrIgnoreFolderNames.toStringList(),
                 QStringList({QStringLiteral("alpha"), QStringLiteral("beta")}));
        // Saved again, the reserved values come out as they went in.
        CXSettings again;
        again.LoadSettingsFromBytes(loaded.SaveSettingsToBytes());
        QCOMPARE(again.m_nReserved1, source.m_nReserved1);
        QCOMPARE(again.m_nReserved2, source.m_nReserved2);
        QCOMPARE(again.m_nReserved3, source.m_nReserved3);
        QCOMPARE(again.m_nReserved4, source.m_nReserved4);
    }

    void versionTwoIsReadLikeVersionOne()
    {
        CXSettings source = DistinctRecord();
        source.m_nVersion = 2;
        CXSettings loaded;
        QVERIFY(loaded.LoadSettingsFromBytes(WriteRecord(source)));
        QCOMPARE(loaded.m_nWindowHeight, source.m_nWindowHeight);
        QCOMPARE(loaded.m_nVersion, 2);
        QVERIFY(loaded.SaveSettingsToBytes().startsWith(QByteArray("\x01\x00\x00\x00", 4)));
    }

    // Cut a complete file at every byte: what lies wholly before the cut is taken, the rest keeps defaults.
    void truncationAtEveryByteKeepsWhatWasRead()
    {
        const CXSettings source = DistinctRecord();
        std::vector<qsizetype> ends;
        const QByteArray file = WriteRecord(source, &ends);
        const std::size_t nFields = kFileOrder.size();
        for (qsizetype cut = 0; cut <= file.size(); ++cut) {
            CXSettings loaded;
            const bool complete = loaded.LoadSettingsFromBytes(file.left(cut));
            std::size_t k = 0;
            while (k < ends.size() && ends[k] <= cut)
                ++k;
            CXSettings expected;
            for (std::size_t i = 0; i < qMin(k, nFields); ++i)
                CopyField(source, expected, kFileOrder[i]);
            for (std::size_t j = nFields + 1; j < k; ++j)
                expected.AddSourceFolder(source.m_arrSourceHistory.at(qsizetype(j - nFields - 1)));
            expected.RebuildIgnoreFolderNames();
            QVERIFY2(Describe(loaded) == Describe(expected), qPrintable(QStringLiteral("cut at %1").arg(cut)));
            QCOMPARE(complete, cut == file.size());
        }
    }

    void damagedData_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("fieldsTaken"); // how many fields of kFileOrder come from the data
        QTest::addColumn<QStringList>("historyAdded");

        const std::size_t sig = IndexOf(&CXSettings::m_strSignature);
        const std::size_t ignore = IndexOf(&CXSettings::m_strIgnoreFolderNames);
        const QByteArray beforeSig = DefaultPrefix(sig);
        const QByteArray beforeCount = DefaultPrefix(kFileOrder.size());
        const QByteArray filler(90, 'x');
        const QByteArray sigText = CXSettings::SettingsFileName().toUtf8();

        QTest::newRow("empty data") << QByteArray() << 0 << QStringList();
        QTest::newRow("version and half the signature")
            << (Bytes().Raw(beforeSig).U8(quint8(sigText.size())).Raw(sigText.left(sigText.size() / 2)).data()) << 1
            << QStringList();
        QTest::newRow("4 GB length prefix in a 100-byte file")
            << Bytes().Raw(beforeSig).U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFEu).Raw(filler).data() << 1 << QStringList();
        QTest::newRow("64-bit length prefix")
            << Bytes().Raw(beforeSig).U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFFu).I64(-2).Raw(filler).data() << 1
            << QStringList();
        QTest::newRow("16-bit length beyond the data")
            << Bytes().Raw(beforeSig).U8(0xFF).U16(300).Raw(filler).data() << 1 << QStringList();
        QTest::newRow("UTF-16 length beyond the data")
            << Bytes().Raw(beforeSig).U8(0xFF).U16(0xFFFE).U8(60).Raw(filler).data() << 1 << QStringList();
        QTest::newRow("UTF-16 length whose byte count overflows") << Bytes()
                                                                         .Raw(beforeSig)
                                                                         .U8(0xFF)
                                                                         .U16(0xFFFE)
                                                                         .U8(0xFF)
                                                                         .U16(0xFFFF)
                                                                         .U32(0xFFFFFFFFu)
                                                                         .I64(std::numeric_limits<qint64>::min() + 1)
                                                                         .data()
                                                                  << 1 << QStringList();
        QTest::newRow("UTF-16 marker twice")
            << Bytes().Raw(beforeSig).U8(0xFF).U16(0xFFFE).U8(0xFF).U16(0xFFFE).U8(2).U16('a').U16('b').data() << 1
            << QStringList();
        QTest::newRow("prefix cut inside its 16-bit length")
            << Bytes().Raw(beforeSig).U8(0xFF).U8(0x01).data() << 1 << QStringList();
        QTest::newRow("history count 2^31")
            << Bytes().Raw(beforeCount).U32(0x80000000u).Str(QStringLiteral("/x")).data() << int(ignore + 1)
            << QStringList();
        QTest::newRow("history count 2^31 - 1 with two strings")
            << Bytes().Raw(beforeCount).I32(0x7FFFFFFF).Str(QStringLiteral("/x")).Str(QStringLiteral("/y")).data()
            << int(ignore + 1) << QStringList({QStringLiteral("/x"), QStringLiteral("/y")});
        QTest::newRow("history string cut short")
            << Bytes().Raw(beforeCount).I32(2).Str(QStringLiteral("/x")).U8(10).Raw("/y").data() << int(ignore + 1)
            << QStringList{QStringLiteral("/x")};
    }
    void damagedData()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, fieldsTaken);
        QFETCH(QStringList, historyAdded);

        CXSettings loaded;
        QVERIFY(!loaded.LoadSettingsFromBytes(bytes));

        CXSettings fromFile; // the values the data carries before its damage: the defaults, version 1
        fromFile.m_nVersion = 1;
        CXSettings expected;
        for (int i = 0; i < fieldsTaken; ++i)
            CopyField(fromFile, expected, kFileOrder[std::size_t(i)]);
        for (const QString& h : historyAdded)
            expected.AddSourceFolder(h);
        QCOMPARE(Describe(loaded), Describe(expected));

        // What is saved after a damaged load is a complete file that loads cleanly.
        CXSettings reloaded;
        QVERIFY(reloaded.LoadSettingsFromBytes(loaded.SaveSettingsToBytes()));
        QCOMPARE(Describe(reloaded).mid(1), Describe(loaded).mid(1)); // all but the version
    }

    void unknownVersionKeepsEveryDefault_data()
    {
        QTest::addColumn<qint32>("version");
        QTest::newRow("version 0") << 0;
        QTest::newRow("version 3") << 3;
        QTest::newRow("negative version") << -1;
    }
    void unknownVersionKeepsEveryDefault()
    {
        QFETCH(qint32, version);
        CXSettings source = DistinctRecord();
        source.m_nVersion = version;
        CXSettings loaded;
        QVERIFY(!loaded.LoadSettingsFromBytes(WriteRecord(source)));
        CXSettings expected;
        expected.m_nVersion = version;
        QCOMPARE(Describe(loaded), Describe(expected));
        QVERIFY(loaded.SaveSettingsToBytes().startsWith(QByteArray("\x01\x00\x00\x00", 4)));
    }

    void stringForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("prefix");
        // clang-format off
        QTest::newRow("empty")                  << QString()                        << QByteArray("\x00", 1);
        QTest::newRow("254 bytes, one byte")    << QString(254, QLatin1Char('a'))   << QByteArray("\xFE");
        QTest::newRow("255 bytes, 16-bit")      << QString(255, QLatin1Char('a'))   << QByteArray("\xFF\xFF\x00", 3);
        QTest::newRow("300 characters")         << QString(300, QLatin1Char('a'))   << QByteArray("\xFF\x2C\x01", 3);
        QTest::newRow("65533 bytes, 16-bit")    << QString(65533, QLatin1Char('a')) << QByteArray("\xFF\xFD\xFF", 3);
        QTest::newRow("65534 bytes, 32-bit")    << QString(65534, QLatin1Char('a')) << QByteArray("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7);
        QTest::newRow("70000 bytes, 32-bit")    << QString(70000, QLatin1Char('a')) << QByteArray("\xFF\xFF\xFF\x70\x11\x01\x00", 7);
        QTest::newRow("prefix counts UTF-8 bytes") << QString(200, QChar(0xE4))     << QByteArray("\xFF\x90\x01", 3);
        // clang-format on
    }
    void stringForms()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, prefix);
        CXSettings s;
        s.SetExtraExtensions(text);
        const QByteArray bytes = s.SaveSettingsToBytes();
        const qsizetype at = DefaultPrefix(IndexOf(&CXSettings::m_strExtraExtensions)).size();
        QCOMPARE(bytes.mid(at, prefix.size()), prefix);
        QCOMPARE(bytes.mid(at + prefix.size(), text.toUtf8().size()), text.toUtf8());
        CXSettings loaded;
        QVERIFY(loaded.LoadSettingsFromBytes(bytes));
        QCOMPARE(loaded.GetExtraExtensions(), text);
    }

    void utf16StringsAreRead()
    {
        const QString folder = QStringLiteral("/Bilder/Ärger \U0001F600");
        Bytes b;
        b.Raw(DefaultPrefix(IndexOf(&CXSettings::m_strSignature))).Wide(QStringLiteral("Signature"));
        b.Raw(DefaultPrefix(IndexOf(&CXSettings::m_strLastSourceFolder))
                  .mid(DefaultPrefix(IndexOf(&CXSettings::m_strSignature) + 1).size()));
        b.Wide(folder);
        const QByteArray all = DefaultPrefix(kFileOrder.size());
        b.Raw(all.mid(DefaultPrefix(IndexOf(&CXSettings::m_strLastSourceFolder) + 1).size()));
        b.I32(1).Wide(folder);
        CXSettings loaded;
        QVERIFY(loaded.LoadSettingsFromBytes(b.data()));
        QCOMPARE(loaded.m_strSignature, QStringLiteral("Signature"));
        QCOMPARE(loaded.m_strLastSourceFolder, folder);
        QVERIFY(loaded.m_arrSourceHistory.Contains(folder));
        QCOMPARE(loaded.m_nWindowHeight, 549);
        // Written back in the 8-bit form.
        QVERIFY(loaded.SaveSettingsToBytes().contains(folder.toUtf8()));
    }

    void invalidTextIsReplacedNotDropped_data()
    {
        QTest::addColumn<QByteArray>("signature");
        QTest::newRow("lone high surrogate") << Bytes().U8(0xFF).U16(0xFFFE).U8(3).U16('a').U16(0xD800).U16('b').data();
        QTest::newRow("lone low surrogate at the end")
            << Bytes().U8(0xFF).U16(0xFFFE).U8(2).U16('a').U16(0xDC00).data();
        QTest::newRow("invalid UTF-8") << Bytes().U8(3).U8('a').U8(0xC3).U8('b').data();
    }
    void invalidTextIsReplacedNotDropped()
    {
        QFETCH(QByteArray, signature);
        const QByteArray head = DefaultPrefix(IndexOf(&CXSettings::m_strSignature));
        const QByteArray tail = DefaultPrefix(kFileOrder.size()).mid(DefaultPrefix(2).size());
        const QByteArray file = head + signature + tail + Bytes().I32(0).data();
        CXSettings loaded;
        QVERIFY(loaded.LoadSettingsFromBytes(file));
        QCOMPARE(loaded.m_strSignature.front(), QLatin1Char('a'));
        QVERIFY(loaded.m_strSignature.contains(QChar(QChar::ReplacementCharacter)));
        // Saving and loading again gives the same text: nothing is lost in a second round.
        CXSettings again;
        QVERIFY(again.LoadSettingsFromBytes(loaded.SaveSettingsToBytes()));
        QCOMPARE(again.m_strSignature, loaded.m_strSignature);
    }

    // Every character survives a load and a save, U+FEFF at the start of a string included: a decoder that
    // takes it for a byte order mark drops it on the next load.
    void everyCharacterSurvivesSaveAndLoad_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("text");
        const QChar bom(0xFEFF);
        const QString abc = QStringLiteral("abc");
        QTest::newRow("8-bit, leading U+FEFF") << Bytes().Str(bom + abc).data() << bom + abc;
        QTest::newRow("8-bit, only U+FEFF") << Bytes().Str(QString(bom)).data() << QString(bom);
        QTest::newRow("8-bit, two leading U+FEFF")
            << Bytes().Str(QString(2, bom) + abc).data() << QString(2, bom) + abc;
        QTest::newRow("8-bit, U+FEFF inside") << Bytes().Str(abc + bom + abc).data() << abc + bom + abc;
        QTest::newRow("16-bit, leading U+FEFF") << Bytes().Wide(bom + abc).data() << bom + abc;
        QTest::newRow("16-bit, leading U+FFFE") << Bytes().Wide(QChar(0xFFFE) + abc).data() << QChar(0xFFFE) + abc;
        QTest::newRow("16-bit, only U+FEFF") << Bytes().Wide(QString(bom)).data() << QString(bom);
    }
    void everyCharacterSurvivesSaveAndLoad()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, text);
        const QByteArray head = DefaultPrefix(IndexOf(&CXSettings::m_strSignature));
        const QByteArray tail = DefaultPrefix(kFileOrder.size()).mid(DefaultPrefix(2).size());
        CXSettings loaded;
        QVERIFY(loaded.LoadSettingsFromBytes(head + stored + tail + Bytes().I32(1).Raw(stored).data()));
        QCOMPARE(loaded.m_strSignature, text);
        QVERIFY(loaded.m_arrSourceHistory.toStringList().contains(text, Qt::CaseSensitive));

        // Written back in the 8-bit form with every character, and read back the same.
        const QByteArray saved = loaded.SaveSettingsToBytes();
        QCOMPARE(saved.mid(head.size(), Bytes().Str(text).size()), Bytes().Str(text).data());
        CXSettings again;
        QVERIFY(again.LoadSettingsFromBytes(saved));
        QCOMPARE(again.m_strSignature, text);
        QCOMPARE(again.m_arrSourceHistory, loaded.m_arrSourceHistory);
        QCOMPARE(again.SaveSettingsToBytes(), saved);
    }

    void historyMergesTrimmedAndWithoutDuplicates()
    {
        const QByteArray file = Bytes()
                                    .Raw(DefaultPrefix(kFileOrder.size()))
                                    .I32(3)
                                    .Str(QStringLiteral("C:\\Photos"))
                                    .Str(QStringLiteral(" c:\\photos "))
                                    .Str(QStringLiteral("D:\\Pics"))
                                    .data();
        CXSettings loaded;
        QVERIFY(loaded.LoadSettingsFromBytes(file));
        QStringList expected{CXSettings::MyPicturesFolder(), QStringLiteral("C:\\Photos"), QStringLiteral("D:\\Pics")};
        std::sort(expected.begin(), expected.end(),
                  [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
        QCOMPARE(loaded.m_arrSourceHistory.toStringList(), expected);
    }

    void addSourceFolder_data()
    {
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("history");
        // clang-format off
        QTest::newRow("sorted ignoring case")  << QStringList{QStringLiteral("/b"), QStringLiteral("/A"), QStringLiteral("/c")}
                                               << QStringList{QStringLiteral("/A"), QStringLiteral("/b"), QStringLiteral("/c")};
        QTest::newRow("case duplicate kept once, first spelling wins")
                                               << QStringList{QStringLiteral("/Photos"), QStringLiteral("/PHOTOS")}
                                               << QStringList{QStringLiteral("/Photos")};
        QTest::newRow("white space trimmed")   << QStringList{QStringLiteral("\t /x \n")} << QStringList{QStringLiteral("/x")};
        QTest::newRow("blank path not added")  << QStringList{QStringLiteral("   "), QString()} << QStringList{};
        // clang-format on
    }
    void addSourceFolder()
    {
        QFETCH(QStringList, added);
        QFETCH(QStringList, history);
        CXSettings s;
        s.m_arrSourceHistory.clear();
        for (const QString& path : added)
            s.AddSourceFolder(path);
        QCOMPARE(s.m_arrSourceHistory.toStringList(), history);
    }

    void ignoreWords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("words");
        // clang-format off
        QTest::newRow("mixed separators, short word dropped")
            << QStringLiteral("Pic;  MEDIUM,xy, set")
            << QStringList{QStringLiteral("medium"), QStringLiteral("pic"), QStringLiteral("set")};
        QTest::newRow("brackets and underscores split words")
            << QStringLiteral("(Wallpapers) [HD] hi_res")
            << QStringList{QStringLiteral("res"), QStringLiteral("wallpapers")};
        QTest::newRow("duplicates in any case once")
            << QStringLiteral("Set, SET; set") << QStringList{QStringLiteral("set")};
        QTest::newRow("empty text, empty list") << QString() << QStringList{};
        QTest::newRow("hyphenated word splits")  << QStringLiteral("hi-res") << QStringList{QStringLiteral("res")};
        // clang-format on
    }
    void ignoreWords()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, words);
        CXSettings s;
        s.SetIgnoreFolderNames(text); // takes effect at once
        QCOMPARE(s.m_arrIgnoreFolderNames.toStringList(), words);

        // The same text read from a file gives the same list.
        CXSettings source;
        source.m_nVersion = 1;
        source.m_strIgnoreFolderNames = text;
        CXSettings loaded;
        QVERIFY(loaded.LoadSettingsFromBytes(WriteRecord(source)));
        QCOMPARE(loaded.m_arrIgnoreFolderNames.toStringList(), words);
    }

    void splitWordList_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("words");
        // clang-format off
        QTest::newRow("digits and words, sorted")  << QStringLiteral("Big_Set (2010)")
                                                   << QStringList{QStringLiteral("2010"), QStringLiteral("big"), QStringLiteral("set")};
        QTest::newRow("bang stays part of a word") << QStringLiteral("wow! ok")  << QStringList{QStringLiteral("wow!")};
        QTest::newRow("ampersand alone is no word") << QStringLiteral("a&b")     << QStringList{};
        QTest::newRow("previous contents dropped")  << QStringLiteral("new")     << QStringList{QStringLiteral("new")};
        // clang-format on
    }
    void splitWordList()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, words);
        CXSStringArray array;
        array.InsertSorted(QStringLiteral("stale"));
        QCOMPARE(CXSettings::SplitWordList(text, array), words.size());
        QCOMPARE(array.toStringList(), words);
    }

    void isIgnoredFolderName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ignored");
        QTest::newRow("listed word") << QStringLiteral("photo") << true;
        QTest::newRow("upper case") << QStringLiteral("PHOTO") << true;
        QTest::newRow("plural is another word") << QStringLiteral("photos") << false;
        QTest::newRow("surrounding space not trimmed") << QStringLiteral(" photo") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void isIgnoredFolderName()
    {
        QFETCH(QString, name);
        QFETCH(bool, ignored);
        const CXSettings s;
        QCOMPARE(s.IsIgnoredFolderName(name), ignored);
    }

    void firstStartCreatesFoldersAndADefaultFile()
    {
        zelvano::test::IsolatedHome home;
        CXSettings s;
        QString error;
        QVERIFY2(s.InitializeSettings(&error), qPrintable(error));
        const QString data = home.path() + QStringLiteral("/.local/share/ZLV");
        QCOMPARE(s.m_strDataFolder, data);
        QCOMPARE(s.m_strTempFolder, data + QStringLiteral("/Temp"));
        QCOMPARE(s.m_strSettingsPath, data + QStringLiteral("/ZelvanoSettings.dat"));
        QVERIFY(QFileInfo(s.m_strTempFolder).isDir());
        CXSettings defaults;
        defaults.m_nVersion = 1;
        QCOMPARE(zelvano::test::ReadFile(s.m_strSettingsPath), WriteRecord(defaults));
        QCOMPARE(s.m_arrSourceHistory.toStringList(), QStringList{CXSettings::MyPicturesFolder()});
        // Only the two settings files and the Temp folder: the atomic saves leave no temporary file behind.
        QCOMPARE(QDir(data).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("Temp"), QStringLiteral("ZelvanoOptions.ini"),
                              QStringLiteral("ZelvanoSettings.dat")}));
    }

    void startUpReadsAndRewritesTheFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<qint32>("windowWidth");
        const QByteArray full = WriteRecord(DistinctRecord());
        const std::size_t width = IndexOf(&CXSettings::m_nWindowWidth);
        QTest::newRow("complete file") << full << DistinctRecord().m_nWindowWidth;
        QTest::newRow("version and half the signature") << DefaultPrefix(2).left(DefaultPrefix(2).size() - 5) << 744;
        QTest::newRow("cut after the window width")
            << WriteRecord(DistinctRecord()).left(DefaultPrefix(width + 1).size() + 8)
            << DistinctRecord().m_nWindowWidth;
        QByteArray version3 = full;
        version3[0] = 3;
        QTest::newRow("version 3") << version3 << 744;
        QTest::newRow("empty file") << QByteArray() << 744;
    }
    void startUpReadsAndRewritesTheFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(qint32, windowWidth);
        zelvano::test::IsolatedHome home;
        const QString path = home.path() + QStringLiteral("/.local/share/ZLV/ZelvanoSettings.dat");
        QVERIFY(zelvano::test::WriteFile(path, file));
        CXSettings s;
        QString error;
        QVERIFY2(s.InitializeSettings(&error), qPrintable(error));
        QCOMPARE(s.m_nWindowWidth, windowWidth);
        // The save after the load repairs the file: complete, version 1, holding what was loaded.
        const QByteArray rewritten = zelvano::test::ReadFile(path);
        QCOMPARE(rewritten, s.SaveSettingsToBytes());
        QVERIFY(rewritten.startsWith(QByteArray("\x01\x00\x00\x00", 4)));
        CXSettings reloaded;
        QVERIFY(reloaded.LoadSettingsFromBytes(rewritten));
        QCOMPARE(Describe(reloaded).mid(1), Describe(s).mid(1));
    }

    void unwritableSettingsPathLeavesTheRecordAlone()
    {
        zelvano::test::IsolatedHome home;
        const QString blocker = home.path() + QStringLiteral("/file");
        QVERIFY(zelvano::test::WriteFile(blocker, "x"));
        CXSettings s = DistinctRecord();
        const QStringList before = Describe(s);
        s.SetSettingsPath(blocker + QStringLiteral("/ZelvanoSettings.dat"));
        QVERIFY(!s.SaveSettings());
        QCOMPARE(Describe(s), before);
        QCOMPARE(zelvano::test::ReadFile(blocker), QByteArray("x"));
        // Loading from there keeps the defaults and does not crash.
        CXSettings t;
        t.SetSettingsPath(blocker + QStringLiteral("/ZelvanoSettings.dat"));
        QVERIFY(!t.LoadSettings());
        QCOMPARE(Describe(t).mid(1), Describe(CXSettings()).mid(1));
    }

    void dataFolderThatCannotBeCreatedIsReported()
    {
        zelvano::test::IsolatedHome home;
        const QString blocker = home.path() + QStringLiteral("/file");
        QVERIFY(zelvano::test::WriteFile(blocker, "x"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(blocker + QStringLiteral("/share")));
        CXSettings s;
        QString error;
        QVERIFY(!s.InitializeSettings(&error));
        QVERIFY2(error.contains(QStringLiteral("data folder")), qPrintable(error));
        QVERIFY(error.contains(QDir::toNativeSeparators(blocker)));
        QCOMPARE(s.m_nWindowWidth, 744);
    }

    void fileNameIsTheSignature()
    {
        QCOMPARE(CXSettings::SettingsFileName(), QStringLiteral("ZelvanoSettings.dat"));
        const QByteArray bytes = CXSettings().SaveSettingsToBytes();
        QCOMPARE(bytes.mid(4, 20), QByteArray("\x13ZelvanoSettings.dat"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
