#include "tagtreeview.h"

#include <QAccessible>
#include <QPaintEvent>
#include <QRegion>
#include <QTimer>

#include <limits>

namespace Workspace {

TagTreeView::TagTreeView(QWidget *parent)
    : QTreeView(parent)
    , m_repaintTimer(new QTimer(this))
{
    m_repaintTimer->setSingleShot(true);
    connect(m_repaintTimer, &QTimer::timeout, this, &TagTreeView::repaintChanged);
    // Rows on screen move with these.
    connect(this, &QTreeView::expanded, this, &TagTreeView::forgetVisibleRows);
    connect(this, &QTreeView::collapsed, this, &TagTreeView::forgetVisibleRows);
}

bool TagTreeView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (QTreeView::edit(index, trigger, event))
        return true;
    // Only what the user did to edit, not the clicks and moves that the
    // view also tries as triggers.
    const bool asked = trigger == DoubleClicked || trigger == EditKeyPressed || trigger == AllEditTriggers;
    if (asked && index.isValid() && !(index.flags() & Qt::ItemIsEditable))
        emit editRefused(index);
    return false;
}

void TagTreeView::setModel(QAbstractItemModel *model)
{
    for (const QMetaObject::Connection &c : qAsConst(m_modelConnections))
        disconnect(c);
    m_modelConnections.clear();
    QTreeView::setModel(model);
    forgetVisibleRows();
    if (!model)
        return;
    // A row index kept across a change of the rows could name another row.
    const auto forget = [this] { forgetVisibleRows(); };
    m_modelConnections = {
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this, forget),
        connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, forget),
        connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, forget),
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, forget),
        connect(model, &QAbstractItemModel::rowsAboutToBeMoved, this, forget),
        connect(model, &QAbstractItemModel::modelReset, this, forget),
        connect(model, &QAbstractItemModel::layoutChanged, this, forget),
    };
}

void TagTreeView::setRepaintInterval(int milliseconds)
{
    m_repaintIntervalMs = qMax(0, milliseconds);
}

QModelIndexList TagTreeView::visibleRows() const
{
    QModelIndexList rows;
    if (!model())
        return rows;
    // Uniform rows: one probe per row height from the first row's middle.
    const QModelIndex top = indexAt(QPoint(0, 0));
    if (!top.isValid())
        return rows;
    const QRect first = visualRect(top);
    const int step = first.height();
    const int bottom = viewport()->height();
    if (step <= 0)
        return rows;
    for (int y = first.top() + step / 2; y < bottom + step; y += step) {
        const QModelIndex index = indexAt(QPoint(0, qMin(y, bottom - 1)));
        if (!index.isValid())
            break;
        const QModelIndex row = index.sibling(index.row(), 0);
        if (rows.isEmpty() || rows.constLast() != row)
            rows.append(row);
        if (y >= bottom - 1)
            break;
    }
    return rows;
}

void TagTreeView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles)
{
    // An open editor follows its value, a screen reader is told of each
    // change, and rows of their own heights need measuring again: the
    // plain view does all that.
    if (state() == EditingState || QAccessible::isActive() || !uniformRowHeights()) {
        QTreeView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    if (!topLeft.isValid() || !bottomRight.isValid() || !isVisible())
        return;
    // A filter that keeps groups through their rows reports the group rows
    // along with every change below them; a group's own text changes only
    // with its rows (a rebuild, a new filter), which the view hears of anew.
    if (topLeft.row() == bottomRight.row() && model()->hasChildren(topLeft.sibling(topLeft.row(), 0)))
        return;
    if (showsAnyOf(topLeft, bottomRight))
        scheduleRepaint(topLeft.column(), bottomRight.column());
}

bool TagTreeView::showsAnyOf(const QModelIndex &topLeft, const QModelIndex &bottomRight) const
{
    if (!m_visibleKnown) {
        m_visible.clear();
        for (const QModelIndex &row : visibleRows())
            m_visible.append(qMakePair(row.parent(), row.row()));
        m_visibleKnown = true;
        // Good for this turn of the event loop: a flush reports its ranges
        // together; scrolling and resizing come in later turns.
        QMetaObject::invokeMethod(const_cast<TagTreeView *>(this), &TagTreeView::forgetVisibleRows,
                                  Qt::QueuedConnection);
    }
    const QModelIndex parent = topLeft.parent();
    for (const auto &row : qAsConst(m_visible)) {
        if (row.second >= topLeft.row() && row.second <= bottomRight.row() && row.first == parent)
            return true;
    }
    return false;
}

void TagTreeView::scheduleRepaint(int firstColumn, int lastColumn)
{
    m_firstChanged = m_firstChanged < 0 ? firstColumn : qMin(m_firstChanged, firstColumn);
    m_lastChanged = qMax(m_lastChanged, lastColumn);
    if (m_repaintTimer->isActive())
        return;
    const qint64 since =
        m_sinceRepaint.isValid() ? m_sinceRepaint.elapsed() : std::numeric_limits<qint64>::max();
    if (since >= m_repaintIntervalMs)
        repaintChanged();
    else
        m_repaintTimer->start(int(m_repaintIntervalMs - since));
}

void TagTreeView::repaintChanged()
{
    const int first = m_firstChanged;
    const int last = m_lastChanged;
    m_firstChanged = m_lastChanged = -1;
    if (first < 0)
        return;
    // Most passes change only the value cells: text of the other columns
    // need not be laid out again. Columns can be moved, so each is placed
    // by itself.
    QRegion region;
    const int height = viewport()->height();
    for (int column = first; column <= last; ++column) {
        if (isColumnHidden(column))
            continue;
        region += QRect(columnViewportPosition(column), 0, columnWidth(column), height);
    }
    if (!region.isEmpty())
        viewport()->update(region);
}

void TagTreeView::forgetVisibleRows()
{
    m_visibleKnown = false;
    m_visible.clear();
}

void TagTreeView::paintEvent(QPaintEvent *event)
{
    m_sinceRepaint.start();
    const QRegion region = event->region();
    if (region.rectCount() < 2) {
        QTreeView::paintEvent(event);
        return;
    }
    // A region of several rectangles (changed values beside a notification
    // fading over the table) makes QTreeView paint every column of every
    // row the region touches. Painted instead as one rectangle per group of
    // columns: the cells of a column are painted by one part only, and the
    // clip of the paint event keeps everything outside the region as it is.
    QVector<QRect> parts;
    for (const QRect &rect : region) {
        QRect part = rect;
        const int first = columnAt(rect.left());
        const int last = columnAt(rect.right());
        if (first >= 0)
            part.setLeft(columnViewportPosition(first));
        if (last >= 0)
            part.setRight(columnViewportPosition(last) + columnWidth(last) - 1);
        for (int i = parts.size() - 1; i >= 0; --i) {
            const QRect &other = parts.at(i);
            if (other.left() <= part.right() && part.left() <= other.right()) {
                part = part.united(other);
                parts.remove(i);
                // The wider part may now reach parts already passed.
                i = parts.size();
            }
        }
        parts.append(part);
    }
    for (const QRect &part : qAsConst(parts)) {
        QPaintEvent partEvent(part);
        QTreeView::paintEvent(&partEvent);
    }
}

} // namespace Workspace
