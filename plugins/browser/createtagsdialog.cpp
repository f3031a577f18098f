#include "createtagsdialog.h"
#include "browsermodel.h"
#include "rowformat.h"

#include <core/icore.h>

#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <workspace/workspacecontroller.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace Browser {

using Pointbook::Tag;

namespace {

const Tag::DataType wordTypes[] = {Tag::UInt16, Tag::Int16, Tag::UInt32, Tag::Int32, Tag::Float,
                                   Tag::UInt64, Tag::Int64, Tag::Double};

} // namespace

CreateTagsDialog::CreateTagsDialog(const QList<NewTag> &tags, const QString &version, QWidget *parent)
    : QDialog(parent)
    , m_input(tags)
{
    setObjectName(QStringLiteral("CreateTagsDialog"));
    setWindowTitle(tr("Create tags"));

    m_version = new QLineEdit(version, this);
    m_version->setObjectName(QStringLiteral("lineEditVersion"));
    m_version->setToolTip(tr("The register map base_v<version>.xml of this version receives the tags"));
    m_target = new QLabel(this);
    m_target->setObjectName(QStringLiteral("labelTarget"));
    m_target->setWordWrap(true);

    m_table = new QTableWidget(tags.size(), ColumnCount, this);
    m_table->setObjectName(QStringLiteral("tableWidgetTags"));
    m_table->setHorizontalHeaderLabels({tr("Address"), tr("Id"), tr("Name"), tr("Unit"), tr("Type"),
                                        tr("Byte order"), tr("Access"), tr("Description")});
    m_table->verticalHeader()->setVisible(false);
    m_table->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < tags.size(); ++row) {
        const NewTag &t = tags.at(row);
        const bool bits = t.table == Tag::DI || t.table == Tag::CO;
        auto *address = new QTableWidgetItem(QStringLiteral("%1 %2 (%3)")
                                                 .arg(Tag::registerTypeToString(t.table).toUpper())
                                                 .arg(t.address)
                                                 .arg(BrowserModel::reference(t.table, t.address)));
        address->setFlags(address->flags() & ~Qt::ItemIsEditable);
        m_table->setItem(row, AddressColumn, address);
        m_table->setItem(row, IdColumn, new QTableWidgetItem(t.id));
        m_table->setItem(row, NameColumn, new QTableWidgetItem(t.name));
        m_table->setItem(row, UnitColumn, new QTableWidgetItem(t.unit));
        m_table->setItem(row, DescriptionColumn, new QTableWidgetItem(t.description));

        auto *type = new QComboBox(m_table);
        if (bits) {
            type->addItem(tr("bit (uint16)"), int(Tag::UInt16));
        } else {
            for (const Tag::DataType d : wordTypes)
                type->addItem(Tag::dataTypeToString(d), int(d));
        }
        type->setCurrentIndex(qMax(0, type->findData(int(t.dataType))));
        m_table->setCellWidget(row, TypeColumn, type);
        auto *order = new QComboBox(m_table);
        m_table->setCellWidget(row, OrderColumn, order);
        fillOrders(row);
        order->setCurrentIndex(qMax(0, order->findData(int(t.byteOrder))));
        connect(type, qOverload<int>(&QComboBox::currentIndexChanged), this,
                [this, type] {
                    for (int r = 0; r < m_table->rowCount(); ++r) {
                        if (m_table->cellWidget(r, TypeColumn) == type)
                            fillOrders(r);
                    }
                });

        auto *access = new QComboBox(m_table);
        access->addItems({QStringLiteral("R"), QStringLiteral("RW"), QStringLiteral("W")});
        if (t.table == Tag::IR || t.table == Tag::DI)
            access->setEnabled(false); // read-only tables
        access->setCurrentText(t.access);
        m_table->setCellWidget(row, AccessColumn, access);
    }
    m_table->resizeColumnsToContents();
    m_table->setColumnWidth(NameColumn, qMax(160, m_table->columnWidth(NameColumn)));
    m_table->setColumnWidth(IdColumn, qMax(120, m_table->columnWidth(IdColumn)));
    m_table->setColumnWidth(UnitColumn, qMax(70, m_table->columnWidth(UnitColumn)));
    m_table->setColumnWidth(TypeColumn, 110);
    m_table->setColumnWidth(OrderColumn, 150);
    m_table->setColumnWidth(AccessColumn, 70);

    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("labelProblem"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b02020"));

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->setObjectName(QStringLiteral("buttonBox"));
    m_buttons->button(QDialogButtonBox::Ok)->setText(tr("Write tags"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CreateTagsDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(tr("Device version:"), m_version);
    form->addRow(QString(), m_target);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_problem);
    layout->addWidget(m_buttons);

    auto showTarget = [this] {
        const QString v = m_version->text().trimmed();
        m_target->setText(Workspace::WorkspaceController::isUsableVersion(v)
                              ? tr("Written to %1").arg(QDir::toNativeSeparators(MapWriter::fileName(
                                    Pointbook::PointbookPlugin::registerMapFolder(), v)))
                              : tr("The version names the file base_v<version>.xml: letters, digits, "
                                   "\".\", \"-\" and \"_\"."));
    };
    connect(m_version, &QLineEdit::textChanged, this, showTarget);
    showTarget();
    Core::ICore::resizeWithinScreen(this, QSize(1000, qBound(320, 200 + 34 * tags.size(), 640)));
}

void CreateTagsDialog::fillOrders(int row)
{
    auto *type = qobject_cast<QComboBox *>(m_table->cellWidget(row, TypeColumn));
    auto *order = qobject_cast<QComboBox *>(m_table->cellWidget(row, OrderColumn));
    if (!type || !order)
        return;
    const auto dataType = Tag::DataType(type->currentData().toInt());
    const int width = Tag::elementWidth(dataType);
    const auto previous = Tag::ByteOrder(order->currentData().toInt());
    order->clear();
    if (width == 2) {
        order->addItem(RowFormat::byteOrderName(Tag::Order10), int(Tag::Order10));
        order->addItem(RowFormat::byteOrderName(Tag::Order01), int(Tag::Order01));
    } else {
        for (const Tag::ByteOrder o : RowFormat::byteOrders(width / 2))
            order->addItem(RowFormat::byteOrderName(o), int(o));
    }
    order->setCurrentIndex(qMax(0, order->findData(int(previous))));
}

QList<NewTag> CreateTagsDialog::tags() const
{
    QList<NewTag> result;
    for (int row = 0; row < m_table->rowCount() && row < m_input.size(); ++row) {
        NewTag t = m_input.at(row);
        t.id = m_table->item(row, IdColumn)->text().trimmed();
        t.name = m_table->item(row, NameColumn)->text().trimmed();
        t.unit = m_table->item(row, UnitColumn)->text().trimmed();
        t.description = m_table->item(row, DescriptionColumn)->text().trimmed();
        if (auto *type = qobject_cast<QComboBox *>(m_table->cellWidget(row, TypeColumn)))
            t.dataType = Tag::DataType(type->currentData().toInt());
        if (auto *order = qobject_cast<QComboBox *>(m_table->cellWidget(row, OrderColumn)))
            t.byteOrder = Tag::ByteOrder(order->currentData().toInt());
        if (auto *access = qobject_cast<QComboBox *>(m_table->cellWidget(row, AccessColumn)))
            t.access = access->currentText();
        result.append(t);
    }
    return result;
}

QString CreateTagsDialog::version() const
{
    return m_version->text().trimmed();
}

void CreateTagsDialog::setVersion(const QString &version)
{
    m_version->setText(version);
}

void CreateTagsDialog::setProblem(const QString &text)
{
    m_problem->setText(text);
}

void CreateTagsDialog::accept()
{
    if (!Workspace::WorkspaceController::isUsableVersion(version())) {
        setProblem(tr("Enter the device version: letters, digits, \".\", \"-\" and \"_\", at most 32."));
        return;
    }
    const QString problem = MapWriter::check(tags());
    if (!problem.isEmpty()) {
        setProblem(problem);
        return;
    }
    setProblem(QString());
    QDialog::accept();
}

} // namespace Browser
