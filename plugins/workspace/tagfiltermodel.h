#pragma once

#include "workspace_global.h"

#include <QSortFilterProxyModel>

namespace Workspace {

// The filter box of the live table: keeps the tags whose name, id,
// description, unit or address contains the text (case-insensitive), and
// the groups that still hold such a tag.
class WORKSPACE_EXPORT TagFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit TagFilterModel(QObject *parent = nullptr);

    QString filterText() const { return m_text; }

public slots:
    void setFilterText(const QString &text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    QString m_text;
};

} // namespace Workspace
