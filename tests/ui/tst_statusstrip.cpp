#include "ui/headerbanner.h"
#include "ui/statusstrip.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QTextBlock>
#include <QTextDocument>
#include <QtMath>
#include <QtTest>

namespace {

const QString kEllipsis(QChar(0x2026));

// A dark palette as a desktop theme would set it: dark window and base, light texts.
QPalette DarkPalette()
{
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(40, 40, 44));
    pal.setColor(QPalette::WindowText, QColor(230, 230, 230));
    pal.setColor(QPalette::Base, QColor(30, 30, 33));
    pal.setColor(QPalette::Text, QColor(230, 230, 230));
    pal.setColor(QPalette::Mid, QColor(90, 90, 96));
    pal.setColor(QPalette::Link, QColor(90, 160, 240));
    return pal;
}

QPalette LightPalette()
{
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(239, 239, 239));
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    return pal;
}

QImage Render(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    widget.render(&image);
    return image;
}

const QString kLongPath = QStringLiteral("/home/someone/Pictures/Holidays/2019/Summer in the mountains/"
                                         "Day trips and long walks/Lakes and valleys/Lake.zip");

} // namespace

class TestStatusStrip : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startsReadyWithEmptyTexts()
    {
        CXInformationST strip;
        QCOMPARE(strip.State(), 0);
        QCOMPARE(strip.LabelText(), QStringLiteral("Ready"));
        QVERIFY(strip.MainText().isEmpty());
        QVERIFY(strip.SecondaryText().isEmpty());
        QVERIFY(!strip.objectName().isEmpty());
    }

    void stateSetsLabelAndItsWidth_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("label");
#ifdef Q_OS_WIN
        const QString recycling = QStringLiteral("Recycling:");
#else
        const QString recycling = QStringLiteral("Moving to Trash:");
#endif
        QTest::newRow("0") << 0 << QStringLiteral("Ready");
        QTest::newRow("1") << 1 << QStringLiteral("Scanning:");
        QTest::newRow("2") << 2 << QStringLiteral("Adding:");
        QTest::newRow("3") << 3 << QStringLiteral("Unpacking:");
        QTest::newRow("4") << 4 << QStringLiteral("Pausing");
        QTest::newRow("5") << 5 << QStringLiteral("Paused");
        QTest::newRow("6") << 6 << QStringLiteral("Validating:");
        QTest::newRow("7") << 7 << QStringLiteral("Initializing");
        QTest::newRow("8") << 8 << QStringLiteral("Deleting:");
        QTest::newRow("9") << 9 << recycling;
    }
    void stateSetsLabelAndItsWidth()
    {
        QFETCH(int, state);
        QFETCH(QString, label);
        CXInformationST strip;
        strip.resize(600, 24);
        strip.SetState(state);
        QCOMPARE(strip.State(), state);
        QCOMPARE(strip.LabelText(), label);
        QCOMPARE(strip.accessibleName(), label);
        // The main area starts five pixels after the label area, which is the label's width plus ten.
        const int labelWidth = strip.MeasureText(label) + 10;
        const int split = strip.SplitX();
        QCOMPARE(split, static_cast<int>((600 - labelWidth) * (state == 3 ? 0.8 : 0.6)));
    }

    void unknownStateKeepsThePreviousLabel_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("-1") << -1;
        QTest::newRow("10") << 10;
        QTest::newRow("large") << 0x7fffffff;
    }
    void unknownStateKeepsThePreviousLabel()
    {
        QFETCH(int, state);
        CXInformationST strip;
        strip.SetState(5);
        strip.SetState(state);
        QCOMPARE(strip.State(), state);
        QCOMPARE(strip.LabelText(), QStringLiteral("Paused"));
    }

    // Texts from the workers are file names and folder paths: nothing in them is a format or a shortcut.
    void textsAreShownLiterally_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("eliding state") << 1;
        QTest::newRow("clipping state") << 0;
    }
    void textsAreShownLiterally()
    {
        QFETCH(int, state);
        CXInformationST strip;
        strip.resize(900, 24);
        strip.SetState(state);
        const QString text = QStringLiteral("%s 100% & more &&x %1");
        strip.SetMainText(text);
        strip.SetSecondaryText(text);
        QCOMPARE(strip.MainText(), text);
        QCOMPARE(strip.ShownMainText(), text);
        QCOMPARE(strip.ShownSecondaryText(), text);
        QVERIFY(!Render(strip).isNull());
    }

    // While unpacking the main area takes 80 percent and a long archive path loses its middle, keeping
    // the beginning and the archive's name; while scanning the area is narrower (60 percent).
    void longPathIsShortenedInItsMiddle()
    {
        CXInformationST strip;
        strip.resize(700, 24);
        strip.SetMainText(kLongPath);

        strip.SetState(3);
        const int unpackSplit = strip.SplitX();
        const QString unpacking = strip.ShownMainText();
        QVERIFY2(unpacking.contains(kEllipsis), qPrintable(unpacking));
        QVERIFY(unpacking.startsWith(QStringLiteral("/home/")));
        QVERIFY(unpacking.endsWith(QStringLiteral("/Lake.zip")));
        QVERIFY(unpacking.size() < kLongPath.size());
        QVERIFY(strip.MeasureText(unpacking) <= unpackSplit - strip.MeasureText(QStringLiteral("tail")));

        strip.SetState(1);
        const int scanSplit = strip.SplitX();
        const QString scanning = strip.ShownMainText();
        QVERIFY(scanSplit < unpackSplit);
        QVERIFY(scanning.endsWith(QStringLiteral("Lake.zip")));
        QVERIFY(scanning.size() < unpacking.size());
        QCOMPARE(strip.MainText(), kLongPath);
    }

    void otherStatesClipInsteadOfShortening_data()
    {
        QTest::addColumn<int>("state");
        for (int state : {0, 4, 5, 7, 8, 9})
            QTest::newRow(qPrintable(QString::number(state))) << state;
    }
    void otherStatesClipInsteadOfShortening()
    {
        QFETCH(int, state);
        CXInformationST strip;
        strip.resize(300, 24);
        strip.SetState(state);
        strip.SetMainText(kLongPath);
        QCOMPARE(strip.ShownMainText(), kLongPath);
    }

    void secondaryTextKeepsItsBeginning()
    {
        CXInformationST strip;
        strip.resize(500, 24);
        strip.SetState(3);
        const QString entry = QStringLiteral("Skipping: a very long entry name inside the archive of many photos.jpg");
        strip.SetSecondaryText(entry);
        const QString shown = strip.ShownSecondaryText();
        QVERIFY2(shown.endsWith(kEllipsis), qPrintable(shown));
        QVERIFY(shown.startsWith(QStringLiteral("Skipping: a")));
        // It fits its area: from five pixels after the split to the right edge, less two spaces.
        QVERIFY(strip.MeasureText(shown) <= 500 - strip.SplitX() - 5);

        // A wider strip shows it whole.
        strip.resize(4000, 24);
        QCOMPARE(strip.ShownSecondaryText(), entry);
    }

    void clearTextsKeepsStateAndLabel()
    {
        CXInformationST strip;
        strip.SetState(6);
        strip.SetMainText(QStringLiteral("/p/a.zip"));
        strip.SetSecondaryText(QStringLiteral("b.jpg"));
        QVERIFY(strip.accessibleDescription().contains(QStringLiteral("b.jpg")));
        strip.ClearTexts();
        QCOMPARE(strip.State(), 6);
        QCOMPARE(strip.LabelText(), QStringLiteral("Validating:"));
        QVERIFY(strip.MainText().isEmpty());
        QVERIFY(strip.SecondaryText().isEmpty());
        QVERIFY(strip.ShownMainText().isEmpty());
        QVERIFY(strip.accessibleDescription().isEmpty());
    }

    void heightFitsTheFont()
    {
        CXInformationST strip;
        const QSize hint = strip.sizeHint();
        QVERIFY(hint.height() >= 23);
        QVERIFY(hint.height() > QFontMetrics(strip.font()).height());
        QVERIFY(hint.width() > 0);
    }

    void lightPaletteDrawsFrameOnWhite()
    {
        CXInformationST strip;
        strip.setPalette(LightPalette());
        strip.resize(400, 24);
        strip.SetState(3);
        strip.SetMainText(QStringLiteral("/p/a.zip"));
        const QImage image = Render(strip);
        const QColor frame(130, 135, 144);
        QCOMPARE(image.pixelColor(0, 12), frame);
        QCOMPARE(image.pixelColor(399, 12), frame);
        QCOMPARE(image.pixelColor(200, 0), frame);
        QCOMPARE(image.pixelColor(200, 23), frame);
        QCOMPARE(image.pixelColor(398, 1), QColor(Qt::white));
        // The label is drawn in the strip's blue.
        bool blue = false;
        for (int x = 1; x < strip.MeasureText(strip.LabelText()) + 10 && !blue; ++x) {
            for (int y = 1; y < 23 && !blue; ++y) {
                const QColor c = image.pixelColor(x, y);
                blue = c.blue() > c.red() + 40;
            }
        }
        QVERIFY(blue);

        strip.SetFrame(false);
        QCOMPARE(Render(strip).pixelColor(0, 12), QColor(Qt::white));
    }

    void darkPaletteNeverPaintsAWhiteBox()
    {
        CXInformationST strip;
        strip.setPalette(DarkPalette());
        strip.resize(400, 24);
        strip.SetState(1);
        strip.SetMainText(QStringLiteral("/p/a.zip"));
        const QImage image = Render(strip);
        const QColor background = image.pixelColor(398, 2);
        QVERIFY2(background.lightness() < 100, qPrintable(background.name()));
        QCOMPARE(background, DarkPalette().color(QPalette::Base));
        // And the texts on it are light.
        int lightest = 0;
        for (int x = 1; x < 399; ++x)
            lightest = qMax(lightest, image.pixelColor(x, 12).lightness());
        QVERIFY(lightest > 128);
    }
};

class TestHeaderBanner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void markupKeepsBoldAndNonBreakingSpacesOnly_data()
    {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<bool>("bold");
        QTest::newRow("bold run") << QStringLiteral("a <b>Help</b> b") << QStringLiteral("a Help b") << true;
        QTest::newRow("ampersand") << QStringLiteral("ZIP & RAR") << QStringLiteral("ZIP & RAR") << false;
        QTest::newRow("other tags") << QStringLiteral("<i>x</i> <br> 1 < 2 > 0")
                                    << QStringLiteral("<i>x</i> <br> 1 < 2 > 0") << false;
        QTest::newRow("nbsp") << QStringLiteral("a:&nbsp;&nbsp;b") << QStringLiteral("a:\u00a0\u00a0b") << false;
        QTest::newRow("entity kept literal") << QStringLiteral("&amp;") << QStringLiteral("&amp;") << false;
        QTest::newRow("trade mark") << QStringLiteral("<b>Smart Extraction\u2122</b>")
                                    << QStringLiteral("Smart Extraction\u2122") << true;
    }
    void markupKeepsBoldAndNonBreakingSpacesOnly()
    {
        QFETCH(QString, markup);
        QFETCH(QString, plain);
        QFETCH(bool, bold);
        QTextDocument doc;
        doc.setHtml(CXHeaderST::MarkupToHtml(markup));
        QCOMPARE(doc.toRawText(), plain);
        bool anyBold = false;
        for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it)
                anyBold = anyBold || it.fragment().charFormat().fontWeight() >= QFont::Bold;
        }
        QCOMPARE(anyBold, bold);
    }

    void keepsItsHeightAndWrapsWithTheWidth()
    {
        CXHeaderST banner;
        banner.setPalette(LightPalette());
        banner.SetTitle(QStringLiteral("QuickStart"));
        banner.SetIcon(QStringLiteral(":/icons/banner.svg"));
        banner.SetText(QStringLiteral("Zelvano works by recursively searching the <b>Source Folder to Scan</b> for "
                                      "ZIP & RAR archives containing supported image formats to extract. "
                                      "<b>To get Started:</b>&nbsp;&nbsp;Click on the <b>Choose Source Folder</b> "
                                      "button."));
        QVERIFY(banner.HasIcon());
        QCOMPARE(banner.sizeHint().height(), 88);

        banner.resize(1400, 88);
        QCOMPARE(banner.height(), 88);
        const qreal wide = banner.BodyTextHeight();
        const QRect wideBody = banner.BodyRect();
        QCOMPARE(banner.ShownTitle(), QStringLiteral("QuickStart"));
        QImage image = Render(banner);
        QCOMPARE(image.pixelColor(700, 87), QColor(130, 135, 144));

        banner.resize(300, 200);
        QCOMPARE(banner.height(), 88);
        QVERIFY(banner.BodyRect().width() < wideBody.width());
        QVERIFY2(banner.BodyTextHeight() > wide,
                 qPrintable(QStringLiteral("%1 vs %2").arg(banner.BodyTextHeight()).arg(wide)));
        QVERIFY(banner.BodyRect().bottom() < 88);
        image = Render(banner);
        QCOMPARE(image.size(), QSize(300, 88));

        // The lines that do not fit are left out whole: nothing is drawn below the last full line.
        const QRect body = banner.BodyRect();
        const qreal shown = banner.BodyShownHeight();
        QVERIFY(shown > 0);
        QVERIFY(shown <= body.height());
        QVERIFY(shown < banner.BodyTextHeight());
        int inkBelow = 0;
        for (int y = body.top() + qCeil(shown) + 1; y <= body.bottom(); ++y) {
            for (int x = body.left(); x <= body.right(); ++x)
                inkBelow += image.pixelColor(x, y) != QColor(Qt::white) ? 1 : 0;
        }
        QCOMPARE(inkBelow, 0);

        // Without its picture the text starts near the left edge.
        const int withIcon = banner.BodyRect().left();
        banner.SetIcon(QString());
        QVERIFY(!banner.HasIcon());
        QVERIFY(banner.BodyRect().left() < withIcon);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no/such\\.svg")));
        banner.SetIcon(QStringLiteral(":/no/such.svg"));
        QVERIFY(!banner.HasIcon());
        QVERIFY(!Render(banner).isNull());
    }

    void darkPaletteBackgroundIsNotWhite()
    {
        CXHeaderST banner;
        banner.setPalette(DarkPalette());
        banner.SetTitle(QStringLiteral("QuickStart"));
        banner.resize(600, 88);
        const QImage image = Render(banner);
        QCOMPARE(image.pixelColor(595, 80), DarkPalette().color(QPalette::Base));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The pictures live in the GUI library's resources, which a static link does not register by itself.
    Q_INIT_RESOURCE(zelvano);
    int status = 0;
    {
        TestStatusStrip strip;
        status |= QTest::qExec(&strip, argc, argv);
    }
    {
        TestHeaderBanner banner;
        status |= QTest::qExec(&banner, argc, argv);
    }
    return status;
}

#include "tst_statusstrip.moc"
