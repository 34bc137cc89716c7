#include "takeout/exportname.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>

namespace {

// takeout-YYYYMMDDTHHMMSSZ-NNN.ext; a part number has three digits, and more past 999.
const QRegularExpression& PartPattern()
{
    static const QRegularExpression re(
        QStringLiteral(
            "^takeout-((\\d{4})(\\d{2})(\\d{2})T(\\d{2})(\\d{2})(\\d{2})Z)-(\\d{3,6})\\.(zip|tgz|tar\\.gz)$"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

} // namespace

CXTakeoutPartName ParseTakeoutPartName(const QString& fileName)
{
    CXTakeoutPartName result;
    const QString name = fileName.section(QLatin1Char('/'), -1);
    if (!name.startsWith(QLatin1String("takeout-")))
        return result;
    const QRegularExpressionMatch m = PartPattern().match(name);
    if (!m.hasMatch())
        return result;
    // The key's letters are as Google writes them; a lower-case "t" or "z" is not an export's name.
    if (m.captured(1) != m.captured(1).toUpper())
        return result;
    const QDate date(m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
    const QTime time(m.captured(5).toInt(), m.captured(6).toInt(), m.captured(7).toInt());
    const int part = m.captured(8).toInt();
    if (!date.isValid() || !time.isValid() || part < 1)
        return result;
    result.m_bValid = true;
    result.m_bTarball = m.captured(9).compare(QLatin1String("zip"), Qt::CaseInsensitive) != 0;
    result.m_strKey = m.captured(1);
    result.m_nPart = part;
    return result;
}

QString TakeoutFolderName(const QString& key)
{
    const QDate date = QDate::fromString(key.left(8), QStringLiteral("yyyyMMdd"));
    if (key.size() != 16 || !date.isValid())
        return QString();
    return QStringLiteral("Takeout ") + date.toString(Qt::ISODate);
}

QString TakeoutTarballReason()
{
    return QStringLiteral("a Google Takeout part in .tgz form, which is not supported (choose .zip for the export)");
}
