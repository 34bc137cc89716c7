// The figures of an unpack run (the command line's live line, the window's status strip): they follow the
// run and never run backwards, the rate follows the last seconds and leaves pauses out, the time left
// follows the rate.
#include "unpack/unpackprogress.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

constexpr qint64 kMiB = 1024 * 1024;

QStringList L(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* t : texts)
        list << QString::fromUtf8(t);
    return list;
}

// "3M" is three MiB, "3000" three thousand bytes.
qint64 Bytes(const QString& text)
{
    if (text.endsWith(QLatin1Char('M')))
        return qint64(text.chopped(1).toDouble() * double(kMiB));
    return text.toLongLong();
}

} // namespace

class TestUnpackProgress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Events: "A pictures bytes" an archive starts, "E" an entry starts, "B n" the entry wrote n bytes so far,
    // "F n" the archive ends with n bytes on disk. After each event the pictures done and bytes shown.
    void figuresFollowTheRun_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QList<qint64>>("pictures");
        QTest::addColumn<QList<qint64>>("bytes");
        QTest::newRow("small pictures move the figures entry by entry")
            << L({"A 4 4000", "E", "E", "E", "E", "F 4000"}) << QList<qint64>{0, 0, 1, 2, 3, 4}
            << QList<qint64>{0, 0, 1000, 2000, 3000, 4000};
        QTest::newRow("a new entry keeps the bytes of the one before")
            << L({"A 2 2000000", "E", "B 900000", "E", "B 100000", "F 2000000"}) << QList<qint64>{0, 0, 0, 1, 1, 2}
            << QList<qint64>{0, 0, 900000, 1000000, 1000000, 2000000};
        QTest::newRow("an archive that put less on disk than counted")
            << L({"A 2 2000", "E", "E", "F 500", "A 1 1000", "E", "F 1000"}) << QList<qint64>{0, 0, 1, 2, 2, 2, 3}
            << QList<qint64>{0, 0, 1000, 1000, 1000, 1000, 1500};
        QTest::newRow("more entries than the scan counted")
            << L({"A 1 100", "E", "E", "E", "F 300"}) << QList<qint64>{0, 0, 1, 1, 1}
            << QList<qint64>{0, 0, 100, 100, 300};
        QTest::newRow("an archive that did not open") << L({"A 3 3000", "F 0", "A 1 10", "E", "F 10"})
                                                      << QList<qint64>{0, 3, 3, 3, 4} << QList<qint64>{0, 0, 0, 0, 10};
    }
    void figuresFollowTheRun()
    {
        QFETCH(QStringList, events);
        QFETCH(QList<qint64>, pictures);
        QFETCH(QList<qint64>, bytes);
        QCOMPARE(pictures.size(), events.size());
        CXUnpackProgress progress;
        int archives = 0;
        qint64 total = 0;
        for (const QString& event : events) {
            if (event.startsWith(QLatin1Char('A'))) {
                ++archives;
                total += event.section(QLatin1Char(' '), 1, 1).toLongLong();
            }
        }
        progress.SetTotals(archives, total);
        for (int i = 0; i < events.size(); ++i) {
            const QStringList parts = events.at(i).split(QLatin1Char(' '));
            const QChar kind = parts.at(0).at(0);
            if (kind == QLatin1Char('A'))
                progress.ArchiveStarted(QStringLiteral("Album%1.zip").arg(i), parts.at(1).toLongLong(),
                                        parts.at(2).toULongLong());
            else if (kind == QLatin1Char('E'))
                progress.EntryStarted(QStringLiteral("IMG_%1.jpg").arg(i));
            else if (kind == QLatin1Char('B'))
                progress.EntryBytes(parts.at(1).toLongLong());
            else
                progress.ArchiveFinished(parts.at(1).toULongLong());
            const QByteArray where = events.mid(0, i + 1).join(QStringLiteral(", ")).toUtf8();
            QVERIFY2(progress.PicturesDone() == pictures.at(i), where.constData());
            QVERIFY2(qint64(progress.BytesDone()) == bytes.at(i), where.constData());
        }
        const QString text = progress.Text(1000);
        QVERIFY2(text.startsWith(QStringLiteral("%1/%1 archives | %2/%3 pictures | Album")
                                     .arg(archives)
                                     .arg(pictures.last())
                                     .arg(total)),
                 qPrintable(text));
    }

    void lineNamesTheEntryAndTheSpeed()
    {
        CXUnpackProgress progress;
        progress.SetTotals(1, 2);
        progress.ArchiveStarted(QStringLiteral("Trip.zip"), 2, 2 * 1024 * 1024);
        progress.EntryStarted(QStringLiteral("one.jpg"));
        progress.EntryStarted(QStringLiteral("two.jpg"));
        QCOMPARE(progress.Text(2000),
                 QStringLiteral("1/1 archives | 1/2 pictures | Trip.zip | two.jpg | 1.0 MB | 0.5 MB/s"));
    }

    // The window's text after a script of the run. Besides the events above: "W t" the window shows the
    // text at t ms, "P t" / "R t" the run pauses / goes on at t ms. The run has two archives of 4 and 9 MB
    // unless archives is 0 (no totals given).
    void windowText_data()
    {
        QTest::addColumn<int>("archives");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<qint64>("at");
        QTest::addColumn<QStringList>("parts");
        const QStringList firstThreeSeconds =
            L({"A 4 4M", "W 0", "E", "B 1M", "W 1000", "E", "B 1M", "W 2000", "E", "B 1M", "W 3000"});
        QTest::newRow("nothing known") << 0 << QStringList() << qint64(0) << QStringList();
        QTest::newRow("before the first archive") << 2 << QStringList() << qint64(0) << L({"0 bytes of 13.0 MB"});
        QTest::newRow("start") << 2 << L({"A 4 4M"}) << qint64(0) << L({"Archive 1 of 2", "0 bytes of 13.0 MB"});
        QTest::newRow("no rate within the first second")
            << 2 << L({"A 4 4M", "W 0", "E", "B 1M"}) << qint64(900) << L({"Archive 1 of 2", "1.00 MB of 13.0 MB"});
        QTest::newRow("a rate before a time left")
            << 2 << L({"A 4 4M", "W 0", "E", "B 1M", "W 1000", "E", "B 1M"}) << qint64(2000)
            << L({"Archive 1 of 2", "2.00 MB of 13.0 MB", "1.00 MB/s"});
        QTest::newRow("mid-archive") << 2 << firstThreeSeconds << qint64(3000)
                                     << L({"Archive 1 of 2", "3.00 MB of 13.0 MB", "1.00 MB/s", "0:10 left"});
        QTest::newRow("last archive") << 2
                                      << L({"A 1 4M", "W 0", "E", "B 4M", "W 2000", "F 4M", "A 1 9M", "E", "B 2M",
                                            "W 4000"})
                                      << qint64(4000)
                                      << L({"Archive 2 of 2", "6.00 MB of 13.0 MB", "1.50 MB/s", "0:05 left"});
        QTest::newRow("while paused") << 2 << firstThreeSeconds + L({"P 3000", "W 20000"}) << qint64(30000)
                                      << L({"Archive 1 of 2", "3.00 MB of 13.0 MB", "1.00 MB/s", "0:10 left"});
        QTest::newRow("after a pause") << 2 << firstThreeSeconds + L({"P 3000", "W 20000", "R 63000", "E", "B 1M"})
                                       << qint64(64000)
                                       << L({"Archive 1 of 2", "4.00 MB of 13.0 MB", "1.00 MB/s", "0:09 left"});
        QTest::newRow("stalled") << 2 << firstThreeSeconds + L({"W 6000"}) << qint64(9000)
                                 << L({"Archive 1 of 2", "3.00 MB of 13.0 MB", "0 bytes/s"});
        QTest::newRow("everything written")
            << 2 << L({"A 1 4M", "W 0", "E", "B 4M", "F 4M", "W 2000", "A 1 9M", "E", "B 9M", "F 9M"}) << qint64(4000)
            << L({"Archive 2 of 2", "13.0 MB of 13.0 MB", "3.25 MB/s"});
        QTest::newRow("without totals") << 0 << firstThreeSeconds << qint64(3000)
                                        << L({"Archive 1", "3.00 MB", "1.00 MB/s"});
    }
    void windowText()
    {
        QFETCH(int, archives);
        QFETCH(QStringList, events);
        QFETCH(qint64, at);
        QFETCH(QStringList, parts);
        CXUnpackProgress progress;
        if (archives > 0)
            progress.SetTotals(archives, 13, quint64(13 * kMiB));
        int n = 0;
        for (const QString& event : events) {
            const QStringList words = event.split(QLatin1Char(' '));
            const QChar kind = words.at(0).at(0);
            const qint64 value = words.size() > 1 ? Bytes(words.at(1)) : 0;
            if (kind == QLatin1Char('A'))
                progress.ArchiveStarted(QStringLiteral("Album%1.zip").arg(++n), value, quint64(Bytes(words.at(2))));
            else if (kind == QLatin1Char('E'))
                progress.EntryStarted(QStringLiteral("IMG.jpg"));
            else if (kind == QLatin1Char('B'))
                progress.EntryBytes(value);
            else if (kind == QLatin1Char('F'))
                progress.ArchiveFinished(quint64(value));
            else if (kind == QLatin1Char('W'))
                progress.WindowText(value);
            else if (kind == QLatin1Char('P'))
                progress.Pause(value);
            else
                progress.Resume(value);
        }
        QCOMPARE(progress.WindowText(at), parts.join(QStringLiteral(" \u00b7 ")));
    }

    // The rate after a run of segments "duration bytesPerSecond" (or "pause duration"), noted every step
    // ms ("quiet duration bytesPerSecond": bytes move without a note, the rate is asked at its end); -1 for
    // none yet.
    void rateFollowsTheLastSeconds_data()
    {
        QTest::addColumn<QStringList>("segments");
        QTest::addColumn<int>("step");
        QTest::addColumn<double>("rate");
        QTest::newRow("steady") << L({"10000 1M"}) << 500 << double(kMiB);
        QTest::newRow("speeds up") << L({"10000 1M", "5000 4M"}) << 500 << 4.0 * kMiB;
        QTest::newRow("slows down") << L({"10000 4M", "5000 1M"}) << 500 << double(kMiB);
        QTest::newRow("stalls for two seconds") << L({"10000 2M", "2000 0"}) << 250 << 1.2 * kMiB;
        QTest::newRow("a long pause is left out") << L({"10000 2M", "pause 60000", "1000 2M"}) << 500 << 2.0 * kMiB;
        QTest::newRow("a pause inside the window") << L({"3000 1M", "pause 10000", "2000 4M"}) << 500 << 2.2 * kMiB;
        QTest::newRow("notes far apart span more") << L({"9000 1M", "3000 4M"}) << 3000 << 2.5 * kMiB;
        QTest::newRow("asked later than the last note") << L({"10000 1M", "quiet 5000 4M"}) << 1000 << 4.0 * kMiB;
        QTest::newRow("notes closer than 100 ms") << L({"10000 1M", "5000 4M"}) << 20 << 4.0 * kMiB;
        QTest::newRow("a second of data") << L({"1000 1M"}) << 500 << double(kMiB);
        QTest::newRow("less than a second") << L({"900 1M"}) << 300 << -1.0;
    }
    void rateFollowsTheLastSeconds()
    {
        QFETCH(QStringList, segments);
        QFETCH(int, step);
        QFETCH(double, rate);
        CXUnpackProgress progress;
        progress.SetTotals(1, 1, quint64(1000 * kMiB));
        progress.ArchiveStarted(QStringLiteral("Big.zip"), 1, quint64(1000 * kMiB));
        progress.EntryStarted(QStringLiteral("huge.tif"));
        qint64 clock = 0;
        double written = 0;
        progress.Sample(clock);
        for (const QString& segment : segments) {
            const QStringList words = segment.split(QLatin1Char(' '));
            if (words.at(0) == QLatin1String("pause")) {
                progress.Pause(clock);
                const qint64 end = clock + words.at(1).toLongLong();
                for (; clock < end; clock += step)
                    progress.Sample(clock);
                clock = end;
                progress.Resume(clock);
                continue;
            }
            const bool quiet = words.at(0) == QLatin1String("quiet");
            const qint64 end = clock + words.at(quiet ? 1 : 0).toLongLong();
            const double perSecond = double(Bytes(words.at(quiet ? 2 : 1)));
            while (clock < end) {
                clock += step;
                written += perSecond * step / 1000.0;
                progress.EntryBytes(qint64(written));
                if (!quiet)
                    progress.Sample(clock);
            }
        }
        const double got = progress.Rate(clock);
        if (rate < 0)
            QCOMPARE(got, -1.0);
        else
            QVERIFY2(qAbs(got - rate) <= rate * 1e-6, qPrintable(QString::number(got / double(kMiB))));
    }

    // A run of 20 MB that writes 1 MB a second, then a quarter of that, pauses, stalls and ends.
    void timeLeftFollowsTheRate()
    {
        CXUnpackProgress progress;
        progress.SetTotals(1, 1, quint64(20 * kMiB));
        progress.ArchiveStarted(QStringLiteral("Big.zip"), 1, quint64(20 * kMiB));
        progress.EntryStarted(QStringLiteral("huge.tif"));
        qint64 clock = 0;
        double written = 0;
        const auto run = [&](qint64 ms, double perSecond) {
            for (const qint64 end = clock + ms; clock < end;) {
                clock += 250;
                written += perSecond / 4;
                progress.EntryBytes(qint64(written));
                progress.Sample(clock);
            }
        };
        progress.Sample(0);
        run(2750, double(kMiB));
        QCOMPARE(progress.SecondsLeft(clock), qint64(-1)); // too early to tell
        // At a steady pace the time left falls a second each second.
        for (qint64 t = 3; t <= 10; ++t) {
            run(clock < 3000 ? 250 : 1000, double(kMiB));
            QCOMPARE(progress.SecondsLeft(clock), 20 - t);
        }
        // Slower: the time left rises to what the new pace needs, then falls again.
        qint64 before = progress.SecondsLeft(clock);
        for (int i = 0; i < 5; ++i) {
            run(1000, kMiB / 4.0);
            QVERIFY2(progress.SecondsLeft(clock) > before, qPrintable(QString::number(progress.SecondsLeft(clock))));
            before = progress.SecondsLeft(clock);
        }
        QCOMPARE(before, qint64(35)); // 8.75 MB at 0.25 MB/s
        run(2000, kMiB / 4.0);
        QCOMPARE(progress.SecondsLeft(clock), qint64(33));
        // A pause neither shortens nor lengthens it.
        progress.Pause(clock);
        QCOMPARE(progress.SecondsLeft(clock + 30000), qint64(33));
        clock += 30000;
        progress.Resume(clock);
        QCOMPARE(progress.SecondsLeft(clock), qint64(33));
        // Nothing moving for the whole window: no time left to tell.
        run(5000, 0);
        QCOMPARE(progress.SecondsLeft(clock), qint64(-1));
        QVERIFY(!progress.WindowText(clock).contains(QStringLiteral("left")));
        // Done.
        run(1000, double(kMiB));
        progress.ArchiveFinished(quint64(20 * kMiB));
        QCOMPARE(progress.SecondsLeft(clock), qint64(-1));
    }

    void durations_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << qint64(0) << QStringLiteral("0:00");
        QTest::newRow("seconds") << qint64(42) << QStringLiteral("0:42");
        QTest::newRow("minutes") << qint64(605) << QStringLiteral("10:05");
        QTest::newRow("just below an hour") << qint64(3599) << QStringLiteral("59:59");
        QTest::newRow("an hour") << qint64(3600) << QStringLiteral("1:00:00");
        QTest::newRow("hours") << qint64(3723) << QStringLiteral("1:02:03");
        QTest::newRow("many hours") << qint64(36 * 3600 + 59) << QStringLiteral("36:00:59");
    }
    void durations()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(CXUnpackProgress::FormatDuration(seconds), text);
    }

    // Runs of random archives, entries and byte reports (some smaller than the one before, archives that
    // put more or less on disk than counted, pauses): no figure ever goes back, and the run ends with every
    // picture and picture byte passed.
    void figuresNeverRunBackwards_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u, 4u, 5u, 6u})
            QTest::addRow("seed %u", seed) << seed;
    }
    void figuresNeverRunBackwards()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        const int archives = 6;
        QList<qint64> pictures;
        QList<quint64> pictureBytes;
        qint64 totalPictures = 0;
        quint64 totalBytes = 0;
        for (int i = 0; i < archives; ++i) {
            pictures << random.bounded(7);
            pictureBytes << (pictures.last() > 0 ? quint64(random.bounded(1, 50)) * quint64(kMiB) / 10 : 0);
            totalPictures += pictures.last();
            totalBytes += pictureBytes.last();
        }
        CXUnpackProgress progress;
        progress.SetTotals(archives, totalPictures, totalBytes);
        qint64 clock = 0;
        int lastArchive = 0;
        qint64 lastPictures = 0;
        quint64 lastBytes = 0;
        quint64 lastPassed = 0;
        // What went wrong after the step named what, or nothing.
        const auto check = [&](const char* what) -> QByteArray {
            clock += random.bounded(300);
            if (random.bounded(20) == 0) {
                if (progress.IsPaused())
                    progress.Resume(clock);
                else
                    progress.Pause(clock);
            }
            const QString text = progress.WindowText(clock);
            const bool fine = progress.Archive() >= lastArchive && progress.PicturesDone() >= lastPictures &&
                              progress.BytesDone() >= lastBytes && progress.BytesPassed() >= lastPassed &&
                              progress.BytesPassed() <= totalBytes && progress.PicturesDone() <= totalPictures &&
                              text.startsWith(QStringLiteral("Archive %1 of %2").arg(progress.Archive()).arg(archives));
            lastArchive = progress.Archive();
            lastPictures = progress.PicturesDone();
            lastBytes = progress.BytesDone();
            lastPassed = progress.BytesPassed();
            if (fine)
                return {};
            return QByteArray(what) + " at " + QByteArray::number(clock) + ": " + text.toUtf8() + " (" +
                   QByteArray::number(lastPictures) + " pictures, " + QByteArray::number(lastBytes) + " bytes, " +
                   QByteArray::number(lastPassed) + " passed)";
        };
        for (int a = 0; a < archives; ++a) {
            progress.ArchiveStarted(QStringLiteral("Album%1.zip").arg(a), pictures.at(a), pictureBytes.at(a));
            QByteArray problem = check("archive started");
            QVERIFY2(problem.isEmpty(), problem.constData());
            const qint64 entries = random.bounded(pictures.at(a) + 3);
            const qint64 perEntry = pictures.at(a) > 0 ? qint64(pictureBytes.at(a)) / pictures.at(a) : 1000;
            for (qint64 e = 0; e < entries; ++e) {
                progress.EntryStarted(QStringLiteral("IMG_%1.jpg").arg(e));
                problem = check("entry started");
                QVERIFY2(problem.isEmpty(), problem.constData());
                for (int b = random.bounded(4); b > 0; --b) {
                    progress.EntryBytes(random.bounded(perEntry * 3 / 2 + 1));
                    problem = check("entry bytes");
                    QVERIFY2(problem.isEmpty(), problem.constData());
                }
            }
            progress.ArchiveFinished(quint64(random.bounded(qint64(pictureBytes.at(a)) * 6 / 5 + 1)));
            problem = check("archive finished");
            QVERIFY2(problem.isEmpty(), problem.constData());
        }
        QCOMPARE(progress.Archive(), archives);
        QCOMPARE(progress.PicturesDone(), totalPictures);
        QCOMPARE(progress.BytesPassed(), totalBytes);
        QCOMPARE(progress.SecondsLeft(clock), qint64(-1));
    }
};

QTEST_GUILESS_MAIN(TestUnpackProgress)
#include "tst_progress.moc"
