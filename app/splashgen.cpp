// Draws the start-up picture (800 x 480, with alpha) at build time, so the
// repository carries its recipe instead of a binary; writes it as a PNG and
// as the pixel runs the program shows it from (splashpictureloader.h).
//   splashgen <output.png> <output.runs>
//
// The picture is decoded on every start, before anything else is shown, so
// it is made cheap to decode: plain areas and vertical gradients that
// compress into long runs, and rows stored unfiltered (filter type 0), which
// spares the decoder the per-byte prediction of the adaptive filters.
#include "splashpictureloader.h"

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>

#include <cmath>
#include <utility>
#include <cstdio>

namespace {

quint32 crc32(const QByteArray &data)
{
    static quint32 table[256];
    if (!table[1]) {
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
    }
    quint32 c = 0xFFFFFFFFu;
    for (const char byte : data)
        c = table[(c ^ quint8(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray body = QByteArray(type, 4) + data;
    return bigEndian(quint32(data.size())) + body + bigEndian(crc32(body));
}

// 8-bit RGBA, no interlace, every row with filter type 0.
QByteArray encodePng(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGBA8888);
    QByteArray rows;
    rows.reserve(image.height() * (1 + image.width() * 4));
    for (int y = 0; y < image.height(); ++y) {
        rows.append('\0');
        rows.append(reinterpret_cast<const char *>(image.constScanLine(y)), image.width() * 4);
    }
    QByteArray header = bigEndian(quint32(image.width())) + bigEndian(quint32(image.height()));
    header.append(char(8)); // bit depth
    header.append(char(6)); // RGBA
    header.append(3, '\0'); // deflate, adaptive filtering method, no interlace
    // qCompress() gives a zlib stream behind a 4-byte length of its own.
    const QByteArray compressed = qCompress(rows, 9).mid(4);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", compressed)
           + chunk("IEND", QByteArray());
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: splashgen <output.png> <output.runs>\n");
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

    // The runs hold what decoding the PNG gives: its unpremultiplied 8-bit
    // channels, premultiplied again.
    const QByteArray png = encodePng(image);
    const QByteArray runs = SplashPictureLoader::encodeRuns(
        image.convertToFormat(QImage::Format_RGBA8888).convertToFormat(QImage::Format_ARGB32));
    for (const auto &[name, bytes] : {std::make_pair(argv[1], png), std::make_pair(argv[2], runs)}) {
        QFile file(QString::fromLocal8Bit(name));
        if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
            std::fprintf(stderr, "splashgen: cannot write %s\n", name);
            return 1;
        }
    }
    return 0;
}
