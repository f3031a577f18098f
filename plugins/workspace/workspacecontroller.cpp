#include "workspacecontroller.h"
#include "connectionhistory.h"
#include "tagrights.h"
#include "tagtablemodel.h"

#include <clearance/clearanceplugin.h>
#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>
#include <pointbook/basetag.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <pointbook/tagbase.h>
#include <pointbook/tagbaseloader.h>

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QModbusDeviceIdentification>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

using Fieldlink::FieldlinkCore::IModbusTransaction;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::QModbusSettings;
using Pointbook::PointbookPlugin;
using Pointbook::TagBase;

namespace Workspace {

Q_LOGGING_CATEGORY(lcPolling, "workspace.polling")

namespace {

quint64 rangeKey(int registerType, int start, int count)
{
    return (quint64(quint8(registerType)) << 40) | (quint64(quint32(start) & 0xfffff) << 20)
           | quint64(quint32(count) & 0xfffff);
}

const char *tableCode(int registerType)
{
    switch (registerType) {
    case 1: return "ir";
    case 2: return "hr";
    case 3: return "di";
    case 4: return "co";
    default: return "?";
    }
}

TagBase *engine()
{
    PointbookPlugin *plugin = PointbookPlugin::instance();
    return plugin ? plugin->tagBase() : nullptr;
}

Pointbook::BaseTag *loadedBase()
{
    PointbookPlugin *plugin = PointbookPlugin::instance();
    return plugin && plugin->tagBaseLoader() ? plugin->tagBaseLoader()->base() : nullptr;
}

// Natural order: runs of digits compare by value, so "1.9" < "1.10".
bool versionLess(const QString &a, const QString &b)
{
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            const int si = i;
            const int sj = j;
            while (i < a.size() && a.at(i).isDigit())
                ++i;
            while (j < b.size() && b.at(j).isDigit())
                ++j;
            // Compare without converting: the runs may exceed any integer.
            QStringRef x = a.midRef(si, i - si);
            QStringRef y = b.midRef(sj, j - sj);
            while (x.size() > 1 && x.at(0) == QLatin1Char('0'))
                x = x.mid(1);
            while (y.size() > 1 && y.at(0) == QLatin1Char('0'))
                y = y.mid(1);
            if (x.size() != y.size())
                return x.size() < y.size();
            const int c = x.compare(y);
            if (c != 0)
                return c < 0;
            continue;
        }
        if (a.at(i) != b.at(j))
            return a.at(i) < b.at(j);
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b;
}

// A request dropped by the driver ends without a signal; a few new tries
// are made before the device counts as not answering.
constexpr int MaxIdentificationAttempts = 3;

} // namespace

WorkspaceController::WorkspaceController(ModbusConnection *connection, QModbusSettings *settings,
                                         ConnectionHistory *history, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_settings(settings)
    , m_history(history)
    , m_model(new TagTableModel(this))
    , m_writer(new Pointbook::TagWriter(this))
    , m_periodTimer(new QTimer(this))
{
    if (!m_settings) {
        m_ownSettings.reset(new QModbusSettings);
        m_settings = m_ownSettings.data();
    }
    m_writer->setModbusConnection(m_connection);
    m_writer->setModbusSettings(*m_settings);
    m_model->setWriter(m_writer);
    m_model->setWriteHandler([this](Pointbook::Tag *tag, const QVariant &value) {
        return writeTag(tag, value);
    });
    connect(m_writer, &Pointbook::TagWriter::finished, this, &WorkspaceController::writeFinished);
    connect(m_periodTimer, &QTimer::timeout, this, &WorkspaceController::onPeriodTick);
    if (m_connection) {
        connect(m_connection, &ModbusConnection::connected, this, &WorkspaceController::onConnected);
        connect(m_connection, &ModbusConnection::stateChanged, this,
                &WorkspaceController::onLinkStateChanged);
    }
    if (PointbookPlugin *tags = PointbookPlugin::instance()) {
        connect(tags, &PointbookPlugin::baseLoaded, this, &WorkspaceController::onBaseLoaded);
        if (TagBase *e = tags->tagBase()) {
            connect(e, &TagBase::updateAllBase, this, &WorkspaceController::onPassEnded);
            connect(e, &TagBase::requestAnswered, this, &WorkspaceController::onRequestAnswered);
            connect(e, &TagBase::requestFailed, this, &WorkspaceController::onRequestFailed);
            m_model->setEngine(e);
        }
        m_model->setBaseTag(loadedBase());
    }
    if (Clearance::ClearancePlugin *levels = Clearance::ClearancePlugin::instance()) {
        connect(levels, &Clearance::ClearancePlugin::changeCurrentClearance, this,
                &WorkspaceController::applyRights);
        connect(levels, &Clearance::ClearancePlugin::baseClearanceLoaded, this,
                &WorkspaceController::applyRights);
    }
}

WorkspaceController::~WorkspaceController()
{
    m_periodTimer->stop();
}

ModbusConnection *WorkspaceController::connection() const
{
    return m_connection;
}

QStringList WorkspaceController::versionsIn(const QString &folder)
{
    QStringList versions;
    const QStringList files =
        QDir(folder).entryList({QStringLiteral("base_v*.xml")}, QDir::Files | QDir::Readable);
    for (const QString &file : files) {
        const QString version = file.mid(6, file.size() - 6 - 4);
        if (isUsableVersion(version))
            versions.append(version);
    }
    std::sort(versions.begin(), versions.end(), versionLess);
    return versions;
}

QStringList WorkspaceController::availableVersions() const
{
    return versionsIn(PointbookPlugin::registerMapFolder());
}

bool WorkspaceController::isUsableVersion(const QString &version)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9._-]{1,32}$"));
    return pattern.match(version).hasMatch() && !version.contains(QLatin1String(".."));
}

void WorkspaceController::setPhase(Phase phase)
{
    if (m_phase == phase)
        return;
    m_phase = phase;
    emit phaseChanged(phase);
}

void WorkspaceController::setProblem(const QString &message)
{
    m_problem = message;
    if (!message.isEmpty())
        emit problemOccurred(message);
}

void WorkspaceController::connectTo(const ConnectionProfile &profile)
{
    if (!m_connection) {
        setProblem(tr("No Modbus connection is available."));
        return;
    }
    const QString invalid = profile.validationError();
    if (!invalid.isEmpty()) {
        setProblem(invalid);
        return;
    }
    ++m_linkGeneration;
    // Requests built for the previous link must not queue up on the new one.
    haltEngine();
    m_profile = profile;
    emit profileChanged(profile);
    if (m_history)
        m_history->remember(profile);
    if (m_connection->state() != QModbusDevice::UnconnectedState)
        m_connection->disconnectDevice();
    // Nothing read from the previous device may pass for this one's.
    m_model->clearValues();
    m_model->setLive(false, tr("connecting to %1").arg(profile.displayName()));
    m_failing.clear();
    setAnswering(true);
    profile.applyTo(m_connection, m_settings);
    m_writer->setModbusSettings(*m_settings);
    m_connection->setAutoReconnect(true);
    m_linkWanted = true;
    m_pollingWanted = true;
    setProblem(QString());
    setPhase(Connecting);
    if (!m_connection->connectDevice())
        setProblem(m_connection->errorString());
    else if (m_connection->isConnected() && m_phase == Connecting)
        onConnected(); // up at once, and nobody has asked for the version yet
}

void WorkspaceController::disconnectFromDevice()
{
    ++m_linkGeneration;
    m_linkWanted = false;
    haltEngine();
    m_model->setLive(false, tr("disconnected"));
    setAnswering(true);
    if (m_connection)
        m_connection->disconnectDevice();
    setPhase(Idle);
    emit pollingChanged(false);
}

void WorkspaceController::onConnected()
{
    if (!m_linkWanted)
        return;
    m_identificationAttempts = 0;
    readVersion();
}

void WorkspaceController::readVersion()
{
    setPhase(ReadingVersion);
    ++m_identificationAttempts;
    IModbusTransaction *request =
        m_connection ? m_connection->readDeviceIdentification(m_settings, IModbusTransaction::HighPriority)
                     : nullptr;
    if (!request) {
        onIdentification(false);
        return;
    }
    const quint64 generation = m_linkGeneration;
    auto answered = QSharedPointer<bool>::create(false);
    connect(request,
            qOverload<bool, QVector<quint8>, int>(&IModbusTransaction::transactionExecutionEnded),
            this, [this, request, generation, answered](bool ok, QVector<quint8>, int) {
                *answered = true;
                request->setStatus(IModbusTransaction::Finished);
                if (generation != m_linkGeneration || !m_linkWanted)
                    return;
                const QString version = ok ? QString::fromUtf8(request->deviceIdentification().value(
                                                 QModbusDeviceIdentification::MajorMinorRevisionObjectId))
                                                 .trimmed()
                                           : QString();
                if (ok && isUsableVersion(version)) {
                    loadVersion(version);
                    return;
                }
                if (ok && !version.isEmpty()) {
                    versionUnknown(tr("The device reported the version \"%1\", which cannot name a "
                                      "register map.")
                                       .arg(version.left(40)));
                    return;
                }
                // Each reason as it is: silence, a refusal, or an answer
                // without a version are different faults to look for.
                switch (ok ? IModbusTransaction::InvalidResponse : request->outcome()) {
                case IModbusTransaction::Dropped:
                    // Cleared before it was sent: asked again (see below).
                    *answered = false;
                    break;
                case IModbusTransaction::Timeout:
                    onIdentification(false);
                    break;
                case IModbusTransaction::ExceptionReply:
                    versionUnknown(tr("The device refused the device identification request (%1).")
                                       .arg(request->failureText()));
                    break;
                case IModbusTransaction::InvalidResponse:
                case IModbusTransaction::LengthMismatch:
                    versionUnknown(tr("The device answered the device identification request without "
                                      "a readable version."));
                    break;
                default:
                    versionUnknown(tr("The device identification request failed (%1).")
                                       .arg(request->failureText()));
                    break;
                }
            });
    connect(request, &QObject::destroyed, this, [this, generation, answered] {
        if (*answered || generation != m_linkGeneration || !m_linkWanted)
            return;
        // Dropped unanswered (the driver's queue was cleared): ask again.
        if (m_identificationAttempts < MaxIdentificationAttempts)
            QTimer::singleShot(0, this, [this, generation] {
                if (generation == m_linkGeneration && m_linkWanted)
                    readVersion();
            });
        else
            onIdentification(false);
    });
    m_connection->addTransactionExec(request);
}

void WorkspaceController::onIdentification(bool ok)
{
    Q_UNUSED(ok)
    versionUnknown(tr("The device did not answer the device identification request."));
}

void WorkspaceController::versionUnknown(const QString &reason)
{
    const QStringList versions = availableVersions();
    const QString remembered = m_history ? m_history->chosenVersion(m_profile.key()) : QString();
    if (!remembered.isEmpty() && versions.contains(remembered)) {
        loadVersion(remembered);
        return;
    }
    if (versions.isEmpty()) {
        haltEngine();
        setProblem(reason + QLatin1Char(' ')
                   + tr("There is no register map file (base_v<version>.xml) in %1.")
                         .arg(QDir::toNativeSeparators(PointbookPlugin::registerMapFolder())));
        setPhase(NoMap);
        return;
    }
    setProblem(reason + QLatin1Char(' ') + tr("Choose the device version."));
    setPhase(ChoosingVersion);
    emit versionChoiceNeeded(versions, remembered.isEmpty() ? versions.constLast() : remembered);
}

void WorkspaceController::chooseVersion(const QString &version)
{
    if (version.isEmpty()) {
        if (m_phase == ChoosingVersion) {
            haltEngine();
            setProblem(tr("No device version chosen: nothing is polled."));
            setPhase(NoMap);
        }
        return;
    }
    useVersion(version);
}

void WorkspaceController::useVersion(const QString &version)
{
    if (!isUsableVersion(version)) {
        setProblem(tr("\"%1\" is not a usable device version.").arg(version.left(40)));
        return;
    }
    if (m_history && m_phase != Idle)
        m_history->setChosenVersion(m_profile.key(), version);
    loadVersion(version);
}

void WorkspaceController::loadVersion(const QString &version)
{
    if (version == m_version && m_mapLoaded) {
        setProblem(QString());
        setPhase(Running);
        if (m_pollingWanted)
            runPolling();
        return;
    }
    haltEngine();
    // Another map: its tags show nothing until they are read.
    m_model->clearValues();
    m_failing.clear();
    m_version = version;
    m_mapLoaded = false;
    emit versionChanged(version);
    setPhase(LoadingMap);

    // Rights first, so that they are in place when the map arrives.
    if (Clearance::ClearancePlugin *levels = Clearance::ClearancePlugin::instance())
        levels->setVersion(version);
    PointbookPlugin *tags = PointbookPlugin::instance();
    if (!tags) {
        setProblem(tr("The tag base is not available: no register map can be loaded."));
        setPhase(NoMap);
        return;
    }
    tags->setModbusConnection(m_connection);
    tags->setModbusSettings(m_settings);
    m_waitingForMap = true;
    tags->setVersion(version); // loads at once; baseLoaded arrives from inside
    if (!m_waitingForMap)
        return;
    m_waitingForMap = false;
    m_model->setBaseTag(loadedBase());
    const QString why = tags->tagBaseLoader() ? tags->tagBaseLoader()->errorString() : QString();
    const QString problem =
        tr("There is no usable register map for device version %1 (base_v%1.xml in %2). "
           "Nothing is polled.")
            .arg(version, QDir::toNativeSeparators(PointbookPlugin::registerMapFolder()))
        + (why.isEmpty() ? QString() : QLatin1Char(' ') + why);
    // The tag base has already told the user why a map that exists failed;
    // the page shows it, without a second notification of the same fault.
    if (QFileInfo::exists(PointbookPlugin::registerMapFolder() + QStringLiteral("base_v") + version
                          + QStringLiteral(".xml")))
        m_problem = problem;
    else
        setProblem(problem);
    setPhase(NoMap);
}

void WorkspaceController::onBaseLoaded(const QString &version)
{
    m_waitingForMap = false;
    if (version != m_version) {
        // Someone else chose the map: follow it.
        m_version = version;
        emit versionChanged(version);
    }
    m_mapLoaded = true;
    m_passes = 0;
    m_intervalsDirty = true;
    m_model->setBaseTag(loadedBase());
    m_model->rebuild();
    setProblem(QString());
    applyRights();
    if (m_linkWanted) {
        setPhase(Running);
        if (m_pollingWanted)
            runPolling();
    }
}

bool WorkspaceController::readOnlyByRights(const Pointbook::Tag *tag) const
{
    return !tag || !m_model->rights().access(tag->registerType(), tag->Id()).writable;
}

int WorkspaceController::writeTag(Pointbook::Tag *tag, const QVariant &value)
{
    // The link and the map must be ready: a write never waits for a link.
    return m_writer->write(tag, value, readOnlyByRights(tag));
}

void WorkspaceController::applyRights()
{
    Clearance::BaseClearance *rights = nullptr;
    if (Clearance::ClearancePlugin *levels = Clearance::ClearancePlugin::instance()) {
        // Rights loaded for another version say nothing about this map.
        if (levels->version() == m_version)
            rights = levels->currentBaseClearance();
    }
    const TagRights tagRights = TagRights::fromClearance(rights);
    m_model->setRights(tagRights);
    const int polled = m_mapLoaded ? tagRights.applyPolling(loadedBase()) : 0;
    m_intervalsDirty = true;
    TagBase *e = engine();
    if (e && m_mapLoaded && e->typeUpdate() == TagBase::CyclicUpdate) {
        startPass(TagBase::CyclicUpdate);
    } else if (e && m_mapLoaded && e->typeUpdate() == TagBase::SingleUpdate) {
        // Polling by period: the next pass reads what the new level allows.
        e->updateTagInterval();
        m_intervalsDirty = false;
    }
    emit rightsApplied(polled);
}

void WorkspaceController::startPass(int typeUpdate)
{
    TagBase *e = engine();
    if (!e)
        return;
    const bool rebuild = m_intervalsDirty;
    m_intervalsDirty = false;
    if (m_connection && m_connection->isConnected())
        m_model->setLive(true);
    m_answersAtPassStart = answersSoFar();
    m_timeoutsAtPassStart = timeoutsSoFar();
    m_passClock.start();
    e->setUpdateBase(TagBase::TypeUpdate(typeUpdate), rebuild);
}

void WorkspaceController::runPolling()
{
    TagBase *e = engine();
    if (!e || !m_mapLoaded || !m_linkWanted)
        return;
    // Back on a link (a cyclic engine may have gone on through the outage).
    if (m_connection && m_connection->isConnected())
        m_model->setLive(true);
    if (m_periodMs == 0) {
        m_periodTimer->stop();
        if (e->typeUpdate() != TagBase::CyclicUpdate || m_intervalsDirty)
            startPass(TagBase::CyclicUpdate);
    } else {
        if (!m_periodTimer->isActive() || m_periodTimer->interval() != m_periodMs) {
            startPass(TagBase::SingleUpdate);
            m_periodTimer->start(m_periodMs);
        }
    }
    emit pollingChanged(true);
}

void WorkspaceController::onPeriodTick()
{
    TagBase *e = engine();
    if (!e || !m_mapLoaded)
        return;
    // A pass still under way (slow device) lets this tick go by.
    if (e->state() == TagBase::Idle)
        startPass(TagBase::SingleUpdate);
}

void WorkspaceController::haltEngine()
{
    m_periodTimer->stop();
    TagBase *e = engine();
    if (e && e->typeUpdate() != TagBase::NoUpdate)
        e->setUpdateBase(TagBase::NoUpdate, false);
}

void WorkspaceController::startPolling()
{
    m_pollingWanted = true;
    runPolling();
    emit pollingChanged(true);
}

void WorkspaceController::stopPolling()
{
    m_pollingWanted = false;
    haltEngine();
    m_model->setLive(false, tr("polling stopped"));
    emit pollingChanged(false);
}

void WorkspaceController::singleRead()
{
    TagBase *e = engine();
    if (!e || !m_mapLoaded || !m_linkWanted)
        return;
    if (e->typeUpdate() == TagBase::CyclicUpdate || e->state() != TagBase::Idle)
        return; // a pass is running already
    startPass(TagBase::SingleUpdate);
}

void WorkspaceController::setPollingPeriod(int milliseconds)
{
    const int period = qBound(0, milliseconds, int(MaxPollingPeriodMs));
    if (period == m_periodMs)
        return;
    m_periodMs = period;
    updateMaxAge();
    if (m_pollingWanted && m_mapLoaded && m_linkWanted) {
        haltEngine();
        runPolling();
    }
}

void WorkspaceController::onPassEnded()
{
    ++m_passes;
    m_model->passEnded();
    if (m_passClock.isValid())
        m_lastPassMs = m_passClock.restart();
    updateMaxAge();
    // A pass whose every request timed out: the link is up but the device
    // does not answer.
    const quint64 answers = answersSoFar();
    const quint64 timeouts = timeoutsSoFar();
    if (answers == m_answersAtPassStart && timeouts > m_timeoutsAtPassStart && m_connection
        && m_connection->isConnected())
        setAnswering(false);
    m_answersAtPassStart = answers;
    m_timeoutsAtPassStart = timeouts;
}

void WorkspaceController::updateMaxAge()
{
    // Twice the polling period; back to back, twice the last pass; never
    // so short that a busy window would flag values that are on time.
    const qint64 period = std::max<qint64>({qint64(m_periodMs), m_lastPassMs, 500});
    m_model->setMaxAge(int(std::min<qint64>(2 * period, 2 * qint64(MaxPollingPeriodMs))));
}

quint64 WorkspaceController::answersSoFar() const
{
    if (!m_connection)
        return 0;
    const Fieldlink::FieldlinkCore::ModbusStatistics s = m_connection->statistics();
    return s.successes() + s.exceptions() + s.lengthMismatches();
}

quint64 WorkspaceController::timeoutsSoFar() const
{
    return m_connection ? m_connection->statistics().timeouts() : 0;
}

void WorkspaceController::setAnswering(bool answering)
{
    if (m_answering == answering)
        return;
    m_answering = answering;
    if (m_connection) {
        // Watched per request only while the device is silent.
        if (answering)
            disconnect(m_connection, &ModbusConnection::statisticsChanged, this,
                       &WorkspaceController::onStatisticsChanged);
        else
            connect(m_connection, &ModbusConnection::statisticsChanged, this,
                    &WorkspaceController::onStatisticsChanged, Qt::UniqueConnection);
    }
    if (!answering)
        qCWarning(lcPolling).noquote() << tr("%1 accepts the connection but answers no request.")
                                              .arg(m_profile.displayName());
    emit answeringChanged(answering);
}

void WorkspaceController::onStatisticsChanged()
{
    if (answersSoFar() != m_answersAtPassStart)
        setAnswering(true);
}

void WorkspaceController::onLinkStateChanged()
{
    if (!m_connection || m_connection->isConnected())
        return;
    setAnswering(true);
    if (m_linkWanted && m_connection->state() == QModbusDevice::UnconnectedState)
        m_model->setLive(false, tr("link down"));
}

void WorkspaceController::onRequestAnswered(int registerType, int start, int count)
{
    m_model->requestAnswered(registerType, start, count);
    if (!m_failing.isEmpty() && m_failing.remove(rangeKey(registerType, start, count)))
        qCInfo(lcPolling, "%s %d-%d answers again", tableCode(registerType), start, start + count - 1);
}

void WorkspaceController::onRequestFailed(int registerType, int start, int count, const QString &reason)
{
    m_model->requestFailed(registerType, start, count, reason);
    // Once per kind and range: a device that keeps refusing a range would
    // otherwise fill the log once per pass.
    QString &logged = m_failing[rangeKey(registerType, start, count)];
    if (logged == reason)
        return;
    logged = reason;
    qCWarning(lcPolling, "%s %d-%d: %s", tableCode(registerType), start, start + count - 1,
              qUtf8Printable(reason));
}

} // namespace Workspace
