#include "actioncontainer.h"

#include "command.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace Core {

ActionContainer::ActionContainer(Id id, QMenu *menu, QObject *parent)
    : QObject(parent)
    , m_id(id)
    , m_menu(menu)
{
    m_menu->setObjectName(id.toString());
}

ActionContainer::ActionContainer(Id id, QMenuBar *menuBar, QObject *parent)
    : QObject(parent)
    , m_id(id)
    , m_menuBar(menuBar)
{
}

ActionContainer::~ActionContainer()
{
    // A menu belongs to its container; a menu bar belongs to its window.
    delete m_menu.data();
    qDeleteAll(m_separators);
}

QMenu *ActionContainer::menu() const
{
    return m_menu;
}

QMenuBar *ActionContainer::menuBar() const
{
    return m_menuBar;
}

QWidget *ActionContainer::widget() const
{
    if (m_menu)
        return m_menu;
    return m_menuBar;
}

void ActionContainer::appendGroup(Id group)
{
    if (!group.isValid() || groups().contains(group))
        return;
    m_groups.append(Group{group, {}});
}

void ActionContainer::insertGroup(Id before, Id group)
{
    if (!group.isValid() || groups().contains(group))
        return;
    const int index = groups().indexOf(before);
    m_groups.insert(index < 0 ? m_groups.size() : index, Group{group, {}});
    rebuild();
}

QList<Id> ActionContainer::groups() const
{
    QList<Id> ids;
    for (const Group &g : m_groups)
        ids.append(g.id);
    return ids;
}

int ActionContainer::groupIndex(Id group)
{
    if (m_groups.isEmpty())
        m_groups.append(Group{Id("App.Group.Default"), {}});
    const int index = groups().indexOf(group);
    return index < 0 ? m_groups.size() - 1 : index;
}

void ActionContainer::addItem(QAction *action, Id group)
{
    if (!action)
        return;
    for (const Group &g : qAsConst(m_groups)) {
        if (g.actions.contains(action))
            return;
    }
    m_groups[groupIndex(group)].actions.append(action);
    rebuild();
}

void ActionContainer::addAction(Command *command, Id group)
{
    if (command)
        addItem(command->action(), group);
}

void ActionContainer::addMenu(ActionContainer *menu, Id group)
{
    if (menu && menu != this && menu->menu())
        addItem(menu->menu()->menuAction(), group);
}

void ActionContainer::rebuild()
{
    QWidget *target = widget();
    if (!target)
        return;
    for (QAction *action : target->actions())
        target->removeAction(action);

    int separatorsUsed = 0;
    bool anyBefore = false;
    for (Group &g : m_groups) {
        g.actions.removeAll(QPointer<QAction>());
        if (g.actions.isEmpty())
            continue;
        if (anyBefore && m_menu) {
            if (separatorsUsed == m_separators.size()) {
                auto separator = new QAction(nullptr);
                separator->setSeparator(true);
                m_separators.append(separator);
            }
            target->addAction(m_separators.at(separatorsUsed++));
        }
        for (const QPointer<QAction> &action : qAsConst(g.actions))
            target->addAction(action);
        anyBefore = true;
    }
}

} // namespace Core
