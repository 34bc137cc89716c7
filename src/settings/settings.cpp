#include "settings/settings.h"

#include "common/fixedtext.h"
#include "settings/options.h"
#include "settings/titlecase.h"

#include <array>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QtEndian>

namespace {

// "ZelvanoSettings.dat", reversed, as hex digits.
constexpr char kSettingsFileNameHex[] = "7461642E73676E69747465536F6E61766C655A";

// A settings file is a few kilobytes; anything beyond this is not ours and is read only this far.
constexpr qint64 kMaxSettingsFileSize = qint64(64) * 1024 * 1024;

using F = SettingsFieldType;
using D = SettingsDefault;
using S = CXSettings;

// The stored fields in file order. Two pairs differ from the declaration order: the extraction-mode
// width precedes the size width, and the validation level precedes the overwrite flag.
const SettingsField kStoredFields[] = {
    {"m_nVersion", F::Int32, &S::m_nVersion, 0, nullptr, D::Value},
    {"m_strSignature", F::String, &S::m_strSignature, 0, nullptr, D::Signature},
    {"m_bMinimizeOnClose", F::Int32, &S::m_bMinimizeOnClose, 0, nullptr, D::Value},
    {"m_bShowTooltips", F::Int32, &S::m_bShowTooltips, 1, nullptr, D::Value},
    {"m_bMinimizeToTray", F::Int32, &S::m_bMinimizeToTray, 0, nullptr, D::Value},
    {"m_bAlwaysShowTrayIcon", F::Int32, &S::m_bAlwaysShowTrayIcon, 1, nullptr, D::Value},
    {"m_nDoubleClickAction", F::Int32, &S::m_nDoubleClickAction, 0, nullptr, D::Value},
    {"m_bConfirmExit", F::Int32, &S::m_bConfirmExit, 1, nullptr, D::Value},
    {"m_bConfirmCancelUnpack", F::Int32, &S::m_bConfirmCancelUnpack, 1, nullptr, D::Value},
    {"m_bConfirmCancelScan", F::Int32, &S::m_bConfirmCancelScan, 1, nullptr, D::Value},
    {"m_bConfirmDelete", F::Int32, &S::m_bConfirmDelete, 1, nullptr, D::Value},
    {"m_bAutoSizeNameColumn", F::Int32, &S::m_bAutoSizeNameColumn, 1, nullptr, D::Value},
    {"m_nNameDisplay", F::Int32, &S::m_nNameDisplay, 2, nullptr, D::Value},
    {"m_strLastSourceFolder", F::String, &S::m_strLastSourceFolder, 0, nullptr, D::MyPictures},
    {"m_nColWidthName", F::Int32, &S::m_nColWidthName, 215, nullptr, D::Value},
    {"m_nColWidthType", F::Int32, &S::m_nColWidthType, 100, nullptr, D::Value},
    {"m_nColWidthModified", F::Int32, &S::m_nColWidthModified, 138, nullptr, D::Value},
    {"m_nColWidthExtract", F::Int32, &S::m_nColWidthExtract, 120, nullptr, D::Value},
    {"m_nColWidthSize", F::Int32, &S::m_nColWidthSize, 58, nullptr, D::Value},
    {"m_nColWidthPhotos", F::Int32, &S::m_nColWidthPhotos, 65, nullptr, D::Value},
    {"m_nReserved1", F::Int64, &S::m_nReserved1, 0, nullptr, D::Value},
    {"m_bAutoCheckFound", F::Int32, &S::m_bAutoCheckFound, 1, nullptr, D::Value},
    {"m_nAfterExtraction", F::Int32, &S::m_nAfterExtraction, 0, nullptr, D::Value},
    {"m_nWhenToDelete", F::Int32, &S::m_nWhenToDelete, 1, nullptr, D::Value},
    {"m_nValidationLevel", F::Int32, &S::m_nValidationLevel, 2, nullptr, D::Value},
    {"m_bOverwritePhotos", F::Int32, &S::m_bOverwritePhotos, 0, nullptr, D::Value},
    {"m_nExtractTo", F::Int32, &S::m_nExtractTo, 0, nullptr, D::Value},
    {"m_bRenameFolder", F::Int32, &S::m_bRenameFolder, 1, nullptr, D::Value},
    {"m_nRenameCase", F::Int32, &S::m_nRenameCase, 2, nullptr, D::Value},
    {"m_bShowScanResults", F::Int32, &S::m_bShowScanResults, 1, nullptr, D::Value},
    {"m_bShowUnpackResults", F::Int32, &S::m_bShowUnpackResults, 1, nullptr, D::Value},
    {"m_bTypeJPEG", F::Int32, &S::m_bTypeJPEG, 1, nullptr, D::Value},
    {"m_bTypeBMP", F::Int32, &S::m_bTypeBMP, 1, nullptr, D::Value},
    {"m_bTypePNG", F::Int32, &S::m_bTypePNG, 1, nullptr, D::Value},
    {"m_bTypeTIFF", F::Int32, &S::m_bTypeTIFF, 1, nullptr, D::Value},
    {"m_bTypeGIF", F::Int32, &S::m_bTypeGIF, 1, nullptr, D::Value},
    {"m_strExtraExtensions", F::String, &S::m_strExtraExtensions, 0, "", D::Value},
    {"m_nSortColumn", F::Int32, &S::m_nSortColumn, 0, nullptr, D::Value},
    {"m_bSortAscending", F::Int32, &S::m_bSortAscending, 1, nullptr, D::Value},
    {"m_nReserved2", F::Int64, &S::m_nReserved2, 0, nullptr, D::Value},
    {"m_nReserved3", F::Int32, &S::m_nReserved3, 0, nullptr, D::Value},
    {"m_nReserved4", F::Int32, &S::m_nReserved4, 0, nullptr, D::Value},
    {"m_bMaximized", F::Int32, &S::m_bMaximized, 0, nullptr, D::Value},
    {"m_nWindowWidth", F::Int32, &S::m_nWindowWidth, 744, nullptr, D::Value},
    {"m_nWindowHeight", F::Int32, &S::m_nWindowHeight, 549, nullptr, D::Value},
    {"m_strIgnoreFolderNames", F::String, &S::m_strIgnoreFolderNames, 0,
     "pic, medium, large, photo, set, small, premium, standard, wallpaper", D::Value},
    {"m_arrSourceHistory", F::StringArray, &S::m_arrSourceHistory, 0, nullptr, D::MyPictures},
};

// Invalid UTF-16 (a surrogate without its partner) becomes U+FFFD, so the text in memory is exactly the
// text that is saved as UTF-8 later.
QString ReplaceLoneSurrogates(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar(QChar::ReplacementCharacter);
    }
    return text;
}

// Reads the file layout: little-endian integers and length-prefixed strings. Every read checks the bytes
// that remain first, so no input makes it read past the data or allocate more than the data holds.
class SettingsReader
{
public:
    explicit SettingsReader(const QByteArray& data) : m_data(data) {}

    bool ReadInt32(qint32* value)
    {
        if (Remaining() < 4)
            return false;
        *value = qFromLittleEndian<qint32>(m_data.constData() + m_nPos);
        m_nPos += 4;
        return true;
    }

    bool ReadInt64(qint64* value)
    {
        if (Remaining() < 8)
            return false;
        *value = qFromLittleEndian<qint64>(m_data.constData() + m_nPos);
        m_nPos += 8;
        return true;
    }

    // A string: 8-bit (UTF-8) bytes, or 16-bit units when announced by the byte 0xFF and the word 0xFFFE.
    bool ReadString(QString* value)
    {
        quint64 length = 0;
        bool wide = false;
        if (!ReadLength(&length, &wide))
            return false;
        const quint64 remaining = static_cast<quint64>(Remaining());
        if (length > remaining || (wide && length > remaining / 2))
            return false;
        const char* p = m_data.constData() + m_nPos;
        const auto n = static_cast<qsizetype>(length);
        if (wide) {
            QString text(n, Qt::Uninitialized);
            for (qsizetype i = 0; i < n; ++i)
                text[i] = QChar(qFromLittleEndian<quint16>(p + 2 * i));
            *value = ReplaceLoneSurrogates(text);
            m_nPos += 2 * n;
        } else {
            // A string is not a file: U+FEFF at its start is a character of the text, not a byte order mark
            // (QString::fromUtf8 would drop it).
            QStringDecoder decode(QStringDecoder::Utf8,
                                  QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
            *value = decode(QByteArrayView(p, n));
            m_nPos += n;
        }
        return true;
    }

private:
    qsizetype Remaining() const { return m_data.size() - m_nPos; }

    bool ReadByte(quint8* value)
    {
        if (Remaining() < 1)
            return false;
        *value = static_cast<quint8>(m_data.at(m_nPos));
        ++m_nPos;
        return true;
    }

    bool ReadWord(quint16* value)
    {
        if (Remaining() < 2)
            return false;
        *value = qFromLittleEndian<quint16>(m_data.constData() + m_nPos);
        m_nPos += 2;
        return true;
    }

    bool ReadLength(quint64* length, bool* wide)
    {
        quint8 b = 0;
        if (!ReadByte(&b))
            return false;
        if (b < 0xFF) {
            *length = b;
            return true;
        }
        quint16 w = 0;
        if (!ReadWord(&w))
            return false;
        if (w == 0xFFFE) {
            if (*wide)
                return false; // a second marker is malformed
            *wide = true;
            return ReadLength(length, wide);
        }
        if (w < 0xFFFF) {
            *length = w;
            return true;
        }
        qint32 d = 0;
        if (!ReadInt32(&d))
            return false;
        if (static_cast<quint32>(d) < 0xFFFFFFFFu) {
            *length = static_cast<quint32>(d);
            return true;
        }
        qint64 q = 0;
        if (!ReadInt64(&q))
            return false;
        *length = static_cast<quint64>(q);
        return true;
    }

    const QByteArray& m_data;
    qsizetype m_nPos = 0;
};

void AppendLittleEndian(QByteArray& out, auto value)
{
    char bytes[sizeof value];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof value);
}

// The three length-prefix forms (and a fourth for lengths no settings file reaches).
void AppendString(QByteArray& out, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const auto n = static_cast<quint64>(bytes.size());
    if (n < 0xFF) {
        out.append(static_cast<char>(n));
    } else if (n < 0xFFFE) {
        out.append('\xFF');
        AppendLittleEndian(out, static_cast<quint16>(n));
    } else {
        out.append('\xFF');
        AppendLittleEndian(out, quint16(0xFFFF));
        if (n < 0xFFFFFFFFu) {
            AppendLittleEndian(out, static_cast<quint32>(n));
        } else {
            AppendLittleEndian(out, quint32(0xFFFFFFFFu));
            AppendLittleEndian(out, n);
        }
    }
    out.append(bytes);
}

// Inserts the trimmed text at its sorted place unless an equal entry (ignoring case) is there.
void AddTrimmedOnce(CXSStringArray& array, const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || array.Contains(trimmed))
        return;
    array.InsertSorted(trimmed);
}

// Reads the stored fields in file order straight into the record; stops at the first damage, so what was
// read before it stands. Returns false on damage or an unknown version.
bool ReadStoredFields(CXSettings& s, SettingsReader& reader)
{
    for (const SettingsField& field : kStoredFields) {
        switch (field.type) {
        case F::Int32: {
            qint32 value = 0;
            if (!reader.ReadInt32(&value))
                return false;
            s.*std::get<qint32 CXSettings::*>(field.member) = value;
            if (std::get<qint32 CXSettings::*>(field.member) == &CXSettings::m_nVersion && value != 1 && value != 2)
                return false; // an unknown format: keep everything else as it was
            break;
        }
        case F::Int64: {
            qint64 value = 0;
            if (!reader.ReadInt64(&value))
                return false;
            s.*std::get<qint64 CXSettings::*>(field.member) = value;
            break;
        }
        case F::String: {
            QString value;
            if (!reader.ReadString(&value))
                return false;
            s.*std::get<QString CXSettings::*>(field.member) = value;
            break;
        }
        case F::StringArray: {
            // Merged into what the record holds (the defaults), one entry at a time; a count larger than the
            // data simply runs into the end of the data.
            qint32 count = 0;
            if (!reader.ReadInt32(&count) || count < 0)
                return false;
            CXSStringArray& array = s.*std::get<CXSStringArray CXSettings::*>(field.member);
            for (qint32 i = 0; i < count; ++i) {
                QString value;
                if (!reader.ReadString(&value))
                    return false;
                AddTrimmedOnce(array, value);
            }
            break;
        }
        }
    }
    return true;
}

} // namespace

CXSettings::CXSettings()
{
    ResetToDefaults();
}

std::span<const SettingsField> CXSettings::StoredFields()
{
    return kStoredFields;
}

QString CXSettings::SettingsFileName()
{
    return DecodeFixedText(kSettingsFileNameHex);
}

QString CXSettings::MyPicturesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
}

void CXSettings::ResetToDefaults()
{
    const QString myPictures = MyPicturesFolder();
    for (const SettingsField& field : kStoredFields) {
        QString text;
        if (field.defaultSource == D::Signature)
            text = SettingsFileName();
        else if (field.defaultSource == D::MyPictures)
            text = myPictures;
        else if (field.defaultText)
            text = QString::fromUtf8(field.defaultText);

        switch (field.type) {
        case F::Int32:
            this->*std::get<qint32 CXSettings::*>(field.member) = static_cast<qint32>(field.defaultNumber);
            break;
        case F::Int64:
            this->*std::get<qint64 CXSettings::*>(field.member) = field.defaultNumber;
            break;
        case F::String:
            this->*std::get<QString CXSettings::*>(field.member) = text;
            break;
        case F::StringArray: {
            CXSStringArray& array = this->*std::get<CXSStringArray CXSettings::*>(field.member);
            array.clear();
            AddTrimmedOnce(array, text);
            break;
        }
        }
    }
    m_strDefaultSourceFolder = myPictures;
    RebuildIgnoreFolderNames();
}

bool CXSettings::LoadSettingsFromBytes(const QByteArray& bytes)
{
    SettingsReader reader(bytes);
    const bool complete = ReadStoredFields(*this, reader);
    RebuildIgnoreFolderNames();
    return complete;
}

bool CXSettings::LoadSettings()
{
    // The options beyond the binary file come from their own file, whatever state the binary one is in;
    // read first, so re-creating a missing binary file does not overwrite them with defaults.
    LoadOptions(*this);
    if (m_strSettingsPath.isEmpty() || !QFileInfo::exists(m_strSettingsPath)) {
        ResetToDefaults();
        m_nVersion = 1;
        SaveSettings();
    }
    QFile file(m_strSettingsPath);
    if (!file.open(QIODevice::ReadOnly)) {
        RebuildIgnoreFolderNames();
        return false;
    }
    return LoadSettingsFromBytes(file.read(kMaxSettingsFileSize));
}

QByteArray CXSettings::SaveSettingsToBytes() const
{
    QByteArray out;
    for (const SettingsField& field : kStoredFields) {
        switch (field.type) {
        case F::Int32: {
            const auto member = std::get<qint32 CXSettings::*>(field.member);
            // Whatever version was read, what is written is a version-1 file.
            AppendLittleEndian(out, member == &CXSettings::m_nVersion ? qint32(1) : this->*member);
            break;
        }
        case F::Int64:
            AppendLittleEndian(out, this->*std::get<qint64 CXSettings::*>(field.member));
            break;
        case F::String:
            AppendString(out, this->*std::get<QString CXSettings::*>(field.member));
            break;
        case F::StringArray: {
            const CXSStringArray& array = this->*std::get<CXSStringArray CXSettings::*>(field.member);
            AppendLittleEndian(out, static_cast<qint32>(array.size()));
            for (const QString& entry : array)
                AppendString(out, entry);
            break;
        }
        }
    }
    return out;
}

bool CXSettings::SaveSettings()
{
    m_nVersion = 1;
    if (m_strSettingsPath.isEmpty())
        return false;
    // Written beside the old file and renamed over it, so a crash or a full disk never leaves half a file
    // and never loses the previous one.
    QSaveFile file(m_strSettingsPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = SaveSettingsToBytes();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    const bool saved = file.commit();
    return SaveOptions(*this) && saved;
}

void CXSettings::AddSourceFolder(const QString& path)
{
    AddTrimmedOnce(m_arrSourceHistory, path);
}

bool CXSettings::IsIgnoredFolderName(const QString& name) const
{
    const QString lower = name.toLower();
    for (const QString& word : m_arrIgnoreFolderNames) {
        if (word == lower)
            return true;
    }
    return false;
}

qsizetype CXSettings::SplitWordList(const QString& text, CXSStringArray& words)
{
    words.clear();
    QString tidy = MakeTitleCase(text, false);
    tidy.replace(QLatin1Char(' '), QLatin1Char('|'));
    tidy += QLatin1Char('|');
    const QStringList tokens = tidy.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    for (QString token : tokens) {
        token = token.trimmed();
        if (token.size() >= 2)
            token = token.toLower();
        if (token.size() >= 3 && !words.Contains(token))
            words.InsertSorted(token);
    }
    return words.size();
}

void CXSettings::RebuildIgnoreFolderNames()
{
    QString text = m_strIgnoreFolderNames.toLower();
    text.replace(QLatin1String("  "), QLatin1String(" "));
    text.replace(QLatin1Char(','), QLatin1Char(' '));
    text.replace(QLatin1Char(';'), QLatin1Char(' '));
    SplitWordList(text, m_arrIgnoreFolderNames);
}

void CXSettings::SetIgnoreFolderNames(const QString& text)
{
    m_strIgnoreFolderNames = text;
    RebuildIgnoreFolderNames();
}

void CXSettings::ComputeLocations()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // Without a known base there is no data folder: never fall back to "/ZLV" at the root.
    m_strDataFolder = base.isEmpty() ? QString() : base + QStringLiteral("/ZLV");
    m_strSettingsPath = m_strDataFolder.isEmpty() ? QString() : m_strDataFolder + QLatin1Char('/') + SettingsFileName();
    m_strTempFolder = m_strDataFolder.isEmpty() ? QString() : m_strDataFolder + QStringLiteral("/Temp");
    // The help pages are built into the program as resources.
    m_strHelpPath = QStringLiteral(":/help");
}

bool CXSettings::CreateFolders(QString* error) const
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_strDataFolder.isEmpty())
        return fail(QStringLiteral("The data folder cannot be determined (no data location for this user)."));
    if (!QDir().mkpath(m_strDataFolder) || !QFileInfo(m_strDataFolder).isDir())
        return fail(
            QStringLiteral("Cannot create the data folder \"%1\".").arg(QDir::toNativeSeparators(m_strDataFolder)));
    if (!QDir().mkpath(m_strTempFolder) || !QFileInfo(m_strTempFolder).isDir())
        return fail(QStringLiteral("Cannot create the folder \"%1\".").arg(QDir::toNativeSeparators(m_strTempFolder)));
    return true;
}

bool CXSettings::InitializeSettings(QString* error)
{
    ComputeLocations();
    if (!CreateFolders(error))
        return false;
    LoadSettings();
    SaveSettings();
    return true;
}
