#include "SimOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

bool parseInt(const QString& text, int minimum, int maximum, int& out)
{
    bool ok = false;
    int v = text.toInt(&ok);
    if (!ok || v < minimum || v > maximum)
        return false;
    out = v;
    return true;
}

const char kHelpTail[] =
    "\n"
    "The simulator answers as an HRC417 controller for every parameter of the\n"
    "device description. It prints the path of the terminal the client must\n"
    "open as the first line of standard output and runs until SIGINT,\n"
    "SIGTERM or SIGHUP, then exits 0 (1 if the state file could not be\n"
    "saved, 2 for a bad argument).\n"
    "\n"
    "Fault specification (--faults): comma-separated KIND=RATE pairs, RATE the\n"
    "probability 0..1 per reply:\n"
    "  drop      the reply is not sent\n"
    "  crc       the reply's CRC is corrupted\n"
    "  garbage   noise characters are sent ahead of the reply\n"
    "  split     the reply is sent in two parts with a gap between them\n"
    "  truncate  the reply breaks off before its end\n"
    "  gap=MS    length of the gap of a split reply (default 50)\n"
    "Example: --faults drop=0.05,crc=0.02,split=0.1,gap=40\n"
    "\n"
    "Write faults (--write-faults): comma-separated KIND=NAME items, NAME a\n"
    "parameter of the description (any case); the device answers the write as\n"
    "if it had stored the value, but:\n"
    "  ignore=NAME       keeps the old value\n"
    "  clamp=NAME        stores at most the middle of the parameter's limits\n"
    "  offset=NAME:STEP  stores the value plus STEP, a decimal point number\n"
    "                    (each half of a point)\n"
    "Example: --write-faults ignore=Beep,clamp=T.sp[0],offset=Ti[0]:5\n"
    "\n"
    "Network (--listen tcp:HOST:PORT): the simulator serves a TCP port as a\n"
    "serial device server in transparent mode does, one client at a time (a\n"
    "second one waits until the first leaves, or with --busy refuse is\n"
    "disconnected at once); PORT 0 takes a free port. The first line of\n"
    "standard output is then tcp://HOST:PORT. --latency MS[:JITTER] delays\n"
    "every reply by MS +- JITTER ms and --segment N sends it in pieces of N\n"
    "bytes, as a cellular link would deliver it.\n"
    "Example: --listen tcp:127.0.0.1:0 --latency 100:20 --segment 4\n"
    "\n"
    "Missing parameters (--missing): comma-separated names of the description\n"
    "(any case) the device lacks, as an older firmware would: a parameter's\n"
    "full name (T.sp[1]) or a base name for all its indexes and channels\n"
    "(T.sp). Every request for them gets the error reply \"unknown name\".\n"
    "Example: --missing Beep,T.sp[1]\n";

}  // namespace

bool parseFaultRates(const QString& spec, FaultRates& rates, QString& error)
{
    FaultRates parsed;
    const QStringList items = spec.split(',', Qt::SkipEmptyParts);
    for (const QString& rawItem : items) {
        const QString item = rawItem.trimmed();
        const int eq = item.indexOf('=');
        if (eq <= 0) {
            error = QStringLiteral("fault \"%1\": expected KIND=RATE").arg(item);
            return false;
        }
        const QString kind = item.left(eq).trimmed().toLower();
        const QString value = item.mid(eq + 1).trimmed();
        if (kind == "gap") {
            if (!parseInt(value, 0, 60000, parsed.splitGapMs)) {
                error = QStringLiteral("fault gap \"%1\": expected milliseconds 0..60000").arg(value);
                return false;
            }
            continue;
        }
        bool ok = false;
        const double rate = value.toDouble(&ok);
        if (!ok || !(rate >= 0.0 && rate <= 1.0)) {
            error = QStringLiteral("fault rate \"%1\" of %2: expected a number 0..1").arg(value, kind);
            return false;
        }
        if (kind == "drop")
            parsed.drop = rate;
        else if (kind == "crc")
            parsed.crc = rate;
        else if (kind == "garbage")
            parsed.garbage = rate;
        else if (kind == "split")
            parsed.split = rate;
        else if (kind == "truncate")
            parsed.truncate = rate;
        else {
            error = QStringLiteral("unknown fault kind \"%1\" (drop, crc, garbage, split, truncate, gap)").arg(kind);
            return false;
        }
    }
    rates = parsed;
    return true;
}

bool parseSimOptions(const QStringList& args, SimOptions& options, QString& error, bool& helpShown)
{
    helpShown = false;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Simulated HRC417 heating controller on a virtual serial line.");
    const QCommandLineOption helpOption({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption versionOption("version", "Show the version and exit.");
    const QCommandLineOption deviceOption(
        "device", "Serve on an existing serial device PATH (e.g. one end of a null-modem cable) "
                  "instead of a new pseudo-terminal.", "PATH");
    const QCommandLineOption linkOption(
        "link", "Also create a symbolic link PATH to the terminal; removed on exit.", "PATH");
    const QCommandLineOption descriptionOption(
        "description", "Device description to answer for (default: the built-in hrc417.xml).",
        "PATH");
    const QCommandLineOption stateOption(
        "state", "Load the parameter values from FILE at start (if it exists) and save them "
                 "there on exit; same format as the configurator's *.hrc417 files.", "FILE");
    const QCommandLineOption addressOption(
        "address", "Start with device address N (1..2047) instead of the stored one.", "N");
    const QCommandLineOption baudOption(
        "baud", "Pace requests and replies at N bit/s, 10 bits per character "
                "(default: no pacing; with --device also the line speed).", "N");
    const QCommandLineOption turnaroundOption(
        "turnaround", "Response delay of the device in milliseconds (default 0).", "MS");
    const QCommandLineOption listenOption(
        "listen", "Serve on TCP port PORT of HOST instead of a pseudo-terminal (see below).", "tcp:HOST:PORT");
    const QCommandLineOption busyOption(
        "busy", "With --listen: a second client waits (wait, default) or is refused (refuse).", "wait|refuse");
    const QCommandLineOption latencyOption(
        "latency", "Delay every reply by MS milliseconds, plus or minus JITTER (default 0).", "MS[:JITTER]");
    const QCommandLineOption segmentOption(
        "segment", "Send every reply in pieces of N bytes (default: whole, or as paced).", "N");
    const QCommandLineOption faultsOption(
        "faults", "Inject line faults, e.g. drop=0.1,crc=0.05 (see below).", "SPEC");
    const QCommandLineOption writeFaultsOption(
        "write-faults", "Get the writes of the named parameters wrong, e.g. ignore=Beep (see below).",
        "SPEC");
    const QCommandLineOption missingOption(
        "missing", "Answer the named parameters as unknown, e.g. Beep,T.sp (see below).", "NAMES");
    const QCommandLineOption seedOption(
        "seed", "Seed of the fault and operating-value generators, for repeatable runs.", "N");
    const QCommandLineOption verboseOption(
        "verbose", "Print every exchange (request name, index, address, reply or error) "
                   "to standard error.");
    const QCommandLineOption speedCheckOption(
        "speed-check", "On a pseudo-terminal, leave requests unanswered that the client sends at "
                       "another line speed than the device's (--baud, else its bPS), as a real "
                       "device would not understand them.");
    parser.addOptions({helpOption, versionOption, deviceOption, linkOption, descriptionOption,
                       stateOption, addressOption, baudOption, turnaroundOption, listenOption,
                       busyOption, latencyOption, segmentOption, faultsOption,
                       writeFaultsOption, missingOption, seedOption, verboseOption,
                       speedCheckOption});

    if (!parser.parse(args)) {
        error = parser.errorText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }
    if (parser.isSet(helpOption)) {
        QTextStream out(stdout);
        out << parser.helpText() << kHelpTail;
        helpShown = true;
        return true;
    }
    if (parser.isSet(versionOption)) {
        QTextStream out(stdout);
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
            << '\n';
        helpShown = true;
        return true;
    }

    SimOptions parsed;
    parsed.device = parser.value(deviceOption);
    parsed.link = parser.value(linkOption);
    parsed.description = parser.value(descriptionOption);
    parsed.stateFile = parser.value(stateOption);
    parsed.verbose = parser.isSet(verboseOption);
    parsed.speedCheck = parser.isSet(speedCheckOption);
    if (parser.isSet(addressOption) && !parseInt(parser.value(addressOption), 1, 2047, parsed.address)) {
        error = "--address: expected a number 1..2047";
        return false;
    }
    if (parser.isSet(baudOption) && !parseInt(parser.value(baudOption), 50, 4000000, parsed.baud)) {
        error = "--baud: expected bit/s 50..4000000";
        return false;
    }
    if (parser.isSet(turnaroundOption)
        && !parseInt(parser.value(turnaroundOption), 0, 60000, parsed.turnaroundMs)) {
        error = "--turnaround: expected milliseconds 0..60000";
        return false;
    }
    if (parser.isSet(listenOption)) {
        parsed.listen = parser.value(listenOption);
        if (!parsed.device.isEmpty()) {
            error = "--listen and --device exclude each other";
            return false;
        }
    }
    if (parser.isSet(busyOption)) {
        const QString busy = parser.value(busyOption);
        if (busy != "wait" && busy != "refuse") {
            error = "--busy: expected wait or refuse";
            return false;
        }
        parsed.refuseSecondClient = busy == "refuse";
    }
    if (parser.isSet(latencyOption)) {
        const QStringList parts = parser.value(latencyOption).split(':');
        if (parts.size() > 2 || !parseInt(parts[0], 0, 60000, parsed.latencyMs)
            || (parts.size() == 2 && !parseInt(parts[1], 0, parsed.latencyMs, parsed.jitterMs))) {
            error = "--latency: expected MS[:JITTER], milliseconds 0..60000, JITTER at most MS";
            return false;
        }
    }
    if (parser.isSet(segmentOption) && !parseInt(parser.value(segmentOption), 1, 4096, parsed.segmentBytes)) {
        error = "--segment: expected bytes 1..4096";
        return false;
    }
    if (parser.isSet(faultsOption)) {
        QString faultError;
        if (!parseFaultRates(parser.value(faultsOption), parsed.faults, faultError)) {
            error = "--faults: " + faultError;
            return false;
        }
    }
    if (parser.isSet(writeFaultsOption)) {
        QString faultError;
        if (!parsed.writeFaults.parse(parser.value(writeFaultsOption), faultError)) {
            error = "--write-faults: " + faultError;
            return false;
        }
    }
    if (parser.isSet(missingOption)) {
        for (const QString& name : parser.value(missingOption).split(',', Qt::SkipEmptyParts))
            parsed.missing << name.trimmed();
        if (parsed.missing.isEmpty()) {
            error = "--missing: expected NAME,...";
            return false;
        }
    }
    if (parser.isSet(seedOption)) {
        bool ok = false;
        parsed.seed = parser.value(seedOption).toULongLong(&ok);
        if (!ok) {
            error = "--seed: expected an unsigned number";
            return false;
        }
        parsed.seedGiven = true;
    }
    options = parsed;
    return true;
}
