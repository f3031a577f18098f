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
    setSortRole(TagTableModel::SortRole);
    setSortCaseSensitivity(Qt::CaseInsensitive);
}

int TagFilterModel::tagsUnder(const QModelIndex &index) const
{
    int count = 0;
    for (int row = 0; row < rowCount(index); ++row) {
        const QModelIndex child = this->index(row, 0, index);
        count += child.data(TagTableModel::IsTagRole).toBool() ? 1 : tagsUnder(child);
    }
    return count;
}

int TagFilterModel::shownTagCount() const
{
    return tagsUnder(QModelIndex());
}

QVariant TagFilterModel::data(const QModelIndex &index, int role) const
{
    // A group filtered down counts what it shows.
    if (role == Qt::DisplayRole && index.column() == 0 && !m_text.isEmpty()
        && !index.data(TagTableModel::IsTagRole).toBool()) {
        const QString name = QSortFilterProxyModel::data(index, TagTableModel::GroupNameRole).toString();
        if (!name.isEmpty())
            return QStringLiteral("%1 (%2)").arg(name).arg(tagsUnder(index));
    }
    return QSortFilterProxyModel::data(index, role);
}

bool TagFilterModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    // Groups keep their own order; tags sort within them.
    if (!left.data(TagTableModel::IsTagRole).toBool() || !right.data(TagTableModel::IsTagRole).toBool())
        return left.row() < right.row();
    const QVariant a = left.data(TagTableModel::SortRole);
    const QVariant b = right.data(TagTableModel::SortRole);
    const bool numeric = [](const QVariant &v) {
        return v.type() == QVariant::Double || v.type() == QVariant::LongLong;
    }(a) && (b.type() == QVariant::Double || b.type() == QVariant::LongLong);
    if (numeric)
        return a.toDouble() < b.toDouble();
    return QString::localeAwareCompare(a.toString(), b.toString()) < 0;
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
