#include "scan/archivelist.h"
#include "settings/settings.h"
#include "ui/archivelistmodel.h"
#include "ui/archivelistview.h"
#include "ui/statusstrip.h"

#include <clocale>
#include <memory>
#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QMimeDatabase>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One archive of a fixture: a real file of this size and modification time, and its scan figures.
struct FakeArchive
{
    QString m_strName; // relative to the fixture folder; ".zip" or ".rar"
    qint64 m_nSize = 10;
    QDateTime m_tmModified = QDateTime(QDate(2024, 6, 15), QTime(12, 0));
    qint32 m_nPhotos = 1;
    quint64 m_nPhotoBytes = 1000;
    qint32 m_nSmartMode = 1;
    int m_nType = -1; // what the bytes say; -1: what the name says
};
using FakeArchives = QList<FakeArchive>;

// The list with its found-archive model, default settings and a status strip, over files in a temporary
// folder.
struct ListFixture
{
    QTemporaryDir m_dir;
    CXArchiveList m_archives;
    CXSettings m_settings;
    CXInformationST m_status;
    CXListCtrl m_list;

    ListFixture()
    {
        m_list.Attach(&m_archives, &m_settings, &m_status);
        m_list.resize(900, 400);
    }

    QString Path(const QString& name) const { return m_dir.filePath(name); }

    void Add(const FakeArchive& archive)
    {
        const QString path = Path(archive.m_strName);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(QByteArray(archive.m_nSize, 'x')), archive.m_nSize);
        QVERIFY(file.flush()); // a later flush would move the time again
        QVERIFY(file.setFileTime(archive.m_tmModified, QFileDevice::FileModificationTime));
        file.close();

        CXArchiveFile record;
        record.InitFromPath(path);
        record.m_nPhotoCount = archive.m_nPhotos;
        record.m_nPhotoBytes = archive.m_nPhotoBytes;
        record.m_nSmartMode = archive.m_nSmartMode;
        if (archive.m_nType >= 0)
            record.m_nArchiveType = archive.m_nType;
        m_archives.AddArchive(record);
        if (record.m_nArchiveType == kZipArchive)
            ++m_archives.m_nZipCount;
        else if (record.m_nArchiveType == kRarArchive)
            ++m_archives.m_nRarCount;
        else
            ++m_archives.m_nSevenZCount;
    }

    void AddAll(const FakeArchives& archives)
    {
        for (const FakeArchive& archive : archives)
            Add(archive);
    }

    int Build(bool fresh = true)
    {
        m_list.SetupList();
        return m_list.RebuildList(fresh);
    }

    QAbstractItemModel* View() const { return m_list.model(); }

    // The file names of the rows in view order.
    QStringList FileNames() const
    {
        QStringList names;
        for (int r = 0; r < View()->rowCount(); ++r)
            names << QFileInfo(View()->index(r, 0).data(Qt::ToolTipRole).toString()).fileName();
        return names;
    }

    // The file names of the checked rows in view order.
    QStringList CheckedNames() const
    {
        QStringList names;
        for (int r = 0; r < View()->rowCount(); ++r) {
            if (View()->index(r, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked)
                names << QFileInfo(View()->index(r, 0).data(Qt::ToolTipRole).toString()).fileName();
        }
        return names;
    }

    int RowOf(const QString& fileName) const { return int(FileNames().indexOf(fileName)); }

    bool SetChecked(const QString& fileName, bool checked)
    {
        return View()->setData(View()->index(RowOf(fileName), 0), checked ? Qt::Checked : Qt::Unchecked,
                               Qt::CheckStateRole);
    }

    void ClickHeader(int column)
    {
        QHeaderView* head = m_list.header();
        const QPoint at(head->sectionViewportPosition(column) + head->sectionSize(column) / 2, head->height() / 2);
        QTest::mouseClick(head->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    void TriggerMenuAction(const char* name)
    {
        const std::unique_ptr<QMenu> menu(m_list.CreateContextMenu());
        QVERIFY(menu);
        auto* action = menu->findChild<QAction*>(QLatin1String(name));
        QVERIFY2(action, name);
        QVERIFY(action->isEnabled());
        action->trigger();
    }
};

FakeArchive Fake(const QString& name, qint64 size = 10, const QDateTime& modified = {}, qint32 photos = 1,
                 qint32 smartMode = 1)
{
    FakeArchive archive;
    archive.m_strName = name;
    archive.m_nSize = size;
    if (modified.isValid())
        archive.m_tmModified = modified;
    archive.m_nPhotos = photos;
    archive.m_nSmartMode = smartMode;
    return archive;
}

// 3 ZIP and 2 RAR archives.
FakeArchives MixedFive()
{
    return {Fake(QStringLiteral("a.zip")), Fake(QStringLiteral("b.zip")), Fake(QStringLiteral("c.zip")),
            Fake(QStringLiteral("d.rar")), Fake(QStringLiteral("e.rar"))};
}

} // namespace

Q_DECLARE_METATYPE(FakeArchives)

class TestArchiveList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The time column's AM/PM marker comes from the C library's locale.
        std::setlocale(LC_TIME, "C");
    }

    void headersAndWidths_data();
    void headersAndWidths();
    void rowTexts_data();
    void rowTexts();
    void nameDisplay_data();
    void nameDisplay();
    void checkMarks_data();
    void checkMarks();
    void spaceTogglesCurrentRow();
    void filterKeepsMarks();
    void sorting_data();
    void sorting();
    void sortingRefusedDuringRun();
    void contextMenu();
    void sevenZipAndLyingNames();
    void statusTexts_data();
    void statusTexts();
    void lockedChecks();
    void workerOperations();
    void rewriteKeepsSortAndSelection();
    void doubleClickAction_data();
    void doubleClickAction();
    void autoSizeNameColumn();
    void manyArchives();
};

void TestArchiveList::headersAndWidths_data()
{
    QTest::addColumn<int>("extractTo");
    QTest::addColumn<QString>("extractHeader");
    QTest::newRow("smart") << 0 << QStringLiteral("Smart Extraction") + QChar(0x2122);
    QTest::newRow("here") << 1 << QStringLiteral("Extract To...");
    QTest::newRow("folder") << 2 << QStringLiteral("Extract To...");
}

void TestArchiveList::headersAndWidths()
{
    QFETCH(int, extractTo);
    QFETCH(QString, extractHeader);
    ListFixture f;
    f.m_settings.m_nExtractTo = extractTo;
    f.m_settings.m_bAutoSizeNameColumn = 0;
    f.m_settings.m_nColWidthName = 201;
    f.m_settings.m_nColWidthType = 102;
    f.m_settings.m_nColWidthModified = 103;
    f.m_settings.m_nColWidthSize = 104;
    f.m_settings.m_nColWidthPhotos = 105;
    f.m_settings.m_nColWidthExtract = 106;
    f.m_settings.m_nSortColumn = 3;
    f.m_settings.m_bSortAscending = 0;
    f.m_list.SetupList();

    const QStringList expected = {QStringLiteral("Photo Archive Name"),
                                  QStringLiteral("Type"),
                                  QStringLiteral("Last Modified"),
                                  QStringLiteral("Size"),
                                  QStringLiteral("Photos"),
                                  extractHeader};
    QAbstractItemModel* model = f.View();
    QCOMPARE(model->columnCount(), 6);
    for (int c = 0; c < 6; ++c)
        QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), expected.at(c));
    QCOMPARE(f.m_list.ColumnWidths(), (QList<int>{201, 102, 103, 104, 105, 106}));
    QCOMPARE(f.m_list.SortColumn(), 3);
    QVERIFY(!f.m_list.SortAscending());
    QCOMPARE(f.m_list.header()->sortIndicatorSection(), 3);
    QCOMPARE(f.m_list.header()->sortIndicatorOrder(), Qt::DescendingOrder);
    QVERIFY(f.m_list.header()->isSortIndicatorShown());
}

void TestArchiveList::rowTexts_data()
{
    QTest::addColumn<int>("extractTo");
    QTest::addColumn<int>("smartMode");
    QTest::addColumn<QString>("mode");
    QTest::newRow("smart, own advice here") << 0 << 1 << QStringLiteral("Extract to Here");
    QTest::newRow("smart, own advice folder") << 0 << 2 << QStringLiteral("Extract to Folder");
    QTest::newRow("always here") << 1 << 2 << QStringLiteral("Extract to Here");
    QTest::newRow("always folder") << 2 << 1 << QStringLiteral("Extract to Folder");
}

void TestArchiveList::rowTexts()
{
    QFETCH(int, extractTo);
    QFETCH(int, smartMode);
    QFETCH(QString, mode);
    ListFixture f;
    f.m_settings.m_nExtractTo = extractTo;
    // 1:05:09 PM local time; 1,536 bytes; 1,000 photos.
    f.Add(Fake(QStringLiteral("sub/Trip.zip"), 1536, QDateTime(QDate(2023, 2, 7), QTime(13, 5, 9)), 1000, smartMode));
    QCOMPARE(f.Build(), 1);

    QAbstractItemModel* model = f.View();
    const QString path = QDir::toNativeSeparators(f.Path(QStringLiteral("sub/Trip.zip")));
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("Trip.zip")); // default display: file name
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    const QString type = model->index(0, 1).data().toString();
    QVERIFY(!type.isEmpty());
    QVERIFY(type != QStringLiteral("WinZip File"));
    QCOMPARE(type, mime.isDefault() || mime.comment().isEmpty() ? QStringLiteral("ZIP archive") : mime.comment());
    QCOMPARE(model->index(0, 2).data().toString(), QStringLiteral("02-07-2023  01:05:09 PM"));
    QCOMPARE(model->index(0, 3).data().toString(), QStringLiteral("1.50 KB"));
    QCOMPARE(model->index(0, 4).data().toString(), QStringLiteral("1,000"));
    QCOMPARE(model->index(0, 5).data().toString(), mode);
    for (int c = 0; c < 6; ++c)
        QCOMPARE(model->index(0, c).data(Qt::ToolTipRole).toString(), path);

    const QList<int> alignments = {int(Qt::AlignLeft | Qt::AlignVCenter),  int(Qt::AlignCenter),
                                   int(Qt::AlignRight | Qt::AlignVCenter), int(Qt::AlignRight | Qt::AlignVCenter),
                                   int(Qt::AlignRight | Qt::AlignVCenter), int(Qt::AlignCenter)};
    for (int c = 0; c < 6; ++c)
        QCOMPARE(model->index(0, c).data(Qt::TextAlignmentRole).toInt() & 0xFFFF, alignments.at(c));
    QVERIFY(model->index(0, 0).flags() & Qt::ItemIsUserCheckable);
    QVERIFY(!(model->index(0, 1).flags() & Qt::ItemIsUserCheckable));
}

void TestArchiveList::nameDisplay_data()
{
    QTest::addColumn<int>("display");
    QTest::addColumn<bool>("trailingSeparator");
    QTest::addColumn<QString>("expected"); // "@" stands for the fixture folder
    QTest::newRow("full path") << 0 << false << QStringLiteral("@/Fotos/Ski.rar");
    QTest::newRow("relative") << 1 << false << QStringLiteral("../Fotos/Ski.rar");
    QTest::newRow("relative, folder with separator") << 1 << true << QStringLiteral("../Fotos/Ski.rar");
    QTest::newRow("file name") << 2 << false << QStringLiteral("Ski.rar");
    QTest::newRow("unknown mode") << 7 << false << QString();
}

void TestArchiveList::nameDisplay()
{
    QFETCH(int, display);
    QFETCH(bool, trailingSeparator);
    QFETCH(QString, expected);
    ListFixture f;
    f.m_settings.m_nNameDisplay = display;
    const QString folder = f.m_dir.path() + (trailingSeparator ? QStringLiteral("/") : QString());
    f.m_list.SetSourceFolder(QDir::toNativeSeparators(folder));
    f.Add(Fake(QStringLiteral("Fotos/Ski.rar")));
    QCOMPARE(f.Build(), 1);
    expected.replace(QLatin1Char('@'), f.m_dir.path());
    QCOMPARE(f.View()->index(0, 0).data().toString(), QDir::toNativeSeparators(expected));
}

void TestArchiveList::checkMarks_data()
{
    QTest::addColumn<bool>("autoCheck");
    QTest::newRow("auto-check on") << true;
    QTest::newRow("auto-check off") << false;
}

void TestArchiveList::checkMarks()
{
    QFETCH(bool, autoCheck);
    ListFixture f;
    f.m_settings.m_bAutoCheckFound = autoCheck ? 1 : 0;
    f.AddAll(MixedFive());
    QSignalSpy changed(&f.m_list, &CXListCtrl::checksChanged);
    QCOMPARE(f.Build(), 5);
    QCOMPARE(changed.size(), 1); // once for the whole rebuild, not per row
    QCOMPARE(f.m_list.CountChecked().m_nRows, autoCheck ? 5 : 0);
    QCOMPARE(f.CheckedNames().size(), autoCheck ? 5 : 0);

    // A user's change reaches the model and is announced; totals follow the check marks.
    changed.clear();
    QVERIFY(f.SetChecked(QStringLiteral("b.zip"), !autoCheck));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(f.m_list.CountChecked().m_nRows, autoCheck ? 4 : 1);
    QCOMPARE(f.m_list.CountChecked().m_nPhotoBytes, quint64(autoCheck ? 4000 : 1000));

    // A rebuild that is not fresh keeps the marks; a fresh one starts over.
    QCOMPARE(f.m_list.RebuildList(false), 5);
    QCOMPARE(f.m_list.CountChecked().m_nRows, autoCheck ? 4 : 1);
    QCOMPARE(f.m_list.RebuildList(true), 5);
    QCOMPARE(f.m_list.CountChecked().m_nRows, autoCheck ? 5 : 0);

    changed.clear();
    f.TriggerMenuAction("uncheckAllAction");
    QCOMPARE(f.m_list.CountChecked().m_nRows, 0);
    f.TriggerMenuAction("checkAllAction");
    QCOMPARE(f.m_list.CountChecked().m_nRows, 5);
    QCOMPARE(f.m_list.CheckedModelIndexes(), (QList<int>{0, 1, 2, 3, 4}));
    QCOMPARE(changed.size(), 2);
}

void TestArchiveList::spaceTogglesCurrentRow()
{
    ListFixture f;
    f.AddAll(MixedFive());
    QCOMPARE(f.Build(), 5);
    f.m_list.setCurrentIndex(f.View()->index(2, 3)); // any column of the row
    QTest::keyClick(&f.m_list, Qt::Key_Space);
    QCOMPARE(f.CheckedNames(), (QStringList{QStringLiteral("a.zip"), QStringLiteral("b.zip"), QStringLiteral("d.rar"),
                                            QStringLiteral("e.rar")}));
    QTest::keyClick(&f.m_list, Qt::Key_Space);
    QCOMPARE(f.CheckedNames().size(), 5);
}

void TestArchiveList::filterKeepsMarks()
{
    ListFixture f;
    f.AddAll(MixedFive());
    QCOMPARE(f.Build(), 5);
    QVERIFY(f.SetChecked(QStringLiteral("a.zip"), false));
    QVERIFY(f.SetChecked(QStringLiteral("c.zip"), false));

    f.TriggerMenuAction("showZipAction");
    QCOMPARE(f.m_list.Filter(), 1);
    QCOMPARE(f.FileNames(), (QStringList{QStringLiteral("a.zip"), QStringLiteral("b.zip"), QStringLiteral("c.zip")}));
    QCOMPARE(f.CheckedNames(), QStringList{QStringLiteral("b.zip")});
    f.m_list.UpdateStatusTexts();
    QCOMPARE(f.m_status.MainText(), QStringLiteral("Photo Archives Found: 5 (2 RAR Archives not shown)"));

    // Back to all: the two ZIPs stay unchecked, the RARs the filter hid come back unchecked.
    f.TriggerMenuAction("showAllAction");
    QCOMPARE(f.FileNames().size(), 5);
    QCOMPARE(f.CheckedNames(), QStringList{QStringLiteral("b.zip")});
    f.m_list.UpdateStatusTexts();
    QCOMPARE(f.m_status.MainText(), QStringLiteral("Photo Archives Found: 5"));

    f.m_list.CheckAll(true);
    f.TriggerMenuAction("showRarAction");
    QCOMPARE(f.FileNames(), (QStringList{QStringLiteral("d.rar"), QStringLiteral("e.rar")}));
    QCOMPARE(f.CheckedNames().size(), 2);
    f.m_list.UpdateStatusTexts();
    QCOMPARE(f.m_status.MainText(), QStringLiteral("Photo Archives Found: 5 (3 ZIP Archives not shown)"));
}

void TestArchiveList::sorting_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<FakeArchives>("archives");
    QTest::addColumn<QStringList>("ascending");

    const QDate day(2024, 3, 9);
    QTest::newRow("name without archive extension")
        << 0 << FakeArchives{Fake(QStringLiteral("trip 2.rar")), Fake(QStringLiteral("trip.zip"))}
        << QStringList{QStringLiteral("trip.zip"), QStringLiteral("trip 2.rar")};
    QTest::newRow("name ignores case") << 0
                                       << FakeArchives{Fake(QStringLiteral("Beach.ZIP")),
                                                       Fake(QStringLiteral("apple.rar")),
                                                       Fake(QStringLiteral("cliffs.zip"))}
                                       << QStringList{QStringLiteral("apple.rar"), QStringLiteral("Beach.ZIP"),
                                                      QStringLiteral("cliffs.zip")};
    QTest::newRow("modified: 11 AM before 1 PM of the same day")
        << 2
        << FakeArchives{Fake(QStringLiteral("a.zip"), 10, QDateTime(day, QTime(13, 0))),
                        Fake(QStringLiteral("b.zip"), 10, QDateTime(day, QTime(11, 0))),
                        Fake(QStringLiteral("c.zip"), 10, QDateTime(day.addDays(-1), QTime(23, 0)))}
        << QStringList{QStringLiteral("c.zip"), QStringLiteral("b.zip"), QStringLiteral("a.zip")};
    QTest::newRow("modified across years")
        << 2
        << FakeArchives{Fake(QStringLiteral("a.zip"), 10, QDateTime(QDate(2024, 1, 2), QTime(9, 0))),
                        Fake(QStringLiteral("b.zip"), 10, QDateTime(QDate(2023, 12, 30), QTime(9, 0)))}
        << QStringList{QStringLiteral("b.zip"), QStringLiteral("a.zip")};
    QTest::newRow("size: 1.50 KB before 1.99 KB, bytes below 1 KB in order")
        << 3
        << FakeArchives{Fake(QStringLiteral("a.zip"), 2047), Fake(QStringLiteral("b.zip"), 1536),
                        Fake(QStringLiteral("c.zip"), 900), Fake(QStringLiteral("d.zip"), 100)}
        << QStringList{QStringLiteral("d.zip"), QStringLiteral("c.zip"), QStringLiteral("b.zip"),
                       QStringLiteral("a.zip")};
    QTest::newRow("photos by count") << 4
                                     << FakeArchives{Fake(QStringLiteral("a.zip"), 10, {}, 1000),
                                                     Fake(QStringLiteral("b.zip"), 10, {}, 10),
                                                     Fake(QStringLiteral("c.zip"), 10, {}, 9)}
                                     << QStringList{QStringLiteral("c.zip"), QStringLiteral("b.zip"),
                                                    QStringLiteral("a.zip")};
    QTest::newRow("extraction mode text")
        << 5 << FakeArchives{Fake(QStringLiteral("a.zip"), 10, {}, 1, 1), Fake(QStringLiteral("b.zip"), 10, {}, 1, 2)}
        << QStringList{QStringLiteral("b.zip"), QStringLiteral("a.zip")};
}

void TestArchiveList::sorting()
{
    QFETCH(int, column);
    QFETCH(FakeArchives, archives);
    QFETCH(QStringList, ascending);
    ListFixture f;
    f.m_settings.m_nSortColumn = (column + 1) % 6;
    f.m_list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.m_list));
    f.AddAll(archives);
    QCOMPARE(f.Build(), int(archives.size()));

    // A new column sorts ascending, the same column again descending.
    f.ClickHeader(column);
    QCOMPARE(f.m_list.SortColumn(), column);
    QVERIFY(f.m_list.SortAscending());
    QCOMPARE(f.FileNames(), ascending);
    QCOMPARE(f.m_list.header()->sortIndicatorOrder(), Qt::AscendingOrder);

    f.ClickHeader(column);
    QVERIFY(!f.m_list.SortAscending());
    QStringList descending(ascending.crbegin(), ascending.crend());
    QCOMPARE(f.FileNames(), descending);
    QCOMPARE(f.m_list.header()->sortIndicatorOrder(), Qt::DescendingOrder);

    // A rebuild keeps the sort.
    QCOMPARE(f.m_list.RebuildList(false), int(archives.size()));
    QCOMPARE(f.FileNames(), descending);
}

void TestArchiveList::sortingRefusedDuringRun()
{
    ListFixture f;
    f.m_list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.m_list));
    f.AddAll({Fake(QStringLiteral("a.zip"), 300), Fake(QStringLiteral("b.zip"), 200)});
    QCOMPARE(f.Build(), 2);
    f.m_list.SetSortingAllowed(false);
    f.ClickHeader(3);
    f.ClickHeader(0);
    QCOMPARE(f.m_list.SortColumn(), 0);
    QVERIFY(f.m_list.SortAscending());
    QCOMPARE(f.m_list.header()->sortIndicatorSection(), 0);
    QCOMPARE(f.m_list.header()->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(f.FileNames(), (QStringList{QStringLiteral("a.zip"), QStringLiteral("b.zip")}));

    f.m_list.SetSortingAllowed(true);
    f.ClickHeader(3);
    QCOMPARE(f.FileNames(), (QStringList{QStringLiteral("b.zip"), QStringLiteral("a.zip")}));
}

void TestArchiveList::contextMenu()
{
    ListFixture f;
    f.m_list.SetupList();
    QVERIFY(!f.m_list.CreateContextMenu()); // empty list: no menu

    // Only ZIP archives: the type filters make no sense.
    f.AddAll({Fake(QStringLiteral("a.zip")), Fake(QStringLiteral("b.zip"))});
    QCOMPARE(f.m_list.RebuildList(true), 2);
    {
        const std::unique_ptr<QMenu> menu(f.m_list.CreateContextMenu());
        QVERIFY(menu);
        QCOMPARE(menu->objectName(), QStringLiteral("listMenu"));
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts, (QStringList{QStringLiteral("Check All"), QStringLiteral("Uncheck All"), QStringLiteral("-"),
                                     QStringLiteral("Open with Default Application"),
                                     QStringLiteral("Show in File Manager"), QStringLiteral("-"),
                                     QStringLiteral("Filter"), QStringLiteral("-"), QStringLiteral("Clear List")}));
        auto* all = menu->findChild<QAction*>(QStringLiteral("showAllAction"));
        auto* zip = menu->findChild<QAction*>(QStringLiteral("showZipAction"));
        auto* rar = menu->findChild<QAction*>(QStringLiteral("showRarAction"));
        QVERIFY(all && zip && rar);
        QVERIFY(all->isEnabled() && all->isChecked());
        QVERIFY(!zip->isEnabled() && !zip->isChecked());
        QVERIFY(!rar->isEnabled() && !rar->isChecked());
        QCOMPARE(zip->text(), QStringLiteral("Show *.zip files"));
        QCOMPARE(rar->text(), QStringLiteral("Show *.rar files"));
    }

    // Both types, RAR filter active: it is the checked one.
    f.Add(Fake(QStringLiteral("c.rar")));
    QCOMPARE(f.m_list.RebuildList(true), 3);
    f.TriggerMenuAction("showRarAction");
    {
        const std::unique_ptr<QMenu> menu(f.m_list.CreateContextMenu());
        QVERIFY(menu);
        auto* all = menu->findChild<QAction*>(QStringLiteral("showAllAction"));
        auto* zip = menu->findChild<QAction*>(QStringLiteral("showZipAction"));
        auto* rar = menu->findChild<QAction*>(QStringLiteral("showRarAction"));
        QVERIFY(!all->isChecked());
        QVERIFY(zip->isEnabled() && !zip->isChecked());
        QVERIFY(rar->isEnabled() && rar->isChecked());
    }

    QSignalSpy clear(&f.m_list, &CXListCtrl::clearListRequested);
    f.TriggerMenuAction("clearListAction");
    QCOMPARE(clear.size(), 1);

    // No menu during an unpack run.
    f.m_list.SetChecksLocked(true);
    QVERIFY(!f.m_list.CreateContextMenu());
}

// A 7z archive has its own type and filter; an archive whose name lies shows what it is and what it claimed.
void TestArchiveList::sevenZipAndLyingNames()
{
    ListFixture f;
    FakeArchive disguised = Fake(QStringLiteral("c.zip"));
    disguised.m_nType = kRarArchive;
    f.AddAll({Fake(QStringLiteral("a.zip")), Fake(QStringLiteral("b.7z")), disguised});
    QCOMPARE(f.Build(), 3);
    QCOMPARE(f.View()->index(f.RowOf(QStringLiteral("b.7z")), 1).data().toString(), QStringLiteral("7-Zip archive"));
    QCOMPARE(f.View()->index(f.RowOf(QStringLiteral("c.zip")), 1).data().toString(),
             QStringLiteral("RAR archive (named as ZIP)"));

    {
        const std::unique_ptr<QMenu> menu(f.m_list.CreateContextMenu());
        auto* sevenZ = menu->findChild<QAction*>(QStringLiteral("showSevenZAction"));
        QVERIFY(sevenZ);
        QCOMPARE(sevenZ->text(), QStringLiteral("Show *.7z files"));
        QVERIFY(sevenZ->isEnabled() && !sevenZ->isChecked());
    }
    f.TriggerMenuAction("showSevenZAction");
    QCOMPARE(f.FileNames(), QStringList{QStringLiteral("b.7z")});
    f.m_list.UpdateStatusTexts();
    QCOMPARE(f.m_status.MainText(), QStringLiteral("Photo Archives Found: 3 (2 ZIP and RAR Archives not shown)"));
    // The RAR filter takes the disguised archive by what it is.
    f.TriggerMenuAction("showRarAction");
    QCOMPARE(f.FileNames(), QStringList{QStringLiteral("c.zip")});
}

void TestArchiveList::statusTexts_data()
{
    QTest::addColumn<QStringList>("check");
    QTest::addColumn<QString>("secondary");
    QTest::newRow("all") << QStringList{QStringLiteral("a.zip"), QStringLiteral("b.zip"), QStringLiteral("c.rar")}
                         << QStringLiteral("3 / 3 Archives Selected (1,111 Photos / 1.00 MB)");
    QTest::newRow("one with one photo") << QStringList{QStringLiteral("a.zip")}
                                        << QStringLiteral("1 / 3 Archives Selected (1 Photo / 1.00 KB)");
    QTest::newRow("two") << QStringList{QStringLiteral("a.zip"), QStringLiteral("b.zip")}
                         << QStringLiteral("2 / 3 Archives Selected (11 Photos / 1.50 KB)");
    QTest::newRow("none") << QStringList{} << QString();
}

void TestArchiveList::statusTexts()
{
    QFETCH(QStringList, check);
    QFETCH(QString, secondary);
    ListFixture f;
    f.m_settings.m_bAutoCheckFound = 0;
    FakeArchives archives = {Fake(QStringLiteral("a.zip"), 10, {}, 1), Fake(QStringLiteral("b.zip"), 10, {}, 10),
                             Fake(QStringLiteral("c.rar"), 10, {}, 1100), Fake(QStringLiteral("gone.zip"))};
    archives[0].m_nPhotoBytes = 1024;
    archives[1].m_nPhotoBytes = 512;
    archives[2].m_nPhotoBytes = 1048576 - 1536;
    f.AddAll(archives);
    // An archive deleted by an unpack run is neither shown nor counted as found.
    f.m_archives.m_arrArchives[3].m_bRemoved = 1;
    QCOMPARE(f.Build(), 3);
    for (const QString& name : check)
        QVERIFY(f.SetChecked(name, true));

    f.m_status.SetMainText(QStringLiteral("old"));
    f.m_status.SetSecondaryText(QStringLiteral("old"));
    f.m_list.UpdateStatusTexts();
    QCOMPARE(f.m_status.SecondaryText(), secondary);
    QCOMPARE(f.m_status.MainText(), QStringLiteral("Photo Archives Found: 3"));
}

void TestArchiveList::lockedChecks()
{
    ListFixture f;
    f.AddAll(MixedFive());
    QCOMPARE(f.Build(), 5);
    QSignalSpy changed(&f.m_list, &CXListCtrl::checksChanged);

    f.m_list.SetChecksLocked(true);
    QVERIFY(!f.SetChecked(QStringLiteral("a.zip"), false));
    f.m_list.setCurrentIndex(f.View()->index(1, 0));
    QTest::keyClick(&f.m_list, Qt::Key_Space);
    f.m_list.CheckAll(false);
    QCOMPARE(f.CheckedNames().size(), 5);
    QCOMPARE(changed.size(), 0);

    // The worker's own unchecking passes, and the lock holds afterwards.
    f.m_list.UncheckModelIndex(3); // d.rar
    QVERIFY(!f.CheckedNames().contains(QStringLiteral("d.rar")));
    QCOMPARE(changed.size(), 1);
    QVERIFY(!f.SetChecked(QStringLiteral("d.rar"), true));
    f.m_list.SetWorkerListChange(true);
    QVERIFY(f.SetChecked(QStringLiteral("d.rar"), true));
    f.m_list.SetWorkerListChange(false);

    f.m_list.SetChecksLocked(false);
    QVERIFY(f.SetChecked(QStringLiteral("a.zip"), false));
    QCOMPARE(f.CheckedNames().size(), 4);
}

void TestArchiveList::workerOperations()
{
    ListFixture f;
    f.m_settings.m_nSortColumn = 0;
    f.m_settings.m_bSortAscending = 0;
    f.AddAll(MixedFive());
    QCOMPARE(f.Build(), 5);
    // View order is descending: e d c b a.
    QCOMPARE(f.m_list.FindRowByModelIndex(0), 4);
    QCOMPARE(f.m_list.FindRowByModelIndex(4), 0);
    QCOMPARE(f.m_list.FindRowByModelIndex(9), -1);
    QVERIFY(f.SetChecked(QStringLiteral("c.zip"), false));
    QCOMPARE(f.m_list.CheckedModelIndexes(), (QList<int>{4, 3, 1, 0}));

    f.m_list.EnsureModelIndexVisible(0);
    f.m_list.RemoveModelIndex(3);
    f.m_archives.m_arrArchives[3].m_bRemoved = 1;
    QCOMPARE(f.m_list.RowCount(), 4);
    QCOMPARE(f.m_list.FindRowByModelIndex(3), -1);
    QCOMPARE(f.m_list.FindRowByModelIndex(4), 0);
    QCOMPARE(f.m_list.FindRowByModelIndex(2), 1);
    QCOMPARE(f.FileNames(), (QStringList{QStringLiteral("e.rar"), QStringLiteral("c.zip"), QStringLiteral("b.zip"),
                                         QStringLiteral("a.zip")}));
    f.m_list.UpdateStatusTexts();
    QCOMPARE(f.m_status.MainText(), QStringLiteral("Photo Archives Found: 4"));
    QCOMPARE(f.m_status.SecondaryText(), QStringLiteral("3 / 4 Archives Selected (3 Photos / 2.92 KB)"));

    // Operations on an archive without a row do nothing.
    f.m_list.UncheckModelIndex(3);
    f.m_list.RemoveModelIndex(3);
    QCOMPARE(f.m_list.RowCount(), 4);
}

void TestArchiveList::rewriteKeepsSortAndSelection()
{
    ListFixture f;
    f.m_settings.m_nSortColumn = 3;
    f.m_settings.m_nNameDisplay = 2;
    f.AddAll({Fake(QStringLiteral("x/b.zip"), 100, {}, 1, 1), Fake(QStringLiteral("a.zip"), 300, {}, 1, 2),
              Fake(QStringLiteral("c.rar"), 200, {}, 1, 1)});
    QCOMPARE(f.Build(), 3);
    QCOMPARE(f.FileNames(), (QStringList{QStringLiteral("b.zip"), QStringLiteral("c.rar"), QStringLiteral("a.zip")}));
    f.m_list.setCurrentIndex(f.View()->index(1, 0));
    QCOMPARE(f.m_list.SelectedPath(), f.Path(QStringLiteral("c.rar")));

    f.m_settings.m_nNameDisplay = 0;
    f.m_list.RewriteNameColumn();
    QCOMPARE(f.View()->index(0, 0).data().toString(), QDir::toNativeSeparators(f.Path(QStringLiteral("x/b.zip"))));
    QCOMPARE(f.FileNames(), (QStringList{QStringLiteral("b.zip"), QStringLiteral("c.rar"), QStringLiteral("a.zip")}));
    QCOMPARE(f.m_list.SelectedPath(), f.Path(QStringLiteral("c.rar")));

    f.m_settings.m_nExtractTo = 2;
    f.m_list.RewriteExtractColumn();
    QCOMPARE(f.View()->headerData(5, Qt::Horizontal).toString(), QStringLiteral("Extract To..."));
    for (int r = 0; r < 3; ++r)
        QCOMPARE(f.View()->index(r, 5).data().toString(), QStringLiteral("Extract to Folder"));
    QCOMPARE(f.m_list.SelectedPath(), f.Path(QStringLiteral("c.rar")));
    QCOMPARE(f.m_list.SortColumn(), 3);

    f.m_settings.m_nExtractTo = 0;
    f.m_list.RewriteExtractColumn();
    QCOMPARE(f.View()->headerData(5, Qt::Horizontal).toString(), CXListCtrl::ExtractHeaderText(0));
    QCOMPARE(f.View()->index(2, 5).data().toString(), QStringLiteral("Extract to Folder")); // a.zip's own advice
    QCOMPARE(f.View()->index(0, 5).data().toString(), QStringLiteral("Extract to Here"));
}

void TestArchiveList::doubleClickAction_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("expected");
    QTest::newRow("show in file manager") << 0 << QStringLiteral("show");
    QTest::newRow("open with default application") << 1 << QStringLiteral("open");
}

void TestArchiveList::doubleClickAction()
{
    QFETCH(int, action);
    QFETCH(QString, expected);
    ListFixture f;
    f.m_settings.m_nDoubleClickAction = action;
    QStringList calls;
    f.m_list.SetShellCall([&calls](bool open, const QString& path) {
        calls << (open ? QStringLiteral("open ") : QStringLiteral("show ")) + path;
        return true;
    });
    f.AddAll(MixedFive());
    f.m_list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.m_list));
    QCOMPARE(f.Build(), 5);

    const QRect cell = f.m_list.visualRect(f.View()->index(2, 3));
    QTest::mouseClick(f.m_list.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(f.m_list.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QCOMPARE(calls, QStringList{expected + QLatin1Char(' ') + f.Path(QStringLiteral("c.zip"))});
    QCOMPARE(f.CheckedNames().size(), 5);

    // The menu's commands act on the selected row.
    calls.clear();
    f.TriggerMenuAction("openDefaultAction");
    f.TriggerMenuAction("showInFileManagerAction");
    QCOMPARE(calls, (QStringList{QStringLiteral("open ") + f.Path(QStringLiteral("c.zip")),
                                 QStringLiteral("show ") + f.Path(QStringLiteral("c.zip"))}));
}

void TestArchiveList::autoSizeNameColumn()
{
    ListFixture f;
    f.m_settings.m_bAutoSizeNameColumn = 1;
    f.AddAll(MixedFive());
    f.m_list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.m_list));
    QCOMPARE(f.Build(), 5);
    auto others = [&f] {
        const QList<int> widths = f.m_list.ColumnWidths();
        return widths[1] + widths[2] + widths[3] + widths[4] + widths[5];
    };
    QCOMPARE(f.m_list.columnWidth(0), f.m_list.viewport()->width() - others());
    f.m_list.resize(1200, 400);
    QTRY_COMPARE(f.m_list.columnWidth(0), f.m_list.viewport()->width() - others());
    // Narrower than the other columns: the name keeps a small width.
    f.m_list.resize(200, 400);
    QTRY_COMPARE(f.m_list.columnWidth(0), 50);

    f.m_settings.m_bAutoSizeNameColumn = 0;
    f.m_list.setColumnWidth(0, 77);
    f.m_list.resize(900, 400);
    QTRY_COMPARE(f.m_list.viewport()->width(), 900 - 2 * f.m_list.frameWidth());
    QCOMPARE(f.m_list.columnWidth(0), 77);
}

void TestArchiveList::manyArchives()
{
    // Records only: their files do not exist, so the rows show zero times and sizes.
    ListFixture f;
    const int count = 20000;
    f.m_archives.m_arrArchives.reserve(count);
    for (int i = 0; i < count; ++i) {
        CXArchiveFile record;
        record.SetPath(
            QStringLiteral("/nowhere/%1.%2").arg(i, 6, 10, QLatin1Char('0')).arg(QLatin1String(i % 4 ? "zip" : "rar")));
        record.SetFileName(record.m_strPath.mid(9));
        record.m_nArchiveType = i % 4 ? 0 : 1;
        record.m_nPhotoCount = i % 1000 == 7 ? -1 : i % 50 + 1; // some not examined
        record.m_bRemoved = i % 1000 == 8 ? 1 : 0;
        record.m_nPhotoBytes = 100;
        f.m_archives.m_arrArchives.append(record);
    }
    f.m_archives.m_nZipCount = count * 3 / 4;
    f.m_archives.m_nRarCount = count / 4;
    f.m_settings.m_nSortColumn = 4;
    QCOMPARE(f.Build(), count - 40);
    QCOMPARE(f.m_list.CountChecked().m_nRows, count - 40);
    QCOMPARE(f.View()->index(0, 4).data().toString(), QStringLiteral("1"));
    QCOMPARE(f.View()->index(count - 41, 4).data().toString(), QStringLiteral("50"));
    QCOMPARE(f.m_status.State(), 0);

    f.m_list.SetFilter(2);
    QCOMPARE(f.m_list.RebuildList(false), count / 4 - 20);
    QCOMPARE(f.m_list.CheckedModelIndexes().size(), count / 4 - 20);
}

QTEST_MAIN(TestArchiveList)
#include "tst_archivelist.moc"
