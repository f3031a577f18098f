#include "parameterreader.h"

#include "tag.h"

#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>

#include <QTimer>

namespace Pointbook {

using Fieldlink::FieldlinkCore::IModbusTransaction;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::QModbusSettings;

ParameterReader::ParameterReader(QObject *parent)
    : QObject(parent)
    , m_settings(new QModbusSettings)
{
}

ParameterReader::~ParameterReader()
{
    delete m_settings;
}

void ParameterReader::setModbusConnection(ModbusConnection *connection)
{
    m_connection = connection;
}

void ParameterReader::setModbusSettings(const QModbusSettings &settings)
{
    *m_settings = settings;
}

void ParameterReader::read(const QList<Tag *> &tags)
{
    ++m_generation;
    m_tags = tags;
    m_guards.clear();
    for (Tag *tag : tags)
        m_guards << QPointer<Tag>(tag);
    m_words.clear();
    m_failures.clear();
    m_index = 0;
    m_running = true;
    m_cancelled = false;
    const int generation = m_generation;
    QTimer::singleShot(0, this, [this, generation]() {
        if (generation == m_generation)
            next();
    });
}

void ParameterReader::cancel()
{
    if (!m_running)
        return;
    m_cancelled = true;
}

void ParameterReader::fail(const QString &reason)
{
    m_failures.insert(m_tags.at(m_index), reason);
    ++m_index;
    emit progress(m_index, m_tags.size());
    QTimer::singleShot(0, this, &ParameterReader::next);
}

void ParameterReader::next()
{
    if (!m_running)
        return;
    if (m_cancelled) {
        for (; m_index < m_tags.size(); ++m_index)
            m_failures.insert(m_tags.at(m_index), tr("the reading was cancelled"));
    }
    if (m_index >= m_tags.size()) {
        m_running = false;
        emit finished();
        return;
    }
    Tag *tag = m_guards.at(m_index);
    if (!tag) {
        fail(tr("the tag is no longer in the register map"));
        return;
    }
    if (!m_connection || !m_connection->isConnected()) {
        fail(tr("the device is not connected"));
        return;
    }
    const int count = tag->pollRegisters();
    IModbusTransaction *t = nullptr;
    switch (tag->registerType()) {
    case Tag::IR: t = m_connection->readInputs(tag->startAddress(), count, m_settings, IModbusTransaction::HighPriority); break;
    case Tag::HR: t = m_connection->readHoldings(tag->startAddress(), count, m_settings, IModbusTransaction::HighPriority); break;
    case Tag::DI: t = m_connection->readDiscretes(tag->startAddress(), count, m_settings, IModbusTransaction::HighPriority); break;
    case Tag::CO: t = m_connection->readCoils(tag->startAddress(), count, m_settings, IModbusTransaction::HighPriority); break;
    default: break;
    }
    if (!t) {
        fail(tr("the tag's registers lie outside the Modbus address range"));
        return;
    }
    const int generation = m_generation;
    const auto ended = [this, t, generation, count](bool ok, QVector<quint16> words) {
        if (generation != m_generation || !m_running)
            return;
        if (!ok) {
            fail(t->failureText());
            return;
        }
        if (words.isEmpty()) {
            fail(tr("the device answered without values"));
            return;
        }
        if (words.size() > count) // coils come in whole bytes
            words.resize(count);
        m_words.insert(m_tags.at(m_index), words);
        ++m_index;
        emit progress(m_index, m_tags.size());
        QTimer::singleShot(0, this, &ParameterReader::next);
    };
    if (t->isBitAccess())
        connect(t, qOverload<bool, QVector<quint8>, int>(&IModbusTransaction::transactionExecutionEnded),
                this, [ended](bool ok, const QVector<quint8> &bits, int) {
                    QVector<quint16> words;
                    for (const quint8 b : bits)
                        words.append(b ? 1 : 0);
                    ended(ok, words);
                });
    else
        connect(t, qOverload<bool, QVector<quint16>, int>(&IModbusTransaction::transactionExecutionEnded),
                this, [ended](bool ok, const QVector<quint16> &words, int) { ended(ok, words); });
    m_connection->addTransactionExec(t);
}

} // namespace Pointbook
