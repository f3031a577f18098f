#pragma once

#include "diagnostics_global.h"

#include <fieldlink/trafficrecorder.h>

#include <QAbstractTableModel>
#include <QVector>

namespace Diagnostics {

// The traffic log as a table: a copy of the recorder's entries taken at each
// refresh (the recorder's ring moves on meanwhile), optionally only those of
// one kind of result.
class DIAGNOSTICS_EXPORT TrafficLogModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        TimeColumn = 0,
        FunctionColumn,
        AddressColumn,
        CountColumn,
        ResultColumn,
        RoundTripColumn,
        RequestColumn,
        ReplyColumn,
        ColumnCount
    };

    enum Filter {
        AllResults = 0,
        Answered,
        Timeouts,
        Exceptions,
        Malformed,
        LinkFailures,
        FilterCount
    };

    explicit TrafficLogModel(QObject *parent = nullptr);

    static QString filterName(Filter filter);
    static bool matches(Filter filter, int outcome);
    // "03 read holding registers".
    static QString functionText(int functionCode);
    // "ok", "timeout", "exception 2 (illegal data address)", …
    static QString resultText(const Fieldlink::FieldlinkCore::TrafficRecorder::Entry &entry);

    void setFilter(Filter filter);
    Filter filter() const { return m_filter; }
    // Takes the recorder's entries anew; nothing happens when the recorder's
    // log did not change since the last refresh and the filter is the same.
    void refresh(const Fieldlink::FieldlinkCore::TrafficRecorder *recorder);

    const Fieldlink::FieldlinkCore::TrafficRecorder::Entry &entry(int row) const { return m_rows.at(row); }

    // The rows shown, tab-separated with a header line; false with a reason
    // when the file cannot be written.
    bool save(const QString &fileName, QString *error) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QString cellText(const Fieldlink::FieldlinkCore::TrafficRecorder::Entry &entry, int column) const;

    QVector<Fieldlink::FieldlinkCore::TrafficRecorder::Entry> m_rows;
    Filter m_filter = AllResults;
    quint64 m_serial = ~quint64(0);
    bool m_dirty = true;
};

} // namespace Diagnostics
