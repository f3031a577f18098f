#include "trafficlogmodel.h"

#include <fieldlink/imodbustransaction.h>

#include <QColor>
#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

namespace Diagnostics {

using Fieldlink::FieldlinkCore::IModbusTransaction;
using Fieldlink::FieldlinkCore::TrafficRecorder;

TrafficLogModel::TrafficLogModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

QString TrafficLogModel::filterName(Filter filter)
{
    switch (filter) {
    case AllResults: return tr("All results");
    case Answered: return tr("Answered");
    case Timeouts: return tr("Timeouts");
    case Exceptions: return tr("Exceptions");
    case Malformed: return tr("Malformed replies");
    case LinkFailures: return tr("Link failures");
    case FilterCount: break;
    }
    return QString();
}

bool TrafficLogModel::matches(Filter filter, int outcome)
{
    switch (filter) {
    case AllResults: return true;
    case Answered: return outcome == IModbusTransaction::Ok;
    case Timeouts: return outcome == IModbusTransaction::Timeout;
    case Exceptions: return outcome == IModbusTransaction::ExceptionReply;
    case Malformed:
        return outcome == IModbusTransaction::LengthMismatch
               || outcome == IModbusTransaction::InvalidResponse;
    case LinkFailures:
        return outcome == IModbusTransaction::ConnectionLost || outcome == IModbusTransaction::LinkDown
               || outcome == IModbusTransaction::OtherError;
    case FilterCount: break;
    }
    return false;
}

QString TrafficLogModel::functionText(int code)
{
    QString name;
    switch (code & 0x7f) {
    case 0x01: name = tr("read coils"); break;
    case 0x02: name = tr("read discrete inputs"); break;
    case 0x03: name = tr("read holding registers"); break;
    case 0x04: name = tr("read input registers"); break;
    case 0x05: name = tr("write single coil"); break;
    case 0x06: name = tr("write single register"); break;
    case 0x0F: name = tr("write multiple coils"); break;
    case 0x10: name = tr("write multiple registers"); break;
    case 0x2B: name = tr("device identification"); break;
    default: name = tr("function"); break;
    }
    return QStringLiteral("%1 %2").arg(code & 0x7f, 2, 16, QLatin1Char('0')).toUpper().arg(name);
}

QString TrafficLogModel::resultText(const TrafficRecorder::Entry &entry)
{
    switch (entry.outcome) {
    case IModbusTransaction::Ok: return tr("ok");
    case IModbusTransaction::Timeout: return tr("timeout");
    case IModbusTransaction::ExceptionReply:
        return tr("exception %1 (%2)").arg(entry.exceptionCode).arg(IModbusTransaction::exceptionName(entry.exceptionCode));
    case IModbusTransaction::ConnectionLost: return tr("connection lost");
    case IModbusTransaction::LinkDown: return tr("link down");
    case IModbusTransaction::LengthMismatch: return tr("reply length mismatch");
    case IModbusTransaction::InvalidResponse: return tr("invalid answer");
    default: return tr("failed");
    }
}

void TrafficLogModel::setFilter(Filter filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    m_dirty = true;
}

void TrafficLogModel::refresh(const TrafficRecorder *recorder)
{
    const quint64 serial = recorder ? recorder->serial() : 0;
    if (!m_dirty && serial == m_serial)
        return;
    m_dirty = false;
    m_serial = serial;
    beginResetModel();
    m_rows.clear();
    if (recorder) {
        m_rows.reserve(recorder->size());
        for (int i = 0; i < recorder->size(); ++i) {
            const TrafficRecorder::Entry &e = recorder->entry(i);
            if (matches(m_filter, e.outcome))
                m_rows.append(e);
        }
    }
    endResetModel();
}

int TrafficLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int TrafficLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TrafficLogModel::cellText(const TrafficRecorder::Entry &e, int column) const
{
    switch (column) {
    case TimeColumn:
        return QDateTime::fromMSecsSinceEpoch(e.time).toString(QStringLiteral("hh:mm:ss.zzz"));
    case FunctionColumn: return functionText(e.function);
    case AddressColumn: return QString::number(e.address);
    case CountColumn: return QString::number(e.count);
    case ResultColumn: return resultText(e);
    case RoundTripColumn: return e.roundTrip >= 0 ? QString::number(e.roundTrip / 1000.0, 'f', 2) : QString();
    case RequestColumn: return e.requestHex();
    case ReplyColumn: return e.replyHex();
    default: return QString();
    }
}

QVariant TrafficLogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const TrafficRecorder::Entry &e = m_rows.at(index.row());
    if (role == Qt::DisplayRole)
        return cellText(e, index.column());
    if (role == Qt::ForegroundRole && index.column() == ResultColumn && e.outcome != IModbusTransaction::Ok)
        return QColor(160, 0, 0);
    if (role == Qt::TextAlignmentRole
        && (index.column() == AddressColumn || index.column() == CountColumn || index.column() == RoundTripColumn))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant();
}

QVariant TrafficLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case TimeColumn: return tr("Time");
    case FunctionColumn: return tr("Function");
    case AddressColumn: return tr("Address");
    case CountColumn: return tr("Count");
    case ResultColumn: return tr("Result");
    case RoundTripColumn: return tr("Round trip (ms)");
    case RequestColumn: return tr("Request PDU");
    case ReplyColumn: return tr("Reply PDU");
    default: return QVariant();
    }
}

bool TrafficLogModel::save(const QString &fileName, QString *error) const
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error)
            *error = tr("%1 cannot be written: %2").arg(fileName, file.errorString());
        return false;
    }
    QTextStream out(&file);
    out.setCodec("UTF-8");
    QStringList header;
    for (int c = 0; c < ColumnCount; ++c)
        header << headerData(c, Qt::Horizontal).toString();
    out << header.join(QLatin1Char('\t')) << '\n';
    for (const TrafficRecorder::Entry &e : m_rows) {
        QStringList cells;
        for (int c = 0; c < ColumnCount; ++c)
            cells << cellText(e, c);
        out << cells.join(QLatin1Char('\t')) << '\n';
    }
    out.flush();
    if (!file.commit()) {
        if (error)
            *error = tr("%1 cannot be written: %2").arg(fileName, file.errorString());
        return false;
    }
    return true;
}

} // namespace Diagnostics
