#pragma once

#include <QStringList>
#include <QTextStream>

namespace zelvano::cli {

// Runs one zelvano-cli command. args excludes the program name. Returns the process exit code.
int Run(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace zelvano::cli
