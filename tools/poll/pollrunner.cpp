#include "pollrunner.h"

#include "observedconnection.h"
#include "pollformatter.h"

#include <fieldlink/imodbustransaction.h>
#include <pointbook/basetag.h>
#include <pointbook/tag.h>
#include <pointbook/tagbase.h>
#include <pointbook/tagbaseloader.h>
#include <pointbook/tagwriter.h>
#include <pointbook/parameterapplier.h>
#include <pointbook/parametercomparison.h>
#include <pointbook/parameterreader.h>
#include <pointbook/parameterset.h>

#include <QCoreApplication>
#include <QJsonValue>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QModbusDeviceIdentification>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <csignal>

using Fieldlink::FieldlinkCore::IModbusTransaction;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Pointbook::Tag;

namespace Poll {

namespace {

volatile std::sig_atomic_t s_stopRequested = 0;

// How often waiting loops look at the stop request.
const int WakeIntervalMs = 50;
// Time allowed beyond the driver's own request deadline before a pass
// counts as stalled.
const int StallMarginMs = 5000;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// Output order: table, address and mask (Tag::lessThan), then id so that
// tags equal in all three still print in a fixed order.
bool outputOrder(Tag *a, Tag *b)
{
    if (Tag::lessThan(a, b))
        return true;
    if (Tag::lessThan(b, a))
        return false;
    return a->Id() < b->Id();
}

} // namespace

PollRunner::PollRunner(const PollOptions &options, QTextStream *out, QTextStream *err,
                       QObject *parent)
    : QObject(parent), m_options(options), m_out(out), m_err(err),
      m_settings(options.unit, options.timeoutMs, options.retries)
{
}

PollRunner::~PollRunner()
{
    // The engine refers to the connection and the loader's tags.
    delete m_engine;
    delete m_connection;
    delete m_loader;
    delete m_paramFile;
}

void PollRunner::requestStop()
{
    s_stopRequested = 1;
}

int PollRunner::runWrites()
{
    using Pointbook::TagWriter;
    m_connection->setAlwaysWriteMultiple(m_options.writeMultiple);
    TagWriter writer;
    writer.setModbusConnection(m_connection);
    writer.setModbusSettings(m_settings);

    // Every write is checked before the first is sent: a call either sends
    // all its writes or none.
    struct Planned {
        QString id;
        QString value;
        Tag *tag = nullptr;
    };
    QList<Planned> planned;
    bool refused = false;
    for (const auto &w : qAsConst(m_options.writes)) {
        Planned p{w.first, w.second, nullptr};
        QString id = w.first;
        QList<Tag::RegisterType> tables{Tag::HR, Tag::CO, Tag::IR, Tag::DI};
        const int colon = id.indexOf(QLatin1Char(':'));
        if (colon > 0 && Tag::stringToRegisterType(id.left(colon)) != Tag::UnknownRegister) {
            tables = {Tag::stringToRegisterType(id.left(colon))};
            id = id.mid(colon + 1);
        }
        QString reason;
        QList<Tag *> found;
        for (const Tag::RegisterType t : tables) {
            if (Tag *tag = m_loader->base()->tagHash(t).value(id, nullptr))
                found << tag;
        }
        if (found.isEmpty())
            reason = tr("no tag with this id in the register map");
        else if (found.size() > 1 && (found.at(0)->registerType() == Tag::HR || found.at(0)->registerType() == Tag::CO)
                 && (found.at(1)->registerType() == Tag::HR || found.at(1)->registerType() == Tag::CO))
            reason = tr("the id names a holding register and a coil; write hr:%1 or co:%1").arg(id);
        else {
            p.tag = found.first();
            reason = writer.check(p.tag, p.value, false);
        }
        if (!reason.isEmpty()) {
            *m_out << w.first << ": refused: " << reason << '\n';
            refused = true;
        }
        planned << p;
    }
    if (refused) {
        *m_out << tr("Nothing was written.") << '\n';
        m_out->flush();
        return Unusable;
    }

    // One write at a time: after a write whose outcome is unknown the
    // device's state is not known, so the rest wait for the user's word.
    QHash<int, TagWriter::Outcome> outcomes;
    QList<int> ids;
    bool stopped = false;
    connect(&writer, &TagWriter::finished, this, [&](const TagWriter::Outcome &o) {
        outcomes.insert(o.requestId, o);
        if (o.result == TagWriter::Unknown && !m_options.continueOnFailure)
            stopped = true;
        if (!stopped && ids.size() < planned.size())
            ids << writer.write(planned.at(ids.size()).tag, planned.at(ids.size()).value, false);
        wake();
    });
    ids << writer.write(planned.first().tag, planned.first().value, false);
    const int perWrite = 3 * m_settings.responseTimeout() * (m_settings.numberOfRetries() + 1);
    const WaitResult waited = waitUntil(
        [&]() { return outcomes.size() == ids.size() && (stopped || ids.size() == planned.size()); },
        perWrite * planned.size() + StallMarginMs);

    bool allOk = waited == Done && !stopped;
    for (int i = 0; i < planned.size(); ++i) {
        const QString &name = planned.at(i).id;
        if (i >= ids.size()) {
            *m_out << name << ": " << (stopped ? tr("skipped (stopped after an unknown outcome)")
                                               : tr("no outcome: the run was interrupted")) << '\n';
            allOk = false;
            continue;
        }
        if (!outcomes.contains(ids.at(i))) {
            *m_out << name << ": " << tr("no outcome: the run was interrupted") << '\n';
            allOk = false;
            continue;
        }
        const TagWriter::Outcome o = outcomes.value(ids.at(i));
        const Tag *tag = planned.at(i).tag;
        const QString unit = tag && !tag->unit().isEmpty() ? QLatin1Char(' ') + tag->unit() : QString();
        switch (o.result) {
        case TagWriter::Ok:
            *m_out << name << ": " << tr("written %1%2, read back %3").arg(o.newValue, unit, o.readBack) << '\n';
            break;
        case TagWriter::Mismatch:
            *m_out << name << ": " << tr("written %1%2, read back %3: %4").arg(o.newValue, unit, o.readBack, o.detail) << '\n';
            allOk = false;
            break;
        case TagWriter::Unknown:
            *m_out << name << ": " << TagWriter::resultText(o.result) << ": " << o.detail << '\n';
            allOk = false;
            break;
        default:
            *m_out << name << ": " << tr("not written (%1): %2").arg(TagWriter::resultName(o.result), o.detail) << '\n';
            allOk = false;
            break;
        }
    }
    m_out->flush();
    return allOk ? Success : RequestFailed;
}

QList<Tag *> PollRunner::parameterTags() const
{
    QList<Tag *> tags;
    for (const Tag::RegisterType t : {Tag::HR, Tag::CO}) {
        for (Tag *tag : m_loader->base()->tagHash(t)) {
            if (Pointbook::ParameterSet::isParameter(tag))
                tags << tag;
        }
    }
    std::sort(tags.begin(), tags.end(), &outputOrder);
    return tags;
}

bool PollRunner::readFresh(Pointbook::ParameterReader *reader, const QList<Tag *> &tags)
{
    reader->setModbusConnection(m_connection);
    reader->setModbusSettings(m_settings);
    bool done = false;
    connect(reader, &Pointbook::ParameterReader::finished, this, [&done, this]() {
        done = true;
        wake();
    });
    reader->read(tags);
    const int perTag = m_settings.responseTimeout() * (m_settings.numberOfRetries() + 1);
    const WaitResult waited = waitUntil([&done]() { return done; },
                                        perTag * std::max(1, int(tags.size())) + StallMarginMs);
    if (waited != Done) {
        reader->cancel();
        if (waited == TimedOut)
            error(tr("The device did not answer the reading in time."));
        return false;
    }
    return true;
}

int PollRunner::runSaveParams()
{
    using Pointbook::ParameterSet;
    QList<Tag *> tags = parameterTags();
    // The serial number, where the map names one, goes into the file too.
    Tag *serialTag = nullptr;
    for (const Tag::RegisterType t : {Tag::IR, Tag::HR}) {
        for (Tag *tag : m_loader->base()->tagHash(t)) {
            if (!serialTag && tag->Id().compare(QLatin1String("SerialNumber"), Qt::CaseInsensitive) == 0)
                serialTag = tag;
        }
    }
    QList<Tag *> toRead = tags;
    if (serialTag && !toRead.contains(serialTag))
        toRead << serialTag;

    Pointbook::ParameterReader reader;
    if (!readFresh(&reader, toRead))
        return s_stopRequested ? Success : RequestFailed;

    ParameterSet set;
    set.deviceVersion = m_loader->versionBase();
    set.savedUtc = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    bool failed = false;
    for (Tag *tag : qAsConst(tags)) {
        QString why = reader.failure(tag);
        QJsonValue value;
        if (why.isEmpty())
            value = ParameterSet::jsonValue(tag, reader.words(tag), &why);
        if (!why.isEmpty()) {
            error(tr("%1: cannot be read: %2").arg(tag->Id(), why));
            failed = true;
            continue;
        }
        set.parameters << ParameterSet::entryFor(tag, value);
    }
    if (serialTag && reader.hasWords(serialTag))
        set.serial = ParameterSet::valueText(ParameterSet::jsonValue(serialTag, reader.words(serialTag)));
    if (failed) {
        error(tr("Nothing was saved: a parameter file never has gaps."));
        return RequestFailed;
    }
    QString problem;
    if (!set.save(m_options.saveParams, &problem)) {
        error(problem);
        return Unusable;
    }
    *m_out << tr("Saved %n parameter(s) to %1", nullptr, set.parameters.size())
                  .arg(QDir::toNativeSeparators(m_options.saveParams)) << '\n';
    m_out->flush();
    m_connection->disconnectDevice();
    return Success;
}

int PollRunner::runCompareParams()
{
    using Pointbook::ParameterComparison;
    using Pointbook::ParameterSet;
    const QList<Tag *> tags = parameterTags();
    Pointbook::ParameterReader reader;
    if (!readFresh(&reader, tags))
        return s_stopRequested ? Success : Unusable;
    bool unread = false;
    for (Tag *tag : tags) {
        if (!reader.failure(tag).isEmpty()) {
            error(tr("%1: cannot be read: %2").arg(tag->Id(), reader.failure(tag)));
            unread = true;
        }
    }
    if (unread)
        return Unusable;

    Pointbook::TagWriter writer;
    writer.setModbusConnection(m_connection);
    writer.setModbusSettings(m_settings);
    const QString version = m_loader->versionBase();
    if (m_paramFile->deviceVersion != version)
        *m_out << tr("The file was saved from device version %1, the device has version %2: "
                     "compared by tag id.").arg(m_paramFile->deviceVersion, version) << '\n';
    const QVector<ParameterComparison::Row> rows =
        ParameterComparison::compare(*m_paramFile, tags, m_loader->base(), reader, writer, nullptr);
    int differences = 0;
    for (const ParameterComparison::Row &r : rows) {
        if (r.state == ParameterComparison::Equal)
            continue;
        ++differences;
        const QString unit = r.unit.isEmpty() ? QString() : QLatin1Char(' ') + r.unit;
        const QString device = r.tag ? tr("device %1%2").arg(ParameterSet::valueText(r.device), unit)
                                     : tr("not in map");
        const QString file = r.entry >= 0 ? tr("file %1%2").arg(ParameterSet::valueText(r.file), unit)
                                          : tr("not in file");
        QString line = r.id + QStringLiteral(": ") + device + QStringLiteral(", ") + file;
        if (r.state == ParameterComparison::OutOfLimits || r.state == ParameterComparison::NotWritable)
            line += QStringLiteral(": ") + ParameterComparison::stateText(r.state) + QStringLiteral(" (")
                    + r.reason + QLatin1Char(')');
        *m_out << line << '\n';
    }
    if (differences == 0)
        *m_out << tr("All %n parameter(s) equal.", nullptr, rows.size()) << '\n';
    m_out->flush();
    m_connection->disconnectDevice();
    return differences == 0 ? Success : RequestFailed;
}

int PollRunner::runApplyParams()
{
    using Pointbook::ParameterApplier;
    using Pointbook::ParameterComparison;
    using Pointbook::ParameterSet;
    Pointbook::TagWriter writer;
    writer.setModbusConnection(m_connection);
    writer.setModbusSettings(m_settings);

    // Every entry is checked before the first write: a file is written
    // whole or not at all.
    QVector<ParameterComparison::Row> planned;
    bool refused = false;
    for (int i = 0; i < m_paramFile->parameters.size(); ++i) {
        const ParameterSet::Entry &e = m_paramFile->parameters.at(i);
        Tag *tag = m_loader->base()->tagHash(e.registerType).value(e.id, nullptr);
        QString reason;
        if (!tag)
            reason = tr("no %1 tag with this id in the register map")
                         .arg(Tag::registerTypeToString(e.registerType).toUpper());
        else if (!ParameterSet::isParameter(tag))
            reason = tr("the register map does not make this tag a parameter");
        else
            reason = writer.check(tag, ParameterSet::writeValue(e.value), false);
        if (!reason.isEmpty()) {
            *m_out << e.id << ": refused: " << reason << '\n';
            refused = true;
            continue;
        }
        ParameterComparison::Row row;
        row.tag = tag;
        row.id = e.id;
        row.entry = i;
        planned << row;
    }
    if (refused) {
        *m_out << tr("Nothing was written.") << '\n';
        m_out->flush();
        return Unusable;
    }
    planned = ParameterComparison::applyOrder(planned, *m_paramFile);

    QVector<ParameterApplier::Step> steps;
    for (const ParameterComparison::Row &r : qAsConst(planned))
        steps.append({r.tag, r.id, ParameterSet::writeValue(m_paramFile->parameters.at(r.entry).value), false});
    ParameterApplier applier(&writer);
    applier.setContinueOnFailure(m_options.continueOnFailure);
    bool done = false;
    connect(&applier, &ParameterApplier::finished, this, [&done, this]() {
        done = true;
        wake();
    });
    applier.start(steps);
    const int perWrite = 3 * m_settings.responseTimeout() * (m_settings.numberOfRetries() + 1);
    const WaitResult waited = waitUntil([&done]() { return done; },
                                        perWrite * std::max(1, int(steps.size())) + StallMarginMs);
    if (waited != Done)
        applier.cancel();
    const QVector<ParameterApplier::Result> results = applier.results();
    for (int i = 0; i < steps.size(); ++i) {
        const ParameterApplier::Result &r = results.at(i);
        const Tag *tag = steps.at(i).tag;
        const QString unit = tag && !tag->unit().isEmpty() ? QLatin1Char(' ') + tag->unit() : QString();
        switch (r.state) {
        case ParameterApplier::Written:
            *m_out << steps.at(i).id << ": " << tr("written %1%2, read back %3")
                       .arg(r.outcome.newValue, unit, r.outcome.readBack) << '\n';
            break;
        case ParameterApplier::Failed:
            if (r.outcome.result == Pointbook::TagWriter::Unknown)
                *m_out << steps.at(i).id << ": " << r.detail << '\n';
            else
                *m_out << steps.at(i).id << ": " << tr("not written (%1): %2")
                           .arg(Pointbook::TagWriter::resultName(r.outcome.result), r.detail) << '\n';
            break;
        case ParameterApplier::Skipped:
            *m_out << steps.at(i).id << ": " << tr("skipped (%1)").arg(r.detail) << '\n';
            break;
        case ParameterApplier::Pending:
            *m_out << steps.at(i).id << ": " << tr("no outcome: the run was interrupted") << '\n';
            break;
        }
    }
    m_out->flush();
    m_connection->disconnectDevice();
    return waited == Done && applier.allWritten() ? Success : RequestFailed;
}

void PollRunner::error(const QString &message)
{
    *m_err << "korvane-poll: " << message << '\n';
    m_err->flush();
}

QString PollRunner::exceptionName(int code)
{
    return IModbusTransaction::exceptionName(code);
}

QString PollRunner::failureReason(const IModbusTransaction &t)
{
    // The window's tag table gives the same words for a failed request.
    return t.failureText();
}

QString PollRunner::tableOf(const IModbusTransaction &t)
{
    switch (t.function()) {
    case IModbusTransaction::ReadInputRegisters: return QStringLiteral("ir");
    case IModbusTransaction::ReadHoldingRegisters: return QStringLiteral("hr");
    case IModbusTransaction::ReadDiscreteInputs: return QStringLiteral("di");
    case IModbusTransaction::ReadCoils: return QStringLiteral("co");
    default: return QString();
    }
}

QString PollRunner::linkText() const
{
    if (m_options.link == PollOptions::Rtu)
        return m_options.serialDevice;
    const QString host = m_options.host.contains(':') ? '[' + m_options.host + ']' : m_options.host;
    return host + ':' + QString::number(m_options.port);
}

void PollRunner::wake()
{
    if (m_loop)
        m_loop->quit();
}

PollRunner::WaitResult PollRunner::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (s_stopRequested)
            return Interrupted;
        if (timeoutMs >= 0 && clock.elapsed() >= timeoutMs)
            return TimedOut;
        QEventLoop loop;
        QTimer::singleShot(WakeIntervalMs, &loop, &QEventLoop::quit);
        QEventLoop *outer = m_loop;
        m_loop = &loop;
        loop.exec();
        m_loop = outer;
    }
    return Done;
}

int PollRunner::run()
{
    if (s_stopRequested)
        return Success;

    // A parameter file is checked before anything is opened: a refused
    // file sends nothing.
    const QString paramFile = !m_options.compareParams.isEmpty() ? m_options.compareParams
                                                                  : m_options.applyParams;
    if (!paramFile.isEmpty()) {
        m_paramFile = new Pointbook::ParameterSet;
        QString problem;
        if (!Pointbook::ParameterSet::load(paramFile, m_paramFile, &problem)) {
            error(tr("%1: %2").arg(QDir::toNativeSeparators(paramFile), problem));
            if (!m_options.applyParams.isEmpty())
                error(tr("Nothing was written."));
            return Unusable;
        }
    }

    // With a file and a version the map is checked before anything is
    // opened: a broken map is reported without a device.
    const bool mapFirst = !m_options.mapFile.isEmpty() && !m_options.version.isEmpty();
    if (mapFirst && !loadMap(m_options.mapFile, m_options.version))
        return Unusable;

    m_connection = new ObservedConnection;
    connect(m_connection, &ObservedConnection::transactionEnded, this,
            &PollRunner::onTransactionEnded);
    if (!connectDevice())
        return Unusable;

    if (!mapFirst) {
        QString version = m_options.version;
        if (version.isEmpty() && !readDeviceVersion(&version))
            return s_stopRequested ? Success : Unusable;
        QString file = m_options.mapFile;
        if (file.isEmpty()) {
            // The version becomes part of a file name: it must not lead
            // out of the folder or name something odd.
            static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9._+-]+$"));
            if (!safe.match(version).hasMatch() || version.contains(QLatin1String(".."))) {
                error(tr("The version \"%1\" cannot name a register map file.").arg(version));
                return Unusable;
            }
            file = QDir(m_options.mapDir).filePath(QStringLiteral("base_v") + version + QStringLiteral(".xml"));
        }
        if (!loadMap(file, version))
            return Unusable;
    }

    if (!m_options.writes.isEmpty())
        return runWrites();
    if (!m_options.saveParams.isEmpty())
        return runSaveParams();
    if (!m_options.compareParams.isEmpty())
        return runCompareParams();
    if (!m_options.applyParams.isEmpty())
        return runApplyParams();

    if (!selectTags())
        return Unusable;

    m_engine = new Pointbook::TagBase;
    m_engine->setModbusConnection(m_connection);
    m_engine->setModbusSettings(&m_settings);
    m_engine->setTagBase(m_loader->base());
    connect(m_engine, &Pointbook::TagBase::updateAllBase, this, [this]() {
        if (m_inPass) {
            m_passDone = true;
            wake();
        }
    });

    const PollFormatter formatter(m_options.format, m_options.intervalMs > 0);
    const int passes = m_options.intervalMs > 0 ? m_options.count : 1;
    for (int pass = 0; passes == 0 || pass < passes; ++pass) {
        QElapsedTimer clock;
        clock.start();
        const QDateTime started = QDateTime::currentDateTimeUtc();
        const WaitResult result = runPass();
        if (result == Interrupted)
            break;
        if (result == TimedOut) {
            error(tr("No request of the pass ended within %1 ms; the pass was abandoned.")
                      .arg(m_settings.responseTimeout() * (m_settings.numberOfRetries() + 1)
                           + StallMarginMs));
            m_anyFailure = true;
            break;
        }

        QVector<PollRecord> records;
        for (Tag *tag : qAsConst(m_selected)) {
            const bool failed = covered(tag);
            const bool fresh = m_fresh.contains(tag);
            records << PollFormatter::record(*tag, fresh && !failed);
            // Read without error and still given no words: say so once
            // rather than let an empty value pass unnoticed.
            if (!fresh && !failed && tag->pollRegisters() > 0 && !m_unfilled.contains(tag)) {
                m_unfilled.insert(tag);
                error(tr("warning: tag \"%1\" (%2 %3) was read but received no words.")
                          .arg(tag->Id(), Tag::registerTypeToString(tag->registerType()))
                          .arg(tag->startAddress()));
            }
        }
        if (!m_headerPrinted) {
            *m_out << formatter.header();
            m_headerPrinted = true;
        }
        if (m_options.format == PollOptions::Table && pass > 0)
            *m_out << '\n';
        *m_out << formatter.pass(records, started);
        m_out->flush();

        if (passes != 0 && pass + 1 >= passes)
            break;
        const qint64 rest = m_options.intervalMs - clock.elapsed();
        if (rest > 0 && waitUntil([]() { return false; }, int(rest)) == Interrupted)
            break;
    }

    m_engine->setUpdateBase(Pointbook::TagBase::NoUpdate, false);
    m_connection->disconnectDevice();
    return m_anyFailure ? RequestFailed : Success;
}

bool PollRunner::loadMap(const QString &fileName, const QString &version)
{
    if (!m_loader)
        m_loader = new Pointbook::TagBaseLoader;
    m_loader->setFileName(fileName);
    m_loader->setVersionBase(version);
    if (m_loader->readBase())
        return true;
    error(tr("Cannot load the register map \"%1\" (version %2): %3")
              .arg(QDir::toNativeSeparators(fileName), version, m_loader->errorString()));
    return false;
}

bool PollRunner::connectDevice()
{
    ModbusConnection *c = m_connection;
    if (m_options.link == PollOptions::Tcp) {
        c->setConnectionType(ModbusConnection::Tcp);
        c->setHost(m_options.host);
        c->setPort(m_options.port);
    } else {
        c->setConnectionType(ModbusConnection::Rtu);
        c->setSerialPortName(m_options.serialDevice);
        c->setBaudRate(m_options.baudRate);
        c->setParity(m_options.parity);
        c->setDataBits(m_options.dataBits);
        c->setStopBits(m_options.stopBits);
    }
    // The first attempt decides: a device that cannot be reached is a
    // usage problem, not a failed read.
    c->setAutoReconnect(false);

    QString reason;
    const QMetaObject::Connection watch =
        connect(c, &ModbusConnection::errorOccurred, this, [&reason, this](const QString &message) {
            if (reason.isEmpty())
                reason = message;
            wake();
        });
    const QMetaObject::Connection stateWatch =
        connect(c, &ModbusConnection::stateChanged, this, [this]() { wake(); });

    bool started = c->connectDevice();
    const int limit = std::max(3000, m_settings.responseTimeout());
    WaitResult result = Done;
    if (started) {
        result = waitUntil([c, &reason]() {
            return c->isConnected() || !reason.isEmpty()
                   || c->state() == QModbusDevice::UnconnectedState;
        }, limit);
    }
    disconnect(watch);
    disconnect(stateWatch);
    if (result == Interrupted)
        return false;
    if (!started || !c->isConnected()) {
        if (reason.isEmpty())
            reason = result == TimedOut ? tr("no connection within %1 ms").arg(limit)
                                        : c->errorString();
        error(tr("Cannot connect to %1: %2").arg(linkText(), reason.isEmpty() ? tr("refused") : reason));
        return false;
    }
    // From now on a lost link comes back by itself; requests that meet it
    // down fail and are reported like any other failure.
    c->setReconnectDelays(200, 2000);
    c->setAutoReconnect(true);
    return true;
}

bool PollRunner::readDeviceVersion(QString *version)
{
    IModbusTransaction *t = m_connection->readDeviceIdentification(
        &m_settings, IModbusTransaction::HighPriority);
    if (!t) {
        error(tr("The device identification could not be requested; give the version with --version."));
        return false;
    }
    bool ended = false;
    bool ok = false;
    QString reason;
    QString revision;
    connect(t, qOverload<bool, QVector<quint8>, int>(&IModbusTransaction::transactionExecutionEnded),
            this, [&, t](bool isOk, QVector<quint8>, int) {
                ended = true;
                ok = isOk;
                if (isOk)
                    revision = QString::fromLatin1(t->deviceIdentification().value(
                        QModbusDeviceIdentification::MajorMinorRevisionObjectId));
                else
                    reason = failureReason(*t);
                wake();
            });
    m_connection->addTransactionExec(t);
    const WaitResult result = waitUntil([&ended]() { return ended; }, -1);
    if (result != Done)
        return false;
    revision = revision.trimmed();
    if (!ok || revision.isEmpty()) {
        error(tr("The device did not report its version (%1); give it with --version.")
                  .arg(ok ? tr("no major-minor revision in its identification") : reason));
        return false;
    }
    *version = revision;
    return true;
}

bool PollRunner::selectTags()
{
    QList<Tag *> tags;
    for (int type = Tag::IR; type <= Tag::CO; ++type)
        tags += m_loader->base()->tagHash(Tag::RegisterType(type)).values();

    QSet<Tag *> chosen;
    if (!m_options.tags.isEmpty()) {
        // Named tags are read whatever their update flag says: the user
        // asked for them by name.
        for (const QString &id : qAsConst(m_options.tags)) {
            bool found = false;
            for (Tag *tag : qAsConst(tags)) {
                if (tag->Id() == id) {
                    chosen.insert(tag);
                    found = true;
                }
            }
            if (!found) {
                error(tr("The register map has no tag \"%1\".").arg(id));
                return false;
            }
        }
    } else {
        for (Tag *tag : qAsConst(tags)) {
            if (m_options.all || tag->isUpdate())
                chosen.insert(tag);
        }
    }

    // The engine polls what the update flags say; they are ours to set,
    // the map on disk is not touched.
    for (Tag *tag : qAsConst(tags))
        tag->setUpdate(chosen.contains(tag));

    m_selected = chosen.values();
    std::sort(m_selected.begin(), m_selected.end(), &outputOrder);
    for (Tag *tag : qAsConst(m_selected)) {
        connect(tag, &Tag::changedValue, this, [this, tag]() {
            if (m_inPass)
                m_fresh.insert(tag);
        });
        if (tag->pollRegisters() == 0)
            error(tr("warning: tag \"%1\" (%2 %3) has no register to read and is never read.")
                      .arg(tag->Id(), Tag::registerTypeToString(tag->registerType()))
                      .arg(tag->startAddress()));
    }
    return true;
}

PollRunner::WaitResult PollRunner::runPass()
{
    m_fresh.clear();
    m_failures.clear();
    m_passDone = false;
    m_inPass = true;
    m_lastActivity = nowMs();
    m_engine->setUpdateBase(Pointbook::TagBase::SingleUpdate, true);

    const qint64 stallMs = qint64(m_settings.responseTimeout()) * (m_settings.numberOfRetries() + 1)
                           + StallMarginMs;
    bool stalled = false;
    const WaitResult result = waitUntil([this, stallMs, &stalled]() {
        if (m_passDone)
            return true;
        stalled = nowMs() - m_lastActivity > stallMs;
        return stalled;
    }, -1);
    m_inPass = false;
    if (result != Done)
        return result;
    if (stalled && !m_passDone) {
        m_engine->setUpdateBase(Pointbook::TagBase::NoUpdate, false);
        return TimedOut;
    }
    return Done;
}

void PollRunner::onTransactionEnded(IModbusTransaction *t)
{
    m_lastActivity = nowMs();
    const QString table = tableOf(*t);
    if (!m_inPass || table.isEmpty())
        return;
    if (!t->isOk()) {
        m_failures.append({table, t->startAddress(), t->count()});
        m_anyFailure = true;
        error(tr("%1 start %2 count %3: %4")
                  .arg(table).arg(t->startAddress()).arg(t->count()).arg(failureReason(*t)));
    }
}

bool PollRunner::covered(const Tag *tag) const
{
    const QString table = Tag::registerTypeToString(tag->registerType());
    const int first = tag->startAddress();
    const int end = first + std::max<int>(1, tag->pollRegisters());
    for (const Failure &f : m_failures) {
        if (f.table == table && first < f.start + f.count && f.start < end)
            return true;
    }
    return false;
}

} // namespace Poll
