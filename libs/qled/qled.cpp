#include "qled.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

QLed::QLed(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

QLed::~QLed() = default;

QColor QLed::color(LedColor color)
{
    switch (color) {
    case Red:
        return QColor(0xe5, 0x1c, 0x1c);
    case Green:
        return QColor(0x2e, 0xc8, 0x3c);
    case Yellow:
        return QColor(0xf5, 0xd0, 0x1a);
    case Grey:
        return QColor(0x8c, 0x8c, 0x8c);
    case Orange:
        return QColor(0xf5, 0x8a, 0x12);
    case Purple:
        return QColor(0x9c, 0x3c, 0xc8);
    case Blue:
        return QColor(0x1e, 0x6e, 0xe6);
    }
    return QColor(0x8c, 0x8c, 0x8c);
}

QSize QLed::sizeHint() const
{
    return QSize(24, 24);
}

QSize QLed::minimumSizeHint() const
{
    return QSize(8, 8);
}

void QLed::setValue(bool value)
{
    if (m_value == value)
        return;
    m_value = value;
    update();
}

void QLed::toggleValue()
{
    setValue(!m_value);
}

void QLed::setOnColor(LedColor color)
{
    m_onColor = color;
    update();
}

void QLed::setOffColor(LedColor color)
{
    m_offColor = color;
    update();
}

void QLed::setShape(LedShape shape)
{
    m_shape = shape;
    update();
}

void QLed::paintEvent(QPaintEvent *)
{
    // Work in a square centred in the widget so the lamp keeps its
    // proportions at any size.
    const qreal side = qMin(width(), height()) - 2.0;
    if (side <= 0)
        return;
    const QRectF box((width() - side) / 2.0, (height() - side) / 2.0, side, side);

    QPainterPath outline;
    switch (m_shape) {
    case Square:
        outline.addRect(box);
        break;
    case Triangle: {
        QPolygonF triangle;
        triangle << QPointF(box.center().x(), box.top()) << box.bottomRight() << box.bottomLeft();
        outline.addPolygon(triangle);
        outline.closeSubpath();
        break;
    }
    case Rounded:
        outline.addRoundedRect(box, side / 4.0, side / 4.0);
        break;
    case Circle:
    default:
        outline.addEllipse(box);
        break;
    }

    QColor base = color(m_value ? m_onColor : m_offColor);
    if (!m_value)
        base = base.darker(160);
    if (!isEnabled())
        base = QColor::fromHsv(base.hsvHue(), base.hsvSaturation() / 4, base.value());

    // A highlight towards the upper left gives the lamp its glassy look.
    QRadialGradient gradient(box.center(), side * 0.6,
                             box.topLeft() + QPointF(side * 0.35, side * 0.3));
    gradient.setColorAt(0.0, m_value ? base.lighter(180) : base.lighter(130));
    gradient.setColorAt(0.6, base);
    gradient.setColorAt(1.0, base.darker(150));

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(base.darker(220), qMax(1.0, side / 24.0)));
    painter.setBrush(gradient);
    painter.drawPath(outline);
}
