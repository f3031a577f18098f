#pragma once

#include <fieldlink/fieldlink_global.h>
#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusstatistics.h>
#include <fieldlink/qmodbussettings.h>

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QModbusDevice>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QSet>
#include <QString>
#include <QVector>

QT_BEGIN_NAMESPACE
class QModbusClient;
class QModbusPdu;
class QModbusReply;
class QModbusResponse;
class QTimer;
QT_END_NAMESPACE

namespace Fieldlink {
namespace FieldlinkCore {

// The Modbus master: one link (TCP or RTU), one request on the wire at a
// time, queued transactions executed by priority and then arrival order.
//
// Lifetime of transactions: read*/write*/readDeviceIdentification return a
// new transaction owned by the connection (or null when the request is out of
// range). It does nothing until handed to addTransactionExec. Every handed-over
// transaction ends with exactly one completion signal, emitted from the event
// loop (never from inside addTransactionExec), and is freed with deleteLater()
// right after it. clearTransactions() frees, without any signal, every
// transaction that has been created and not handed over; every handed-over
// one that is not yet on the wire ends from the event loop with false
// (Outcome Dropped) and is freed after that signal. Pointers to any of them
// must be guarded (QPointer).
//
// While the link is down a handed-over transaction waits for it up to its
// response timeout and then ends with false (Outcome LinkDown), so a caller
// polling a disconnected device is paced by the timeout.
class ModbusTcpLink;
class TrafficRecorder;

class FIELDLINK_EXPORT ModbusConnection : public QObject
{
    Q_OBJECT

public:
    enum ConnectionType { Tcp = 0, Rtu = 1 };
    Q_ENUM(ConnectionType)

    explicit ModbusConnection(QObject *parent = nullptr);
    ~ModbusConnection() override;

    // Link parameters; they take effect at the next connectDevice().
    ConnectionType connectionType() const { return m_type; }
    void setConnectionType(ConnectionType type);
    QString host() const { return m_host; }
    void setHost(const QString &host);
    int port() const { return m_port; }
    void setPort(int port);
    QString serialPortName() const { return m_serialPortName; }
    void setSerialPortName(const QString &name);
    int baudRate() const { return m_baudRate; }
    void setBaudRate(int baudRate);
    QSerialPort::Parity parity() const { return m_parity; }
    void setParity(QSerialPort::Parity parity);
    QSerialPort::DataBits dataBits() const { return m_dataBits; }
    void setDataBits(QSerialPort::DataBits dataBits);
    QSerialPort::StopBits stopBits() const { return m_stopBits; }
    void setStopBits(QSerialPort::StopBits stopBits);

    // Reconnection after a lost link or a failed attempt while the user wants
    // to be connected: first after minimum ms, doubling up to maximum ms.
    bool autoReconnect() const { return m_autoReconnect; }
    void setAutoReconnect(bool enabled);
    int reconnectMinimumDelay() const { return m_reconnectMin; }
    int reconnectMaximumDelay() const { return m_reconnectMax; }
    void setReconnectDelays(int minimumMs, int maximumMs);

    // Devices that only take the write-multiple functions: one register or
    // coil is then written with function 16 or 15 instead of 6 or 5.
    bool alwaysWriteMultiple() const { return m_alwaysWriteMultiple; }
    void setAlwaysWriteMultiple(bool enabled) { m_alwaysWriteMultiple = enabled; }

    // Starts connecting; false (with errorOccurred) when the parameters are
    // unusable or the attempt could not start.
    bool connectDevice();
    // Closes the link and stops reconnecting; queued transactions then wait
    // for the link as described above.
    void disconnectDevice();
    QModbusDevice::State state() const { return m_state; }
    bool isConnected() const { return m_state == QModbusDevice::ConnectedState; }
    QString errorString() const { return m_errorString; }

    // Request factories; null when count or address range is out of limits.
    virtual IModbusTransaction *readInputs(int start, int count, QModbusSettings *settings,
                                           IModbusTransaction::Priority priority);
    virtual IModbusTransaction *readHoldings(int start, int count, QModbusSettings *settings,
                                             IModbusTransaction::Priority priority);
    virtual IModbusTransaction *readDiscretes(int start, int count, QModbusSettings *settings,
                                              IModbusTransaction::Priority priority);
    virtual IModbusTransaction *readCoils(int start, int count, QModbusSettings *settings,
                                          IModbusTransaction::Priority priority);
    virtual IModbusTransaction *writeHoldings(int start, const QVector<quint16> &values,
                                              QModbusSettings *settings,
                                              IModbusTransaction::Priority priority);
    virtual IModbusTransaction *writeCoils(int start, const QVector<quint8> &values,
                                           QModbusSettings *settings,
                                           IModbusTransaction::Priority priority);
    virtual IModbusTransaction *readDeviceIdentification(QModbusSettings *settings,
                                                         IModbusTransaction::Priority priority);

    virtual void addTransactionExec(IModbusTransaction *transaction);
    virtual void clearTransactions();

    int queuedCount() const { return m_queue.size(); }
    bool isBusy() const { return m_current != nullptr; }

    ModbusStatistics statistics() const { return m_statistics; }
    void resetStatistics();

    // Every ended request is also written into the recorder, when one is
    // set (not owned; null stops recording).
    void setTrafficRecorder(TrafficRecorder *recorder) { m_recorder = recorder; }
    TrafficRecorder *trafficRecorder() const { return m_recorder; }

signals:
    void stateChanged(QModbusDevice::State state);
    void connected();
    void disconnected();
    void errorOccurred(const QString &message);
    void reconnectScheduled(int delayMs);
    void statisticsChanged();

protected:
    bool event(QEvent *event) override;

private:
    friend class IModbusTransaction;

    void adopt(IModbusTransaction *transaction);
    void forget(IModbusTransaction *transaction);
    void failTransaction(IModbusTransaction *transaction, IModbusTransaction::Outcome outcome,
                         const QString &message, int exceptionCode = 0);
    void record(IModbusTransaction *transaction, IModbusTransaction::Outcome outcome,
                int exceptionCode);
    void release(IModbusTransaction *transaction);
    void handleReply(QModbusReply *reply);
    // The checks of an ended request, whichever link carried it: `raw` is
    // what came back (may be invalid), `errorText` the link's words for
    // `error`.
    void handleAnswer(QModbusDevice::Error error, const QModbusResponse &raw,
                      const QString &errorText);
    void onLinkRequestEnded(QModbusDevice::Error error, const QModbusResponse &answer,
                            const QString &errorText);
    bool sendOverLink(IModbusTransaction *transaction);
    bool hasLink() const { return m_client || m_link; }
    bool openLink();
    IModbusTransaction *create(IModbusTransaction::Function function, int start, int count,
                               QModbusSettings *settings, IModbusTransaction::Priority priority);
    void scheduleProcessing();
    void processQueue();
    void send(IModbusTransaction *transaction);
    void armGuard(int durationMs);
    void onGuardTimeout();
    void onLinkWaitTimeout();
    void armLinkWait();
    void finish(IModbusTransaction *transaction);
    void onClientStateChanged(QModbusDevice::State state);
    void onClientError(QModbusDevice::Error error);
    void setState(QModbusDevice::State state);
    void scheduleReconnect();
    void destroyClient();
    void reportError(const QString &message);

    ConnectionType m_type = Tcp;
    QString m_host = QStringLiteral("127.0.0.1");
    int m_port = 502;
    QString m_serialPortName;
    int m_baudRate = 19200;
    QSerialPort::Parity m_parity = QSerialPort::EvenParity;
    QSerialPort::DataBits m_dataBits = QSerialPort::Data8;
    QSerialPort::StopBits m_stopBits = QSerialPort::OneStop;
    bool m_autoReconnect = true;
    int m_reconnectMin = 500;
    int m_reconnectMax = 30000;
    int m_reconnectDelay = 500;
    bool m_wantConnected = false;
    bool m_alwaysWriteMultiple = false;
    bool m_sentRaw = false; // the request on the wire went as a raw PDU

    // Serial lines go through Qt's RTU master, TCP through our own framing.
    QModbusClient *m_client = nullptr;
    ModbusTcpLink *m_link = nullptr;
    // The PDU head (function code and the first four data bytes) of the
    // request on the TCP link, for the check of a write's echo.
    quint8 m_sentFunction = 0;
    char m_sentHead[4] = {0, 0, 0, 0};
    QModbusDevice::State m_state = QModbusDevice::UnconnectedState;
    QString m_errorString;

    QSet<IModbusTransaction *> m_created;  // created, not yet handed over
    QList<IModbusTransaction *> m_queue;   // handed over, waiting
    IModbusTransaction *m_current = nullptr;
    QPointer<QModbusReply> m_reply;
    QMetaObject::Connection m_replyConnection;
    bool m_processingScheduled = false;
    // Set while a read's completion signal is being emitted; a request
    // handed over meanwhile is then started right after the signal.
    bool m_inCompletion = false;
    bool m_processAfterRelease = false;
    int m_directDepth = 0;

    QElapsedTimer m_clock;
    QHash<IModbusTransaction *, qint64> m_linkDeadlines; // queued while the link is down
    QTimer *m_guardTimer = nullptr;
    qint64 m_guardDeadline = -1; // on m_clock; -1 while nothing is on the wire
    qint64 m_guardShot = 0;      // when m_guardTimer fires next, on m_clock
    QTimer *m_linkWaitTimer = nullptr;
    QTimer *m_reconnectTimer = nullptr;
    ModbusStatistics m_statistics;
    TrafficRecorder *m_recorder = nullptr;
    // The answer being handled, for the recorder; null outside handleReply.
    const QModbusPdu *m_answer = nullptr;
    // The reply being handled (already due for deletion) and its
    // transaction; null outside handleReply.
    QModbusReply *m_endingReply = nullptr;
    IModbusTransaction *m_endingTransaction = nullptr;
    // The link came up since the last connectDevice(): a later connection is
    // a reconnect.
    bool m_hadLink = false;
    // The serial port failed while connected; it is being closed.
    bool m_losingPort = false;
    // A message equal to the last one is not reported again (see
    // reportError()).
    bool m_quietRepeats = false;
};

} // namespace FieldlinkCore
} // namespace Fieldlink
