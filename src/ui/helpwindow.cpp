#include "ui/helpwindow.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QPalette>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

// The pages and icons live in the GUI library's resources, which a static link does not register by itself.
static void InitResources()
{
    Q_INIT_RESOURCE(zelvano);
}

namespace {

constexpr QSize kDefaultSize(760, 560);

// The window's last place and size; kept for this session only, so a reopened window comes back where
// the user left it.
QByteArray& RememberedGeometry()
{
    static QByteArray geometry;
    return geometry;
}

bool IsDarkPalette(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

// Only pages of the program itself are shown in the window; everything else belongs in a browser.
bool IsHelpAddress(const QUrl& url)
{
    return url.scheme() == QLatin1String("qrc") || url.isRelative();
}

} // namespace

CXHelpWindow::CXHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    InitResources();
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(tr("Zelvano Help"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/help.svg")));

    const auto makeButton = [this](const char* name, const QString& text, QStyle::StandardPixmap icon) {
        auto* button = new QToolButton(this);
        button->setObjectName(QLatin1String(name));
        button->setText(text);
        button->setIcon(style()->standardIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        return button;
    };
    m_pBackButton = makeButton("helpBackButton", tr("Back"), QStyle::SP_ArrowBack);
    m_pForwardButton = makeButton("helpForwardButton", tr("Forward"), QStyle::SP_ArrowForward);
    m_pHomeButton = makeButton("helpHomeButton", tr("Start"), QStyle::SP_DirHomeIcon);
    m_pBackButton->setEnabled(false);
    m_pForwardButton->setEnabled(false);

    m_pBrowser = new QTextBrowser(this);
    m_pBrowser->setObjectName(QStringLiteral("helpBrowser"));
    // Every link comes through FollowLink, which keeps web pages out of the window.
    m_pBrowser->setOpenLinks(false);
    m_pBrowser->setOpenExternalLinks(false);
    ApplyPalette();

    auto* tools = new QHBoxLayout;
    tools->setContentsMargins(0, 0, 0, 0);
    tools->addWidget(m_pBackButton);
    tools->addWidget(m_pForwardButton);
    tools->addWidget(m_pHomeButton);
    tools->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(tools);
    layout->addWidget(m_pBrowser, 1);

    m_fnOpenLink = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    connect(m_pBrowser, &QTextBrowser::backwardAvailable, m_pBackButton, &QWidget::setEnabled);
    connect(m_pBrowser, &QTextBrowser::forwardAvailable, m_pForwardButton, &QWidget::setEnabled);
    connect(m_pBackButton, &QToolButton::clicked, m_pBrowser, &QTextBrowser::backward);
    connect(m_pForwardButton, &QToolButton::clicked, m_pBrowser, &QTextBrowser::forward);
    connect(m_pHomeButton, &QToolButton::clicked, this, [this] { m_pBrowser->setSource(StartPage()); });
    connect(m_pBrowser, &QTextBrowser::anchorClicked, this, &CXHelpWindow::FollowLink);

    resize(kDefaultSize);
    if (!RememberedGeometry().isEmpty())
        restoreGeometry(RememberedGeometry());
}

CXHelpWindow::~CXHelpWindow() = default;

QUrl CXHelpWindow::PageUrl(const QString& fileName)
{
    QUrl url;
    url.setScheme(QStringLiteral("qrc"));
    url.setPath(QStringLiteral("/help/") + fileName);
    return url;
}

QUrl CXHelpWindow::StartPage()
{
    return PageUrl(QStringLiteral("index.htm"));
}

void CXHelpWindow::ShowTopic(const QString& topic)
{
    const qsizetype hash = topic.indexOf(QLatin1Char('#'));
    const QString page = hash < 0 ? topic : topic.left(hash);
    const QString anchor = hash < 0 ? QString() : topic.mid(hash + 1);
    // A topic names a page of the help folder, nothing below or beside it.
    const bool known = !page.isEmpty() && !page.contains(QLatin1Char('/')) && !page.contains(QLatin1Char('\\')) &&
                       QFile::exists(QStringLiteral(":/help/") + page);
    QUrl url = known ? PageUrl(page) : StartPage();
    if (known && !anchor.isEmpty())
        url.setFragment(anchor);
    if (url != m_pBrowser->source())
        m_pBrowser->setSource(url);

    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

QUrl CXHelpWindow::CurrentPage() const
{
    return m_pBrowser->source();
}

void CXHelpWindow::SetLinkOpener(LinkOpener opener)
{
    m_fnOpenLink = std::move(opener);
}

void CXHelpWindow::FollowLink(const QUrl& url)
{
    if (IsHelpAddress(url)) {
        m_pBrowser->setSource(url);
        return;
    }
    if (m_fnOpenLink)
        m_fnOpenLink(url);
}

void CXHelpWindow::ApplyPalette()
{
    // The pages carry layout only; their colours come from here, so they read on a dark desktop too.
    const QPalette& pal = palette();
    const bool dark = IsDarkPalette(pal);
    const QString heading = dark ? pal.color(QPalette::Text).name() : QStringLiteral("#1f4e79");
    const QString boxFill = dark ? pal.color(QPalette::AlternateBase).name() : QStringLiteral("#eef5fb");
    const QString boxLine = dark ? pal.color(QPalette::Mid).name() : QStringLiteral("#9cc3e4");
    const QString navFill = dark ? pal.color(QPalette::Window).name() : QStringLiteral("#f3f3f3");
    const QString link = dark ? pal.color(QPalette::Highlight).lighter(150).name() : QStringLiteral("#0b5cad");
    // One layout for every page, kept beside them; the colours follow the palette.
    QFile layout(QStringLiteral(":/help/help.css"));
    const QString pageLayout = layout.open(QIODevice::ReadOnly) ? QString::fromUtf8(layout.readAll()) : QString();
    m_pBrowser->document()->setDefaultStyleSheet(pageLayout +
                                                 QStringLiteral("h1, h2, h3 { color: %1; }"
                                                                "a { color: %5; }"
                                                                ".note { background-color: %2; border-color: %3; }"
                                                                ".nav { background-color: %4; }")
                                                     .arg(heading, boxFill, boxLine, navFill, link));
}

void CXHelpWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange) {
        ApplyPalette();
        if (!m_pBrowser->source().isEmpty())
            m_pBrowser->reload();
    }
    QWidget::changeEvent(event);
}

void CXHelpWindow::hideEvent(QHideEvent* event)
{
    RememberedGeometry() = saveGeometry();
    QWidget::hideEvent(event);
}
