#pragma once

#include "workspace_global.h"
#include "connectionprofile.h"

#include <pointbook/tagwriter.h>

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QScopedPointer>
#include <QString>
#include <QStringList>
#include <QVector>

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

namespace Fieldlink {
namespace FieldlinkCore {
class ModbusConnection;
class QModbusSettings;
} // namespace FieldlinkCore
} // namespace Fieldlink

namespace Workspace {

class ConnectionHistory;
class TagTableModel;

// What the program does with a device, from the link to live values:
// connect; read the device's version by Modbus device identification (or
// take the version the user chose for this connection); give the version to
// the access level and tag base plug-ins; when the register map is loaded,
// apply the current level's rights and poll. A lost link is left to the
// connection's own reconnection; once it is back the version is read again
// and polling goes on (or the new version's map is loaded).
class WORKSPACE_EXPORT WorkspaceController : public QObject
{
    Q_OBJECT

public:
    enum Phase {
        Idle = 0,          // no connection wanted
        Connecting,        // waiting for the link
        ReadingVersion,    // device identification under way
        ChoosingVersion,   // the device gave no usable version: the user picks one
        LoadingMap,
        Running,           // map loaded; polled or not as the user chose
        NoMap              // no register map for the version: nothing is polled
    };
    Q_ENUM(Phase)

    enum { MaxPollingPeriodMs = 3600000 };
    // One pass a second: live enough to watch, cheap enough to leave running.
    enum { DefaultPollingPeriodMs = 1000 };

    WorkspaceController(Fieldlink::FieldlinkCore::ModbusConnection *connection,
                        Fieldlink::FieldlinkCore::QModbusSettings *settings,
                        ConnectionHistory *history, QObject *parent = nullptr);
    ~WorkspaceController() override;

    TagTableModel *model() const { return m_model; }
    ConnectionHistory *history() const { return m_history; }
    Fieldlink::FieldlinkCore::ModbusConnection *connection() const;
    // Unit, timeout and retries of the current connection, for requests of
    // other plug-ins.
    Fieldlink::FieldlinkCore::QModbusSettings *modbusSettings() const { return m_settings; }

    Phase phase() const { return m_phase; }
    ConnectionProfile profile() const { return m_profile; }
    QString version() const { return m_version; }
    // Why the last version or map step failed, for the user.
    QString problem() const { return m_problem; }

    bool isPolling() const { return m_pollingWanted; }
    int pollingPeriod() const { return m_periodMs; }
    // Passes completed since the map was loaded.
    quint64 passCount() const { return m_passes; }
    // False once every request of a whole pass ended in a timeout while
    // the link is up; true again with the first answer.
    bool isAnswering() const { return m_answering; }

    // Versions that have a register map ("base_v<version>.xml") in the
    // folder, sorted.
    static QStringList versionsIn(const QString &folder);
    QStringList availableVersions() const;
    // A version becomes part of a file name: letters, digits, ".", "-", "_"
    // only, at most 32 characters.
    static bool isUsableVersion(const QString &version);

public slots:
    void connectTo(const Workspace::ConnectionProfile &profile);
    void disconnectFromDevice();
    // The user's answer to versionChoiceNeeded(); empty gives up.
    void chooseVersion(const QString &version);
    // Loads the map of a version chosen by hand and keeps it for this
    // connection.
    void useVersion(const QString &version);

    void startPolling();
    void stopPolling();
    void singleRead();
    // 0: passes back to back; otherwise one pass per period.
    void setPollingPeriod(int milliseconds);

    // Writes values of the table (and of later editors) with checks and
    // read-back; its outcomes also go to notifications and the change log.
    Pointbook::TagWriter *writer() const { return m_writer; }
    // The current access level's rights forbid changing the tag.
    bool readOnlyByRights(const Pointbook::Tag *tag) const;
    // Asks the writer to write the tag; the outcome follows by writeFinished().
    int writeTag(Pointbook::Tag *tag, const QVariant &value);

    // Applies the current access level's rights to the table and to the
    // engine's polled tags.
    void applyRights();

signals:
    void phaseChanged(Workspace::WorkspaceController::Phase phase);
    void profileChanged(const Workspace::ConnectionProfile &profile);
    void versionChanged(const QString &version);
    void versionChoiceNeeded(const QStringList &versions, const QString &suggested);
    void problemOccurred(const QString &message);
    void pollingChanged(bool polling);
    void rightsApplied(int polledTags);
    // Every write the table asked for, once it has ended (refused, failed
    // or read back equal).
    void writeFinished(const Pointbook::TagWriter::Outcome &outcome);
    void answeringChanged(bool answering);

private:
    void setPhase(Phase phase);
    void setProblem(const QString &message);
    void onConnected();
    void readVersion();
    void onIdentification(bool ok);
    void versionUnknown(const QString &reason);
    void loadVersion(const QString &version);
    void onBaseLoaded(const QString &version);
    void onPassEnded();
    void onPeriodTick();
    void runPolling();
    void haltEngine();
    void startPass(int typeUpdate);
    void onLinkStateChanged();
    void onRequestAnswered(int registerType, int start, int count);
    void onRequestFailed(int registerType, int start, int count, const QString &reason);
    void onStatisticsChanged();
    void setAnswering(bool answering);
    void updateMaxAge();
    // Answers (good ones, exceptions, malformed) and timeouts counted by the
    // connection so far.
    quint64 answersSoFar() const;
    quint64 timeoutsSoFar() const;

    QPointer<Fieldlink::FieldlinkCore::ModbusConnection> m_connection;
    Fieldlink::FieldlinkCore::QModbusSettings *m_settings = nullptr;
    QScopedPointer<Fieldlink::FieldlinkCore::QModbusSettings> m_ownSettings;
    ConnectionHistory *m_history = nullptr;
    TagTableModel *m_model = nullptr;
    Pointbook::TagWriter *m_writer = nullptr;
    QTimer *m_periodTimer = nullptr;
    ConnectionProfile m_profile;
    Phase m_phase = Idle;
    QString m_version;
    QString m_problem;
    bool m_mapLoaded = false;
    bool m_waitingForMap = false;
    bool m_pollingWanted = true;
    bool m_linkWanted = false;
    // The engine's intervals no longer match the tags' polling flags.
    bool m_intervalsDirty = true;
    int m_identificationAttempts = 0;
    int m_periodMs = DefaultPollingPeriodMs;
    quint64 m_passes = 0;
    bool m_answering = true;
    quint64 m_answersAtPassStart = 0;
    quint64 m_timeoutsAtPassStart = 0;
    QElapsedTimer m_passClock;
    qint64 m_lastPassMs = 0;
    // Failing request ranges and the reason logged for each, so that a
    // failure is logged once, not once per pass.
    QHash<quint64, QString> m_failing;
    // Identification answers of an earlier link are ignored.
    quint64 m_linkGeneration = 0;
};

} // namespace Workspace
