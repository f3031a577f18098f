#include "historyrangedialog.h"

#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace Trend {

HistoryRangeDialog::HistoryRangeDialog(const QVector<RecordedTag> &tags, const QDateTime &from,
                                       const QDateTime &to, QWidget *parent)
    : QDialog(parent)
    , m_tags(tags)
    , m_list(new QListWidget(this))
    , m_from(new QDateTimeEdit(from, this))
    , m_to(new QDateTimeEdit(to, this))
{
    setObjectName(QStringLiteral("HistoryRangeDialog"));
    m_list->setObjectName(QStringLiteral("listWidgetTags"));
    m_from->setObjectName(QStringLiteral("dateTimeEditFrom"));
    m_to->setObjectName(QStringLiteral("dateTimeEditTo"));
    for (QDateTimeEdit *edit : {m_from, m_to}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        edit->setCalendarPopup(true);
    }
    for (const RecordedTag &tag : tags) {
        auto *item = new QListWidgetItem(tag.unit.isEmpty() ? tag.name : tr("%1 [%2]").arg(tag.name, tag.unit), m_list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setToolTip(tag.registerType + QLatin1Char(':') + tag.id);
    }

    auto *form = new QFormLayout;
    form->addRow(tr("From:"), m_from);
    form->addRow(tr("To:"), m_to);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tags.isEmpty() ? tr("Nothing has been recorded for this device version yet.")
                                                : tr("Recorded tags:"), this));
    layout->addWidget(m_list, 1);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemChanged, this, &HistoryRangeDialog::check);
    connect(m_from, &QDateTimeEdit::dateTimeChanged, this, &HistoryRangeDialog::check);
    connect(m_to, &QDateTimeEdit::dateTimeChanged, this, &HistoryRangeDialog::check);
    check();
}

QVector<HistoryRangeDialog::RecordedTag> HistoryRangeDialog::chosenTags() const
{
    QVector<RecordedTag> chosen;
    for (int i = 0; i < m_list->count() && i < m_tags.size(); ++i) {
        if (m_list->item(i)->checkState() == Qt::Checked)
            chosen.append(m_tags.at(i));
    }
    return chosen;
}

void HistoryRangeDialog::setChosen(const QStringList &ids)
{
    for (int i = 0; i < m_list->count() && i < m_tags.size(); ++i)
        m_list->item(i)->setCheckState(ids.contains(m_tags.at(i).id) ? Qt::Checked : Qt::Unchecked);
}

qint64 HistoryRangeDialog::fromMs() const
{
    return m_from->dateTime().toMSecsSinceEpoch();
}

qint64 HistoryRangeDialog::toMs() const
{
    return m_to->dateTime().toMSecsSinceEpoch();
}

// OK needs a tag and a range that is not reversed.
void HistoryRangeDialog::check()
{
    auto *box = findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    if (box)
        box->button(QDialogButtonBox::Ok)->setEnabled(!chosenTags().isEmpty() && fromMs() < toMs());
}

} // namespace Trend
