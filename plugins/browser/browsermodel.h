#pragma once

#include "browser_global.h"
#include "rowformat.h"

#include <pointbook/tag.h>

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

namespace Browser {

// The rows of the register browser: one per address of the chosen range,
// with the last word (or bit) read, whether the last read of its request
// failed and why, and the display format chosen for it.
class BROWSER_EXPORT BrowserModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        AddressColumn = 0,
        ReferenceColumn,
        RawColumn,
        FormatColumn,
        ValueColumn,
        StatusColumn,
        ColumnCount
    };

    enum RowState {
        Unread = 0, // nothing read yet
        Fresh,      // read by the last request that covered it
        Failed      // the last request that covered it failed
    };

    enum { MaxRows = 10000, AddressSpace = 65536 };

    explicit BrowserModel(QObject *parent = nullptr);

    // A new range: every row unread, formats back to unsigned 16-bit. The
    // range is cut to the address space and to MaxRows.
    void setRange(Pointbook::Tag::RegisterType table, int start, int count);
    Pointbook::Tag::RegisterType table() const { return m_table; }
    int start() const { return m_start; }
    int count() const { return m_rows.size(); }
    bool isBitTable() const;

    // Results of one request; addresses outside the range are ignored.
    void setWords(int address, const QVector<quint16> &words);
    void setBits(int address, const QVector<quint8> &bits);
    void setFailed(int address, int count, const QString &reason);

    RowState state(int row) const;
    QString reason(int row) const;
    quint16 word(int row) const;
    bool hasWord(int row) const;
    // The words of `count` rows from row on; empty when any is missing.
    QVector<quint16> words(int row, int count) const;
    int failedRows() const;

    RowFormat rowFormat(int row) const;
    void setRowFormat(int row, const RowFormat &format);
    // Sets the format for the selected rows. A wide format takes the first
    // selected row and the rows it spans, then the next selected row after
    // them, and so on: selecting ten rows and choosing float32 gives five
    // values.
    void setFormat(const QList<int> &rows, const RowFormat &format);
    // The row whose wide value includes this row, or -1.
    int coveringRow(int row) const;
    // The value column's text for the row.
    QString valueText(int row) const;

    // 1-based Modbus reference of an address: 0xxxx coils, 1xxxx discrete
    // inputs, 3xxxx input registers, 4xxxx holding registers; six digits
    // from address 9999 on.
    static QString reference(Pointbook::Tag::RegisterType table, int address);
    static QString tableName(Pointbook::Tag::RegisterType table);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Row
    {
        quint16 word = 0;
        bool hasWord = false;
        RowState state = Unread;
        RowFormat format;
        QString reason;
    };

    void updateCover();
    void changedRows(int first, int last);
    bool valueStale(int row) const;

    Pointbook::Tag::RegisterType m_table = Pointbook::Tag::HR;
    int m_start = 0;
    QVector<Row> m_rows;
    QVector<int> m_cover; // per row: the row whose wide value includes it, or -1
};

} // namespace Browser
