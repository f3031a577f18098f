#pragma once

#include "pointbook_global.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

namespace Fieldlink {
namespace FieldlinkCore {
class ModbusConnection;
class QModbusSettings;
} // namespace FieldlinkCore
} // namespace Fieldlink

namespace Pointbook {

class Tag;

// Reads tags fresh from the device, one request per tag ahead of polling,
// and keeps the words each gave without touching the tags, so that a saved
// or compared value is what the device held at that moment. A tag that
// cannot be read keeps its reason; the others are read all the same.
class POINTBOOK_EXPORT ParameterReader : public QObject
{
    Q_OBJECT

public:
    explicit ParameterReader(QObject *parent = nullptr);
    ~ParameterReader() override;

    void setModbusConnection(Fieldlink::FieldlinkCore::ModbusConnection *connection);
    void setModbusSettings(const Fieldlink::FieldlinkCore::QModbusSettings &settings);

    // Starts reading; progress() after every tag, finished() at the end
    // (also for an empty list, never before this returns).
    void read(const QList<Tag *> &tags);
    void cancel();
    bool isRunning() const { return m_running; }
    bool wasCancelled() const { return m_cancelled; }

    QList<Tag *> tags() const { return m_tags; }
    bool hasWords(const Tag *tag) const { return m_words.contains(tag); }
    QVector<quint16> words(const Tag *tag) const { return m_words.value(tag); }
    // Why the tag could not be read; empty when it was.
    QString failure(const Tag *tag) const { return m_failures.value(tag); }
    int failureCount() const { return m_failures.size(); }

signals:
    void progress(int done, int total);
    void finished();

private:
    void next();
    void fail(const QString &reason);

    QPointer<Fieldlink::FieldlinkCore::ModbusConnection> m_connection;
    Fieldlink::FieldlinkCore::QModbusSettings *m_settings;
    QList<Tag *> m_tags;
    QList<QPointer<Tag>> m_guards;
    QHash<const Tag *, QVector<quint16>> m_words;
    QHash<const Tag *, QString> m_failures;
    int m_index = 0;
    bool m_running = false;
    bool m_cancelled = false;
    int m_generation = 0;
};

} // namespace Pointbook
