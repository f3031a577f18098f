#pragma once

#include "workspace_global.h"

#include <QSortFilterProxyModel>

namespace Workspace {

// The filter box of the live table: keeps the tags whose name, id,
// description, unit or address contains the text (case-insensitive), and
// the groups that still hold such a tag, whose counts then say how many
// they show. Sorting orders the tags within their group; addresses and
// values sort as numbers.
class WORKSPACE_EXPORT TagFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit TagFilterModel(QObject *parent = nullptr);

    QString filterText() const { return m_text; }
    // Tags (not groups) that pass the filter.
    int shownTagCount() const;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

public slots:
    void setFilterText(const QString &text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    int tagsUnder(const QModelIndex &index) const;

    QString m_text;
};

} // namespace Workspace
