#pragma once

#include <QString>

// Case-insensitive comparison of names, used wherever the program orders or matches names without regard
// to case (the source-folder history, the found archives, the ignored folder words).

inline int CompareNoCase(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive);
}

inline bool EqualsNoCase(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

// A strict weak ordering for sorting and binary search without regard to case.
struct LessNoCase
{
    bool operator()(const QString& a, const QString& b) const { return CompareNoCase(a, b) < 0; }
};
