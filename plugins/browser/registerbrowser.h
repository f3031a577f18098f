#pragma once

#include "browser_global.h"

#include <pointbook/tag.h>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

namespace Fieldlink {
namespace FieldlinkCore {
class IModbusTransaction;
class ModbusConnection;
class QModbusSettings;
} // namespace FieldlinkCore
} // namespace Fieldlink

namespace Browser {

class BrowserModel;

// Reads the browser's address range from the device, pass after pass: the
// range is split into requests within the driver's limits, one request is
// on the wire at a time, and each answer (or failure) goes to the rows of
// the model it covers. A request that the device answers with an exception
// is split in halves until the failing addresses are found, so that only
// their rows are marked; the split is kept for later passes of the range.
class BROWSER_EXPORT RegisterBrowser : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        int start = 0;
        int count = 0;
        bool operator==(const Request &o) const { return start == o.start && count == o.count; }
    };

    RegisterBrowser(BrowserModel *model, QObject *parent = nullptr);
    ~RegisterBrowser() override;

    void setConnection(Fieldlink::FieldlinkCore::ModbusConnection *connection,
                       Fieldlink::FieldlinkCore::QModbusSettings *settings);
    BrowserModel *model() const { return m_model; }

    // Checks and takes a new range (the model is reset to it). False with a
    // message when the range is empty, too long or runs past address 65535.
    bool setRange(Pointbook::Tag::RegisterType table, int start, int count,
                  QString *error = nullptr);
    static QString rangeError(Pointbook::Tag::RegisterType table, int start, int count);

    // Most registers or bits one read request of that table may carry: the
    // driver's limit, and for bits never more than 2,000.
    static int requestLimit(Pointbook::Tag::RegisterType table);
    static QVector<Request> split(Pointbook::Tag::RegisterType table, int start, int count);
    QVector<Request> plan() const { return m_plan; }

    // Pause between passes; 0 runs them back to back.
    void setPeriod(int milliseconds);
    int period() const { return m_periodMs; }

    bool isRunning() const { return m_running; }
    bool isBusy() const { return m_inFlight != nullptr || m_passActive; }
    quint64 passCount() const { return m_passes; }

    // Text for a failed request, for the rows it covered.
    static QString failureText(const Fieldlink::FieldlinkCore::IModbusTransaction *transaction);
    static QString exceptionName(int code);

public slots:
    void start();
    void stop();
    // One pass, unless one is under way.
    void readOnce();

signals:
    void runningChanged(bool running);
    void passEnded();

private:
    void startPass();
    void sendNext();
    void scheduleNext();
    void finishRequest(Fieldlink::FieldlinkCore::IModbusTransaction *transaction, bool ok,
                       const QVector<quint16> *words, const QVector<quint8> *bits);
    void onDestroyed(QObject *object);
    void onPeriodTimeout();

    BrowserModel *m_model;
    QPointer<Fieldlink::FieldlinkCore::ModbusConnection> m_connection;
    Fieldlink::FieldlinkCore::QModbusSettings *m_settings = nullptr;
    QVector<Request> m_plan;
    int m_next = 0;
    int m_drops = 0;
    QObject *m_inFlight = nullptr; // compared only, never dereferenced
    bool m_running = false;
    bool m_passActive = false;
    bool m_stepQueued = false;
    int m_periodMs = 1000;
    quint64 m_passes = 0;
    quint64 m_generation = 0;
    QTimer *m_periodTimer;
};

} // namespace Browser
