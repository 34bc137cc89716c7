#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

// The one-line information bar under the archive list: a state label on the left, the main text in the
// middle and the secondary text on the right. It only displays; the window and (through the window) the
// workers set what it shows. Texts are shown literally: nothing in them is interpreted.
class CXInformationST : public QWidget
{
    Q_OBJECT

public:
    explicit CXInformationST(QWidget* parent = nullptr);

    // 0 "Ready", 1 "Scanning:", 2 "Adding:", 3 "Unpacking:", 4 "Pausing", 5 "Paused", 6 "Validating:",
    // 7 "Initializing", 8 "Deleting:", 9 "Recycling:" (on Linux the label reads "Moving to Trash:").
    // Any other value keeps the label.
    void SetState(int state);
    void SetMainText(const QString& text);
    void SetSecondaryText(const QString& text);
    // Empties the main and the secondary text; the state and its label stay.
    void ClearTexts();
    void SetFrame(bool frame);

    int State() const { return m_nState; }
    QString LabelText() const { return m_strLabel; }
    QString MainText() const { return m_strMain; }
    QString SecondaryText() const { return m_strSecondary; }
    // Width in pixels of one line of text in the strip's font.
    int MeasureText(const QString& text) const;

    // What the last layout draws (for tests and for the accessibility text): the texts after elision, and
    // the x of the split between the main and the secondary area.
    QString ShownMainText() const;
    QString ShownSecondaryText() const;
    int SplitX() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Where each part goes at the current size, and what it shows there; painting and the getters above
    // share it so they can never disagree.
    struct Layout
    {
        QRect label;
        QRect main;
        QRect secondary;
        int splitX = 0;
        QString shownMain;
        QString shownSecondary;
    };
    struct Colours
    {
        QColor fill;
        QColor frame;
        QColor label;
        QColor main;
        QColor secondary;
    };

    Layout ComputeLayout() const;
    Colours CurrentColours() const;
    void UpdateStripFont();
    void UpdateAccessibleText();

    QFont m_fontStrip;
    int m_nState = 0;
    QString m_strLabel;
    int m_nLabelWidth = 60;
    QString m_strMain;
    QString m_strSecondary;
    bool m_bFrame = true;
};
