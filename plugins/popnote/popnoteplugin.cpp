#include "popnoteplugin.h"

#include "notificationstack.h"
#include "qpopnote.h"

#include <core/icore.h>

#include <QLoggingCategory>

namespace Popnote {

Q_LOGGING_CATEGORY(popnoteLog, "app.popnote")

static PopnotePlugin *s_instance = nullptr;

PopnotePlugin::PopnotePlugin()
{
    s_instance = this;
}

PopnotePlugin::~PopnotePlugin()
{
    delete m_stack;
    if (s_instance == this)
        s_instance = nullptr;
}

PopnotePlugin *PopnotePlugin::instance()
{
    return s_instance;
}

bool PopnotePlugin::initialize(const QStringList &, QString *)
{
    return true;
}

ExtensionSystem::IPlugin::ShutdownFlag PopnotePlugin::aboutToShutdown()
{
    delete m_stack;
    m_stack = nullptr;
    return SynchronousShutdown;
}

NotificationStack *PopnotePlugin::stackFor(QWidget *host)
{
    if (!host)
        return nullptr;
    if (!m_stack || m_stack->host() != host) {
        delete m_stack;
        m_stack = new NotificationStack(host);
    }
    return m_stack;
}

void PopnotePlugin::notify(const QString &title, const QString &body, TypeNotification type)
{
    if (!s_instance) {
        qCWarning(popnoteLog).noquote() << title << ":" << body;
        return;
    }
    auto *note = new QPopnote(nullptr);
    note->setTitle(title);
    note->setBodyText(body);
    s_instance->addNotification(note, type, true);
}

void PopnotePlugin::addNotification(QPopnote *note, TypeNotification type, bool autoHide)
{
    if (!note) {
        qCWarning(popnoteLog, "addNotification called without a notification");
        return;
    }
    int kind = type;
    if (kind < Information || kind > Error) {
        qCWarning(popnoteLog, "Unknown notification type %d shown as information", kind);
        kind = Information;
    }
    const QString title = note->title();
    const QString body = note->bodyText();
    const QString text = title.isEmpty() ? body : title + QLatin1String(": ") + body;
    switch (kind) {
    case NotFound:
        qCWarning(popnoteLog).noquote() << text;
        break;
    case Error:
        qCCritical(popnoteLog).noquote() << text;
        break;
    default:
        qCInfo(popnoteLog).noquote() << text;
        break;
    }

    if (NotificationStack *stack = stackFor(Core::ICore::mainWindow()))
        stack->add(note, kind, autoHide);
    else
        delete note;

    emit notificationAdded(title, body, kind);
}

QList<QPopnote *> PopnotePlugin::visibleNotifications() const
{
    return m_stack ? m_stack->notes() : QList<QPopnote *>();
}

} // namespace Popnote
