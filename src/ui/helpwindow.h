#pragma once

#include <functional>
#include <QUrl>
#include <QWidget>

class QTextBrowser;
class QToolButton;

// The help pages, shown from the program's resources in a window of their own that stays open beside the
// main window. Links between pages stay in the window; web links go to the user's browser.
class CXHelpWindow : public QWidget
{
    Q_OBJECT

public:
    // Opens a web address; returns false when it could not be handed on.
    using LinkOpener = std::function<bool(const QUrl&)>;

    explicit CXHelpWindow(QWidget* parent = nullptr);
    ~CXHelpWindow() override;

    // Shows a page ("" the start page, or a page's file name such as "General.htm", optionally with a
    // "#anchor"), then shows, raises and activates the window. An unknown page shows the start page.
    void ShowTopic(const QString& topic);
    // The page on show (a qrc: address), empty before the first ShowTopic.
    QUrl CurrentPage() const;

    // Replaces what opens web links (tests use it to keep the desktop's browser out of the way).
    void SetLinkOpener(LinkOpener opener);

    // The address of a help page in the resources, and the start page's.
    static QUrl PageUrl(const QString& fileName);
    static QUrl StartPage();

protected:
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void FollowLink(const QUrl& url);
    void ApplyPalette();

    QTextBrowser* m_pBrowser = nullptr;
    QToolButton* m_pBackButton = nullptr;
    QToolButton* m_pForwardButton = nullptr;
    QToolButton* m_pHomeButton = nullptr;
    LinkOpener m_fnOpenLink;
};
