#include "settings/options.h"

#include "settings/settings.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const OptionField kOptionFields[] = {
    {"Deletion/DeleteOtherFiles", "deleteOtherFiles", &CXSettings::m_bDeleteOtherFiles, 0},
    {"Exports/ExportDetection", "exportDetection", &CXSettings::m_bExportDetection, 1},
};

// The one text option; its values are the ZIP reader's to judge, so it is kept as written.
const char* const kZipNameEncodingKey = "Names/ZipNameEncoding";

// Every option of the table is a flag: only 0 and 1 are values, anything else is damage.
bool ReadFlag(const QSettings& ini, const char* key, qint32* value)
{
    bool ok = false;
    const int number = ini.value(QLatin1String(key)).toString().trimmed().toInt(&ok);
    if (!ok || (number != 0 && number != 1))
        return false;
    *value = number;
    return true;
}

} // namespace

std::span<const OptionField> OptionFields()
{
    return kOptionFields;
}

QString OptionsFileName()
{
    return QStringLiteral("ZelvanoOptions.ini");
}

QString OptionsFilePath(const CXSettings& settings)
{
    if (settings.m_strSettingsPath.isEmpty())
        return QString();
    return QFileInfo(settings.m_strSettingsPath).path() + QLatin1Char('/') + OptionsFileName();
}

void LoadOptions(CXSettings& settings)
{
    for (const OptionField& field : kOptionFields)
        settings.*field.member = field.defaultValue;
    settings.m_strZipNameEncoding.clear();
    const QString path = OptionsFilePath(settings);
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    const QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        return;
    for (const OptionField& field : kOptionFields) {
        qint32 value = 0;
        if (ReadFlag(ini, field.key, &value))
            settings.*field.member = value;
    }
    settings.m_strZipNameEncoding = ini.value(QLatin1String(kZipNameEncodingKey)).toString().trimmed();
}

bool SaveOptions(const CXSettings& settings)
{
    const QString path = OptionsFilePath(settings);
    if (path.isEmpty())
        return false;
    QSettings ini(path, QSettings::IniFormat);
    // A damaged file is replaced as a whole rather than patched.
    ini.clear();
    for (const OptionField& field : kOptionFields)
        ini.setValue(QLatin1String(field.key), settings.*field.member);
    ini.setValue(QLatin1String(kZipNameEncodingKey), settings.m_strZipNameEncoding);
    ini.sync();
    return ini.status() == QSettings::NoError;
}
