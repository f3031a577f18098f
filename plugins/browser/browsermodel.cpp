#include "browsermodel.h"

#include <QBrush>
#include <QFont>
#include <QPalette>
#include <QGuiApplication>

namespace Browser {

using Pointbook::Tag;

BrowserModel::BrowserModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void BrowserModel::setRange(Tag::RegisterType table, int start, int count)
{
    beginResetModel();
    m_table = table;
    m_start = qBound(0, start, AddressSpace - 1);
    const int rows = qBound(0, count, qMin(int(MaxRows), AddressSpace - m_start));
    m_rows = QVector<Row>(rows);
    updateCover();
    endResetModel();
}

bool BrowserModel::isBitTable() const
{
    return m_table == Tag::DI || m_table == Tag::CO;
}

void BrowserModel::setWords(int address, const QVector<quint16> &words)
{
    const int first = qMax(0, address - m_start);
    const int last = qMin(m_rows.size(), address - m_start + words.size()) - 1;
    if (first > last)
        return;
    for (int row = first; row <= last; ++row) {
        Row &r = m_rows[row];
        r.word = words.at(row - (address - m_start));
        r.hasWord = true;
        r.state = Fresh;
        r.reason.clear();
    }
    changedRows(first, last);
}

void BrowserModel::setBits(int address, const QVector<quint8> &bits)
{
    QVector<quint16> words;
    words.reserve(bits.size());
    for (const quint8 bit : bits)
        words.append(bit ? 1 : 0);
    setWords(address, words);
}

void BrowserModel::setFailed(int address, int count, const QString &reason)
{
    const int first = qMax(0, address - m_start);
    const int last = qMin(m_rows.size(), address - m_start + count) - 1;
    if (first > last)
        return;
    for (int row = first; row <= last; ++row) {
        m_rows[row].state = Failed;
        m_rows[row].reason = reason;
    }
    changedRows(first, last);
}

void BrowserModel::changedRows(int first, int last)
{
    // A wide value that starts up to three rows earlier shows these words too.
    emit dataChanged(index(qMax(0, first - 3), RawColumn), index(last, StatusColumn));
}

BrowserModel::RowState BrowserModel::state(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).state : Unread;
}

QString BrowserModel::reason(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).reason : QString();
}

quint16 BrowserModel::word(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).word : 0;
}

bool BrowserModel::hasWord(int row) const
{
    return row >= 0 && row < m_rows.size() && m_rows.at(row).hasWord;
}

QVector<quint16> BrowserModel::words(int row, int count) const
{
    QVector<quint16> result;
    if (row < 0 || count < 1 || row + count > m_rows.size())
        return result;
    result.reserve(count);
    for (int r = row; r < row + count; ++r) {
        if (!m_rows.at(r).hasWord)
            return QVector<quint16>();
        result.append(m_rows.at(r).word);
    }
    return result;
}

int BrowserModel::failedRows() const
{
    int failed = 0;
    for (const Row &r : m_rows)
        failed += r.state == Failed ? 1 : 0;
    return failed;
}

RowFormat BrowserModel::rowFormat(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).format : RowFormat();
}

void BrowserModel::setRowFormat(int row, const RowFormat &format)
{
    setFormat({row}, format);
}

void BrowserModel::setFormat(const QList<int> &rows, const RowFormat &format)
{
    if (isBitTable() || m_rows.isEmpty())
        return;
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    int first = -1;
    int last = -1;
    int coveredUntil = -1; // last row taken by the previous wide value
    for (const int row : qAsConst(sorted)) {
        if (row < 0 || row >= m_rows.size() || row <= coveredUntil)
            continue;
        m_rows[row].format = format;
        // The rows a wide value spans show its parts, not values of their own.
        const int end = qMin(m_rows.size() - 1, row + format.registers() - 1);
        for (int r = row + 1; r <= end; ++r)
            m_rows[r].format = RowFormat();
        coveredUntil = end;
        if (first < 0)
            first = row;
        last = qMax(last, end);
    }
    if (first < 0)
        return;
    updateCover();
    emit dataChanged(index(qMax(0, first - 3), RawColumn), index(m_rows.size() - 1, StatusColumn));
}

void BrowserModel::updateCover()
{
    m_cover = QVector<int>(m_rows.size(), -1);
    for (int row = 0; row < m_rows.size(); ++row) {
        const int span = m_rows.at(row).format.registers();
        for (int r = row + 1; r < row + span && r < m_rows.size(); ++r) {
            if (!m_rows.at(r).format.isWide())
                m_cover[r] = row;
        }
    }
}

int BrowserModel::coveringRow(int row) const
{
    return row >= 0 && row < m_cover.size() ? m_cover.at(row) : -1;
}

bool BrowserModel::valueStale(int row) const
{
    const int span = m_rows.at(row).format.registers();
    for (int r = row; r < row + span && r < m_rows.size(); ++r) {
        if (m_rows.at(r).state != Fresh)
            return true;
    }
    return false;
}

QString BrowserModel::valueText(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return QString();
    const Row &r = m_rows.at(row);
    if (isBitTable())
        return r.hasWord ? (r.word ? tr("1 (on)") : tr("0 (off)")) : QString();
    const int cover = coveringRow(row);
    if (cover >= 0)
        return tr("part of %1").arg(m_start + cover);
    const int span = r.format.registers();
    if (row + span > m_rows.size())
        return tr("needs %n more register(s) past the range", nullptr, row + span - m_rows.size());
    return r.format.text(words(row, span));
}

QString BrowserModel::reference(Tag::RegisterType table, int address)
{
    char prefix = '4';
    switch (table) {
    case Tag::CO:
        prefix = '0';
        break;
    case Tag::DI:
        prefix = '1';
        break;
    case Tag::IR:
        prefix = '3';
        break;
    default:
        break;
    }
    const int number = address + 1;
    return QLatin1Char(prefix) + QString::number(number).rightJustified(number <= 9999 ? 4 : 5,
                                                                        QLatin1Char('0'));
}

QString BrowserModel::tableName(Tag::RegisterType table)
{
    switch (table) {
    case Tag::IR:
        return tr("Input registers (IR)");
    case Tag::HR:
        return tr("Holding registers (HR)");
    case Tag::DI:
        return tr("Discrete inputs (DI)");
    case Tag::CO:
        return tr("Coils (CO)");
    default:
        return QString();
    }
}

int BrowserModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int BrowserModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(ColumnCount);
}

QVariant BrowserModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const int row = index.row();
    const Row &r = m_rows.at(row);
    const int address = m_start + row;

    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case AddressColumn:
            return address;
        case ReferenceColumn:
            return reference(m_table, address);
        case RawColumn:
            if (!r.hasWord)
                return QString();
            return isBitTable() ? QString::number(r.word)
                                : QStringLiteral("0x")
                                      + QString::number(r.word, 16).toUpper().rightJustified(
                                          4, QLatin1Char('0'));
        case FormatColumn:
            if (isBitTable())
                return tr("bit");
            if (coveringRow(row) >= 0)
                return QString();
            return r.format.isWide()
                       ? RowFormat::formatName(r.format.format()) + QLatin1Char(' ')
                             + RowFormat::byteOrderName(r.format.byteOrder())
                       : RowFormat::formatName(r.format.format());
        case ValueColumn:
            return valueText(row);
        case StatusColumn:
            switch (r.state) {
            case Unread:
                return tr("not read yet");
            case Fresh:
                return tr("OK");
            case Failed:
                return r.reason;
            }
            break;
        default:
            break;
        }
        return QVariant();
    }
    if (role == Qt::ToolTipRole && index.column() == StatusColumn && r.state == Failed)
        return r.reason;
    if (role == Qt::TextAlignmentRole) {
        if (index.column() == AddressColumn || index.column() == ReferenceColumn
            || index.column() == RawColumn || index.column() == ValueColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    }
    if (role == Qt::ForegroundRole) {
        if (index.column() == StatusColumn && r.state == Failed)
            return QBrush(QColor(0xb0, 0x20, 0x20));
        if (index.column() == ValueColumn
            && (coveringRow(row) >= 0 || (r.hasWord && valueStale(row))))
            return QBrush(QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text));
        return QVariant();
    }
    if (role == Qt::FontRole && index.column() == ValueColumn && coveringRow(row) < 0
        && r.hasWord && valueStale(row)) {
        QFont font;
        font.setItalic(true);
        return font;
    }
    return QVariant();
}

QVariant BrowserModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case AddressColumn:
        return tr("Address");
    case ReferenceColumn:
        return tr("Reference");
    case RawColumn:
        return tr("Raw");
    case FormatColumn:
        return tr("Format");
    case ValueColumn:
        return tr("Value");
    case StatusColumn:
        return tr("Status");
    default:
        return QVariant();
    }
}

} // namespace Browser
