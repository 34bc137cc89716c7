#include "common/format.h"

#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <string>

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

namespace {

// True when the run-time locale writes an AM/PM marker; German, for one, has none.
bool LocaleHasAmPm()
{
    std::tm afternoon{};
    afternoon.tm_hour = 13;
    afternoon.tm_mday = 1;
    afternoon.tm_year = 100;
    wchar_t marker[16];
    return std::wcsftime(marker, 16, L"%p", &afternoon) > 0;
}

// The format with its 12-hour fields in 24-hour form: without a marker, "02:05" could be either time of day.
// %I becomes %H, %r becomes %T, and %p goes with the spaces before it (after it, when it leads).
QString TwentyFourHour(const QString& format)
{
    QString out;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format.at(i) != QLatin1Char('%') || i + 1 >= format.size()) {
            out += format.at(i);
            continue;
        }
        QString field = QStringLiteral("%");
        ++i;
        if ((format.at(i) == QLatin1Char('E') || format.at(i) == QLatin1Char('O')) && i + 1 < format.size())
            field += format.at(i++);
        const QChar c = format.at(i);
        if (c == QLatin1Char('I')) {
            out += field + QLatin1Char('H');
        } else if (c == QLatin1Char('r')) {
            out += QStringLiteral("%T");
        } else if (c == QLatin1Char('p')) {
            while (!out.isEmpty() && out.back() == QLatin1Char(' '))
                out.chop(1);
            if (out.isEmpty()) {
                while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char(' '))
                    ++i;
            }
        } else {
            out += field + c;
        }
    }
    return out;
}

} // namespace

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
    QString format = QString::fromUtf8(strftimeFormat);
    if (!LocaleHasAmPm())
        format = TwentyFourHour(format);
    // The wide form gives the names as characters, whatever the locale's byte encoding.
    const std::wstring wideFormat = format.toStdWString();
    wchar_t buffer[128];
    const std::size_t length = std::wcsftime(buffer, 128, wideFormat.c_str(), &local);
    return QString::fromWCharArray(buffer, static_cast<qsizetype>(length));
}
