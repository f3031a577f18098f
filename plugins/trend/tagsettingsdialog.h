#pragma once

#include "trend_global.h"

#include <QColor>
#include <QDialog>
#include <QPointer>

QT_BEGIN_NAMESPACE
class QCheckBox;
class QDoubleSpinBox;
class QPushButton;
class QSpinBox;
QT_END_NAMESPACE

namespace Pointbook {
class Tag;
}

namespace Trend {

// The display settings of one tag: precision, damping and its points,
// shown in the chart and the chart colour, and the recording deadband.
// apply() writes them into the tag; storing them is the caller's part.
class TREND_EXPORT TagSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    TagSettingsDialog(Pointbook::Tag *tag, double deadband, QWidget *parent = nullptr);

    Pointbook::Tag *tag() const { return m_tag; }
    int precision() const;
    bool dampingEnabled() const;
    int dampingPoints() const;
    bool visibleChart() const;
    QColor chartColor() const { return m_color; }
    double deadband() const;

    void setChartColor(const QColor &color);
    // Writes the dialog's values into the tag; false when the tag is gone.
    bool apply();

private:
    void chooseColor();

    QPointer<Pointbook::Tag> m_tag;
    QSpinBox *m_precision;
    QCheckBox *m_damping;
    QSpinBox *m_points;
    QCheckBox *m_chart;
    QPushButton *m_colorButton;
    QDoubleSpinBox *m_deadband;
    QColor m_color;
};

} // namespace Trend
