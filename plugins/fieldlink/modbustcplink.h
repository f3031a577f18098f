#pragma once

#include <fieldlink/fieldlink_global.h>

#include <QBasicTimer>
#include <QByteArray>
#include <QElapsedTimer>
#include <QModbusDevice>
#include <QModbusResponse>
#include <QObject>
#include <QString>

#include <vector>

QT_BEGIN_NAMESPACE
class QTcpSocket;
QT_END_NAMESPACE

namespace Fieldlink {
namespace FieldlinkCore {

// Modbus TCP framing over one socket, for a master with one request on the
// wire at a time: MBAP header (transaction id, protocol 0, length, unit id)
// and PDU. The answer is cut from the socket's bytes by the header's length
// and matched to the request by transaction id, protocol and unit; anything
// else is a stray frame (a late answer to an abandoned request, a confused
// gateway) and is ignored. States, errors and texts mean what they mean for
// QModbusTcpClient, which this replaces for TCP: a request costs no heap
// object and no timer of its own.
class FIELDLINK_EXPORT ModbusTcpLink : public QObject
{
    Q_OBJECT

public:
    enum Limits {
        HeaderSize = 7,  // MBAP header with the unit id
        MaxPduSize = 253,
        MinLengthField = 2,  // unit id and function code
        MaxLengthField = MaxPduSize + 1
    };

    // What lies at the front of received bytes.
    struct Frame
    {
        enum Kind { Incomplete, Complete, BadLength };
        Kind kind = Incomplete;
        int size = 0; // bytes the whole frame takes (Complete)
        quint16 transactionId = 0;
        quint16 protocolId = 0;
        quint16 lengthField = 0;
        quint8 unitId = 0;
        const uchar *pdu = nullptr; // function code and data (Complete)
        int pduSize = 0;
    };
    // Never reads past bytes + size. BadLength: the header's length cannot
    // be that of a Modbus frame, so no later frame boundary can be trusted.
    static Frame cutFrame(const uchar *bytes, int size);

    explicit ModbusTcpLink(QObject *parent = nullptr);
    ~ModbusTcpLink() override;

    // Starts connecting; false when the link is not unconnected.
    bool connectDevice(const QString &host, int port);
    void disconnectDevice();
    QModbusDevice::State state() const { return m_state; }
    QModbusDevice::Error error() const { return m_error; }
    QString errorString() const { return m_errorString; }

    // Puts one request on the wire: function code and data of the PDU, the
    // unit to address, the response timeout per try and the number of
    // repetitions of an unanswered request. It ends with exactly one
    // requestEnded, never from inside this call. False (with errorString())
    // when it could not be sent; then nothing is emitted.
    bool sendRequest(quint8 function, const char *data, int dataSize, int unit, int timeoutMs,
                     int retries);
    bool isBusy() const { return m_inFlight; }
    // Forgets the request on the wire without any signal; its answer, should
    // it still come, is a stray frame.
    void abandonRequest();

    // Frames received that answered no request in flight.
    quint64 strayFrames() const { return m_strayFrames; }

signals:
    void stateChanged(QModbusDevice::State state);
    void errorOccurred(QModbusDevice::Error error);
    // The request on the wire ended. NoError: `answer` is the device's PDU
    // (not necessarily a fitting one). ProtocolError: a Modbus exception,
    // `answer` carries the exception code. TimeoutError after the last try,
    // ReplyAbortedError when the link closed, UnknownError for a frame that
    // broke the byte stream. `answer` is valid only during the signal.
    void requestEnded(QModbusDevice::Error error, const QModbusResponse &answer,
                      const QString &errorText);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void setState(QModbusDevice::State state);
    void setError(const QString &text, QModbusDevice::Error error);
    void onReadyRead();
    void onDisconnected();
    void onSocketError();
    bool deliver(const Frame &frame);
    void endInFlight(QModbusDevice::Error error, const QString &text);
    void armTimer(qint64 deadline);
    bool writeRequest();

    QTcpSocket *m_socket = nullptr;
    QModbusDevice::State m_state = QModbusDevice::UnconnectedState;
    QModbusDevice::Error m_error = QModbusDevice::NoError;
    QString m_errorString;

    // Received bytes not yet cut into frames; kept from read to read.
    std::vector<uchar> m_in;
    int m_inUsed = 0;

    // The request on the wire, as sent (repeated as it is on a retry).
    QByteArray m_out;
    bool m_inFlight = false;
    bool m_sending = false; // inside writeRequest()
    quint16 m_transactionId = 0;
    quint8 m_unit = 0;
    int m_timeoutMs = 0;
    int m_retriesLeft = 0;

    // One timer for every request: it keeps running and is only brought
    // forward when a deadline comes before its next shot.
    QElapsedTimer m_clock;
    QBasicTimer m_timer;
    qint64 m_deadline = -1; // on m_clock; -1 while nothing is on the wire
    qint64 m_timerShot = 0;

    // The answer handed out with requestEnded; its data is refilled in place
    // from answer to answer.
    QModbusResponse m_answer;
    QByteArray m_answerData;
    quint64 m_strayFrames = 0;
};

} // namespace FieldlinkCore
} // namespace Fieldlink
