#include "common/format.h"

#include <cstdlib>
#include <ctime>

QString FormatNumber(qint64 number)
{
    const QString digits = QString::number(number);
    const qsizetype start = number < 0 ? 1 : 0;
    QString result = digits.left(start);
    const qsizetype count = digits.size() - start;
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0)
            result += QLatin1Char(',');
        result += digits.at(start + i);
    }
    return result;
}

namespace {

// floor(r * scale / 2^shift) for r < 2^shift and a small scale, exact and without overflow: the top ten
// bits are scaled directly and the rest recursively (floor((n + x) / m) == floor((n + floor(x)) / m)).
quint64 ScaledFraction(quint64 r, int shift, quint64 scale)
{
    if (shift <= 10)
        return (r * scale) >> shift;
    const int lowBits = shift - 10;
    const quint64 top = r >> lowBits;
    const quint64 low = r & ((quint64(1) << lowBits) - 1);
    return (top * scale + ScaledFraction(low, lowBits, scale)) >> 10;
}

} // namespace

QString FormatByteSize(quint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);

    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0;
    int shift = 10;
    // A unit serves up to 1,000 of it; from there the next unit shows "0.97 MB" and the like.
    while (unit < 5 && (bytes >> shift) >= 1000) {
        ++unit;
        shift += 10;
    }
    const quint64 whole = bytes >> shift;
    const int decimals = whole < 10 ? 2 : whole < 100 ? 1 : 0;
    QString text = QString::number(whole);
    if (decimals > 0) {
        const quint64 scale = decimals == 2 ? 100 : 10;
        const quint64 fraction = ScaledFraction(bytes & ((quint64(1) << shift) - 1), shift, scale);
        text += QLatin1Char('.') + QStringLiteral("%1").arg(fraction, decimals, 10, QLatin1Char('0'));
    }
    return text + QLatin1Char(' ') + QLatin1String(kUnits[unit]);
}

QString FormatQuantity(qint64 count, const QString& noun, bool aligned)
{
    QString number = FormatNumber(count);
    if (aligned)
        number = number.rightJustified(6, QLatin1Char(' '));
    QString text = number + QLatin1Char(' ') + noun;
    if (count != 1)
        text += QLatin1Char('s');
    return text;
}

QString FormatTime(qint64 secondsSince1970, const char* strftimeFormat)
{
    if (!strftimeFormat)
        return {};
    const std::time_t t = static_cast<std::time_t>(secondsSince1970);
    if (static_cast<qint64>(t) != secondsSince1970)
        return {};
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &t) != 0)
        return {};
#else
    if (!localtime_r(&t, &local))
        return {};
#endif
    char buffer[128];
    const std::size_t length = std::strftime(buffer, sizeof buffer, strftimeFormat, &local);
    return QString::fromLocal8Bit(buffer, static_cast<qsizetype>(length));
}
