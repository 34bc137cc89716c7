#include "cli/cli.h"

#include <cstdio>
#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrelworks"));
    QCoreApplication::setApplicationName(QStringLiteral("Zelvano"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZELVANO_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return zelvano::cli::Run(args, out, err);
}
