#include "polloptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <limits>

#include <fieldlink/qmodbussettings.h>

namespace Poll {

namespace {

using Settings = Fieldlink::FieldlinkCore::QModbusSettings;

QString tr(const char *text)
{
    return QCoreApplication::translate("Poll::PollOptions", text);
}

QList<QCommandLineOption> optionList()
{
    return {
        {{"h", "help"}, tr("Shows this help.")},
        {"tcp", tr("Modbus TCP device; the port is 502 unless given."), "host[:port]"},
        {"rtu", tr("Modbus RTU device on a serial line."), "device"},
        {"baud", tr("Serial line speed (default 19200)."), "rate"},
        {"parity", tr("Serial parity: none, even or odd (default even)."), "parity"},
        {"data-bits", tr("Serial data bits: 5 to 8 (default 8)."), "bits"},
        {"stop-bits", tr("Serial stop bits: 1 or 2 (default 1)."), "bits"},
        {"unit", tr("Unit (server) address, 0 to 255 (default 1)."), "n"},
        {"timeout", tr("Answer timeout of one request in milliseconds, 10 to 60000 (default 1000)."), "ms"},
        {"retries", tr("Repetitions of an unanswered request, 0 to 10 (default 1)."), "n"},
        {"map", tr("Register map file to read."), "file"},
        {"map-dir", tr("Folder of register maps: base_v<version>.xml is taken from it."), "dir"},
        {"version", tr("Version the register map must declare; without it the device's "
                       "major-minor revision (device identification) is used."), "text"},
        {"tag", tr("Poll and print only this tag (repeatable)."), "id"},
        {"all", tr("Poll tags whose update flag is off as well.")},
        {"once", tr("One pass, then exit (the default).")},
        {"interval", tr("Repeat a pass every ms milliseconds."), "ms"},
        {"count", tr("Number of passes with --interval; without it the poller runs until "
                     "interrupted."), "n"},
        {"write", tr("Write VALUE to the tag ID, read it back and compare (repeatable; "
                     "\"hr:ID\" or \"co:ID\" names the table). Nothing is written when "
                     "any write of the call is refused."), "ID=VALUE"},
        {"write-multiple", tr("Write one register or coil with function 16 or 15 as well, "
                              "for devices without 6 and 5.")},
        {"save-params", tr("Read every parameter (holding registers and coils the map lets read "
                           "and write, commands left out) and save them to FILE (.kvparams)."), "file"},
        {"compare-params", tr("Compare the device's parameters with FILE; one line per difference."),
         "file"},
        {"apply-params", tr("Write the parameters of FILE to the device, each read back. Nothing "
                            "is written when the file or any of its entries is refused."), "file"},
        {"continue-on-failure", tr("With --apply-params: go on after a failed write instead of "
                                   "stopping there. With --write: send the writes after one "
                                   "whose outcome is unknown.")},
        {"format", tr("Output: table, csv or json (default: table on a terminal, csv otherwise)."),
         "format"},
    };
}

} // namespace

bool PollOptions::fail(const QString &message)
{
    m_error = message;
    return false;
}

PollOptions::ParseResult PollOptions::parse(const QStringList &arguments)
{
    *this = PollOptions();

    QCommandLineParser parser;
    parser.addOptions(optionList());
    if (!parser.parse(arguments)) {
        m_error = parser.errorText();
        return Error;
    }
    if (parser.isSet("help"))
        return HelpRequested;

    auto number = [&](const QString &name, int low, int high, int *value) {
        if (!parser.isSet(name))
            return true;
        // The last one counts, so that a script can append an override.
        const QString given = parser.value(name);
        bool ok = false;
        const int n = given.trimmed().toInt(&ok);
        if (!ok || n < low || n > high)
            return fail(tr("--%1 needs a whole number from %2 to %3, not \"%4\".")
                            .arg(name).arg(low).arg(high).arg(given));
        *value = n;
        return true;
    };
    auto text = [&](const QString &name, QString *value) {
        if (!parser.isSet(name))
            return true;
        if (parser.value(name).isEmpty())
            return fail(tr("--%1 needs a value.").arg(name));
        *value = parser.value(name);
        return true;
    };

    auto check = [&]() -> bool {
        if (!parser.positionalArguments().isEmpty())
            return fail(tr("Unexpected argument \"%1\".").arg(parser.positionalArguments().first()));

        // Connection.
        if (parser.isSet("tcp") == parser.isSet("rtu"))
            return fail(tr("Give exactly one connection: --tcp host[:port] or --rtu device."));
        if (parser.isSet("tcp")) {
            link = Tcp;
            QString address;
            if (!text("tcp", &address))
                return false;
            for (const char *serial : {"baud", "parity", "data-bits", "stop-bits"}) {
                if (parser.isSet(serial))
                    return fail(tr("--%1 applies to --rtu only.").arg(serial));
            }
            QString portText;
            if (address.startsWith('[')) { // [IPv6]:port
                const int close = address.indexOf(']');
                if (close < 0)
                    return fail(tr("Missing ']' in the address \"%1\".").arg(address));
                host = address.mid(1, close - 1);
                const QString rest = address.mid(close + 1);
                if (!rest.isEmpty()) {
                    if (!rest.startsWith(':'))
                        return fail(tr("Unexpected text after the address \"%1\".").arg(address));
                    portText = rest.mid(1);
                }
            } else if (address.count(':') == 1) {
                host = address.section(':', 0, 0);
                portText = address.section(':', 1);
            } else {
                host = address; // a name, an IPv4 address, or a bare IPv6 address
            }
            if (host.isEmpty())
                return fail(tr("No host in \"%1\".").arg(address));
            if (address.contains(':') && !portText.isNull()) {
                bool ok = false;
                port = portText.toInt(&ok);
                if (!ok || port < 1 || port > 65535)
                    return fail(tr("The port must be a number from 1 to 65535, not \"%1\".").arg(portText));
            }
        } else {
            link = Rtu;
            if (!text("rtu", &serialDevice))
                return false;
            if (!number("baud", 50, 4000000, &baudRate))
                return false;
            if (parser.isSet("parity")) {
                const QString p = parser.value("parity").toLower();
                if (p == "none")
                    parity = QSerialPort::NoParity;
                else if (p == "even")
                    parity = QSerialPort::EvenParity;
                else if (p == "odd")
                    parity = QSerialPort::OddParity;
                else
                    return fail(tr("--parity must be none, even or odd, not \"%1\".").arg(parser.value("parity")));
            }
            int bits = 8;
            if (!number("data-bits", 5, 8, &bits))
                return false;
            dataBits = QSerialPort::DataBits(bits);
            int stop = 1;
            if (!number("stop-bits", 1, 2, &stop))
                return false;
            stopBits = stop == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
        }
        if (!number("unit", Settings::MinServerAddress, Settings::MaxServerAddress, &unit)
            || !number("timeout", Settings::MinResponseTimeout, Settings::MaxResponseTimeout, &timeoutMs)
            || !number("retries", 0, Settings::MaxNumberOfRetries, &retries))
            return false;

        // Register map.
        if (parser.isSet("map") == parser.isSet("map-dir"))
            return fail(tr("Give exactly one register map source: --map file or --map-dir folder."));
        if (!text("map", &mapFile) || !text("map-dir", &mapDir) || !text("version", &version))
            return false;

        // Selection.
        for (const QString &id : parser.values("tag")) {
            if (id.isEmpty())
                return fail(tr("--tag needs a tag id."));
            if (!tags.contains(id))
                tags.append(id);
        }
        all = parser.isSet("all");

        // Mode.
        if (parser.isSet("once") && parser.isSet("interval"))
            return fail(tr("--once and --interval exclude each other."));
        if (!number("interval", 1, 24 * 3600 * 1000, &intervalMs))
            return false;
        if (parser.isSet("count") && !parser.isSet("interval"))
            return fail(tr("--count needs --interval."));
        if (!number("count", 1, std::numeric_limits<int>::max(), &count))
            return false;

        // Writes.
        for (const QString &w : parser.values("write")) {
            const int eq = w.indexOf(QLatin1Char('='));
            if (eq <= 0)
                return fail(tr("--write needs ID=VALUE, not \"%1\".").arg(w));
            writes.append({w.left(eq).trimmed(), w.mid(eq + 1)});
        }
        writeMultiple = parser.isSet("write-multiple");
        if (!writes.isEmpty() && parser.isSet("interval"))
            return fail(tr("--write and --interval exclude each other."));
        if (writeMultiple && writes.isEmpty())
            return fail(tr("--write-multiple needs --write."));

        // Parameter files.
        if (!text("save-params", &saveParams) || !text("compare-params", &compareParams)
            || !text("apply-params", &applyParams))
            return false;
        const int paramModes = int(parser.isSet("save-params")) + int(parser.isSet("compare-params"))
                               + int(parser.isSet("apply-params"));
        if (paramModes > 1)
            return fail(tr("--save-params, --compare-params and --apply-params exclude each other."));
        continueOnFailure = parser.isSet("continue-on-failure");
        if (continueOnFailure && !parser.isSet("apply-params") && !parser.isSet("write"))
            return fail(tr("--continue-on-failure needs --apply-params or --write."));
        if (paramModes > 0) {
            for (const char *other : {"write", "interval", "tag", "all"}) {
                if (parser.isSet(other))
                    return fail(tr("--%1 does not go with a parameter file.").arg(other));
            }
        }

        // Output.
        if (parser.isSet("format")) {
            QString f;
            if (!text("format", &f))
                return false;
            f = f.toLower();
            if (f == "table")
                format = Table;
            else if (f == "csv")
                format = Csv;
            else if (f == "json")
                format = Json;
            else
                return fail(tr("--format must be table, csv or json, not \"%1\".").arg(f));
            formatGiven = true;
        }
        return true;
    };
    return check() ? Ok : Error;
}

QString PollOptions::helpText()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(tr(
        "Reads the tags of a register map from a Modbus device and prints their values, "
        "decoded by the same register map loader, polling engine and driver as Korvane_Config.\n"
        "\n"
        "One record per tag, ordered by register table (ir, hr, di, co), then address and mask:\n"
        "  register,id,name,address,type,value,unit,raw\n"
        "value: floating types with the tag's precision, integers in decimal, bit fields as the\n"
        "masked value, arrays as their bytes in hex; raw: the tag's words in hex. With --interval\n"
        "each record begins with the time (ISO 8601, UTC, milliseconds). JSON prints each pass as\n"
        "one array of objects on one line.\n"
        "\n"
        "Exit codes:\n"
        "  0  every request of every pass succeeded\n"
        "  1  a request failed: the values of its tags are printed empty and one line per failed\n"
        "     request goes to stderr (table, start, count and reason)\n"
        "  2  usage error, missing or invalid register map, or no connection\n"
        "\n"
        "With --write the tags are written instead of printed, one line per write:\n"
        "  ID: written 12.5 bar, read back 12.5\n"
        "The register map's access decides what may be written (holding registers and coils\n"
        "with access W or RW, within the tag's min and max). Exit codes then: 0 every write was\n"
        "read back equal; 1 the device refused a write, did not answer or read back another\n"
        "value; 2 a write was refused before sending (unknown id, not writable, out of range,\n"
        "bad value; then nothing is sent at all), or usage, map or connection errors.\n"
        "A write sent without an answer reads \"outcome unknown: no answer; the device may have\n"
        "taken the value\" (exit 1); the writes after it are not sent unless\n"
        "--continue-on-failure.\n"
        "\n"
        "Parameter files (.kvparams, JSON; see the README for the format):\n"
        "  --save-params FILE     exit 0 saved; 1 a parameter could not be read (no file is\n"
        "                         written; the line names the tag); 2 usage, map or connection\n"
        "  --compare-params FILE  one line per difference, e.g.\n"
        "                           SetPoint: device 12 bar, file 12.5 bar\n"
        "                         exit 0 equal, 1 differences, 2 errors (bad file, unreadable tag)\n"
        "  --apply-params FILE    writes in the map's address order (or the file's apply_order),\n"
        "                         each read back, stopping at the first failure unless\n"
        "                         --continue-on-failure; exit 0 all written and read back equal,\n"
        "                         1 a device failure, 2 refused before sending (nothing sent)\n"
        "\n"
        "Example against the device simulator:\n"
        "  korvane-devicesim --map share/appcore/demo/pointbook/base_v1.00.xml --port 5020 &\n"
        "  korvane-poll --tcp 127.0.0.1:5020 --map-dir share/appcore/demo/pointbook --format csv\n"
        "  korvane-poll --tcp 127.0.0.1:5020 --map-dir share/appcore/demo/pointbook \\\n"
        "               --tag Pressure --tag Temperature --interval 1000 --count 5\n"
        "  korvane-poll --tcp 127.0.0.1:5020 --map-dir share/appcore/demo/pointbook \\\n"
        "               --write SetPoint=6.5 --write PumpRun=on"));
    parser.addOptions(optionList());
    // The program's own name, not however it was started.
    QString text = parser.helpText();
    const int end = text.indexOf(QLatin1Char('\n'));
    return QStringLiteral("Usage: korvane-poll [options]") + text.mid(end);
}

} // namespace Poll
