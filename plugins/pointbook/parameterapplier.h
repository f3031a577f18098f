#pragma once

#include "pointbook_global.h"
#include "tagwriter.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVector>

namespace Pointbook {

class Tag;

// Writes a list of values one after another through a TagWriter (checks,
// read-back), so that it can stop between writes: when cancelled, and at
// the first failure unless told to go on. Every step ends written, failed
// (with the writer's reason) or skipped.
class POINTBOOK_EXPORT ParameterApplier : public QObject
{
    Q_OBJECT

public:
    struct Step
    {
        QPointer<Tag> tag;
        QString id;
        QVariant value;
        bool readOnlyByRights = false;
    };
    enum State { Pending, Written, Failed, Skipped };
    struct Result
    {
        State state = Pending;
        QString detail;
        TagWriter::Outcome outcome;
    };

    explicit ParameterApplier(TagWriter *writer, QObject *parent = nullptr);

    void setContinueOnFailure(bool on) { m_continue = on; }
    bool continueOnFailure() const { return m_continue; }

    // Starts writing; stepFinished() for each step, finished() at the end.
    void start(const QVector<Step> &steps);
    // Lets the write under way end, then skips the rest.
    void cancel();
    bool isRunning() const { return m_running; }
    bool wasCancelled() const { return m_cancelled; }

    QVector<Step> steps() const { return m_steps; }
    QVector<Result> results() const { return m_results; }
    bool allWritten() const;

    static QString stateText(State state);

signals:
    void stepStarted(int index, int total);
    void stepFinished(int index);
    void finished();

private:
    void next();
    void onFinished(const TagWriter::Outcome &outcome);

    QPointer<TagWriter> m_writer;
    QVector<Step> m_steps;
    QVector<Result> m_results;
    int m_index = 0;
    int m_request = 0;
    bool m_running = false;
    bool m_cancelled = false;
    bool m_stopped = false;
    bool m_continue = false;
};

} // namespace Pointbook
