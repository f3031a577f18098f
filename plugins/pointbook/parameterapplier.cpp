#include "parameterapplier.h"

#include "tag.h"

#include <QTimer>

namespace Pointbook {

ParameterApplier::ParameterApplier(TagWriter *writer, QObject *parent)
    : QObject(parent)
    , m_writer(writer)
{
    if (writer)
        connect(writer, &TagWriter::finished, this, &ParameterApplier::onFinished);
}

QString ParameterApplier::stateText(State state)
{
    switch (state) {
    case Pending: return tr("pending");
    case Written: return tr("written");
    case Failed: return tr("failed");
    case Skipped: return tr("skipped");
    }
    return QString();
}

bool ParameterApplier::allWritten() const
{
    for (const Result &r : m_results) {
        if (r.state != Written)
            return false;
    }
    return true;
}

void ParameterApplier::start(const QVector<Step> &steps)
{
    if (m_running)
        return;
    m_steps = steps;
    m_results = QVector<Result>(steps.size());
    m_index = 0;
    m_request = 0;
    m_running = true;
    m_cancelled = false;
    m_stopped = false;
    QTimer::singleShot(0, this, &ParameterApplier::next);
}

void ParameterApplier::cancel()
{
    if (m_running)
        m_cancelled = true;
}

void ParameterApplier::next()
{
    if (!m_running)
        return;
    if (m_cancelled || m_stopped || !m_writer) {
        const QString why = m_cancelled ? tr("cancelled") : !m_writer ? tr("no writer")
                                                                         : tr("stopped after a failure");
        for (; m_index < m_steps.size(); ++m_index) {
            m_results[m_index].state = Skipped;
            m_results[m_index].detail = why;
            emit stepFinished(m_index);
        }
    }
    if (m_index >= m_steps.size()) {
        m_running = false;
        emit finished();
        return;
    }
    emit stepStarted(m_index, m_steps.size());
    const Step &s = m_steps.at(m_index);
    // A step whose tag went away is failed by the writer with its reason.
    m_request = m_writer->write(s.tag, s.value, s.readOnlyByRights);
}

void ParameterApplier::onFinished(const TagWriter::Outcome &outcome)
{
    if (!m_running || outcome.requestId != m_request || m_index >= m_steps.size())
        return;
    Result &r = m_results[m_index];
    r.outcome = outcome;
    if (outcome.result == TagWriter::Ok) {
        r.state = Written;
        r.detail = tr("read back %1").arg(outcome.readBack);
    } else {
        r.state = Failed;
        r.detail = outcome.detail.isEmpty() ? TagWriter::resultText(outcome.result)
                   : outcome.result == TagWriter::Unknown
                       ? TagWriter::resultText(outcome.result) + QLatin1String(": ") + outcome.detail
                       : outcome.detail;
        if (!m_continue)
            m_stopped = true;
    }
    m_request = 0;
    emit stepFinished(m_index);
    ++m_index;
    QTimer::singleShot(0, this, &ParameterApplier::next);
}

} // namespace Pointbook
