#pragma once

#include <QStringList>
#include <QTextStream>

namespace zelvano::cli {

// One function per command; args excludes the command word. Each returns the process exit code.
int RunSettingsCommand(const QStringList& args, QTextStream& out, QTextStream& err);
int RunScanCommand(const QStringList& args, QTextStream& out, QTextStream& err);
int RunUnpackCommand(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace zelvano::cli
