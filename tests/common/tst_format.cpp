#include "common/format.h"

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
    }

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

    void formatTimeOfAnAbsurdTimeIsEmpty()
    {
        QCOMPARE(FormatTime(std::numeric_limits<qint64>::max(), "%Y"), QString());
        QCOMPARE(FormatTime(0, nullptr), QString());
    }
};

QTEST_GUILESS_MAIN(TestFormat)
#include "tst_format.moc"
