#include "common/format.h"
#include "reports/scanreport.h"
#include "scan/archivelist.h"
#include "support/testenv.h"
#include "ui/scanresultsdialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

CXArchiveFile Found(const QString& path, int photos, quint64 bytes, int type)
{
    CXArchiveFile a;
    a.m_strPath = path;
    a.m_strFileName = QFileInfo(path).fileName();
    a.m_nPhotoCount = photos;
    a.m_nPhotoBytes = bytes;
    a.m_nArchiveType = type;
    return a;
}

// Two photo archives, two archives that did not open (met out of name order, and differing in case so that
// a case-sensitive sort puts them the other way round), one skipped archive.
CXArchiveList SampleList()
{
    CXArchiveList list;
    list.AddArchive(Found(QStringLiteral("/photos/2019/beach.zip"), 1, 2048, 0));
    list.AddArchive(Found(QStringLiteral("/photos/2020/party.rar"), 1234, 5'000'000, 1));
    list.m_nZipCount = 1;
    list.m_nRarCount = 1;
    list.m_arrInvalid << CXFileItem{QStringLiteral("Zeta.rar"), QStringLiteral("/photos/z/Zeta.rar"), 11,
                                    QStringLiteral("Volume missing: Zeta.r00")}
                      << CXFileItem{QStringLiteral("alpha.zip"), QStringLiteral("/photos/a/alpha.zip"), 9};
    list.m_arrSkipped.InsertSorted(QStringLiteral("/photos/docs/letters.zip"));
    return list;
}

ScanReportFigures SampleFigures(const CXArchiveList& list, const QString& scanPath = QStringLiteral("/photos"))
{
    ScanReportFigures f =
        MakeScanReportFigures(list, scanPath, 1'615'125'909, 1'615'126'034, QStringLiteral("00:02:05"));
    // The window sums over its list rows, which may be fewer than the archives found.
    f.m_nTotalPhotos = 1235;
    f.m_nSizeOnDisk = 5'002'048;
    return f;
}

QTreeWidget* List(QWidget& dialog, const char* name)
{
    return dialog.findChild<QTreeWidget*>(QLatin1String(name));
}

QPushButton* Button(QWidget& dialog, const char* name)
{
    return dialog.findChild<QPushButton*>(QLatin1String(name));
}

QStringList ColumnTexts(const QTreeWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->topLevelItemCount(); ++row)
        texts << list->topLevelItem(row)->text(0);
    return texts;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

class TestScanResults : public QObject
{
    Q_OBJECT

    zelvano::test::IsolatedHome m_home;

private Q_SLOTS:
    void summaryRows_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("value");

        const CXArchiveList list = SampleList();
        const ScanReportFigures f = SampleFigures(list);
        QTest::newRow("scan path") << 0 << "Scan Path:" << QDir::toNativeSeparators(QStringLiteral("/photos"));
        QTest::newRow("started") << 1 << "Started:" << FormatReportTime(f.m_tStarted);
        QTest::newRow("finished") << 2 << "Finished:" << FormatReportTime(f.m_tFinished);
        QTest::newRow("elapsed") << 3 << "Elapsed Time:"
                                 << "00:02:05";
        QTest::newRow("total found") << 4 << "Total Archives Found:"
                                     << "4";
        QTest::newRow("valid") << 5 << "Valid Archives:"
                               << "2";
        QTest::newRow("invalid") << 6 << "Invalid Archives:"
                                 << "2";
        QTest::newRow("skipped") << 7 << "Skipped Archives:"
                                 << "1";
        QTest::newRow("zip") << 8 << "Zip Archives:"
                             << "1";
        QTest::newRow("rar") << 9 << "RAR Archives:"
                             << "1";
        QTest::newRow("photos, grouped") << 10 << "Total Photos:"
                                         << "1,235";
        QTest::newRow("size on disk") << 11 << "Size on Disk:" << FormatByteSize(5'002'048);
    }

    // The 7z row stands between the RAR row and the photos, as in the report, only when there is a 7z archive.
    void sevenZipRowOnlyWhenFound_data()
    {
        QTest::addColumn<int>("sevenZ");
        QTest::addColumn<QStringList>("labels"); // rows 9 to the end
        QTest::newRow("none") << 0
                              << QStringList{QStringLiteral("RAR Archives:"), QStringLiteral("Total Photos:"),
                                             QStringLiteral("Size on Disk:")};
        QTest::newRow("three") << 3
                               << QStringList{QStringLiteral("RAR Archives:"), QStringLiteral("7z Archives:"),
                                              QStringLiteral("Total Photos:"), QStringLiteral("Size on Disk:")};
    }
    void sevenZipRowOnlyWhenFound()
    {
        QFETCH(int, sevenZ);
        QFETCH(QStringList, labels);
        CXArchiveList list = SampleList();
        list.m_nSevenZCount = sevenZ;
        const ScanReportFigures figures = SampleFigures(list);
        QCOMPARE(figures.m_nSevenZCount, sevenZ);
        CDLGScanResults dialog(figures, list);
        QTreeWidget* summary = List(dialog, "summaryList");
        QStringList shown;
        for (int row = 9; row < summary->topLevelItemCount(); ++row)
            shown << summary->topLevelItem(row)->text(0);
        QCOMPARE(shown, labels);
        if (sevenZ > 0)
            QCOMPARE(summary->topLevelItem(10)->text(1), FormatNumber(sevenZ));
    }

    // Each row shows the label and the very value text the report writes for it.
    void summaryRows()
    {
        QFETCH(int, row);
        QFETCH(QString, label);
        QFETCH(QString, value);

        const CXArchiveList list = SampleList();
        const ScanReportFigures figures = SampleFigures(list);
        CDLGScanResults dialog(figures, list);
        dialog.show();
        QTreeWidget* summary = List(dialog, "summaryList");
        QVERIFY(summary != nullptr);
        QCOMPARE(summary->topLevelItemCount(), 12);
        QVERIFY(summary->isHeaderHidden());
        QCOMPARE(summary->selectionMode(), QAbstractItemView::NoSelection);
        QCOMPARE(summary->focusPolicy(), Qt::NoFocus);
        QVERIFY(summary->isEnabled());

        const QTreeWidgetItem* item = summary->topLevelItem(row);
        QCOMPARE(item->text(0), label);
        QCOMPARE(item->text(1), value);
        QVERIFY(!(item->flags() & Qt::ItemIsSelectable));
        QVERIFY(item->textAlignment(0) & Qt::AlignRight);

        const QString reportLine = ScanSummaryLines(figures).at(row);
        QCOMPARE(reportLine.left(22).trimmed(), label);
        QCOMPARE(reportLine.mid(22), value);
    }

    void longScanPathIsShortenedInTheMiddle()
    {
        QString path = QStringLiteral("/photos");
        for (int i = 0; i < 30; ++i)
            path += QStringLiteral("/a-rather-long-folder-name-%1").arg(i);
        path += QStringLiteral("/last");
        const CXArchiveList list = SampleList();
        CDLGScanResults dialog(SampleFigures(list, path), list);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        const QTreeWidget* summary = List(dialog, "summaryList");
        const QTreeWidgetItem* row = summary->topLevelItem(0);
        const QString shown = row->text(1);
        const QString full = QDir::toNativeSeparators(path);
        QVERIFY(shown.size() < full.size());
        QVERIFY(shown.contains(QChar(0x2026)));
        QVERIFY2(full.startsWith(shown.section(QChar(0x2026), 0, 0)), qPrintable(shown));
        QVERIFY2(full.endsWith(shown.section(QChar(0x2026), 1)), qPrintable(shown));
        QVERIFY(summary->fontMetrics().horizontalAdvance(shown) <= summary->columnWidth(1));
        QCOMPARE(row->toolTip(1), full);
    }

    void detailsFoldAndUnfold()
    {
        const CXArchiveList list = SampleList();
        CDLGScanResults dialog(SampleFigures(list), list);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        QTreeWidget* details = List(dialog, "detailsList");
        QPushButton* toggle = Button(dialog, "detailsButton");
        QVERIFY(details != nullptr && toggle != nullptr);
        QVERIFY(!details->isVisible());
        QVERIFY(!dialog.DetailsShown());
        QVERIFY(toggle->isEnabled());
        QCOMPARE(toggle->text(), QStringLiteral("Show Details"));
        const int folded = dialog.height();
        const int width = dialog.width();

        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(dialog.DetailsShown());
        QCOMPARE(toggle->text(), QStringLiteral("Hide Details"));
        QTRY_VERIFY(details->isVisible());
        QVERIFY(details->height() > 0);
        QTRY_COMPARE(dialog.height(), folded + details->height() + dialog.layout()->spacing());
        QCOMPARE(dialog.width(), width);

        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(!dialog.DetailsShown());
        QCOMPARE(toggle->text(), QStringLiteral("Show Details"));
        QTRY_VERIFY(!details->isVisible());
        QTRY_COMPARE(dialog.height(), folded);
        QCOMPARE(dialog.width(), width);
    }

    // Sorted by name without regard to case, each row pointing at its own archive and saying why it is invalid
    // when the scan knows more than "does not open".
    void invalidArchivesSortedWithTheirPaths()
    {
        const CXArchiveList list = SampleList();
        CDLGScanResults dialog(SampleFigures(list), list);
        QString shown;
        dialog.m_showInFileManager = [&shown](const QString& path) { shown = path; };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.ToggleDetails();

        QTreeWidget* details = List(dialog, "detailsList");
        QVERIFY(details->isEnabled());
        QCOMPARE(details->headerItem()->text(0), QStringLiteral("Invalid Archives"));
        QCOMPARE(ColumnTexts(details),
                 (QStringList{QStringLiteral("alpha.zip"), QStringLiteral("Zeta.rar (Volume missing: Zeta.r00)")}));
        QCOMPARE(details->topLevelItem(0)->toolTip(0), QDir::toNativeSeparators(QStringLiteral("/photos/a/alpha.zip")));
        QCOMPARE(details->topLevelItem(1)->toolTip(0), QDir::toNativeSeparators(QStringLiteral("/photos/z/Zeta.rar")));

        QTRY_VERIFY(details->visualItemRect(details->topLevelItem(1)).isValid());
        const QPoint at = details->visualItemRect(details->topLevelItem(1)).center();
        QTest::mouseClick(details->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(details->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(shown, QStringLiteral("/photos/z/Zeta.rar"));
    }

    void noInvalidArchivesShowsThePlaceholder()
    {
        CXArchiveList list = SampleList();
        list.m_arrInvalid.clear();
        CDLGScanResults dialog(MakeScanReportFigures(list, QStringLiteral("/photos"), 0, 0, QString()), list);
        bool shown = false;
        dialog.m_showInFileManager = [&shown](const QString&) { shown = true; };
        dialog.show();

        QTreeWidget* details = List(dialog, "detailsList");
        QCOMPARE(ColumnTexts(details), QStringList{QStringLiteral("No Invalid Archives...")});
        QVERIFY(!details->isEnabled());
        QVERIFY(!Button(dialog, "detailsButton")->isEnabled());
        QVERIFY(Button(dialog, "saveReportButton")->isEnabled());
        Q_EMIT details->itemDoubleClicked(details->topLevelItem(0), 0);
        QVERIFY(!shown);
    }

    void doneAndEscapeClose_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Done") << false;
        QTest::newRow("Esc") << true;
    }

    void doneAndEscapeClose()
    {
        QFETCH(bool, escape);
        const CXArchiveList list = SampleList();
        CDLGScanResults dialog(SampleFigures(list), list);
        QPushButton* done = Button(dialog, "doneButton");
        QVERIFY(done->isDefault());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Scan Results"));
        QVERIFY(dialog.isModal());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(done, Qt::LeftButton);
        QTRY_VERIFY(!dialog.isVisible());
    }

    // The chosen file (an old report there is replaced) holds exactly the core's report, and is opened.
    void saveReportWritesAndOpensTheReport()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("report.txt"));
        QVERIFY(zelvano::test::WriteFile(path, "an older report that is longer than nothing\r\n"));

        const CXArchiveList list = SampleList();
        const ScanReportFigures figures = SampleFigures(list);
        CDLGScanResults dialog(figures, list);
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
        const QByteArray expected =
            (ScanReportLines(figures, list).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
        QCOMPARE(ReadAll(path), expected);
        QCOMPARE(opened, QStringList{path});
        QVERIFY(buttonsOffWhileWriting);
        QVERIFY(stayedOpen);
        QVERIFY(Button(dialog, "doneButton")->isEnabled());
        QVERIFY(Button(dialog, "saveReportButton")->isEnabled());
        QVERIFY(Button(dialog, "detailsButton")->isEnabled());

        // A second save proposes the same name again: it comes from the scan's start time.
        dialog.SaveReport();
        QCOMPARE(ReadAll(path), expected);
        QCOMPARE(proposed.size(), 2);
        QCOMPARE(proposed.at(0), proposed.at(1));
        QCOMPARE(QFileInfo(proposed.at(0)).fileName(), ProposedScanReportName(figures.m_tStarted));
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString folder = QFileInfo(proposed.at(0)).absolutePath();
        QVERIFY2(folder == documents || folder == QDir::homePath(), qPrintable(folder));
    }

    void cancelledChoiceWritesNothing()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const CXArchiveList list = SampleList();
        CDLGScanResults dialog(SampleFigures(list), list);
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

        const CXArchiveList list = SampleList();
        CDLGScanResults dialog(SampleFigures(list), list);
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
        QVERIFY2(seen.m_strText.contains(QDir::toNativeSeparators(path)), qPrintable(seen.m_strText));
        QVERIFY2(seen.m_strText.contains(reason), qPrintable(seen.m_strText));
        QVERIFY(!opened);
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(Button(dialog, "doneButton")->isEnabled());
        QVERIFY(Button(dialog, "saveReportButton")->isEnabled());
        QVERIFY(dialog.isVisible());
    }
};

QTEST_MAIN(TestScanResults)
#include "tst_scanresults.moc"
