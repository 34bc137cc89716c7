#pragma once

#include <limits>
#include <QtGlobal>

// Sums of sizes that hostile archives declare: they stop at the largest value instead of wrapping, so a
// forged size can never make a total look small.
inline quint64 SaturatingAdd(quint64 a, quint64 b)
{
    return b > std::numeric_limits<quint64>::max() - a ? std::numeric_limits<quint64>::max() : a + b;
}
