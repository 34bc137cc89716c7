#pragma once

#include <QString>
#include <QtGlobal>

// The number with a comma before every group of three digits from the right: 1234567 -> "1,234,567",
// -1234 -> "-1,234" (the minus sign does not count as a digit).
QString FormatNumber(qint64 number);

// The short byte-size text: below 1,024 "N bytes", then KB, MB, GB, TB, PB, EB with three significant
// digits, truncated, not rounded ("1.50 KB" for 1,536, "1.99 KB" for 2,047, "0.97 MB" for 1,000 KB).
QString FormatByteSize(quint64 bytes);

// FormatNumber(count), a space and the noun, with "s" appended unless count is exactly 1. When aligned,
// the number is right-aligned in 6 characters.
QString FormatQuantity(qint64 count, const QString& noun, bool aligned);

// The time (seconds since 1970) in local time, formatted with strftime (day and month names of the
// current C locale). At most 127 characters; an empty text when conversion or formatting fails.
// Where the locale has no AM/PM marker, the hour is written in 24-hour form: %I as %H, %r as %T, and %p
// is left out with the spaces before it ("@%I:%M:%S %p" gives "@14:05:09" in German).
QString FormatTime(qint64 secondsSince1970, const char* strftimeFormat);
