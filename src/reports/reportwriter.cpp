#include "reports/reportwriter.h"

#include <mutex>
#include <QFile>

namespace {

std::recursive_mutex& ReportLock()
{
    static std::recursive_mutex lock;
    return lock;
}

} // namespace

bool AppendReportLine(const QString& filePath, const QString& text)
{
    std::lock_guard guard(ReportLock());
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    QByteArray bytes = text.toUtf8();
    bytes.append("\r\n", 2);
    const bool written = file.write(bytes) == bytes.size();
    return file.flush() && written;
}

QString ReportSeparatorLine()
{
    return QString(100, QLatin1Char('-'));
}

QString ReportFieldLine(const QString& label, const QString& value)
{
    return label.leftJustified(22) + value;
}

bool RemoveReportFile(const QString& filePath)
{
    if (!QFile::exists(filePath))
        return true;
    return QFile::remove(filePath);
}
