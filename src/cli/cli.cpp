#include "cli/cli.h"

#include "cli/commands.h"
#include "cli/help.h"

namespace zelvano::cli {

namespace {

struct Command
{
    const char* name;
    int (*run)(const QStringList&, QTextStream&, QTextStream&);
};

// Each command adds its line here and its text in help.cpp.
const Command kCommands[] = {
    {"settings", RunSettingsCommand},
    {"scan", RunScanCommand},
    {"unpack", RunUnpackCommand},
};

bool IsHelp(const QString& arg)
{
    return arg == QLatin1String("--help") || arg == QLatin1String("-h");
}

// --help anywhere before a "--" asks for the command's help, whatever else is given.
bool AsksForHelp(const QStringList& args)
{
    for (const QString& arg : args) {
        if (arg == QLatin1String("--"))
            return false;
        if (IsHelp(arg))
            return true;
    }
    return false;
}

void PrintUsage(QTextStream& s)
{
    s << "Usage: zelvano-cli --help | --version | --man\n";
    for (const CommandDoc& command : CommandDocs())
        s << UsageText(command).replace(QStringLiteral("Usage: "), QStringLiteral("       "));
}

} // namespace

int Run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.isEmpty()) {
        PrintUsage(err);
        return 2;
    }
    if (IsHelp(args.first())) {
        out << ProgramHelpText();
        return 0;
    }
    if (args.first() == QLatin1String("--version")) {
        out << "zelvano-cli " << ZELVANO_VERSION << "\n";
        return 0;
    }
    if (args.first() == QLatin1String("--man")) {
        out << ManPageText();
        return 0;
    }
    for (const Command& c : kCommands) {
        if (args.first() != QLatin1String(c.name))
            continue;
        const QStringList rest = args.mid(1);
        const CommandDoc* doc = FindCommandDoc(args.first());
        if (doc && AsksForHelp(rest)) {
            out << CommandHelpText(*doc);
            return 0;
        }
        return c.run(rest, out, err);
    }
    err << "zelvano-cli: unknown command '" << args.first() << "'\n";
    PrintUsage(err);
    return 2;
}

} // namespace zelvano::cli
