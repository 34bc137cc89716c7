#include "cli/cli.h"

#include "cli/commands.h"

namespace zelvano::cli {

namespace {

struct Command
{
    const char* name;
    int (*run)(const QStringList&, QTextStream&, QTextStream&);
    const char* usage;
};

// Each command adds its line here.
const Command kCommands[] = {
    {"settings", RunSettingsCommand, "zelvano-cli settings"},
    {"scan", RunScanCommand, "zelvano-cli scan [--report FILE] [--json] FOLDER"},
    {"unpack", RunUnpackCommand, "zelvano-cli unpack [options] FOLDER   (options: zelvano-cli unpack --help)"},
};

void PrintUsage(QTextStream& s)
{
    s << "Usage: zelvano-cli --version\n";
    for (const Command& c : kCommands)
        s << "       " << c.usage << "\n";
}

} // namespace

int Run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        PrintUsage(args.isEmpty() ? err : out);
        return args.isEmpty() ? 2 : 0;
    }
    if (args.first() == QLatin1String("--version")) {
        out << "zelvano-cli " << ZELVANO_VERSION << "\n";
        return 0;
    }
    for (const Command& c : kCommands) {
        if (c.run && args.first() == QLatin1String(c.name))
            return c.run(args.mid(1), out, err);
    }
    err << "zelvano-cli: unknown command '" << args.first() << "'\n";
    PrintUsage(err);
    return 2;
}

} // namespace zelvano::cli
