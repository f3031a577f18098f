#pragma once

#include "trend_global.h"

#include <QDateTime>
#include <QDialog>
#include <QVector>

QT_BEGIN_NAMESPACE
class QDateTimeEdit;
class QListWidget;
QT_END_NAMESPACE

namespace Trend {

// Chooses recorded tags and a time range, for the history view and for the
// export of a recording.
class TREND_EXPORT HistoryRangeDialog : public QDialog
{
    Q_OBJECT

public:
    struct RecordedTag
    {
        qint64 dbId = -1;
        QString registerType;
        QString id;
        QString name;
        QString unit;
    };

    HistoryRangeDialog(const QVector<RecordedTag> &tags, const QDateTime &from, const QDateTime &to,
                       QWidget *parent = nullptr);

    QVector<RecordedTag> chosenTags() const;
    void setChosen(const QStringList &ids);
    qint64 fromMs() const;
    qint64 toMs() const;
    QListWidget *tagList() const { return m_list; }

private:
    void check();

    QVector<RecordedTag> m_tags;
    QListWidget *m_list;
    QDateTimeEdit *m_from;
    QDateTimeEdit *m_to;
};

} // namespace Trend
