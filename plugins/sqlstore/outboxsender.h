#pragma once

#include "sqlstore_global.h"

#include "databasesettings.h"

#include <QObject>
#include <QString>

QT_BEGIN_NAMESPACE
class QThread;
QT_END_NAMESPACE

namespace Sqlstore {
namespace Internal {

class OutboxSenderWorker;

// Sends the rows waiting in the local outbox to the team's server, oldest
// first, in batches, on a thread of its own so that neither the window nor
// the local database worker waits for the network. A batch leaves the outbox
// only after the server has committed it; when the answer is lost the batch
// goes again and the server's unique row key drops what it has already.
// While the server cannot be reached the sender tries again after a pause
// that doubles up to the longest retry.
class SQLSTORE_EXPORT OutboxSender : public QObject
{
    Q_OBJECT

public:
    static constexpr int BatchSize = 500;
    static constexpr int ShortestRetry = 1000;
    static constexpr int LongestRetry = 60000;
    static constexpr int IdleInterval = 1000;

    OutboxSender(const QString &localFile, const DataBaseSettings &server, QObject *parent = nullptr);
    // Stops the thread without waiting for a pass in progress; what is
    // waiting stays in the outbox.
    ~OutboxSender() override;
    // Waits until the threads of deleted senders have ended; before the
    // program (or the library) goes.
    static void waitForEnding();

    // Before start().
    void setRetryRange(int shortestMs, int longestMs);
    void setIdleInterval(int ms);
    void start();

    bool isOnline() const { return m_online; }
    qint64 waiting() const { return m_waiting; }
    QString lastError() const { return m_error; }
    // Whether the link of the last connection to the server is encrypted.
    bool isEncrypted() const { return m_encrypted; }

signals:
    // After every change of any of the three.
    void statusChanged(bool online, qint64 waiting, const QString &error);
    void batchSent(int rows);

private:
    friend class OutboxSenderWorker;
    void report(bool online, qint64 waiting, const QString &error);

    QThread *m_thread = nullptr;
    OutboxSenderWorker *m_worker = nullptr;
    bool m_online = false;
    qint64 m_waiting = -1;
    QString m_error;
    bool m_encrypted = false;
};

} // namespace Internal
} // namespace Sqlstore
