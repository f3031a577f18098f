#pragma once

#include "core_global.h"
#include "id.h"

#include <QList>
#include <QObject>
#include <QPointer>

QT_BEGIN_NAMESPACE
class QAction;
class QMenu;
class QMenuBar;
class QWidget;
QT_END_NAMESPACE

namespace Core {

class ActionManager;
class Command;

// A menu or menu bar whose entries are kept in named groups. Groups keep
// the order in which they were appended; non-empty groups of a menu are
// separated by a line.
class CORE_EXPORT ActionContainer : public QObject
{
    Q_OBJECT

public:
    ~ActionContainer() override;

    Id id() const { return m_id; }
    QMenu *menu() const;
    QMenuBar *menuBar() const;

    void appendGroup(Id group);
    void insertGroup(Id before, Id group);
    QList<Id> groups() const;

    // A command without a group (or with an unknown one) goes to the last group.
    void addAction(Command *command, Id group = Id());
    void addMenu(ActionContainer *menu, Id group = Id());

private:
    friend class ActionManager;
    ActionContainer(Id id, QMenu *menu, QObject *parent);
    ActionContainer(Id id, QMenuBar *menuBar, QObject *parent);

    struct Group {
        Id id;
        QList<QPointer<QAction>> actions;
    };

    int groupIndex(Id group);
    void addItem(QAction *action, Id group);
    void rebuild();
    QWidget *widget() const;

    Id m_id;
    QPointer<QMenu> m_menu;
    QPointer<QMenuBar> m_menuBar;
    QList<Group> m_groups;
    QList<QAction *> m_separators;
};

} // namespace Core
