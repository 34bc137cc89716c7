#include "cli/settingvalues.h"

#include "archive/zip.h"
#include "settings/options.h"
#include "settings/settings.h"

#include <limits>

namespace zelvano::cli {

namespace {

const ChoiceValue kDoubleClick[] = {{DoubleClickOpenFolder, "open the containing folder"},
                                    {DoubleClickOpenArchive, "open the archive"}};
const ChoiceValue kNameDisplay[] = {
    {NameFileName, "file name"}, {NameRelativePath, "relative path name"}, {NameFullPath, "full path name"}};
const ChoiceValue kAfterExtraction[] = {{AfterDoNothing, "do nothing"},
                                        {AfterDeleteToTrash, "delete the archive to the trash"},
                                        {AfterDeletePermanently, "delete the archive permanently"}};
const ChoiceValue kWhenToDelete[] = {{DeleteAfterEach, "after processing each archive"},
                                     {DeleteAfterAll, "after processing all archives"}};
const ChoiceValue kValidationLevel[] = {
    {ValidateExists, "level 1: the picture exists"},
    {ValidateSize, "level 2: it exists and its size matches"},
    {ValidateLoads, "level 3: it exists, its size matches and it loads as a picture"}};
const ChoiceValue kExtractTo[] = {{ExtractSmart, "Smart Extraction"},
                                  {ExtractHere, "here, in the folder the archive lies in"},
                                  {ExtractToFolder, "a new folder named after the archive"}};
const ChoiceValue kRenameCase[] = {
    {RenameTitle, "Title Case"}, {RenameLower, "lower case"}, {RenameUpper, "UPPER CASE"}};
const ChoiceValue kSortColumn[] = {{0, "archive name"}, {1, "type"},   {2, "last modified"},
                                   {3, "size"},         {4, "photos"}, {5, "extraction mode"}};

const ChoiceField kChoiceFields[] = {
    {"m_nDoubleClickAction", kDoubleClick},   {"m_nNameDisplay", kNameDisplay},
    {"m_nAfterExtraction", kAfterExtraction}, {"m_nWhenToDelete", kWhenToDelete},
    {"m_nValidationLevel", kValidationLevel}, {"m_nExtractTo", kExtractTo},
    {"m_nRenameCase", kRenameCase},           {"m_nSortColumn", kSortColumn},
};

const char kDerivedName[] = "m_arrIgnoreFolderNames";

const ChoiceField* FindChoice(const char* name)
{
    for (const ChoiceField& choice : kChoiceFields) {
        if (qstrcmp(choice.name, name) == 0)
            return &choice;
    }
    return nullptr;
}

// The program writes these itself: the format version and the file's own name.
bool IsReadOnly(const SettingsField& field)
{
    return qstrcmp(field.name, "m_nVersion") == 0 || qstrcmp(field.name, "m_strSignature") == 0;
}

// Flags are the 32-bit fields named m_b...: 0 or 1.
bool IsFlag(const SettingsField& field)
{
    return field.type == SettingsFieldType::Int32 && qstrncmp(field.name, "m_b", 3) == 0;
}

// Widths, sizes and the like never go below zero; the reserved fields carry whatever they held.
bool MayBeNegative(const SettingsField& field)
{
    return qstrncmp(field.name, "m_nReserved", 11) == 0;
}

// "0 = do nothing, 2 = ..."; space joins a number to its meaning (the help keeps them on one line).
QString ChoiceList(const ChoiceField& choice, QChar space = QLatin1Char(' '))
{
    QStringList items;
    for (const ChoiceValue& v : choice.values)
        items << QString::number(v.value) + space + QLatin1Char('=') + space + QLatin1String(v.meaning);
    return items.join(QStringLiteral(", "));
}

bool ParseNumber(const QString& text, qint64 low, qint64 high, qint64* value)
{
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    if (!ok || text != text.trimmed() || number < low || number > high)
        return false;
    *value = number;
    return true;
}

QString Number(qint64 value)
{
    return QString::number(value);
}

} // namespace

std::span<const ChoiceField> ChoiceFields()
{
    return kChoiceFields;
}

bool FindSetting(const QString& name, NamedSetting& found)
{
    found = NamedSetting();
    for (const SettingsField& field : CXSettings::StoredFields()) {
        if (name == QLatin1String(field.name)) {
            found.stored = &field;
            return true;
        }
    }
    for (const OptionField& option : OptionFields()) {
        if (name == QLatin1String(option.name)) {
            found.option = &option;
            return true;
        }
    }
    found.nameEncoding = name == QLatin1String(kNameEncodingSetting);
    found.derived = name == QLatin1String(kDerivedName);
    return found.derived || found.nameEncoding;
}

QStringList SettingValueLines()
{
    QStringList lines;
    for (const ChoiceField& choice : kChoiceFields)
        lines << QLatin1String(choice.name) + QStringLiteral(": ") + ChoiceList(choice, QChar(0x00A0)) +
                     QLatin1Char('.');
    return lines;
}

bool SetSetting(CXSettings& settings, const NamedSetting& field, const QString& value, QString* why)
{
    const auto refuse = [&](const QString& text) {
        *why = text;
        return false;
    };
    const QString flagText = QStringLiteral("allowed: 0 (off), 1 (on)");
    if (field.derived)
        return refuse(QStringLiteral("it is made from m_strIgnoreFolderNames; set that one instead"));
    if (field.nameEncoding) {
        if (!ZipIsNameEncoding(value))
            return refuse(QStringLiteral("allowed: empty (found per archive) or one of ") +
                          ZipNameEncodingNames().join(QStringLiteral(", ")));
        settings.m_strZipNameEncoding = value.trimmed();
        return true;
    }
    if (field.option) {
        qint64 number = 0;
        if (!ParseNumber(value, 0, 1, &number))
            return refuse(flagText);
        settings.*field.option->member = qint32(number);
        return true;
    }
    const SettingsField& stored = *field.stored;
    if (IsReadOnly(stored))
        return refuse(QStringLiteral("the program writes it itself"));
    switch (stored.type) {
    case SettingsFieldType::Int32: {
        qint64 number = 0;
        if (const ChoiceField* choice = FindChoice(stored.name)) {
            const bool known =
                ParseNumber(value, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), &number) &&
                std::any_of(choice->values.begin(), choice->values.end(),
                            [&](const ChoiceValue& v) { return v.value == number; });
            if (!known)
                return refuse(QStringLiteral("allowed: ") + ChoiceList(*choice));
        } else if (IsFlag(stored)) {
            if (!ParseNumber(value, 0, 1, &number))
                return refuse(flagText);
        } else {
            const qint64 low = MayBeNegative(stored) ? std::numeric_limits<qint32>::min() : 0;
            const qint64 high = std::numeric_limits<qint32>::max();
            if (!ParseNumber(value, low, high, &number))
                return refuse(QStringLiteral("allowed: a whole number from %1 to %2").arg(low).arg(high));
        }
        settings.*std::get<qint32 CXSettings::*>(stored.member) = qint32(number);
        return true;
    }
    case SettingsFieldType::Int64: {
        qint64 number = 0;
        const qint64 low = std::numeric_limits<qint64>::min(), high = std::numeric_limits<qint64>::max();
        if (!ParseNumber(value, low, high, &number))
            return refuse(QStringLiteral("allowed: a whole number from %1 to %2").arg(low).arg(high));
        settings.*std::get<qint64 CXSettings::*>(stored.member) = number;
        return true;
    }
    case SettingsFieldType::String:
        if (stored.member == SettingsField::Member(&CXSettings::m_strIgnoreFolderNames))
            settings.SetIgnoreFolderNames(value); // the word list follows at once
        else
            settings.*std::get<QString CXSettings::*>(stored.member) = value;
        return true;
    case SettingsFieldType::StringArray: {
        // A ';'-separated list; kept as the program keeps it: trimmed, each once, in order.
        CXSStringArray& array = settings.*std::get<CXSStringArray CXSettings::*>(stored.member);
        array.clear();
        for (const QString& part : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!part.trimmed().isEmpty())
                settings.AddSourceFolder(part);
        }
        return true;
    }
    }
    return refuse(QString());
}

QStringList GetSetting(const CXSettings& settings, const NamedSetting& field)
{
    QStringList lines;
    const auto addArray = [&](const CXSStringArray& array) {
        for (qsizetype i = 0; i < array.size(); ++i)
            lines << array.at(i);
    };
    if (field.derived) {
        addArray(settings.m_arrIgnoreFolderNames);
        return lines;
    }
    if (field.option)
        return {Number(settings.*field.option->member)};
    if (field.nameEncoding)
        return {settings.m_strZipNameEncoding};
    const SettingsField& stored = *field.stored;
    switch (stored.type) {
    case SettingsFieldType::Int32:
        return {Number(settings.*std::get<qint32 CXSettings::*>(stored.member))};
    case SettingsFieldType::Int64:
        return {Number(settings.*std::get<qint64 CXSettings::*>(stored.member))};
    case SettingsFieldType::String:
        return {settings.*std::get<QString CXSettings::*>(stored.member)};
    case SettingsFieldType::StringArray:
        addArray(settings.*std::get<CXSStringArray CXSettings::*>(stored.member));
        break;
    }
    return lines;
}

} // namespace zelvano::cli
