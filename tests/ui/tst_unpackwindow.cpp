// Unpacking from the main window, driven as a user would: scan, check, start, answer the questions, pause,
// resume and stop, with real archives in a temporary tree and the trash in a temporary home.
#include "platform/desktop/taskbarprogress.h"
#include "scan/archivelist.h"
#include "support/testenv.h"
#include "support/zipwriter.h"
#include "ui/archivelistmodel.h"
#include "ui/archivelistview.h"
#include "ui/mainwindow.h"
#include "ui/statusstrip.h"
#include "ui/systray.h"
#include "ui/taskbarstatus.h"
#include "ui/unpackresultsdialog.h"
#include "unpack/extractfixture.h"

#include <functional>
#include <memory>
#include <QAbstractButton>
#include <QApplication>
#include <QDirIterator>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

using namespace zelvano::test;

namespace {

// Answers every question box that shows up, in turn, with the button of the next object name or standard
// button of the queue ("yesButton", "Yes", ...), and records each question and its buttons.
class Answers : public QObject
{
public:
    explicit Answers(QStringList answers) : m_answers(std::move(answers))
    {
        connect(&m_timer, &QTimer::timeout, this, &Answers::Poll);
        m_timer.start(5);
    }
    QStringList m_questions;
    QList<QStringList> m_buttons;

private:
    void Poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == m_last)
            return;
        m_last = box;
        m_questions << box->text();
        QStringList names;
        for (QAbstractButton* b : box->buttons())
            names << (b->objectName().isEmpty() ? b->text() : b->objectName());
        names.sort();
        m_buttons << names;
        const QString answer = m_answers.isEmpty() ? QStringLiteral("No") : m_answers.takeFirst();
        QAbstractButton* button = box->findChild<QAbstractButton*>(answer);
        if (!button && answer == QStringLiteral("Yes"))
            button = box->button(QMessageBox::Yes);
        if (!button && answer == QStringLiteral("No"))
            button = box->button(QMessageBox::No);
        QVERIFY2(button, qPrintable(answer));
        // After the box's own event handling has returned.
        QTimer::singleShot(0, button, &QAbstractButton::click);
    }
    QStringList m_answers;
    QPointer<QMessageBox> m_last;
    QTimer m_timer;
};

// Closes the Unpack Results dialog when it shows, after letting the test look at it.
class ResultsWatch : public QObject
{
public:
    explicit ResultsWatch(std::function<void(CDLGUnpackResults&)> look = {}) : m_look(std::move(look))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* dialog = qobject_cast<CDLGUnpackResults*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            ++m_nShown;
            if (m_look)
                m_look(*dialog);
            dialog->accept();
        });
        m_timer.start(5);
    }
    int m_nShown = 0;

private:
    std::function<void(CDLGUnpackResults&)> m_look;
    QTimer m_timer;
};

class RecordingBackend : public CXTaskbarBackend
{
public:
    explicit RecordingBackend(QStringList& log) : m_log(log) {}
    void SetState(int state) override { m_log << QStringLiteral("state %1").arg(state); }
    void SetValue(quint64 done, quint64 total) override { m_log << QStringLiteral("%1/%2").arg(done).arg(total); }

private:
    QStringList& m_log;
};

QByteArray PhotoZip(int pictures, const QByteArray& prefix = "photo")
{
    ZipWriter zip;
    for (int i = 0; i < pictures; ++i)
        zip.add(prefix + QByteArray::number(i) + ".jpg", Jpeg(32, 24));
    return zip.build();
}

QStringList FilesBelow(const QString& root, const QString& suffix)
{
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(suffix, Qt::CaseInsensitive))
            out << QDir(root).relativeFilePath(path);
    }
    out.sort();
    return out;
}

} // namespace

class TestUnpackWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void wholeRun_data();
    void wholeRun();
    void perArchiveQuestion_data();
    void perArchiveQuestion();
    void deferredQuestion_data();
    void deferredQuestion();
    void stopInALargeEntry_data();
    void stopInALargeEntry();
    void checksAreLockedDuringARun();
    void archiveDamagedAfterTheScanStays();
    void trayMenuAndHidingIntoTheTray();
    void taskbarFollowsTheRun();
    void shutdownDuringARunStopsCleanly();

private:
    void WriteSettings(const std::function<void(CXSettings&)>& change);
    // A window that has scanned the tree, every row checked.
    std::unique_ptr<CMainDialog> ScannedWindow(const QString& root);
    QString MakeTree(int archives);
    bool RunUntilEnded(CMainDialog& w);

    std::unique_ptr<IsolatedHome> m_home;
    std::unique_ptr<QTemporaryDir> m_tree;
};

void TestUnpackWindow::init()
{
    m_home = std::make_unique<IsolatedHome>();
    m_tree = std::make_unique<QTemporaryDir>();
    CXSysTray::SetTrayAvailableHook({});
}

void TestUnpackWindow::cleanup()
{
    CXSysTray::SetTrayAvailableHook({});
    m_tree.reset();
    m_home.reset();
}

void TestUnpackWindow::WriteSettings(const std::function<void(CXSettings&)>& change)
{
    CXSettings settings;
    QString error;
    QVERIFY2(settings.InitializeSettings(&error), qPrintable(error));
    settings.m_bShowScanResults = 0;
    settings.m_bShowUnpackResults = 0;
    settings.m_bAutoCheckFound = 1;
    settings.m_nValidationLevel = ValidateSize;
    settings.m_nExtractTo = ExtractToFolder;
    settings.m_bRenameFolder = 0;
    change(settings);
    QVERIFY(settings.SaveSettings());
}

QString TestUnpackWindow::MakeTree(int archives)
{
    const QString root = m_tree->path() + QStringLiteral("/Photos");
    for (int i = 0; i < archives; ++i)
        WriteFile(root + QStringLiteral("/album%1.zip").arg(i), PhotoZip(2, "a" + QByteArray::number(i) + "_"));
    return root;
}

std::unique_ptr<CMainDialog> TestUnpackWindow::ScannedWindow(const QString& root)
{
    auto w = std::make_unique<CMainDialog>();
    w->Initialize();
    w->show();
    QSignalSpy ended(w.get(), &CMainDialog::scanEnded);
    w->ScanFolderNow(root);
    if (!ended.wait(20000))
        qWarning("the scan did not end");
    return w;
}

bool TestUnpackWindow::RunUntilEnded(CMainDialog& w)
{
    QSignalSpy ended(&w, &CMainDialog::unpackEnded);
    w.findChild<QToolButton*>(QStringLiteral("startButton"))->click();
    return ended.count() > 0 || ended.wait(30000);
}

void TestUnpackWindow::wholeRun_data()
{
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("when");
    QTest::newRow("permanently, after each") << int(AfterDeletePermanently) << int(DeleteAfterEach);
    QTest::newRow("permanently, after all") << int(AfterDeletePermanently) << int(DeleteAfterAll);
    QTest::newRow("to the trash, after each") << int(AfterDeleteToTrash) << int(DeleteAfterEach);
    QTest::newRow("to the trash, after all") << int(AfterDeleteToTrash) << int(DeleteAfterAll);
}

void TestUnpackWindow::wholeRun()
{
    QFETCH(int, after);
    QFETCH(int, when);
    const QString root = MakeTree(3);
    WriteSettings([&](CXSettings& s) {
        s.m_nAfterExtraction = after;
        s.m_nWhenToDelete = when;
        s.m_bConfirmDelete = 0;
        s.m_bShowUnpackResults = 1;
    });
    auto w = ScannedWindow(root);
    QCOMPARE(w->List()->RowCount(), 3);
    QVERIFY(w->findChild<QToolButton*>(QStringLiteral("startButton"))->isEnabled());

    const QString reportPath = m_tree->path() + QStringLiteral("/unpack report.txt");
    QString opened;
    QStringList summary;
    ResultsWatch results([&](CDLGUnpackResults& dialog) {
        dialog.m_chooseReportPath = [&](const QString&) { return reportPath; };
        dialog.m_openReport = [&](const QString& path) { opened = path; };
        dialog.SaveReport();
    });
    QVERIFY(RunUntilEnded(*w));
    QCOMPARE(results.m_nShown, 1);
    QVERIFY(!w->IsUnpacking());

    // Every picture in a folder named after its archive; the archives gone, the rows with them.
    QCOMPARE(FilesBelow(root, QStringLiteral(".jpg")),
             (QStringList{QStringLiteral("album0/a0_0.jpg"), QStringLiteral("album0/a0_1.jpg"),
                          QStringLiteral("album1/a1_0.jpg"), QStringLiteral("album1/a1_1.jpg"),
                          QStringLiteral("album2/a2_0.jpg"), QStringLiteral("album2/a2_1.jpg")}));
    QCOMPARE(FilesBelow(root, QStringLiteral(".zip")), QStringList());
    QCOMPARE(w->List()->RowCount(), 0);
    const QStringList trashed =
        FilesBelow(m_home->path() + QStringLiteral("/.local/share/Trash/files"), QStringLiteral(".zip"));
    QCOMPARE(trashed.size(), after == AfterDeleteToTrash ? 3 : 0);
    QVERIFY2(w->StatusStrip()->MainText().startsWith(QStringLiteral("Processed 3 Archives in ")),
             qPrintable(w->StatusStrip()->MainText()));
    QCOMPARE(w->StatusStrip()->LabelText(), QStringLiteral("Ready"));
    // The report of the run, opened after it was written.
    QCOMPARE(opened, reportPath);
    const QString report = QString::fromUtf8(ReadFile(reportPath));
    QVERIFY2(report.contains(QStringLiteral("Photos Extracted:")) && report.contains(QStringLiteral("album2.zip")),
             qPrintable(report));
    // Sorting is allowed again.
    QVERIFY(w->List()->IsSortingAllowed());
}

void TestUnpackWindow::perArchiveQuestion_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("questions");
    QTest::addColumn<QStringList>("left"); // archives still there
    QTest::addColumn<int>("pictureFolders");

    const QString a0 = QStringLiteral("album0.zip"), a1 = QStringLiteral("album1.zip"),
                  a2 = QStringLiteral("album2.zip");
    QTest::newRow("yes, no, yes") << QStringList{QStringLiteral("yesButton"), QStringLiteral("noButton"),
                                                 QStringLiteral("yesButton")}
                                  << 3 << QStringList{a1} << 3;
    QTest::newRow("yes to all") << QStringList{QStringLiteral("yesToAllButton")} << 1 << QStringList() << 3;
    QTest::newRow("no to all") << QStringList{QStringLiteral("noToAllButton")} << 1 << QStringList{a0, a1, a2} << 3;
    // Cancel ends the run: the later archives are not unpacked.
    QTest::newRow("cancel") << QStringList{QStringLiteral("cancelButton")} << 1 << QStringList{a0, a1, a2} << 1;
}

void TestUnpackWindow::perArchiveQuestion()
{
    QFETCH(QStringList, answers);
    QFETCH(int, questions);
    QFETCH(QStringList, left);
    QFETCH(int, pictureFolders);
    const QString root = MakeTree(3);
    WriteSettings([](CXSettings& s) {
        s.m_nAfterExtraction = AfterDeletePermanently;
        s.m_nWhenToDelete = DeleteAfterEach;
        s.m_bConfirmDelete = 1;
        s.m_bShowUnpackResults = 1;
    });
    auto w = ScannedWindow(root);
    Answers answer(answers);
    ResultsWatch results;
    QVERIFY(RunUntilEnded(*w));
    QCOMPARE(answer.m_questions.size(), questions);
    QCOMPARE(answer.m_questions.first(),
             QStringLiteral("Are you sure you want to delete the archive 'album0.zip'?\n\nClick 'Cancel' to abort "
                            "the current operation."));
    QCOMPARE(answer.m_buttons.first(),
             (QStringList{QStringLiteral("cancelButton"), QStringLiteral("noButton"), QStringLiteral("noToAllButton"),
                          QStringLiteral("yesButton"), QStringLiteral("yesToAllButton")}));
    if (questions == 3) {
        // The last archive: only Yes and No, and no Cancel hint.
        QCOMPARE(answer.m_questions.last(),
                 QStringLiteral("Are you sure you want to delete the archive 'album2.zip'?."));
        QCOMPARE(answer.m_buttons.last(), (QStringList{QStringLiteral("noButton"), QStringLiteral("yesButton")}));
    }
    QCOMPARE(FilesBelow(root, QStringLiteral(".zip")), left);
    QCOMPARE(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), pictureFolders);
    // The archives still there stay listed; a cancelled run shows no results.
    QCOMPARE(w->List()->RowCount(), int(left.size()));
    QCOMPARE(results.m_nShown, answers == QStringList{QStringLiteral("cancelButton")} ? 0 : 1);
    QVERIFY(!w->IsUnpacking());
}

void TestUnpackWindow::deferredQuestion_data()
{
    QTest::addColumn<int>("archives");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("left");
    QTest::newRow("yes") << 3 << QStringLiteral("Yes") << 0;
    QTest::newRow("no") << 3 << QStringLiteral("No") << 3;
    QTest::newRow("six archives, yes") << 6 << QStringLiteral("Yes") << 0;
}

void TestUnpackWindow::deferredQuestion()
{
    QFETCH(int, archives);
    QFETCH(QString, answer);
    QFETCH(int, left);
    const QString root = MakeTree(archives);
    WriteSettings([](CXSettings& s) {
        s.m_nAfterExtraction = AfterDeletePermanently;
        s.m_nWhenToDelete = DeleteAfterAll;
        s.m_bConfirmDelete = 1;
    });
    auto w = ScannedWindow(root);
    Answers answers({answer});
    QVERIFY(RunUntilEnded(*w));
    QCOMPARE(answers.m_questions.size(), 1);
    const QString question = answers.m_questions.first();
    const QString head =
        QStringLiteral("Are you sure you want to delete the following %1 Archives?\n\n").arg(qMin(archives, 4));
    QVERIFY2(question.startsWith(head), qPrintable(question));
    QVERIFY2(question.contains(QDir::toNativeSeparators(root + QStringLiteral("/album0.zip"))) ||
                 question.contains(root + QStringLiteral("/album0.zip")),
             qPrintable(question));
    if (archives > 4)
        QVERIFY2(question.contains(QStringLiteral("..and 2 others (total of 6 archives).")), qPrintable(question));
    QCOMPARE(FilesBelow(root, QStringLiteral(".zip")).size(), left);
    QCOMPARE(w->List()->RowCount(), left);
}

void TestUnpackWindow::stopInALargeEntry_data()
{
    QTest::addColumn<bool>("paused");
    QTest::addColumn<bool>("yes");
    QTest::newRow("paused, answered No") << true << false;
    QTest::newRow("running, answered No") << false << false;
    QTest::newRow("paused, answered Yes") << true << true;
    QTest::newRow("running, answered Yes") << false << true;
}

void TestUnpackWindow::stopInALargeEntry()
{
    QFETCH(bool, paused);
    QFETCH(bool, yes);
    const QString root = m_tree->path() + QStringLiteral("/Big");
    // A picture of 96 MB of zeros deflates to little and takes a while to write.
    ZipWriter big;
    big.add("big.jpg", QByteArray(96 << 20, '\0'));
    WriteFile(root + QStringLiteral("/a big.zip"), big.build());
    WriteFile(root + QStringLiteral("/b small.zip"), PhotoZip(2));
    WriteSettings([](CXSettings& s) {
        s.m_nValidationLevel = ValidateExists;
        s.m_nAfterExtraction = AfterDeletePermanently;
        s.m_nWhenToDelete = DeleteAfterEach;
        s.m_bConfirmDelete = 0;
        s.m_bConfirmCancelUnpack = 1;
        s.m_bShowUnpackResults = 1;
    });
    auto w = ScannedWindow(root);
    QCOMPARE(w->List()->RowCount(), 2);
    ResultsWatch results;
    QSignalSpy ended(w.get(), &CMainDialog::unpackEnded);
    w->StartUnpack();
    const QString folder = root + QStringLiteral("/a big");
    // Caught within the data chunks of the large entry.
    QTRY_VERIFY_WITH_TIMEOUT(!TempFilesIn(folder).isEmpty(), 20000);
    if (paused) {
        w->findChild<QToolButton*>(QStringLiteral("pauseButton"))->click();
        QVERIFY(w->IsUnpackPaused());
        QCOMPARE(w->StatusStrip()->LabelText(), QStringLiteral("Paused"));
        QVERIFY(w->findChild<QToolButton*>(QStringLiteral("startButton"))->isEnabled());
        QVERIFY(!w->findChild<QToolButton*>(QStringLiteral("pauseButton"))->isEnabled());
        // Nothing is written while paused.
        const QString partial = folder + QLatin1Char('/') + TempFilesIn(folder).value(0);
        QTest::qWait(150);
        const qint64 heldSize = QFileInfo(partial).size();
        QTest::qWait(200);
        QCOMPARE(QFileInfo(partial).size(), heldSize);
    }
    {
        Answers answer({yes ? QStringLiteral("Yes") : QStringLiteral("No")});
        w->findChild<QToolButton*>(QStringLiteral("stopButton"))->click();
        QCOMPARE(answer.m_questions,
                 QStringList{QStringLiteral("Are you sure you want to cancel the unpacking operation?")});
    }
    if (!yes) {
        // The run stays as it was, paused or running, and completes.
        QVERIFY(w->IsUnpacking());
        QCOMPARE(w->IsUnpackPaused(), paused);
        if (paused) {
            w->findChild<QToolButton*>(QStringLiteral("startButton"))->click();
            QVERIFY(!w->IsUnpackPaused());
            QCOMPARE(w->StatusStrip()->LabelText(), QStringLiteral("Unpacking:"));
        }
        QVERIFY(ended.wait(60000));
        QCOMPARE(results.m_nShown, 1);
        QCOMPARE(QFileInfo(folder + QStringLiteral("/big.jpg")).size(), qint64(96 << 20));
        QCOMPARE(FilesBelow(root, QStringLiteral(".zip")), QStringList());
        return;
    }
    // Stopped: nothing deleted, the second archive not reached, no results, no leftovers.
    QCOMPARE(ended.count(), 1);
    QVERIFY(!w->IsUnpacking());
    QVERIFY(!w->IsUnpackPaused());
    QCOMPARE(w->StatusStrip()->MainText(), QString());
    QTest::qWait(200);
    QCOMPARE(results.m_nShown, 0);
    QCOMPARE(FilesBelow(root, QStringLiteral(".zip")),
             (QStringList{QStringLiteral("a big.zip"), QStringLiteral("b small.zip")}));
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("/b small")));
    QTRY_VERIFY(TempFilesIn(folder).isEmpty());
    QCOMPARE(w->List()->RowCount(), 2);
    // Nothing stays suspended: a new run starts and completes.
    QVERIFY(RunUntilEnded(*w));
    QCOMPARE(FilesBelow(root, QStringLiteral(".zip")), QStringList());
}

void TestUnpackWindow::checksAreLockedDuringARun()
{
    const QString root = MakeTree(3);
    WriteSettings([](CXSettings& s) { s.m_nAfterExtraction = AfterDoNothing; });
    auto w = ScannedWindow(root);
    QSignalSpy ended(w.get(), &CMainDialog::unpackEnded);
    w->StartUnpack();
    w->PauseUnpack();
    // The user cannot change a check mark during the run.
    QAbstractItemModel* model = w->List()->model();
    const QModelIndex first = model->index(2, 0);
    QVERIFY(!model->setData(first, Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(model->data(first, Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(!w->List()->IsSortingAllowed());
    w->ResumeUnpack();
    QVERIFY(ended.wait(30000));
    // The worker unchecked every archive it processed (nothing is deleted here).
    QCOMPARE(w->List()->RowCount(), 3);
    QCOMPARE(w->List()->CountChecked().m_nRows, 0);
    QVERIFY(model->setData(first, Qt::Checked, Qt::CheckStateRole));
}

void TestUnpackWindow::archiveDamagedAfterTheScanStays()
{
    const QString root = MakeTree(3);
    WriteSettings([](CXSettings& s) {
        s.m_nAfterExtraction = AfterDeletePermanently;
        s.m_nWhenToDelete = DeleteAfterEach;
        s.m_bConfirmDelete = 0;
        s.m_bShowUnpackResults = 1;
    });
    auto w = ScannedWindow(root);
    // Damaged after the scan: cut in half.
    const QString damaged = root + QStringLiteral("/album1.zip");
    QByteArray bytes = ReadFile(damaged);
    WriteFile(damaged, bytes.left(bytes.size() / 2));
    int errors = -1;
    ResultsWatch results([&](CDLGUnpackResults& dialog) {
        errors = dialog.findChild<QTreeWidget*>(QStringLiteral("detailsList"))->topLevelItemCount();
    });
    QVERIFY(RunUntilEnded(*w));
    QCOMPARE(FilesBelow(root, QStringLiteral(".zip")), QStringList{QStringLiteral("album1.zip")});
    QCOMPARE(w->List()->RowCount(), 1);
    QCOMPARE(w->List()->CountChecked().m_nRows, 0);
    QCOMPARE(errors, 1);
}

void TestUnpackWindow::trayMenuAndHidingIntoTheTray()
{
    const QString root = MakeTree(1);
    WriteSettings([](CXSettings& s) {
        s.m_bMinimizeToTray = 1;
        s.m_bMinimizeOnClose = 1;
        s.m_bAlwaysShowTrayIcon = 0;
        s.m_nAfterExtraction = AfterDoNothing;
    });
    auto w = ScannedWindow(root);
    CXSysTray* tray = w->Tray();
    QVERIFY(!tray->IsShown());

    // With a tray: closing hides the window into it; the tray brings it back and the icon goes.
    CXSysTray::SetTrayAvailableHook([] { return true; });
    QVERIFY(!w->ExitSteps());
    QVERIFY(w->IsHiddenInTray());
    QVERIFY(w->isHidden());
    QVERIFY(tray->IsShown());
    tray->ShowAction()->trigger();
    QVERIFY(!w->IsHiddenInTray());
    QVERIFY(w->isVisible());
    QVERIFY(!tray->IsShown());

    // Without a tray nothing could bring it back: the window is minimised instead.
    CXSysTray::SetTrayAvailableHook([] { return false; });
    QVERIFY(!w->ExitSteps());
    QVERIFY(!w->IsHiddenInTray());
    QVERIFY(!w->isHidden());

    // During a run the tray's Options, About and Exit are grey; "Show Zelvano" is not.
    w->showNormal();
    w->StartUnpack();
    w->PauseUnpack();
    Q_EMIT tray->Menu()->aboutToShow();
    QVERIFY(tray->ShowAction()->isEnabled());
    QVERIFY(!tray->ExitAction()->isEnabled());
    QVERIFY(!tray->OptionsAction()->isEnabled());
    QSignalSpy ended(w.get(), &CMainDialog::unpackEnded);
    w->ResumeUnpack();
    QVERIFY(ended.wait(30000));
    Q_EMIT tray->Menu()->aboutToShow();
    QVERIFY(tray->ExitAction()->isEnabled());
}

void TestUnpackWindow::taskbarFollowsTheRun()
{
    const QString root = MakeTree(4);
    WriteSettings([](CXSettings& s) { s.m_nAfterExtraction = AfterDoNothing; });
    QStringList log; // outlives the window, whose taskbar reports to it until the end
    auto w = ScannedWindow(root);
    w->Taskbar().AttachTaskbar(std::make_unique<RecordingBackend>(log));
    log.clear();
    QVERIFY(RunUntilEnded(*w));
    QVERIFY2(log.contains(QStringLiteral("1/4")) && log.contains(QStringLiteral("2/4")) &&
                 log.contains(QStringLiteral("3/4")) && log.contains(QStringLiteral("4/4")),
             qPrintable(log.join(QLatin1Char(','))));
    QVERIFY(log.indexOf(QStringLiteral("1/4")) < log.indexOf(QStringLiteral("4/4")));
    // Cleared at the end.
    QCOMPARE(log.last(), QStringLiteral("state 0"));
    QCOMPARE(w->Taskbar().Done(), quint64(0));
    QCOMPARE(w->Taskbar().Total(), quint64(0));
}

void TestUnpackWindow::shutdownDuringARunStopsCleanly()
{
    const QString root = m_tree->path() + QStringLiteral("/Big");
    ZipWriter big;
    big.add("big.jpg", QByteArray(96 << 20, '\0'));
    WriteFile(root + QStringLiteral("/big.zip"), big.build());
    WriteSettings([](CXSettings& s) {
        s.m_nValidationLevel = ValidateExists;
        s.m_nAfterExtraction = AfterDeletePermanently;
        s.m_nWhenToDelete = DeleteAfterEach;
        s.m_bConfirmDelete = 0;
        s.m_bConfirmExit = 1;
    });
    auto w = ScannedWindow(root);
    QSignalSpy finished(w.get(), &QDialog::finished);
    w->StartUnpack();
    QTRY_VERIFY_WITH_TIMEOUT(!TempFilesIn(root + QStringLiteral("/big")).isEmpty(), 20000);
    w->PauseUnpack();
    w->Shutdown();
    // No question, the window closed, the archive kept, no leftovers, the settings saved.
    QCOMPARE(finished.count(), 1);
    QVERIFY(!w->IsUnpacking());
    QVERIFY(QFileInfo::exists(root + QStringLiteral("/big.zip")));
    QVERIFY(TempFilesIn(root + QStringLiteral("/big")).isEmpty());
    CXSettings stored;
    QString error;
    QVERIFY(stored.InitializeSettings(&error));
    QCOMPARE(QDir::fromNativeSeparators(stored.m_strLastSourceFolder), root);
}

QTEST_MAIN(TestUnpackWindow)
#include "tst_unpackwindow.moc"
