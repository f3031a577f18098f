// Draws the program's icon at build time: one list of shapes, written out
// both as the scalable SVG and as PNG pictures of the usual theme sizes, so
// the two forms cannot drift apart.
//   icongen <output folder>
// writes <folder>/scalable/apps/korvane-config.svg and
// <folder>/<n>x<n>/apps/korvane-config.png.
//
// The picture: a device panel (rounded square) with a dial whose needle
// stands in the upper part of its range, and three status lights below.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QTextStream>
#include <QVector>

#include <cmath>
#include <cstdio>

namespace {

const char *const iconName = "korvane-config";
const double canvas = 256.0;

struct Shape
{
    enum Kind { Panel, Arc, Line, Dot };
    Kind kind;
    double x, y;      // panel: top left; arc, line, dot: centre or start
    double a, b;      // panel: width, height; arc: radius, -; line: end
    double c, d;      // panel: corner radius; arc: start and span in degrees (counter-clockwise)
    double width;     // stroke width; dot: radius
    const char *color;
    const char *color2; // panel: gradient bottom colour
};

const double dialX = 128, dialY = 138, dialRadius = 70;
const double needleAngle = 62; // degrees, counter-clockwise from three o'clock

QVector<Shape> shapes()
{
    const double rad = needleAngle * M_PI / 180.0;
    const double needleLength = 60;
    return {
        {Shape::Panel, 20, 20, 216, 216, 44, 0, 0, "#2f6ea3", "#173a5e"},
        {Shape::Arc, dialX, dialY, dialRadius, 0, 210, -240, 20, "#d5e1ec", nullptr},
        {Shape::Arc, dialX, dialY, dialRadius, 0, 210, -(210 - needleAngle), 20, "#4cc38a", nullptr},
        {Shape::Line, dialX, dialY, dialX + needleLength * std::cos(rad),
         dialY - needleLength * std::sin(rad), 0, 0, 11, "#ffffff", nullptr},
        {Shape::Dot, dialX, dialY, 0, 0, 0, 0, 15, "#ffffff", nullptr},
        {Shape::Dot, 96, 204, 0, 0, 0, 0, 10, "#5fd068", nullptr},
        {Shape::Dot, 128, 204, 0, 0, 0, 0, 10, "#5fd068", nullptr},
        {Shape::Dot, 160, 204, 0, 0, 0, 0, 10, "#f5b13d", nullptr},
    };
}

QString number(double value)
{
    return QString::number(std::round(value * 100.0) / 100.0, 'g', 8);
}

// A point of the circle at a counter-clockwise angle; y grows downwards.
QPointF onCircle(double cx, double cy, double r, double degrees)
{
    const double rad = degrees * M_PI / 180.0;
    return {cx + r * std::cos(rad), cy - r * std::sin(rad)};
}

QString svg()
{
    QString text;
    QTextStream out(&text);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n";
    int gradients = 0;
    for (const Shape &s : shapes()) {
        switch (s.kind) {
        case Shape::Panel: {
            const QString id = QStringLiteral("panel%1").arg(++gradients);
            out << "  <defs><linearGradient id=\"" << id << "\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\""
                << number(s.y) << "\" x2=\"0\" y2=\"" << number(s.y + s.b) << "\">"
                << "<stop offset=\"0\" stop-color=\"" << s.color << "\"/>"
                << "<stop offset=\"1\" stop-color=\"" << s.color2 << "\"/></linearGradient></defs>\n"
                << "  <rect x=\"" << number(s.x) << "\" y=\"" << number(s.y) << "\" width=\"" << number(s.a)
                << "\" height=\"" << number(s.b) << "\" rx=\"" << number(s.c) << "\" fill=\"url(#" << id
                << ")\"/>\n";
            break;
        }
        case Shape::Arc: {
            const QPointF from = onCircle(s.x, s.y, s.a, s.c);
            const QPointF to = onCircle(s.x, s.y, s.a, s.c + s.d);
            // A negative span runs clockwise on screen, which is SVG's
            // positive sweep direction.
            out << "  <path d=\"M " << number(from.x()) << ' ' << number(from.y()) << " A " << number(s.a) << ' '
                << number(s.a) << " 0 " << (std::fabs(s.d) > 180 ? 1 : 0) << ' ' << (s.d < 0 ? 1 : 0) << ' '
                << number(to.x()) << ' ' << number(to.y()) << "\" fill=\"none\" stroke=\"" << s.color
                << "\" stroke-width=\"" << number(s.width) << "\" stroke-linecap=\"round\"/>\n";
            break;
        }
        case Shape::Line:
            out << "  <line x1=\"" << number(s.x) << "\" y1=\"" << number(s.y) << "\" x2=\"" << number(s.a)
                << "\" y2=\"" << number(s.b) << "\" stroke=\"" << s.color << "\" stroke-width=\""
                << number(s.width) << "\" stroke-linecap=\"round\"/>\n";
            break;
        case Shape::Dot:
            out << "  <circle cx=\"" << number(s.x) << "\" cy=\"" << number(s.y) << "\" r=\"" << number(s.width)
                << "\" fill=\"" << s.color << "\"/>\n";
            break;
        }
    }
    out << "</svg>\n";
    return text;
}

QImage picture(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / canvas, size / canvas);
    for (const Shape &s : shapes()) {
        switch (s.kind) {
        case Shape::Panel: {
            QLinearGradient gradient(0, s.y, 0, s.y + s.b);
            gradient.setColorAt(0, QColor(QLatin1String(s.color)));
            gradient.setColorAt(1, QColor(QLatin1String(s.color2)));
            painter.setPen(Qt::NoPen);
            painter.setBrush(gradient);
            painter.drawRoundedRect(QRectF(s.x, s.y, s.a, s.b), s.c, s.c);
            break;
        }
        case Shape::Arc: {
            QPainterPath path;
            const QRectF box(s.x - s.a, s.y - s.a, 2 * s.a, 2 * s.a);
            path.arcMoveTo(box, s.c);
            path.arcTo(box, s.c, s.d);
            painter.setPen(QPen(QColor(QLatin1String(s.color)), s.width, Qt::SolidLine, Qt::RoundCap));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(path);
            break;
        }
        case Shape::Line:
            painter.setPen(QPen(QColor(QLatin1String(s.color)), s.width, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(s.x, s.y), QPointF(s.a, s.b));
            break;
        case Shape::Dot:
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(QLatin1String(s.color)));
            painter.drawEllipse(QPointF(s.x, s.y), s.width, s.width);
            break;
        }
    }
    return image;
}

bool write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "icongen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: icongen <output folder>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    if (!write(QStringLiteral("%1/scalable/apps/%2.svg").arg(root, QLatin1String(iconName)), svg().toUtf8()))
        return 1;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString path = QStringLiteral("%1/%2x%2/apps/%3.png").arg(root).arg(size).arg(QLatin1String(iconName));
        QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
        if (!picture(size).save(path, "PNG")) {
            std::fprintf(stderr, "icongen: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
