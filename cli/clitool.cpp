#include "cli/clitool.h"

#include "cli/doctor.h"
#include "cli/portrunner.h"
#include "cli/signalnotifier.h"
#include "cli/station.h"
#include "config/frames.h"
#include "discovery/portresolver.h"
#include "discovery/usbadapter.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <utility>

using Frames::Field;
using Code = PortResult::Code;

namespace {

const char PROGRAM[] = "radioconf-cli";

const QCommandLineOption HELP_OPTION({"h", "help"}, "Show this help.");
const QCommandLineOption QUIET_OPTION({"q", "quiet"}, "No progress on standard error.");
const QCommandLineOption JSON_OPTION("json", "Print JSON instead of text.");
const QCommandLineOption ALL_OPTION("all", "List every serial port; mark recognised ones with *.");
const QCommandLineOption
    PORT_OPTION("port",
                "Serial port of the module (e.g. ttyUSB0 or /dev/ttyUSB0); repeat it for several "
                "modules, served side by side. May be left out when exactly one recognised "
                "adapter is attached.",
                "name");
const QCommandLineOption ALL_PORTS_OPTION("all",
                                          "Every recognised adapter attached, side by side.");
const QCommandLineOption LIST_PORT_OPTION("port", "Only this port; may be repeated.", "name");
const QCommandLineOption
    SETTLE_OPTION("settle",
                  "Wait MS after each exchange, for modules that need a pause between exchanges; "
                  "default 0.",
                  "ms", "0");
const QCommandLineOption PROVISION_FROM_OPTION(
    "from",
    "The values to write, as read --json wrote it (with several objects, each module takes the "
    "one for its port, else for its MAC); without it, each module's own.",
    "file");
const QCommandLineOption PROVISION_PORT_OPTION(
    "port",
    "Only this port (e.g. ttyUSB0, /dev/ttyUSB0 or a /dev/serial/by-id link); may be repeated. "
    "Other adapters are left alone; with --watch, a port not attached yet is waited for.",
    "name");
const QCommandLineOption TABLE_OPTION(
    "table",
    "Values of each module's own, by MAC: a CSV file whose header names mac and any of "
    "frequency, group, rate, power, baud, parity, wakeup, then one row per module. Its row "
    "goes on top of --from. An empty cell keeps the other value.",
    "file");
const QCommandLineOption
    ONLY_LISTED_OPTION("only-listed", "Skip (and report) modules whose MAC is not in --table.");
const QCommandLineOption
    WATCH_OPTION("watch", "Then stay, and provision each recognised adapter as it is plugged in "
                          "(once per plug) until Ctrl+C or SIGTERM, which end it after the "
                          "exchanges in progress.");
const QCommandLineOption LOG_OPTION("log", "Append the result lines to FILE as well.", "file");
const QCommandLineOption
    FROM_OPTION("from",
                "Take the values from FILE, as read --json wrote it: one object, or one a line "
                "of which each port takes the one for it (by port, else by MAC). Keys that "
                "are no field are refused, but for port, model, version, mac, outcome and "
                "error. Options given as well override the file.",
                "file");
const QCommandLineOption DOCTOR_PORT_OPTION(
    "port", "Check this port instead of the recognised adapters; may be repeated.", "name");
const QCommandLineOption BEHAVIOUR_OPTION("behaviour", "How the module behaves; default normal.",
                                          "name", "normal");
const QCommandLineOption DELAY_OPTION("delay", "Pause between reply bytes for trickle, in ms.",
                                      "ms", "20");

QCommandLineOption valueOption(Field field)
{
    const Frames::FieldInfo &info = Frames::fieldInfo(field);
    QString help = QStringLiteral("%1: %2.").arg(Frames::fieldName(field),
                                                 Frames::itemTexts(field).join(", "));
    if (info.optionHelp) {
        help = QString::fromLatin1(info.optionHelp);
        if (info.kind == Frames::FieldKind::Number)
            help = help.arg(info.minimum).arg(info.maximum);
    }
    return {CliFormat::optionName(field).mid(2), help, QString::fromLatin1(info.optionValue)};
}

struct CommandInfo
{
    const char *name;
    const char *synopsis;
    const char *description;
};

const CommandInfo COMMANDS[] = {
    {"list", "list [--all] [--port NAME]... [--json]",
     "Lists the serial ports of recognised adapters ({adapters}), one a line: port, VID:PID, "
     "description. With --port, only the ports named; one that is not there gives exit code 3."},
    {"read", "read [--port NAME]... [--all] [--settle MS] [--json]",
     "Reads the module's parameters and prints them: RF frequency (MHz), group ID, RF TRx rate, "
     "RF power, UART baud rate and parity, wake-up time, model, version and MAC. An exchange "
     "takes a few tens of milliseconds; a module that does not answer, about 10 s. With several "
     "ports (--port repeated, or --all) the modules are read side by side: every line is "
     "prefixed with its port, --json prints one object per line and port with its \"outcome\", "
     "a summary line on standard error names the ports that failed and why, and the exit code "
     "is the worst of the ports'. Ctrl+C then ends it after the exchanges in progress."},
    {"write",
     "write [--port NAME]... [--all] [--freq MHZ] [--group N] [--rate TEXT] [--power N] "
     "[--baud N] [--parity none|odd|even] [--wakeup TEXT] [--from FILE] [--settle MS] [--json]",
     "Reads the module, applies the values given, writes them, and prints what the module then "
     "reports. Values are written as the window shows them (--rate 4.56K --power 7 --wakeup 1s). "
     "When the module reports other values than those written, each such field is named, with "
     "what was wanted and what came back, and the exit code is 6. Several ports are written side "
     "by side, as read does."},
    {"provision",
     "provision [--from FILE] [--table FILE.csv [--only-listed]] [--port NAME]... [--watch] "
     "[--log FILE] [--settle MS] [--json]",
     "The provisioning station: writes the values of --from, each module's row of --table on "
     "top, to every recognised adapter attached (with --port, to the ports named alone), side "
     "by side, and verifies each. Each module's "
     "MAC is read first. One result line per module as it ends: time (UTC), port, model, MAC, "
     "and \"provisioned\" with the values, \"skipped\" or \"failed\" with why (--json: one "
     "object per line). A module that fails does not stop the others; a summary line goes to "
     "standard error, and the exit code is the worst of the modules'. A malformed table is "
     "refused, naming its line, before anything is sent."},
    {"doctor", "doctor [--port NAME]... [--json]",
     "Checks this machine for what keeps a module's port from opening, one line per check with "
     "what to do when it fails: a recognised adapter attached; each one's port opens for this "
     "user (with --port, the ports named instead); programs that take serial adapters "
     "(ModemManager, gpsd, brltty) running, and whether they hold one of those ports; the "
     "radioconf packages' udev rule installed. --json prints one object per check and line: "
     "check, ok, detail, fix, and port for a port's check. The exit code is 0 when every check "
     "passes, 1 when one fails."},
    {"simulate", "simulate [--behaviour NAME] [--delay MS]",
     "Serves a simulated module on a pseudo-terminal until interrupted (Ctrl+C). Prints the "
     "terminal's path on standard output, for --port."},
};

const CommandInfo *commandInfo(const QString &name)
{
    for (const CommandInfo &info : COMMANDS) {
        if (name == QLatin1String(info.name))
            return &info;
    }
    return nullptr;
}

// The adapters' names and identifiers come from the one table of them.
QString commandDescription(const CommandInfo &info)
{
    QStringList adapters;
    for (const UsbAdapter &adapter : RECOGNISED_ADAPTERS)
        adapters << QLatin1String(adapter.chip) + QLatin1Char(' ') + adapter.identifiers();
    return QString::fromLatin1(info.description)
        .replace(QLatin1String("{adapters}"), adapters.join(QLatin1String(", ")));
}

// Word-wrapped to 79 columns; lines after the first indented.
QString wrap(const QString &text, int indent, int firstIndent = 0)
{
#if QT_VERSION >= QT_VERSION_CHECK(5, 14, 0)
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
#else
    const QStringList words = text.split(QLatin1Char(' '), QString::SkipEmptyParts);
#endif
    QString result = QString(firstIndent, QLatin1Char(' '));
    int column = firstIndent;
    bool lineEmpty = true;
    for (const QString &word : words) {
        if (!lineEmpty && column + 1 + word.size() > 79) {
            result += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            result += QLatin1Char(' ');
            ++column;
        }
        result += word;
        column += word.size();
        lineEmpty = false;
    }
    return result + QLatin1Char('\n');
}

// The link worker's debug lines and Qt's warnings about a port that did not
// open (the worker sets its modem lines regardless) would drown the tool's
// own one-line reports.
void messageFilter(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg)
        return;
    std::fprintf(stderr, "%s: %s\n", PROGRAM, qPrintable(message));
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

CliTool::CliTool(QTextStream &out, QTextStream &err)
    : m_out(out), m_err(err), m_input([this](const QString &text) { fail(text); },
                                      [this](const QString &text) { progress(text); })
{
}

void CliTool::setSimulator(const QStringList &behaviours, Simulate simulate)
{
    m_behaviours = behaviours;
    m_simulator = std::move(simulate);
}

void CliTool::installMessageFilter()
{
    qInstallMessageHandler(messageFilter);
}

QString CliTool::exitCodesHelp()
{
    return QStringLiteral(
        "Exit codes:\n"
        "  0  success\n"
        "  1  doctor: a check failed\n"
        "  2  usage error or invalid value (nothing is written); also --port left out\n"
        "     while several recognised adapters are attached\n"
        "  3  the port did not open; also --port left out while no recognised adapter\n"
        "     is attached\n"
        "  4  no reply from the module (the request was sent twice, 5 s apart)\n"
        "  5  port error\n"
        "  6  the module reported other values than those written\n");
}

QString CliTool::mainHelp() const
{
    QString text = QStringLiteral(
        "Usage: radioconf-cli COMMAND [options]\n"
        "\n"
        "Reads and writes the parameters of a long-range radio module attached through\n"
        "a USB serial adapter, like the radioconf window does.\n"
        "\n"
        "Commands:\n");
    for (const CommandInfo &info : COMMANDS)
        text += wrap(QLatin1String(info.synopsis), 8, 2);
    text +=
        QStringLiteral("  help COMMAND\n"
                       "\n"
                       "Options:\n"
                       "  -h, --help     this help; COMMAND --help for a command's\n"
                       "  -q, --quiet    no progress on standard error\n"
                       "  --version      the version\n"
                       "\n"
                       "Results go to standard output; progress and failures, one line\n"
                       "each naming the port, to standard error.\n"
                       "\n"
                       "Several modules at once (read, write):\n"
                       "  --port NAME    may be repeated: the modules are served side by side,\n"
                       "                 each result line names its port, and a summary on\n"
                       "                 standard error names the ports that failed and why\n"
                       "  --all          every recognised adapter attached\n"
                       "\n"
                       "Pacing (read, write, provision):\n"
                       "  --settle MS    wait MS after each exchange, for modules that need a\n"
                       "                 pause between exchanges; default 0\n"
                       "\n"
                       "Provisioning station (provision): writes and verifies every\n"
                       "recognised adapter, reading each module's MAC first; one result line\n"
                       "per module (time, port, model, MAC, provisioned or why not).\n"
                       "  --from FILE    the values to write, as read --json wrote them\n"
                       "  --table CSV    each module's own values by MAC, on top of --from: a\n"
                       "                 header naming mac and field keys (frequency, group,\n"
                       "                 rate, power, baud, parity, wakeup), a row per module\n"
                       "  --only-listed  skip modules whose MAC is not in the table\n"
                       "  --watch        stay, and provision each adapter plugged in, once per\n"
                       "                 plug, until Ctrl+C or SIGTERM, which end it after the\n"
                       "                 exchanges in progress\n"
                       "  --log FILE     append the result lines to FILE\n"
                       "  --json         one JSON object per line\n"
                       "\n"
                       "With several ports the exit code is the worst of theirs.\n"
                       "\n");
    return text + exitCodesHelp();
}

int CliTool::run(const QStringList &arguments)
{
    const QStringList args = arguments.mid(1);
    if (args.isEmpty()) {
        m_err << mainHelp();
        m_err.flush();
        return PortResult::UsageError;
    }
    const QString first = args.first();
    if (first == QLatin1String("-h") || first == QLatin1String("--help")) {
        m_out << mainHelp();
        m_out.flush();
        return PortResult::Success;
    }
    if (first == QLatin1String("--version")) {
        m_out << PROGRAM << ' ' << QCoreApplication::applicationVersion() << '\n';
        m_out.flush();
        return PortResult::Success;
    }
    if (first == QLatin1String("help")) {
        if (args.size() == 1) {
            m_out << mainHelp();
            m_out.flush();
            return PortResult::Success;
        }
        return runCommand(args.at(1), {QStringLiteral("--help")});
    }
    return runCommand(first, args.mid(1));
}

int CliTool::runCommand(const QString &name, const QStringList &arguments)
{
    const CommandInfo *info = commandInfo(name);
    if (!info) {
        m_err << PROGRAM << ": unknown command \"" << name << "\"; see " << PROGRAM << " --help\n";
        m_err.flush();
        return PortResult::UsageError;
    }
    m_command = name;

    QCommandLineParser parser;
    parser.addOption(HELP_OPTION);
    parser.addOption(QUIET_OPTION);
    if (name == QLatin1String("list")) {
        parser.addOption(ALL_OPTION);
        parser.addOption(JSON_OPTION);
        parser.addOption(LIST_PORT_OPTION);
    } else if (name == QLatin1String("read")) {
        parser.addOption(PORT_OPTION);
        parser.addOption(ALL_PORTS_OPTION);
        parser.addOption(SETTLE_OPTION);
        parser.addOption(JSON_OPTION);
    } else if (name == QLatin1String("write")) {
        parser.addOption(PORT_OPTION);
        parser.addOption(ALL_PORTS_OPTION);
        for (Field field : Frames::ALL_FIELDS)
            parser.addOption(valueOption(field));
        parser.addOption(FROM_OPTION);
        parser.addOption(SETTLE_OPTION);
        parser.addOption(JSON_OPTION);
    } else if (name == QLatin1String("provision")) {
        parser.addOption(PROVISION_FROM_OPTION);
        parser.addOption(PROVISION_PORT_OPTION);
        parser.addOption(TABLE_OPTION);
        parser.addOption(ONLY_LISTED_OPTION);
        parser.addOption(WATCH_OPTION);
        parser.addOption(LOG_OPTION);
        parser.addOption(SETTLE_OPTION);
        parser.addOption(JSON_OPTION);
    } else if (name == QLatin1String("doctor")) {
        parser.addOption(DOCTOR_PORT_OPTION);
        parser.addOption(JSON_OPTION);
    } else {
        QCommandLineOption behaviour = BEHAVIOUR_OPTION;
        behaviour.setDescription(behaviour.description() +
                                 QStringLiteral(" One of: %1.").arg(m_behaviours.join(", ")));
        parser.addOption(behaviour);
        parser.addOption(DELAY_OPTION);
    }

    if (!parser.parse(QStringList{QLatin1String(PROGRAM)} + arguments)) {
        // Qt's text ends with a full stop; ours goes on after it.
        QString error = parser.errorText();
        if (error.endsWith(QLatin1Char('.')))
            error.chop(1);
        fail(QStringLiteral("%1; see %2 %3 --help").arg(error, PROGRAM, name));
        return PortResult::UsageError;
    }
    if (parser.isSet(HELP_OPTION)) {
        // Qt's usage line names neither the command nor its synopsis.
        const QString options = parser.helpText();
        m_out << "Usage: " << wrap(QStringLiteral("%1 %2").arg(PROGRAM, info->synopsis), 8) << '\n'
              << wrap(commandDescription(*info), 0) << '\n'
              << options.mid(options.indexOf(QLatin1String("Options:"))) << '\n'
              << exitCodesHelp();
        m_out.flush();
        return PortResult::Success;
    }
    if (!parser.positionalArguments().isEmpty()) {
        fail(QStringLiteral("unexpected argument \"%1\"; see %2 %3 --help")
                 .arg(parser.positionalArguments().first(), PROGRAM, name));
        return PortResult::UsageError;
    }
    m_quiet = parser.isSet(QUIET_OPTION);

    if (name == QLatin1String("list"))
        return list(parser);
    if (name == QLatin1String("read"))
        return read(parser);
    if (name == QLatin1String("write"))
        return write(parser);
    if (name == QLatin1String("provision"))
        return provision(parser);
    if (name == QLatin1String("doctor"))
        return Doctor::run(parser.values(DOCTOR_PORT_OPTION), parser.isSet(JSON_OPTION), m_out);
    return simulate(parser);
}

int CliTool::list(QCommandLineParser &parser)
{
    // Named as /dev/ttyUSB0 or as ttyUSB0.
    QStringList named = parser.values(LIST_PORT_OPTION);
    for (QString &name : named)
        name = name.section(QLatin1Char('/'), -1);
    const bool all = parser.isSet(ALL_OPTION) || !named.isEmpty();
    QList<CliFormat::PortEntry> ports = PortResolver::fullScan();
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [&](const CliFormat::PortEntry &port) {
                                   return named.isEmpty() ? !all && !port.recognised
                                                          : !named.contains(port.name);
                               }),
                ports.end());
    QStringList missing = named;
    for (const CliFormat::PortEntry &port : std::as_const(ports))
        missing.removeAll(port.name);
    if (parser.isSet(JSON_OPTION))
        m_out << QJsonDocument(CliFormat::portsJson(ports)).toJson(QJsonDocument::Indented);
    else
        m_out << CliFormat::portsText(ports, all);
    m_out.flush();
    if (!missing.isEmpty()) {
        fail(QStringLiteral("no such serial port: %1").arg(missing.join(QStringLiteral(", "))));
        return PortResult::OpenFailed;
    }
    if (ports.isEmpty())
        progress(all ? QStringLiteral("no serial ports found")
                     : QStringLiteral("no recognised adapter attached; --all lists every port"));
    return PortResult::Success;
}

std::optional<int> CliTool::settleTime(const QCommandLineParser &parser)
{
    bool ok = false;
    const int settle = parser.value(SETTLE_OPTION).toInt(&ok);
    if (ok && settle >= 0)
        return settle;
    fail(QStringLiteral("--settle \"%1\" refused: a number of milliseconds, 0 or more")
             .arg(parser.value(SETTLE_OPTION)));
    return std::nullopt;
}

Exchange::Progress CliTool::progressCallback()
{
    if (m_quiet)
        return {};
    return [this](const QString &text) { progress(text); };
}

int CliTool::runPorts(const QCommandLineParser &parser, const ModuleJob::Plan &plan,
                      const QString &succeeded)
{
    const std::optional<int> settle = settleTime(parser);
    if (!settle)
        return PortResult::UsageError;
    int code = PortResult::Success;
    const QStringList ports =
        m_input.ports(parser.values(PORT_OPTION), parser.isSet(ALL_PORTS_OPTION), &code);
    if (ports.isEmpty())
        return code;
    // One port asked for alone keeps the plain output; --all is for
    // scripts that take whatever is attached, so it always names ports.
    const bool several = ports.size() > 1 || parser.isSet(ALL_PORTS_OPTION);
    const bool json = parser.isSet(JSON_OPTION);
    PortRunner runner(plan, *settle, progressCallback(), [&](const PortResult &result) {
        if (several && json)
            m_out << QJsonDocument(result.json()).toJson(QJsonDocument::Compact) << '\n';
        else if (several)
            m_out << result.prefixedText();
        else if (result.hasValues() && json)
            m_out << QJsonDocument(CliFormat::parametersJson(result.port, *result.parameters))
                         .toJson(QJsonDocument::Indented);
        else if (result.hasValues())
            m_out << CliFormat::parametersText(result.port, *result.parameters);
        m_out.flush();
        if (result.code != PortResult::Success)
            fail(QStringLiteral("%1: %2").arg(result.port, result.reason));
    });
    // Several modules: an interruption waits for the exchanges in progress,
    // so that the summary tells what each module was left with.
    std::unique_ptr<SignalNotifier> interrupts;
    if (several) {
        interrupts = std::make_unique<SignalNotifier>();
        QObject::connect(interrupts.get(), &SignalNotifier::interrupted, &runner, [&] {
            if (!runner.interruptNotice().isEmpty())
                fail(runner.interruptNotice());
            runner.stop();
        });
    }
    for (const QString &port : ports)
        runner.start(port);
    runner.exec(false);
    if (several)
        fail(PortResult::summary(runner.results(), succeeded));
    return PortResult::worstCode(runner.results());
}

int CliTool::read(QCommandLineParser &parser)
{
    return runPorts(parser, ModuleJob::Plan(), QStringLiteral("read"));
}

int CliTool::write(QCommandLineParser &parser)
{
    // Everything is checked before the port is touched.
    std::optional<FromFile> from;
    if (parser.isSet(FROM_OPTION)) {
        from = m_input.fromFile(parser.value(FROM_OPTION));
        if (!from)
            return PortResult::UsageError;
    }
    QMap<Field, QString> given;
    for (Field field : Frames::ALL_FIELDS) {
        if (parser.isSet(CliFormat::optionName(field).mid(2)))
            given.insert(field, parser.value(CliFormat::optionName(field).mid(2)));
    }
    const std::optional<CliFormat::Changes> changes = m_input.values(given);
    if (!changes)
        return PortResult::UsageError;
    if (changes->isEmpty() &&
        (!from || (from->entries().size() == 1 && from->entries().first().changes.isEmpty()))) {
        fail(QStringLiteral("nothing to write: give a value option or --from; see %1 write --help")
                 .arg(PROGRAM));
        return PortResult::UsageError;
    }
    return runPorts(parser, CommandInput::writePlan(from, parser.value(FROM_OPTION), *changes),
                    QStringLiteral("written"));
}

int CliTool::provision(QCommandLineParser &parser)
{
    // The files are read and checked before anything is sent.
    Station::Options options;
    if (parser.isSet(PROVISION_FROM_OPTION)) {
        options.from = m_input.fromFile(parser.value(PROVISION_FROM_OPTION));
        if (!options.from)
            return PortResult::UsageError;
        options.fromName = parser.value(PROVISION_FROM_OPTION);
    }
    if (parser.isSet(TABLE_OPTION)) {
        const std::optional<QByteArray> bytes =
            m_input.readFile(QStringLiteral("table"), parser.value(TABLE_OPTION));
        if (!bytes)
            return PortResult::UsageError;
        QString error;
        options.table = ProvisionTable::parse(*bytes, &error);
        if (!options.table) {
            fail(QStringLiteral("--table %1: %2").arg(parser.value(TABLE_OPTION), error));
            return PortResult::UsageError;
        }
    }
    if (!options.from && !options.table) {
        fail(QStringLiteral("nothing to write: give --from, --table or both; see %1 provision "
                            "--help")
                 .arg(PROGRAM));
        return PortResult::UsageError;
    }
    if (parser.isSet(ONLY_LISTED_OPTION) && !options.table) {
        fail(QStringLiteral("--only-listed needs --table"));
        return PortResult::UsageError;
    }
    const std::optional<int> settle = settleTime(parser);
    if (!settle)
        return PortResult::UsageError;
    QFile log;
    if (parser.isSet(LOG_OPTION)) {
        log.setFileName(parser.value(LOG_OPTION));
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            fail(QStringLiteral("--log %1: %2").arg(log.fileName(), log.errorString()));
            return PortResult::UsageError;
        }
    }
    if (parser.values(PROVISION_PORT_OPTION).contains(QString())) {
        fail(QStringLiteral("--port needs a port name"));
        return PortResult::UsageError;
    }
    options.ports = m_input.uniquePorts(parser.values(PROVISION_PORT_OPTION));
    options.onlyListed = parser.isSet(ONLY_LISTED_OPTION);
    options.watch = parser.isSet(WATCH_OPTION);
    options.json = parser.isSet(JSON_OPTION);
    options.settleMs = *settle;
    Station station(options, CommandInput::stationScan(options.ports, options.watch), m_out,
                    progressCallback(), [this](const QString &text) { fail(text); });
    if (log.isOpen())
        station.setLog(&log);
    return station.run();
}

int CliTool::simulate(QCommandLineParser &parser)
{
    if (!m_simulator) {
        fail(QStringLiteral("the simulated module is not available in this build"));
        return PortResult::UsageError;
    }
    const QString behaviour = parser.value(BEHAVIOUR_OPTION);
    if (!m_behaviours.contains(behaviour)) {
        fail(QStringLiteral("--behaviour \"%1\" refused: choose one of %2")
                 .arg(behaviour, m_behaviours.join(", ")));
        return PortResult::UsageError;
    }
    bool ok = false;
    const int delay = parser.value(DELAY_OPTION).toInt(&ok);
    if (!ok || delay < 0) {
        fail(QStringLiteral("--delay \"%1\" refused: a number of milliseconds, 0 or more")
                 .arg(parser.value(DELAY_OPTION)));
        return PortResult::UsageError;
    }
    return m_simulator(behaviour, delay, m_out, m_err);
}

void CliTool::progress(const QString &text)
{
    if (m_quiet)
        return;
    m_err << PROGRAM << ": " << text << '\n';
    m_err.flush();
}

void CliTool::fail(const QString &text)
{
    m_err << PROGRAM << ": " << m_command << (m_command.isEmpty() ? "" : ": ") << text << '\n';
    m_err.flush();
}
