// The unpack run over the real extraction and deletion: an archive that no longer opens when the run
// reaches it is never deleted, whatever the timing and the answers, and the results say why.
#include "scan/archivelist.h"
#include "settings/settings.h"
#include "support/testenv.h"
#include "support/zipwriter.h"
#include "unpack/deferreddelete.h"
#include "unpack/extract.h"
#include "unpack/unpackrun.h"

#include <QBuffer>
#include <QImage>
#include <QtTest>

namespace {

class YesHost : public CXWorkerHost
{
public:
    DeleteAnswer ConfirmArchiveDelete(const QString&, bool) override { return DeleteAnswer::YesToAll; }
    void ShowDiskSpaceMessage(const QString&) override {}
};

QByteArray Jpeg()
{
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return buffer.data();
}

} // namespace

class TestUnpackRunEngine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void unopenedArchiveIsNeverDeleted_data()
    {
        QTest::addColumn<int>("afterExtraction");
        QTest::addColumn<int>("whenToDelete");
        QTest::newRow("permanently, after each archive") << 1 << 0;
        QTest::newRow("to the trash, after each archive") << 2 << 0;
        QTest::newRow("permanently, after all archives") << 1 << 1;
        QTest::newRow("to the trash, after all archives") << 2 << 1;
    }
    void unopenedArchiveIsNeverDeleted()
    {
        QFETCH(int, afterExtraction);
        QFETCH(int, whenToDelete);
        zelvano::test::IsolatedHome home; // the trash lives in it
        QTemporaryDir dir;
        CXArchiveList list;
        for (const char* name : {"a.zip", "b.zip"}) {
            zelvano::test::ZipWriter zip;
            zip.add("p1.jpg", Jpeg());
            const QString path = dir.filePath(QLatin1String(name));
            QVERIFY(zelvano::test::WriteFile(path, zip.build()));
            CXArchiveFile a;
            a.InitFromPath(path);
            a.m_nPhotoCount = 1;
            a.m_nArchiveType = 0;
            a.m_nSmartMode = 2;
            list.AddArchive(a);
        }
        // b.zip was damaged after the scan.
        QVERIFY(zelvano::test::WriteFile(dir.filePath(QStringLiteral("b.zip")), "no longer an archive"));

        CXSettings settings;
        settings.ResetToDefaults();
        settings.m_nAfterExtraction = afterExtraction;
        settings.m_nWhenToDelete = whenToDelete;
        settings.m_nValidationLevel = 1;
        YesHost host;
        CXUnpackRun run(list, settings, host);
        QList<CXSelItem> selection;
        for (int i = 0; i < 2; ++i) {
            CXSelItem sel;
            sel.m_nArchive = i;
            sel.m_nRow = i;
            selection << sel;
        }
        QCOMPARE(run.Start(selection, dir.path()), UnpackStart::Started);
        run.Wait();
        QCOMPARE(run.End(), UnpackEnd::Finished);
        RunDeferredDeletion(
            list, run.Selection(), settings, [](const QString&) { return true; }, &host, DeleteArchives);

        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("a.zip"))));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("A/p1.jpg"))));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("b.zip"))));
        const CXArchiveFile& b = list.m_arrArchives.at(1);
        QCOMPARE(b.m_bRemoved, 0);
        QCOMPARE(b.m_nErrors, 1);
        QCOMPARE(b.m_arrFailedItems.size(), 1);
        QCOMPARE(b.m_arrFailedItems.first().m_strReason, QStringLiteral("The archive could not be opened"));
        QCOMPARE(list.m_arrArchives.at(0).m_bRemoved, 1);
    }
};

QTEST_GUILESS_MAIN(TestUnpackRunEngine)
#include "tst_runengine.moc"
