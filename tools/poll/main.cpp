// korvane-poll: reads the tags of a register map from a Modbus device and
// prints their values for scripts, spreadsheets and CI jobs.

#include "polloptions.h"
#include "pollrunner.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

void onSignal(int)
{
    Poll::PollRunner::requestStop();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvane-poll"));
    // The poller reports every failed request itself, once, on stderr.
    QLoggingCategory::setFilterRules(QStringLiteral("fieldlink.*=false\nqt.modbus*=false"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setCodec("UTF-8");
    err.setCodec("UTF-8");

    Poll::PollOptions options;
    switch (options.parse(QCoreApplication::arguments())) {
    case Poll::PollOptions::HelpRequested:
        out << Poll::PollOptions::helpText();
        return 0;
    case Poll::PollOptions::Error:
        err << "korvane-poll: " << options.errorText() << '\n'
            << "Try 'korvane-poll --help' for more information.\n";
        return Poll::PollRunner::Unusable;
    case Poll::PollOptions::Ok:
        break;
    }
    if (!options.formatGiven)
        options.format = isatty(fileno(stdout)) ? Poll::PollOptions::Table : Poll::PollOptions::Csv;

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    Poll::PollRunner runner(options, &out, &err);
    return runner.run();
}
