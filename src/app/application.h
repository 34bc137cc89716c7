#pragma once

#include <QString>
#include <QStringList>

class QApplication;
class QTextStream;

// The program's identity for Qt and the desktop: organization and application name, version, the desktop
// entry's name (so the window is matched to zelvano.desktop and its icon) and the window icon.
void SetupApplication(QApplication& app);

// What `zelvano [--no-splash] [FOLDER]` asked for.
struct StartArguments
{
    QString folder;     // absolute and cleaned; empty when none was given (or it was not a folder)
    bool splash = true; // false with --no-splash
    bool ok = true;     // false: end at once with exitCode (help or version shown, or a usage error)
    int exitCode = 0;   // 0 after --help and --version, 2 for a usage error
};

// Parses the command line, the program's path first (as QCoreApplication::arguments() gives it). --help and
// --version print to out; usage errors and a FOLDER that is not an existing folder are reported on err.
// A FOLDER that is not a folder is left out and the program starts as without one: a window with the
// last folder is more use than no window, and the message says why nothing was scanned.
StartArguments ParseStartArguments(const QStringList& arguments, QTextStream& out, QTextStream& err);
// The same with stdout and stderr.
StartArguments ParseStartArguments(const QStringList& arguments);
