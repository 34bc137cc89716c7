#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

class QSvgRenderer;
class QTextDocument;

// The banner across the top of the main window: an icon on the left, a bold one-line title and a body of
// rich text (bold runs, non-breaking spaces) that wraps with the window's width.
class CXHeaderST : public QWidget
{
    Q_OBJECT

public:
    explicit CXHeaderST(QWidget* parent = nullptr);

    void SetTitle(const QString& title);
    // The body as marked-up text: "<b>" and "</b>" around bold runs, "&nbsp;" for a space that never breaks.
    void SetText(const QString& markup);
    // An SVG (for example ":/icons/banner.svg"); an empty path shows no icon.
    void SetIcon(const QString& svgPath);

    QString Title() const { return m_strTitle; }
    QString Text() const { return m_strText; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // What the current width draws (for tests): whether an icon is shown, the title after elision, the
    // body's rectangle and the height its wrapped text takes there.
    bool HasIcon() const { return m_pIcon != nullptr; }
    QString ShownTitle() const;
    QRect BodyRect() const;
    qreal BodyTextHeight() const;
    // The height of the body lines that fit whole; a line that would be cut is left out.
    qreal BodyShownHeight() const;

    // The body markup as HTML: the bold tags and non-breaking spaces kept, every other "&" and "<" shown.
    static QString MarkupToHtml(const QString& markup);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Layout
    {
        QRectF icon;
        QRect title;
        QRect body;
    };

    Layout ComputeLayout() const;
    QFont TitleFont(int maxHeight) const;
    void UpdateBodyFont();
    // Lays the body out for the given width (only when the width or the text changed).
    void WrapBody(int width) const;
    // The body's font size for the rectangle: the full size, or smaller down to a floor when the text would
    // not fit (desktop fonts are wider than the one the banner was laid out for).
    void FitBody(const QRect& body);

    QString m_strTitle;
    QString m_strText;
    QSvgRenderer* m_pIcon = nullptr;
    QTextDocument* m_pBody = nullptr;
    QSize m_fittedFor; // the body rectangle the font size was fitted to
};
