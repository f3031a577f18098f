#pragma once

#include "pointbook_global.h"
#include "tag.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>

namespace Fieldlink {
namespace FieldlinkCore {
class ModbusConnection;
class QModbusSettings;
} // namespace FieldlinkCore
} // namespace Fieldlink

namespace Pointbook {

// Writes tag values to the device: checks a value against the tag (its
// table, the map's access, the caller's rights, its limits), encodes it with
// Tag::encode, sends it ahead of polling (a bit field or a lone byte by
// read-modify-write of its register), reads the registers back and compares.
// Only an equal read-back is a success. Free of widgets, so the poller uses
// it as the program does.
//
// Writes run one after another in the order asked: two bit fields of one
// register must not read the register before the other has written it.
class POINTBOOK_EXPORT TagWriter : public QObject
{
    Q_OBJECT

public:
    // Timeout: nothing went out, or the answer to a read before the write
    // did not come. Unknown: the write went out and its answer (or that of
    // the read-back) did not come, so the device may hold the new value.
    // Pending: under way, as handed to the write-ahead hook.
    enum Result { Ok = 0, Refused, Exception, Timeout, Mismatch, Unknown, Pending };
    Q_ENUM(Result)

    struct Outcome
    {
        int requestId = 0;
        Result result = Refused;
        QString tagId;
        QString tagName;
        Tag::RegisterType registerType = Tag::UnknownRegister;
        int address = 0;
        QString oldValue;          // as the tag held it before the write
        QString newValue;          // the value asked for, as written
        QString readBack;          // what the device holds afterwards; empty when unread
        QVector<quint16> words;    // sent (registers) or bits (coils)
        QString detail;            // why, for anything but Ok
        int exceptionCode = 0;
    };

    explicit TagWriter(QObject *parent = nullptr);
    ~TagWriter() override;

    void setModbusConnection(Fieldlink::FieldlinkCore::ModbusConnection *connection);
    Fieldlink::FieldlinkCore::ModbusConnection *modbusConnection() const;
    // Copied; unit, timeout and retries of every request.
    void setModbusSettings(const Fieldlink::FieldlinkCore::QModbusSettings &settings);

    // Why the tag cannot be written at all (empty when it can): its table,
    // the map's access, the rights, the link. Also for tooltips.
    QString notWritableReason(const Tag *tag, bool readOnlyByRights) const;
    // Every check before sending; empty when the value may be sent, with
    // the words it becomes.
    QString check(const Tag *tag, const QVariant &value, bool readOnlyByRights,
                  QVector<quint16> *words = nullptr) const;
    // The checks of the value alone, for an editor to tell while the user
    // types: empty when the tag's type holds it (Tag::encode) and it lies
    // within the tag's limits at the tag's own type, else the reason
    // ("element 3 is empty", "33554432 is outside the tag's limits 0 to
    // 33554431", ...). With the words it becomes.
    static QString valueRefusal(const Tag *tag, const QVariant &value,
                                QVector<quint16> *words = nullptr);

    // Queues a write and returns its id; the outcome arrives by finished(),
    // never before this returns (a refusal too).
    int write(Tag *tag, const QVariant &value, bool readOnlyByRights = false);
    // An attempt refused by the caller before any check of the writer
    // (a value that is no number, a level the caller does not trust): it
    // ends like a write refused here, finished() with Refused and the
    // reason, so that every refusal reaches the same record.
    int refuse(Tag *tag, const QVariant &value, const QString &reason);
    int pendingCount() const { return m_jobs.size(); }

    // Called when a write request is ready to go out, with its outcome so
    // far (result Pending, the words to send). The request waits until
    // `proceed` is called: with an empty text it goes out, otherwise the
    // write ends refused for that reason. Lets a record of the attempt be
    // stored before the device can act on it. `proceed` may be called at
    // once or later, at most once; it does nothing once the writer is gone.
    using Proceed = std::function<void(const QString &refusal)>;
    using WriteAhead = std::function<void(const Outcome &outcome, const Proceed &proceed)>;
    void setWriteAhead(const WriteAhead &hook) { m_writeAhead = hook; }

    // The value as text: shortest form that reads back as the same number;
    // bit fields and bits as on/off, arrays in brackets.
    static QString valueText(const Tag *tag, const QVariant &value);
    // ok, refused, exception, timeout, mismatch, unknown, pending
    static QString resultName(Result result);
    // The result for people, in the program's language; resultName() is the
    // code that files, the database and the poller's output keep.
    static QString resultText(Result result);
    // resultText() of a stored code; an unknown code stays as it is.
    static QString resultTextOf(const QString &name);
    static QString exceptionName(int code);
    // The detail of a write that went out without an answer.
    static QString noAnswerText();

signals:
    void started(int requestId, const QString &tagId);
    void finished(const Pointbook::TagWriter::Outcome &outcome);

private:
    struct Job
    {
        int id = 0;
        QPointer<Tag> tag;
        QVariant value;
        QVector<quint16> words;  // encoded value
        QVector<quint16> sent;   // after merging into the register
        QVector<quint16> keep;   // per word, the bits that belong to the tag (RMW)
        Outcome outcome;
        bool refused = false;
        bool awaitingWriteAhead = false;
    };

    // The job of a write of the tag, not yet queued.
    Job newJob(Tag *tag, const QVariant &value);
    int enqueue(const Job &job);
    void next();
    void readBefore();
    void send();
    void transmit();
    void readBack();
    void conclude(Result result, const QString &detail, int exceptionCode = 0);
    QString failureText(int outcome, const QString &error, int exceptionCode) const;
    Result failureResult(int outcome) const;
    bool wentOutUnanswered(int outcome, qint64 usSinceSent) const;

    QPointer<Fieldlink::FieldlinkCore::ModbusConnection> m_connection;
    Fieldlink::FieldlinkCore::QModbusSettings *m_settings;
    QList<Job> m_jobs;
    WriteAhead m_writeAhead;
    bool m_running = false;
    int m_nextId = 1;
};

} // namespace Pointbook

Q_DECLARE_METATYPE(Pointbook::TagWriter::Outcome)
