#include "settings/options.h"
#include "settings/settings.h"
#include "support/testenv.h"
#include "ui/optionsdialog.h"

#include <memory>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <variant>

namespace {

const QString kSource = QStringLiteral("/photos/current");

template <typename T>
T* Child(QWidget& dialog, const QString& name)
{
    T* widget = dialog.findChild<T*>(name);
    if (!widget)
        qFatal("no control %s", qPrintable(name));
    return widget;
}

QStringList Texts(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts)
        list << QString::fromUtf8(text);
    return list;
}

QTabWidget* Tabs(QWidget& dialog)
{
    return Child<QTabWidget>(dialog, QStringLiteral("optionsTabs"));
}

// Brings every page up once, as a user looking through the dialog would, and returns to the first.
void VisitAllPages(QWidget& dialog)
{
    for (int page : {1, 2, 0})
        Tabs(dialog)->setCurrentIndex(page);
}

// Sets a control the way the user would leave it: a check box's state, a combo box's value, a text.
void SetControl(QWidget& dialog, const QString& name, const QVariant& value)
{
    QWidget* widget = Child<QWidget>(dialog, name);
    if (auto* combo = qobject_cast<CXChoiceCombo*>(widget))
        combo->SelectByValue(value.toInt());
    else if (auto* plain = qobject_cast<QComboBox*>(widget))
        plain->setCurrentIndex(plain->findData(value.toString()));
    else if (auto* box = qobject_cast<QCheckBox*>(widget))
        box->setChecked(value.toBool());
    else if (auto* line = qobject_cast<QLineEdit*>(widget))
        line->setText(value.toString());
    else if (auto* text = qobject_cast<QPlainTextEdit*>(widget))
        text->setPlainText(value.toString());
    else
        qFatal("cannot set %s", qPrintable(name));
}

// A field of the record by its listed name, from the binary file's fields or the second file's options.
QVariant FieldValue(const CXSettings& settings, const QString& name)
{
    for (const SettingsField& field : CXSettings::StoredFields()) {
        if (name != QLatin1String(field.name))
            continue;
        return std::visit(
            [&](auto member) -> QVariant {
                const auto& value = settings.*member;
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, CXSStringArray>)
                    return value.toStringList();
                else
                    return QVariant::fromValue(value);
            },
            field.member);
    }
    for (const OptionField& option : OptionFields())
        if (name == QLatin1String(option.name))
            return settings.*option.member;
    if (name == QLatin1String("zipNameEncoding"))
        return settings.m_strZipNameEncoding;
    qFatal("no field %s", qPrintable(name));
}

// Answers the next message box with OK, keeping its caption and text. Gives up after two seconds so a box
// that never comes cannot answer a later one.
struct BoxSeen
{
    bool seen = false;
    QString title;
    QString text;
};

void AnswerNextBox(const std::shared_ptr<BoxSeen>& seen, int triesLeft = 200)
{
    QTimer::singleShot(10, [seen, triesLeft] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (triesLeft > 0)
                AnswerNextBox(seen, triesLeft - 1);
            return;
        }
        seen->seen = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        box->done(QMessageBox::Ok);
    });
}

} // namespace

class TestOptionsDialog : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<zelvano::test::IsolatedHome> m_home;
    std::unique_ptr<CXSettings> m_settings;

    // The settings as the next start of the program would read them from the files.
    CXSettings Reloaded() const
    {
        CXSettings settings;
        settings.SetSettingsPath(m_settings->m_strSettingsPath);
        settings.LoadSettings();
        return settings;
    }
    QByteArray SettingsFileBytes() const { return zelvano::test::ReadFile(m_settings->m_strSettingsPath); }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<zelvano::test::IsolatedHome>();
        m_settings = std::make_unique<CXSettings>();
        QString error;
        QVERIFY2(m_settings->InitializeSettings(&error), qPrintable(error));
    }
    void cleanup()
    {
        m_settings.reset();
        m_home.reset();
    }

    void captionsAndPages()
    {
        CPSDLGOptions dialog(*m_settings, kSource);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Options - Zelvano"));
        QTabWidget* tabs = Tabs(dialog);
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QStringLiteral("General"));
        // A double ampersand shows as one, so the tab reads "Scanning & Processing".
        QCOMPARE(tabs->tabText(1), QStringLiteral("Scanning && Processing"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("Image Types and Exclusions"));
        QCOMPARE(tabs->currentIndex(), 0);

        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* save = Child<QPushButton>(dialog, QStringLiteral("saveButton"));
        auto* cancel = Child<QPushButton>(dialog, QStringLiteral("cancelButton"));
        auto* help = Child<QPushButton>(dialog, QStringLiteral("helpButton"));
        QCOMPARE(save->text(), QStringLiteral("Save"));
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(help->text(), QStringLiteral("Help"));
        QVERIFY(save->isDefault());
        // Right-aligned in the order Save, Cancel, Help, one size for all three.
        QVERIFY(save->x() < cancel->x());
        QVERIFY(cancel->x() < help->x());
        QCOMPARE(save->size(), help->size());
        QCOMPARE(cancel->size(), help->size());

        QCOMPARE(Child<QLabel>(dialog, QStringLiteral("ignoreFolderNamesLabel"))->text().size(), 357);
        QVERIFY(Child<QLabel>(dialog, QStringLiteral("extraExtensionsLabel"))
                    ->text()
                    .startsWith(QStringLiteral("You can specify additional image types (or other document types)")));
        dialog.reject();
    }

    void comboItems_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<int>>("values");

        QTest::newRow("name display") << "nameDisplayCombo" << Texts({"Filename", "Relative Pathname", "Full Pathname"})
                                      << QList<int>{2, 1, 0};
        QTest::newRow("double-click") << "doubleClickCombo" << Texts({"Open Containing Folder", "Open Archive"})
                                      << QList<int>{0, 1};
        QTest::newRow("after extraction")
            << "afterExtractionCombo"
            << Texts({"Do Nothing", "Delete Archive (Move to Trash)", "Delete Archive (Permanently delete)"})
            << QList<int>{0, 2, 1};
        QTest::newRow("when to delete") << "whenToDeleteCombo"
                                        << Texts({"After processing each archive", "After processing all archive(s)"})
                                        << QList<int>{0, 1};
        QTest::newRow("validation")
            << "validationCombo"
            << Texts({"Level 1 - Extracted Photo Exists", "Level 2 - Extracted Photo Exists, Uncompressed Size Matches",
                      "Level 3 - Extracted Photo Exists, Uncompressed Size Matches, Loads as a Picture"})
            << QList<int>{0, 1, 2};
        QTest::newRow("extract to") << "extractToCombo"
                                    << Texts({"Use Smart Extraction\u2122", "Extract to here... (Containing Folder)",
                                              "Extract to folder... (Based on archive's name)"})
                                    << QList<int>{0, 1, 2};
        QTest::newRow("rename case") << "renameCaseCombo"
                                     << Texts(
                                            {"Convert to Title Case", "Convert to lower case", "Convert to UPPER CASE"})
                                     << QList<int>{2, 1, 0};
    }
    void comboItems()
    {
        QFETCH(QString, combo);
        QFETCH(QStringList, texts);
        QFETCH(QList<int>, values);

        CPSDLGOptions dialog(*m_settings, kSource);
        auto* box = Child<CXChoiceCombo>(dialog, combo);
        QCOMPARE(box->count(), texts.size());
        for (int i = 0; i < box->count(); ++i) {
            QCOMPARE(box->itemText(i), texts.at(i));
            QCOMPARE(box->itemData(i).toInt(), values.at(i));
        }
    }

    // A stored value selects its item wherever it stands in the list; a value of no item selects nothing,
    // and Save then stores -1 for it.
    void comboSelectsByValue_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("index");

        QTest::newRow("name display: full path last") << "nameDisplayCombo"
                                                      << "m_nNameDisplay" << 0 << 2;
        QTest::newRow("name display: unknown") << "nameDisplayCombo"
                                               << "m_nNameDisplay" << 7 << -1;
        QTest::newRow("double-click: archive") << "doubleClickCombo"
                                               << "m_nDoubleClickAction" << 1 << 1;
        QTest::newRow("double-click: unknown") << "doubleClickCombo"
                                               << "m_nDoubleClickAction" << -5 << -1;
        QTest::newRow("after: trash second") << "afterExtractionCombo"
                                             << "m_nAfterExtraction" << 2 << 1;
        QTest::newRow("after: permanent third") << "afterExtractionCombo"
                                                << "m_nAfterExtraction" << 1 << 2;
        QTest::newRow("after: unknown") << "afterExtractionCombo"
                                        << "m_nAfterExtraction" << 3 << -1;
        QTest::newRow("when: unknown") << "whenToDeleteCombo"
                                       << "m_nWhenToDelete" << 2 << -1;
        QTest::newRow("validation: level 1") << "validationCombo"
                                             << "m_nValidationLevel" << 0 << 0;
        QTest::newRow("validation: unknown") << "validationCombo"
                                             << "m_nValidationLevel" << 3 << -1;
        QTest::newRow("extract: folder") << "extractToCombo"
                                         << "m_nExtractTo" << 2 << 2;
        QTest::newRow("extract: unknown") << "extractToCombo"
                                          << "m_nExtractTo" << 100 << -1;
        QTest::newRow("rename: upper last") << "renameCaseCombo"
                                            << "m_nRenameCase" << 0 << 2;
        QTest::newRow("rename: unknown") << "renameCaseCombo"
                                         << "m_nRenameCase" << 4 << -1;
    }
    void comboSelectsByValue()
    {
        QFETCH(QString, combo);
        QFETCH(QString, field);
        QFETCH(int, stored);
        QFETCH(int, index);

        for (const SettingsField& f : CXSettings::StoredFields())
            if (field == QLatin1String(f.name))
                m_settings.get()->*std::get<qint32 CXSettings::*>(f.member) = stored;

        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        VisitAllPages(dialog);
        auto* box = Child<CXChoiceCombo>(dialog, combo);
        QCOMPARE(box->currentIndex(), index);
        QCOMPARE(box->Value(), index < 0 ? -1 : stored);

        Child<QPushButton>(dialog, QStringLiteral("saveButton"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(FieldValue(Reloaded(), field).toInt(), index < 0 ? -1 : stored);
    }

    void trayIconRule()
    {
        m_settings->m_bMinimizeToTray = 0;
        m_settings->m_bAlwaysShowTrayIcon = 0;
        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        auto* minimize = Child<QCheckBox>(dialog, QStringLiteral("minimizeToTrayCheck"));
        auto* always = Child<QCheckBox>(dialog, QStringLiteral("alwaysShowTrayIconCheck"));
        QVERIFY(always->isEnabled());
        QVERIFY(!always->isChecked());

        minimize->click();
        QVERIFY(always->isChecked());
        QVERIFY(!always->isEnabled());
        // Unchecking gives the box back to the user as it stands.
        minimize->click();
        QVERIFY(always->isChecked());
        QVERIFY(always->isEnabled());
        always->click();
        QVERIFY(!always->isChecked());
    }

    void trayIconRuleFromStoredValues()
    {
        // A file that hides into the tray without an icon is mended on the next Save.
        m_settings->m_bMinimizeToTray = 1;
        m_settings->m_bAlwaysShowTrayIcon = 0;
        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        auto* always = Child<QCheckBox>(dialog, QStringLiteral("alwaysShowTrayIconCheck"));
        QVERIFY(always->isChecked());
        QVERIFY(!always->isEnabled());
        Child<QPushButton>(dialog, QStringLiteral("saveButton"))->click();
        QCOMPARE(Reloaded().m_bAlwaysShowTrayIcon, 1);
        QVERIFY(dialog.Outcome().m_bTrayIconChanged);
    }

    void renameRule()
    {
        m_settings->m_bRenameFolder = 1;
        m_settings->m_nRenameCase = RenameTitle;
        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        Tabs(dialog)->setCurrentIndex(1);
        auto* rename = Child<QCheckBox>(dialog, QStringLiteral("renameFolderCheck"));
        auto* style = Child<CXChoiceCombo>(dialog, QStringLiteral("renameCaseCombo"));
        QVERIFY(style->isEnabled());
        style->SelectByValue(RenameLower);
        rename->click();
        QVERIFY(!style->isEnabled());
        // The greyed choice is still the user's and is saved.
        Child<QPushButton>(dialog, QStringLiteral("saveButton"))->click();
        const CXSettings saved = Reloaded();
        QCOMPARE(saved.m_bRenameFolder, 0);
        QCOMPARE(saved.m_nRenameCase, qint32(RenameLower));

        m_settings->m_bRenameFolder = 0;
        CPSDLGOptions reopened(*m_settings, kSource);
        QVERIFY(!Child<CXChoiceCombo>(reopened, QStringLiteral("renameCaseCombo"))->isEnabled());
        Child<QCheckBox>(reopened, QStringLiteral("renameFolderCheck"))->click();
        QVERIFY(Child<CXChoiceCombo>(reopened, QStringLiteral("renameCaseCombo"))->isEnabled());
    }

    void whenToDeleteRule_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("do nothing") << int(AfterDoNothing) << false;
        QTest::newRow("trash") << int(AfterDeleteToTrash) << true;
        QTest::newRow("permanently") << int(AfterDeletePermanently) << true;
        // Nothing selected might still mean a deletion: the choice stays open.
        QTest::newRow("unknown value") << 9 << true;
    }
    void whenToDeleteRule()
    {
        QFETCH(int, stored);
        QFETCH(bool, enabled);
        m_settings->m_nAfterExtraction = stored;
        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        auto* after = Child<CXChoiceCombo>(dialog, QStringLiteral("afterExtractionCombo"));
        auto* when = Child<CXChoiceCombo>(dialog, QStringLiteral("whenToDeleteCombo"));
        auto* label = Child<QLabel>(dialog, QStringLiteral("whenToDeleteLabel"));
        QCOMPARE(when->isEnabled(), enabled);
        QVERIFY(label->isEnabled());

        for (int value :
             {int(AfterDoNothing), int(AfterDeleteToTrash), int(AfterDoNothing), int(AfterDeletePermanently)}) {
            after->setCurrentIndex(after->findData(value));
            QCOMPARE(when->isEnabled(), value != AfterDoNothing);
            QVERIFY(label->isEnabled());
        }
    }

    // Save stores a page only when it was brought up. The record is changed behind the open dialog, so a
    // page that stores without being seen overwrites the change with what it would have shown.
    void shownFlags_data()
    {
        QTest::addColumn<QList<int>>("visits");
        QTest::addColumn<bool>("scanningStored");
        QTest::addColumn<bool>("imageTypesStored");

        QTest::newRow("general only") << QList<int>{} << false << false;
        QTest::newRow("scanning left") << QList<int>{1, 0} << true << false;
        QTest::newRow("scanning active at save") << QList<int>{1} << true << false;
        QTest::newRow("image types active at save") << QList<int>{2} << false << true;
        QTest::newRow("image types left") << QList<int>{2, 0} << false << true;
        QTest::newRow("every page") << QList<int>{1, 2} << true << true;
    }
    void shownFlags()
    {
        QFETCH(QList<int>, visits);
        QFETCH(bool, scanningStored);
        QFETCH(bool, imageTypesStored);

        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        m_settings->m_bOverwritePhotos = 1;
        m_settings->m_nValidationLevel = ValidateExists;
        m_settings->m_bDeleteOtherFiles = 1;
        m_settings->m_bTypeGIF = 0;
        m_settings->m_strExtraExtensions = QStringLiteral(".nfo");
        // General is stored in any case.
        Child<QCheckBox>(dialog, QStringLiteral("confirmExitCheck"))->setChecked(false);
        for (int page : visits)
            Tabs(dialog)->setCurrentIndex(page);
        Child<QPushButton>(dialog, QStringLiteral("saveButton"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        const CXSettings saved = Reloaded();
        QCOMPARE(saved.m_bConfirmExit, 0);
        QCOMPARE(saved.m_bOverwritePhotos, scanningStored ? 0 : 1);
        QCOMPARE(saved.m_nValidationLevel, qint32(scanningStored ? ValidateLoads : ValidateExists));
        QCOMPARE(saved.m_bDeleteOtherFiles, scanningStored ? 0 : 1);
        QCOMPARE(saved.m_bTypeGIF, imageTypesStored ? 1 : 0);
        QCOMPARE(saved.m_strExtraExtensions, imageTypesStored ? QString() : QStringLiteral(".nfo"));
    }

    // The history is emptied at once and stays cleared whichever way the dialog ends; what it holds then
    // depends on the ending.
    void clearHistory_data()
    {
        QTest::addColumn<bool>("save");
        QTest::newRow("save") << true;
        QTest::newRow("cancel") << false;
    }
    void clearHistory()
    {
        QFETCH(bool, save);
        m_settings->AddSourceFolder(QStringLiteral("/photos/older"));
        m_settings->AddSourceFolder(kSource);
        QVERIFY(m_settings->SaveSettings());
        const QByteArray before = SettingsFileBytes();

        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        auto* clear = Child<QPushButton>(dialog, QStringLiteral("clearHistoryButton"));
        QCOMPARE(clear->text(), QStringLiteral("Clear Source Folder History"));
        QVERIFY(clear->isEnabled());
        clear->click();
        QVERIFY(m_settings->m_arrSourceHistory.isEmpty());
        QVERIFY(!clear->isEnabled());

        Child<QPushButton>(dialog, save ? QStringLiteral("saveButton") : QStringLiteral("cancelButton"))->click();
        QVERIFY(dialog.Outcome().m_bHistoryCleared);
        QCOMPARE(dialog.Outcome().m_bSaved, save);
        if (save) {
            CXSStringArray expected;
            expected.InsertSorted(CXSettings::MyPicturesFolder());
            expected.InsertSorted(kSource);
            QCOMPARE(m_settings->m_arrSourceHistory.toStringList(), expected.toStringList());
            QCOMPARE(Reloaded().m_arrSourceHistory.toStringList(), expected.toStringList());
        } else {
            QCOMPARE(m_settings->m_arrSourceHistory.toStringList(), QStringList{kSource});
            QCOMPARE(SettingsFileBytes(), before);
        }
    }

    void historyUntouchedWithoutClearing()
    {
        m_settings->AddSourceFolder(QStringLiteral("/photos/older"));
        const QStringList before = m_settings->m_arrSourceHistory.toStringList();
        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        Child<QPushButton>(dialog, QStringLiteral("saveButton"))->click();
        QVERIFY(!dialog.Outcome().m_bHistoryCleared);
        QCOMPARE(Reloaded().m_arrSourceHistory.toStringList(), before);
    }

    // With no image type chosen, neither another page nor Save is let through: the user is told, JPEG gets
    // the focus, and the page stays.
    void noImageType_data()
    {
        QTest::addColumn<bool>("bySave");
        QTest::newRow("switching page") << false;
        QTest::newRow("save") << true;
    }
    void noImageType()
    {
        QFETCH(bool, bySave);
        const QByteArray before = SettingsFileBytes();
        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTabWidget* tabs = Tabs(dialog);
        tabs->setCurrentIndex(2);
        for (const char* name : {"typeBmpCheck", "typePngCheck", "typeTiffCheck", "typeGifCheck", "typeJpegCheck"})
            Child<QCheckBox>(dialog, QLatin1String(name))->setChecked(false);
        auto* jpeg = Child<QCheckBox>(dialog, QStringLiteral("typeJpegCheck"));
        Child<QLineEdit>(dialog, QStringLiteral("extraExtensionsEdit"))->setFocus();

        auto box = std::make_shared<BoxSeen>();
        AnswerNextBox(box);
        if (bySave)
            Child<QPushButton>(dialog, QStringLiteral("saveButton"))->click();
        else
            tabs->setCurrentIndex(0);
        QVERIFY(box->seen);
        QCOMPARE(box->title, QStringLiteral("Zelvano"));
        QCOMPARE(box->text, QStringLiteral("Please choose at least one image format (JPEG | PNG | BMP | TIFF | GIF) to "
                                           "include before clicking Save."));
        QCOMPARE(tabs->currentIndex(), 2);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.focusWidget(), jpeg);
        QCOMPARE(SettingsFileBytes(), before);

        // One type is enough to move on and to save.
        Child<QCheckBox>(dialog, QStringLiteral("typePngCheck"))->setChecked(true);
        tabs->setCurrentIndex(1);
        QCOMPARE(tabs->currentIndex(), 1);
        Child<QPushButton>(dialog, QStringLiteral("saveButton"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const CXSettings saved = Reloaded();
        QCOMPARE(saved.m_bTypeJPEG, 0);
        QCOMPARE(saved.m_bTypePNG, 1);
    }

    void noImageTypeCancels()
    {
        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        Tabs(dialog)->setCurrentIndex(2);
        for (const char* name : {"typeBmpCheck", "typePngCheck", "typeTiffCheck", "typeGifCheck", "typeJpegCheck"})
            Child<QCheckBox>(dialog, QLatin1String(name))->setChecked(false);
        Child<QPushButton>(dialog, QStringLiteral("cancelButton"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(m_settings->m_bTypeJPEG, 1);
    }

    // Every control reaches its own field, in the file it belongs to.
    void saveStoresEveryField_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");

        const auto row = [](const char* control, const char* field, const QVariant& value) {
            QTest::newRow(field) << QString::fromLatin1(control) << QString::fromLatin1(field) << value;
        };
        row("minimizeToTrayCheck", "m_bMinimizeToTray", 1);
        row("minimizeOnCloseCheck", "m_bMinimizeOnClose", 1);
        row("showTooltipsCheck", "m_bShowTooltips", 0);
        row("alwaysShowTrayIconCheck", "m_bAlwaysShowTrayIcon", 0);
        row("confirmExitCheck", "m_bConfirmExit", 0);
        row("confirmCancelUnpackCheck", "m_bConfirmCancelUnpack", 0);
        row("confirmDeleteCheck", "m_bConfirmDelete", 0);
        row("confirmCancelScanCheck", "m_bConfirmCancelScan", 0);
        row("autoSizeNameColumnCheck", "m_bAutoSizeNameColumn", 0);
        row("nameDisplayCombo", "m_nNameDisplay", int(NameFullPath));
        row("doubleClickCombo", "m_nDoubleClickAction", int(DoubleClickOpenArchive));
        row("showScanResultsCheck", "m_bShowScanResults", 0);
        row("showUnpackResultsCheck", "m_bShowUnpackResults", 0);
        row("autoCheckFoundCheck", "m_bAutoCheckFound", 0);
        row("overwritePhotosCheck", "m_bOverwritePhotos", 1);
        row("renameFolderCheck", "m_bRenameFolder", 0);
        row("renameCaseCombo", "m_nRenameCase", int(RenameLower));
        row("extractToCombo", "m_nExtractTo", int(ExtractToFolder));
        row("afterExtractionCombo", "m_nAfterExtraction", int(AfterDeleteToTrash));
        row("whenToDeleteCombo", "m_nWhenToDelete", int(DeleteAfterEach));
        row("validationCombo", "m_nValidationLevel", int(ValidateSize));
        row("deleteOtherFilesCheck", "deleteOtherFiles", 1);
        row("zipNameEncodingCombo", "zipNameEncoding", QStringLiteral("CP866"));
        row("exportDetectionCheck", "exportDetection", 0);
        row("typeBmpCheck", "m_bTypeBMP", 0);
        row("typePngCheck", "m_bTypePNG", 0);
        row("typeTiffCheck", "m_bTypeTIFF", 0);
        row("typeGifCheck", "m_bTypeGIF", 0);
        row("typeJpegCheck", "m_bTypeJPEG", 0);
        // Texts are stored as typed.
        row("extraExtensionsEdit", "m_strExtraExtensions", QStringLiteral(" .NFO;.txt "));
        row("ignoreFolderNamesEdit", "m_strIgnoreFolderNames", QStringLiteral("Scans,\nbig  "));
    }
    void saveStoresEveryField()
    {
        QFETCH(QString, control);
        QFETCH(QString, field);
        QFETCH(QVariant, value);

        const CXSettings defaults = *m_settings;
        QVERIFY(FieldValue(defaults, field) != value);
        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        VisitAllPages(dialog);
        SetControl(dialog, control, value);
        Child<QPushButton>(dialog, QStringLiteral("saveButton"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.Outcome().m_bWritten);

        const CXSettings saved = Reloaded();
        QCOMPARE(FieldValue(saved, field).toString(), value.toString());
        // Nothing else moved (the tray rule may check its box along with minimising to the tray).
        for (const SettingsField& f : CXSettings::StoredFields()) {
            const QString name = QLatin1String(f.name);
            if (name == field || name == QLatin1String("m_nVersion") ||
                (field == QLatin1String("m_bMinimizeToTray") && name == QLatin1String("m_bAlwaysShowTrayIcon")))
                continue;
            QCOMPARE(FieldValue(saved, name), FieldValue(defaults, name));
        }
        for (const OptionField& option : OptionFields()) {
            if (field != QLatin1String(option.name))
                QCOMPARE(saved.*option.member, defaults.*option.member);
        }
        if (field != QLatin1String("zipNameEncoding"))
            QCOMPARE(saved.m_strZipNameEncoding, defaults.m_strZipNameEncoding);
    }

    void ignoreWordsFollowTheText()
    {
        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        Tabs(dialog)->setCurrentIndex(2);
        SetControl(dialog, QStringLiteral("ignoreFolderNamesEdit"), QStringLiteral("Scans, thumbs"));
        Child<QPushButton>(dialog, QStringLiteral("saveButton"))->click();
        QVERIFY(m_settings->IsIgnoredFolderName(QStringLiteral("thumbs")));
        QVERIFY(!m_settings->IsIgnoredFolderName(QStringLiteral("wallpaper")));
    }

    void cancelStoresNothing()
    {
        const QByteArray record = m_settings->SaveSettingsToBytes();
        const QByteArray file = SettingsFileBytes();
        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        VisitAllPages(dialog);
        SetControl(dialog, QStringLiteral("confirmExitCheck"), false);
        SetControl(dialog, QStringLiteral("validationCombo"), int(ValidateExists));
        SetControl(dialog, QStringLiteral("deleteOtherFilesCheck"), true);
        SetControl(dialog, QStringLiteral("typeGifCheck"), false);
        SetControl(dialog, QStringLiteral("extraExtensionsEdit"), QStringLiteral(".nfo"));
        Tabs(dialog)->setCurrentIndex(2);
        Child<QPushButton>(dialog, QStringLiteral("cancelButton"))->click();

        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.Outcome().m_bSaved);
        QVERIFY(!dialog.Outcome().m_bHistoryCleared);
        QCOMPARE(m_settings->SaveSettingsToBytes(), record);
        QCOMPARE(m_settings->m_bDeleteOtherFiles, 0);
        QCOMPARE(SettingsFileBytes(), file);
        QVERIFY(!QFileInfo::exists(OptionsFilePath(*m_settings)) || Reloaded().m_bDeleteOtherFiles == 0);
    }

    // What the window must bring in line after Save. Texts differing only in case or outer white space need
    // no rescan, since the scan reads them that way.
    void outcome_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("rescan");
        QTest::addColumn<bool>("extractMode");
        QTest::addColumn<bool>("nameDisplay");
        QTest::addColumn<bool>("tooltips");
        QTest::addColumn<bool>("trayIcon");

        QTest::newRow("nothing changed") << "confirmExitCheck" << QVariant(true) << false << false << false << false
                                         << false;
        QTest::newRow("type unchecked") << "typeGifCheck" << QVariant(false) << true << false << false << false
                                        << false;
        QTest::newRow("extension added") << "extraExtensionsEdit" << QVariant(QStringLiteral(".nfo;.txt")) << true
                                         << false << false << false << false;
        QTest::newRow("extension in other case") << "extraExtensionsEdit" << QVariant(QStringLiteral("  .NFO "))
                                                 << false << false << false << false << false;
        QTest::newRow("ignore words changed") << "ignoreFolderNamesEdit" << QVariant(QStringLiteral("pic, large"))
                                              << true << false << false << false << false;
        QTest::newRow("ignore words in other case")
            << "ignoreFolderNamesEdit" << QVariant(QStringLiteral("\tPIC, Medium\n")) << false << false << false
            << false << false;
        QTest::newRow("extraction mode") << "extractToCombo" << QVariant(int(ExtractHere)) << false << true << false
                                         << false << false;
        QTest::newRow("name display") << "nameDisplayCombo" << QVariant(int(NameRelativePath)) << false << false << true
                                      << false << false;
        QTest::newRow("code page of ZIP names") << "zipNameEncodingCombo" << QVariant(QStringLiteral("SHIFT_JIS"))
                                                << true << false << false << false << false;
        QTest::newRow("tooltips") << "showTooltipsCheck" << QVariant(false) << false << false << false << true << false;
        QTest::newRow("tray icon") << "alwaysShowTrayIconCheck" << QVariant(false) << false << false << false << false
                                   << true;
    }
    void outcome()
    {
        QFETCH(QString, control);
        QFETCH(QVariant, value);
        QFETCH(bool, rescan);
        QFETCH(bool, extractMode);
        QFETCH(bool, nameDisplay);
        QFETCH(bool, tooltips);
        QFETCH(bool, trayIcon);

        m_settings->m_strExtraExtensions = QStringLiteral(".nfo");
        m_settings->SetIgnoreFolderNames(QStringLiteral("pic, medium"));
        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        VisitAllPages(dialog);
        SetControl(dialog, control, value);
        Child<QPushButton>(dialog, QStringLiteral("saveButton"))->click();

        const OptionsOutcome& outcome = dialog.Outcome();
        QVERIFY(outcome.m_bSaved);
        QCOMPARE(outcome.m_bRescanNeeded, rescan);
        QCOMPARE(outcome.m_bExtractModeChanged, extractMode);
        QCOMPARE(outcome.m_bNameDisplayChanged, nameDisplay);
        QCOMPARE(outcome.m_bTooltipsChanged, tooltips);
        QCOMPARE(outcome.m_bTrayIconChanged, trayIcon);
        QVERIFY(!outcome.m_bHistoryCleared);
    }

    void helpNamesThePageTopic()
    {
        CPSDLGOptions dialog(*m_settings, kSource);
        dialog.show();
        QSignalSpy spy(&dialog, &CPSDLGOptions::helpRequested);
        auto* help = Child<QPushButton>(dialog, QStringLiteral("helpButton"));
        const QStringList topics{QStringLiteral("General.htm"), QStringLiteral("ScanningProcessing.htm"),
                                 QStringLiteral("ImageTypesExclusions.htm")};
        for (int page = 0; page < 3; ++page) {
            Tabs(dialog)->setCurrentIndex(page);
            help->click();
            QCOMPARE(spy.count(), page + 1);
            QCOMPARE(spy.at(page).at(0).toString(), topics.at(page));
        }
        // Help leaves the dialog open.
        QVERIFY(dialog.isVisible());
    }
};

QTEST_MAIN(TestOptionsDialog)
#include "tst_optionsdialog.moc"
