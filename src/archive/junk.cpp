#include "archive/junk.h"

QString NormalizedEntryName(const QString& entryName)
{
    QString name = entryName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && name.at(begin) == QLatin1Char('/'))
        ++begin;
    while (end > begin && name.at(end - 1) == QLatin1Char('/'))
        --end;
    return name.mid(begin, end - begin);
}

void CXJunkRules::AddName(const QString& entryName)
{
    m_names.insert(NormalizedEntryName(entryName));
}

bool CXJunkRules::IsKnownJunk(const QString& entryName) const
{
    const QString name = NormalizedEntryName(entryName);
    if (name == QLatin1String("__MACOSX") || name.startsWith(QLatin1String("__MACOSX/")))
        return true;
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    const QString base = name.mid(slash + 1);
    if (base == QLatin1String(".DS_Store") || base == QLatin1String("Thumbs.db") ||
        base == QLatin1String("desktop.ini"))
        return true;
    if (base.size() > 2 && base.startsWith(QLatin1String("._"))) {
        const QString companion = name.left(slash + 1) + base.mid(2);
        return m_names.contains(companion);
    }
    return false;
}
