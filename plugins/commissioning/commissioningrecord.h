#pragma once

#include "commissioning_global.h"

#include <pointbook/tag.h>

#include <QDateTime>
#include <QCoreApplication>
#include <QString>
#include <QVariant>
#include <QVector>

namespace Commissioning {

// What a device holds once it is commissioned, for handing over: the
// device, the time, the access level, its parameters grouped by table, and
// the writes of this session. Written as PDF on A4 with Qt's own writer,
// and as HTML beside it.
class COMMISSIONING_EXPORT CommissioningRecord
{
    Q_DECLARE_TR_FUNCTIONS(Commissioning::CommissioningRecord)

public:
    struct Parameter
    {
        Pointbook::Tag::RegisterType registerType = Pointbook::Tag::HR;
        QString id;
        QString name;
        QString value; // empty with `problem` when it could not be read
        QString unit;
        QString problem;
    };

    QString connection;
    QString deviceVersion;
    QString serial;
    QString identification;
    QString accessLevel;
    QDateTime timeUtc;
    QVector<Parameter> parameters;
    // Rows of the change log (ChangeLog::columns()), oldest first.
    QVector<QVector<QVariant>> changes;

    QString html() const;
    // The PDF, and the HTML with the same name ending in .html beside it.
    bool write(const QString &pdfFileName, QString *error) const;
    static QString htmlFileName(const QString &pdfFileName);
};

} // namespace Commissioning
