#include <QImage>
#include <QTest>

// The PNG sizes of the application icon that the build renders for the desktop's icon theme.
class TestIcons : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void renderedSizes_data();
    void renderedSizes();
};

void TestIcons::renderedSizes_data()
{
    QTest::addColumn<int>("size");
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        QTest::addRow("%d px", size) << size;
}

void TestIcons::renderedSizes()
{
    QFETCH(int, size);
    const QString path = QStringLiteral(ZELVANO_ICON_DIR "/%1x%1/apps/zelvano.png").arg(size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(image.hasAlphaChannel());

    // Drawn, not blank: the corners stay transparent and the middle is covered.
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(qAlpha(argb.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(argb.pixel(size - 1, 0)), 0);
    QCOMPARE(qAlpha(argb.pixel(size / 2, size / 2)), 255);
    int covered = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            covered += qAlpha(argb.pixel(x, y)) > 0 ? 1 : 0;
    QVERIFY2(covered > size * size / 2, qPrintable(QString::number(covered)));
}

QTEST_GUILESS_MAIN(TestIcons)
#include "tst_icons.moc"
