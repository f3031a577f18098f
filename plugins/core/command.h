#pragma once

#include "core_global.h"
#include "context.h"
#include "id.h"

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>

QT_BEGIN_NAMESPACE
class QAction;
QT_END_NAMESPACE

namespace Core {

class ActionManager;

// One user command. Its own action (action()) is what menus show; it
// mirrors and triggers the action last registered for it, so several
// plug-ins may register under the same id and the menu entry stays one.
class CORE_EXPORT Command : public QObject
{
    Q_OBJECT

public:
    ~Command() override;

    QAction *action() const { return m_action; }
    Id id() const { return m_id; }
    Context context() const { return m_context; }
    bool isScriptable() const { return m_scriptable; }

    // The action currently behind the command, or null when none is left.
    QAction *registeredAction() const;

    void setDefaultKeySequence(const QKeySequence &key);
    QKeySequence keySequence() const;

    void setDescription(const QString &text);
    QString description() const;

signals:
    void activeStateChanged();

private:
    friend class ActionManager;
    Command(Id id, QObject *parent);

    void addBackend(QAction *action, const Context &context, bool scriptable);
    void removeBackend(QAction *action);
    void updateFromBackend();

    Id m_id;
    Context m_context;
    bool m_scriptable = false;
    QAction *m_action = nullptr;
    QList<QPointer<QAction>> m_backends;
    QString m_description;
};

} // namespace Core
