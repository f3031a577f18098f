#pragma once

#include "devicesim_global.h"

#include <pointbook/tag.h>

#include <QHash>
#include <QModbusDataUnit>
#include <QModbusPdu>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

namespace Pointbook {
class BaseTag;
class TagBaseLoader;
} // namespace Pointbook

namespace Devicesim {

class SimulatedServer;

// A Modbus TCP device made from a register map: every tag of the map is
// served at its registers, encoded the way the tag decodes it. Measured
// values drift slowly between the tag's limits; parameters and commands
// stay where they are. Holding registers and coils take writes (function
// 5, 6, 15, 16): a written tag keeps the written value (a measured one drifts
// on from there, slowly), a write outside the map is answered with
// exception 2. Device identification answers
// with the map's version as major-minor revision. Faults (slow answers,
// exception answers, broken links) can be switched on for tests.
//
// Runs in the thread that owns it; a response delay blocks that thread, so
// in-process users that need delays should move the simulator to a thread
// of its own.
class DEVICESIM_EXPORT DeviceSimulator : public QObject
{
    Q_OBJECT

public:
    explicit DeviceSimulator(QObject *parent = nullptr);
    ~DeviceSimulator() override;

    // Loads the map (its version taken from the file when none is given)
    // and serves its values. False with errorString() on failure; the
    // registers then keep their previous words.
    bool loadMap(const QString &fileName, const QString &version = QString());
    QString fileName() const { return m_fileName; }
    QString version() const { return m_version; }
    QString errorString() const { return m_errorString; }
    Pointbook::BaseTag *base() const;

    // Reads the version attribute of a map file's root element; empty
    // (with error) when the file cannot be read.
    static QString mapVersion(const QString &fileName, QString *error = nullptr);

    bool listen(const QString &host = QStringLiteral("127.0.0.1"), quint16 port = 0);
    void close();
    bool isListening() const;
    QString host() const { return m_host; }
    quint16 port() const;

    void setServerAddress(int address);
    int serverAddress() const;
    void setVendorName(const QString &vendor) { m_vendor = vendor; applyIdentification(); }
    void setProductCode(const QString &product) { m_product = product; applyIdentification(); }

    // Values move one step every interval; 0 keeps them where they are.
    void setUpdateInterval(int milliseconds);
    int updateInterval() const { return m_intervalMs; }
    quint64 step() const { return m_step; }
    void setStep(quint64 step);
    void advance() { setStep(m_step + 1); }

    // The value Tag::value() of that tag gives after reading its words.
    QVariant tagValue(Pointbook::Tag::RegisterType type, const QString &id) const;
    // The served words of that tag (bits 0/1 for discrete inputs and coils).
    QVector<quint16> tagWords(Pointbook::Tag::RegisterType type, const QString &id) const;
    // One served register or bit; 0 for an address outside the tables.
    quint16 served(QModbusDataUnit::RegisterType table, int address) const;

    // Faults.
    void setResponseDelay(int milliseconds);
    int responseDelay() const;
    void addExceptionRange(QModbusDataUnit::RegisterType table, int first, int last,
                           QModbusPdu::ExceptionCode code);
    // "table:first-last:code", table one of ir, hr, di, co; code 1..255.
    bool addExceptionRange(const QString &text, QString *error);
    void clearExceptionRanges();
    // Writes touching the range are answered with the exception (e.g. 3,
    // a value the device cannot accept) and change nothing.
    void addWriteExceptionRange(QModbusDataUnit::RegisterType table, int first, int last,
                                QModbusPdu::ExceptionCode code);
    bool addWriteExceptionRange(const QString &text, QString *error);
    // Writes touching the range are acknowledged but not kept: the device
    // goes on serving its own value, as one that overrides a set point.
    void addIgnoredWriteRange(QModbusDataUnit::RegisterType table, int first, int last);
    // "table:first-last", table hr or co.
    bool addIgnoredWriteRange(const QString &text, QString *error);
    void setDropEvery(int requests);
    int dropEvery() const;
    quint64 requestCount() const;

signals:
    void valuesChanged();
    // A write was taken into the registers or coils of [first, first + count).
    void written(QModbusDataUnit::RegisterType table, int first, int count);
    void requestReceived(quint64 count);

private:
    struct Entry
    {
        Pointbook::Tag *tag = nullptr;
        QVariant value;
        QVector<quint16> words;
    };

    // What a write left in a tag: its words, and for a measured value the
    // number it drifts on from.
    struct Held
    {
        QVector<quint16> words;
        double value = 0.0;
        bool drifts = false;
    };
    struct Range
    {
        QModbusDataUnit::RegisterType table = QModbusDataUnit::Invalid;
        int first = 0;
        int last = 0;
        int code = 0;
    };

    void applyIdentification();
    // Serves every tag; a written measurement moves on only when asked to.
    void refresh(bool moveWritten = true);
    int checkWrite(QModbusDataUnit::RegisterType table, int first, int count) const;
    void onWritten(QModbusDataUnit::RegisterType table, int first, int count);
    static bool drifts(const Pointbook::Tag *tag);
    static int span(const Pointbook::Tag *tag);
    bool parseRange(const QString &text, bool withCode, Range *range, QString *error) const;
    quint64 stepOf(const Pointbook::Tag *tag) const;
    double sample(const Pointbook::Tag *tag, int element) const;
    QVariant typedValue(const Pointbook::Tag *tag, double value) const;
    QVariant typedSample(const Pointbook::Tag *tag, int element) const;
    quint64 bitFieldRegister(const QList<Pointbook::Tag *> &group) const;
    static QString key(Pointbook::Tag::RegisterType type, const QString &id);

    Pointbook::TagBaseLoader *m_loader = nullptr;
    SimulatedServer *m_server = nullptr;
    QTimer *m_timer = nullptr;
    QString m_fileName;
    QString m_version;
    QString m_errorString;
    QString m_host = QStringLiteral("127.0.0.1");
    QString m_vendor = QStringLiteral("Korvane");
    QString m_product = QStringLiteral("korvane-devicesim");
    int m_intervalMs = 0;
    quint64 m_step = 0;
    QHash<QString, Entry> m_entries;
    QHash<QString, Held> m_held;
    QVector<Range> m_writeExceptions;
    QVector<Range> m_ignoredWrites;
    // Per address of the holding registers and coils: a tag of the map lies there.
    QVector<bool> m_mappedHoldings;
    QVector<bool> m_mappedCoils;
};

} // namespace Devicesim
