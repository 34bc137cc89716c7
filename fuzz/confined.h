#pragma once

// The check the extracting fuzz targets share: below their scratch folder, nothing but the output folder
// "a/b/out" (two levels down, so names climbing out with ".." land where the walk sees them), its two
// parents and the files the target named itself may exist; anything else aborts the run.

#include <QDir>
#include <QDirIterator>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

inline QString ConfinedOutput(const QString& base)
{
    return base + QStringLiteral("/a/b/out");
}

inline void AbortUnlessConfined(const QString& base, const QStringList& own = {})
{
    const QDir root(base);
    QDirIterator it(base, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = root.relativeFilePath(it.next());
        if (own.contains(relative) || relative == QLatin1String("a") || relative == QLatin1String("a/b") ||
            relative == QLatin1String("a/b/out") || relative.startsWith(QLatin1String("a/b/out/")))
            continue;
        std::fprintf(stderr, "written outside the output folder: %s\n", qPrintable(relative));
        std::abort();
    }
}
