#pragma once

#include "workspace_global.h"

#include <QElapsedTimer>
#include <QModelIndexList>
#include <QPair>
#include <QVector>
#include <QTreeView>

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

namespace Workspace {

// The live tag table's view. Polling changes every value many times a
// second; a plain QTreeView walks every row of each changed range (tens of
// thousands) and repaints the whole table once per change. This view
// repaints only when a changed range reaches a row on screen, then only the
// columns of the changed ranges, and at most once per repaint interval: the
// next paint shows the newest values, stale marks and ages alike.
class WORKSPACE_EXPORT TagTreeView : public QTreeView
{
    Q_OBJECT

public:
    enum { DefaultRepaintIntervalMs = 100 };

    explicit TagTreeView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;

    // The shortest time between two repaints caused by value changes
    // (0: repaint on every change).
    void setRepaintInterval(int milliseconds);
    int repaintInterval() const { return m_repaintIntervalMs; }

    // The rows on screen, one index (column 0) each, top to bottom.
    QModelIndexList visibleRows() const;

    using QTreeView::edit;

signals:
    // The user asked to edit a cell (double-click, F2 or an explicit
    // edit()) that cannot be edited.
    void editRefused(const QModelIndex &index);

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QVector<int> &roles = QVector<int>()) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool showsAnyOf(const QModelIndex &topLeft, const QModelIndex &bottomRight) const;
    void scheduleRepaint(int firstColumn, int lastColumn);
    // Repaints the columns changed since the last repaint.
    void repaintChanged();
    void forgetVisibleRows();

    QTimer *m_repaintTimer;
    QVector<QMetaObject::Connection> m_modelConnections;
    QElapsedTimer m_sinceRepaint;
    int m_repaintIntervalMs = DefaultRepaintIntervalMs;
    // Logical columns changed since the last repaint (-1: none).
    int m_firstChanged = -1;
    int m_lastChanged = -1;
    // The rows on screen, found once per turn of the event loop: one flush
    // of the model reports several ranges at once.
    // Parent and row of each.
    mutable QVector<QPair<QModelIndex, int>> m_visible;
    mutable bool m_visibleKnown = false;
};

} // namespace Workspace
