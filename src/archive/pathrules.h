#pragma once

// The one set of rules for names that come out of archives and for the paths written from them: the ZIP
// reader (folder entries, output paths), the RAR binding (output paths) and the destination planner
// (entry names) all ask here, so they cannot disagree on what is safe.
//
// Archivers made on Windows store "\" where others store "/": both separate parts. A name is unsafe when
// it could lead anywhere but below the folder it is written into: an absolute name ("/x", and "\\server"
// for UNC), a drive letter ("C:x", "C:\x"), a part made only of dots and spaces other than "." (Windows
// drops trailing dots and spaces, so ".. " and "..." are parent references there), and any control
// character (a NUL cuts the name short for the system).

#include <QString>
#include <QStringList>
#include <QStringView>

namespace zelvano::pathrules {

bool IsSeparator(QChar c);
bool IsControlCharacter(QChar c);
bool HasControlCharacter(QStringView text);
// A part made only of dots and spaces, "." excepted (it names the folder itself and is dropped).
bool IsDotsOnly(QStringView part);

enum class NameCheck
{
    Relative,          // the parts name a place below the destination
    ControlCharacters, // the name holds a control character
    LeadsOutside,      // absolute, a drive letter, or a dots-only part
};

// Splits an archive entry's name into the parts of a relative path: empty parts and "." are dropped.
// parts is left empty unless the name is Relative.
NameCheck SplitEntryName(QStringView name, QStringList& parts);

// True when the "/"-separated path is root or lies below it (both absolute, cleaned).
bool IsWithin(const QString& path, const QString& root);

// The text after the last separator (the whole name when there is none).
QStringView LastPart(QStringView name);

// An output path a file may be written to: absolute, without control characters and without dots-only
// parts, so it names one place without doubt.
bool IsSafeOutputPath(const QString& path);

} // namespace zelvano::pathrules
