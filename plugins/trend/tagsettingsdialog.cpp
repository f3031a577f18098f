#include "tagsettingsdialog.h"

#include <pointbook/tag.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

using Pointbook::Tag;

namespace Trend {

TagSettingsDialog::TagSettingsDialog(Tag *tag, double deadband, QWidget *parent)
    : QDialog(parent)
    , m_tag(tag)
{
    setObjectName(QStringLiteral("TagSettingsDialog"));
    const QString unit = tag ? tag->unit() : QString();
    setWindowTitle(tr("Tag settings: %1").arg(tag ? tag->name() : QString()));

    m_precision = new QSpinBox(this);
    m_precision->setObjectName(QStringLiteral("spinBoxPrecision"));
    m_precision->setRange(-1, 15);
    m_precision->setSpecialValueText(tr("automatic"));
    m_precision->setToolTip(tr("Decimals shown for the value"));

    m_damping = new QCheckBox(tr("Damp the value"), this);
    m_damping->setObjectName(QStringLiteral("checkBoxDamping"));
    m_points = new QSpinBox(this);
    m_points->setObjectName(QStringLiteral("spinBoxDampingPoints"));
    m_points->setRange(1, 10000);
    m_points->setToolTip(tr("Moving average over this many values"));

    m_chart = new QCheckBox(tr("Show in the trend chart"), this);
    m_chart->setObjectName(QStringLiteral("checkBoxChart"));
    m_colorButton = new QPushButton(this);
    m_colorButton->setObjectName(QStringLiteral("pushButtonColor"));

    m_deadband = new QDoubleSpinBox(this);
    m_deadband->setObjectName(QStringLiteral("spinBoxDeadband"));
    m_deadband->setRange(0.0, 1e12);
    m_deadband->setDecimals(6);
    m_deadband->setSuffix(unit.isEmpty() ? QString() : QLatin1Char(' ') + unit);
    m_deadband->setToolTip(tr("With \"record changes only\", a value is recorded when it differs "
                              "from the last recorded one by more than this"));

    auto *form = new QFormLayout;
    form->addRow(tr("Precision:"), m_precision);
    form->addRow(QString(), m_damping);
    form->addRow(tr("Damping points:"), m_points);
    form->addRow(QString(), m_chart);
    form->addRow(tr("Chart colour:"), m_colorButton);
    form->addRow(tr("Recording deadband:"), m_deadband);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    auto *layout = new QVBoxLayout(this);
    if (tag) {
        auto *about = new QLabel(tr("%1 (%2, %3)").arg(tag->name(), tag->Id(),
                                                       Tag::registerTypeToString(tag->registerType())),
                                 this);
        about->setObjectName(QStringLiteral("labelTag"));
        layout->addWidget(about);
    }
    layout->addLayout(form);
    layout->addWidget(buttons);

    if (tag) {
        m_precision->setValue(qBound(-1, tag->precision(), 15));
        m_damping->setChecked(tag->enableDamping());
        m_points->setValue(qMax(1, tag->dampingPoints()));
        m_chart->setChecked(tag->visibleChart());
        // A colour never chosen is fully transparent: offer a visible one.
        const QColor color = tag->colorChart();
        setChartColor(color.isValid() && color.alpha() > 0 ? color : QColor(Qt::blue));
        // Damping is for values the map allows it for; one already on can
        // still be switched off.
        if (!tag->damping() && !tag->enableDamping()) {
            m_damping->setEnabled(false);
            m_damping->setToolTip(tr("The register map does not allow damping for this tag."));
        }
    } else {
        setChartColor(Qt::blue);
    }
    m_deadband->setValue(deadband);
    m_points->setEnabled(m_damping->isChecked());

    connect(m_damping, &QCheckBox::toggled, m_points, &QWidget::setEnabled);
    connect(m_colorButton, &QPushButton::clicked, this, &TagSettingsDialog::chooseColor);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int TagSettingsDialog::precision() const
{
    return m_precision->value();
}

bool TagSettingsDialog::dampingEnabled() const
{
    return m_damping->isChecked();
}

int TagSettingsDialog::dampingPoints() const
{
    return m_points->value();
}

bool TagSettingsDialog::visibleChart() const
{
    return m_chart->isChecked();
}

double TagSettingsDialog::deadband() const
{
    return m_deadband->value();
}

void TagSettingsDialog::setChartColor(const QColor &color)
{
    if (!color.isValid())
        return;
    m_color = color;
    m_colorButton->setText(color.name());
    QPixmap swatch(16, 16);
    swatch.fill(color);
    m_colorButton->setIcon(QIcon(swatch));
}

void TagSettingsDialog::chooseColor()
{
    const QColor color = QColorDialog::getColor(m_color, this, tr("Chart colour"));
    setChartColor(color);
}

bool TagSettingsDialog::apply()
{
    if (!m_tag)
        return false;
    m_tag->setPrecision(precision());
    // The points first: setting them switches damping by their count.
    m_tag->setDampingPoints(dampingPoints());
    m_tag->setEnableDamping(dampingEnabled());
    m_tag->setVisibleChart(visibleChart());
    m_tag->setColorChart(m_color);
    return true;
}

} // namespace Trend
