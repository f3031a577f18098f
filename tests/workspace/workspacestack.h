#pragma once

#include <clearance/clearanceplugin.h>
#include <core/coreplugin.h>
#include <extensionsystem/iplugin.h>
#include <fieldlink/fieldlinkplugin.h>
#include <pointbook/pointbookplugin.h>
#include <popnote/popnoteplugin.h>
#include <workspace/workspaceplugin.h>

#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>

// The plug-ins of a device workspace, started as the program starts them
// (every initialize(), then every extensionsInitialized()) with the user's
// settings in a folder of their own, and shut down in reverse order.
struct WorkspaceStack
{
    QTemporaryDir home;
    Core::CorePlugin *core = nullptr;
    Popnote::PopnotePlugin *popnote = nullptr;
    Fieldlink::FieldlinkCore::FieldlinkPlugin *fieldlink = nullptr;
    Pointbook::PointbookPlugin *pointbook = nullptr;
    Clearance::ClearancePlugin *clearance = nullptr;
    Workspace::WorkspacePlugin *workspace = nullptr;

    bool start(QString *error)
    {
        if (!home.isValid()) {
            *error = QStringLiteral("no temporary folder");
            return false;
        }
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.filePath(QStringLiteral("user")));
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, home.filePath(QStringLiteral("system")));
        core = new Core::CorePlugin;
        popnote = new Popnote::PopnotePlugin;
        fieldlink = new Fieldlink::FieldlinkCore::FieldlinkPlugin;
        pointbook = new Pointbook::PointbookPlugin;
        clearance = new Clearance::ClearancePlugin;
        workspace = new Workspace::WorkspacePlugin;
        for (ExtensionSystem::IPlugin *p : all()) {
            if (!p->initialize({}, error))
                return false;
        }
        for (ExtensionSystem::IPlugin *p : all())
            p->extensionsInitialized();
        return true;
    }

    ~WorkspaceStack() { stop(); }

    void stop()
    {
        QList<ExtensionSystem::IPlugin *> order = all();
        std::reverse(order.begin(), order.end());
        for (ExtensionSystem::IPlugin *p : order) {
            if (p)
                p->aboutToShutdown();
        }
        for (ExtensionSystem::IPlugin *p : order)
            delete p;
        core = nullptr;
        popnote = nullptr;
        fieldlink = nullptr;
        pointbook = nullptr;
        clearance = nullptr;
        workspace = nullptr;
    }

    QList<ExtensionSystem::IPlugin *> all() const
    {
        return {core, popnote, fieldlink, pointbook, clearance, workspace};
    }
};
