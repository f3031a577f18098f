#include "actionmanager.h"

#include "actioncontainer.h"
#include "command.h"
#include "coreconstants.h"

#include <QAction>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>

namespace Core {

Q_LOGGING_CATEGORY(actionLog, "app.core.actions")

static ActionManager *s_instance = nullptr;

ActionManager::ActionManager(QObject *parent)
    : QObject(parent)
{
    s_instance = this;
}

ActionManager::~ActionManager()
{
    // Containers first: their menus hold the commands' actions.
    qDeleteAll(m_containers);
    m_containers.clear();
    qDeleteAll(m_commands);
    m_commands.clear();
    if (s_instance == this)
        s_instance = nullptr;
}

ActionManager *ActionManager::instance()
{
    return s_instance;
}

static bool checkInstance(const char *what)
{
    if (s_instance)
        return true;
    qCWarning(actionLog, "%s called before the Core plug-in was initialised", what);
    return false;
}

ActionContainer *ActionManager::createMenu(Id id)
{
    if (!checkInstance("ActionManager::createMenu") || !id.isValid())
        return nullptr;
    if (ActionContainer *existing = s_instance->m_containers.value(id))
        return existing;
    auto container = new ActionContainer(id, new QMenu, s_instance);
    s_instance->m_containers.insert(id, container);
    return container;
}

ActionContainer *ActionManager::createMenuBar(Id id)
{
    if (!checkInstance("ActionManager::createMenuBar") || !id.isValid())
        return nullptr;
    if (ActionContainer *existing = s_instance->m_containers.value(id))
        return existing;
    auto bar = new QMenuBar;
    bar->setObjectName(id.toString());
    auto container = new ActionContainer(id, bar, s_instance);
    s_instance->m_containers.insert(id, container);
    return container;
}

ActionContainer *ActionManager::actionContainer(Id id)
{
    if (!checkInstance("ActionManager::actionContainer"))
        return nullptr;
    ActionContainer *container = s_instance->m_containers.value(id);
    if (!container)
        qCWarning(actionLog, "No action container \"%s\"", id.name().constData());
    return container;
}

Command *ActionManager::registerAction(QAction *action, Id id, const Context &context,
                                       bool scriptable)
{
    if (!checkInstance("ActionManager::registerAction"))
        return nullptr;
    if (!id.isValid()) {
        qCWarning(actionLog, "registerAction called with an empty id");
        return nullptr;
    }
    Command *command = s_instance->m_commands.value(id);
    const bool isNew = !command;
    if (isNew) {
        command = new Command(id, s_instance);
        s_instance->m_commands.insert(id, command);
        s_instance->m_commandOrder.append(id);
    }
    command->addBackend(action, context.isEmpty() ? Context(Id(Constants::C_GLOBAL)) : context,
                        scriptable);
    if (isNew)
        emit s_instance->commandAdded(id);
    return command;
}

void ActionManager::unregisterAction(QAction *action, Id id)
{
    if (!s_instance)
        return;
    if (Command *command = s_instance->m_commands.value(id))
        command->removeBackend(action);
}

Command *ActionManager::command(Id id)
{
    return s_instance ? s_instance->m_commands.value(id) : nullptr;
}

QList<Command *> ActionManager::commands()
{
    QList<Command *> result;
    if (!s_instance)
        return result;
    for (const Id &id : qAsConst(s_instance->m_commandOrder))
        result.append(s_instance->m_commands.value(id));
    return result;
}

} // namespace Core
