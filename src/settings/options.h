#pragma once

#include <QString>
#include <QtGlobal>
#include <span>

class CXSettings;

// The settings that the binary file has no room for. They live in a small INI file beside it, so the
// binary layout stays exactly as it is and older copies of the program still read their file.

// One option of the INI file: its key ("Group/Name"), its name in listings, its member and default.
struct OptionField
{
    const char* key;
    const char* name;
    qint32 CXSettings::*member;
    qint32 defaultValue;
};

// The flag options in listing order. Beside them the file holds the code page of ZIP entry names
// (CXSettings::m_strZipNameEncoding, key "Names/ZipNameEncoding"), read as written.
// The options in listing order.
std::span<const OptionField> OptionFields();

// The INI file's name, and its path: beside the settings file (empty when that path is not known).
QString OptionsFileName();
QString OptionsFilePath(const CXSettings& settings);

// Sets every option from the INI file. A missing file, a file that cannot be read or parsed, a missing
// key or a value that is not one of the option's values gives that option its default.
void LoadOptions(CXSettings& settings);
// Writes every option to the INI file. False when the file could not be written.
bool SaveOptions(const CXSettings& settings);
