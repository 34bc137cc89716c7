// The start-up picture: the water routine on small maps (steps, ripples, the rendering's bounds) and the
// window around it (placement, the notice in the picture, ripples under the pointer, closing on time).
#include "ui/splashwindow.h"
#include "ui/waterripple.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cstdlib>

namespace {

int MaxAbs(const CXWaterRoutine& water, bool first)
{
    int most = 0;
    for (int y = 0; y < water.Height(); ++y)
        for (int x = 0; x < water.Width(); ++x)
            most = std::max(most, std::abs(water.HeightAt(first, x, y)));
    return most;
}

int BorderMaxAbs(const CXWaterRoutine& water)
{
    int most = 0;
    for (bool first : {true, false}) {
        for (int x = 0; x < water.Width(); ++x) {
            most = std::max(most, std::abs(water.HeightAt(first, x, 0)));
            most = std::max(most, std::abs(water.HeightAt(first, x, water.Height() - 1)));
        }
        for (int y = 0; y < water.Height(); ++y) {
            most = std::max(most, std::abs(water.HeightAt(first, 0, y)));
            most = std::max(most, std::abs(water.HeightAt(first, water.Width() - 1, y)));
        }
    }
    return most;
}

// Every pixel tells its own position: red and green are x and y, blue a fixed mid value.
QImage PositionPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 4, 128));
    return image;
}

QImage Filled(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

void SendMove(QWidget* widget, const QPoint& at)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(widget->mapToGlobal(at)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

} // namespace

class TestSplash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stepFollowsTheWaveRule_data();
    void stepFollowsTheWaveRule();
    void rippleIsARoundDropInsideTheBorder_data();
    void rippleIsARoundDropInsideTheBorder();
    void rippleGoesToTheMapTheNextStepReads();
    void rippleSpreadsAndFades();
    void borderNeverMoves_data();
    void borderNeverMoves();
    void renderBendsAndShades_data();
    void renderBendsAndShades();
    void renderRefusesMismatchedPictures();

    void showsCentredOnTopWithTheNotice();
    void pointerLeavesARipple();
    void clickSignalsAndRipples();
    void closesAfterTheDisplayTime();
};

// One interior cell: twice the mean of its eight neighbours in the map read, less its own value in the map
// written, damped by a 32nd (arithmetic shifts, so negative values round down).
void TestSplash::stepFollowsTheWaveRule_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("neighbour"); // the one non-zero neighbour in the map read
    QTest::addColumn<int>("previous");  // the cell's own value in the map written
    QTest::addColumn<int>("expected");

    QTest::newRow("page 1 reads the first map") << 1 << 256 << 0 << 62;                   // 64 - 2
    QTest::newRow("page 0 reads the second map") << 0 << 256 << 0 << 62;                  // 64 - 2
    QTest::newRow("the written map's old value counts against") << 1 << 100 << 40 << -14; // -15 + 1
    QTest::newRow("negative rounds down") << 0 << -100 << 0 << -24;                       // -25 + 1
    QTest::newRow("small values are not damped") << 1 << 124 << 0 << 31;                  // 31 - 0
    QTest::newRow("a flat surface stays flat") << 0 << 0 << 0 << 0;
}

void TestSplash::stepFollowsTheWaveRule()
{
    QFETCH(int, page);
    QFETCH(int, neighbour);
    QFETCH(int, previous);
    QFETCH(int, expected);

    const bool readFirst = page == 1;
    CXWaterRoutine water;
    water.Create(5, 5);
    water.SetHeight(readFirst, 1, 1, neighbour);
    water.SetHeight(!readFirst, 2, 2, previous);
    water.Step(page);
    QCOMPARE(water.HeightAt(!readFirst, 2, 2), expected);
    // The cell itself has no raised neighbour; the map read is left as it was.
    QCOMPARE(water.HeightAt(!readFirst, 1, 1), 0);
    QCOMPARE(water.HeightAt(readFirst, 1, 1), neighbour);
    QCOMPARE(water.Page(), 0); // a bare step does not turn the page
}

void TestSplash::rippleIsARoundDropInsideTheBorder_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<int>("raised"); // cells raised by the radius-5 drop

    QTest::newRow("in the open") << QPoint(10, 10) << 69; // the points strictly closer than 5
    QTest::newRow("by the corner") << QPoint(1, 1) << 22; // the quarter with x, y >= 1
    QTest::newRow("on the edge") << QPoint(19, 10) << 39; // the half left of the border column
    QTest::newRow("outside the picture") << QPoint(-6, 30) << 0;
}

void TestSplash::rippleIsARoundDropInsideTheBorder()
{
    QFETCH(QPoint, at);
    QFETCH(int, raised);

    CXWaterRoutine water;
    water.Create(21, 21);
    water.AddBlob(true, at.x(), at.y(), CXSplashWindow::kRippleRadius, CXSplashWindow::kRippleHeight);
    int count = 0;
    for (int y = 0; y < 21; ++y) {
        for (int x = 0; x < 21; ++x) {
            const int h = water.HeightAt(true, x, y);
            QVERIFY(h == 0 || h == 50);
            const int dx = x - at.x();
            const int dy = y - at.y();
            const bool border = x == 0 || y == 0 || x == 20 || y == 20;
            QCOMPARE(h == 50, !border && dx * dx + dy * dy < 25);
            count += h == 50 ? 1 : 0;
        }
    }
    QCOMPARE(count, raised);
    QCOMPARE(MaxAbs(water, false), 0);
}

void TestSplash::rippleGoesToTheMapTheNextStepReads()
{
    CXWaterRoutine water;
    water.Create(12, 12);
    const QImage source = Filled(12, 12, qRgb(90, 90, 90));
    QImage display = source.copy();

    // Page 0: the first map.
    water.AddRipple(5, 5, 2, 50);
    QCOMPARE(water.HeightAt(true, 5, 5), 50);
    QCOMPARE(water.HeightAt(false, 5, 5), 0);

    // A tick renders, steps with page 0 (into the first map) and turns to page 1.
    QVERIFY(water.Tick(source, &display));
    QCOMPARE(water.Page(), 1);
    const int firstBefore = water.HeightAt(true, 6, 6);
    water.AddRipple(6, 6, 1, 50);
    QCOMPARE(water.HeightAt(false, 6, 6), 50);
    QCOMPARE(water.HeightAt(true, 6, 6), firstBefore);
    QVERIFY(water.Tick(source, &display));
    QCOMPARE(water.Page(), 0);
}

void TestSplash::rippleSpreadsAndFades()
{
    CXWaterRoutine water;
    water.Create(41, 41);
    const QImage source = PositionPicture(41, 41);
    QImage display = source.copy();
    water.AddRipple(20, 20, CXSplashWindow::kRippleRadius, CXSplashWindow::kRippleHeight);

    int reach = 0; // the farthest ring from the drop that has moved so far
    int peak = 0;
    for (int tick = 0; tick < 30; ++tick) {
        QVERIFY(water.Tick(source, &display));
        peak = std::max(peak, MaxAbs(water, true));
        for (int d = reach + 1; d < 20; ++d)
            if (water.HeightAt(true, 20 + d, 20) != 0 || water.HeightAt(true, 20, 20 - d) != 0)
                reach = d;
    }
    QVERIFY2(reach >= 15, qPrintable(QStringLiteral("the ring reached only %1 cells").arg(reach)));
    QVERIFY(display != source); // the moving water shows

    for (int tick = 0; tick < 3000; ++tick)
        water.Tick(source, &display);
    const int rest = std::max(MaxAbs(water, true), MaxAbs(water, false));
    QVERIFY2(rest * 10 < peak, qPrintable(QStringLiteral("peak %1, still %2").arg(peak).arg(rest)));
    QCOMPARE(BorderMaxAbs(water), 0);
}

void TestSplash::borderNeverMoves_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::newRow("corner") << QPoint(0, 0);
    QTest::newRow("next to the corner") << QPoint(1, 1);
    QTest::newRow("right edge") << QPoint(15, 6);
    QTest::newRow("bottom edge") << QPoint(8, 11);
    QTest::newRow("middle") << QPoint(8, 6);
}

void TestSplash::borderNeverMoves()
{
    QFETCH(QPoint, at);

    constexpr int w = 16;
    constexpr int h = 12;
    CXWaterRoutine water;
    water.Create(w, h);
    const QImage source = PositionPicture(w, h);
    const QRgb marker = qRgb(1, 2, 3);
    QImage display = Filled(w, h, marker);
    for (int tick = 0; tick < 60; ++tick) {
        if (tick % 7 == 0)
            water.AddRipple(at.x(), at.y(), CXSplashWindow::kRippleRadius, CXSplashWindow::kRippleHeight);
        QVERIFY(water.Tick(source, &display));
        QCOMPARE(BorderMaxAbs(water), 0);
    }
    for (int x = 0; x < w; ++x) {
        QCOMPARE(display.pixel(x, 0), marker);
        QCOMPARE(display.pixel(x, h - 1), marker);
    }
    for (int y = 0; y < h; ++y) {
        QCOMPARE(display.pixel(0, y), marker);
        QCOMPARE(display.pixel(w - 1, y), marker);
    }
}

// One interior pixel under a chosen slope: it shows the picture shifted by an eighth of the slope and
// darkened by the rise to the right, and stays as it was when the shifted pixel would lie outside.
void TestSplash::renderBendsAndShades_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<int>("self");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("below");
    QTest::addColumn<bool>("drawn");
    QTest::addColumn<QPoint>("from"); // the source pixel shown

    QTest::newRow("flat") << QPoint(3, 3) << 0 << 0 << 0 << true << QPoint(3, 3);
    QTest::newRow("rise to the right") << QPoint(3, 3) << 0 << 8 << 0 << true << QPoint(2, 3);
    QTest::newRow("fall to the right") << QPoint(3, 3) << 16 << 0 << 16 << true << QPoint(5, 3);
    QTest::newRow("fall below") << QPoint(3, 3) << 40 << 40 << 0 << true << QPoint(3, 8);
    QTest::newRow("steep fall wraps a row") << QPoint(6, 3) << 24 << 0 << 24 << true << QPoint(1, 4);
    QTest::newRow("lands on the first pixel") << QPoint(1, 1) << 0 << 8 << 8 << false << QPoint();
    QTest::newRow("second pixel is inside") << QPoint(1, 1) << 0 << 0 << 8 << true << QPoint(1, 0);
    QTest::newRow("before the picture") << QPoint(2, 2) << 0 << 1000 << 0 << false << QPoint();
    QTest::newRow("past the picture") << QPoint(3, 8) << 80 << 80 << 0 << false << QPoint();
}

void TestSplash::renderBendsAndShades()
{
    QFETCH(QPoint, at);
    QFETCH(int, self);
    QFETCH(int, right);
    QFETCH(int, below);
    QFETCH(bool, drawn);
    QFETCH(QPoint, from);

    constexpr int w = 8;
    constexpr int h = 10;
    CXWaterRoutine water;
    water.Create(w, h);
    water.SetHeight(true, at.x(), at.y(), self);
    water.SetHeight(true, at.x() + 1, at.y(), right);
    water.SetHeight(true, at.x(), at.y() + 1, below);
    // Heights in the second map are never rendered.
    water.SetHeight(false, at.x(), at.y(), 5000);
    const QImage source = PositionPicture(w, h);
    const QRgb marker = qRgb(1, 2, 3);
    QImage display = Filled(w, h, marker);
    QVERIFY(water.Render(source, &display));

    const QRgb shown = display.pixel(at);
    if (!drawn) {
        QCOMPARE(shown, marker);
        return;
    }
    const int shade = self - right;
    const QRgb original = source.pixel(from);
    const QRgb expected = qRgb(std::clamp(qRed(original) - shade, 0, 255), std::clamp(qGreen(original) - shade, 0, 255),
                               std::clamp(qBlue(original) - shade, 0, 255));
    QCOMPARE(shown, expected);
}

void TestSplash::renderRefusesMismatchedPictures()
{
    CXWaterRoutine water;
    water.Create(6, 6);
    water.SetHeight(true, 2, 2, 100);
    const QRgb marker = qRgb(1, 2, 3);

    QImage display = Filled(6, 6, marker);
    QVERIFY(!water.Render(PositionPicture(7, 6), &display));
    QVERIFY(!water.Render(PositionPicture(6, 6).convertToFormat(QImage::Format_ARGB32), &display));
    QVERIFY(!water.Render(PositionPicture(6, 6), nullptr));
    QImage smaller = Filled(5, 6, marker);
    QVERIFY(!water.Render(PositionPicture(6, 6), &smaller));
    QCOMPARE(display, Filled(6, 6, marker));

    CXWaterRoutine empty;
    QImage none;
    QVERIFY(empty.Render(QImage(), &none) == false);
}

void TestSplash::showsCentredOnTopWithTheNotice()
{
    const QImage picture = Filled(320, 160, qRgb(128, 128, 128));
    QPointer<CXSplashWindow> splash = new CXSplashWindow(picture);
    QVERIFY(splash->Start());
    QVERIFY(splash->isVisible());
    QVERIFY(splash->EffectRunning());
    QCOMPARE(splash->size(), picture.size());
    QVERIFY(splash->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(splash->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(splash->testAttribute(Qt::WA_ShowWithoutActivating));
    const QRect area = splash->screen()->availableGeometry();
    QVERIFY(std::abs(splash->geometry().center().x() - area.center().x()) <= 1);
    QVERIFY(std::abs(splash->geometry().center().y() - area.center().y()) <= 1);

    // The notice is in the picture the effect reads, near the bottom edge: white over a darker shadow, and
    // nothing above it or in the last rows.
    const QImage source = splash->SourceImage();
    QCOMPARE(source.size(), picture.size());
    int top = source.height();
    int bottom = -1;
    bool white = false;
    bool shadow = false;
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            const QRgb p = source.pixel(x, y);
            if (p == picture.pixel(x, y))
                continue;
            top = std::min(top, y);
            bottom = std::max(bottom, y);
            white = white || p == qRgb(255, 255, 255);
            shadow = shadow || qGray(p) < 128;
        }
    }
    QVERIFY2(white && shadow, "the notice is drawn in white over a dark shadow");
    QVERIFY2(top > source.height() / 2, qPrintable(QStringLiteral("the notice starts at row %1").arg(top)));
    QVERIFY2(bottom <= source.height() - 3, qPrintable(QStringLiteral("the notice ends at row %1").arg(bottom)));
    QVERIFY2(bottom - top > 16, "the notice has two lines");
    delete splash;
}

void TestSplash::pointerLeavesARipple()
{
    QPointer<CXSplashWindow> splash = new CXSplashWindow(Filled(200, 120, qRgb(128, 128, 128)));
    QVERIFY(splash->Start());
    const CXWaterRoutine& water = splash->Water();
    QCOMPARE(water.Width(), 200);
    QCOMPARE(water.Height(), 120);

    // Nothing has disturbed the water yet, so the drop stands alone in the map the next step reads.
    SendMove(splash, QPoint(60, 40));
    const bool first = water.Page() == 0;
    QCOMPARE(water.HeightAt(first, 60, 40), CXSplashWindow::kRippleHeight);
    QCOMPARE(water.HeightAt(first, 64, 40), CXSplashWindow::kRippleHeight);
    QCOMPARE(water.HeightAt(first, 65, 40), 0);
    QCOMPARE(water.HeightAt(first, 60, 35), 0);

    // The ring shows in the window's picture, around the pointer only.
    QTRY_VERIFY(splash->DisplayImage().pixel(60, 40) != splash->SourceImage().pixel(60, 40) ||
                splash->DisplayImage().pixel(63, 40) != splash->SourceImage().pixel(63, 40));
    QCOMPARE(splash->DisplayImage().copy(150, 80, 40, 30), splash->SourceImage().copy(150, 80, 40, 30));
    delete splash;
}

void TestSplash::clickSignalsAndRipples()
{
    QPointer<CXSplashWindow> splash = new CXSplashWindow(Filled(200, 120, qRgb(128, 128, 128)));
    QVERIFY(splash->Start());
    QSignalSpy clicked(splash.data(), &CXSplashWindow::Clicked);

    QTest::mouseClick(splash, Qt::RightButton, Qt::NoModifier, QPoint(150, 60));
    QCOMPARE(clicked.count(), 0);
    QTest::mouseClick(splash, Qt::LeftButton, Qt::NoModifier, QPoint(100, 60));
    QCOMPARE(clicked.count(), 1);
    const CXWaterRoutine& water = splash->Water();
    QVERIFY(water.HeightAt(true, 100, 60) != 0 || water.HeightAt(false, 100, 60) != 0);
    QVERIFY(splash->isVisible()); // a click does not close the picture
    delete splash;
}

void TestSplash::closesAfterTheDisplayTime()
{
    QPointer<CXSplashWindow> splash = new CXSplashWindow();
    QCOMPARE(splash->DisplayTime(), 5000);
    splash->SetDisplayTime(300);
    QSignalSpy finished(splash.data(), &CXSplashWindow::Finished);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(splash->Start());
    QVERIFY(splash->isVisible());

    QVERIFY(finished.wait(5000));
    QVERIFY2(clock.elapsed() >= 250, qPrintable(QStringLiteral("closed after %1 ms").arg(clock.elapsed())));
    QCOMPARE(finished.count(), 1);
    // It closes and cleans up after itself.
    QTRY_VERIFY(splash.isNull());
}

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
