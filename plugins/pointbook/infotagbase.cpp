#include "infotagbase.h"

#include "basetag.h"
#include "tag.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace Pointbook {

namespace {

QLabel *makeLabel(const QString &text, const char *objectName, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(objectName));
    return label;
}

QString rowHeader(Tag::RegisterType type)
{
    switch (type) {
    case Tag::IR: return QStringLiteral("IR");
    case Tag::HR: return QStringLiteral("HR");
    case Tag::DI: return QStringLiteral("DI");
    case Tag::CO: return QStringLiteral("CO");
    default: return QStringLiteral("UnknownRegister");
    }
}

} // namespace

InfoTagBase::InfoTagBase(QWidget *parent)
    : QWidget(parent)
    , m_table(new QTableWidget(this))
    , m_captionIr(makeLabel(tr("Number of IR registers: "), "labelIr", this))
    , m_captionHr(makeLabel(tr("Number of HR registers: "), "labelHr", this))
    , m_captionDi(makeLabel(tr("Number of DI registers: "), "labelDi", this))
    , m_captionCo(makeLabel(tr("Number of CO registers: "), "labelCo", this))
    , m_valueIr(makeLabel(QString(), "labelIrValue", this))
    , m_valueHr(makeLabel(QString(), "labelHrValue", this))
    , m_valueDi(makeLabel(QString(), "labelDiValue", this))
    , m_valueCo(makeLabel(QString(), "labelCoValue", this))
{
    m_table->setObjectName(QStringLiteral("tableWidget"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto *firstRow = new QHBoxLayout;
    firstRow->addWidget(m_captionIr);
    firstRow->addWidget(m_valueIr);
    firstRow->addWidget(m_captionHr);
    firstRow->addWidget(m_valueHr);
    auto *secondRow = new QHBoxLayout;
    secondRow->addWidget(m_captionDi);
    secondRow->addWidget(m_valueDi);
    secondRow->addWidget(m_captionCo);
    secondRow->addWidget(m_valueCo);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(firstRow);
    layout->addLayout(secondRow);
    layout->addWidget(m_table);
}

void InfoTagBase::clearTable()
{
    m_table->clear();
    m_table->setRowCount(0);
    m_table->setColumnCount(0);
}

void InfoTagBase::setBase(BaseTag *base)
{
    if (!base)
        return;
    clearTable();

    m_table->setColumnCount(6);
    m_table->setHorizontalHeaderLabels({tr("Name tag"), tr("Id"), tr("Address"), tr("Data type"),
                                        tr("Count"), tr("Description")});

    static const Tag::RegisterType types[] = {Tag::IR, Tag::HR, Tag::DI, Tag::CO};
    m_valueIr->setText(QString::number(base->sizeTagHash(Tag::IR)));
    m_valueHr->setText(QString::number(base->sizeTagHash(Tag::HR)));
    m_valueDi->setText(QString::number(base->sizeTagHash(Tag::DI)));
    m_valueCo->setText(QString::number(base->sizeTagHash(Tag::CO)));

    int rows = 0;
    for (Tag::RegisterType type : types)
        rows += base->sizeTagHash(type);
    m_table->setRowCount(rows);

    int row = 0;
    for (Tag::RegisterType type : types) {
        QList<Tag *> tags = base->tagHash(type).values();
        tags.removeAll(nullptr);
        std::sort(tags.begin(), tags.end(), &Tag::lessThan);
        for (Tag *tag : qAsConst(tags)) {
            if (row >= rows)
                break;
            m_table->setVerticalHeaderItem(row, new QTableWidgetItem(rowHeader(tag->registerType())));
            m_table->setItem(row, 0, new QTableWidgetItem(tag->name()));
            m_table->setItem(row, 1, new QTableWidgetItem(tag->Id()));
            m_table->setItem(row, 2, new QTableWidgetItem(QString::number(tag->startAddress())));
            m_table->setItem(row, 3, new QTableWidgetItem(Tag::dataTypeToString(tag->dataType())));
            m_table->setItem(row, 4, new QTableWidgetItem(QString::number(tag->count())));
            m_table->setItem(row, 5, new QTableWidgetItem(tag->description()));
            ++row;
        }
    }
    // Null entries were skipped: no blank rows at the end.
    m_table->setRowCount(row);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

} // namespace Pointbook
