#pragma once

#include "common/sstringarray.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <span>
#include <variant>

struct SettingsField;

// The stored values of the choices: each enumerator is the number the settings file holds.
enum ExtractMode : qint32
{
    ExtractSmart = 0,    // the archive's own advice decides
    ExtractHere = 1,     // into the archive's folder
    ExtractToFolder = 2, // into a new folder named after the archive
};
enum RenameCase : qint32
{
    RenameUpper = 0,
    RenameLower = 1,
    RenameTitle = 2,
};
enum AfterExtraction : qint32
{
    AfterDoNothing = 0,
    AfterDeletePermanently = 1,
    AfterDeleteToTrash = 2,
};
enum WhenToDelete : qint32
{
    DeleteAfterEach = 0,
    DeleteAfterAll = 1,
};
enum ValidationLevel : qint32
{
    ValidateExists = 0,
    ValidateSize = 1,  // exists, and the size matches
    ValidateLoads = 2, // exists, the size matches, and it loads as a picture
};
enum NameDisplay : qint32
{
    NameFullPath = 0,
    NameRelativePath = 1,
    NameFileName = 2,
};
enum DoubleClickAction : qint32
{
    DoubleClickOpenFolder = 0,
    DoubleClickOpenArchive = 1,
};

// The one settings record: all options, the window and list layout and the source-folder history.
// Flags are 32-bit 0/1 values; choices are 32-bit values equal to the item data of the combo box that
// edits them. Only the user-interface thread changes it; workers read it while the options are locked.
class CXSettings
{
public:
    CXSettings();

    // Defaults of every stored field, a history holding only My Pictures, version 0.
    void ResetToDefaults();

    // Reads the file at m_strSettingsPath (creating it with defaults when it does not exist), then
    // rebuilds the ignore-word list. A damaged file is read up to the damage; the rest keeps its value.
    // Returns false when the file could not be read in full (nothing is reported to the user).
    bool LoadSettings();
    // The reading part of LoadSettings on bytes in the file layout (used by tests and the fuzzer).
    // Returns false when the data ended early or was malformed, or its version is unknown.
    bool LoadSettingsFromBytes(const QByteArray& bytes);

    // Writes the whole record to m_strSettingsPath, atomically (a crash never leaves half a file).
    // Sets m_nVersion to 1. Returns false when the file could not be written.
    bool SaveSettings();
    // The bytes SaveSettings writes.
    QByteArray SaveSettingsToBytes() const;

    // Inserts the trimmed path into the history at its case-insensitive place, unless already present.
    void AddSourceFolder(const QString& path);
    // True when the name, lower-cased, is one of the ignored folder words.
    bool IsIgnoredFolderName(const QString& name) const;
    // Fills the array with the distinct lower-case words of three or more characters of the text, sorted.
    // Returns the number of words.
    static qsizetype SplitWordList(const QString& text, CXSStringArray& words);
    // Rebuilds m_arrIgnoreFolderNames from m_strIgnoreFolderNames.
    void RebuildIgnoreFolderNames();

    // The locations: data folder (generic data location + "/ZLV"), its "Temp" folder, the settings file in
    // it, and the help pages. Called once at start, before loading.
    void ComputeLocations();
    // Creates the data folder and its Temp folder when missing. On failure returns false and describes it.
    bool CreateFolders(QString* error) const;
    // The start-up steps: locations, folders, load, save. Returns false (with a description) only when the
    // data folder or the Temp folder cannot be created; the record then still holds the defaults.
    bool InitializeSettings(QString* error);

    // The settings file's name, which is also the signature written into it.
    static QString SettingsFileName();
    // The user's pictures folder ("My Pictures"), the default source folder.
    static QString MyPicturesFolder();
    // The stored fields in file order; loading, saving, defaults and the CLI listing all follow it.
    static std::span<const SettingsField> StoredFields();

    QString GetLastSourceFolder() const { return m_strLastSourceFolder; }
    QString GetDefaultSourceFolder() const { return m_strDefaultSourceFolder; }
    QString GetExtraExtensions() const { return m_strExtraExtensions; }
    QString GetIgnoreFolderNames() const { return m_strIgnoreFolderNames; }
    void SetExtraExtensions(const QString& text) { m_strExtraExtensions = text; }
    // Also rebuilds the word list, so a changed ignore text takes effect at the next scan.
    void SetIgnoreFolderNames(const QString& text);
    void SetSettingsPath(const QString& path) { m_strSettingsPath = path; }
    void SetHelpPath(const QString& path) { m_strHelpPath = path; }
    void SetDataFolder(const QString& path) { m_strDataFolder = path; }
    void SetTempFolder(const QString& path) { m_strTempFolder = path; }

    // Defaults come from the table of stored fields (settings.cpp) through ResetToDefaults.
    qint32 m_nVersion;
    QString m_strSignature;
    QString m_strSettingsPath;
    QString m_strHelpPath;
    QString m_strDataFolder;
    QString m_strLastSourceFolder;
    QString m_strDefaultSourceFolder;
    QString m_strTempFolder;
    qint32 m_bMinimizeOnClose;
    qint32 m_bShowTooltips;
    qint32 m_bMinimizeToTray;
    qint32 m_bAlwaysShowTrayIcon;
    qint32 m_nDoubleClickAction;
    qint32 m_bConfirmExit;
    qint32 m_bConfirmCancelUnpack;
    qint32 m_bConfirmCancelScan;
    qint32 m_bConfirmDelete;
    qint32 m_bAutoSizeNameColumn;
    qint32 m_nNameDisplay;
    qint64 m_nReserved1; // carried unchanged through load and save
    qint32 m_nColWidthName;
    qint32 m_nColWidthType;
    qint32 m_nColWidthModified;
    qint32 m_nColWidthSize;
    qint32 m_nColWidthExtract;
    qint32 m_nColWidthPhotos;
    qint32 m_bAutoCheckFound;
    qint32 m_nAfterExtraction;
    qint32 m_nWhenToDelete;
    qint32 m_bOverwritePhotos;
    qint32 m_nValidationLevel;
    qint32 m_nExtractTo;
    qint32 m_bRenameFolder;
    qint32 m_nRenameCase;
    qint32 m_bShowScanResults;
    qint32 m_bShowUnpackResults;
    qint32 m_bTypeJPEG;
    qint32 m_bTypeBMP;
    qint32 m_bTypePNG;
    qint32 m_bTypeTIFF;
    qint32 m_bTypeGIF;
    QString m_strExtraExtensions;
    qint32 m_nSortColumn;
    qint32 m_bSortAscending;
    CXSStringArray m_arrSourceHistory;
    qint64 m_nReserved2;
    qint32 m_nReserved3;
    qint32 m_nReserved4;
    qint32 m_bMaximized;
    qint32 m_nWindowWidth;
    qint32 m_nWindowHeight;
    QString m_strIgnoreFolderNames;
    CXSStringArray m_arrIgnoreFolderNames;

    // Beyond the binary file (its layout stays as it is): kept in the small second file beside it.
    // Delete archives that also hold other files (non-picture entries that are not extracted).
    qint32 m_bDeleteOtherFiles = 0;
    // Recognise Google Takeout exports: their parts unpack into one dated folder, pictures get their dates.
    qint32 m_bExportDetection = 1;
    // The code page of ZIP entry names stored without the UTF-8 flag ("CP866", "Shift_JIS", ...); empty:
    // found per archive.
    QString m_strZipNameEncoding;
};

// One stored field of the settings file, in file order.
enum class SettingsFieldType
{
    Int32,       // 4 bytes
    Int64,       // 8 bytes
    String,      // length prefix and UTF-8 bytes
    StringArray, // 32-bit count, then that many strings
};

// Where a field's default comes from: the table itself, or a value known only at run time.
enum class SettingsDefault
{
    Value,
    Signature,  // the settings file's name
    MyPictures, // the user's pictures folder (a one-entry list for the history)
};

struct SettingsField
{
    using Member =
        std::variant<qint32 CXSettings::*, qint64 CXSettings::*, QString CXSettings::*, CXSStringArray CXSettings::*>;

    const char* name;
    SettingsFieldType type;
    Member member;
    qint64 defaultNumber;
    const char* defaultText; // UTF-8, for String fields with SettingsDefault::Value
    SettingsDefault defaultSource;
};
