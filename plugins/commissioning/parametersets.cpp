#include "parametersets.h"

#include <clearance/clearanceplugin.h>
#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>
#include <pointbook/basetag.h>
#include <pointbook/parameterreader.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <pointbook/tag.h>
#include <pointbook/tagbaseloader.h>
#include <pointbook/tagwriter.h>
#include <workspace/tagrights.h>
#include <workspace/tagtablemodel.h>
#include <workspace/workspacecontroller.h>

#include <QModbusDeviceIdentification>

#include <algorithm>

namespace Commissioning {

using Fieldlink::FieldlinkCore::IModbusTransaction;
using Pointbook::ParameterComparison;
using Pointbook::ParameterSet;
using Pointbook::Tag;
using Workspace::WorkspaceController;

namespace {

Pointbook::BaseTag *mapTags()
{
    Pointbook::PointbookPlugin *book = Pointbook::PointbookPlugin::instance();
    return book && book->tagBaseLoader() ? book->tagBaseLoader()->base() : nullptr;
}

} // namespace

ParameterSets::ParameterSets(WorkspaceController *controller, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_reader(new Pointbook::ParameterReader(this))
{
    connect(m_reader, &Pointbook::ParameterReader::progress, this, &ParameterSets::readProgress);
    connect(m_reader, &Pointbook::ParameterReader::finished, this, [this]() {
        if (m_serialTag && m_reader->hasWords(m_serialTag))
            m_serial = ParameterSet::valueText(ParameterSet::jsonValue(m_serialTag, m_reader->words(m_serialTag)));
        readIdentification();
    });
}

ParameterSets::~ParameterSets() = default;

WorkspaceController *ParameterSets::controller() const
{
    return m_controller;
}

QString ParameterSets::unavailableReason() const
{
    if (!m_controller || !m_controller->connection() || !m_controller->connection()->isConnected())
        return tr("No device is connected.");
    if (m_controller->phase() != WorkspaceController::Running || !mapTags())
        return tr("The device's register map is not loaded.");
    return QString();
}

QList<Tag *> ParameterSets::parameters() const
{
    QList<Tag *> tags;
    Pointbook::BaseTag *base = mapTags();
    if (!base || !m_controller)
        return tags;
    const Workspace::TagRights rights = m_controller->model()->rights();
    for (const Tag::RegisterType t : {Tag::HR, Tag::CO}) {
        for (Tag *tag : base->tagHash(t)) {
            if (ParameterSet::isParameter(tag) && rights.access(t, tag->Id()).visible)
                tags << tag;
        }
    }
    std::sort(tags.begin(), tags.end(), [](Tag *a, Tag *b) {
        return Tag::lessThan(a, b) || (!Tag::lessThan(b, a) && a->Id() < b->Id());
    });
    return tags;
}

QString ParameterSets::accessLevel() const
{
    Clearance::ClearancePlugin *levels = Clearance::ClearancePlugin::instance();
    return levels ? levels->currentClearance() : QString();
}

void ParameterSets::readDevice()
{
    m_tags = parameters();
    m_serial.clear();
    m_identification.clear();
    m_serialTag = nullptr;
    m_version = m_controller ? m_controller->version() : QString();
    m_readUtc = QDateTime::currentDateTimeUtc();
    QList<Tag *> toRead = m_tags;
    if (Pointbook::BaseTag *base = mapTags()) {
        for (const Tag::RegisterType t : {Tag::IR, Tag::HR}) {
            for (Tag *tag : base->tagHash(t)) {
                if (!m_serialTag && tag->Id().compare(QLatin1String("SerialNumber"), Qt::CaseInsensitive) == 0)
                    m_serialTag = tag;
            }
        }
    }
    if (m_serialTag && !toRead.contains(m_serialTag))
        toRead << m_serialTag;
    m_reading = true;
    m_reader->setModbusConnection(m_controller ? m_controller->connection() : nullptr);
    if (m_controller && m_controller->modbusSettings())
        m_reader->setModbusSettings(*m_controller->modbusSettings());
    m_reader->read(toRead);
}

void ParameterSets::cancelRead()
{
    m_reader->cancel();
}

bool ParameterSets::isReading() const
{
    return m_reading;
}

bool ParameterSets::wasCancelled() const
{
    return m_reader->wasCancelled();
}

void ParameterSets::readIdentification()
{
    auto done = [this]() {
        m_reading = false;
        emit readFinished();
    };
    auto *connection = m_controller ? m_controller->connection() : nullptr;
    IModbusTransaction *t = connection && connection->isConnected() && !m_reader->wasCancelled()
                                ? connection->readDeviceIdentification(m_controller->modbusSettings(),
                                                                       IModbusTransaction::HighPriority)
                                : nullptr;
    if (!t) {
        done();
        return;
    }
    connect(t, qOverload<bool, QVector<quint8>, int>(&IModbusTransaction::transactionExecutionEnded),
            this, [this, t, done](bool ok, QVector<quint8>, int) {
                if (ok) {
                    const QModbusDeviceIdentification id = t->deviceIdentification();
                    QStringList parts;
                    for (const auto object : {QModbusDeviceIdentification::VendorNameObjectId,
                                              QModbusDeviceIdentification::ProductCodeObjectId,
                                              QModbusDeviceIdentification::MajorMinorRevisionObjectId,
                                              QModbusDeviceIdentification::ProductNameObjectId,
                                              QModbusDeviceIdentification::ModelNameObjectId}) {
                        const QString text = QString::fromLatin1(id.value(object)).trimmed();
                        if (!text.isEmpty() && !parts.contains(text))
                            parts << text;
                    }
                    m_identification = parts.join(QLatin1String(", "));
                }
                done();
            });
    connection->addTransactionExec(t);
}

QStringList ParameterSets::failures() const
{
    QStringList list;
    for (Tag *tag : m_tags) {
        QString why = m_reader->failure(tag);
        if (why.isEmpty() && m_reader->hasWords(tag))
            ParameterSet::jsonValue(tag, m_reader->words(tag), &why);
        else if (why.isEmpty())
            why = tr("not read");
        if (!why.isEmpty())
            list << tr("%1: %2").arg(tag->Id(), why);
    }
    return list;
}

QStringList ParameterSets::failedIds() const
{
    QStringList ids;
    for (const QString &f : failures())
        ids << f.section(QLatin1Char(':'), 0, 0);
    return ids;
}

ParameterSet ParameterSets::parameterSet() const
{
    ParameterSet set;
    set.deviceVersion = m_version;
    set.serial = m_serial;
    set.savedUtc = m_readUtc.toString(Qt::ISODate);
    set.savedByLevel = accessLevel();
    for (Tag *tag : m_tags) {
        QString why = m_reader->failure(tag);
        QJsonValue value;
        if (why.isEmpty() && m_reader->hasWords(tag))
            value = ParameterSet::jsonValue(tag, m_reader->words(tag), &why);
        if (!why.isEmpty() || value.isUndefined()) {
            set.missing << tag->Id();
            continue;
        }
        set.parameters << ParameterSet::entryFor(tag, value);
    }
    return set;
}

QVector<ParameterComparison::Row> ParameterSets::compare(const ParameterSet &file) const
{
    if (!m_controller)
        return {};
    WorkspaceController *controller = m_controller;
    return ParameterComparison::compare(file, m_tags, mapTags(), *m_reader, *controller->writer(),
                                        [controller](const Tag *tag) { return !controller->readOnlyByRights(tag); });
}

CommissioningRecord ParameterSets::recordOfLastRead() const
{
    CommissioningRecord record;
    record.connection = m_controller ? m_controller->profile().displayName() : QString();
    record.deviceVersion = m_version;
    record.serial = m_serial;
    record.identification = m_identification;
    record.accessLevel = accessLevel();
    record.timeUtc = m_readUtc;
    for (Tag *tag : m_tags) {
        CommissioningRecord::Parameter p;
        p.registerType = tag->registerType();
        p.id = tag->Id();
        p.name = tag->name();
        p.unit = tag->unit();
        QString why = m_reader->failure(tag);
        if (why.isEmpty() && m_reader->hasWords(tag))
            p.value = ParameterSet::valueText(ParameterSet::jsonValue(tag, m_reader->words(tag), &why));
        p.problem = why;
        record.parameters << p;
    }
    return record;
}

} // namespace Commissioning
