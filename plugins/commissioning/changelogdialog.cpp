#include "changelogdialog.h"
#include "changelog.h"

#include <core/icore.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace Commissioning {

namespace {
// Column captions, in the order of ChangeLog::columns().
QStringList captions()
{
    return {ChangeLogDialog::tr("Time (UTC)"), ChangeLogDialog::tr("Access level"),
            ChangeLogDialog::tr("Connection"), ChangeLogDialog::tr("Version"),
            ChangeLogDialog::tr("Table"),      ChangeLogDialog::tr("Address"),
            ChangeLogDialog::tr("Tag id"),     ChangeLogDialog::tr("Tag"),
            ChangeLogDialog::tr("Old value"),  ChangeLogDialog::tr("New value"),
            ChangeLogDialog::tr("Words"),      ChangeLogDialog::tr("Result"),
            ChangeLogDialog::tr("Detail")};
}
} // namespace

ChangeLogDialog::ChangeLogDialog(ChangeLog *log, QWidget *parent)
    : QDialog(parent)
    , m_log(log)
    , m_filter(new QLineEdit(this))
    , m_station(new QLineEdit(this))
    , m_table(new QTableWidget(this))
    , m_status(new QLabel(this))
    , m_export(new QPushButton(tr("Export CSV…"), this))
    , m_filterDelay(new QTimer(this))
{
    setObjectName(QStringLiteral("ChangeLogDialog"));
    setWindowTitle(tr("Change log"));
    Core::ICore::resizeWithinScreen(this, QSize(1100, 480));
    m_filter->setObjectName(QStringLiteral("lineEditTagFilter"));
    m_filter->setPlaceholderText(tr("Filter by tag id or name"));
    m_filter->setClearButtonEnabled(true);
    m_station->setObjectName(QStringLiteral("lineEditStation"));
    m_station->setPlaceholderText(tr("Station (all when empty)"));
    m_station->setClearButtonEnabled(true);
    m_station->setToolTip(tr("The change log is read from the team's server: the rows of every station."));
    m_table->setObjectName(QStringLiteral("tableWidgetChangeLog"));
    m_table->setColumnCount(captions().size());
    m_table->setHorizontalHeaderLabels(captions());
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_status->setObjectName(QStringLiteral("labelStatus"));
    m_export->setObjectName(QStringLiteral("pushButtonExport"));

    auto *refresh = new QPushButton(tr("Refresh"), this);
    refresh->setObjectName(QStringLiteral("pushButtonRefresh"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(m_export, QDialogButtonBox::ActionRole);
    buttons->addButton(refresh, QDialogButtonBox::ActionRole);

    auto *layout = new QVBoxLayout(this);
    auto *filters = new QHBoxLayout;
    filters->addWidget(m_filter, 3);
    filters->addWidget(m_station, 1);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);
    layout->addWidget(buttons);

    m_filterDelay->setSingleShot(true);
    m_filterDelay->setInterval(250);
    connect(m_filter, &QLineEdit::textChanged, m_filterDelay, qOverload<>(&QTimer::start));
    connect(m_station, &QLineEdit::textChanged, m_filterDelay, qOverload<>(&QTimer::start));
    connect(m_filterDelay, &QTimer::timeout, this, &ChangeLogDialog::reload);
    connect(refresh, &QPushButton::clicked, this, &ChangeLogDialog::reload);
    connect(m_export, &QPushButton::clicked, this, &ChangeLogDialog::askExport);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_log, &ChangeLog::rowsLoaded, this, &ChangeLogDialog::showRows);
    connect(m_log, &ChangeLog::recorded, this, [this](bool) {
        if (isVisible())
            reload();
    });
    reload();
}

void ChangeLogDialog::reload()
{
    m_status->setText(tr("Loading…"));
    m_station->setVisible(m_log->readsServer());
    m_log->load(m_filter->text().trimmed(), 10000,
                m_log->readsServer() ? m_station->text().trimmed() : QString());
}

void ChangeLogDialog::showRows(bool ok, const QVector<QVector<QVariant>> &rows)
{
    if (!ok) {
        m_status->setText(tr("The change log could not be read from the database."));
        return;
    }
    m_rows = rows;
    // Rows of the server carry their station as the last column; it is
    // shown first, where rows of many laptops are told apart.
    const int columns = ChangeLog::columns().size();
    const bool withStation = !rows.isEmpty() && rows.constFirst().size() > columns;
    QStringList headers = captions();
    if (withStation)
        headers.prepend(tr("Station"));
    m_table->setColumnCount(headers.size());
    m_table->setHorizontalHeaderLabels(headers);
    m_table->setRowCount(rows.size());
    const int result = ChangeLog::columns().indexOf(QStringLiteral("result"));
    const int shift = withStation ? 1 : 0;
    for (int r = 0; r < rows.size(); ++r) {
        const QVector<QVariant> &row = rows.at(r);
        const bool failed = row.value(result).toString() != QLatin1String("ok");
        for (int c = 0; c < m_table->columnCount(); ++c) {
            const int source = withStation ? (c == 0 ? columns : c - 1) : c;
            const bool isResult = c == result + shift;
            // The stored code is shown in the program's language.
            auto *item = new QTableWidgetItem(isResult ? Pointbook::TagWriter::resultTextOf(row.value(source).toString())
                                                       : row.value(source).toString());
            if (failed && isResult)
                item->setForeground(QColor(170, 0, 0));
            m_table->setItem(r, c, item);
        }
    }
    m_table->resizeColumnsToContents();
    m_export->setEnabled(!rows.isEmpty());
    m_status->setText(rows.isEmpty() ? tr("No writes recorded%1.")
                                           .arg(m_filter->text().isEmpty() ? QString()
                                                                           : tr(" for this filter"))
                                     : tr("%n write(s), newest first.", nullptr, rows.size()));
}

bool ChangeLogDialog::exportCsv(const QString &fileName, QString *error) const
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    file.write(ChangeLog::toCsv(m_rows).toUtf8());
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void ChangeLogDialog::askExport()
{
    const QString name = QFileDialog::getSaveFileName(this, tr("Export change log"),
                                                      QStringLiteral("change-log.csv"),
                                                      tr("CSV files (*.csv)"));
    if (name.isEmpty())
        return;
    QString error;
    if (!exportCsv(name, &error))
        QMessageBox::warning(this, tr("Export change log"),
                             tr("The change log could not be written to %1: %2").arg(name, error));
    else
        m_status->setText(tr("%n write(s) exported to %1.", nullptr, m_rows.size()).arg(name));
}

} // namespace Commissioning
