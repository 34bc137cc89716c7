#pragma once

#include <QString>
#include <QWidget>

class QSvgRenderer;

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_strTitle;
    QString m_strText;
    QSvgRenderer* m_pIcon = nullptr;
};
