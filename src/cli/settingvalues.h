#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <span>

class CXSettings;
struct SettingsField;
struct OptionField;

namespace zelvano::cli {

// The values `zelvano-cli settings set` accepts for each stored field and option. The stored-field table
// (CXSettings::StoredFields) and the option table (OptionFields) name the fields and their types; this adds
// what each value means.

// One allowed value of a choice: the number stored, and what it stands for.
struct ChoiceValue
{
    qint32 value;
    const char* meaning;
};

// A stored field whose value is one of a fixed set of numbers, listed in the order the window lists them.
struct ChoiceField
{
    const char* name;
    std::span<const ChoiceValue> values;
};

std::span<const ChoiceField> ChoiceFields();

// One field of either file, found by its name in the listing of `zelvano-cli settings`.
// The name of the second file's text option, the code page of ZIP entry names (empty: detected).
inline constexpr const char* kNameEncodingSetting = "zipNameEncoding";

struct NamedSetting
{
    const SettingsField* stored = nullptr; // a field of the settings file, or
    const OptionField* option = nullptr;   // an option of the second file
    bool derived = false;                  // the ignore-word list, made from m_strIgnoreFolderNames
    bool nameEncoding = false;             // the text option of the second file: the ZIP name code page
};

// False when no field has that name.
bool FindSetting(const QString& name, NamedSetting& found);

// The lines describing the values of every kind of field, for the help: one line per choice field.
QStringList SettingValueLines();

// Checks value for the field and, when it is allowed, sets it in settings. Otherwise returns false with
// *why saying what is allowed (or that the field cannot be set).
bool SetSetting(CXSettings& settings, const NamedSetting& field, const QString& value, QString* why);

// The value of the field as `settings get` prints it: one line, or one line per entry of a list.
QStringList GetSetting(const CXSettings& settings, const NamedSetting& field);

} // namespace zelvano::cli
