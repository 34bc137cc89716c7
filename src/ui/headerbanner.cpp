#include "ui/headerbanner.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtMath>

namespace {

constexpr int kBannerHeight = 88;
constexpr qreal kBodyPointSize = 10.0;
constexpr qreal kSmallestBodyPointSize = 7.5;

bool IsDarkPalette(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

} // namespace

CXHeaderST::CXHeaderST(QWidget* parent) : QWidget(parent), m_pBody(new QTextDocument(this))
{
    setObjectName(QStringLiteral("headerBanner"));
    setFixedHeight(kBannerHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_pBody->setDocumentMargin(0);
    UpdateBodyFont();
}

void CXHeaderST::SetTitle(const QString& title)
{
    m_strTitle = title;
    setAccessibleName(title);
    update();
}

void CXHeaderST::SetText(const QString& markup)
{
    m_strText = markup;
    m_pBody->setHtml(MarkupToHtml(markup));
    m_fittedFor = QSize();
    setAccessibleDescription(m_pBody->toPlainText());
    update();
}

void CXHeaderST::SetIcon(const QString& svgPath)
{
    delete m_pIcon;
    m_pIcon = nullptr;
    if (!svgPath.isEmpty()) {
        auto* renderer = new QSvgRenderer(svgPath, this);
        // A picture that does not load shows as no picture, and the text takes its room.
        if (renderer->isValid() && !renderer->defaultSize().isEmpty())
            m_pIcon = renderer;
        else
            delete renderer;
    }
    update();
}

QSize CXHeaderST::sizeHint() const
{
    return {640, kBannerHeight};
}

QSize CXHeaderST::minimumSizeHint() const
{
    return {160, kBannerHeight};
}

QString CXHeaderST::ShownTitle() const
{
    const Layout layout = ComputeLayout();
    return QFontMetrics(TitleFont(layout.title.height()))
        .elidedText(m_strTitle, Qt::ElideRight, layout.title.width(), Qt::TextSingleLine);
}

QRect CXHeaderST::BodyRect() const
{
    return ComputeLayout().body;
}

qreal CXHeaderST::BodyTextHeight() const
{
    WrapBody(ComputeLayout().body.width());
    return m_pBody->size().height();
}

qreal CXHeaderST::BodyShownHeight() const
{
    const QRect body = ComputeLayout().body;
    WrapBody(body.width());
    qreal shown = 0;
    QAbstractTextDocumentLayout* layout = m_pBody->documentLayout();
    for (QTextBlock block = m_pBody->begin(); block.isValid(); block = block.next()) {
        const QTextLayout* lines = block.layout();
        const QPointF origin = layout->blockBoundingRect(block).topLeft();
        for (int i = 0; i < lines->lineCount(); ++i) {
            const qreal bottom = origin.y() + lines->lineAt(i).rect().bottom();
            if (bottom > body.height())
                return shown;
            shown = bottom;
        }
    }
    return shown;
}

QString CXHeaderST::MarkupToHtml(const QString& markup)
{
    static const QString kept[] = {QStringLiteral("<b>"), QStringLiteral("</b>"), QStringLiteral("&nbsp;")};
    QString html;
    html.reserve(markup.size() + 64);
    // Spaces are kept as written (two after a full stop stay two); lines still wrap with the width.
    html += QStringLiteral("<div style=\"white-space: pre-wrap\">");
    for (qsizetype i = 0; i < markup.size();) {
        bool matched = false;
        for (const QString& mark : kept) {
            if (QStringView(markup).mid(i).startsWith(mark, Qt::CaseInsensitive)) {
                html += mark;
                i += mark.size();
                matched = true;
                break;
            }
        }
        if (matched)
            continue;
        const QChar c = markup.at(i);
        if (c == QLatin1Char('&'))
            html += QStringLiteral("&amp;");
        else if (c == QLatin1Char('<'))
            html += QStringLiteral("&lt;");
        else if (c == QLatin1Char('>'))
            html += QStringLiteral("&gt;");
        else
            html += c;
        ++i;
    }
    html += QStringLiteral("</div>");
    return html;
}

CXHeaderST::Layout CXHeaderST::ComputeLayout() const
{
    Layout layout;
    const QRect area = rect().adjusted(2, 4, -2, -4);
    QRect text;
    if (m_pIcon) {
        const QSizeF image = m_pIcon->defaultSize();
        const int iconWidth = static_cast<int>(0.99 * image.width());
        const QRect iconArea = QRect(area.left(), area.top(), iconWidth, area.height()).adjusted(2, 2, -2, -2);
        text = QRect(QPoint(area.left() + iconWidth, area.top()), area.bottomRight()).adjusted(2, 2, -6, -2);
        // Shrunk to fit, never enlarged; centred across the area, at its top.
        qreal scale = 1.0;
        if (iconArea.width() > 0 && iconArea.height() > 0)
            scale = qMin(1.0, qMin(iconArea.width() / image.width(), iconArea.height() / image.height()));
        else
            scale = 0.0;
        const QSizeF drawn = image * scale;
        layout.icon =
            QRectF(QPointF(iconArea.left() + (iconArea.width() - drawn.width()) / 2.0, iconArea.top()), drawn);
    } else {
        text = area.adjusted(6, 0, -6, 0);
    }
    const int quarter = static_cast<int>(text.height() * 0.25);
    layout.title = QRect(text.left() + 2, text.top(), text.width() - 4, quarter + 1);
    const int bodyTop = layout.title.top() + layout.title.height();
    layout.body = QRect(text.left() + 3, bodyTop, text.width() - 6, text.top() + text.height() - bodyTop);
    return layout;
}

QFont CXHeaderST::TitleFont(int maxHeight) const
{
    QFont title = font();
    title.setFamilies({QStringLiteral("Tahoma")});
    title.setBold(true);
    // The title has a quarter of the banner; a large desktop font is made to fit it rather than cut.
    int pixels = QFontMetrics(title).height();
    while (pixels > maxHeight && pixels > 8) {
        --pixels;
        title.setPixelSize(pixels);
        if (QFontMetrics(title).height() <= maxHeight)
            break;
    }
    return title;
}

void CXHeaderST::UpdateBodyFont()
{
    QFont body = font();
    body.setFamilies({QStringLiteral("Tahoma")});
    body.setWeight(QFont::Normal);
    body.setPointSizeF(kBodyPointSize);
    m_pBody->setDefaultFont(body);
    m_fittedFor = QSize();
}

void CXHeaderST::FitBody(const QRect& body)
{
    if (m_fittedFor == body.size())
        return;
    m_fittedFor = body.size();
    QFont font = m_pBody->defaultFont();
    for (qreal size = kBodyPointSize;; size -= 0.5) {
        font.setPointSizeF(size);
        m_pBody->setDefaultFont(font);
        m_pBody->setTextWidth(qMax(1, body.width()));
        if (m_pBody->size().height() <= body.height() || size <= kSmallestBodyPointSize)
            break;
    }
}

void CXHeaderST::WrapBody(int width) const
{
    const qreal textWidth = qMax(1, width);
    if (!qFuzzyCompare(m_pBody->textWidth(), textWidth))
        m_pBody->setTextWidth(textWidth);
}

void CXHeaderST::paintEvent(QPaintEvent* /*event*/)
{
    const Layout layout = ComputeLayout();
    FitBody(layout.body);
    const QPalette& pal = palette();
    const bool dark = IsDarkPalette(pal);
    const QColor fill = dark ? pal.color(QPalette::Base) : QColor(Qt::white);
    const QColor line = dark ? pal.color(QPalette::Mid) : QColor(130, 135, 144);
    const QColor ink = pal.color(QPalette::WindowText);

    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
    painter.fillRect(rect(), fill);
    painter.fillRect(QRect(0, height() - 1, width(), 1), line);

    // Rendered as vectors straight into the painter, so the picture stays sharp at any scale.
    if (m_pIcon && !layout.icon.isEmpty())
        m_pIcon->render(&painter, layout.icon);

    if (layout.title.width() > 0 && !m_strTitle.isEmpty()) {
        const QFont titleFont = TitleFont(layout.title.height());
        const QString shown =
            QFontMetrics(titleFont).elidedText(m_strTitle, Qt::ElideRight, layout.title.width(), Qt::TextSingleLine);
        painter.setFont(titleFont);
        painter.setPen(ink);
        painter.drawText(layout.title, Qt::TextSingleLine | Qt::AlignLeft | Qt::AlignVCenter, shown);
    }

    if (layout.body.width() > 0 && layout.body.height() > 0 && !m_pBody->isEmpty()) {
        // Only whole lines: a line cut in half by the banner's edge reads worse than one left out.
        const int shownHeight = qCeil(BodyShownHeight());
        painter.save();
        painter.setClipRect(QRect(layout.body.topLeft(), QSize(layout.body.width(), shownHeight)));
        painter.translate(layout.body.topLeft());
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette = pal;
        context.palette.setColor(QPalette::Text, ink);
        context.clip = QRectF(0, 0, layout.body.width(), shownHeight);
        m_pBody->documentLayout()->draw(&painter, context);
        painter.restore();
    }
}

void CXHeaderST::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::ApplicationFontChange:
        UpdateBodyFont();
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
