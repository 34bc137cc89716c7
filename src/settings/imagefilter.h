#pragma once

#include <QString>

class CXSettings;

// The image list in pattern form ("*.jpg;*.jpeg;...") from the enabled types and the extra extensions,
// trimmed and lower-cased.
QString BuildImagePatternList(const CXSettings& settings);

// The list of archive extensions the scan looks for: ".zip;.rar;".
QString BuildArchiveExtensionList();

// The extension form of a pattern list: every "*." becomes ".".
QString ToExtensionList(const QString& patternList);

// True when the file name's extension (from the last "." after the last "/", "\" or ":", dot included,
// lower-cased) is not empty and occurs anywhere in the extension list. The test is a substring search on
// purpose: ".jpe" matches ".jpeg;".
bool MatchesExtensionList(const QString& fileName, const QString& extensionList);
