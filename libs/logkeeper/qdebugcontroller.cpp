#include "qdebugcontroller.h"

#include "logsink.h"

namespace Logkeeper {

namespace {
void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    LogSink::instance().write(type, context, text);
}
} // namespace

void InitQDebugController()
{
    qInstallMessageHandler(handleMessage);
}

} // namespace Logkeeper
