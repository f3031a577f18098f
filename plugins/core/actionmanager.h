#pragma once

#include "core_global.h"
#include "context.h"
#include "id.h"

#include <QHash>
#include <QList>
#include <QObject>

QT_BEGIN_NAMESPACE
class QAction;
QT_END_NAMESPACE

namespace Core {

class ActionContainer;
class Command;
class CorePlugin;

// Registry of commands and menu containers. The one object is created by
// the Core plug-in; the static functions return null (and log) before that.
class CORE_EXPORT ActionManager : public QObject
{
    Q_OBJECT

public:
    ~ActionManager() override;

    static ActionManager *instance();

    static ActionContainer *createMenu(Id id);
    static ActionContainer *createMenuBar(Id id);
    static ActionContainer *actionContainer(Id id);

    // Registering the same id again returns the same command; the newest
    // action then stands behind it.
    static Command *registerAction(QAction *action, Id id, const Context &context,
                                   bool scriptable = false);
    static void unregisterAction(QAction *action, Id id);
    static Command *command(Id id);
    static QList<Command *> commands();

signals:
    void commandAdded(Core::Id id);

private:
    friend class CorePlugin;
    explicit ActionManager(QObject *parent = nullptr);

    QHash<Id, Command *> m_commands;
    QList<Id> m_commandOrder;
    QHash<Id, ActionContainer *> m_containers;
};

} // namespace Core
