#pragma once

#include "poll_global.h"
#include "polloptions.h"

#include <fieldlink/qmodbussettings.h>

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>

#include <functional>

QT_BEGIN_NAMESPACE
class QEventLoop;
class QTextStream;
QT_END_NAMESPACE

namespace Fieldlink {
namespace FieldlinkCore {
class IModbusTransaction;
}
} // namespace Fieldlink

namespace Pointbook {
class Tag;
class TagBase;
class TagBaseLoader;
class ParameterReader;
class ParameterSet;
} // namespace Pointbook

namespace Poll {

class ObservedConnection;

// One run of the poller: load the register map with the program's loader,
// connect with the program's driver, let the program's polling engine run
// single passes, and print what the tags hold after each pass. Failed
// requests are seen on the driver's transactions, so every tag they cover
// prints empty and the run ends with exit code 1.
class POLL_EXPORT PollRunner : public QObject
{
    Q_OBJECT

public:
    enum ExitCode { Success = 0, RequestFailed = 1, Unusable = 2 };

    PollRunner(const PollOptions &options, QTextStream *out, QTextStream *err,
               QObject *parent = nullptr);
    ~PollRunner() override;

    // Runs to the end and returns the exit code.
    int run();

    // Safe to call from a signal handler: the run ends after the step under
    // way, with the exit code earned so far.
    static void requestStop();

    static QString exceptionName(int code);
    // Why a request failed, as the error line says it.
    static QString failureReason(const Fieldlink::FieldlinkCore::IModbusTransaction &transaction);
    // "ir", "hr", "di", "co"; empty for other functions.
    static QString tableOf(const Fieldlink::FieldlinkCore::IModbusTransaction &transaction);

private:
    enum WaitResult { Done, Interrupted, TimedOut };
    struct Failure
    {
        QString table;
        int start = 0;
        int count = 0;
    };

    bool loadMap(const QString &fileName, const QString &version);
    bool connectDevice();
    bool readDeviceVersion(QString *version);
    bool selectTags();
    int runWrites();
    int runSaveParams();
    int runCompareParams();
    int runApplyParams();
    // The map's parameters in address order.
    QList<Pointbook::Tag *> parameterTags() const;
    // Reads the tags fresh; false when interrupted or stalled.
    bool readFresh(Pointbook::ParameterReader *reader, const QList<Pointbook::Tag *> &tags);
    WaitResult runPass();
    void printPass();
    bool covered(const Pointbook::Tag *tag) const;
    void onTransactionEnded(Fieldlink::FieldlinkCore::IModbusTransaction *transaction);
    WaitResult waitUntil(const std::function<bool()> &done, int timeoutMs);
    void wake();
    void error(const QString &message);
    QString linkText() const;

    PollOptions m_options;
    QTextStream *m_out;
    QTextStream *m_err;
    Fieldlink::FieldlinkCore::QModbusSettings m_settings;
    ObservedConnection *m_connection = nullptr;
    Pointbook::TagBaseLoader *m_loader = nullptr;
    Pointbook::TagBase *m_engine = nullptr;
    QEventLoop *m_loop = nullptr;

    QList<Pointbook::Tag *> m_selected; // in output order
    QSet<Pointbook::Tag *> m_fresh;     // given words in the pass under way
    QSet<Pointbook::Tag *> m_unfilled;  // warned about once
    QVector<Failure> m_failures;        // of the pass under way
    bool m_inPass = false;
    bool m_passDone = false;
    bool m_anyFailure = false;
    qint64 m_lastActivity = 0;
    bool m_headerPrinted = false;
    Pointbook::ParameterSet *m_paramFile = nullptr; // --compare-params, --apply-params
};

} // namespace Poll
