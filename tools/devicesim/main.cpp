// korvane-devicesim: a Modbus TCP device made from a register map, for
// demonstrations, tests and benchmarks.

#include "devicesimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

bool readNumber(const QCommandLineParser &parser, const QString &name, int low, int high,
                int *value, QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int number = parser.value(name).toInt(&ok);
    if (!ok || number < low || number > high) {
        *error = QCoreApplication::translate("main", "--%1 needs a whole number from %2 to %3, not \"%4\".")
                     .arg(name)
                     .arg(low)
                     .arg(high)
                     .arg(parser.value(name));
        return false;
    }
    *value = number;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvane-devicesim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "Serves the tags of a register map as a Modbus TCP device. Holding registers and coils "
        "take writes (functions 5, 6, 15, 16) and keep the written values; a write outside "
        "the map is answered with exception 2."));
    parser.addHelpOption();
    parser.addOptions({
        {"map", QCoreApplication::translate("main", "Register map file to serve (required)."), "file"},
        {"base-version", QCoreApplication::translate("main", "Version the map must declare (default: the map's own)."), "version"},
        {"host", QCoreApplication::translate("main", "Address to listen on (default 127.0.0.1)."), "address", "127.0.0.1"},
        {"port", QCoreApplication::translate("main", "TCP port; 0 picks a free one (default 5020)."), "port", "5020"},
        {"unit", QCoreApplication::translate("main", "Modbus unit address (default 1)."), "address", "1"},
        {"interval", QCoreApplication::translate("main", "Milliseconds between value changes; 0 keeps values still (default 500)."), "ms", "500"},
        {"delay", QCoreApplication::translate("main", "Delay every answer by this many milliseconds."), "ms"},
        {"exception", QCoreApplication::translate("main", "Answer requests touching a range with an exception: table:first-last:code, e.g. hr:100-119:2. Repeatable."), "range"},
        {"write-exception", QCoreApplication::translate("main", "Answer writes touching a range with an exception and keep the old values: table:first-last:code, table hr or co, e.g. hr:0-1:3. Repeatable."), "range"},
        {"write-ignore", QCoreApplication::translate("main", "Acknowledge writes touching a range but keep serving the device's own values: table:first-last, e.g. hr:4-5. Repeatable."), "range"},
        {"drop-every", QCoreApplication::translate("main", "Cut the connection instead of answering every n-th request."), "n"},
    });
    parser.process(app);

    QTextStream err(stderr);
    auto fail = [&err](const QString &message) {
        err << "korvane-devicesim: " << message << Qt::endl;
        return 1;
    };

    if (!parser.positionalArguments().isEmpty())
        return fail(QCoreApplication::translate("main", "Unexpected argument \"%1\".")
                        .arg(parser.positionalArguments().first()));
    if (parser.value("map").isEmpty())
        return fail(QCoreApplication::translate("main", "No register map given (--map FILE)."));

    QString error;
    int port = 5020;
    int unit = 1;
    int interval = 500;
    int delay = 0;
    int dropEvery = 0;
    if (!readNumber(parser, "port", 0, 65535, &port, &error)
        || !readNumber(parser, "unit", 0, 255, &unit, &error)
        || !readNumber(parser, "interval", 0, 3600000, &interval, &error)
        || !readNumber(parser, "delay", 0, 600000, &delay, &error)
        || !readNumber(parser, "drop-every", 0, 1000000000, &dropEvery, &error))
        return fail(error);

    Devicesim::DeviceSimulator simulator;
    for (const QString &range : parser.values("exception")) {
        if (!simulator.addExceptionRange(range, &error))
            return fail(error);
    }
    for (const QString &range : parser.values("write-exception")) {
        if (!simulator.addWriteExceptionRange(range, &error))
            return fail(error);
    }
    for (const QString &range : parser.values("write-ignore")) {
        if (!simulator.addIgnoredWriteRange(range, &error))
            return fail(error);
    }
    if (!simulator.loadMap(parser.value("map"), parser.value("base-version")))
        return fail(simulator.errorString());
    simulator.setServerAddress(unit);
    simulator.setResponseDelay(delay);
    simulator.setDropEvery(dropEvery);
    simulator.setUpdateInterval(interval);
    if (!simulator.listen(parser.value("host"), quint16(port)))
        return fail(simulator.errorString());

    QTextStream out(stdout);
    out << "listening on " << simulator.host() << ':' << simulator.port() << Qt::endl;
    return app.exec();
}
