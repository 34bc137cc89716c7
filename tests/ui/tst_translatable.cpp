// Every text the desktop program shows goes through the translator: with a translator installed that marks
// each text it is asked for, each window, dialog and menu is built and every text found in it must carry the
// mark. A text put together outside tr(), or set without it, shows up unmarked.
#include "app/updatecheck.h"
#include "archive/zip.h"
#include "reports/scanreport.h"
#include "reports/unpackreport.h"
#include "scan/archivelist.h"
#include "settings/settings.h"
#include "support/testenv.h"
#include "ui/aboutbox.h"
#include "ui/archivelistmodel.h"
#include "ui/archivelistview.h"
#include "ui/headerbanner.h"
#include "ui/helpwindow.h"
#include "ui/mainwindow.h"
#include "ui/optionsdialog.h"
#include "ui/passworddialog.h"
#include "ui/scanresultsdialog.h"
#include "ui/splashwindow.h"
#include "ui/statusstrip.h"
#include "ui/systray.h"
#include "ui/unpackresultsdialog.h"

#include <functional>
#include <memory>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

using namespace zelvano::test;

namespace {

const QChar kOpen(0x00AB);
const QChar kClose(0x00BB);

// Gives every text a marked "translation", so a text that went through the translator can be told apart.
class MarkingTranslator : public QTranslator
{
public:
    QString translate(const char*, const char* sourceText, const char*, int) const override
    {
        if (sourceText == nullptr || *sourceText == '\0')
            return {};
        return kOpen + QString::fromUtf8(sourceText) + kClose;
    }
    bool isEmpty() const override { return false; }
};

// What one case built: the objects to keep alive while the texts are read, the texts found, the texts that
// are data the case put in (times, the desktop's own type names) and pieces that must show marked inside a
// composed text.
struct Subject
{
    std::vector<std::shared_ptr<void>> m_keep;
    QStringList m_texts;    // "where: text"
    QStringList m_data;     // exact texts that are data, not the program's words
    QStringList m_embedded; // marked pieces a composed text must contain
};

using Builder = std::function<void(Subject&)>;

// Data needs no translation: numbers, clock times and counts (no letter at all), byte sizes, absolute paths,
// archive file names and web addresses (also as a link showing the address).
bool IsGenericData(const QString& text)
{
    static const QRegularExpression letter(QStringLiteral("\\p{L}"));
    static const QRegularExpression size(QStringLiteral("^[0-9.,]+ (bytes|KB|MB|GB|TB|PB|EB)$"));
    static const QRegularExpression fileName(QStringLiteral("\\.(zip|rar)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    const QString plain = QString(text).remove(tag);
    if (plain.startsWith(QStringLiteral("http://")) || plain.startsWith(QStringLiteral("https://")))
        return true;
    return !text.contains(letter) || size.match(text).hasMatch() || text.startsWith(QLatin1Char('/')) ||
           fileName.match(text).hasMatch();
}

void Add(Subject& s, const QString& where, const QString& text)
{
    if (!text.isEmpty())
        s.m_texts << where + QStringLiteral(": ") + text;
}

void AddActions(Subject& s, const QString& where, const QList<QAction*>& actions)
{
    for (QAction* action : actions) {
        const QString name = where + QLatin1Char('/') + action->objectName();
        Add(s, name, action->text());
        Add(s, name + QStringLiteral(" tip"), action->toolTip());
        if (QMenu* menu = action->menu())
            AddActions(s, name, menu->actions());
    }
}

void AddView(Subject& s, const QString& where, const QAbstractItemView* view)
{
    const QAbstractItemModel* model = view->model();
    if (model == nullptr)
        return;
    for (int column = 0; column < model->columnCount(); ++column) {
        Add(s, where + QStringLiteral(" header"), model->headerData(column, Qt::Horizontal).toString());
        Add(s, where + QStringLiteral(" header tip"),
            model->headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString());
    }
    for (int row = 0; row < std::min(model->rowCount(), 50); ++row) {
        for (int column = 0; column < model->columnCount(); ++column) {
            const QModelIndex index = model->index(row, column);
            Add(s, where + QStringLiteral(" cell"), index.data().toString());
            Add(s, where + QStringLiteral(" cell tip"), index.data(Qt::ToolTipRole).toString());
        }
    }
}

// Every text a user can read in the widget and its children.
void AddWidgetTree(Subject& s, QWidget* root)
{
    QList<QWidget*> widgets{root};
    widgets << root->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        const QString where = QString::fromLatin1(w->metaObject()->className()) + QLatin1Char('#') + w->objectName();
        Add(s, where + QStringLiteral(" title"), w->windowTitle());
        Add(s, where + QStringLiteral(" tip"), w->toolTip());
        Add(s, where + QStringLiteral(" status tip"), w->statusTip());
        Add(s, where + QStringLiteral(" what's this"), w->whatsThis());
        AddActions(s, where, w->actions());
        if (auto* label = qobject_cast<QLabel*>(w))
            Add(s, where, label->text());
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            Add(s, where, button->text());
        if (auto* button = qobject_cast<QPushButton*>(w); button && button->menu())
            AddActions(s, where, button->menu()->actions());
        if (auto* button = qobject_cast<QToolButton*>(w); button && button->menu())
            AddActions(s, where, button->menu()->actions());
        if (auto* group = qobject_cast<QGroupBox*>(w))
            Add(s, where, group->title());
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            Add(s, where + QStringLiteral(" placeholder"), edit->placeholderText());
        if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                Add(s, where, tabs->tabText(i));
                Add(s, where + QStringLiteral(" tip"), tabs->tabToolTip(i));
            }
        }
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < combo->count(); ++i)
                Add(s, where + QStringLiteral(" item"), combo->itemText(i));
        }
        if (auto* view = qobject_cast<QAbstractItemView*>(w); view && !qobject_cast<QHeaderView*>(w))
            AddView(s, where, view);
        if (auto* strip = qobject_cast<CXInformationST*>(w)) {
            Add(s, where + QStringLiteral(" label"), strip->LabelText());
            Add(s, where + QStringLiteral(" main"), strip->MainText());
            Add(s, where + QStringLiteral(" secondary"), strip->SecondaryText());
        }
        if (auto* banner = qobject_cast<CXHeaderST*>(w)) {
            Add(s, where + QStringLiteral(" title"), banner->Title());
            Add(s, where + QStringLiteral(" text"), banner->Text());
        }
    }
}

// Closes the next message box once it shows, and records its title and text.
void ReadNextModal(Subject& s, const QString& where)
{
    auto* timer = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [&s, where, timer, tries] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr) {
            Add(s, where + QStringLiteral(" title"), box->windowTitle());
            Add(s, where, box->text());
            box->close();
        }
        if (box != nullptr || ++*tries > 500) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

CXArchiveFile Found(const QString& path, int photos, int type)
{
    CXArchiveFile a;
    a.m_strPath = path;
    a.m_strFileName = QFileInfo(path).fileName();
    a.m_nPhotoCount = photos;
    a.m_nPhotoBytes = 1000;
    a.m_nArchiveType = type;
    return a;
}

// A report file that cannot be written: its folder does not exist.
QString UnwritablePath()
{
    return QStringLiteral("/nonexistent-folder-for-tests/report.txt");
}

void StatusStrip(Subject& s)
{
    auto strip = std::make_shared<CXInformationST>();
    s.m_keep.push_back(strip);
    for (int state = 0; state <= 9; ++state) {
        strip->SetState(state);
        Add(s, QStringLiteral("state %1").arg(state), strip->LabelText());
    }
}

void ArchiveList(Subject& s)
{
    auto dir = std::make_shared<QTemporaryDir>();
    auto archives = std::make_shared<CXArchiveList>();
    auto settings = std::make_shared<CXSettings>();
    auto strip = std::make_shared<CXInformationST>();
    auto list = std::make_shared<CXListCtrl>();
    s.m_keep = {dir, archives, settings, strip, list};
    list->Attach(archives.get(), settings.get(), strip.get());

    const QStringList names{QStringLiteral("beach.zip"), QStringLiteral("party.rar"), QStringLiteral("zoo.zip")};
    for (const QString& name : names) {
        const QString path = dir->filePath(name);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("xxxxxxxxxx");
        file.close();
        CXArchiveFile record;
        record.InitFromPath(path);
        record.m_nPhotoCount = name == names.first() ? 1 : 2;
        record.m_nPhotoBytes = 1000;
        record.m_nSmartMode = name == names.first() ? 1 : 2;
        archives->AddArchive(record);
        ++(record.m_nArchiveType == 0 ? archives->m_nZipCount : archives->m_nRarCount);
        s.m_data << CXArchiveTableModel::TimeText(QFileInfo(path).lastModified().toSecsSinceEpoch());
        // The desktop's own name for the type, when it has one, comes translated by the desktop.
        s.m_data << QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).comment();
    }
    list->SetupList();
    list->RebuildList(true);
    list->CheckAll(true);
    list->UpdateStatusTexts();
    AddWidgetTree(s, list.get());
    Add(s, QStringLiteral("strip main"), strip->MainText());
    Add(s, QStringLiteral("strip secondary"), strip->SecondaryText());
    // The counts are whole phrases of their own inside the selection text.
    s.m_embedded << kOpen + QStringLiteral("3 Archives") + kClose << kOpen + QStringLiteral("5 Photos") + kClose;

    std::unique_ptr<QMenu> menu(list->CreateContextMenu());
    QVERIFY(menu);
    AddActions(s, QStringLiteral("context menu"), menu->actions());

    // The other header of the extraction column, and the texts of a filtered list.
    settings->m_nExtractTo = 1;
    list->SetupList();
    list->SetFilter(1);
    list->RebuildList(false);
    list->UpdateStatusTexts();
    AddView(s, QStringLiteral("list filtered"), list.get());
    Add(s, QStringLiteral("strip main filtered"), strip->MainText());
    list->SetFilter(2);
    list->RebuildList(false);
    list->UpdateStatusTexts();
    Add(s, QStringLiteral("strip main filtered"), strip->MainText());
}

CXArchiveList ScanSample(bool withInvalid)
{
    CXArchiveList list;
    list.AddArchive(Found(QStringLiteral("/photos/2019/beach.zip"), 1, 0));
    list.AddArchive(Found(QStringLiteral("/photos/2020/party.rar"), 1234, 1));
    list.m_nZipCount = 1;
    list.m_nRarCount = 1;
    if (withInvalid)
        list.m_arrInvalid << CXFileItem{QStringLiteral("Zeta.rar"), QStringLiteral("/photos/z/Zeta.rar"), 11};
    return list;
}

void ScanResults(Subject& s, bool withInvalid)
{
    auto list = std::make_shared<CXArchiveList>(ScanSample(withInvalid));
    const ScanReportFigures figures = MakeScanReportFigures(*list, QStringLiteral("/photos"), 1'615'125'909,
                                                            1'615'126'034, QStringLiteral("00:02:05"));
    auto dialog = std::make_shared<CDLGScanResults>(figures, *list);
    s.m_keep = {list, dialog};
    s.m_data << FormatReportTime(figures.m_tStarted) << FormatReportTime(figures.m_tFinished);
    AddWidgetTree(s, dialog.get());
    if (withInvalid) {
        dialog->ToggleDetails();
        AddWidgetTree(s, dialog.get());
    }
    dialog->m_chooseReportPath = [](const QString&) { return UnwritablePath(); };
    dialog->m_openReport = [](const QString&) {};
    dialog->show();
    ReadNextModal(s, QStringLiteral("report error"));
    dialog->SaveReport();
}

void UnpackResults(Subject& s)
{
    auto archives = std::make_shared<QList<CXArchiveFile>>();
    CXArchiveFile zoo = Found(QStringLiteral("/photos/2020/zoo.rar"), 30, 1);
    CXArchiveItem lost;
    lost.m_strPath = QStringLiteral("/photos/2020/zoo/lion.jpg");
    zoo.m_arrFailedItems << lost;
    zoo.m_nErrors = 1;
    *archives << Found(QStringLiteral("/photos/2019/beach.zip"), 12, 0) << zoo;

    UnpackReportData data;
    data.m_strScanPath = QStringLiteral("/photos");
    data.m_tStarted = 1'700'000'000;
    data.m_tFinished = 1'700'003'725;
    data.m_strElapsed = QStringLiteral("1:02:05");
    data.m_nArchivesProcessed = 2;
    data.m_nExtracted = 41;
    data.m_nBytesOnDisk = 5'002'048;
    data.m_nErrors = 1;
    data.m_pArchives = archives.get();
    data.m_arrSelection = {0, 1};
    auto dialog = std::make_shared<CDLGUnpackResults>(data);
    s.m_keep = {archives, dialog};
    s.m_data << FormatReportTime(data.m_tStarted) << FormatReportTime(data.m_tFinished);
    dialog->ToggleDetails();
    AddWidgetTree(s, dialog.get());
    dialog->m_chooseReportPath = [](const QString&) { return UnwritablePath(); };
    dialog->m_openReport = [](const QString&) {};
    dialog->show();
    ReadNextModal(s, QStringLiteral("report error"));
    dialog->SaveReport();
}

void OptionsDialog(Subject& s)
{
    auto home = std::make_shared<IsolatedHome>();
    auto settings = std::make_shared<CXSettings>();
    auto dialog = std::make_shared<CPSDLGOptions>(*settings, QStringLiteral("/photos"));
    s.m_keep = {home, settings, dialog};
    AddWidgetTree(s, dialog.get());
    s.m_data << ZipNameEncodingNames(); // code page names are names in every language
}

void TrayMenu(Subject& s)
{
    auto tray = std::make_shared<CXSysTray>();
    s.m_keep = {tray};
    AddWidgetTree(s, tray->Menu());
}

void UpdateCheck(Subject& s)
{
    UpdateCheckPrompts prompts;
    prompts.m_ask = [&s](QWidget*, QMessageBox::Icon, const QString& caption, const QString& text,
                         QMessageBox::StandardButtons) {
        Add(s, QStringLiteral("caption"), caption);
        Add(s, QStringLiteral("text"), text);
        return QMessageBox::No;
    };
    prompts.m_openUrl = [](const QUrl&) { return true; };
    using Outcome = UpdateCheckResult::Outcome;
    for (Outcome outcome : {Outcome::NewVersion, Outcome::Latest, Outcome::Failed, Outcome::NoServer}) {
        UpdateCheckResult result;
        result.m_outcome = outcome;
        result.m_strVersion = QStringLiteral("2.0");
        result.m_strReleased = QStringLiteral("2026-01-01");
        result.m_strReason = QStringLiteral("reason");
        ShowUpdateCheckResult(nullptr, result, prompts);
    }
    // The reasons a failed check names are sentences of their own.
    Add(s, QStringLiteral("reason"),
        CXUpdateCheck::Evaluate(QStringLiteral("<html>down</html>"), QStringLiteral("1.0")).m_strReason);
    Add(s, QStringLiteral("reason"),
        CXUpdateCheck::Evaluate(QStringLiteral("<VERSION>soon</VERSION>"), QStringLiteral("1.0")).m_strReason);
}

void Splash(Subject& s)
{
    auto splash = std::make_shared<CXSplashWindow>();
    s.m_keep = {splash};
    AddWidgetTree(s, splash.get());
    Add(s, QStringLiteral("notice"), CXSplashWindow::NoticeText());
}

void AboutBox(Subject& s)
{
    auto box = std::make_shared<CXAboutBox>(QUrl(QStringLiteral("https://example.org/")), nullptr);
    s.m_keep = {box};
    AddWidgetTree(s, box.get());
}

void PasswordDialog(Subject& s)
{
    auto dialog = std::make_shared<CXPasswordDialog>(QStringLiteral("a.rar"));
    s.m_keep = {dialog};
    AddWidgetTree(s, dialog.get());
}

void HelpWindow(Subject& s)
{
    auto window = std::make_shared<CXHelpWindow>();
    s.m_keep = {window};
    window->SetLinkOpener([](const QUrl&) { return true; });
    window->ShowTopic(QString());
    AddWidgetTree(s, window.get());
}

void MainWindow(Subject& s)
{
    auto home = std::make_shared<IsolatedHome>();
    auto window = std::make_shared<CMainDialog>();
    s.m_keep = {home, window};
    window->Initialize();
    window->show();
    AddWidgetTree(s, window.get());
}

} // namespace

Q_DECLARE_METATYPE(Builder)

class TestTranslatable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void everyTextIsTranslated_data();
    void everyTextIsTranslated();

private:
    MarkingTranslator m_translator;
};

void TestTranslatable::initTestCase()
{
    QVERIFY(QCoreApplication::installTranslator(&m_translator));
}

void TestTranslatable::cleanupTestCase()
{
    QCoreApplication::removeTranslator(&m_translator);
}

void TestTranslatable::everyTextIsTranslated_data()
{
    QTest::addColumn<Builder>("build");

    QTest::newRow("status strip") << Builder(StatusStrip);
    QTest::newRow("archive list") << Builder(ArchiveList);
    QTest::newRow("scan results") << Builder([](Subject& s) { ScanResults(s, true); });
    QTest::newRow("scan results, nothing invalid") << Builder([](Subject& s) { ScanResults(s, false); });
    QTest::newRow("unpack results") << Builder(UnpackResults);
    QTest::newRow("options dialog") << Builder(OptionsDialog);
    QTest::newRow("tray menu") << Builder(TrayMenu);
    QTest::newRow("update check") << Builder(UpdateCheck);
    QTest::newRow("splash") << Builder(Splash);
    QTest::newRow("about box") << Builder(AboutBox);
    QTest::newRow("help window") << Builder(HelpWindow);
    QTest::newRow("password question") << Builder(PasswordDialog);
    QTest::newRow("main window") << Builder(MainWindow);
}

void TestTranslatable::everyTextIsTranslated()
{
    QFETCH(Builder, build);

    Subject subject;
    build(subject);
    QVERIFY(!subject.m_texts.isEmpty());

    QStringList unmarked;
    for (const QString& entry : std::as_const(subject.m_texts)) {
        const QString text = entry.mid(entry.indexOf(QStringLiteral(": ")) + 2);
        if (subject.m_data.contains(text) || IsGenericData(text))
            continue;
        if (!text.startsWith(kOpen) || !text.endsWith(kClose))
            unmarked << entry;
    }
    for (const QString& piece : std::as_const(subject.m_embedded)) {
        const bool found = std::any_of(subject.m_texts.cbegin(), subject.m_texts.cend(),
                                       [&piece](const QString& entry) { return entry.contains(piece); });
        if (!found)
            unmarked << QStringLiteral("piece not marked: ") + piece;
    }
    QVERIFY2(unmarked.isEmpty(), qPrintable(unmarked.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestTranslatable)
#include "tst_translatable.moc"
