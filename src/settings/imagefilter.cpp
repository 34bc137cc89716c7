#include "settings/imagefilter.h"

#include "settings/settings.h"

QString BuildImagePatternList(const CXSettings& settings)
{
    QString list;
    if (settings.m_bTypeJPEG)
        list += QLatin1String("*.jpg;*.jpeg;");
    if (settings.m_bTypeBMP)
        list += QLatin1String("*.bmp;");
    if (settings.m_bTypePNG)
        list += QLatin1String("*.png;");
    if (settings.m_bTypeGIF)
        list += QLatin1String("*.gif;");
    if (settings.m_bTypeTIFF)
        list += QLatin1String("*.tif;*.tiff;");
    list += settings.m_strExtraExtensions;
    return list.trimmed().toLower();
}

QString BuildArchiveExtensionList()
{
    return QStringLiteral(".zip;.rar;");
}

QString ToExtensionList(const QString& patternList)
{
    QString list = patternList;
    return list.replace(QLatin1String("*."), QLatin1String("."));
}

bool HasListedExtension(QStringView extension, QStringView extensionList)
{
    // A lone "." is no extension: it would equal nothing real, and an empty item must not match it.
    if (extension.size() < 2 || extension.front() != QLatin1Char('.'))
        return false;
    for (const QStringView item : extensionList.tokenize(QLatin1Char(';'))) {
        if (item.trimmed().compare(extension, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool MatchesExtensionList(const QString& fileName, const QString& extensionList)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QStringView extension = QStringView(fileName).mid(dot);
    for (const QChar c : extension) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return false; // the dot belongs to a folder name, the file itself has no extension
    }
    return HasListedExtension(extension, extensionList);
}
