#include "ui/statusstrip.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPaintEvent>
#include <QPalette>

namespace {

// Texts are shown as they are: one line, no "&" shortcuts.
constexpr int kTextFlags = Qt::TextSingleLine | Qt::AlignVCenter;

// Gaps between the three areas, and the room the label gets beyond its text.
constexpr int kAreaGap = 5;
constexpr int kLabelExtra = 10;

QString LabelForState(int state)
{
    switch (state) {
    case 0:
        return CXInformationST::tr("Ready");
    case 1:
        return CXInformationST::tr("Scanning:");
    case 2:
        return CXInformationST::tr("Adding:");
    case 3:
        return CXInformationST::tr("Unpacking:");
    case 4:
        return CXInformationST::tr("Pausing");
    case 5:
        return CXInformationST::tr("Paused");
    case 6:
        return CXInformationST::tr("Validating:");
    case 7:
        return CXInformationST::tr("Initializing");
    case 8:
        return CXInformationST::tr("Deleting:");
    case 9:
        // The trash has a different name on each desktop; the label uses the one the user knows.
#ifdef Q_OS_WIN
        return CXInformationST::tr("Recycling:");
#else
        return CXInformationST::tr("Moving to Trash:");
#endif
    default:
        return {};
    }
}

// Paths being worked on are shortened in their middle so the file name stays readable; other texts
// (results, messages) are cut at the edge.
bool ShortensPaths(int state)
{
    return state == 1 || state == 2 || state == 3 || state == 6;
}

bool IsDarkPalette(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

} // namespace

CXInformationST::CXInformationST(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("statusStrip"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_strLabel = LabelForState(0);
    UpdateStripFont();
    UpdateAccessibleText();
}

void CXInformationST::SetState(int state)
{
    m_nState = state;
    const QString label = LabelForState(state);
    if (!label.isEmpty())
        m_strLabel = label;
    m_nLabelWidth = MeasureText(m_strLabel) + kLabelExtra;
    UpdateAccessibleText();
    update();
}

void CXInformationST::SetMainText(const QString& text)
{
    m_strMain = text;
    UpdateAccessibleText();
    update();
}

void CXInformationST::SetSecondaryText(const QString& text)
{
    m_strSecondary = text;
    UpdateAccessibleText();
    update();
}

void CXInformationST::ClearTexts()
{
    m_strMain.clear();
    m_strSecondary.clear();
    UpdateAccessibleText();
    update();
}

void CXInformationST::SetFrame(bool frame)
{
    m_bFrame = frame;
    update();
}

int CXInformationST::MeasureText(const QString& text) const
{
    return QFontMetrics(m_fontStrip).horizontalAdvance(text);
}

QString CXInformationST::ShownMainText() const
{
    return ComputeLayout().shownMain;
}

QString CXInformationST::ShownSecondaryText() const
{
    return ComputeLayout().shownSecondary;
}

int CXInformationST::SplitX() const
{
    return ComputeLayout().splitX;
}

QSize CXInformationST::sizeHint() const
{
    const QFontMetrics metrics(m_fontStrip);
    // A line of the strip font with a little air above and below, never lower than the classic strip.
    return {480, qMax(23, metrics.height() + 8)};
}

CXInformationST::Layout CXInformationST::ComputeLayout() const
{
    const QFontMetrics metrics(m_fontStrip);
    const QRect client = rect();
    const int left = client.left();
    const int right = client.left() + client.width();
    const int labelWidth = m_nLabelWidth;

    Layout layout;
    layout.label = QRect(QPoint(left, client.top()), QPoint(labelWidth - 1, client.bottom()));
    const double share = m_nState == 3 ? 0.8 : 0.6;
    layout.splitX = static_cast<int>((right - labelWidth) * share);
    layout.main = QRect(QPoint(labelWidth + kAreaGap, client.top()), QPoint(layout.splitX - 1, client.bottom()));
    layout.secondary = QRect(QPoint(layout.splitX + kAreaGap, client.top()), QPoint(right - 1, client.bottom()));

    // The texts carry two spaces before (main) or after (secondary) them and one after the main text;
    // what remains of the area is the room for the text itself.
    const int twoSpaces = metrics.horizontalAdvance(QStringLiteral("  "));
    const int oneSpace = metrics.horizontalAdvance(QStringLiteral(" "));
    const int mainRoom = qMax(0, layout.main.width() - twoSpaces - oneSpace);
    if (ShortensPaths(m_nState))
        layout.shownMain = metrics.elidedText(m_strMain, Qt::ElideMiddle, mainRoom, Qt::TextSingleLine);
    else
        layout.shownMain = m_strMain;
    const int secondaryRoom = qMax(0, layout.secondary.width() - twoSpaces);
    layout.shownSecondary = metrics.elidedText(m_strSecondary, Qt::ElideRight, secondaryRoom, Qt::TextSingleLine);
    return layout;
}

CXInformationST::Colours CXInformationST::CurrentColours() const
{
    const QPalette& pal = palette();
    if (!IsDarkPalette(pal)) {
        const QColor frame(130, 135, 144);
        const QColor blue(42, 123, 186);
        return {Qt::white, frame, blue, QColor(84, 84, 84), blue};
    }
    // A dark window: the strip takes the palette's tones, with a blue light enough to read on them.
    Colours colours;
    colours.fill = pal.color(QPalette::Base);
    colours.frame = pal.color(QPalette::Mid);
    colours.main = pal.color(QPalette::WindowText);
    QColor accent = pal.color(QPalette::Link);
    if (accent.lightness() < colours.fill.lightness() + 80)
        accent = QColor(42, 123, 186).lighter(160);
    colours.label = accent;
    colours.secondary = accent;
    return colours;
}

void CXInformationST::paintEvent(QPaintEvent* /*event*/)
{
    const Layout layout = ComputeLayout();
    const Colours colours = CurrentColours();
    const QFontMetrics metrics(m_fontStrip);
    const int twoSpaces = metrics.horizontalAdvance(QStringLiteral("  "));

    QPainter painter(this);
    painter.fillRect(rect(), colours.fill);
    if (m_bFrame) {
        painter.setPen(colours.frame);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    painter.setFont(m_fontStrip);

    const auto drawClipped = [&painter](const QRect& area, const QRect& textRect, int align, const QColor& colour,
                                        const QString& text) {
        if (area.width() <= 0 || text.isEmpty())
            return;
        painter.save();
        painter.setClipRect(area);
        painter.setPen(colour);
        painter.drawText(textRect, kTextFlags | align, text);
        painter.restore();
    };

    drawClipped(layout.label, layout.label.adjusted(twoSpaces, 0, 0, 0), Qt::AlignLeft, colours.label, m_strLabel);
    drawClipped(layout.main, layout.main.adjusted(twoSpaces, 0, 0, 0), Qt::AlignLeft, colours.main, layout.shownMain);
    drawClipped(layout.secondary, layout.secondary.adjusted(0, 0, -twoSpaces, 0), Qt::AlignRight, colours.secondary,
                layout.shownSecondary);
}

void CXInformationST::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::ApplicationFontChange:
        UpdateStripFont();
        m_nLabelWidth = MeasureText(m_strLabel) + kLabelExtra;
        updateGeometry();
        update();
        break;
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
        update();
        break;
    default:
        break;
    }
}

void CXInformationST::UpdateStripFont()
{
    // Bold Arial (or what the system has in its place) at the size the rest of the window uses: a fixed
    // ten-pixel font would be too small on most desktops.
    QFont stripFont = font();
    stripFont.setFamilies({QStringLiteral("Arial")});
    stripFont.setBold(true);
    m_fontStrip = stripFont;
}

void CXInformationST::UpdateAccessibleText()
{
    setAccessibleName(m_strLabel);
    QStringList parts{m_strMain, m_strSecondary};
    parts.removeAll(QString());
    setAccessibleDescription(parts.join(QLatin1Char('\n')));
}
