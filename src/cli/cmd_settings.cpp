#include "cli/clicommon.h"
#include "cli/commands.h"
#include "cli/help.h"
#include "settings/options.h"
#include "settings/settings.h"

#include <QCommandLineParser>

namespace zelvano::cli {

namespace {

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
}

} // namespace

int RunSettingsCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const CommandDoc& doc = *FindCommandDoc(QStringLiteral("settings"));
    QCommandLineParser parser;
    AddDocumentedOptions(parser, doc);
    const QString usage = SynopsisText(doc);
    if (!ParseCommandArguments(parser, QStringLiteral("settings"), usage, args, err))
        return kExitUsage;
    if (!parser.positionalArguments().isEmpty()) {
        err << "zelvano-cli settings: unexpected argument '" << parser.positionalArguments().first() << "'\n";
        err << "Usage: " << usage << "\n";
        return kExitUsage;
    }

    CXSettings settings;
    QString error;
    if (!settings.InitializeSettings(&error)) {
        err << "zelvano-cli settings: " << error << "\n";
        return kExitFailure;
    }
    out << DisplayPath(settings.m_strSettingsPath) << "\n";
    PrintSettings(settings, out);
    return kExitOk;
}

} // namespace zelvano::cli
