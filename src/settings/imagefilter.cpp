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

bool MatchesExtensionList(const QString& fileName, const QString& extensionList)
{
    const QString name = fileName.toLower();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    for (qsizetype i = dot + 1; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return false; // the dot belongs to a folder name, the file itself has no extension
    }
    const QString extension = name.mid(dot);
    return extensionList.contains(extension, Qt::CaseInsensitive);
}
