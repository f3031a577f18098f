#pragma once

#include "workspace_global.h"

#include <QStyledItemDelegate>

namespace Pointbook {
class Tag;
}

namespace Workspace {

class TagTableModel;

// The editor of a tag's value in the table, fit to its type: a number field
// within the type's range and the tag's limits (with its precision and
// unit), on/off for bits and single-bit fields, a text of comma-separated
// values for arrays and wide integers. Tags of kind "command" are written
// only after the user confirms.
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

private:
    Pointbook::Tag *tagOf(const QModelIndex &index) const;

    TagTableModel *m_model;
    bool m_confirm = true;
};

} // namespace Workspace
