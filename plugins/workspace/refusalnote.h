#pragma once

#include "workspace_global.h"

#include <QLabel>
#include <QPointer>

namespace Workspace {

// Why a value was not taken, shown right below the cell the user acted on
// (a tooltip would wait for the mouse to rest there). The note goes away
// with the next click or key press anywhere, or with the editor it belongs
// to.
class WORKSPACE_EXPORT RefusalNote : public QLabel
{
    Q_OBJECT

public:
    // Shown in `viewport` below `cell` (above it when there is no room),
    // as wide as the cell at least. `editor`: the note lives no longer.
    RefusalNote(QWidget *viewport, const QRect &cell, const QString &text, QWidget *editor = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_editor;
};

} // namespace Workspace
