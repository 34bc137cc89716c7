#pragma once

// Google Takeout names its export parts "takeout-<timestamp>-<NNN>.zip" (or .tgz / .tar.gz), the
// timestamp in the form 20240601T101500Z, the same for every part of one export.

#include <QString>

struct CXTakeoutPartName
{
    bool m_bValid = false;   // the name has the export pattern
    bool m_bTarball = false; // a .tgz / .tar.gz part, which the program does not read
    QString m_strKey;        // the export's timestamp, "20240601T101500Z": the same for all its parts
    int m_nPart = 0;         // the part number, 1 for "-001"

    bool operator==(const CXTakeoutPartName&) const = default;
};

// Parses a file name (a path's folders are ignored). The prefix is matched as Google writes it
// ("takeout-", lower case); the extension in any case. The timestamp must be a real date and time.
CXTakeoutPartName ParseTakeoutPartName(const QString& fileName);

// The folder all parts of an export unpack into: "Takeout 2024-06-01" for the key 20240601T101500Z.
// Empty for a key that is not a timestamp.
QString TakeoutFolderName(const QString& key);

// Why a .tgz part is listed but not unpacked.
QString TakeoutTarballReason();
