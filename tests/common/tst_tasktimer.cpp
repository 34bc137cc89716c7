#include "common/tasktimer.h"

#include <QtTest>

class TestTaskTimer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void elapsedText_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("nothing elapsed")              << qint64(0)          << QStringLiteral("0:00:00");
        QTest::newRow("seconds two digits")           << qint64(7)          << QStringLiteral("0:00:07");
        QTest::newRow("hour, minute, second")         << qint64(3661)       << QStringLiteral("1:01:01");
        QTest::newRow("just under an hour")           << qint64(3599)       << QStringLiteral("0:59:59");
        QTest::newRow("hours are not wrapped at 24")  << qint64(100 * 3600) << QStringLiteral("100:00:00");
        QTest::newRow("clock went back")              << qint64(-5)         << QStringLiteral("0:00:00");
        // clang-format on
    }
    void elapsedText()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, expected);
        qint64 now = 1000000;
        CXTaskTimer timer([&now] { return now; });
        timer.Start();
        now += seconds;
        QCOMPARE(timer.GetElapsedText(), expected); // while running: measured up to now
        timer.Stop();
        QCOMPARE(timer.GetElapsedText(), expected);
    }

    void startAndStopSetTheFields()
    {
        qint64 now = 50;
        CXTaskTimer timer([&now] { return now; });
        timer.Start();
        QCOMPARE(timer.m_bRunning, 1);
        QCOMPARE(timer.m_nProgress, 0);
        QCOMPARE(timer.m_tStart, qint64(50));
        QCOMPARE(timer.m_tEnd, qint64(50));
        now = 80;
        timer.Stop();
        QCOMPARE(timer.m_bRunning, 0);
        QCOMPARE(timer.m_nProgress, 100);
        QCOMPARE(timer.m_tEnd, qint64(80));
    }

    void stoppedTimerDoesNotMoveOn()
    {
        qint64 now = 0;
        CXTaskTimer timer([&now] { return now; });
        timer.Start();
        now = 10;
        timer.Stop();
        now = 500;
        timer.Stop(); // a second stop must not move the end
        QCOMPARE(timer.GetElapsedText(), QStringLiteral("0:00:10"));
        QCOMPARE(timer.m_tEnd, qint64(10));
    }

    void defaultClockIsTheSystemClock()
    {
        CXTaskTimer timer;
        timer.Start();
        QVERIFY(qAbs(timer.m_tStart - QDateTime::currentSecsSinceEpoch()) <= 2);
    }
};

QTEST_GUILESS_MAIN(TestTaskTimer)
#include "tst_tasktimer.moc"
