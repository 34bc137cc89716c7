#include "cli/cli.h"

namespace zelvano::cli {

namespace {

void PrintUsage(QTextStream& s)
{
    s << "Usage: zelvano-cli --version\n";
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
    err << "zelvano-cli: unknown command '" << args.first() << "'\n";
    PrintUsage(err);
    return 2;
}

} // namespace zelvano::cli
