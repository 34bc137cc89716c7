#include "common/format.h"

#include <clocale>
#include <ctime>
#include <QtTest>

class TestFormat : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // FormatTime works in local time: pin the zone so the expected texts hold on any machine.
        qputenv("TZ", "UTC");
        tzset();
        // The application sets the user's locale at start; these texts are those of the C locale.
        std::setlocale(LC_ALL, "C");
    }
    void cleanup() { std::setlocale(LC_ALL, "C"); }

    void formatNumber_data()
    {
        QTest::addColumn<qint64>("number");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("zero")                         << qint64(0)        << QStringLiteral("0");
        QTest::newRow("three digits, no comma")       << qint64(999)      << QStringLiteral("999");
        QTest::newRow("first group")                  << qint64(1000)     << QStringLiteral("1,000");
        QTest::newRow("two groups")                   << qint64(1234567)  << QStringLiteral("1,234,567");
        QTest::newRow("minus is not a digit")         << qint64(-1234)    << QStringLiteral("-1,234");
        QTest::newRow("minus with three digits")      << qint64(-123)     << QStringLiteral("-123");
        QTest::newRow("minus six digits, no lead comma") << qint64(-123456) << QStringLiteral("-123,456");
        QTest::newRow("int32 minimum")                << qint64(INT_MIN)  << QStringLiteral("-2,147,483,648");
        QTest::newRow("int64 minimum")                << std::numeric_limits<qint64>::min() << QStringLiteral("-9,223,372,036,854,775,808");
        // clang-format on
    }
    void formatNumber()
    {
        QFETCH(qint64, number);
        QFETCH(QString, expected);
        QCOMPARE(FormatNumber(number), expected);
    }

    void formatByteSize_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("expected");
        const quint64 KB = 1024, MB = KB * KB, GB = MB * KB, TB = GB * KB;
        // clang-format off
        QTest::newRow("zero")                           << quint64(0)        << QStringLiteral("0 bytes");
        QTest::newRow("last byte count")                << quint64(1023)     << QStringLiteral("1023 bytes");
        QTest::newRow("first KB")                       << KB                << QStringLiteral("1.00 KB");
        QTest::newRow("half is exact")                  << quint64(1536)     << QStringLiteral("1.50 KB");
        QTest::newRow("truncated, not rounded")         << quint64(2047)     << QStringLiteral("1.99 KB");
        QTest::newRow("below ten KB keeps two places")  << 10 * KB - 1      << QStringLiteral("9.99 KB");
        QTest::newRow("ten KB one place")               << 10 * KB          << QStringLiteral("10.0 KB");
        QTest::newRow("below 100 KB truncated")         << 100 * KB - 1     << QStringLiteral("99.9 KB");
        QTest::newRow("100 KB no places")               << 100 * KB         << QStringLiteral("100 KB");
        QTest::newRow("just below 1000 KB")             << 1000 * KB - 1    << QStringLiteral("999 KB");
        QTest::newRow("1000 KB shows as MB")            << 1000 * KB        << QStringLiteral("0.97 MB");
        QTest::newRow("just below 1 MB")                << MB - 1           << QStringLiteral("0.99 MB");
        QTest::newRow("one MB")                         << MB               << QStringLiteral("1.00 MB");
        QTest::newRow("quarter GB truncated")                       << GB + GB / 4      << QStringLiteral("1.25 GB");
        QTest::newRow("just below 1 GB")                << GB - 1           << QStringLiteral("0.99 GB");
        QTest::newRow("one TB")                         << TB               << QStringLiteral("1.00 TB");
        QTest::newRow("999 TB")                         << 999 * TB         << QStringLiteral("999 TB");
        QTest::newRow("largest value, no overflow")     << std::numeric_limits<quint64>::max() << QStringLiteral("15.9 EB");
        // clang-format on
    }
    void formatByteSize()
    {
        QFETCH(quint64, bytes);
        QFETCH(QString, expected);
        QCOMPARE(FormatByteSize(bytes), expected);
    }

    void formatQuantity_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<bool>("aligned");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("one is singular")            << qint64(1)     << false << QStringLiteral("1 archive");
        QTest::newRow("zero is plural")             << qint64(0)     << false << QStringLiteral("0 archives");
        QTest::newRow("minus one is plural")        << qint64(-1)    << false << QStringLiteral("-1 archives");
        QTest::newRow("grouped plural")             << qint64(1234)  << false << QStringLiteral("1,234 archives");
        QTest::newRow("aligned in six")             << qint64(1)     << true  << QStringLiteral("     1 archive");
        QTest::newRow("aligned grouped")            << qint64(12345) << true  << QStringLiteral("12,345 archives");
        QTest::newRow("wider than six not cut")     << qint64(1234567) << true << QStringLiteral("1,234,567 archives");
        // clang-format on
    }
    void formatQuantity()
    {
        QFETCH(qint64, count);
        QFETCH(bool, aligned);
        QFETCH(QString, expected);
        QCOMPARE(FormatQuantity(count, QStringLiteral("archive"), aligned), expected);
    }

    void formatTime_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QString>("expected");
        const QByteArray tooLong(200, 'x');
        // clang-format off
        QTest::newRow("epoch")                 << qint64(0)          << QByteArray("%Y-%m-%d %H:%M:%S") << QStringLiteral("1970-01-01 00:00:00");
        QTest::newRow("report name date")      << qint64(1700000000) << QByteArray("SCAN %m-%d-%Y")     << QStringLiteral("SCAN 11-14-2023");
        QTest::newRow("day and month names")   << qint64(0)          << QByteArray("%A %B")             << QStringLiteral("Thursday January");
        QTest::newRow("result over 127 chars") << qint64(0)          << tooLong                         << QString();
        QTest::newRow("empty format")          << qint64(0)          << QByteArray("")                  << QString();
        // clang-format on
    }
    void formatTime()
    {
        QFETCH(qint64, seconds);
        QFETCH(QByteArray, format);
        QFETCH(QString, expected);
        QCOMPARE(FormatTime(seconds, format.constData()), expected);
    }

    // Times read the same in every locale: without an AM/PM marker the hour is written in 24-hour form.
    void formatTimeInLocale_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QString>("expected");
        const qint64 afternoon = 1615125909; // Sunday, 2021-03-07 14:05:09 UTC
        const qint64 night = 1615077009;     // the same day at 00:30:09
        const QByteArray report("%A, %B %d, %Y @%I:%M:%S %p");
        const QByteArray C("C"), utf8("C.UTF-8"), german("de_DE.UTF-8");
        // clang-format off
        QTest::newRow("C: report time keeps its marker")       << C      << afternoon << report              << QStringLiteral("Sunday, March 07, 2021 @02:05:09 PM");
        QTest::newRow("C: half past midnight is 12 AM")        << C      << night     << QByteArray("%I:%M %p") << QStringLiteral("12:30 AM");
        QTest::newRow("C.UTF-8: report time keeps its marker") << utf8   << afternoon << report              << QStringLiteral("Sunday, March 07, 2021 @02:05:09 PM");
        QTest::newRow("German: report time in 24 hours")       << german << afternoon << report              << QStringLiteral("Sonntag, M\u00e4rz 07, 2021 @14:05:09");
        QTest::newRow("German: half past midnight is 00")      << german << night     << QByteArray("%I:%M %p") << QStringLiteral("00:30");
        QTest::newRow("German: a leading marker goes")         << german << afternoon << QByteArray("%p %I:%M") << QStringLiteral("14:05");
        QTest::newRow("German: marker mid-text")               << german << afternoon << QByteArray("%I %p, %d") << QStringLiteral("14, 07");
        QTest::newRow("German: locale 12-hour time")           << german << afternoon << QByteArray("%r")    << QStringLiteral("14:05:09");
        QTest::newRow("German: a literal %p stays")            << german << afternoon << QByteArray("%I %%p %%I") << QStringLiteral("14 %p %I");
        QTest::newRow("German: 24-hour fields unchanged")      << german << afternoon << QByteArray("%H:%M:%S") << QStringLiteral("14:05:09");
        QTest::newRow("German: report file name")              << german << afternoon << QByteArray("SCAN %m-%d-%Y") << QStringLiteral("SCAN 03-07-2021");
        // clang-format on
    }
    void formatTimeInLocale()
    {
        QFETCH(QByteArray, locale);
        QFETCH(qint64, seconds);
        QFETCH(QByteArray, format);
        QFETCH(QString, expected);
        if (!std::setlocale(LC_ALL, locale.constData()))
            QSKIP("locale not installed (scripts/install-deps.sh generates it)");
        QCOMPARE(FormatTime(seconds, format.constData()), expected);
    }

    void formatTimeOfAnAbsurdTimeIsEmpty()
    {
        QCOMPARE(FormatTime(std::numeric_limits<qint64>::max(), "%Y"), QString());
        QCOMPARE(FormatTime(0, nullptr), QString());
    }
};

QTEST_GUILESS_MAIN(TestFormat)
#include "tst_format.moc"
