#include "tagvaluedelegate.h"
#include "refusalnote.h"
#include "tagtablemodel.h"

#include <pointbook/tag.h>
#include <pointbook/tagwriter.h>

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>

using Pointbook::Tag;
using Pointbook::TagWriter;

namespace Workspace {

namespace {

const char IndexProperty[] = "valueIndex";

bool isOnOff(const Tag *tag)
{
    if (tag->registerType() == Tag::CO || tag->registerType() == Tag::DI)
        return tag->sizeRegisters() <= 1;
    const quint64 mask = tag->mask();
    return tag->bitfield() && mask != 0 && (mask & (mask - 1)) == 0;
}

bool isReal(const Tag *tag)
{
    return tag->dataType() == Tag::Float || tag->dataType() == Tag::Double;
}

// A single number, as opposed to an array or a bit field.
bool isSingleNumber(const Tag *tag)
{
    return tag->count() <= 1 && !tag->bitfield();
}

QString separators(const QLocale &locale)
{
    const QChar point = locale.decimalPoint();
    return point == QLatin1Char('.')
        ? QStringLiteral("\".\"")
        : TagValueDelegate::tr("\"%1\" or \".\"").arg(point);
}

} // namespace

TagValueDelegate::TagValueDelegate(TagTableModel *model, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_model(model)
{
}

QModelIndex TagValueDelegate::sourceIndex(const QModelIndex &index) const
{
    QModelIndex source = index;
    while (source.isValid() && source.model() != m_model) {
        auto *proxy = qobject_cast<const QAbstractProxyModel *>(source.model());
        if (!proxy)
            return QModelIndex();
        source = proxy->mapToSource(source);
    }
    return source;
}

Tag *TagValueDelegate::tagOf(const QModelIndex &index) const
{
    return m_model->tagAt(sourceIndex(index));
}

QVariant TagValueDelegate::typedValue(const Tag *tag, const QString &text, const QLocale &locale, QString *error)
{
    QString t = text.trimmed();
    if (!tag->unit().isEmpty() && t.endsWith(tag->unit()))
        t = t.left(t.size() - tag->unit().size()).trimmed();
    if (t.isEmpty()) {
        *error = tr("Enter a value.");
        return QVariant();
    }
    // Arrays and bit fields are read as texts by the tag model itself.
    if (!isSingleNumber(tag))
        return t;
    const QChar point = locale.decimalPoint();
    if (point != QLatin1Char('.'))
        t.replace(point, QLatin1Char('.'));
    // A group separator is refused rather than guessed: "1,500" is 1.5 in
    // one language and 1500 in another.
    if (t.contains(QLatin1Char(','))) {
        *error = tr("\"%1\" is not a number: the decimal separator is %2.").arg(text.trimmed(), separators(locale));
        return QVariant();
    }
    for (const QChar c : qAsConst(t)) {
        if (c.isSpace() || c == locale.groupSeparator() || c == QLatin1Char('\'')) {
            *error = tr("\"%1\" is not a number: write it without thousands separators.").arg(text.trimmed());
            return QVariant();
        }
    }
    return t;
}

QWidget *TagValueDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                        const QModelIndex &index) const
{
    Q_UNUSED(option)
    const Tag *tag = tagOf(index);
    if (!tag)
        return nullptr;
    QWidget *editor = nullptr;
    if (isOnOff(tag)) {
        auto *box = new QComboBox(parent);
        box->setObjectName(QStringLiteral("valueEditorOnOff"));
        box->addItem(tr("off"), false);
        box->addItem(tr("on"), true);
        editor = box;
    } else {
        // A text field, not a spin box: a spin box drops the keystrokes
        // that leave its range or its decimals, and so writes what nobody
        // typed.
        auto *edit = new QLineEdit(parent);
        edit->setObjectName(isSingleNumber(tag) ? QStringLiteral("valueEditorNumber")
                                                : QStringLiteral("valueEditorText"));
        QStringList help;
        if (tag->count() > 1)
            help << tr("%1 values, separated by commas").arg(tag->count());
        // The limits as the writer compares them, at the tag's own type.
        if (isSingleNumber(tag) && tag->hasLimits())
            help << tr("Limits: %1 to %2 %3")
                        .arg(Tag::numberText(tag->lowerLimit()),
                             Tag::numberText(tag->upperLimit()), tag->unit())
                        .trimmed();
        if (isSingleNumber(tag) && isReal(tag))
            help << tr("Decimal separator: %1").arg(separators(edit->locale()));
        edit->setToolTip(help.join(QLatin1Char('\n')));
        if (!tag->unit().isEmpty()) {
            // The unit inside the field, after the number.
            auto *unit = new QLabel(tag->unit(), edit);
            unit->setObjectName(QStringLiteral("labelValueUnit"));
            unit->setEnabled(false);
            auto *layout = new QHBoxLayout(edit);
            layout->setContentsMargins(0, 0, 4, 0);
            layout->addStretch();
            layout->addWidget(unit);
            edit->setTextMargins(0, 0, unit->sizeHint().width() + 6, 0);
        }
        editor = edit;
    }
    editor->setProperty(IndexProperty, QVariant::fromValue(QPersistentModelIndex(index)));
    return editor;
}

void TagValueDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    // The view hands every change of the live value to the open editor;
    // what the user is typing must not be overwritten by the next poll.
    if (editor->property("valueLoaded").toBool())
        return;
    editor->setProperty("valueLoaded", true);
    const QVariant value = index.data(Qt::EditRole);
    if (auto *box = qobject_cast<QComboBox *>(editor)) {
        box->setCurrentIndex(value.toBool() ? 1 : 0);
    } else if (auto *edit = qobject_cast<QLineEdit *>(editor)) {
        const Tag *tag = tagOf(index);
        QString text;
        if (tag && isSingleNumber(tag) && value.isValid()) {
            // The shortest text that reads back as the value, with the
            // decimal separator of the interface.
            text = TagWriter::valueText(tag, tag->value());
            if (isReal(tag))
                text.replace(QLatin1Char('.'), edit->locale().decimalPoint());
        } else {
            text = value.toString();
            if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
                text = text.mid(1, text.size() - 2);
        }
        edit->setText(text);
        edit->selectAll();
    }
}

QVariant TagValueDelegate::editorValue(QWidget *editor, const QModelIndex &index, QString *reason) const
{
    reason->clear();
    const Tag *tag = tagOf(index);
    if (!tag)
        return QVariant();
    QVariant value;
    if (auto *box = qobject_cast<QComboBox *>(editor)) {
        value = box->currentData().toBool();
        // Nothing changed: nothing to send.
        if (value == index.data(Qt::EditRole))
            return QVariant();
    } else if (auto *edit = qobject_cast<QLineEdit *>(editor)) {
        if (!edit->isModified())
            return QVariant();
        value = typedValue(tag, edit->text(), edit->locale(), reason);
        if (!reason->isEmpty())
            return QVariant();
    }
    if (!value.isValid())
        return QVariant();
    *reason = m_model->checkValue(sourceIndex(index), value);
    return value;
}

bool TagValueDelegate::eventFilter(QObject *object, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(object);
    if (edit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            const QModelIndex index = edit->property(IndexProperty).value<QPersistentModelIndex>();
            QString reason;
            const QVariant value = editorValue(edit, index, &reason);
            if (!reason.isEmpty()) {
                // The editor stays with what was typed, so it can be put
                // right; the attempt is recorded like any refused write.
                edit->setProperty("refusedText", edit->text());
                m_model->refuse(sourceIndex(index), value.isValid() ? value : edit->text().trimmed(), reason);
                if (auto *view = qobject_cast<QAbstractItemView *>(edit->parentWidget()
                                                                       ? edit->parentWidget()->parentWidget()
                                                                       : nullptr))
                    showRefusal(view, index, reason, edit);
                return true;
            }
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

void TagValueDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                    const QModelIndex &index) const
{
    QString reason;
    const QVariant value = editorValue(editor, index, &reason);
    const Tag *tag = tagOf(index);
    if (!tag)
        return;
    if (!reason.isEmpty()) {
        // Left by a click elsewhere: the editor closes, the cell and the
        // record keep the refusal.
        QString typed;
        if (auto *edit = qobject_cast<QLineEdit *>(editor)) {
            // Refused on Enter already and left as it was: one attempt.
            if (edit->property("refusedText").toString() == edit->text())
                return;
            typed = edit->text().trimmed();
        }
        m_model->refuse(sourceIndex(index), value.isValid() ? value : QVariant(typed), reason);
        return;
    }
    if (!value.isValid())
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

RefusalNote *TagValueDelegate::showRefusal(QAbstractItemView *view, const QModelIndex &index,
                                           const QString &reason, QWidget *editor)
{
    if (!view)
        return nullptr;
    // One note at a time.
    for (RefusalNote *old : view->viewport()->findChildren<RefusalNote *>(QString(), Qt::FindDirectChildrenOnly))
        delete old;
    QRect cell = view->visualRect(index);
    if (editor)
        cell = cell.united(editor->geometry());
    return new RefusalNote(view->viewport(), cell, reason, editor);
}

} // namespace Workspace
