#pragma once

#include "workspace_global.h"

#include <QPointer>
#include <QStyledItemDelegate>

QT_BEGIN_NAMESPACE
class QLocale;
QT_END_NAMESPACE

namespace Pointbook {
class Tag;
}

namespace Workspace {

class RefusalNote;
class TagTableModel;

// The editor of a tag's value in the table, fit to its type: on/off for
// bits and single-bit fields, otherwise a text field that keeps every
// character typed (numbers, comma-separated values of arrays). What was
// typed is written exactly or refused: on Enter the writer's own checks
// (type range, the tag's limits, the rights) decide, and a refusal keeps
// the editor open with the reason below it and is recorded like any other.
// Tags of kind "command" are written only after the user confirms.
class WORKSPACE_EXPORT TagValueDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit TagValueDelegate(TagTableModel *model, QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

    // Off in tests, which answer for the user.
    void setConfirmCommands(bool confirm) { m_confirm = confirm; }

    // The text of a number typed in `locale` as the writer reads it: the
    // locale's decimal separator or the point, nothing else (no group
    // separators), the unit after it allowed. Invalid with the reason when
    // the text cannot be read without guessing.
    static QVariant typedValue(const Pointbook::Tag *tag, const QString &text, const QLocale &locale,
                               QString *error);

    // Shows why the cell at `index` of `view` took nothing, below the cell
    // (and below `editor`, while it is open).
    static RefusalNote *showRefusal(QAbstractItemView *view, const QModelIndex &index,
                                    const QString &reason, QWidget *editor = nullptr);

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    Pointbook::Tag *tagOf(const QModelIndex &index) const;
    QModelIndex sourceIndex(const QModelIndex &index) const;
    // The editor's value, or invalid with the reason it cannot be written.
    QVariant editorValue(QWidget *editor, const QModelIndex &index, QString *reason) const;

    TagTableModel *m_model;
    bool m_confirm = true;
};

} // namespace Workspace
