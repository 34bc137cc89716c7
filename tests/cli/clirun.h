#pragma once

#include "cli/cli.h"

#include <initializer_list>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace zelvano::test {

struct CliResult
{
    int code = -1;
    QString out;
    QString err;
};

// Runs one zelvano-cli command in this process; args exclude the program name.
inline CliResult RunCli(const QStringList& args)
{
    CliResult r;
    QTextStream o(&r.out), e(&r.err);
    r.code = zelvano::cli::Run(args, o, e);
    o.flush();
    e.flush();
    return r;
}

inline QStringList L(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* t : texts)
        list << QString::fromUtf8(t);
    return list;
}

} // namespace zelvano::test
