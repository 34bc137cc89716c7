// zelvano-mksamples: writes real JPEG and PNG pictures for sample trees of photo archives.
//
//   zelvano-mksamples FOLDER COUNT [--width W] [--height H] [--png-every K] [--seed S] [--prefix NAME]
//
// Writes COUNT pictures named PREFIX_0001.jpg and so on into FOLDER (created when missing); every K-th
// picture is a PNG instead (0: none). The pictures are drawn with gradients, shapes and grain, so they
// compress like photographs rather than like flat colour.
#include <cstdio>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTextStream>

namespace {

QImage DrawPicture(int width, int height, QRandomGenerator& random)
{
    QImage image(width, height, QImage::Format_RGB32);
    QLinearGradient sky(0, 0, width, height);
    sky.setColorAt(0, QColor::fromHsv(random.bounded(360), 80 + random.bounded(120), 120 + random.bounded(120)));
    sky.setColorAt(1, QColor::fromHsv(random.bounded(360), 80 + random.bounded(120), 60 + random.bounded(160)));
    QPainter painter(&image);
    painter.fillRect(image.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 24; ++i) {
        const QColor color = QColor::fromHsv(random.bounded(360), random.bounded(256), random.bounded(256), 160);
        painter.setBrush(color);
        painter.setPen(Qt::NoPen);
        const int w = 20 + random.bounded(qMax(1, width / 3));
        const int h = 20 + random.bounded(qMax(1, height / 3));
        painter.drawEllipse(random.bounded(width), random.bounded(height), w, h);
    }
    painter.end();
    // Grain, as a sensor leaves it: what makes a photograph cost its size.
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = int(random.bounded(25)) - 12;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + n, 255), qBound(0, qGreen(p) + n, 255), qBound(0, qBlue(p) + n, 255));
        }
    }
    return image;
}

int Usage(QTextStream& err)
{
    err << "Usage: zelvano-mksamples FOLDER COUNT [--width W] [--height H] [--png-every K] [--seed S] "
           "[--prefix NAME]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 2)
        return Usage(err);
    const QString folder = args.takeFirst();
    bool ok = false;
    const int count = args.takeFirst().toInt(&ok);
    if (!ok || count < 0)
        return Usage(err);
    int width = 1600, height = 1200, pngEvery = 0;
    quint32 seed = 1;
    QString prefix = QStringLiteral("IMG");
    while (!args.isEmpty()) {
        const QString option = args.takeFirst();
        if (args.isEmpty())
            return Usage(err);
        const QString value = args.takeFirst();
        if (option == QLatin1String("--width"))
            width = value.toInt(&ok);
        else if (option == QLatin1String("--height"))
            height = value.toInt(&ok);
        else if (option == QLatin1String("--png-every"))
            pngEvery = value.toInt(&ok);
        else if (option == QLatin1String("--seed"))
            seed = value.toUInt(&ok);
        else if (option == QLatin1String("--prefix"))
            prefix = value;
        else
            ok = false;
        if (!ok || width <= 0 || height <= 0 || pngEvery < 0)
            return Usage(err);
    }
    if (!QDir().mkpath(folder)) {
        err << "zelvano-mksamples: cannot create " << folder << "\n";
        return 1;
    }
    QRandomGenerator random(seed);
    for (int i = 1; i <= count; ++i) {
        const bool png = pngEvery > 0 && i % pngEvery == 0;
        const QString name = QStringLiteral("%1/%2_%3.%4")
                                 .arg(folder, prefix)
                                 .arg(i, 4, 10, QLatin1Char('0'))
                                 .arg(QLatin1String(png ? "png" : "jpg"));
        const QImage image = DrawPicture(width, height, random);
        if (!image.save(name, png ? "PNG" : "JPEG", png ? -1 : 90)) {
            err << "zelvano-mksamples: cannot write " << name << "\n";
            return 1;
        }
    }
    return 0;
}
