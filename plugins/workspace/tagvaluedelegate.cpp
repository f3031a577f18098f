#include "tagvaluedelegate.h"
#include "tagtablemodel.h"

#include <pointbook/tag.h>

#include <QAbstractProxyModel>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <limits>

using Pointbook::Tag;

namespace Workspace {

namespace {

bool isOnOff(const Tag *tag)
{
    if (tag->registerType() == Tag::CO || tag->registerType() == Tag::DI)
        return tag->sizeRegisters() <= 1;
    const quint64 mask = tag->mask();
    return tag->bitfield() && mask != 0 && (mask & (mask - 1)) == 0;
}

// The range a number field offers: the tag's limits where the map gives
// them, never beyond what the type holds.
void numberRange(const Tag *tag, double *low, double *high)
{
    qint64 typeLow = 0;
    quint64 typeHigh = 0;
    if (Tag::integerRange(tag->dataType(), &typeLow, &typeHigh)) {
        *low = double(typeLow);
        *high = double(typeHigh);
    } else if (tag->dataType() == Tag::Float) {
        *low = -double(std::numeric_limits<float>::max());
        *high = double(std::numeric_limits<float>::max());
    } else {
        *low = -std::numeric_limits<double>::max();
        *high = std::numeric_limits<double>::max();
    }
    if (tag->minValue() < tag->maxValue()) {
        *low = std::max(*low, double(tag->minValue()));
        *high = std::min(*high, double(tag->maxValue()));
    }
}

} // namespace

TagValueDelegate::TagValueDelegate(TagTableModel *model, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
{
}

Tag *TagValueDelegate::tagOf(const QModelIndex &index) const
{
    QModelIndex source = index;
    while (source.isValid() && source.model() != m_model) {
        auto *proxy = qobject_cast<const QAbstractProxyModel *>(source.model());
        if (!proxy)
            return nullptr;
        source = proxy->mapToSource(source);
    }
    return m_model->tagAt(source);
}

QWidget *TagValueDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                        const QModelIndex &index) const
{
    const Tag *tag = tagOf(index);
    if (!tag)
        return nullptr;
    if (isOnOff(tag)) {
        auto *box = new QComboBox(parent);
        box->setObjectName(QStringLiteral("valueEditorOnOff"));
        box->addItem(tr("off"), false);
        box->addItem(tr("on"), true);
        return box;
    }
    const bool wideInteger = tag->dataType() == Tag::UInt32 || tag->dataType() == Tag::UInt64
                             || tag->dataType() == Tag::Int64;
    if (tag->count() > 1 || tag->bitfield() || wideInteger) {
        auto *edit = new QLineEdit(parent);
        edit->setObjectName(QStringLiteral("valueEditorText"));
        if (tag->count() > 1)
            edit->setToolTip(tr("%1 values, separated by commas").arg(tag->count()));
        return edit;
    }
    double low = 0;
    double high = 0;
    numberRange(tag, &low, &high);
    const QString suffix = tag->unit().isEmpty() ? QString() : QLatin1Char(' ') + tag->unit();
    if (tag->dataType() == Tag::Float || tag->dataType() == Tag::Double) {
        auto *spin = new QDoubleSpinBox(parent);
        spin->setObjectName(QStringLiteral("valueEditorReal"));
        spin->setDecimals(std::clamp(tag->precision(), 0, 15));
        spin->setRange(low, high);
        spin->setSuffix(suffix);
        spin->setAccelerated(true);
        return spin;
    }
    auto *spin = new QSpinBox(parent);
    spin->setObjectName(QStringLiteral("valueEditorInteger"));
    spin->setRange(int(std::ceil(low)), int(std::floor(high)));
    spin->setSuffix(suffix);
    spin->setAccelerated(true);
    Q_UNUSED(option)
    return spin;
}

void TagValueDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    // The view hands every change of the live value to the open editor;
    // what the user is typing must not be overwritten by the next poll.
    if (editor->property("valueLoaded").toBool())
        return;
    editor->setProperty("valueLoaded", true);
    const QVariant value = index.data(Qt::EditRole);
    if (auto *box = qobject_cast<QComboBox *>(editor))
        box->setCurrentIndex(value.toBool() ? 1 : 0);
    else if (auto *real = qobject_cast<QDoubleSpinBox *>(editor))
        real->setValue(value.toDouble());
    else if (auto *integer = qobject_cast<QSpinBox *>(editor))
        integer->setValue(value.toInt());
    else if (auto *edit = qobject_cast<QLineEdit *>(editor)) {
        QString text = value.toString();
        if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
            text = text.mid(1, text.size() - 2);
        edit->setText(text);
        edit->selectAll();
    }
}

void TagValueDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                    const QModelIndex &index) const
{
    QVariant value;
    if (auto *box = qobject_cast<QComboBox *>(editor))
        value = box->currentData().toBool();
    else if (auto *real = qobject_cast<QDoubleSpinBox *>(editor))
        value = real->value();
    else if (auto *integer = qobject_cast<QSpinBox *>(editor))
        value = integer->value();
    else if (auto *edit = qobject_cast<QLineEdit *>(editor))
        value = edit->text();
    // Nothing changed: nothing to send.
    if (!value.isValid() || value == index.data(Qt::EditRole))
        return;
    const Tag *tag = tagOf(index);
    if (!tag)
        return;
    if (m_confirm && Tag::stringToTypeTag(tag->typeTag()) == Tag::Command) {
        const QString shown = value.type() == QVariant::Bool ? (value.toBool() ? tr("on") : tr("off"))
                                                             : value.toString();
        const auto answer = QMessageBox::question(
            editor->window(), tr("Send a command"),
            tr("Send \"%1\" = %2 to the device?").arg(tag->name().isEmpty() ? tag->Id() : tag->name(), shown));
        if (answer != QMessageBox::Yes)
            return;
    }
    model->setData(index, value, Qt::EditRole);
}

} // namespace Workspace
