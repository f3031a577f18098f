#include "tagfiltermodel.h"
#include "tagtablemodel.h"

namespace Workspace {

TagFilterModel::TagFilterModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
    // Groups stay while any of their tags matches.
    setRecursiveFilteringEnabled(true);
    // Live values must not re-run the filter on every flush.
    setDynamicSortFilter(false);
}

void TagFilterModel::setFilterText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == m_text)
        return;
    m_text = trimmed;
    invalidateFilter();
}

bool TagFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (m_text.isEmpty())
        return true;
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    // A group is kept only through its tags (recursive filtering).
    if (!index.data(TagTableModel::IsTagRole).toBool())
        return false;
    return index.data(TagTableModel::FilterTextRole).toString().contains(m_text, Qt::CaseInsensitive);
}

} // namespace Workspace
