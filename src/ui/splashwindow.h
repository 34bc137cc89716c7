#pragma once

#include "ui/waterripple.h"

#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

// The start-up picture: a frameless window on top of everything, in the middle of the screen, with a short
// notice drawn into the picture and water that ripples under the pointer. It closes itself after the display
// time and says so, so that the main window can come to the front. Everything runs on the user-interface
// thread from a 20 ms timer, which stays lively as long as the start-up keeps returning to the event loop.
class CXSplashWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kDefaultDisplayTime = 5000; // ms
    static constexpr int kEffectInterval = 20;       // ms
    static constexpr int kRippleRadius = 5;
    static constexpr int kRippleHeight = 50;

    // A null picture stands for the program's own (see DefaultPicture()).
    explicit CXSplashWindow(const QImage& picture = QImage(), QWidget* parent = nullptr);

    // The program's picture, drawn from its icon.
    static QImage DefaultPicture();
    // The notice drawn onto the picture near its bottom edge.
    static QString NoticeText();

    void SetDisplayTime(int ms) { m_iDisplayTime = ms; }
    int DisplayTime() const { return m_iDisplayTime; }

    // Draws the notice, places the window in the middle of the available screen, shows it without taking
    // the focus and starts the clock and the effect. False (and nothing shown) when there is no picture.
    bool Start();

    bool EffectRunning() const { return m_effectTimer.isActive(); }
    // The picture the effect reads (with the notice) and the one the window shows.
    const QImage& SourceImage() const { return m_source; }
    const QImage& DisplayImage() const { return m_display; }
    const CXWaterRoutine& Water() const { return m_water; }

Q_SIGNALS:
    // The display time is over; the window has closed itself.
    void Finished();
    // The picture was clicked (the program opens its home page when it has one).
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void DrawNotice(QImage* picture) const;
    void OnEffectTimer();
    void OnCloseTimer();

    QImage m_picture;
    QImage m_source;
    QImage m_display;
    CXWaterRoutine m_water;
    QTimer m_effectTimer;
    QTimer m_closeTimer;
    int m_iDisplayTime = kDefaultDisplayTime;
};
