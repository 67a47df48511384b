#include "cli/clitool.h"

#include "cli/doctor.h"
#include "cli/commandtable.h"
#include "cli/portrunner.h"
#include "cli/resultwriter.h"
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

// The options' names, for the handlers' look-ups; what each option is and
// says is its command's row in the table.
const QCommandLineOption HELP_OPTION(QStringLiteral("help"));
const QCommandLineOption QUIET_OPTION(QStringLiteral("quiet"));
const QCommandLineOption JSON_OPTION(QStringLiteral("json"));
const QCommandLineOption ALL_OPTION(QStringLiteral("all"));
const QCommandLineOption PORT_OPTION(QStringLiteral("port"));
const QCommandLineOption ALL_PORTS_OPTION = ALL_OPTION;
const QCommandLineOption LIST_PORT_OPTION = PORT_OPTION;
const QCommandLineOption DOCTOR_PORT_OPTION = PORT_OPTION;
const QCommandLineOption SETTLE_OPTION(QStringLiteral("settle"));
const QCommandLineOption FROM_OPTION(QStringLiteral("from"));
const QCommandLineOption PROVISION_FROM_OPTION = FROM_OPTION;
const QCommandLineOption PROVISION_PORT_OPTION = PORT_OPTION;
const QCommandLineOption TABLE_OPTION(QStringLiteral("table"));
const QCommandLineOption ONLY_LISTED_OPTION(QStringLiteral("only-listed"));
const QCommandLineOption WATCH_OPTION(QStringLiteral("watch"));
const QCommandLineOption LOG_OPTION(QStringLiteral("log"));
const QCommandLineOption BEHAVIOUR_OPTION(QStringLiteral("behaviour"));
const QCommandLineOption DELAY_OPTION(QStringLiteral("delay"));

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

QString CliTool::mainHelp() const
{
    QString text = QStringLiteral(
        "Usage: radioconf-cli COMMAND [options]\n"
        "\n"
        "Reads and writes the parameters of a long-range radio module attached through\n"
        "a USB serial adapter, like the radioconf window does.\n"
        "\n"
        "Commands:\n");
    for (const CommandRow &row : CommandTable::rows())
        text += QStringLiteral("  %1%2\n").arg(row.name.leftJustified(11), row.summary);
    text += QStringLiteral("  help COMMAND\n"
                           "\n"
                           "Options:\n"
                           "  -h, --help     this help; COMMAND --help for a command's options\n"
                           "  -q, --quiet    no progress on standard error\n"
                           "  --version      the version\n"
                           "  --completion bash|zsh|fish\n"
                           "                 the shell's completion script\n"
                           "\n"
                           "Results go to standard output; progress and failures, one line\n"
                           "each naming the port, to standard error. With several ports the\n"
                           "exit code is the worst of theirs.\n"
                           "\n"
                           "Exit codes:\n");
    return text + Exit::help({Exit::Success, Exit::CheckFailed, Exit::UsageError, Exit::OpenFailed,
                              Exit::NoReply, Exit::PortFailed, Exit::Mismatch, Exit::OutputFailed});
}

int CliTool::run(const QStringList &arguments)
{
    const int code = dispatch(arguments.mid(1));
    // Results that did not reach their reader are no success, whatever the
    // modules did (the station has said so already).
    const QString error = ResultWriter::streamError(m_out);
    if (error.isEmpty() || code == PortResult::OutputFailed)
        return code;
    fail(QStringLiteral("cannot write to standard output: %1").arg(error));
    return PortResult::OutputFailed;
}

int CliTool::dispatch(const QStringList &args)
{
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
    if (first == QLatin1String("--completion"))
        return completion(args.value(1));
    return runCommand(first, args.mid(1));
}

int CliTool::completion(const QString &shell)
{
    const QList<Completion::Command> commands = CommandTable::completion(m_behaviours);
    if (shell == QLatin1String("bash"))
        m_out << Completion::bash(commands);
    else if (shell == QLatin1String("zsh"))
        m_out << Completion::zsh(commands);
    else if (shell == QLatin1String("fish"))
        m_out << Completion::fish(commands);
    else {
        fail(QStringLiteral("--completion \"%1\" refused: bash, zsh or fish").arg(shell));
        return PortResult::UsageError;
    }
    m_out.flush();
    return PortResult::Success;
}

int CliTool::doctor(QCommandLineParser &parser)
{
    return Doctor::run(parser.values(DOCTOR_PORT_OPTION), parser.isSet(JSON_OPTION), m_out);
}

int CliTool::runCommand(const QString &name, const QStringList &arguments)
{
    const CommandRow *row = CommandTable::find(name);
    if (!row) {
        m_err << PROGRAM << ": unknown command \"" << name << "\"; see " << PROGRAM << " --help\n";
        m_err.flush();
        return PortResult::UsageError;
    }
    m_command = name;

    QCommandLineParser parser;
    parser.addOptions(CommandTable::commonOptions());
    for (const CommandRow::Option &entry : row->options) {
        QCommandLineOption option = entry.option;
        if (option.names().contains(QStringLiteral("behaviour")))
            option.setDescription(option.description() +
                                  QStringLiteral(" One of: %1.").arg(m_behaviours.join(", ")));
        parser.addOption(option);
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
        m_out << wrap(QStringLiteral("Usage: %1 %2").arg(PROGRAM, row->synopsis()), 8) << '\n'
              << wrap(row->description, 0) << '\n'
              << options.mid(options.indexOf(QLatin1String("Options:"))) << '\n'
              << "Exit codes:\n"
              << Exit::help(row->exitCodes);
        m_out.flush();
        return PortResult::Success;
    }
    if (!parser.positionalArguments().isEmpty()) {
        fail(QStringLiteral("unexpected argument \"%1\"; see %2 %3 --help")
                 .arg(parser.positionalArguments().first(), PROGRAM, name));
        return PortResult::UsageError;
    }
    m_quiet = parser.isSet(QUIET_OPTION);

    return (this->*row->handler)(parser);
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
        for (const QJsonValue &port : CliFormat::portsJson(ports))
            m_out << QJsonDocument(port.toObject()).toJson(QJsonDocument::Compact) << '\n';
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

ModuleJob::Progress CliTool::progressCallback()
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
    ResultWriter writer(m_out, parser.isSet(JSON_OPTION) ? ResultWriter::Form::JsonLines
                               : several                 ? ResultWriter::Form::PrefixedText
                                                         : ResultWriter::Form::Text);
    PortRunner runner(plan, *settle, progressCallback(), [&](const PortResult &result) {
        // A failed write is told once, at the end of the run.
        writer.write(result);
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
