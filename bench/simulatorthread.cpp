#include "simulatorthread.h"

#include <devicesim/devicesimulator.h>

namespace Bench {

SimulatorThread::~SimulatorThread()
{
    if (m_simulator)
        QMetaObject::invokeMethod(m_context, [this] { delete m_simulator; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

quint16 SimulatorThread::start(const QString &map, QString *error)
{
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_thread.start();
    quint16 port = 0;
    QMetaObject::invokeMethod(m_context, [&] {
        m_simulator = new Devicesim::DeviceSimulator;
        m_simulator->setUpdateInterval(0);
        if (!m_simulator->loadMap(map) || !m_simulator->listen(QStringLiteral("127.0.0.1"), 0)) {
            *error = m_simulator->errorString();
            return;
        }
        m_version = m_simulator->version();
        port = m_simulator->port();
    }, Qt::BlockingQueuedConnection);
    return port;
}

void SimulatorThread::setAdvanceEvery(quint64 requests)
{
    if (!m_simulator)
        return;
    QMetaObject::invokeMethod(m_context, [this, requests] {
        QObject::disconnect(m_simulator, &Devicesim::DeviceSimulator::requestReceived, m_context, nullptr);
        if (requests == 0)
            return;
        QObject::connect(m_simulator, &Devicesim::DeviceSimulator::requestReceived, m_context,
                         [this, requests](quint64 count) {
                             if (count % requests == 0)
                                 m_simulator->advance();
                         });
    }, Qt::BlockingQueuedConnection);
}

} // namespace Bench
