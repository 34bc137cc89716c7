// The main window driven as a user would: by object names, with real archives in a temporary tree, the
// settings in a temporary home, and every question answered by the test.
#include "scan/archivelist.h"
#include "support/testenv.h"
#include "support/zipwriter.h"
#include "ui/archivelistview.h"
#include "ui/helpwindow.h"
#include "ui/mainwindow.h"
#include "ui/optionsdialog.h"
#include "ui/scanresultsdialog.h"
#include "ui/statusstrip.h"
#include "ui/systray.h"
#include "unpack/extractfixture.h"

#include <functional>
#include <memory>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace zelvano::test;

namespace {

// Answers the next question box: ticks "Don't ask me again" when asked, then presses the button.
class BoxAnswer : public QObject
{
public:
    BoxAnswer(QMessageBox::StandardButton button, bool dontAskAgain = false)
        : m_button(button), m_bDontAsk(dontAskAgain)
    {
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswer::Poll);
        m_timer.start(10);
    }
    int m_nAsked = 0;
    QString m_strText;

private:
    void Poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        ++m_nAsked;
        m_strText = box->text();
        if (m_bDontAsk && box->checkBox())
            box->checkBox()->setChecked(true);
        box->button(m_button)->click();
    }
    QTimer m_timer;
    QMessageBox::StandardButton m_button;
    bool m_bDontAsk;
};

// Fails (instead of hanging) when any modal window shows up, and closes it.
class NoModalExpected : public QObject
{
public:
    NoModalExpected()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                m_bSeen = true;
                modal->close();
            }
        });
        m_timer.start(10);
    }
    bool m_bSeen = false;

private:
    QTimer m_timer;
};

// Works the next Options dialog that opens: `act` plays the user's part and ends it (Save, Cancel).
class OptionsAnswer : public QObject
{
public:
    explicit OptionsAnswer(std::function<void(CPSDLGOptions&)> act) : m_act(std::move(act))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* dialog = qobject_cast<CPSDLGOptions*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            m_timer.stop();
            ++m_nShown;
            m_act(*dialog);
        });
        m_timer.start(10);
    }
    int m_nShown = 0;

private:
    QTimer m_timer;
    std::function<void(CPSDLGOptions&)> m_act;
};

QByteArray PhotoZip(int pictures)
{
    ZipWriter zip;
    for (int i = 0; i < pictures; ++i)
        zip.add(QStringLiteral("photo%1.jpg").arg(i).toUtf8(), Jpeg(32, 24));
    return zip.build();
}

template <typename T>
T* Child(const QWidget& window, const char* name)
{
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    if (!child)
        qFatal("no child %s", name);
    return child;
}

// The enabled state of the nine buttons, the drop-down and the list as one text.
QString Enabling(const CMainDialog& w)
{
    QStringList out;
    for (const char* name : {"sourceCombo", "chooseFolderButton", "scanButton", "startButton", "pauseButton",
                             "stopButton", "optionsButton", "aboutButton", "helpButton", "exitButton", "archiveList"})
        out << QString::fromLatin1(name) + QLatin1Char('=') +
                   QLatin1Char(w.findChild<QWidget*>(QString::fromLatin1(name))->isEnabled() ? '1' : '0');
    return out.join(QLatin1Char(' '));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void startUpFillsTheDropDown_data();
    void startUpFillsTheDropDown();
    void enablingFollowsTheRunState();
    void scanFromTheWindowFillsTheListAndShowsResults();
    void scanThatFindsNothing();
    void stopScanAnsweredNoKeepsTheScanAsItWas();
    void stopScanAnsweredYesDiscardsEverything();
    void exitQuestion_data();
    void exitQuestion();
    void exitDuringAScanDoesNothing();
    void layoutIsSavedAndRestored();
    void closingDuringAScanEndsTheWorker();
    void droppedFolderIsScanned();
    void tooltipsFollowTheSetting_data();
    void tooltipsFollowTheSetting();
    void confirmKinds_data();
    void confirmKinds();
    void optionsSaveBringsTheWindowInLine_data();
    void optionsSaveBringsTheWindowInLine();
    void optionsFromTheTrayKeepTheWayBack();
    void optionsHistoryClearing_data();
    void optionsHistoryClearing();
    void helpOpensAtItsTopic_data();
    void helpOpensAtItsTopic();
    void aboutMenuFollowsTheHomePage_data();
    void aboutMenuFollowsTheHomePage();
    void updateCheckCannotStartTwice();

private:
    // Writes the settings file the window reads at start.
    void WriteSettings(const std::function<void(CXSettings&)>& change);
    std::unique_ptr<CMainDialog> NewWindow();
    QString MakeTree(int zips);

    std::unique_ptr<IsolatedHome> m_home;
    std::unique_ptr<QTemporaryDir> m_tree;
};

void TestMainWindow::init()
{
    m_home = std::make_unique<IsolatedHome>();
    m_tree = std::make_unique<QTemporaryDir>();
}

void TestMainWindow::cleanup()
{
    m_tree.reset();
    m_home.reset();
}

void TestMainWindow::WriteSettings(const std::function<void(CXSettings&)>& change)
{
    CXSettings settings;
    QString error;
    QVERIFY2(settings.InitializeSettings(&error), qPrintable(error));
    change(settings);
    QVERIFY(settings.SaveSettings());
}

std::unique_ptr<CMainDialog> TestMainWindow::NewWindow()
{
    auto window = std::make_unique<CMainDialog>();
    window->Initialize();
    window->show();
    return window;
}

// A tree with `zips` photo archives (1, 2, 3... pictures), a picture-less one and a damaged one.
QString TestMainWindow::MakeTree(int zips)
{
    const QString root = m_tree->path() + QStringLiteral("/Photos 100% & more");
    for (int i = 0; i < zips; ++i)
        WriteFile(root + QStringLiteral("/sub%1/album%1.zip").arg(i), PhotoZip(i + 1));
    ZipWriter notes;
    notes.add("notes.txt", "text");
    WriteFile(root + QStringLiteral("/notes.zip"), notes.build());
    WriteFile(root + QStringLiteral("/broken.zip"), "not a zip at all");
    return root;
}

void TestMainWindow::startUpFillsTheDropDown_data()
{
    QTest::addColumn<QStringList>("history"); // relative to the tree; "gone" folders are not created
    QTest::addColumn<QString>("last");        // relative
    QTest::addColumn<QStringList>("shown");   // the drop-down's entries
    QTest::addColumn<QString>("selected");

    QTest::newRow("missing folders and repeats left out")
        << QStringList{QStringLiteral("b"), QStringLiteral("gone"), QStringLiteral("a"), QStringLiteral("b")}
        << QStringLiteral("a") << QStringList{QStringLiteral("a"), QStringLiteral("b")} << QStringLiteral("a");
    // The default folder is the user's pictures folder.
    QTest::newRow("a last folder that is gone gives the default")
        << QStringList{QStringLiteral("a")} << QStringLiteral("gone")
        << QStringList{QStringLiteral("a"), QStringLiteral("PICTURES")} << QStringLiteral("PICTURES");
    QTest::newRow("the last folder is added when not in the history")
        << QStringList{QStringLiteral("b")} << QStringLiteral("a")
        << QStringList{QStringLiteral("a"), QStringLiteral("b")} << QStringLiteral("a");
}

void TestMainWindow::startUpFillsTheDropDown()
{
    QFETCH(QStringList, history);
    QFETCH(QString, last);
    QFETCH(QStringList, shown);
    QFETCH(QString, selected);
    const QString base = m_tree->path() + QLatin1Char('/');
    const QString pictures = m_home->path() + QStringLiteral("/Pictures");
    const auto full = [&](const QString& name) { return name == QStringLiteral("PICTURES") ? pictures : base + name; };
    for (const QString& name : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("PICTURES")})
        QVERIFY(QDir().mkpath(full(name)));
    QCOMPARE(CXSettings::MyPicturesFolder(), pictures);
    WriteSettings([&](CXSettings& s) {
        s.m_arrSourceHistory.clear();
        for (const QString& h : history)
            s.m_arrSourceHistory.Append(base + h);
        s.m_strLastSourceFolder = full(last);
    });
    auto w = NewWindow();
    auto* combo = Child<QComboBox>(*w, "sourceCombo");
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    // In case-insensitive order; the user's pictures folder (in the history by default) only when it exists.
    QStringList expected;
    for (const QString& s : shown)
        expected << QDir::toNativeSeparators(full(s));
    std::sort(expected.begin(), expected.end(),
              [](const QString& x, const QString& y) { return x.compare(y, Qt::CaseInsensitive) < 0; });
    items.removeAll(QDir::toNativeSeparators(pictures));
    expected.removeAll(QDir::toNativeSeparators(pictures));
    QCOMPARE(items, expected);
    QCOMPARE(combo->currentText(), QDir::toNativeSeparators(full(selected)));
    QCOMPARE(w->StatusStrip()->LabelText(), QStringLiteral("Ready"));
    QVERIFY(Child<QToolButton>(*w, "scanButton")->isEnabled());
    // The history itself keeps the folders that are gone.
    for (const QString& h : history)
        QVERIFY(w->Settings().m_arrSourceHistory.Contains(base + h));
}

void TestMainWindow::enablingFollowsTheRunState()
{
    const QString root = MakeTree(2);
    WriteSettings([&](CXSettings& s) {
        s.m_strLastSourceFolder = m_tree->path() + QStringLiteral("/gone");
        s.m_strDefaultSourceFolder = m_tree->path() + QStringLiteral("/gone too");
        s.m_bShowScanResults = 0;
        s.m_bConfirmCancelScan = 0;
    });
    auto w = NewWindow();
    // Idle without an existing source folder: nothing to scan.
    QCOMPARE(Enabling(*w), QStringLiteral("sourceCombo=1 chooseFolderButton=1 scanButton=0 startButton=0 "
                                          "pauseButton=0 stopButton=0 optionsButton=1 aboutButton=1 "
                                          "helpButton=1 exitButton=1 archiveList=1"));

    // Scanning. The worker's first call waits for this thread, so the scan cannot end before we look.
    w->m_chooseFolder = [&](const QString&) { return root; };
    Child<QToolButton>(*w, "chooseFolderButton")->click();
    QVERIFY(w->IsScanning());
    QCOMPARE(w->StatusStrip()->LabelText(), QStringLiteral("Scanning:"));
    QCOMPARE(Enabling(*w), QStringLiteral("sourceCombo=0 chooseFolderButton=0 scanButton=1 startButton=0 "
                                          "pauseButton=0 stopButton=0 optionsButton=0 aboutButton=1 "
                                          "helpButton=1 exitButton=0 archiveList=0"));
    // Options stay shut while a run is active, whichever way they are asked for.
    QVERIFY(!Child<QAction>(*w, "optionsAction")->isEnabled());
    {
        NoModalExpected none;
        w->ShowOptions();
        QVERIFY(!none.m_bSeen);
    }
    QMenu* scanMenu = w->ScanMenu();
    Q_EMIT scanMenu->aboutToShow();
    const auto action = [&](const char* name) { return scanMenu->findChild<QAction*>(QString::fromLatin1(name)); };
    QVERIFY(!action("startScanAction")->isEnabled());
    QVERIFY(action("pauseScanAction")->isEnabled());
    QVERIFY(action("stopScanAction")->isEnabled());
    QVERIFY(!action("clearListAction")->isEnabled());

    // Paused: the menu offers Resume; the labels say so.
    action("pauseScanAction")->trigger();
    QVERIFY(w->IsScanPaused());
    QCOMPARE(w->StatusStrip()->LabelText(), QStringLiteral("Paused"));
    Q_EMIT scanMenu->aboutToShow();
    QCOMPARE(action("pauseScanAction")->text(), QStringLiteral("Resume Scan"));
    action("pauseScanAction")->trigger();
    QVERIFY(!w->IsScanPaused());

    // Idle with a list: the scan ends by itself.
    QSignalSpy ended(w.get(), &CMainDialog::scanEnded);
    QVERIFY(ended.wait(20000));
    QCOMPARE(w->List()->RowCount(), 2);
    // Rows are checked: processing can start.
    QCOMPARE(Enabling(*w), QStringLiteral("sourceCombo=1 chooseFolderButton=1 scanButton=1 startButton=1 "
                                          "pauseButton=0 stopButton=0 optionsButton=1 aboutButton=1 "
                                          "helpButton=1 exitButton=1 archiveList=1"));
    QVERIFY(Child<QAction>(*w, "optionsAction")->isEnabled());
    Q_EMIT scanMenu->aboutToShow();
    QVERIFY(action("startScanAction")->isEnabled());
    QVERIFY(!action("pauseScanAction")->isEnabled());
    QVERIFY(action("clearListAction")->isEnabled());
    action("clearListAction")->trigger();
    QCOMPARE(w->List()->RowCount(), 0);
    QVERIFY(w->Archives().m_arrArchives.isEmpty());
}

void TestMainWindow::scanFromTheWindowFillsTheListAndShowsResults()
{
    const QString root = MakeTree(3);
    WriteSettings([&](CXSettings& s) {
        s.m_bShowScanResults = 1;
        s.m_bAutoCheckFound = 1;
    });
    auto w = NewWindow();
    const QString reportPath = m_tree->path() + QStringLiteral("/scan report.txt");
    QString opened;
    QStringList summary;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        auto* dialog = qobject_cast<CDLGScanResults*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        answer.stop();
        dialog->m_chooseReportPath = [&](const QString&) { return reportPath; };
        dialog->m_openReport = [&](const QString& path) { opened = path; };
        dialog->SaveReport();
        dialog->accept();
    });
    answer.start(10);
    QSignalSpy ended(w.get(), &CMainDialog::scanEnded);
    w->m_chooseFolder = [&](const QString&) { return root; };
    Child<QToolButton>(*w, "chooseFolderButton")->click();
    QVERIFY(ended.wait(20000));

    QCOMPARE(w->List()->RowCount(), 3);
    QCOMPARE(w->List()->CountChecked().m_nRows, 3);
    QCOMPARE(w->List()->CountChecked().m_nPhotos, 6);
    QCOMPARE(w->StatusStrip()->LabelText(), QStringLiteral("Ready"));
    QCOMPARE(w->StatusStrip()->MainText(), QStringLiteral("Photo Archives Found: 3"));
    // The chosen folder went into the history and the drop-down.
    QCOMPARE(w->SourceFolder(), root);
    QVERIFY(w->Settings().m_arrSourceHistory.Contains(root));
    // The dialog saved the core's report and opened it.
    QCOMPARE(opened, reportPath);
    const QString report = QString::fromUtf8(ReadFile(reportPath));
    QVERIFY2(report.contains(QStringLiteral("album2.zip")), qPrintable(report));
    QVERIFY(report.contains(QStringLiteral("broken.zip")));
}

void TestMainWindow::scanThatFindsNothing()
{
    QVERIFY(QDir().mkpath(m_tree->path() + QStringLiteral("/empty")));
    WriteSettings([](CXSettings& s) { s.m_bShowScanResults = 0; });
    auto w = NewWindow();
    QSignalSpy ended(w.get(), &CMainDialog::scanEnded);
    w->ScanFolderNow(m_tree->path() + QStringLiteral("/empty"));
    QVERIFY(ended.wait(20000));
    QCOMPARE(w->List()->RowCount(), 0);
    QCOMPARE(w->StatusStrip()->MainText(), QStringLiteral("Photo Archives Found: 0"));
}

void TestMainWindow::stopScanAnsweredNoKeepsTheScanAsItWas()
{
    const QString root = MakeTree(2);
    WriteSettings([](CXSettings& s) { s.m_bShowScanResults = 0; });
    auto w = NewWindow();
    w->ScanFolderNow(root);
    QVERIFY(w->IsScanning());

    // A paused scan stays paused.
    w->PauseResumeScan();
    {
        BoxAnswer no(QMessageBox::No);
        w->StopScan();
        QCOMPARE(no.m_nAsked, 1);
        QCOMPARE(no.m_strText, QStringLiteral("Are you sure you want to cancel and discard the scanning results?"));
    }
    QVERIFY(w->IsScanning());
    QVERIFY(w->IsScanPaused());
    QCOMPARE(w->StatusStrip()->LabelText(), QStringLiteral("Paused"));

    // A running scan goes on and ends normally.
    w->PauseResumeScan();
    QSignalSpy ended(w.get(), &CMainDialog::scanEnded);
    {
        BoxAnswer no(QMessageBox::No);
        w->StopScan();
        QCOMPARE(no.m_nAsked, 1);
    }
    QVERIFY(!w->IsScanPaused());
    QVERIFY(ended.wait(20000));
    QCOMPARE(w->List()->RowCount(), 2);
}

void TestMainWindow::stopScanAnsweredYesDiscardsEverything()
{
    const QString root = MakeTree(2);
    WriteSettings([](CXSettings& s) { s.m_bShowScanResults = 1; });
    auto w = NewWindow();
    w->ScanFolderNow(root);
    QSignalSpy ended(w.get(), &CMainDialog::scanEnded);
    {
        BoxAnswer yes(QMessageBox::Yes);
        w->StopScan();
        QCOMPARE(yes.m_nAsked, 1);
    }
    QCOMPARE(ended.count(), 1);
    QVERIFY(!w->IsScanning());
    QCOMPARE(w->List()->RowCount(), 0);
    QCOMPARE(w->StatusStrip()->LabelText(), QStringLiteral("Ready"));
    QCOMPARE(w->StatusStrip()->MainText(), QString());
    // No results dialog, and nothing of the stopped run arrives later.
    NoModalExpected none;
    QTest::qWait(300);
    QVERIFY(!none.m_bSeen);
    QCOMPARE(w->List()->RowCount(), 0);
    QCOMPARE(w->StatusStrip()->LabelText(), QStringLiteral("Ready"));
    QTRY_VERIFY(w->Archives().m_arrArchives.isEmpty());

    // The next scan runs normally.
    w->Settings().m_bShowScanResults = 0;
    w->BeginScan();
    QVERIFY(ended.wait(20000));
    QCOMPARE(w->List()->RowCount(), 2);
}

void TestMainWindow::exitQuestion_data()
{
    QTest::addColumn<bool>("dontAskAgain");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("flagAfter");

    QTest::newRow("yes") << false << int(QMessageBox::Yes) << true << 1;
    QTest::newRow("no") << false << int(QMessageBox::No) << false << 1;
    QTest::newRow("no, don't ask again") << true << int(QMessageBox::No) << false << 0;
    QTest::newRow("yes, don't ask again") << true << int(QMessageBox::Yes) << true << 0;
}

void TestMainWindow::exitQuestion()
{
    QFETCH(bool, dontAskAgain);
    QFETCH(int, button);
    QFETCH(bool, closes);
    QFETCH(int, flagAfter);
    WriteSettings([](CXSettings& s) { s.m_bConfirmExit = 1; });
    auto w = NewWindow();
    QSignalSpy finished(w.get(), &QDialog::finished);
    {
        BoxAnswer answer(QMessageBox::StandardButton(button), dontAskAgain);
        Child<QToolButton>(*w, "exitButton")->click();
        QCOMPARE(answer.m_nAsked, 1);
        QCOMPARE(answer.m_strText, QStringLiteral("Are you sure you want to Exit?"));
    }
    QCOMPARE(finished.count(), closes ? 1 : 0);
    QCOMPARE(w->isVisible(), !closes);
    QCOMPARE(w->Settings().m_bConfirmExit, flagAfter);
    // The flag was saved at once, whatever the button.
    CXSettings stored;
    QString error;
    QVERIFY(stored.InitializeSettings(&error));
    QCOMPARE(stored.m_bConfirmExit, flagAfter);

    if (!closes) {
        // Without the question (flag cleared) Escape and the close button run the same steps.
        w->Settings().m_bConfirmExit = 0;
        QTest::keyClick(w.get(), Qt::Key_Escape);
        QCOMPARE(finished.count(), 1);
    }
}

void TestMainWindow::exitDuringAScanDoesNothing()
{
    const QString root = MakeTree(2);
    WriteSettings([](CXSettings& s) {
        s.m_bConfirmExit = 1;
        s.m_bShowScanResults = 0;
    });
    auto w = NewWindow();
    w->ScanFolderNow(root);
    QVERIFY(w->IsScanning());
    QSignalSpy finished(w.get(), &QDialog::finished);
    NoModalExpected none;
    QVERIFY(!w->ExitSteps());
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QVERIFY(!w->close());
    QVERIFY(!none.m_bSeen);
    QCOMPARE(finished.count(), 0);
    QVERIFY(w->isVisible());
    QSignalSpy ended(w.get(), &CMainDialog::scanEnded);
    QVERIFY(ended.wait(20000));
}

void TestMainWindow::layoutIsSavedAndRestored()
{
    const QString root = MakeTree(2);
    WriteSettings([](CXSettings& s) {
        s.m_bConfirmExit = 0;
        s.m_bShowScanResults = 0;
        s.m_bAutoSizeNameColumn = 0;
    });
    QList<int> widths;
    {
        auto w = NewWindow();
        QSignalSpy ended(w.get(), &CMainDialog::scanEnded);
        w->ScanFolderNow(root);
        QVERIFY(ended.wait(20000));
        w->resize(760, 580);
        w->List()->header()->resizeSection(1, 123);
        // A header click on "Size" sorts by it ascending; a second one makes it descending.
        Q_EMIT w->List()->header()->sectionClicked(3);
        Q_EMIT w->List()->header()->sectionClicked(3);
        QCOMPARE(w->List()->SortColumn(), 3);
        QVERIFY(!w->List()->SortAscending());
        widths = w->List()->ColumnWidths();
        QVERIFY(w->ExitSteps());
    }
    CXSettings stored;
    QString error;
    QVERIFY(stored.InitializeSettings(&error));
    QCOMPARE(stored.m_nWindowWidth, 760);
    QCOMPARE(stored.m_nWindowHeight, 580);
    QCOMPARE(stored.m_nColWidthType, 123);
    QCOMPARE(stored.m_nSortColumn, 3);
    QCOMPARE(stored.m_bSortAscending, 0);
    QCOMPARE(QDir::fromNativeSeparators(stored.m_strLastSourceFolder), root);

    auto again = NewWindow();
    QCOMPARE(again->size(), QSize(760, 580));
    QCOMPARE(again->List()->ColumnWidths(), widths);
    QCOMPARE(again->List()->SortColumn(), 3);
    QVERIFY(!again->List()->SortAscending());
    QCOMPARE(again->SourceFolder(), root);
    // A window is never smaller than its minimum.
    again->resize(100, 100);
    QVERIFY(again->width() >= 744 && again->height() >= 549);
}

void TestMainWindow::closingDuringAScanEndsTheWorker()
{
    const QString root = MakeTree(3);
    WriteSettings([](CXSettings& s) { s.m_bShowScanResults = 1; });
    auto w = NewWindow();
    w->ScanFolderNow(root);
    QVERIFY(w->IsScanning());
    // The worker waits in a call to the window, which goes away without serving it.
    NoModalExpected none;
    w.reset();
    QVERIFY(!none.m_bSeen);
    QCoreApplication::processEvents();
}

void TestMainWindow::droppedFolderIsScanned()
{
    const QString root = MakeTree(1);
    WriteSettings([](CXSettings& s) { s.m_bShowScanResults = 0; });
    auto w = NewWindow();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(root)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &drop);
    QSignalSpy ended(w.get(), &CMainDialog::scanEnded);
    QVERIFY(ended.wait(20000));
    QCOMPARE(w->List()->RowCount(), 1);
    QCOMPARE(w->SourceFolder(), root);

    // A file is not a folder to scan.
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(root + QStringLiteral("/notes.zip"))});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    refused.ignore();
    QApplication::sendEvent(w.get(), &refused);
    QVERIFY(!refused.isAccepted());
}

void TestMainWindow::tooltipsFollowTheSetting_data()
{
    QTest::addColumn<int>("show");
    QTest::newRow("shown") << 1;
    QTest::newRow("hidden") << 0;
}

void TestMainWindow::tooltipsFollowTheSetting()
{
    QFETCH(int, show);
    WriteSettings([&](CXSettings& s) { s.m_bShowTooltips = show; });
    auto w = NewWindow();
    const QString exit = Child<QToolButton>(*w, "exitButton")->toolTip();
    const QString choose = Child<QToolButton>(*w, "chooseFolderButton")->toolTip();
    QCOMPARE(exit, show ? QStringLiteral("Exit 'Zelvano'") : QString());
    QCOMPARE(choose, show ? QStringLiteral("Choose Source Folder") : QString());
}

void TestMainWindow::confirmKinds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("guard"); // the guarding flag's value (kinds 0 to 3)
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("checkBox");

    QTest::newRow("exit asked") << 0 << 1 << true << true;
    QTest::newRow("exit not asked") << 0 << 0 << false << false;
    QTest::newRow("cancel unpack asked") << 1 << 1 << true << true;
    QTest::newRow("cancel scan not asked") << 2 << 0 << false << false;
    QTest::newRow("delete asked") << 3 << 1 << true << true;
    QTest::newRow("rescan is always asked, without the check box") << 4 << 0 << true << false;
}

void TestMainWindow::confirmKinds()
{
    QFETCH(int, kind);
    QFETCH(int, guard);
    QFETCH(bool, asked);
    QFETCH(bool, checkBox);
    WriteSettings([&](CXSettings& s) {
        s.m_bConfirmExit = s.m_bConfirmCancelUnpack = s.m_bConfirmCancelScan = s.m_bConfirmDelete = guard;
    });
    auto w = NewWindow();
    bool sawCheckBox = false;
    QString caption;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        answer.stop();
        sawCheckBox = box->checkBox() != nullptr;
        caption = box->windowTitle();
        // The affirmative button of the box: Yes, or OK for the rescan question.
        QAbstractButton* yes =
            box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes) : box->button(QMessageBox::Ok);
        QVERIFY(yes);
        yes->click();
    });
    answer.start(10);
    QVERIFY(w->Confirm(kind, QStringLiteral("100% sure?")));
    QCOMPARE(!caption.isEmpty(), asked);
    QCOMPARE(sawCheckBox, checkBox);
    if (asked)
        QCOMPARE(caption, QStringLiteral("Zelvano"));
}

void TestMainWindow::optionsSaveBringsTheWindowInLine_data()
{
    QTest::addColumn<QString>("change"); // what the user does in the dialog
    QTest::addColumn<int>("button");     // the answer to the rescan question
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("rescanned");
    QTest::addColumn<int>("rowsAfter");

    QTest::newRow("new extension, OK rescans") << "extension" << int(QMessageBox::Ok) << true << true << 2;
    QTest::newRow("new extension, Cancel clears the list")
        << "extension" << int(QMessageBox::Cancel) << true << false << 0;
    QTest::newRow("ignored folder names, OK rescans") << "ignore" << int(QMessageBox::Ok) << true << true << 2;
    QTest::newRow("extraction mode: no question, the column rewritten")
        << "extractTo" << int(QMessageBox::Ok) << false << false << 2;
    QTest::newRow("dialog cancelled: nothing changes") << "cancel" << int(QMessageBox::Ok) << false << false << 2;
}

void TestMainWindow::optionsSaveBringsTheWindowInLine()
{
    QFETCH(QString, change);
    QFETCH(int, button);
    QFETCH(bool, asked);
    QFETCH(bool, rescanned);
    QFETCH(int, rowsAfter);
    const QString root = MakeTree(2);
    WriteSettings([](CXSettings& s) {
        s.m_bShowScanResults = 0;
        s.m_nExtractTo = 0;
        s.m_strExtraExtensions.clear();
        s.m_strIgnoreFolderNames.clear();
    });
    auto w = NewWindow();
    QSignalSpy ended(w.get(), &CMainDialog::scanEnded);
    w->ScanFolderNow(root);
    QVERIFY(ended.wait(20000));
    QCOMPARE(w->List()->RowCount(), 2);
    const QString headerBefore = w->List()->model()->headerData(5, Qt::Horizontal).toString();

    OptionsAnswer options([&](CPSDLGOptions& d) {
        auto* tabs = Child<QTabWidget>(d, "optionsTabs");
        if (change == QLatin1String("extractTo")) {
            tabs->setCurrentIndex(CPSDLGOptions::PageScanning);
            Child<CXChoiceCombo>(d, "extractToCombo")->SelectByValue(2);
        } else {
            tabs->setCurrentIndex(CPSDLGOptions::PageImageTypes);
            if (change == QLatin1String("ignore"))
                Child<QPlainTextEdit>(d, "ignoreFolderNamesEdit")->setPlainText(QStringLiteral("sub1"));
            else
                Child<QLineEdit>(d, "extraExtensionsEdit")->setText(QStringLiteral(".nfo"));
        }
        Child<QPushButton>(d, change == QLatin1String("cancel") ? "cancelButton" : "saveButton")->click();
    });
    BoxAnswer answer{QMessageBox::StandardButton(button)};
    Child<QToolButton>(*w, "optionsButton")->click();
    QCOMPARE(options.m_nShown, 1);
    QCOMPARE(answer.m_nAsked, asked ? 1 : 0);
    if (asked)
        QVERIFY2(answer.m_strText.contains(QDir::toNativeSeparators(root)), qPrintable(answer.m_strText));
    // The rescan waits for the dialog to be gone.
    QCOMPARE(w->RescanTimer()->isActive(), rescanned);
    QVERIFY(!w->IsScanning());
    if (rescanned)
        QVERIFY(ended.wait(20000));
    QCOMPARE(w->List()->RowCount(), rowsAfter);
    const QString headerAfter = w->List()->model()->headerData(5, Qt::Horizontal).toString();
    if (change == QLatin1String("extractTo")) {
        QCOMPARE(headerAfter, CXListCtrl::ExtractHeaderText(2));
        QVERIFY(headerAfter != headerBefore);
        QCOMPARE(w->List()->model()->index(0, 5).data().toString(), CXListCtrl::ExtractModeText(2));
    }
    QVERIFY(!w->IsRunActive());
}

// Saved from the tray while the window is hidden there: the icon stays even when it is not to be shown
// always, since it is the only way back to the window.
void TestMainWindow::optionsFromTheTrayKeepTheWayBack()
{
    WriteSettings([](CXSettings& s) {
        s.m_bMinimizeToTray = 1;
        s.m_bMinimizeOnClose = 1;
        s.m_bAlwaysShowTrayIcon = 1;
    });
    auto w = NewWindow();
    CXSysTray::SetTrayAvailableHook([] { return true; });
    QVERIFY(!w->ExitSteps());
    QVERIFY(w->IsHiddenInTray());
    OptionsAnswer options([&](CPSDLGOptions& d) {
        Child<QCheckBox>(d, "alwaysShowTrayIconCheck")->setChecked(false);
        Child<QPushButton>(d, "saveButton")->click();
    });
    w->Tray()->OptionsAction()->trigger();
    QCOMPARE(options.m_nShown, 1);
    QCOMPARE(w->Settings().m_bAlwaysShowTrayIcon, 0);
    QVERIFY(w->Tray()->IsShown());
    // Back in the window, the icon goes as the new setting says.
    w->Tray()->ShowAction()->trigger();
    QVERIFY(!w->Tray()->IsShown());
    CXSysTray::SetTrayAvailableHook({});
}

void TestMainWindow::optionsHistoryClearing_data()
{
    QTest::addColumn<bool>("save");
    QTest::newRow("Save") << true;
    QTest::newRow("Cancel") << false;
}

// The clearing stands either way; Save puts the user's pictures folder back beside the current folder.
void TestMainWindow::optionsHistoryClearing()
{
    QFETCH(bool, save);
    const QString a = m_tree->path() + QStringLiteral("/a");
    const QString b = m_tree->path() + QStringLiteral("/b");
    const QString pictures = m_home->path() + QStringLiteral("/Pictures");
    for (const QString& folder : {a, b, pictures})
        QVERIFY(QDir().mkpath(folder));
    WriteSettings([&](CXSettings& s) {
        s.m_arrSourceHistory.clear();
        s.m_arrSourceHistory.Append(a);
        s.m_arrSourceHistory.Append(b);
        s.m_strLastSourceFolder = b;
    });
    auto w = NewWindow();
    auto* combo = Child<QComboBox>(*w, "sourceCombo");
    QVERIFY(combo->count() >= 2);
    OptionsAnswer options([&](CPSDLGOptions& d) {
        Child<QPushButton>(d, "clearHistoryButton")->click();
        Child<QPushButton>(d, save ? "saveButton" : "cancelButton")->click();
    });
    Child<QToolButton>(*w, "optionsButton")->click();
    QCOMPARE(options.m_nShown, 1);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QStringList expected{QDir::toNativeSeparators(b)};
    if (save)
        expected << QDir::toNativeSeparators(pictures);
    std::sort(expected.begin(), expected.end(),
              [](const QString& x, const QString& y) { return x.compare(y, Qt::CaseInsensitive) < 0; });
    QCOMPARE(items, expected);
    QCOMPARE(combo->currentText(), QDir::toNativeSeparators(b));
    QVERIFY(!w->Settings().m_arrSourceHistory.Contains(a));
    QVERIFY(w->Settings().m_arrSourceHistory.Contains(b));
    // The file holds the cleared history at once, Save or not.
    CXSettings stored;
    QString error;
    QVERIFY2(stored.InitializeSettings(&error), qPrintable(error));
    QVERIFY(!stored.m_arrSourceHistory.Contains(a));
    QVERIFY(stored.m_arrSourceHistory.Contains(b));
}

void TestMainWindow::helpOpensAtItsTopic_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("page"); // the file name of the page shown

    QTest::newRow("help button") << "button"
                                 << "index.htm";
    QTest::newRow("F1") << "F1"
                        << "index.htm";
    QTest::newRow("Options, General") << "options0"
                                      << "General.htm";
    QTest::newRow("Options, Scanning & Processing") << "options1"
                                                    << "ScanningProcessing.htm";
    QTest::newRow("Options, Image Types") << "options2"
                                          << "ImageTypesExclusions.htm";
}

void TestMainWindow::helpOpensAtItsTopic()
{
    QFETCH(QString, from);
    QFETCH(QString, page);
    auto w = NewWindow();
    QVERIFY(!w->HelpWindow());
    bool usableBesideOptions = false;
    if (from == QLatin1String("button")) {
        Child<QToolButton>(*w, "helpButton")->click();
    } else if (from == QLatin1String("F1")) {
        auto* action = Child<QAction>(*w, "helpAction");
        QCOMPARE(action->shortcut(), QKeySequence(Qt::Key_F1));
        action->trigger();
    } else {
        OptionsAnswer options([&](CPSDLGOptions& d) {
            Child<QTabWidget>(d, "optionsTabs")->setCurrentIndex(from.right(1).toInt());
            Child<QPushButton>(d, "helpButton")->click();
            // The dialog is modal to the main window only: the help window beside it takes input.
            usableBesideOptions = w->HelpWindow() && d.windowModality() == Qt::WindowModal &&
                                  !w->HelpWindow()->parentWidget() && w->HelpWindow()->isVisible();
            Child<QPushButton>(d, "cancelButton")->click();
        });
        Child<QToolButton>(*w, "optionsButton")->click();
        QCOMPARE(options.m_nShown, 1);
        QVERIFY(usableBesideOptions);
    }
    QVERIFY(w->HelpWindow());
    QVERIFY(w->HelpWindow()->isVisible());
    QCOMPARE(QFileInfo(w->HelpWindow()->CurrentPage().path()).fileName(), page);
}

void TestMainWindow::aboutMenuFollowsTheHomePage_data()
{
    QTest::addColumn<QString>("home");
    QTest::newRow("no home page") << QString();
    QTest::newRow("a home page") << QStringLiteral("https://zelvano.example/site/");
}

void TestMainWindow::aboutMenuFollowsTheHomePage()
{
    QFETCH(QString, home);
    qputenv("ZELVANO_HOME_URL", home.toUtf8());
    auto w = NewWindow();
    QList<QUrl> opened;
    w->m_openUrl = [&](const QUrl& url) {
        opened << url;
        return true;
    };
    QStringList told;
    w->m_updatePrompts.m_ask = [&](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                                   QMessageBox::StandardButtons) {
        told << text;
        return QMessageBox::Ok;
    };
    QMenu* menu = w->AboutMenu();
    Q_EMIT menu->aboutToShow();
    QStringList visible;
    for (QAction* action : menu->actions())
        if (action->isVisible())
            visible << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
    if (home.isEmpty()) {
        QCOMPARE(visible, (QStringList{QStringLiteral("aboutAction"), QStringLiteral("-"),
                                       QStringLiteral("checkUpdatesAction")}));
        Child<QAction>(*w, "checkUpdatesAction")->trigger();
        QTRY_COMPARE(told.size(), 1);
        QVERIFY2(told.first().contains(QStringLiteral("no update server")), qPrintable(told.first()));
    } else {
        QCOMPARE(visible,
                 (QStringList{QStringLiteral("aboutAction"), QStringLiteral("-"), QStringLiteral("homePageAction"),
                              QStringLiteral("helpDeskAction"), QStringLiteral("forumsAction"), QStringLiteral("-"),
                              QStringLiteral("checkUpdatesAction")}));
        Child<QAction>(*w, "helpDeskAction")->trigger();
        Child<QAction>(*w, "forumsAction")->trigger();
        QCOMPARE(opened, (QList<QUrl>{QUrl(home + QStringLiteral("Support/Index.php")),
                                      QUrl(home + QStringLiteral("Forums/Index.php"))}));
    }
    qunsetenv("ZELVANO_HOME_URL");
}

// A check under way greys its entry and refuses a second start; the window stays usable meanwhile.
void TestMainWindow::updateCheckCannotStartTwice()
{
    QTcpServer silent; // takes the connection and never answers
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    int connections = 0;
    connect(&silent, &QTcpServer::newConnection, this, [&] {
        while (silent.hasPendingConnections()) {
            silent.nextPendingConnection();
            ++connections;
        }
    });
    qputenv("ZELVANO_HOME_URL", QStringLiteral("http://127.0.0.1:%1/").arg(silent.serverPort()).toUtf8());
    auto w = NewWindow();
    w->m_updatePrompts.m_ask = [](QWidget*, QMessageBox::Icon, const QString&, const QString&,
                                  QMessageBox::StandardButtons) { return QMessageBox::Ok; };
    auto* entry = Child<QAction>(*w, "checkUpdatesAction");
    entry->trigger();
    QVERIFY(w->IsCheckingForUpdates());
    Q_EMIT w->AboutMenu()->aboutToShow();
    QVERIFY(!entry->isEnabled());
    w->CheckForUpdates();
    QTRY_COMPARE(connections, 1);
    QTest::qWait(100);
    QCOMPARE(connections, 1);
    qunsetenv("ZELVANO_HOME_URL");
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
