#include "browserwriter.h"
#include "browsermodel.h"
#include "writeauthorisation.h"

#include <clearance/clearanceplugin.h>
#include <workspace/workspacecontroller.h>

namespace Browser {

using Pointbook::Tag;
using Pointbook::TagWriter;
using Workspace::WorkspaceController;

BrowserWriter::BrowserWriter(WorkspaceController *controller, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
{
    if (m_controller)
        connect(m_controller, &WorkspaceController::writeFinished, this, &BrowserWriter::onFinished);
}

QString BrowserWriter::refusal() const
{
    if (!m_controller || !m_controller->writer())
        return tr("Writing is not available.");
    Clearance::ClearancePlugin *levels = Clearance::ClearancePlugin::instance();
    if (!levels)
        return tr("Writing from the register browser needs the access levels.");
    // Rights of another version say nothing about this device.
    const Clearance::BaseClearance *rights =
        levels->version() == m_controller->version() ? levels->currentBaseClearance() : nullptr;
    return WriteAuthorisation::refusal(
        levels->currentClearance(), rights,
        WriteAuthorisation::levelOrder(Clearance::ClearancePlugin::clearanceFolder()
                                       + QStringLiteral("clearance.xml")));
}

QVariant BrowserWriter::parse(const RowFormat &format, const QString &text, QString *error)
{
    const QString t = text.trimmed();
    bool ok = false;
    uint word = 0;
    switch (format.format()) {
    case RowFormat::Hex: {
        QString digits = t;
        if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            digits = digits.mid(2);
        word = digits.toUInt(&ok, 16);
        break;
    }
    case RowFormat::Binary:
        word = QString(t).remove(QLatin1Char(' ')).toUInt(&ok, 2);
        break;
    case RowFormat::Ascii: {
        QString pair = t;
        if (pair.size() >= 2 && pair.startsWith(QLatin1Char('"')) && pair.endsWith(QLatin1Char('"')))
            pair = pair.mid(1, pair.size() - 2);
        ok = pair.size() == 2 && pair.at(0).unicode() < 0x80 && pair.at(1).unicode() < 0x80;
        if (ok)
            word = (uint(pair.at(0).unicode()) << 8) | pair.at(1).unicode();
        break;
    }
    default:
        // Numbers go to the tag model as text; it refuses what the type
        // cannot hold.
        if (t.isEmpty()) {
            if (error)
                *error = tr("Enter a value.");
            return QVariant();
        }
        return t;
    }
    if (!ok || word > 0xffff) {
        if (error)
            *error = tr("\"%1\" is no %2 value of one register.").arg(t.left(40), RowFormat::formatName(format.format()));
        return QVariant();
    }
    return QString::number(word);
}

Tag *BrowserWriter::rowTag(Tag::RegisterType table, int address, const RowFormat &format)
{
    const bool bits = table == Tag::DI || table == Tag::CO;
    const int registers = bits ? 1 : format.registers();
    auto *tag = new Tag(table, bits ? Tag::UInt16 : format.dataType(),
                        format.isWide() && !bits ? format.byteOrder() : Tag::Order10,
                        RowFormat::hostOrder(bits ? 1 : registers), quint16(address),
                        tr("Register browser: %1").arg(BrowserModel::reference(table, address)),
                        QString(), QString(), this);
    tag->setId(QStringLiteral("%1 %2").arg(Tag::registerTypeToString(table).toUpper()).arg(address));
    tag->setCount(1);
    tag->setAccess(QStringLiteral("RW"));
    return tag;
}

void BrowserWriter::refuse(Tag::RegisterType table, int address, const RowFormat &format,
                           const QVariant &value, const QString &reason)
{
    if (!m_controller || !m_controller->writer())
        return;
    // The writer takes what it reports from the tag at once.
    Tag *tag = rowTag(table, address, format);
    m_controller->writer()->refuse(tag, value, reason);
    delete tag;
}

int BrowserWriter::write(Tag::RegisterType table, int address, const RowFormat &format,
                         const QVariant &value, QString *error)
{
    QString problem = refusal();
    if (problem.isEmpty()) {
        Tag *tag = rowTag(table, address, format);
        problem = m_controller->writer()->check(tag, value, false);
        if (problem.isEmpty()) {
            const int id = m_controller->writer()->write(tag, value, false);
            m_pending.insert(id, tag);
            return id;
        }
        delete tag;
    }
    refuse(table, address, format, value, problem);
    if (error)
        *error = problem;
    return 0;
}

void BrowserWriter::onFinished(const TagWriter::Outcome &outcome)
{
    Tag *tag = m_pending.take(outcome.requestId);
    if (!tag)
        return; // a write of the tag table
    const QString where = BrowserModel::reference(outcome.registerType, outcome.address);
    const bool ok = outcome.result == TagWriter::Ok;
    emit finished(ok ? tr("%1 written: %2, read back %3.").arg(where, outcome.newValue, outcome.readBack)
                  : outcome.result == TagWriter::Unknown
                      ? tr("%1: outcome unknown: %2").arg(where, outcome.detail)
                      : tr("%1 not written (%2): %3")
                            .arg(where, TagWriter::resultText(outcome.result), outcome.detail),
                  ok);
    tag->deleteLater();
}

} // namespace Browser
