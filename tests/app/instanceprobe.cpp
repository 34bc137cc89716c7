// A second process for the single-instance tests: instanceprobe NAME [--hold] [ARGUMENT...]
// Runs CXSingleInstance(NAME).Create with "zelvano" and the ARGUMENTs as the command line and prints
// "first" (exit 0) or "second" (exit 1). With --hold a first instance keeps listening and prints each
// hand-over it receives, one argument a line after a "wakeUp" line, until it is killed.
#include "app/singleinstance.h"

#include <cstdio>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fputs("usage: instanceprobe NAME [--hold] [ARGUMENT...]\n", stderr);
        return 2;
    }
    const QString name = args.at(1);
    args = args.mid(2);
    const bool hold = !args.isEmpty() && args.first() == QStringLiteral("--hold");
    if (hold)
        args.removeFirst();
    args.prepend(QStringLiteral("zelvano"));

    QTextStream out(stdout);
    CXSingleInstance instance(name);
    if (!instance.Create(args)) {
        out << "second\n";
        return 1;
    }
    out << "first\n";
    out.flush();
    if (!hold)
        return 0;
    QObject::connect(&instance, &CXSingleInstance::wakeUp, &app, [&out](const QStringList& received) {
        out << "wakeUp\n" << received.join(u'\n') << "\n";
        out.flush();
    });
    return QCoreApplication::exec();
}
