#pragma once

#include "commissioning_global.h"

#include <QDialog>
#include <QVariant>
#include <QVector>

QT_BEGIN_NAMESPACE
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;
QT_END_NAMESPACE

namespace Commissioning {

class ChangeLog;

// The change log: every write attempt, newest first, filterable by tag,
// exported to CSV. Follows new rows while it is open.
class COMMISSIONING_EXPORT ChangeLogDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ChangeLogDialog(ChangeLog *log, QWidget *parent = nullptr);

    QTableWidget *table() const { return m_table; }
    QLineEdit *filterEdit() const { return m_filter; }
    QLineEdit *stationEdit() const { return m_station; }
    QLabel *statusLabel() const { return m_status; }

    // Writes the rows shown to the file; false with a reason.
    bool exportCsv(const QString &fileName, QString *error) const;

public slots:
    void reload();

private:
    void showRows(bool ok, const QVector<QVector<QVariant>> &rows);
    void askExport();

    ChangeLog *m_log;
    QLineEdit *m_filter;
    QLineEdit *m_station;
    QTableWidget *m_table;
    QLabel *m_status;
    QPushButton *m_export;
    QTimer *m_filterDelay;
    QVector<QVector<QVariant>> m_rows;
};

} // namespace Commissioning
