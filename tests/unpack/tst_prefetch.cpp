// The extraction ahead of the run: a file is handed over only for the very entry it was extracted from
// and only when its extraction succeeded; everything not handed over is removed.
#include "common/runcontrol.h"
#include "support/testenv.h"
#include "support/zipwriter.h"
#include "unpack/extractfixture.h"
#include "unpack/prefetch.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace zelvano::test;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

const QString kExtensions = QStringLiteral(".jpg;.png;");

} // namespace

class TestPrefetch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void handsOverOnlyWhatItWasAskedFor_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<quint32>("crcChange"); // XOR into the CRC the caller expects
        QTest::addColumn<bool>("taken");

        QTest::newRow("a picture") << 0 << S("a.jpg") << 0u << true;
        QTest::newRow("not a picture: never extracted ahead") << 1 << S("notes.txt") << 0u << false;
        QTest::newRow("the caller lists another entry there") << 2 << S("other.jpg") << 0u << false;
        QTest::newRow("the caller lists another CRC") << 2 << S("b.jpg") << 1u << false;
        QTest::newRow("a failed extraction is left to the caller") << 3 << S("bad.jpg") << 0u << false;
        QTest::newRow("a folder entry") << 4 << S("dir/") << 0u << false;
    }
    void handsOverOnlyWhatItWasAskedFor()
    {
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(quint32, crcChange);
        QFETCH(bool, taken);

        const QByteArray a = Jpeg(40, 30);
        const QByteArray b = Jpeg(50, 30);
        ZipWriter zip;
        zip.add("a.jpg", a);
        zip.add("notes.txt", "text");
        zip.add("b.jpg", b, 0);
        zip.add("bad.jpg", a).crc = ZipWriter::Crc(a) ^ 1u;
        zip.addFolder("dir/");
        QTemporaryDir dir;
        const QString path = dir.filePath(S("x.zip"));
        QVERIFY(WriteFile(path, zip.build()));

        const QByteArray* bytes = name == S("a.jpg") ? &a : &b;
        CXSourceEntry entry;
        entry.m_strName = name;
        entry.m_strOutputName = name;
        const ZipItem& item = zip.item(index);
        entry.m_nPacked = item.method == 0 ? item.data.size() : ZipWriter::Deflate(item.data).size();
        entry.m_nUnpacked = item.data.size();
        entry.m_nCrc = (item.crc ? *item.crc : ZipWriter::Crc(item.data)) ^ crcChange;

        CXRunControl run;
        run.Start();
        QString fetched;
        {
            CXPrefetch prefetch(NewZipSource(kExtensions), path, kExtensions, dir.path(), run);
            QCOMPARE(prefetch.Identity(), zelvano::platform::IdentifyFile(path));
            QCOMPARE(prefetch.Take(index, entry, &fetched), taken);
            if (taken) {
                QCOMPARE(ReadFile(fetched), *bytes);
                QVERIFY(QFile::remove(fetched)); // the caller's now
            }
        }
        // Whatever was extracted and not handed over is gone with the prefetch.
        QCOMPARE(TempFilesIn(dir.path()), QStringList());
    }

    // A stopped run ends the extraction ahead; a later Take does not wait for it.
    void stopEndsIt()
    {
        ZipWriter zip;
        for (int i = 0; i < 50; ++i)
            zip.add(QByteArray::number(i) + ".jpg", Jpeg(40 + i, 30));
        QTemporaryDir dir;
        const QString path = dir.filePath(S("x.zip"));
        QVERIFY(WriteFile(path, zip.build()));
        CXRunControl run;
        run.Start();
        run.Stop();
        CXPrefetch prefetch(NewZipSource(kExtensions), path, kExtensions, dir.path(), run);
        CXSourceEntry entry;
        entry.m_strName = S("49.jpg");
        QString fetched;
        QVERIFY(!prefetch.Take(49, entry, &fetched));
    }
};

QTEST_GUILESS_MAIN(TestPrefetch)
#include "tst_prefetch.moc"
