#pragma once

#include "qled_global.h"

#include <QColor>
#include <QWidget>

// A signal lamp: lit in its on colour when value() is true, in its off
// colour otherwise. Drawn with gradients at any size.
class QLED_EXPORT QLed : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool value READ value WRITE setValue)
    Q_PROPERTY(LedColor onColor READ onColor WRITE setOnColor)
    Q_PROPERTY(LedColor offColor READ offColor WRITE setOffColor)
    Q_PROPERTY(LedShape shape READ shape WRITE setShape)

public:
    enum LedColor { Red = 0, Green = 1, Yellow = 2, Grey = 3, Orange = 4, Purple = 5, Blue = 6 };
    Q_ENUM(LedColor)
    enum LedShape { Circle = 0, Square = 1, Triangle = 2, Rounded = 3 };
    Q_ENUM(LedShape)

    explicit QLed(QWidget *parent = nullptr);
    ~QLed() override;

    bool value() const { return m_value; }
    LedColor onColor() const { return m_onColor; }
    LedColor offColor() const { return m_offColor; }
    LedShape shape() const { return m_shape; }

    // The colour an enumeration value is drawn in; unknown values give grey.
    static QColor color(LedColor color);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void setValue(bool value);
    void setOnColor(QLed::LedColor color);
    void setOffColor(QLed::LedColor color);
    void setShape(QLed::LedShape shape);
    void toggleValue();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_value = false;
    LedColor m_onColor = Red;
    LedColor m_offColor = Grey;
    LedShape m_shape = Circle;
};
