// Hostile archives: names that try to leave the output folder, links on the way out, and entries whose
// data overlap (the zip bombs that expand a small file into gigabytes).
#include "archive/zip.h"
#include "support/testenv.h"
#include "support/zipwriter.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

using zelvano::test::ZipWriter;

class TestZipSafety : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void hostileNames_data();
    void hostileNames();
    void linksOnTheWay();
    void overlappingEntries_data();
    void overlappingEntries();

private:
    // Everything below the sandbox except the archive and what lies in out/.
    QStringList OutsideOut() const;
    std::unique_ptr<QTemporaryDir> m_sandbox;
    QString m_out;
    QString m_archive;
};

void TestZipSafety::init()
{
    m_sandbox = std::make_unique<QTemporaryDir>();
    QVERIFY(m_sandbox->isValid());
    // out/ lies two levels down so that "../.." still lands inside the sandbox, where the test can see it.
    m_out = m_sandbox->filePath(QStringLiteral("a/b/out"));
    QVERIFY(QDir().mkpath(m_out));
    m_archive = m_sandbox->filePath(QStringLiteral("hostile.zip"));
}

QStringList TestZipSafety::OutsideOut() const
{
    QStringList found;
    QDirIterator it(m_sandbox->path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(m_sandbox->path()).relativeFilePath(path);
        if (relative != QLatin1String("hostile.zip") && relative != QLatin1String("a") &&
            relative != QLatin1String("a/b") && relative != QLatin1String("a/b/out") &&
            !relative.startsWith(QLatin1String("a/b/out/")))
            found.append(relative);
    }
    return found;
}

void TestZipSafety::hostileNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("joinedEscapes"); // the name joined to the output folder climbs out of it

    QTest::newRow("parent folder") << QByteArray("../x.jpg") << true;
    QTest::newRow("absolute path") << QByteArray("/abs.jpg") << false;
    QTest::newRow("drive letter") << QByteArray("C:\\x.jpg") << false;
    QTest::newRow("climbs out through a folder") << QByteArray("a/../../x.jpg") << true;
    QTest::newRow("climbs out with backslashes") << QByteArray("a\\..\\..\\x.jpg") << true;
    QTest::newRow("UNC path") << QByteArray("\\\\server\\share\\x.jpg") << false;
    QTest::newRow("NUL inside the name") << QByteArray("x.jpg\0../../evil", 16) << true;
    QTest::newRow("control character") << QByteArray("x\x01.jpg") << false;
    QTest::newRow("dots and a space") << QByteArray("a/.. /../x.jpg") << true;
    QTest::newRow("three dots") << QByteArray(".../x.jpg") << false;
    // Windows reads these as the folder itself or its parent: refused like every other dots-only part.
    QTest::newRow("dot and a space") << QByteArray(". /x.jpg") << false;
    QTest::newRow("spaces only") << QByteArray("a/  /x.jpg") << false;
}

void TestZipSafety::hostileNames()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, joinedEscapes);
    ZipWriter w;
    w.add(name + "/", QByteArray(), 0).externalAttributes = 0x10; // a folder entry with this name
    w.add(name, "jpeg bytes");
    QVERIFY(zelvano::test::WriteFile(m_archive, w.build()));
    ZipHandlePtr zip(ZipOpen(m_archive));
    QVERIFY(zip);

    // A folder entry makes its folder below the output's folder only; this name leads elsewhere.
    QCOMPARE(ZipExtractEntry(zip.get(), 0, m_out + QStringLiteral("/any.jpg")), ZIPRES_UNSAFEPATH);
    QCOMPARE(ZipGetLastResult(), ZIPRES_UNSAFEPATH);
    QCOMPARE(OutsideOut(), QStringList());
    QCOMPARE(QDir(m_out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    // A careless caller joins the name to the output folder: whatever the result, nothing lands outside.
    ZipEntry entry;
    QCOMPARE(ZipGetEntry(zip.get(), 1, entry), ZIPRES_OK);
    const int result = ZipExtractEntry(zip.get(), 1, m_out + QLatin1Char('/') + entry.m_szName);
    if (joinedEscapes)
        QCOMPARE(result, ZIPRES_UNSAFEPATH);
    QCOMPARE(OutsideOut(), QStringList());
}

void TestZipSafety::linksOnTheWay()
{
#ifndef Q_OS_UNIX
    QSKIP("symbolic links need privileges on this system");
#endif
    const QString elsewhere = m_sandbox->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkdir(elsewhere));
    QVERIFY(QFile::link(elsewhere, m_out + QStringLiteral("/link")));
    const QString victim = elsewhere + QStringLiteral("/victim.jpg");
    QVERIFY(zelvano::test::WriteFile(victim, "keep me"));
    QVERIFY(QFile::link(victim, m_out + QStringLiteral("/photo.jpg")));

    ZipWriter w;
    w.add("link/sub/", QByteArray(), 0).externalAttributes = 0x10;
    w.add("photo.jpg", "replacement");
    QVERIFY(zelvano::test::WriteFile(m_archive, w.build()));
    ZipHandlePtr zip(ZipOpen(m_archive));
    QCOMPARE(ZipExtractEntry(zip.get(), 0, m_out + QStringLiteral("/x.jpg")), ZIPRES_UNSAFEPATH);
    QVERIFY(!QFileInfo::exists(elsewhere + QStringLiteral("/sub")));
    QCOMPARE(ZipExtractEntry(zip.get(), 1, m_out + QStringLiteral("/photo.jpg")), ZIPRES_UNSAFEPATH);
    QCOMPARE(zelvano::test::ReadFile(victim), QByteArray("keep me"));
}

void TestZipSafety::overlappingEntries_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QList<int>>("results"); // ZipGetEntry's result for each entry

    const QByteArray data = QByteArray("zeros ").repeated(20000);
    {
        ZipWriter w;
        w.add("bomb0.jpg", data);
        w.addAlias(0, "bomb1.jpg");
        w.addAlias(0, "bomb2.jpg");
        QTest::newRow("three records share one local header")
            << w.build() << QList<int>{ZIPRES_DAMAGED, ZIPRES_DAMAGED, ZIPRES_DAMAGED};
    }
    {
        ZipWriter w;
        w.add("first.jpg", data).packedSize = ZipWriter::Deflate(data).size() + 40;
        w.add("second.jpg", data);
        // Both are damaged: each shares bytes with the other.
        QTest::newRow("data runs into the next entry") << w.build() << QList<int>{ZIPRES_DAMAGED, ZIPRES_DAMAGED};
    }
    {
        ZipWriter w;
        w.add("first.jpg", data);
        w.add("second.jpg", data).packedSize = ZipWriter::Deflate(data).size() + 10;
        QTest::newRow("data runs into the central directory") << w.build() << QList<int>{ZIPRES_OK, ZIPRES_DAMAGED};
    }
    {
        // The first entry's data spans the whole archive, holding the other entries inside it.
        ZipWriter w;
        w.add("outer.jpg", data, 0);
        w.add("inner1.jpg", data);
        w.add("inner2.jpg", data);
        const QByteArray honest = w.build();
        w.item(0).packedSize = honest.indexOf("PK\x01\x02") - 30 - 9;
        w.item(0).unpackedSize = w.item(0).packedSize;
        QTest::newRow("entries nested inside another's data")
            << w.build() << QList<int>{ZIPRES_DAMAGED, ZIPRES_DAMAGED, ZIPRES_DAMAGED};
    }
    {
        ZipWriter w;
        w.add("a.jpg", data);
        w.add("b.jpg", data);
        w.add("c.jpg", QByteArray());
        QTest::newRow("honest archive") << w.build() << QList<int>{ZIPRES_OK, ZIPRES_OK, ZIPRES_OK};
    }
}

void TestZipSafety::overlappingEntries()
{
    QFETCH(QByteArray, archive);
    QFETCH(QList<int>, results);
    QVERIFY(zelvano::test::WriteFile(m_archive, archive));
    ZipHandlePtr zip(ZipOpen(m_archive));
    QVERIFY(zip);
    for (int i = 0; i < results.size(); ++i) {
        ZipEntry entry;
        QCOMPARE(ZipGetEntry(zip.get(), i, entry), results.at(i));
        QVERIFY(!entry.m_szName.isEmpty());
        const QString out = m_out + QStringLiteral("/%1.jpg").arg(i);
        QCOMPARE(ZipExtractEntry(zip.get(), i, out), results.at(i));
        QCOMPARE(QFileInfo::exists(out), results.at(i) == ZIPRES_OK);
    }
}

QTEST_GUILESS_MAIN(TestZipSafety)
#include "tst_zipsafety.moc"
