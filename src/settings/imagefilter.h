#pragma once

#include <QString>
#include <QStringView>

class CXSettings;

// The image list in pattern form ("*.jpg;*.jpeg;...") from the enabled types and the extra extensions,
// trimmed and lower-cased.
QString BuildImagePatternList(const CXSettings& settings);

// The list of archive extensions the scan looks for: ".zip;.rar;".
QString BuildArchiveExtensionList();

// The extension form of a pattern list: every "*." becomes ".".
QString ToExtensionList(const QString& patternList);

// True when the file name's extension (from the last "." after the last "/", "\" or ":", dot included)
// equals one item of the ";"-separated extension list, ignoring case and the spaces around an item.
// A part of an item never matches: "a.jp", "a.t" and "a." are not pictures for ".jpg;.tif;".
bool MatchesExtensionList(const QString& fileName, const QString& extensionList);

// The same test for an extension alone (the text from a name's last "." on).
bool HasListedExtension(QStringView extension, QStringView extensionList);
