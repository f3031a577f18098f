#pragma once

#include "poll_global.h"

#include <QSerialPort>
#include <QString>
#include <QList>
#include <QPair>
#include <QStringList>

namespace Poll {

// The command line of korvane-poll, checked as a whole: every value is in
// range and no option contradicts another before anything is opened.
class POLL_EXPORT PollOptions
{
public:
    enum ParseResult { Ok, HelpRequested, Error };
    enum Link { Tcp, Rtu };
    enum Format { Table, Csv, Json };

    // arguments as QCoreApplication::arguments(): the program name first.
    ParseResult parse(const QStringList &arguments);
    QString errorText() const { return m_error; }
    static QString helpText();

    Link link = Tcp;
    QString host;
    int port = 502;
    QString serialDevice;
    int baudRate = 19200;
    QSerialPort::Parity parity = QSerialPort::EvenParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    int unit = 1;
    int timeoutMs = 1000;
    int retries = 1;

    QString mapFile;
    QString mapDir;
    QString version; // empty: asked from the device

    QStringList tags; // empty: every polled tag
    bool all = false;

    int intervalMs = 0; // 0: one pass
    int count = 0;      // passes with an interval; 0 until interrupted

    // --write ID=VALUE, in the order given; the id may name its table
    // ("hr:ID", "co:ID").
    QList<QPair<QString, QString>> writes;
    bool writeMultiple = false;

    // Parameter files: at most one of the three.
    QString saveParams;
    QString compareParams;
    QString applyParams;
    bool continueOnFailure = false;

    Format format = Table;
    bool formatGiven = false;

private:
    bool fail(const QString &message);
    QString m_error;
};

} // namespace Poll
