// Reading entry names stored without the UTF-8 flag: the code page of the system that wrote them, found
// once per archive from all its names; the Unicode Path extra block; a code page the user chooses.
#include "archive/pathrules.h"
#include "archive/zip.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

using zelvano::test::ZipWriter;

class TestZipNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void codePages_data();
    void codePages();
    void unicodePath_data();
    void unicodePath();
    void forcedEncoding_data();
    void forcedEncoding();
    void encodingNames_data();
    void encodingNames();

private:
    // Writes the archive and reads every name, by ZipGetEntry and by ZipListEntries (which must agree).
    QStringList ReadNames(const QByteArray& bytes);
    QTemporaryDir m_dir;
    int m_nArchive = 0;
};

static QStringList Names(std::initializer_list<const char*> texts)
{
    QStringList names;
    for (const char* text : texts)
        names.append(QString::fromUtf8(text));
    return names;
}

static QByteArray Encode(const char* encoding, const QString& text)
{
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

QStringList TestZipNames::ReadNames(const QByteArray& bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("names%1.zip").arg(++m_nArchive));
    if (!zelvano::test::WriteFile(path, bytes))
        return {QStringLiteral("<not written>")};
    ZipHandlePtr zip(ZipOpen(path));
    if (!zip)
        return {QStringLiteral("<not opened>")};
    ZipEntry entry;
    ZipGetEntry(zip.get(), -1, entry);
    QStringList names;
    for (int32_t i = 0; i < entry.m_nIndex; ++i) {
        ZipEntry e;
        if (ZipGetEntry(zip.get(), i, e) != ZIPRES_OK)
            return {QStringLiteral("<entry %1 failed>").arg(i)};
        names.append(e.m_szName);
    }
    QStringList listed;
    ZipListEntries(zip.get(), [&](const ZipEntry& e, int32_t) {
        listed.append(e.m_szName);
        return true;
    });
    if (listed != names)
        return {QStringLiteral("<listing differs>")};
    return names;
}

void TestZipNames::cleanup()
{
    QVERIFY(ZipSetNameEncoding(QString()));
}

void TestZipNames::codePages_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("Russian, CP866") << QByteArray("IBM866")
                                    << Names({"Отпуск 2019/фото_001.jpg", "Отпуск 2019/фото_002.jpg",
                                              "Отпуск 2019/Море и пляж.jpg", "Отпуск 2019/Закат.jpg"});
    QTest::newRow("Russian, CP1251") << QByteArray("windows-1251")
                                     << Names({"Отпуск 2019/фото_001.jpg", "Отпуск 2019/фото_002.jpg",
                                               "Отпуск 2019/Море и пляж.jpg", "Отпуск 2019/Закат.jpg"});
    QTest::newRow("Japanese, Shift-JIS") << QByteArray("Shift_JIS")
                                         << Names({"夏休み/写真001.jpg", "夏休み/写真002.jpg",
                                                   "夏休み/海辺の夕焼け.jpg", "夏休み/家族旅行.jpg"});
    QTest::newRow("Chinese, GBK") << QByteArray("GB18030")
                                  << Names({"旅行/照片001.jpg", "旅行/照片002.jpg", "旅行/海边日落.jpg",
                                            "旅行/家庭合影.jpg"});
    QTest::newRow("Chinese, Big5") << QByteArray("Big5")
                                   << Names({"旅行/照片001.jpg", "旅行/照片002.jpg", "旅行/海邊日落.jpg",
                                             "旅行/家庭合影.jpg"});
    // The detector does not tell CP850 from its neighbours; the letters German needs are the same in
    // CP437, which is what such names then read as.
    QTest::newRow("Western European, CP850")
        << QByteArray("IBM850")
        << Names({"Ferien Zürich/Bäckerei.jpg", "Ferien Zürich/Straßenfest.jpg",
                  "Ferien Zürich/Seeufer bei Küsnacht.jpg", "Ferien Zürich/Grüße aus Öhringen.jpg"});
    QTest::newRow("ASCII names beside them") << QByteArray("IBM866")
                                             << Names({"readme.txt", "Отпуск 2019/фото_001.jpg", "IMG_0002.JPG",
                                                       "Отпуск 2019/Море и пляж.jpg", "Отпуск 2019/Закат.jpg"});
    // Too little text to tell: code page 437, never a guess from another script.
    QTest::newRow("one short name, CP437") << QByteArray("IBM437") << Names({"Bäckerei.jpg"});
}

void TestZipNames::codePages()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QStringList, names);
    ZipWriter w;
    for (const QString& name : names)
        w.add(Encode(encoding.constData(), name), "data", 0);
    QCOMPARE(ReadNames(w.build()), names);
}

void TestZipNames::unicodePath_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("name");

    const QByteArray cp866 = Encode("IBM866", QStringLiteral("фото.jpg"));
    const QByteArray utf8 = QStringLiteral("Отпуск/фото.jpg").toUtf8();
    QTest::newRow("CRC matches: the block's name")
        << cp866 << 0 << ZipWriter::UnicodePathBlock(cp866, utf8) << QStringLiteral("Отпуск/фото.jpg");
    QTest::newRow("ASCII stored name, CRC matches")
        << QByteArray("_____.jpg") << 0 << ZipWriter::UnicodePathBlock("_____.jpg", utf8)
        << QStringLiteral("Отпуск/фото.jpg");
    QTest::newRow("CRC of another name: ignored")
        << QByteArray("IMG_1.jpg") << 0 << ZipWriter::UnicodePathBlock("IMG_0.jpg", utf8)
        << QStringLiteral("IMG_1.jpg");
    QTest::newRow("CRC wrong: ignored") << cp866 << 0 << ZipWriter::UnicodePathBlock(cp866, utf8, 1, 0x12345678)
                                        << QStringLiteral("фото.jpg");
    QTest::newRow("unknown version: ignored")
        << QByteArray("IMG_1.jpg") << 0 << ZipWriter::UnicodePathBlock("IMG_1.jpg", utf8, 2)
        << QStringLiteral("IMG_1.jpg");
    QTest::newRow("block name not UTF-8: ignored")
        << QByteArray("IMG_1.jpg") << 0 << ZipWriter::UnicodePathBlock("IMG_1.jpg", "a\xFF.jpg")
        << QStringLiteral("IMG_1.jpg");
    QTest::newRow("block cut short: ignored")
        << QByteArray("IMG_1.jpg") << 0 << QByteArray::fromHex("757003000100") << QStringLiteral("IMG_1.jpg");
    QTest::newRow("name flagged UTF-8: the block is not needed")
        << QByteArray("IMG_1.jpg") << 0x0800 << ZipWriter::UnicodePathBlock("IMG_1.jpg", utf8)
        << QStringLiteral("IMG_1.jpg");
    QTest::newRow("block name leading outside stays so")
        << QByteArray("evil.jpg") << 0 << ZipWriter::UnicodePathBlock("evil.jpg", "../evil.jpg")
        << QStringLiteral("../evil.jpg");
    QTest::newRow("block name with a control character stays so")
        << QByteArray("evil.jpg") << 0 << ZipWriter::UnicodePathBlock("evil.jpg", "ev\x01il.jpg")
        << QStringLiteral("ev\x01il.jpg");
    QTest::newRow("stored name leading outside is not hidden by a harmless block")
        << QByteArray("../evil.jpg") << 0 << ZipWriter::UnicodePathBlock("../evil.jpg", "evil.jpg")
        << QStringLiteral("../evil.jpg");
}

void TestZipNames::unicodePath()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, flags);
    QFETCH(QByteArray, block);
    QFETCH(QString, name);
    ZipWriter w;
    auto& item = w.add(stored, "data", 0);
    item.flags = uint16_t(flags);
    item.centralExtra = block;
    QCOMPARE(ReadNames(w.build()), QStringList{name});

    // The decoded name is what the path rules judge: a block cannot turn an unsafe name into a safe one.
    QStringList parts;
    const auto storedCheck = zelvano::pathrules::SplitEntryName(QString::fromLatin1(stored), parts);
    const auto nameCheck = zelvano::pathrules::SplitEntryName(name, parts);
    if (storedCheck != zelvano::pathrules::NameCheck::Relative)
        QCOMPARE(nameCheck, storedCheck);
}

void TestZipNames::forcedEncoding_data()
{
    QTest::addColumn<QString>("forced");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QStringList>("names");

    // One short name each: too little for the detector, so only the chosen code page reads them right.
    QTest::newRow("cp1251") << QStringLiteral("cp1251") << QByteArray("windows-1251") << Names({"Лето.jpg"});
    QTest::newRow("Shift_JIS") << QStringLiteral("Shift_JIS") << QByteArray("Shift_JIS") << Names({"写真.jpg"});
    QTest::newRow("GBK, with spaces around") << QStringLiteral(" GBK ") << QByteArray("GB18030") << Names({"照片.jpg"});
    QTest::newRow("EUC-KR") << QStringLiteral("euc-kr") << QByteArray("windows-949") << Names({"사진.jpg"});
    // Bytes that happen to be valid UTF-8 are still read in the chosen code page.
    QTest::newRow("CP1252 bytes that are valid UTF-8")
        << QStringLiteral("CP1252") << QByteArray("windows-1252") << Names({"Ã©tÃ©.jpg"});
    // A name the chosen code page does not define keeps its bytes through code page 437.
    QTest::newRow("bytes outside the chosen code page")
        << QStringLiteral("Shift_JIS") << QByteArray("IBM437") << Names({"ÿÿ.jpg"});
    // A few bytes are undefined in each code page (0x98 in CP1251, 0x81 in CP1252, 0xFF 0xFF in Big5): they
    // must not come out as C1 controls or private use characters.
    QTest::newRow("byte undefined in CP1251") << QStringLiteral("CP1251") << QByteArray("IBM437") << Names({"ÿ.jpg"});
    QTest::newRow("byte undefined in CP1252")
        << QStringLiteral("CP1252") << QByteArray("IBM437") << Names({"über.jpg"});
    QTest::newRow("bytes undefined in Big5")
        << QStringLiteral("Big5") << QByteArray("IBM437") << Names({"a\xC2\xA0\xC2\xA0.jpg"});
}

void TestZipNames::forcedEncoding()
{
    QFETCH(QString, forced);
    QFETCH(QByteArray, encoding);
    QFETCH(QStringList, names);
    QVERIFY(ZipSetNameEncoding(forced));
    ZipWriter w;
    for (const QString& name : names)
        w.add(Encode(encoding.constData(), name), "data", 0);
    // A name flagged UTF-8 is read as UTF-8 whatever the choice.
    w.add(QStringLiteral("Юг.jpg").toUtf8(), "data", 0).flags = 0x0800;
    QCOMPARE(ReadNames(w.build()), names + Names({"Юг.jpg"}));
}

void TestZipNames::encodingNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("known");
    QTest::newRow("empty: automatic") << QString() << true;
    QTest::newRow("cp866") << QStringLiteral("cp866") << true;
    QTest::newRow("IBM850") << QStringLiteral("IBM850") << true;
    QTest::newRow("shift-jis") << QStringLiteral("shift-jis") << true;
    QTest::newRow("big5") << QStringLiteral("big5") << true;
    QTest::newRow("latin1") << QStringLiteral("latin1") << true;
    QTest::newRow("UTF-8 is no code page") << QStringLiteral("UTF-8") << false;
    QTest::newRow("KOI8-R is not supported") << QStringLiteral("KOI8-R") << false;
    QTest::newRow("nonsense") << QStringLiteral("klingon") << false;
}

void TestZipNames::encodingNames()
{
    QFETCH(QString, name);
    QFETCH(bool, known);
    QCOMPARE(ZipIsNameEncoding(name), known);
    QVERIFY(ZipSetNameEncoding(QStringLiteral("CP866")));
    QCOMPARE(ZipSetNameEncoding(name), known);
    if (!known) {
        // The choice stays as it was.
        ZipWriter w;
        w.add(Encode("IBM866", QStringLiteral("Юг.jpg")), "data", 0);
        QCOMPARE(ReadNames(w.build()), QStringList{QStringLiteral("Юг.jpg")});
    }
    for (const QString& listed : ZipNameEncodingNames())
        QVERIFY2(ZipIsNameEncoding(listed), qPrintable(listed));
}

QTEST_GUILESS_MAIN(TestZipNames)
#include "tst_zipnames.moc"
