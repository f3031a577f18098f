#include "notification.h"

#include <popnote/qpopnote.h>

#include <QDebug>

namespace Clearance {
namespace Internal {

void postNotification(const QString &title, const QString &body,
                      Popnote::PopnotePlugin::TypeNotification type)
{
    Popnote::PopnotePlugin *service = Popnote::PopnotePlugin::instance();
    if (!service) {
        qWarning().noquote() << title << ":" << body;
        return;
    }
    auto *note = new Popnote::QPopnote(nullptr);
    note->setTitle(title);
    note->setBodyText(body);
    service->addNotification(note, type, true);
}

} // namespace Internal
} // namespace Clearance
