// Renders an SVG picture into a square PNG of the given size: zelvano-svgtopng INPUT.svg SIZE OUTPUT.png
// The build uses it for the PNG sizes of the application icon that desktops without SVG icons look for.
#include <cstdio>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

int main(int argc, char* argv[])
{
    // Painting into an image needs no window system, so a build machine without a display will do.
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool sizeOk = false;
    const int size = args.size() == 4 ? args.at(2).toInt(&sizeOk) : 0;
    if (!sizeOk || size < 1 || size > 4096) {
        std::fputs("usage: zelvano-svgtopng INPUT.svg SIZE OUTPUT.png\n", stderr);
        return 2;
    }
    const QString input = args.at(1);
    const QString output = args.at(3);

    QSvgRenderer renderer(input);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "zelvano-svgtopng: cannot read %s\n", qPrintable(input));
        return 1;
    }
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    if (!QDir().mkpath(QFileInfo(output).absolutePath()) || !image.save(output, "PNG")) {
        std::fprintf(stderr, "zelvano-svgtopng: cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}
