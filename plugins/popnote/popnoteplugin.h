#pragma once

#include "popnote_global.h"

#include <extensionsystem/iplugin.h>

#include <QPointer>

namespace Popnote {

class NotificationStack;
class QPopnote;

// The notification service. Every notification is logged and announced by
// notificationAdded(); with a main window it is also shown as a toast.
class POPNOTE_EXPORT PopnotePlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "app.Plugin" FILE "Popnote.json")

public:
    enum TypeNotification {
        Information = 0, // information or success
        NotFound = 1,    // not found or no change
        Error = 2
    };
    Q_ENUM(TypeNotification)

    PopnotePlugin();
    ~PopnotePlugin() override;

    static PopnotePlugin *instance();

    bool initialize(const QStringList &arguments, QString *errorString) override;
    ShutdownFlag aboutToShutdown() override;

    // Takes ownership of the note and returns at once. autoHide false keeps
    // the toast until it is clicked or pushed out by newer ones.
    void addNotification(QPopnote *note, TypeNotification type, bool autoHide);
    // Posts a self-hiding note through the running service; without one the
    // message is only logged, so nothing is lost when the service is absent.
    static void notify(const QString &title, const QString &body, TypeNotification type);

    // Notes currently shown as toasts.
    QList<QPopnote *> visibleNotifications() const;

signals:
    void notificationAdded(const QString &title, const QString &body, int type);

private:
    NotificationStack *stackFor(QWidget *host);

    NotificationStack *m_stack = nullptr;
};

} // namespace Popnote
