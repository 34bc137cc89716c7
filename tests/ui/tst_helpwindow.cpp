// The help window (topics, links between the pages, web links kept out of it, history buttons, colours on a
// dark desktop) and the About box (version, libraries, the home-page link).
#include "ui/aboutbox.h"
#include "ui/helpwindow.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextFrame>
#include <QTextTable>
#include <QToolButton>
#include <zlib.h>

namespace {

QString PageText(const QString& fileName)
{
    QFile file(QStringLiteral(":/help/") + fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QStringList Links(const QString& html)
{
    static const QRegularExpression href(QStringLiteral("<a\\s[^>]*href=\"([^\"]*)\""),
                                         QRegularExpression::CaseInsensitiveOption);
    QStringList links;
    for (const QRegularExpressionMatch& match : href.globalMatch(html))
        links << match.captured(1);
    return links;
}

// The anchor names a page really has once the browser has read it (not what its text seems to say).
QSet<QString> AnchorNames(const QTextDocument* document)
{
    QSet<QString> names;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (const QString& name : block.charFormat().anchorNames())
            names.insert(name);
        for (auto it = block.begin(); !it.atEnd(); ++it)
            for (const QString& name : it.fragment().charFormat().anchorNames())
                names.insert(name);
    }
    return names;
}

// Clicks the first link to href on the page on show, as the user would.
bool ClickLink(QTextBrowser* browser, const QString& href)
{
    const QTextDocument* document = browser->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isAnchor() || fragment.charFormat().anchorHref() != href)
                continue;
            QTextCursor cursor(browser->document());
            cursor.setPosition(fragment.position() + fragment.length() / 2);
            browser->setTextCursor(cursor);
            browser->ensureCursorVisible();
            const QPoint at = browser->cursorRect(cursor).center();
            QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);
            return true;
        }
    }
    return false;
}

QPalette DarkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x3a));
    dark.setColor(QPalette::Text, QColor(0xf0, 0xf0, 0xf0));
    dark.setColor(QPalette::Mid, QColor(0x60, 0x60, 0x60));
    dark.setColor(QPalette::Highlight, QColor(0x2a, 0x6f, 0xb0));
    return dark;
}

// The background of the first table (the framed note) of the page on show; invalid when there is none.
QColor FirstTableBackground(const QTextDocument* document)
{
    for (QTextFrame* frame : document->rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame))
            return table->format().background().color();
    return {};
}

const QStringList kPages = {QStringLiteral("index.htm"), QStringLiteral("General.htm"),
                            QStringLiteral("ScanningProcessing.htm"), QStringLiteral("ImageTypesExclusions.htm")};

} // namespace

class TestHelpWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void showsTopic_data();
    void showsTopic();
    void everyLinkLeadsToAPageAndAnchor();
    void pagesAreSelfContained();
    void linksStayInsideWebLinksGoToTheOpener();
    void backAndForwardFollowTheHistory();
    void darkPaletteGivesNoLightBoxes();
    void remembersItsSizeForTheSession();

    void aboutShowsVersionAndLibraries();
    void aboutHomeLink_data();
    void aboutHomeLink();
    void aboutClosesWithOk();
};

void TestHelpWindow::init()
{
    qunsetenv("ZELVANO_HOME_URL");
}

void TestHelpWindow::showsTopic_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("heading");

    QTest::newRow("start") << QString() << "index.htm" << QString() << "Zelvano Help"
                           << "Welcome to Zelvano";
    QTest::newRow("general") << "General.htm"
                             << "General.htm" << QString() << "General Options"
                             << "General Options";
    QTest::newRow("scanning") << "ScanningProcessing.htm"
                              << "ScanningProcessing.htm" << QString() << "Scanning & Processing Options"
                              << "Scanning & Processing Options";
    QTest::newRow("image types") << "ImageTypesExclusions.htm"
                                 << "ImageTypesExclusions.htm" << QString() << "Image Types and Exclusions Options"
                                 << "Image Types and Exclusions Options";
    QTest::newRow("with anchor") << "General.htm#confirm"
                                 << "General.htm"
                                 << "confirm"
                                 << "General Options"
                                 << "General Options";
    QTest::newRow("unknown") << "Missing.htm"
                             << "index.htm" << QString() << "Zelvano Help"
                             << "Welcome to Zelvano";
    QTest::newRow("wrong case") << "general.htm"
                                << "index.htm" << QString() << "Zelvano Help"
                                << "Welcome to Zelvano";
    QTest::newRow("outside the pages") << "../icons/zelvano.svg"
                                       << "index.htm" << QString() << "Zelvano Help"
                                       << "Welcome to Zelvano";
    QTest::newRow("absolute") << "/help/General.htm"
                              << "index.htm" << QString() << "Zelvano Help"
                              << "Welcome to Zelvano";
}

void TestHelpWindow::showsTopic()
{
    QFETCH(QString, topic);
    QFETCH(QString, page);
    QFETCH(QString, fragment);
    QFETCH(QString, title);
    QFETCH(QString, heading);

    CXHelpWindow window;
    QVERIFY(window.CurrentPage().isEmpty());
    // A page shown before, so the topic has to replace it.
    window.ShowTopic(QStringLiteral("ImageTypesExclusions.htm"));
    window.ShowTopic(topic);
    QVERIFY(window.isVisible());
    QCOMPARE(window.windowTitle(), QStringLiteral("Zelvano Help"));
    QCOMPARE(window.CurrentPage().scheme(), QStringLiteral("qrc"));
    QCOMPARE(window.CurrentPage().path(), QStringLiteral("/help/") + page);
    QCOMPARE(window.CurrentPage().fragment(), fragment);
    auto* browser = window.findChild<QTextBrowser*>(QStringLiteral("helpBrowser"));
    QVERIFY(browser);
    QCOMPARE(browser->documentTitle(), title);
    // The page's heading reached the browser, not an empty document.
    QVERIFY2(browser->toPlainText().contains(heading), qPrintable(browser->toPlainText().left(200)));
}

void TestHelpWindow::everyLinkLeadsToAPageAndAnchor()
{
    // Every page of the folder is one of the known pages, so none is left out of the walk.
    const QStringList stored = QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.htm")}, QDir::Files);
    QCOMPARE(QSet<QString>(stored.begin(), stored.end()), QSet<QString>(kPages.begin(), kPages.end()));

    QTextBrowser reader;
    int checked = 0;
    for (const QString& page : kPages) {
        const QString html = PageText(page);
        QVERIFY2(!html.isEmpty(), qPrintable(page));
        const QUrl base = CXHelpWindow::PageUrl(page);
        QSet<QString> reached;
        for (const QString& href : Links(html)) {
            const QUrl target = base.resolved(QUrl(href));
            const QString where = page + QStringLiteral(": ") + href;
            QCOMPARE_NE(target.scheme(), QStringLiteral("http"));
            QCOMPARE_NE(target.scheme(), QStringLiteral("https"));
            QCOMPARE(target.scheme(), QStringLiteral("qrc"));
            QVERIFY2(target.path().startsWith(QStringLiteral("/help/")), qPrintable(where));
            QVERIFY2(QFile::exists(QLatin1Char(':') + target.path()), qPrintable(where));
            reached.insert(target.fileName());
            if (target.hasFragment()) {
                reader.setSource(target.adjusted(QUrl::RemoveFragment));
                QVERIFY2(AnchorNames(reader.document()).contains(target.fragment()), qPrintable(where));
            }
            ++checked;
        }
        // The navigation line: every page leads to every other one.
        for (const QString& other : kPages)
            if (other != page)
                QVERIFY2(reached.contains(other), qPrintable(page + QStringLiteral(" has no link to ") + other));
    }
    QVERIFY(checked > 20);
}

void TestHelpWindow::pagesAreSelfContained()
{
    for (const QString& page : kPages) {
        const QString html = PageText(page).toLower();
        QVERIFY2(!html.contains(QStringLiteral("<script")), qPrintable(page));
        QVERIFY2(!html.contains(QStringLiteral("src=")), qPrintable(page));
        QVERIFY2(!html.contains(QStringLiteral("url(")), qPrintable(page));
        QVERIFY2(html.contains(QStringLiteral("<title>")), qPrintable(page));
    }
}

void TestHelpWindow::linksStayInsideWebLinksGoToTheOpener()
{
    CXHelpWindow window;
    QList<QUrl> opened;
    window.SetLinkOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    window.ShowTopic(QString());
    auto* browser = window.findChild<QTextBrowser*>(QStringLiteral("helpBrowser"));
    QVERIFY(browser);

    // A page link: followed inside the window, nothing handed out.
    QVERIFY(ClickLink(browser, QStringLiteral("ScanningProcessing.htm")));
    QTRY_COMPARE(window.CurrentPage().fileName(), QStringLiteral("ScanningProcessing.htm"));
    QVERIFY(opened.isEmpty());

    // An anchor on the same page keeps the page.
    QVERIFY(ClickLink(browser, QStringLiteral("index.htm#deletion")));
    QTRY_COMPARE(window.CurrentPage().fileName(), QStringLiteral("index.htm"));
    QCOMPARE(window.CurrentPage().fragment(), QStringLiteral("deletion"));
    QVERIFY(opened.isEmpty());

    // Web links leave the window for the opener, and the page on show stays.
    browser->setHtml(QStringLiteral("<p><a href=\"https://example.org/zelvano\">site</a> "
                                    "<a href=\"http://example.org/plain\">plain</a></p>"));
    QVERIFY(ClickLink(browser, QStringLiteral("https://example.org/zelvano")));
    QVERIFY(ClickLink(browser, QStringLiteral("http://example.org/plain")));
    QCOMPARE(opened, (QList<QUrl>{QUrl(QStringLiteral("https://example.org/zelvano")),
                                  QUrl(QStringLiteral("http://example.org/plain"))}));
    QVERIFY(browser->toPlainText().contains(QStringLiteral("site")));
}

void TestHelpWindow::backAndForwardFollowTheHistory()
{
    CXHelpWindow window;
    window.ShowTopic(QString());
    auto* browser = window.findChild<QTextBrowser*>(QStringLiteral("helpBrowser"));
    auto* back = window.findChild<QToolButton*>(QStringLiteral("helpBackButton"));
    auto* forward = window.findChild<QToolButton*>(QStringLiteral("helpForwardButton"));
    auto* home = window.findChild<QToolButton*>(QStringLiteral("helpHomeButton"));
    QVERIFY(browser && back && forward && home);
    QVERIFY(!back->isEnabled());
    QVERIFY(!forward->isEnabled());

    QVERIFY(ClickLink(browser, QStringLiteral("General.htm")));
    QTRY_COMPARE(window.CurrentPage().fileName(), QStringLiteral("General.htm"));
    QVERIFY(back->isEnabled());
    QVERIFY(!forward->isEnabled());

    QTest::mouseClick(back, Qt::LeftButton);
    QCOMPARE(window.CurrentPage().fileName(), QStringLiteral("index.htm"));
    QVERIFY(!back->isEnabled());
    QVERIFY(forward->isEnabled());

    QTest::mouseClick(forward, Qt::LeftButton);
    QCOMPARE(window.CurrentPage().fileName(), QStringLiteral("General.htm"));
    QVERIFY(back->isEnabled());
    QVERIFY(!forward->isEnabled());

    // Start goes home as a new step: Back returns to the page left.
    QTest::mouseClick(home, Qt::LeftButton);
    QCOMPARE(window.CurrentPage(), CXHelpWindow::StartPage());
    QTest::mouseClick(back, Qt::LeftButton);
    QCOMPARE(window.CurrentPage().fileName(), QStringLiteral("General.htm"));
}

void TestHelpWindow::darkPaletteGivesNoLightBoxes()
{
    CXHelpWindow light;
    light.ShowTopic(QString());
    const auto* lightBrowser = light.findChild<QTextBrowser*>(QStringLiteral("helpBrowser"));
    const QColor lightNote = FirstTableBackground(lightBrowser->document());
    QVERIFY(lightNote.isValid());

    CXHelpWindow dark;
    dark.setPalette(DarkPalette());
    dark.ShowTopic(QString());
    const auto* darkBrowser = dark.findChild<QTextBrowser*>(QStringLiteral("helpBrowser"));
    const QColor darkNote = FirstTableBackground(darkBrowser->document());
    QCOMPARE(darkNote, DarkPalette().color(QPalette::AlternateBase));

    // A palette change while a page is on show recolours that page.
    light.setPalette(DarkPalette());
    QTRY_COMPARE(FirstTableBackground(lightBrowser->document()), DarkPalette().color(QPalette::AlternateBase));
    QCOMPARE(light.CurrentPage(), CXHelpWindow::StartPage());
}

void TestHelpWindow::remembersItsSizeForTheSession()
{
    {
        CXHelpWindow first;
        first.ShowTopic(QString());
        first.resize(640, 480);
        first.hide();
    }
    CXHelpWindow second;
    QCOMPARE(second.size(), QSize(640, 480));
}

void TestHelpWindow::aboutShowsVersionAndLibraries()
{
    CXAboutBox box(nullptr);
    QCOMPARE(box.windowTitle(), QStringLiteral("About Zelvano"));
    QVERIFY(box.isModal());
    const auto label = [&box](const char* name) {
        auto* found = box.findChild<QLabel*>(QLatin1String(name));
        return found ? found->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
    };
    QCOMPARE(label("aboutName"), QStringLiteral("Zelvano"));
    QCOMPARE(label("aboutVersion"), QStringLiteral("Version " ZELVANO_VERSION));
    QCOMPARE(label("aboutLicence"),
             QStringLiteral("Copyright \u00a9 2026 the Zelvano developers. All rights reserved."));
    QVERIFY(!label("aboutDescription").isEmpty());
    auto* icon = box.findChild<QLabel*>(QStringLiteral("aboutIcon"));
    QVERIFY(icon && !icon->pixmap().isNull());

    const QString libraries = label("aboutLibraries");
    QVERIFY2(libraries.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())), qPrintable(libraries));
    QVERIFY2(libraries.contains(QStringLiteral("zlib ") + QString::fromLatin1(zlibVersion())), qPrintable(libraries));
    QVERIFY2(libraries.contains(QStringLiteral("UnRAR")), qPrintable(libraries));
    QVERIFY2(libraries.contains(QStringLiteral("libjpeg")), qPrintable(libraries));
    QVERIFY(label("aboutUnrarNotice").contains(QStringLiteral("not to re-create the RAR compression algorithm")));
}

void TestHelpWindow::aboutHomeLink_data()
{
    QTest::addColumn<QByteArray>("environment");
    QTest::addColumn<QString>("link");

    QTest::newRow("configured") << QByteArray("https://example.org/zelvano/") << "https://example.org/zelvano/";
    QTest::newRow("none") << QByteArray() << QString();
    QTest::newRow("not a web address") << QByteArray("ftp://example.org/zelvano") << QString();
}

void TestHelpWindow::aboutHomeLink()
{
    QFETCH(QByteArray, environment);
    QFETCH(QString, link);

    qputenv("ZELVANO_HOME_URL", environment);
    CXAboutBox box;
    auto* label = box.findChild<QLabel*>(QStringLiteral("aboutHomeLink"));
    if (link.isEmpty()) {
        QVERIFY(label == nullptr);
        return;
    }
    QVERIFY(label);
    QVERIFY2(label->text().contains(QStringLiteral("href=\"") + link + QLatin1Char('"')), qPrintable(label->text()));
    QVERIFY(label->openExternalLinks());
}

void TestHelpWindow::aboutClosesWithOk()
{
    CXAboutBox box;
    box.show();
    auto* ok = box.findChild<QPushButton*>(QStringLiteral("aboutOkButton"));
    QVERIFY(ok);
    QTest::mouseClick(ok, Qt::LeftButton);
    QTRY_VERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Accepted));
}

QTEST_MAIN(TestHelpWindow)
#include "tst_helpwindow.moc"
