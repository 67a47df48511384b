#include "cli/commands.h"

#include "cli/doctor.h"
#include "cli/portrunner.h"
#include "cli/resultwriter.h"
#include "cli/signalnotifier.h"
#include "cli/station.h"
#include "config/frames.h"
#include "config/linkport.h"
#include "discovery/portresolver.h"

#include <QJsonDocument>

#include <algorithm>
#include <memory>

using Frames::Field;

namespace {

const char PROGRAM[] = "radioconf-cli";

// The options' names, for the handlers' look-ups; what each option is and
// says is its command's row in the table.
const QCommandLineOption JSON_OPTION(QStringLiteral("json"));
const QCommandLineOption ALL_OPTION(QStringLiteral("all"));
const QCommandLineOption PORT_OPTION(QStringLiteral("port"));
const QCommandLineOption SETTLE_OPTION(QStringLiteral("settle"));
const QCommandLineOption FROM_OPTION(QStringLiteral("from"));
const QCommandLineOption TABLE_OPTION(QStringLiteral("table"));
const QCommandLineOption ONLY_LISTED_OPTION(QStringLiteral("only-listed"));
const QCommandLineOption WATCH_OPTION(QStringLiteral("watch"));
const QCommandLineOption LOG_OPTION(QStringLiteral("log"));
const QCommandLineOption BEHAVIOUR_OPTION(QStringLiteral("behaviour"));
const QCommandLineOption DELAY_OPTION(QStringLiteral("delay"));

} // namespace

Commands::Commands(QTextStream &out, QTextStream &err, Message fail, Message progress)
    : m_out(out), m_err(err), m_fail(fail), m_progress(progress), m_input(fail, progress)
{
}

void Commands::setSimulator(const QStringList &behaviours, Simulate simulate)
{
    m_behaviours = behaviours;
    m_simulator = std::move(simulate);
}

int Commands::list(QCommandLineParser &parser)
{
    // Named as /dev/ttyUSB0 or as ttyUSB0.
    QStringList named = parser.values(PORT_OPTION);
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
        for (const CliFormat::PortEntry &port : std::as_const(ports))
            m_out << QJsonDocument(CliFormat::portJson(port)).toJson(QJsonDocument::Compact)
                  << '\n';
    else
        m_out << CliFormat::portsText(ports, all);
    m_out.flush();
    if (!missing.isEmpty()) {
        fail(QStringLiteral("no such serial port: %1").arg(missing.join(QStringLiteral(", "))));
        return Exit::OpenFailed;
    }
    if (ports.isEmpty())
        progress(all ? QStringLiteral("no serial ports found")
                     : QStringLiteral("no recognised adapter attached; --all lists every port"));
    return Exit::Success;
}

std::optional<int> Commands::settleTime(const QCommandLineParser &parser)
{
    bool ok = false;
    const int settle = parser.value(SETTLE_OPTION).toInt(&ok);
    if (ok && settle >= 0)
        return settle;
    fail(QStringLiteral("--settle \"%1\" refused: a number of milliseconds, 0 or more")
             .arg(parser.value(SETTLE_OPTION)));
    return std::nullopt;
}

ModuleJob::Progress Commands::progressCallback()
{
    if (m_quiet)
        return {};
    return [this](const QString &text) { progress(text); };
}

int Commands::runPorts(const QCommandLineParser &parser, const ModuleJob::Plan &plan,
                       const QString &succeeded)
{
    const std::optional<int> settle = settleTime(parser);
    if (!settle)
        return Exit::UsageError;
    int code = Exit::Success;
    const QStringList ports =
        m_input.ports(parser.values(PORT_OPTION), parser.isSet(ALL_OPTION), &code);
    if (ports.isEmpty())
        return code;
    // One port asked for alone keeps the plain output; --all is for
    // scripts that take whatever is attached, so it always names ports.
    const bool several = ports.size() > 1 || parser.isSet(ALL_OPTION);
    ResultWriter writer(m_out, parser.isSet(JSON_OPTION) ? ResultWriter::Form::JsonLines
                               : several                 ? ResultWriter::Form::PrefixedText
                                                         : ResultWriter::Form::Text);
    PortRunner runner(plan, *settle, progressCallback(), [&](const PortResult &result) {
        // A failed write is told once, at the end of the run.
        writer.write(result);
        if (result.code != Exit::Success)
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

int Commands::read(QCommandLineParser &parser)
{
    return runPorts(parser, ModuleJob::Plan(), QStringLiteral("read"));
}

int Commands::write(QCommandLineParser &parser)
{
    // Everything is checked before the port is touched.
    std::optional<FromFile> from;
    if (parser.isSet(FROM_OPTION)) {
        from = m_input.fromFile(parser.value(FROM_OPTION));
        if (!from)
            return Exit::UsageError;
    }
    QMap<Field, QString> given;
    for (Field field : Frames::ALL_FIELDS) {
        if (parser.isSet(CliFormat::optionName(field).mid(2)))
            given.insert(field, parser.value(CliFormat::optionName(field).mid(2)));
    }
    const std::optional<CliFormat::Changes> changes = m_input.values(given);
    if (!changes)
        return Exit::UsageError;
    if (changes->isEmpty() &&
        (!from || (from->entries().size() == 1 && from->entries().first().changes.isEmpty()))) {
        fail(QStringLiteral("nothing to write: give a value option or --from; see %1 write --help")
                 .arg(PROGRAM));
        return Exit::UsageError;
    }
    return runPorts(parser, CommandInput::writePlan(from, parser.value(FROM_OPTION), *changes),
                    QStringLiteral("written"));
}

int Commands::provision(QCommandLineParser &parser)
{
    // The files are read and checked before anything is sent.
    Station::Options options;
    if (parser.isSet(FROM_OPTION)) {
        options.from = m_input.fromFile(parser.value(FROM_OPTION));
        if (!options.from)
            return Exit::UsageError;
        options.fromName = parser.value(FROM_OPTION);
    }
    if (parser.isSet(TABLE_OPTION)) {
        const std::optional<QByteArray> bytes =
            m_input.readFile(QStringLiteral("table"), parser.value(TABLE_OPTION));
        if (!bytes)
            return Exit::UsageError;
        QString error;
        options.table = ProvisionTable::parse(*bytes, &error);
        if (!options.table) {
            fail(QStringLiteral("--table %1: %2").arg(parser.value(TABLE_OPTION), error));
            return Exit::UsageError;
        }
    }
    if (!options.from && !options.table) {
        fail(QStringLiteral("nothing to write: give --from, --table or both; see %1 provision "
                            "--help")
                 .arg(PROGRAM));
        return Exit::UsageError;
    }
    if (parser.isSet(ONLY_LISTED_OPTION) && !options.table) {
        fail(QStringLiteral("--only-listed needs --table"));
        return Exit::UsageError;
    }
    const std::optional<int> settle = settleTime(parser);
    if (!settle)
        return Exit::UsageError;
    QFile log;
    if (parser.isSet(LOG_OPTION)) {
        log.setFileName(parser.value(LOG_OPTION));
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            fail(QStringLiteral("--log %1: %2").arg(log.fileName(), log.errorString()));
            return Exit::UsageError;
        }
    }
    if (parser.values(PORT_OPTION).contains(QString())) {
        fail(QStringLiteral("--port needs a port name"));
        return Exit::UsageError;
    }
    options.ports = m_input.uniquePorts(parser.values(PORT_OPTION));
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

int Commands::simulate(QCommandLineParser &parser)
{
    if (!m_simulator) {
        fail(QStringLiteral("the simulated module is not available in this build"));
        return Exit::UsageError;
    }
    const QString behaviour = parser.value(BEHAVIOUR_OPTION);
    if (!m_behaviours.contains(behaviour)) {
        fail(QStringLiteral("--behaviour \"%1\" refused: choose one of %2")
                 .arg(behaviour, m_behaviours.join(", ")));
        return Exit::UsageError;
    }
    bool ok = false;
    const int delay = parser.value(DELAY_OPTION).toInt(&ok);
    if (!ok || delay < 0) {
        fail(QStringLiteral("--delay \"%1\" refused: a number of milliseconds, 0 or more")
                 .arg(parser.value(DELAY_OPTION)));
        return Exit::UsageError;
    }
    return m_simulator(behaviour, delay, m_out, m_err);
}

int Commands::doctor(QCommandLineParser &parser)
{
    // Its checks are of this machine's nodes, groups and processes; a port
    // across the network has none of them here.
    const QStringList ports = parser.values(PORT_OPTION);
    for (const QString &port : ports) {
        if (LinkPort::isNetworkName(port)) {
            fail(QStringLiteral("%1 is a network port, and doctor checks only this machine's "
                                "serial ports; %2 read --port %1 says why it does not open, or "
                                "run doctor on the machine that serves it")
                     .arg(port, PROGRAM));
            return Exit::UsageError;
        }
    }
    return Doctor::run(ports, parser.isSet(JSON_OPTION), m_out);
}
