#pragma once

#include <popnote/popnoteplugin.h>

#include <QString>

namespace Clearance {
namespace Internal {

// Hands one message to the notification service, which takes the
// notification object over. Without the service the message is only logged.
void postNotification(const QString &title, const QString &body,
                      Popnote::PopnotePlugin::TypeNotification type);

} // namespace Internal
} // namespace Clearance
