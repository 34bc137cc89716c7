#include "cli/clicommon.h"
#include "cli/commands.h"
#include "cli/help.h"
#include "cli/settingvalues.h"
#include "settings/options.h"
#include "settings/settings.h"

#include <QCommandLineParser>

namespace zelvano::cli {

namespace {

// The start-up settings steps; false (with the reason on err) when the data folder cannot be made.
bool InitializeOrSay(CXSettings& settings, QTextStream& err)
{
    QString error;
    if (settings.InitializeSettings(&error))
        return true;
    err << "zelvano-cli settings: " << error << "\n";
    return false;
}

// One line per stored field in file order, then the derived ignore-word list, then the options of the
// second file; all from the field tables, so the listing always matches what the files hold.
void PrintSettings(const CXSettings& s, QTextStream& out)
{
    for (const SettingsField& field : CXSettings::StoredFields()) {
        const QString name = QString::fromLatin1(field.name);
        switch (field.type) {
        case SettingsFieldType::Int32:
            out << name << " = " << s.*std::get<qint32 CXSettings::*>(field.member) << "\n";
            break;
        case SettingsFieldType::Int64:
            out << name << " = " << s.*std::get<qint64 CXSettings::*>(field.member) << "\n";
            break;
        case SettingsFieldType::String:
            out << name << " = " << s.*std::get<QString CXSettings::*>(field.member) << "\n";
            break;
        case SettingsFieldType::StringArray: {
            const CXSStringArray& array = s.*std::get<CXSStringArray CXSettings::*>(field.member);
            for (qsizetype i = 0; i < array.size(); ++i)
                out << name << "[" << i << "] = " << array.at(i) << "\n";
            break;
        }
        }
    }
    for (qsizetype i = 0; i < s.m_arrIgnoreFolderNames.size(); ++i)
        out << "m_arrIgnoreFolderNames[" << i << "] = " << s.m_arrIgnoreFolderNames.at(i) << "\n";
    // Then the options of the second file, beside the binary one.
    for (const OptionField& field : OptionFields())
        out << field.name << " = " << s.*field.member << "\n";
    out << kNameEncodingSetting << " = " << s.m_strZipNameEncoding << "\n";
}

// settings get NAME and settings set NAME VALUE. Their words are taken as given, so a value may start
// with a dash.
int GetOrSet(const QStringList& args, const QString& usage, QTextStream& out, QTextStream& err)
{
    const bool set = args.first() == QLatin1String("set");
    if (args.size() != (set ? 3 : 2)) {
        err << "zelvano-cli settings: " << (set ? "set takes a NAME and a VALUE" : "get takes one NAME") << "\n";
        err << "Usage: " << usage << "\n";
        return kExitUsage;
    }
    const QString& name = args.at(1);
    NamedSetting field;
    if (!FindSetting(name, field)) {
        err << "zelvano-cli settings: unknown setting '" << name << "' (zelvano-cli settings lists the names)\n";
        return kExitUsage;
    }
    // The value is checked on a record of its own first: a refused value touches no file.
    if (set) {
        CXSettings probe;
        QString why;
        if (!SetSetting(probe, field, args.at(2), &why)) {
            err << "zelvano-cli settings: " << name << " cannot be set to '" << args.at(2) << "': " << why << "\n";
            return kExitUsage;
        }
    }

    CXSettings settings;
    if (!InitializeOrSay(settings, err))
        return kExitFailure;
    if (!set) {
        for (const QString& line : GetSetting(settings, field))
            out << line << "\n";
        return kExitOk;
    }
    QString why;
    SetSetting(settings, field, args.at(2), &why);
    const bool inOptions = field.option || field.nameEncoding;
    const bool saved = inOptions ? SaveOptions(settings) : settings.SaveSettings();
    if (!saved) {
        err << "zelvano-cli settings: cannot save "
            << DisplayPath(inOptions ? OptionsFilePath(settings) : settings.m_strSettingsPath) << "\n";
        return kExitFailure;
    }
    const QStringList values = GetSetting(settings, field);
    if (field.stored && field.stored->type == SettingsFieldType::StringArray) {
        for (qsizetype i = 0; i < values.size(); ++i)
            out << name << "[" << i << "] = " << values.at(i) << "\n";
    } else {
        out << name << " = " << values.value(0) << "\n";
    }
    return kExitOk;
}

} // namespace

int RunSettingsCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const CommandDoc& doc = *FindCommandDoc(QStringLiteral("settings"));
    QCommandLineParser parser;
    AddDocumentedOptions(parser, doc);
    const QString usage = SynopsisText(doc);
    if (!args.isEmpty() && (args.first() == QLatin1String("get") || args.first() == QLatin1String("set")))
        return GetOrSet(args, usage, out, err);
    if (!ParseCommandArguments(parser, QStringLiteral("settings"), usage, args, err))
        return kExitUsage;
    if (!parser.positionalArguments().isEmpty()) {
        err << "zelvano-cli settings: unexpected argument '" << parser.positionalArguments().first() << "'\n";
        err << "Usage: " << usage << "\n";
        return kExitUsage;
    }

    CXSettings settings;
    if (!InitializeOrSay(settings, err))
        return kExitFailure;
    out << DisplayPath(settings.m_strSettingsPath) << "\n";
    PrintSettings(settings, out);
    return kExitOk;
}

} // namespace zelvano::cli
