#include "takeout/sidecarjson.h"

#include <QtTest>

using OptionalTime = std::optional<qint64>;
Q_DECLARE_METATYPE(OptionalTime)

class TestSidecarJson : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void time_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<OptionalTime>("expected");

        const OptionalTime none;
        QTest::newRow("export sidecar")
            << QByteArray("{\"title\": \"IMG_1234.JPG\", \"description\": \"\", "
                          "\"creationTime\": {\"timestamp\": \"1717236900\", \"formatted\": \"01.06.2024\"}, "
                          "\"photoTakenTime\": {\"timestamp\": \"1561889700\", \"formatted\": \"30.06.2019\"}, "
                          "\"geoData\": {\"latitude\": 39.2, \"longitude\": 9.1}, \"people\": [{\"name\": \"Anna\"}]}")
            << OptionalTime(1561889700);
        QTest::newRow("taken time only") << QByteArray("{\"photoTakenTime\": {\"timestamp\": \"1561889700\"}}")
                                         << OptionalTime(1561889700);
        QTest::newRow("creation time when taken is missing")
            << QByteArray("{\"creationTime\": {\"timestamp\": \"1717236900\"}}") << OptionalTime(1717236900);
        QTest::newRow("creation time when taken is empty")
            << QByteArray(
                   "{\"photoTakenTime\": {\"timestamp\": \"\"}, \"creationTime\": {\"timestamp\": \"1717236900\"}}")
            << OptionalTime(1717236900);
        QTest::newRow("creation time when taken is zero")
            << QByteArray(
                   "{\"photoTakenTime\": {\"timestamp\": \"0\"}, \"creationTime\": {\"timestamp\": \"1717236900\"}}")
            << OptionalTime(1717236900);
        QTest::newRow("number instead of string")
            << QByteArray("{\"photoTakenTime\": {\"timestamp\": 1561889700}}") << OptionalTime(1561889700);
        QTest::newRow("spaces around the digits")
            << QByteArray("{\"photoTakenTime\": {\"timestamp\": \" 1561889700 \"}}") << OptionalTime(1561889700);
        QTest::newRow("no times") << QByteArray("{\"title\": \"IMG_1234.JPG\"}") << none;
        QTest::newRow("timestamp not a number")
            << QByteArray("{\"photoTakenTime\": {\"timestamp\": \"yesterday\"}}") << none;
        QTest::newRow("fraction") << QByteArray("{\"photoTakenTime\": {\"timestamp\": 1561889700.5}}") << none;
        QTest::newRow("negative") << QByteArray("{\"photoTakenTime\": {\"timestamp\": \"-5\"}}") << none;
        QTest::newRow("beyond year 9999")
            << QByteArray("{\"photoTakenTime\": {\"timestamp\": \"253402300800\"}}") << none;
        QTest::newRow("time block not an object") << QByteArray("{\"photoTakenTime\": \"1561889700\"}") << none;
        QTest::newRow("array document") << QByteArray("[{\"photoTakenTime\": {\"timestamp\": \"1\"}}]") << none;
        QTest::newRow("cut off") << QByteArray("{\"photoTakenTime\": {\"timestamp\": \"1561889700\"") << none;
        QTest::newRow("empty") << QByteArray() << none;
        QTest::newRow("binary") << QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10) << none;
    }
    void time()
    {
        QFETCH(QByteArray, json);
        QFETCH(OptionalTime, expected);
        QCOMPARE(ReadSidecarTime(json), expected);
    }

    // A huge document is refused by its size, before any parsing; one just under the cap is read.
    void sizeCap()
    {
        const QByteArray head("{\"photoTakenTime\": {\"timestamp\": \"1561889700\"}, \"description\": \"");
        const QByteArray tail("\"}");
        QByteArray fits = head + QByteArray(kMaxSidecarBytes - head.size() - tail.size(), 'x') + tail;
        QCOMPARE(fits.size(), kMaxSidecarBytes);
        QCOMPARE(ReadSidecarTime(fits), OptionalTime(1561889700));
        fits.insert(head.size(), 'x');
        QCOMPARE(ReadSidecarTime(fits), OptionalTime());
    }
};

QTEST_GUILESS_MAIN(TestSidecarJson)
#include "tst_sidecarjson.moc"
