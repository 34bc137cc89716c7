#include "archive/pathrules.h"

#include <QDir>

#include <algorithm>

namespace zelvano::pathrules {

bool IsSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

bool IsControlCharacter(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

bool HasControlCharacter(QStringView text)
{
    return std::any_of(text.cbegin(), text.cend(), IsControlCharacter);
}

bool IsDotsOnly(QStringView part)
{
    if (part.isEmpty() || part == QLatin1String("."))
        return false;
    return std::all_of(part.cbegin(), part.cend(),
                       [](QChar c) { return c == QLatin1Char('.') || c == QLatin1Char(' '); });
}

namespace {

bool StartsWithDriveLetter(QStringView name)
{
    return name.size() >= 2 && name[1] == QLatin1Char(':') && name[0].unicode() < 0x80 && name[0].isLetter();
}

// Appends the parts of text, dropping empty ones and "."; false at a dots-only part.
bool AppendParts(QStringView text, QStringList& parts)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !IsSeparator(text[i]))
            continue;
        const QStringView part = text.mid(start, i - start);
        start = i + 1;
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (IsDotsOnly(part))
            return false;
        parts.append(part.toString());
    }
    return true;
}

} // namespace

NameCheck SplitEntryName(QStringView name, QStringList& parts)
{
    parts.clear();
    if (HasControlCharacter(name))
        return NameCheck::ControlCharacters;
    if ((!name.isEmpty() && IsSeparator(name.front())) || StartsWithDriveLetter(name))
        return NameCheck::LeadsOutside;
    if (!AppendParts(name, parts)) {
        parts.clear();
        return NameCheck::LeadsOutside;
    }
    return NameCheck::Relative;
}

QStringView LastPart(QStringView name)
{
    for (qsizetype i = name.size(); i > 0; --i) {
        if (IsSeparator(name[i - 1]))
            return name.mid(i);
    }
    return name;
}

bool IsSafeOutputPath(const QString& path)
{
    if (path.isEmpty() || HasControlCharacter(path) || !QDir::isAbsolutePath(path))
        return false;
    QStringList parts;
    return AppendParts(path, parts);
}

bool IsWithin(const QString& path, const QString& root)
{
    if (path == root)
        return true;
    if (root.endsWith(QLatin1Char('/')))
        return path.startsWith(root);
    return path.size() > root.size() && path.startsWith(root) && path.at(root.size()) == QLatin1Char('/');
}

} // namespace zelvano::pathrules
