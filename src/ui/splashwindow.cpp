#include "ui/splashwindow.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QScreen>
#include <QStyle>
#include <QSvgRenderer>

namespace {

constexpr QSize kPictureSize(460, 280);
constexpr int kNoticeBottomGap = 4; // pixels between the notice's last line and the picture's bottom edge
constexpr int kNoticeSideGap = 6;
constexpr int kNoticePixelSize = 11;

} // namespace

CXSplashWindow::CXSplashWindow(const QImage& picture, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_picture(picture.isNull() ? DefaultPicture() : picture)
{
    setObjectName(QStringLiteral("splashWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true); // ripples follow the pointer without a button held
    setCursor(Qt::ArrowCursor);
    setWindowTitle(tr("Zelvano"));

    m_effectTimer.setObjectName(QStringLiteral("splashEffectTimer"));
    m_effectTimer.setInterval(kEffectInterval);
    m_effectTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_effectTimer, &QTimer::timeout, this, &CXSplashWindow::OnEffectTimer);
    m_closeTimer.setObjectName(QStringLiteral("splashCloseTimer"));
    m_closeTimer.setSingleShot(true);
    connect(&m_closeTimer, &QTimer::timeout, this, &CXSplashWindow::OnCloseTimer);
}

QImage CXSplashWindow::DefaultPicture()
{
    QImage picture(kPictureSize, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF all(QPointF(0, 0), QSizeF(kPictureSize));

    // A pool of water: light at the top, deep at the bottom where the white notice has to read.
    QLinearGradient water(all.topLeft(), all.bottomLeft());
    water.setColorAt(0.0, QColor(0x8f, 0xd0, 0xf5));
    water.setColorAt(0.55, QColor(0x2f, 0x86, 0xc4));
    water.setColorAt(1.0, QColor(0x0c, 0x2f, 0x4f));
    painter.fillRect(all, water);

    // Light playing on the surface, so the ripples have something to bend.
    painter.setPen(Qt::NoPen);
    const struct
    {
        qreal x, y, rx, ry;
    } glints[] = {{70, 40, 90, 26}, {330, 70, 120, 30}, {190, 150, 150, 24}, {400, 190, 80, 18}, {60, 200, 70, 16}};
    for (const auto& g : glints) {
        QRadialGradient glow(QPointF(g.x, g.y), g.rx);
        glow.setColorAt(0.0, QColor(255, 255, 255, 70));
        glow.setColorAt(1.0, QColor(255, 255, 255, 0));
        painter.setBrush(glow);
        painter.drawEllipse(QPointF(g.x, g.y), g.rx, g.ry);
    }
    painter.setBrush(Qt::NoBrush);
    for (int row = 0; row < 7; ++row) {
        const qreal y = 24 + row * 30;
        QPainterPath wave(QPointF(0, y));
        for (int x = 0; x < kPictureSize.width(); x += 40)
            wave.quadTo(QPointF(x + 10, y - 5), QPointF(x + 20, y)),
                wave.quadTo(QPointF(x + 30, y + 5), QPointF(x + 40, y));
        painter.setPen(QPen(QColor(255, 255, 255, 28 + row * 4), 1.5));
        painter.drawPath(wave);
    }

    // The program's icon and name.
    QSvgRenderer icon(QStringLiteral(":/icons/zelvano.svg"));
    if (icon.isValid())
        icon.render(&painter, QRectF(36, 58, 132, 132));
    QFont title = QApplication::font();
    title.setPixelSize(54);
    title.setBold(true);
    painter.setFont(title);
    const QRectF titleRect(184, 72, 260, 70);
    painter.setPen(QColor(0, 0, 0, 90));
    painter.drawText(titleRect.translated(2, 2), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Zelvano"));
    painter.setPen(Qt::white);
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Zelvano"));
    QFont subtitle = QApplication::font();
    subtitle.setPixelSize(17);
    painter.setFont(subtitle);
    painter.setPen(QColor(0xe8, 0xf4, 0xff));
    painter.drawText(QRectF(186, 140, 260, 28), Qt::AlignLeft | Qt::AlignVCenter, tr("Photo archive unpacker"));
    painter.end();
    return picture;
}

QString CXSplashWindow::NoticeText()
{
    return tr("Zelvano %1 finds the photo archives in a folder tree\nand unpacks their pictures where they belong.")
        .arg(QStringLiteral(ZELVANO_VERSION));
}

void CXSplashWindow::DrawNotice(QImage* picture) const
{
    QFont font = QApplication::font();
    font.setFamily(QStringLiteral("Arial"));
    font.setWeight(QFont::DemiBold);
    font.setPixelSize(kNoticePixelSize);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferOutline | QFont::PreferAntialias));
    const QString text = NoticeText();
    const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    const QRect client(QPoint(0, 0), picture->size());
    const int textHeight = QFontMetrics(font).boundingRect(client, flags, text).height();
    QRect box = client;
    box.setTop(client.bottom() + 1 - kNoticeBottomGap - textHeight);
    box.adjust(kNoticeSideGap, 0, -kNoticeSideGap, 0);

    QPainter painter(picture);
    painter.setFont(font);
    painter.setPen(QColor(53, 53, 53));
    painter.drawText(box.translated(1, 1), flags, text);
    painter.setPen(Qt::white);
    painter.drawText(box, flags, text);
}

bool CXSplashWindow::Start()
{
    if (m_picture.isNull())
        return false;
    setFixedSize(m_picture.size());
    QScreen* where = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (where != nullptr)
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), where->availableGeometry()));
    m_closeTimer.start(m_iDisplayTime);

    // The notice goes into the picture itself, so the water moves it with everything else.
    m_source = m_picture.convertToFormat(QImage::Format_RGB32);
    DrawNotice(&m_source);
    m_display = m_source.copy();
    m_water.Create(m_source.width(), m_source.height());
    if (!m_effectTimer.isActive())
        m_effectTimer.start();

    show();
    return true;
}

void CXSplashWindow::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_display);
}

void CXSplashWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_effectTimer.isActive()) {
        const QPoint at = event->position().toPoint();
        m_water.AddRipple(at.x(), at.y(), kRippleRadius, kRippleHeight);
    }
    QWidget::mouseMoveEvent(event);
}

void CXSplashWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        Q_EMIT Clicked();
        mouseMoveEvent(event); // a click also starts a ring
        return;
    }
    QWidget::mousePressEvent(event);
}

void CXSplashWindow::OnEffectTimer()
{
    m_water.Tick(m_source, &m_display);
    update();
}

void CXSplashWindow::OnCloseTimer()
{
    m_closeTimer.stop();
    m_effectTimer.stop();
    Q_EMIT Finished();
    close();
}
