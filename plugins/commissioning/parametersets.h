#pragma once

#include "commissioning_global.h"
#include "commissioningrecord.h"

#include <pointbook/parametercomparison.h>
#include <pointbook/parameterset.h>

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

namespace Pointbook {
class ParameterReader;
class Tag;
} // namespace Pointbook

namespace Workspace {
class WorkspaceController;
}

namespace Commissioning {

class ChangeLog;

// Parameter sets of the connected device, without widgets: which tags are
// parameters at the current level, a fresh read of them (with the serial
// number and the device identification), the file made from that read, the
// comparison with a file, and the data of the commissioning record.
class COMMISSIONING_EXPORT ParameterSets : public QObject
{
    Q_OBJECT

public:
    ParameterSets(Workspace::WorkspaceController *controller, QObject *parent = nullptr);
    ~ParameterSets() override;

    Workspace::WorkspaceController *controller() const;
    // Why nothing can be read now (no device, no map); empty when it can.
    QString unavailableReason() const;
    // The map's parameters the current level shows, in address order.
    QList<Pointbook::Tag *> parameters() const;

    // Reads the parameters fresh; readFinished() follows (never before
    // this returns), readProgress() on the way.
    void readDevice();
    void cancelRead();
    bool isReading() const;
    bool wasCancelled() const;

    // After a read: "id: reason" for each tag that could not be read.
    QStringList failures() const;
    QStringList failedIds() const;
    // The file of the last read; the tags that failed listed as missing.
    Pointbook::ParameterSet parameterSet() const;
    QVector<Pointbook::ParameterComparison::Row> compare(const Pointbook::ParameterSet &file) const;
    QString serial() const { return m_serial; }
    QString identification() const { return m_identification; }
    QString accessLevel() const;

    // The record of the last read; the change-log rows are the caller's.
    CommissioningRecord recordOfLastRead() const;

signals:
    void readProgress(int done, int total);
    void readFinished();

private:
    void readIdentification();

    QPointer<Workspace::WorkspaceController> m_controller;
    Pointbook::ParameterReader *m_reader;
    QList<Pointbook::Tag *> m_tags;
    QPointer<Pointbook::Tag> m_serialTag;
    QString m_serial;
    QString m_identification;
    QString m_version;
    QDateTime m_readUtc;
    bool m_reading = false;
};

} // namespace Commissioning
