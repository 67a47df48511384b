#include "cli/clitool.h"

#include "cli/exchange.h"
#include "config/frames.h"
#include "discovery/detectdevicethread.h"
#include "discovery/usbadapter.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QSerialPortInfo>

#include <cstdio>

using Frames::Field;

namespace {

const char Program[] = "radioconf-cli";

const QCommandLineOption HelpOption({"h", "help"}, "Show this help.");
const QCommandLineOption QuietOption({"q", "quiet"}, "No progress on standard error.");
const QCommandLineOption JsonOption("json", "Print JSON instead of text.");
const QCommandLineOption AllOption("all", "List every serial port; mark recognised ones with *.");
const QCommandLineOption
    PortOption("port",
               "Serial port of the module (e.g. ttyUSB0 or /dev/ttyUSB0). May be left out when "
               "exactly one recognised adapter is attached.",
               "name");
const QCommandLineOption
    FromOption("from",
               "Take the values from FILE, as read --json wrote it (model, version and MAC are "
               "ignored). Options given as well override the file.",
               "file");
const QCommandLineOption BehaviourOption("behaviour", "How the module behaves; default normal.",
                                         "name", "normal");
const QCommandLineOption DelayOption("delay", "Pause between reply bytes for trickle, in ms.", "ms",
                                     "20");

QCommandLineOption valueOption(Field field)
{
    const QString name = CliFormat::optionName(field).mid(2);
    switch (field) {
    case Frames::Frequency:
        return {name, "RF frequency in MHz, e.g. 868.1.", "MHz"};
    case Frames::GroupId:
        return {name, "Group ID, 0 to 255.", "N"};
    case Frames::Parity:
        return {name, "UART parity: none, odd or even.", "parity"};
    default:
        return {name,
                QStringLiteral("%1: %2.").arg(Frames::fieldName(field),
                                              Frames::itemTexts(field).join(", ")),
                "value"};
    }
}

struct CommandInfo
{
    const char *name;
    const char *synopsis;
    const char *description;
};

const CommandInfo Commands[] = {
    {"list", "list [--all] [--json]",
     "Lists the serial ports of recognised adapters ({adapters}), one a line: port, VID:PID, "
     "description."},
    {"read", "read [--port NAME] [--json]",
     "Reads the module's parameters and prints them: RF frequency (MHz), group ID, RF TRx rate, "
     "RF power, UART baud rate and parity, wake-up time, model, version and MAC. An exchange "
     "takes a little over 3 s; a module that does not answer, about 10 s."},
    {"write",
     "write [--port NAME] [--freq MHZ] [--group N] [--rate TEXT] [--power N] [--baud N] "
     "[--parity none|odd|even] [--wakeup TEXT] [--from FILE] [--json]",
     "Reads the module, applies the values given, writes them, and prints what the module then "
     "reports. Values are written as the window shows them (--rate 4.56K --power 7 --wakeup 1s). "
     "When the module reports other values than those written, each such field is named, with "
     "what was wanted and what came back, and the exit code is 6."},
    {"simulate", "simulate [--behaviour NAME] [--delay MS]",
     "Serves a simulated module on a pseudo-terminal until interrupted (Ctrl+C). Prints the "
     "terminal's path on standard output, for --port."},
};

const CommandInfo *commandInfo(const QString &name)
{
    for (const CommandInfo &info : Commands) {
        if (name == QLatin1String(info.name))
            return &info;
    }
    return nullptr;
}

// The adapters' names and identifiers come from the one table of them.
QString commandDescription(const CommandInfo &info)
{
    QStringList adapters;
    for (const UsbAdapter &adapter : RecognisedAdapters)
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
    std::fprintf(stderr, "%s: %s\n", Program, qPrintable(message));
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

CliTool::CliTool(QTextStream &out, QTextStream &err) : out(out), err(err) {}

void CliTool::setSimulator(const QStringList &behaviours, Simulate simulate)
{
    this->behaviours = behaviours;
    simulator = std::move(simulate);
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
    for (const CommandInfo &info : Commands)
        text += wrap(QLatin1String(info.synopsis), 8, 2);
    text += QStringLiteral("  help COMMAND\n"
                           "\n"
                           "Options:\n"
                           "  -h, --help     this help; COMMAND --help for a command's\n"
                           "  -q, --quiet    no progress on standard error\n"
                           "  --version      the version\n"
                           "\n"
                           "Results go to standard output; progress and failures, one line\n"
                           "each naming the port, to standard error.\n"
                           "\n");
    return text + exitCodesHelp();
}

int CliTool::run(const QStringList &arguments)
{
    const QStringList args = arguments.mid(1);
    if (args.isEmpty()) {
        err << mainHelp();
        err.flush();
        return UsageError;
    }
    const QString first = args.first();
    if (first == QLatin1String("-h") || first == QLatin1String("--help")) {
        out << mainHelp();
        out.flush();
        return Success;
    }
    if (first == QLatin1String("--version")) {
        out << Program << ' ' << QCoreApplication::applicationVersion() << '\n';
        out.flush();
        return Success;
    }
    if (first == QLatin1String("help")) {
        if (args.size() == 1) {
            out << mainHelp();
            out.flush();
            return Success;
        }
        return runCommand(args.at(1), {QStringLiteral("--help")});
    }
    return runCommand(first, args.mid(1));
}

int CliTool::runCommand(const QString &name, const QStringList &arguments)
{
    const CommandInfo *info = commandInfo(name);
    if (!info) {
        err << Program << ": unknown command \"" << name << "\"; see " << Program << " --help\n";
        err.flush();
        return UsageError;
    }
    command = name;

    QCommandLineParser parser;
    parser.addOption(HelpOption);
    parser.addOption(QuietOption);
    if (name == QLatin1String("list")) {
        parser.addOption(AllOption);
        parser.addOption(JsonOption);
    } else if (name == QLatin1String("read")) {
        parser.addOption(PortOption);
        parser.addOption(JsonOption);
    } else if (name == QLatin1String("write")) {
        parser.addOption(PortOption);
        for (Field field : Frames::ALL_FIELDS)
            parser.addOption(valueOption(field));
        parser.addOption(FromOption);
        parser.addOption(JsonOption);
    } else {
        QCommandLineOption behaviour = BehaviourOption;
        behaviour.setDescription(behaviour.description() +
                                 QStringLiteral(" One of: %1.").arg(behaviours.join(", ")));
        parser.addOption(behaviour);
        parser.addOption(DelayOption);
    }

    if (!parser.parse(QStringList{QLatin1String(Program)} + arguments)) {
        fail(QStringLiteral("%1; see %2 %3 --help").arg(parser.errorText(), Program, name));
        return UsageError;
    }
    if (parser.isSet(HelpOption)) {
        // Qt's usage line names neither the command nor its synopsis.
        const QString options = parser.helpText();
        out << "Usage: " << wrap(QStringLiteral("%1 %2").arg(Program, info->synopsis), 8) << '\n'
            << wrap(commandDescription(*info), 0) << '\n'
            << options.mid(options.indexOf(QLatin1String("Options:"))) << '\n'
            << exitCodesHelp();
        out.flush();
        return Success;
    }
    if (!parser.positionalArguments().isEmpty()) {
        fail(QStringLiteral("unexpected argument \"%1\"; see %2 %3 --help")
                 .arg(parser.positionalArguments().first(), Program, name));
        return UsageError;
    }
    quiet = parser.isSet(QuietOption);

    if (name == QLatin1String("list"))
        return list(parser);
    if (name == QLatin1String("read"))
        return read(parser);
    if (name == QLatin1String("write"))
        return write(parser);
    return simulate(parser);
}

QList<CliFormat::PortEntry> CliTool::scanPorts() const
{
    QList<CliFormat::PortEntry> ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        CliFormat::PortEntry port;
        port.name = info.portName();
        port.hasIdentifiers = info.hasVendorIdentifier() && info.hasProductIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.productId = info.productIdentifier();
        port.description = info.description();
        port.recognised =
            port.hasIdentifiers && DetectDeviceThread::isRecognised(port.vendorId, port.productId);
        ports << port;
    }
    std::sort(ports.begin(), ports.end(),
              [](const CliFormat::PortEntry &a, const CliFormat::PortEntry &b) {
                  return a.name < b.name;
              });
    return ports;
}

int CliTool::list(QCommandLineParser &parser)
{
    const bool all = parser.isSet(AllOption);
    QList<CliFormat::PortEntry> ports = scanPorts();
    if (!all) {
        ports.erase(std::remove_if(ports.begin(), ports.end(),
                                   [](const CliFormat::PortEntry &p) { return !p.recognised; }),
                    ports.end());
    }
    if (parser.isSet(JsonOption))
        out << QJsonDocument(CliFormat::portsJson(ports)).toJson(QJsonDocument::Indented);
    else
        out << CliFormat::portsText(ports, all);
    out.flush();
    if (ports.isEmpty())
        progress(all ? QStringLiteral("no serial ports found")
                     : QStringLiteral("no recognised adapter attached; --all lists every port"));
    return Success;
}

std::optional<QString> CliTool::resolvePort(const QCommandLineParser &parser, int *exitCode)
{
    if (parser.isSet(PortOption)) {
        const QString port = parser.value(PortOption);
        if (!port.isEmpty())
            return port;
        fail(QStringLiteral("--port needs a port name"));
        *exitCode = UsageError;
        return std::nullopt;
    }
    const QList<CliFormat::PortEntry> ports = scanPorts();
    QStringList recognised;
    QStringList found;
    for (const CliFormat::PortEntry &port : ports) {
        found << QStringLiteral("%1 (%2)").arg(port.name, CliFormat::identifiersText(port));
        if (port.recognised)
            recognised << port.name;
    }
    if (recognised.size() == 1)
        return recognised.first();
    const QString seen = found.isEmpty() ? QStringLiteral("no serial ports at all")
                                         : QStringLiteral("serial ports: %1").arg(found.join(", "));
    if (recognised.isEmpty()) {
        fail(QStringLiteral("no recognised adapter attached (%1); give --port").arg(seen));
        *exitCode = OpenFailed;
    } else {
        fail(QStringLiteral("several recognised adapters attached (%1); choose one with --port")
                 .arg(seen));
        *exitCode = UsageError;
    }
    return std::nullopt;
}

int CliTool::exchange(const QString &port, const QByteArray &request, const QString &what,
                      Frames::Parameters *parameters)
{
    Exchange link;
    if (!quiet)
        link.setProgress([this](const QString &text) { progress(text); });
    switch (link.run(port, request, what)) {
    case Exchange::Reply:
        break;
    case Exchange::OpenFail: {
        QString reason = Exchange::openFailureReason(port);
        if (reason.isEmpty())
            reason = QStringLiteral("it did not open in three attempts");
        fail(QStringLiteral("%1: the port did not open: %2").arg(port, reason));
        return OpenFailed;
    }
    case Exchange::TimeOut:
        fail(QStringLiteral("%1: no reply from the module (the %2 request was sent twice)")
                 .arg(port, what));
        return NoReply;
    case Exchange::PortError:
        fail(QStringLiteral("%1: port error while waiting for the reply to the %2 request "
                            "(adapter pulled out?)")
                 .arg(port, what));
        return PortFailed;
    }
    // The worker only hands over replies that are long enough to decode.
    const std::optional<Frames::Parameters> decoded = Frames::decodeParameterBlock(link.reply());
    if (!decoded) {
        fail(QStringLiteral("%1: the module's reply is too short").arg(port));
        return PortFailed;
    }
    *parameters = *decoded;
    return Success;
}

void CliTool::printParameters(const QString &port, const Frames::Parameters &parameters, bool json)
{
    if (json)
        out << QJsonDocument(CliFormat::parametersJson(port, parameters))
                   .toJson(QJsonDocument::Indented);
    else
        out << CliFormat::parametersText(port, parameters);
    out.flush();
}

int CliTool::read(QCommandLineParser &parser)
{
    int code = Success;
    const std::optional<QString> port = resolvePort(parser, &code);
    if (!port)
        return code;
    Frames::Parameters parameters;
    code = exchange(*port, Frames::READ_REQUEST, QStringLiteral("read"), &parameters);
    if (code == Success)
        printParameters(*port, parameters, parser.isSet(JsonOption));
    return code;
}

int CliTool::write(QCommandLineParser &parser)
{
    // Everything is checked before the port is touched.
    CliFormat::Changes changes;
    bool refused = false;
    if (parser.isSet(FromOption)) {
        const QString path = parser.value(FromOption);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("--from %1: %2").arg(path, file.errorString()));
            return UsageError;
        }
        QString error;
        const std::optional<CliFormat::Changes> fromFile =
            CliFormat::changesFromJson(file.readAll(), &error);
        if (!fromFile) {
            fail(QStringLiteral("--from %1: %2").arg(path, error));
            return UsageError;
        }
        changes = *fromFile;
    }
    for (Field field : Frames::ALL_FIELDS) {
        const QString option = CliFormat::optionName(field);
        if (!parser.isSet(option.mid(2)))
            continue;
        const QString text = parser.value(option.mid(2));
        const std::optional<int> value = CliFormat::parseValue(field, text);
        if (!value) {
            fail(QStringLiteral("%1 \"%2\" refused: %3")
                     .arg(option, text, CliFormat::refusal(field)));
            refused = true;
            continue;
        }
        changes.insert(field, *value);
    }
    if (refused)
        return UsageError;
    if (changes.isEmpty()) {
        fail(QStringLiteral("nothing to write: give a value option or --from; see %1 write --help")
                 .arg(Program));
        return UsageError;
    }

    int code = Success;
    const std::optional<QString> port = resolvePort(parser, &code);
    if (!port)
        return code;
    Frames::Parameters before;
    code = exchange(*port, Frames::READ_REQUEST, QStringLiteral("read"), &before);
    if (code != Success)
        return code;

    // Fields left as they are go back as read: a code the module reports
    // that names no item cannot be written back.
    const Frames::Settings wanted = CliFormat::applyChanges(before.settings, changes);
    const QList<Frames::Problem> problems = Frames::validate(wanted);
    if (!problems.isEmpty()) {
        QStringList texts;
        for (const Frames::Problem &problem : problems)
            texts << QStringLiteral("%1 (reported %2; give %3)")
                         .arg(problem.message, CliFormat::valueText(problem.field, wanted),
                              CliFormat::optionName(problem.field));
        fail(QStringLiteral("%1: nothing written, the module's current values cannot be written "
                            "back: %2")
                 .arg(*port, texts.join(' ')));
        return UsageError;
    }

    Frames::Parameters after;
    code = exchange(*port, Frames::encodeWriteRequest(wanted), QStringLiteral("write"), &after);
    if (code != Success)
        return code;
    printParameters(*port, after, parser.isSet(JsonOption));
    const QStringList differences = CliFormat::differences(wanted, after.settings);
    if (!differences.isEmpty()) {
        fail(QStringLiteral("%1: the module reports other values than written: %2")
                 .arg(*port, differences.join("; ")));
        return Mismatch;
    }
    return Success;
}

int CliTool::simulate(QCommandLineParser &parser)
{
    if (!simulator) {
        fail(QStringLiteral("the simulated module is not available in this build"));
        return UsageError;
    }
    const QString behaviour = parser.value(BehaviourOption);
    if (!behaviours.contains(behaviour)) {
        fail(QStringLiteral("--behaviour \"%1\" refused: choose one of %2")
                 .arg(behaviour, behaviours.join(", ")));
        return UsageError;
    }
    bool ok = false;
    const int delay = parser.value(DelayOption).toInt(&ok);
    if (!ok || delay < 0) {
        fail(QStringLiteral("--delay \"%1\" refused: a number of milliseconds, 0 or more")
                 .arg(parser.value(DelayOption)));
        return UsageError;
    }
    return simulator(behaviour, delay, out, err);
}

void CliTool::progress(const QString &text)
{
    if (quiet)
        return;
    err << Program << ": " << text << '\n';
    err.flush();
}

void CliTool::fail(const QString &text)
{
    err << Program << ": " << command << (command.isEmpty() ? "" : ": ") << text << '\n';
    err.flush();
}
