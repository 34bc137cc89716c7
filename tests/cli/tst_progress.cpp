// The live line of zelvano-cli unpack: its figures follow the run and never run backwards.
#include "cli/unpackprogress.h"

#include "cli/clirun.h"

#include <QtTest>

using zelvano::cli::CXUnpackProgress;
using zelvano::test::L;

class TestCliProgress : public QObject
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
};

QTEST_GUILESS_MAIN(TestCliProgress)
#include "tst_progress.moc"
