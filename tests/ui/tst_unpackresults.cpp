#include "common/format.h"
#include "reports/scanreport.h"
#include "reports/unpackreport.h"
#include "scan/archivelist.h"
#include "support/testenv.h"
#include "ui/unpackresultsdialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <unistd.h>

namespace {

CXArchiveFile Found(const QString& path, int photos)
{
    CXArchiveFile a;
    a.m_strPath = path;
    a.m_strFileName = QFileInfo(path).fileName();
    a.m_nPhotoCount = photos;
    return a;
}

CXArchiveItem Failed(const QString& path, bool exists, bool sizeMatches, bool loads)
{
    CXArchiveItem item;
    item.m_strPath = path;
    item.m_strName = QFileInfo(path).fileName();
    item.m_bExists = exists ? 1 : 0;
    item.m_bSizeMatches = sizeMatches ? 1 : 0;
    item.m_bLoads = loads ? 1 : 0;
    return item;
}

// Four archives found. "zoo.rar" lost two entries (one never written, one of the wrong size) and comes before
// "alpha.zip" (one entry in the way of a different file), so a list sorted by name would show them the other
// way round. "alpha.zip" was deleted after the run, so its path no longer exists. "beach.zip" went without
// errors; "later.zip" was not checked for the run.
QList<CXArchiveFile> SampleArchives()
{
    QList<CXArchiveFile> archives;
    archives << Found(QStringLiteral("/photos/2019/beach.zip"), 12);

    CXArchiveFile zoo = Found(QStringLiteral("/photos/2020/zoo.rar"), 30);
    zoo.m_arrFailedItems << Failed(QStringLiteral("/photos/2020/zoo/lion.jpg"), false, true, true)
                         << Failed(QStringLiteral("/photos/2020/zoo/bear.jpg"), true, false, true);
    zoo.m_nErrors = 2;
    archives << zoo;

    CXArchiveFile alpha = Found(QStringLiteral("/photos/2021/alpha.zip"), 1);
    CXArchiveItem inTheWay = Failed(QStringLiteral("/photos/2021/a.jpg"), false, false, false);
    inTheWay.m_strReason = QStringLiteral("A different file with this name already exists");
    alpha.m_arrFailedItems << inTheWay;
    alpha.m_nErrors = 1;
    archives << alpha;

    archives << Found(QStringLiteral("/photos/2022/later.zip"), 7);
    return archives;
}

UnpackReportData SampleData(const QList<CXArchiveFile>* archives)
{
    UnpackReportData data;
    data.m_strScanPath = QStringLiteral("/photos");
    data.m_tStarted = 1'700'000'000;
    data.m_tFinished = 1'700'003'725;
    data.m_strElapsed = QStringLiteral("1:02:05");
    data.m_nArchivesProcessed = 3;
    data.m_nExtracted = 1234;
    data.m_nBytesOnDisk = 5'002'048;
    data.m_nSkipped = 4;
    data.m_nErrors = 3;
    data.m_pArchives = archives;
    data.m_arrSelection = {2, 0, 1};
    return data;
}

// The same run with every entry written well.
void ClearErrors(QList<CXArchiveFile>& archives, UnpackReportData& data)
{
    for (CXArchiveFile& archive : archives) {
        archive.m_arrFailedItems.clear();
        archive.m_nErrors = 0;
    }
    data.m_nErrors = 0;
}

QTreeWidget* List(QWidget& dialog, const char* name)
{
    return dialog.findChild<QTreeWidget*>(QLatin1String(name));
}

QPushButton* Button(QWidget& dialog, const char* name)
{
    return dialog.findChild<QPushButton*>(QLatin1String(name));
}

QStringList RowTexts(const QTreeWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->topLevelItemCount(); ++row)
        texts << list->topLevelItem(row)->text(0) + QLatin1Char('|') + list->topLevelItem(row)->text(1);
    return texts;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Expected(const UnpackReportData& data)
{
    return (UnpackReportLines(data).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

// What a modal message box showed before the watcher closed it.
struct SeenBox
{
    bool m_bSeen = false;
    QString m_strTitle;
    QString m_strText;
};

// Answers the first modal widget with objectName by closing it, recording what it showed. Stops by itself
// after a while, so that a box that never comes does not keep the test busy.
void AnswerModal(const QString& objectName, SeenBox* seen)
{
    auto* timer = new QTimer(qApp);
    auto* tries = new int(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, objectName, seen] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->objectName() == objectName) {
            seen->m_bSeen = true;
            seen->m_strTitle = modal->windowTitle();
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                seen->m_strText = box->text();
            modal->close();
        }
        if (seen->m_bSeen || ++*tries > 500) {
            timer->stop();
            timer->deleteLater();
            delete tries;
        }
    });
    timer->start(10);
}

} // namespace

class TestUnpackResults : public QObject
{
    Q_OBJECT

    zelvano::test::IsolatedHome m_home;

private Q_SLOTS:
    void summaryRows_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("value");

        const QList<CXArchiveFile> archives = SampleArchives();
        const UnpackReportData d = SampleData(&archives);
        QTest::newRow("scan path") << 0 << "Scan Path:" << QDir::toNativeSeparators(QStringLiteral("/photos"));
        QTest::newRow("started") << 1 << "Started:" << FormatReportTime(d.m_tStarted);
        QTest::newRow("finished") << 2 << "Finished:" << FormatReportTime(d.m_tFinished);
        QTest::newRow("elapsed") << 3 << "Elapsed Time:"
                                 << "1:02:05";
        QTest::newRow("processed") << 4 << "Archives Processed:"
                                   << "3";
        QTest::newRow("extracted, grouped") << 5 << "Photos Extracted:"
                                            << "1,234";
        QTest::newRow("size on disk") << 6 << "Size on Disk:" << FormatByteSize(5'002'048);
        QTest::newRow("skipped") << 7 << "Number Skipped (Duplicate):"
                                 << "4";
        QTest::newRow("errors") << 8 << "Number of Errors:"
                                << "3";
    }

    // Each row shows the label and the very value text the report writes for it.
    void summaryRows()
    {
        QFETCH(int, row);
        QFETCH(QString, label);
        QFETCH(QString, value);

        const QList<CXArchiveFile> archives = SampleArchives();
        const UnpackReportData data = SampleData(&archives);
        CDLGUnpackResults dialog(data);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Unpack Results"));
        QVERIFY(dialog.isModal());
        QVERIFY(Button(dialog, "doneButton")->isDefault());
        dialog.show();
        QTreeWidget* summary = List(dialog, "summaryList");
        QVERIFY(summary != nullptr);
        QCOMPARE(summary->topLevelItemCount(), 9);
        QVERIFY(summary->isHeaderHidden());
        QCOMPARE(summary->selectionMode(), QAbstractItemView::NoSelection);

        const QTreeWidgetItem* item = summary->topLevelItem(row);
        QCOMPARE(item->text(0), label);
        QCOMPARE(item->text(1), value);
        QVERIFY(item->textAlignment(0) & Qt::AlignRight);
        // Every label shows whole.
        QVERIFY(summary->fontMetrics().horizontalAdvance(label) < summary->columnWidth(0));

        const QString reportLine = UnpackReportSummaryLines(data).at(row);
        QCOMPARE(reportLine.left(30).trimmed(), label);
        QCOMPARE(reportLine.mid(30), value);
    }

    // A run that met photo exports adds their rows after the errors, with the report's own labels and values;
    // other runs keep nine rows.
    void exportRowsMatchTheReport()
    {
        const QList<CXArchiveFile> archives = SampleArchives();
        UnpackReportData data = SampleData(&archives);
        data.m_arrExports = QStringList{QStringLiteral("/photos/Takeout 2024-06-01")};
        data.m_nDatesRestored = 1234;
        data.m_nNoDate = 5;
        CDLGUnpackResults dialog(data);
        QTreeWidget* summary = List(dialog, "summaryList");
        const QStringList lines = UnpackExportLines(data);
        QCOMPARE(summary->topLevelItemCount(), 9 + lines.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QTreeWidgetItem* item = summary->topLevelItem(9 + i);
            QCOMPARE(item->text(0), lines.at(i).left(30).trimmed());
            QCOMPARE(item->text(1), lines.at(i).mid(30));
            QVERIFY(summary->fontMetrics().horizontalAdvance(item->text(0)) < summary->columnWidth(0));
        }
    }

    // One row per archive with failed entries, in the found list's order, pointing at its own archive (an
    // archive deleted since included: the file manager falls back to its folder).
    void archivesWithErrorsListed()
    {
        const QList<CXArchiveFile> archives = SampleArchives();
        CDLGUnpackResults dialog(SampleData(&archives));
        QStringList shown;
        dialog.m_showInFileManager = [&shown](const QString& path) { shown << path; };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(Button(dialog, "detailsButton")->isEnabled());
        dialog.ToggleDetails();

        QTreeWidget* details = List(dialog, "detailsList");
        QVERIFY(details->isEnabled());
        QCOMPARE(details->columnCount(), 2);
        QCOMPARE(details->headerItem()->text(0), QStringLiteral("Errors"));
        QCOMPARE(details->headerItem()->text(1), QStringLiteral("Archives with Errors"));
        QVERIFY(details->headerItem()->textAlignment(0) & Qt::AlignHCenter);
        QVERIFY(!details->header()->sectionsClickable());
        QCOMPARE(RowTexts(details), (QStringList{QStringLiteral("2|zoo.rar"), QStringLiteral("1|alpha.zip")}));
        QVERIFY(details->topLevelItem(0)->textAlignment(0) & Qt::AlignHCenter);
        QCOMPARE(details->topLevelItem(0)->toolTip(1),
                 QDir::toNativeSeparators(QStringLiteral("/photos/2020/zoo.rar")));
        QCOMPARE(details->topLevelItem(1)->toolTip(1),
                 QDir::toNativeSeparators(QStringLiteral("/photos/2021/alpha.zip")));

        QTRY_VERIFY(details->visualItemRect(details->topLevelItem(1)).isValid());
        const QPoint at = details->visualItemRect(details->topLevelItem(1)).center();
        QTest::mouseClick(details->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(details->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(shown, QStringList{QStringLiteral("/photos/2021/alpha.zip")});
        QVERIFY(details->hasFocus());
    }

    void detailsFoldAndUnfold()
    {
        const QList<CXArchiveFile> archives = SampleArchives();
        CDLGUnpackResults dialog(SampleData(&archives));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        QTreeWidget* details = List(dialog, "detailsList");
        QPushButton* toggle = Button(dialog, "detailsButton");
        QVERIFY(!details->isVisible());
        QVERIFY(!dialog.DetailsShown());
        QCOMPARE(toggle->text(), QStringLiteral("Show Details"));
        const int folded = dialog.height();
        const int width = dialog.width();

        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(dialog.DetailsShown());
        QCOMPARE(toggle->text(), QStringLiteral("Hide Details"));
        QTRY_VERIFY(details->isVisible());
        QTRY_COMPARE(dialog.height(), folded + details->height() + dialog.layout()->spacing());
        QCOMPARE(dialog.width(), width);

        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(!dialog.DetailsShown());
        QCOMPARE(toggle->text(), QStringLiteral("Show Details"));
        QTRY_VERIFY(!details->isVisible());
        QTRY_COMPARE(dialog.height(), folded);
        QCOMPARE(dialog.width(), width);
    }

    // Nothing behind Show Details, before and after a save, and a report without the errors section.
    void runWithoutErrors()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("report.txt"));
        QList<CXArchiveFile> archives = SampleArchives();
        UnpackReportData data = SampleData(&archives);
        ClearErrors(archives, data);

        CDLGUnpackResults dialog(data);
        bool shown = false;
        dialog.m_showInFileManager = [&shown](const QString&) { shown = true; };
        dialog.m_chooseReportPath = [&path](const QString&) { return path; };
        dialog.m_openReport = [](const QString&) {};
        dialog.show();

        QTreeWidget* details = List(dialog, "detailsList");
        QCOMPARE(details->topLevelItemCount(), 0);
        QVERIFY(!Button(dialog, "detailsButton")->isEnabled());
        QVERIFY(Button(dialog, "saveReportButton")->isEnabled());

        dialog.SaveReport();
        const QByteArray report = ReadAll(path);
        QCOMPARE(report, Expected(data));
        QVERIFY(!report.contains("Archive Files with errors:"));
        QVERIFY(!report.contains("In archive:"));
        QVERIFY(report.contains("Processed Archive Files:"));
        QVERIFY(!Button(dialog, "detailsButton")->isEnabled());
        QVERIFY(Button(dialog, "saveReportButton")->isEnabled());
        QVERIFY(!shown);
    }

    // The chosen file (an old report there is replaced) holds exactly the core's report, with the failed
    // entries grouped under their archive and the core's reasons, and is opened.
    void saveReportWritesAndOpensTheReport()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("report.txt"));
        QVERIFY(zelvano::test::WriteFile(path, "an older report that is longer than nothing\r\n"));

        const QList<CXArchiveFile> archives = SampleArchives();
        const UnpackReportData data = SampleData(&archives);
        CDLGUnpackResults dialog(data);
        QStringList proposed;
        QStringList opened;
        bool buttonsOffWhileWriting = false;
        bool stayedOpen = false;
        dialog.m_chooseReportPath = [&](const QString& proposal) {
            proposed << proposal;
            return path;
        };
        dialog.m_openReport = [&](const QString& openedPath) {
            opened << openedPath;
            buttonsOffWhileWriting = !Button(dialog, "doneButton")->isEnabled() &&
                                     !Button(dialog, "saveReportButton")->isEnabled() &&
                                     !Button(dialog, "detailsButton")->isEnabled();
            dialog.reject();
            stayedOpen = dialog.isVisible();
        };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        QTest::mouseClick(Button(dialog, "saveReportButton"), Qt::LeftButton);
        const QByteArray report = ReadAll(path);
        QCOMPARE(report, Expected(data));
        // One "In archive:" line, then a group of three lines per failed entry, with the core's reasons.
        const QStringList zooGroups{
            QStringLiteral("In archive: ") + QDir::toNativeSeparators(QStringLiteral("/photos/2020/zoo.rar")),
            QStringLiteral("   ") + QDir::toNativeSeparators(QStringLiteral("/photos/2020/zoo/lion.jpg")),
            QStringLiteral("   -> Image can't be saved"),
            QString(),
            QStringLiteral("   ") + QDir::toNativeSeparators(QStringLiteral("/photos/2020/zoo/bear.jpg")),
            QStringLiteral("   -> Uncompressed Filesize mismatch"),
            QString(),
            QStringLiteral("In archive: ") + QDir::toNativeSeparators(QStringLiteral("/photos/2021/alpha.zip")),
        };
        QVERIFY2(report.contains(zooGroups.join(QStringLiteral("\r\n")).toUtf8()), report.constData());
        QVERIFY(report.contains("   -> A different file with this name already exists\r\n"));
        QCOMPARE(opened, QStringList{path});
        QVERIFY(buttonsOffWhileWriting);
        QVERIFY(stayedOpen);
        QVERIFY(Button(dialog, "doneButton")->isEnabled());
        QVERIFY(Button(dialog, "saveReportButton")->isEnabled());
        QVERIFY(Button(dialog, "detailsButton")->isEnabled());

        // A second save proposes the same name again: it comes from the run's start time.
        dialog.SaveReport();
        QCOMPARE(ReadAll(path), Expected(data));
        QCOMPARE(proposed.size(), 2);
        QCOMPARE(proposed.at(0), proposed.at(1));
        QCOMPARE(QFileInfo(proposed.at(0)).fileName(), ProposedUnpackReportName(data.m_tStarted));
        QVERIFY(QFileInfo(proposed.at(0)).fileName().startsWith(QStringLiteral("UNPACK ")));
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString folder = QFileInfo(proposed.at(0)).absolutePath();
        QVERIFY2(folder == documents || folder == QDir::homePath(), qPrintable(folder));
    }

    void cancelledChoiceWritesNothing()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QList<CXArchiveFile> archives = SampleArchives();
        CDLGUnpackResults dialog(SampleData(&archives));
        int asked = 0;
        bool opened = false;
        dialog.m_chooseReportPath = [&asked](const QString&) {
            ++asked;
            return QString();
        };
        dialog.m_openReport = [&opened](const QString&) { opened = true; };
        dialog.show();
        QTest::mouseClick(Button(dialog, "saveReportButton"), Qt::LeftButton);
        QCOMPARE(asked, 1);
        QVERIFY(!opened);
        QVERIFY(QDir(dir.path()).isEmpty());
        QVERIFY(Button(dialog, "doneButton")->isEnabled());
        QVERIFY(Button(dialog, "saveReportButton")->isEnabled());
        QVERIFY(Button(dialog, "detailsButton")->isEnabled());
        QVERIFY(dialog.isVisible());
    }

    void unwritableReportIsExplained_data()
    {
        QTest::addColumn<QString>("folderKind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder missing") << "missing"
                                        << "No such file or directory";
        QTest::newRow("folder is a file") << "file"
                                          << "Not a directory";
        QTest::newRow("folder read-only") << "read-only"
                                          << "Permission denied";
    }

    void unwritableReportIsExplained()
    {
        QFETCH(QString, folderKind);
        QFETCH(QString, reason);
        const bool readOnlyFolder = folderKind == QStringLiteral("read-only");
        if (readOnlyFolder && geteuid() == 0)
            QSKIP("root writes into read-only folders");

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.filePath(folderKind);
        if (folderKind == QStringLiteral("file"))
            QVERIFY(zelvano::test::WriteFile(folder, "not a folder"));
        if (readOnlyFolder) {
            QVERIFY(QDir().mkdir(folder));
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        const QString path = folder + QStringLiteral("/report.txt");

        const QList<CXArchiveFile> archives = SampleArchives();
        CDLGUnpackResults dialog(SampleData(&archives));
        bool opened = false;
        dialog.m_chooseReportPath = [&path](const QString&) { return path; };
        dialog.m_openReport = [&opened](const QString&) { opened = true; };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        SeenBox seen;
        AnswerModal(QStringLiteral("reportErrorBox"), &seen);
        dialog.SaveReport();
        if (readOnlyFolder)
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QVERIFY(seen.m_bSeen);
        QCOMPARE(seen.m_strTitle, QStringLiteral("Zelvano"));
        QVERIFY2(seen.m_strText.contains(QStringLiteral("unpack report")), qPrintable(seen.m_strText));
        QVERIFY2(seen.m_strText.contains(QDir::toNativeSeparators(path)), qPrintable(seen.m_strText));
        QVERIFY2(seen.m_strText.contains(reason), qPrintable(seen.m_strText));
        QVERIFY(!opened);
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(Button(dialog, "doneButton")->isEnabled());
        QVERIFY(Button(dialog, "saveReportButton")->isEnabled());
        QVERIFY(Button(dialog, "detailsButton")->isEnabled());
        QVERIFY(dialog.isVisible());
    }
};

QTEST_MAIN(TestUnpackResults)
#include "tst_unpackresults.moc"
