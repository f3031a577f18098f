#pragma once

#include "commissioning_global.h"

#include <pointbook/parametercomparison.h>
#include <pointbook/parameterset.h>

#include <QDialog>
#include <QPointer>
#include <QVector>

QT_BEGIN_NAMESPACE
class QCheckBox;
class QLabel;
class QProgressDialog;
class QPushButton;
class QTableWidget;
QT_END_NAMESPACE

namespace Pointbook {
class ParameterApplier;
}

namespace Commissioning {

class ParameterSets;

// A parameter file beside what the device holds: one row per tag with its
// state; ticked rows (those that differ and may be written, by default)
// are applied in order, each read back, with a progress dialog that can
// cancel between writes. The last column tells what became of each row.
class COMMISSIONING_EXPORT ParameterCompareDialog : public QDialog
{
    Q_OBJECT

public:
    enum Column { TagColumn, UnitColumn, DeviceColumn, FileColumn, StateColumn, ResultColumn };

    ParameterCompareDialog(ParameterSets *sets, const Pointbook::ParameterSet &file,
                           const QString &fileName, QWidget *parent = nullptr);

    QTableWidget *table() const { return m_table; }
    QLabel *headerLabel() const { return m_header; }
    QLabel *summaryLabel() const { return m_summary; }
    QCheckBox *continueOnFailureBox() const { return m_continue; }
    QPushButton *applyButton() const { return m_apply; }
    QVector<Pointbook::ParameterComparison::Row> rows() const { return m_rows; }
    bool isApplying() const;
    // The row of a tag id, -1 when there is none.
    int rowOf(const QString &id) const;

public slots:
    // Writes the ticked rows.
    void apply();

signals:
    void applyFinished();

protected:
    void reject() override;

private:
    void fill();
    void onStepStarted(int index, int total);
    void onStepFinished(int index);
    void onApplied();
    void updateApplyButton();

    ParameterSets *m_sets;
    Pointbook::ParameterSet m_file;
    QVector<Pointbook::ParameterComparison::Row> m_rows;
    QVector<int> m_stepRows; // table row of each step
    QLabel *m_header;
    QTableWidget *m_table;
    QCheckBox *m_continue;
    QPushButton *m_apply;
    QPushButton *m_close;
    QLabel *m_summary;
    Pointbook::ParameterApplier *m_applier = nullptr;
    QPointer<QProgressDialog> m_progress;
};

} // namespace Commissioning
