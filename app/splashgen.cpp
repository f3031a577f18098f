// Draws the start-up picture (800 x 480, with alpha) at build time, so the
// repository carries its recipe instead of a binary; writes it as a PNG.
//   splashgen <output.png>
//
// The picture is decoded on every start before the splash screen shows, so
// it keeps to plain areas and vertical gradients, which compress well.
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: splashgen <output.png>\n");
        return 2;
    }
    QImage image(800, 480, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Card with rounded, see-through corners.
    QPainterPath card;
    card.addRoundedRect(QRectF(0.5, 0.5, 799, 479), 28, 28);
    QLinearGradient body(0, 0, 0, 480);
    body.setColorAt(0.0, QColor(8, 28, 44, 245));
    body.setColorAt(0.5, QColor(14, 60, 72, 240));
    body.setColorAt(1.0, QColor(4, 18, 30, 250));
    p.fillPath(card, body);
    p.setClipPath(card);

    // Register grid, the device's memory, fading to the left.
    for (int row = 0; row < 12; ++row) {
        for (int col = 0; col < 16; ++col) {
            const int alpha = 12 + col * 5 + ((row * 7 + col * 3) % 5) * 6;
            p.fillRect(QRectF(470 + col * 19, 70 + row * 26, 14, 18), QColor(124, 252, 0, alpha));
        }
    }

    // A signal trace across the picture.
    QPainterPath trace;
    trace.moveTo(0, 300);
    for (int x = 0; x <= 800; x += 4) {
        const double y = 300 - 55 * std::sin(x / 47.0) * std::exp(-std::pow((x - 400) / 260.0, 2));
        trace.lineTo(x, y);
    }
    p.setPen(QPen(QColor(124, 252, 0, 200), 3));
    p.drawPath(trace);
    p.setPen(QPen(QColor(124, 252, 0, 60), 9));
    p.drawPath(trace);

    // Darker bands for the labels at top and bottom.
    p.fillRect(QRectF(0, 0, 800, 56), QColor(0, 0, 0, 90));
    p.fillRect(QRectF(0, 424, 800, 56), QColor(0, 0, 0, 90));
    p.end();

    QImageWriter writer(QString::fromLocal8Bit(argv[1]), "png");
    if (!writer.write(image)) {
        std::fprintf(stderr, "splashgen: cannot write %s: %s\n", argv[1], qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
