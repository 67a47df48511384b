// radioconf-sim: runs a program with a simulated radio module behind a
// virtual USB serial adapter, so the application can be tried and tested
// without hardware.

#include "simulator/simulatedmodule.h"
#include "simulator/virtualadapter.h"

#include "cli/exitcode.h"

#include <QCommandLineParser>
#include <QFile>
#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <unistd.h>

namespace {

// The test bed's udev events are sent through the preload library, so this
// process needs it as well as PROGRAM: start again under it if it is missing.
void ensurePreloaded(char *argv[])
{
    if (VirtualAdapter::preloaded())
        return;
    const QString preload = VirtualAdapter::withPreload(qEnvironmentVariable("LD_PRELOAD"));
    setenv("LD_PRELOAD", preload.toLocal8Bit().constData(), 1);
    execv("/proc/self/exe", argv);
}

const char DESCRIPTION[] =
    "Runs PROGRAM with simulated radio modules behind virtual USB serial\n"
    "adapters (umockdev). PROGRAM sees each adapter as a real device: the serial\n"
    "port lists it with its USB identifiers and opens it, and libudev monitors\n"
    "receive its add and remove events. radioconf-sim serves the modules until\n"
    "PROGRAM exits and returns PROGRAM's exit code. SIGINT, SIGTERM and SIGHUP\n"
    "are passed on to PROGRAM (which runs in a process group of its own, so a\n"
    "Ctrl+C reaches it once); radioconf-sim then waits for it, removes the\n"
    "adapters and exits as PROGRAM did, with 128 + N for a signal N.\n"
    "\n"
    "Each module's MAC is derived from its port's name: the same name always\n"
    "gives the same MAC, and the modules of a line have MACs of their own.\n"
    "\n"
    "Lines on standard input:\n"
    "  unplug         pull every adapter out (udev remove events)\n"
    "  plug           put them back (udev add events), with the modules in\n"
    "                 their initial state\n"
    "  unplug NAME    pull out the adapter of port NAME only\n"
    "  plug NAME[:BEHAVIOUR]\n"
    "                 plug in the adapter of port NAME only; a NAME not seen\n"
    "                 before adds an adapter to the line, whose module has\n"
    "                 BEHAVIOUR, or --behaviour's\n"
    "\n"
    "Behaviours of the module:\n"
    "  normal         answers every read and write request\n"
    "  silent         never answers\n"
    "  resend-only    ignores the first request, answers the later ones\n"
    "  trickle        sends its reply one byte at a time (--delay)\n"
    "  wrong-start    starts its reply with '#' instead of '$'\n"
    "  padded         sends 10 extra bytes after the 30-byte reply\n"
    "  ignore-writes  answers a write with its unchanged state\n"
    "  hang-up        the adapter vanishes after the first request\n"
    "\n"
    "Examples:\n"
    "  radioconf-sim -- build/app/radioconf\n"
    "  radioconf-sim --port ttyUSB0 --port ttyUSB1:silent -- radioconf-cli read --all";

// Splits "NAME[:BEHAVIOUR]"; without a behaviour, *behaviour is left as it is.
bool parsePort(const QString &portArg, QString *name, SimulatedModule::Behaviour *behaviour)
{
    const int colon = portArg.indexOf(':');
    *name = portArg.left(colon);
    if (name->isEmpty() || name->contains('/'))
        return false;
    return colon < 0 || SimulatedModule::parseBehaviour(portArg.mid(colon + 1), behaviour);
}

class Simulator : public QObject
{
public:
    // Without identifiers (usb false), the adapters look like built-in ports.
    Simulator(bool usb, quint16 vendor, quint16 product, SimulatedModule::Behaviour behaviour,
              int delay, QFile *log)
        : m_usb(usb), m_vendor(vendor), m_product(product), m_behaviour(behaviour), m_delay(delay),
          m_log(log)
    {
    }

    // Adds NAME[:BEHAVIOUR] to the line (or gives a port of it a new
    // behaviour) and returns its name; empty when portArg is malformed.
    QString addPort(const QString &portArg)
    {
        QString name;
        SimulatedModule::Behaviour behaviour = m_behaviour;
        if (!parsePort(portArg, &name, &behaviour))
            return QString();
        if (!m_behaviours.count(name))
            m_ports << name;
        else if (!portArg.contains(':'))
            behaviour = m_behaviours[name];
        m_behaviours[name] = behaviour;
        return name;
    }

    bool plug()
    {
        for (const QString &port : qAsConst(m_ports)) {
            if (!plug(port))
                return false;
        }
        return true;
    }

    void unplug()
    {
        for (const QString &port : qAsConst(m_ports))
            unplug(port);
    }

    bool has(const QString &port) const { return m_behaviours.count(port) != 0; }

    bool plug(const QString &port)
    {
        if (m_bed.isPlugged(port))
            return true;
        if (!(m_usb ? m_bed.plug(port, m_vendor, m_product) : m_bed.plugWithoutUsb(port)))
            return false;
        qInfo("radioconf-sim: adapter on /dev/%s", qPrintable(port));
        auto module = std::make_unique<SimulatedModule>(m_bed.farEnd(port), m_behaviours[port]);
        SimulatedModule::State state;
        state.mac = SimulatedModule::macForPort(port);
        module->setState(state);
        module->setTrickleDelay(m_delay);
        connect(module.get(), &SimulatedModule::hungUp, this, [this, port] {
            qInfo("radioconf-sim: module on %s hung up, adapter pulled out", qPrintable(port));
            QMetaObject::invokeMethod(
                this, [this, port] { unplug(port); }, Qt::QueuedConnection);
        });
        if (m_log) {
            connect(module.get(), &SimulatedModule::requestReceived, this,
                    [this, port](const QByteArray &request) {
                        m_log->write(port.toUtf8() + ' ' + request.toHex() + '\n');
                        m_log->flush();
                    });
        }
        m_modules[port] = std::move(module);
        return true;
    }

    void unplug(const QString &port)
    {
        m_modules.erase(port);
        m_bed.unplug(port);
    }

    QString rootDir() const { return m_bed.rootDir(); }

private:
    VirtualAdapter m_bed;
    QStringList m_ports; // in the order they joined the line
    std::map<QString, SimulatedModule::Behaviour> m_behaviours;
    bool m_usb;
    quint16 m_vendor;
    quint16 m_product;
    SimulatedModule::Behaviour m_behaviour;
    int m_delay;
    QFile *m_log;
    std::map<QString, std::unique_ptr<SimulatedModule>> m_modules;
};

// The program runs in a process group of its own, so that a Ctrl+C at the
// terminal reaches it once, through radioconf-sim, which then outlives it
// and removes its adapters.
class ChildProcess : public QProcess
{
public:
    ChildProcess()
    {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    }

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
protected:
    void setupChildProcess() override
    {
        ::setpgid(0, 0);
    }
#endif
};

// The signals passed on to the program, through a pipe to the event loop.
constexpr int FORWARDED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool catchSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : FORWARDED_SIGNALS) {
        if (::sigaction(number, &action, nullptr) != 0)
            return false;
    }
    return true;
}

// One line of standard input: plug or unplug, for every adapter or for one.
void command(Simulator *simulator, const QByteArray &line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    const QByteArray verb = words.at(0);
    if (words.size() > 2 || (verb != "plug" && verb != "unplug")) {
        qWarning("radioconf-sim: unknown command \"%s\" (plug, unplug, plug NAME, unplug NAME)",
                 line.constData());
        return;
    }
    if (words.size() == 1) {
        if (verb == "unplug") {
            simulator->unplug();
            qInfo("radioconf-sim: adapter pulled out");
        } else if (simulator->plug()) {
            qInfo("radioconf-sim: adapter plugged in");
        } else {
            qWarning("radioconf-sim: cannot plug the adapter");
        }
        return;
    }
    const QString portArg = QString::fromUtf8(words.at(1));
    if (verb == "unplug") {
        if (simulator->has(portArg)) {
            simulator->unplug(portArg);
            qInfo("radioconf-sim: adapter on /dev/%s pulled out", qPrintable(portArg));
        } else {
            qWarning("radioconf-sim: no adapter %s", qPrintable(portArg));
        }
        return;
    }
    const QString port = simulator->addPort(portArg);
    if (port.isEmpty())
        qWarning("radioconf-sim: bad port \"%s\" (NAME or NAME:BEHAVIOUR)", qPrintable(portArg));
    else if (!simulator->plug(port))
        qWarning("radioconf-sim: cannot plug the adapter %s", qPrintable(port));
}

} // namespace

int main(int argc, char *argv[])
{
    ensurePreloaded(argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("radioconf-sim");
    QCoreApplication::setApplicationVersion(QStringLiteral(RADIOCONF_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QString::fromLatin1(DESCRIPTION) +
        QStringLiteral("\n\nExit codes: PROGRAM's own (128 + N when signal N ended it), or\n") +
        Exit::help({Exit::UsageError, Exit::TestBedFailed, Exit::ProgramMissing}));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    QStringList kinds;
    for (const UsbAdapter &known : RECOGNISED_ADAPTERS)
        kinds << QStringLiteral("%1 (%2%3)")
                     .arg(QLatin1String(known.kind), known.identifiers(),
                          kinds.isEmpty() ? QStringLiteral(", default") : QString());
    parser.addOption({"adapter",
                      QStringLiteral("Adapter kind: %1 or builtin (a serial port without USB "
                                     "identifiers).")
                          .arg(kinds.join(QLatin1String(", "))),
                      "kind", QLatin1String(RECOGNISED_ADAPTERS[0].kind)});
    parser.addOption({"behaviour",
                      "Behaviour of every module whose --port gives none (see below); default "
                      "normal.",
                      "name", "normal"});
    parser.addOption({"delay", "Pause between bytes for trickle, in ms; default 20.", "ms", "20"});
    parser.addOption({"port",
                      "Name of the virtual port; default ttyUSB0. Repeat it for more adapters, "
                      "each with a module of its own. After a colon, a behaviour for this "
                      "port's module only (e.g. ttyUSB1:silent).",
                      "name[:behaviour]"});
    parser.addOption({"log",
                      "Append each request a module receives to FILE, one line each: the port "
                      "name and the request in hexadecimal.",
                      "file"});
    parser.addPositionalArgument("PROGRAM", "Program to run, after --.", "-- PROGRAM [ARGS...]");
    // Qt's process() would end a usage error with 1, which is no usage code.
    QTextStream err(stderr);
    if (!parser.parse(QCoreApplication::arguments())) {
        QString error = parser.errorText();
        if (error.endsWith(QLatin1Char('.')))
            error.chop(1);
        err << "radioconf-sim: " << error << "; see --help\n";
        return Exit::UsageError;
    }
    if (parser.isSet(help))
        parser.showHelp(Exit::Success);
    if (parser.isSet(version))
        parser.showVersion();

    const QStringList program = parser.positionalArguments();
    if (program.isEmpty()) {
        err << "radioconf-sim: no PROGRAM given; see --help\n";
        return Exit::UsageError;
    }
    quint16 vendor = 0;
    quint16 product = 0;
    const QString adapter = parser.value("adapter");
    for (const UsbAdapter &known : RECOGNISED_ADAPTERS) {
        if (adapter == QLatin1String(known.kind)) {
            vendor = known.vendorId;
            product = known.productId;
        }
    }
    if (vendor == 0 && adapter != "builtin") {
        err << "radioconf-sim: unknown adapter " << adapter << "; see --help\n";
        return Exit::UsageError;
    }
    SimulatedModule::Behaviour behaviour;
    if (!SimulatedModule::parseBehaviour(parser.value("behaviour"), &behaviour)) {
        err << "radioconf-sim: unknown behaviour " << parser.value("behaviour") << "; one of "
            << SimulatedModule::behaviourNames().join(", ") << "\n";
        return Exit::UsageError;
    }
    bool delayOk = false;
    const int delay = parser.value("delay").toInt(&delayOk);
    if (!delayOk || delay < 0) {
        err << "radioconf-sim: bad --delay\n";
        return Exit::UsageError;
    }

    QFile log;
    if (parser.isSet("log")) {
        log.setFileName(parser.value("log"));
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) {
            err << "radioconf-sim: cannot open " << log.fileName() << ": " << log.errorString()
                << "\n";
            return Exit::UsageError;
        }
    }
    Simulator simulator(adapter != "builtin", vendor, product, behaviour, delay,
                        log.isOpen() ? &log : nullptr);
    QStringList ports = parser.values("port");
    if (ports.isEmpty())
        ports << QStringLiteral("ttyUSB0");
    for (const QString &port : qAsConst(ports)) {
        if (simulator.addPort(port).isEmpty()) {
            err << "radioconf-sim: bad --port " << port << "; NAME or NAME:BEHAVIOUR, one of "
                << SimulatedModule::behaviourNames().join(", ") << "\n";
            return Exit::UsageError;
        }
    }
    if (!simulator.plug()) {
        err << "radioconf-sim: cannot plug the virtual adapter\n";
        return Exit::TestBedFailed;
    }

    if (!catchSignals()) {
        err << "radioconf-sim: cannot catch signals: " << strerror(errno) << "\n";
        return Exit::TestBedFailed;
    }
    ChildProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_PRELOAD", VirtualAdapter::withPreload(env.value("LD_PRELOAD")));
    env.insert("UMOCKDEV_DIR", simulator.rootDir());
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.setProgram(program.first());
    child.setArguments(program.mid(1));

    int exitCode = 0;
    QObject::connect(&child, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &app,
                     [&](int code, QProcess::ExitStatus status) {
                         // As a shell reports it. For a program killed by a
                         // signal, Qt gives the signal's number as its code.
                         exitCode = status == QProcess::NormalExit ? code : 128 + code;
                         app.quit();
                     });
    QObject::connect(&child, &QProcess::errorOccurred, &app, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            QTextStream(stderr) << "radioconf-sim: cannot start " << program.first() << "\n";
            exitCode = Exit::ProgramMissing;
            app.quit();
        }
    });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false); // end of input: serve on without commands
            return;
        }
        pending.append(buffer, int(n));
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (!line.isEmpty())
                command(&simulator, line);
        }
    });

    QSocketNotifier signalled(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalled, &QSocketNotifier::activated, &app, [&] {
        char number;
        while (::read(signalPipe[0], &number, 1) == 1) {
            if (child.state() == QProcess::Running) {
                ::kill(pid_t(child.processId()), number);
            } else {
                exitCode = 128 + number;
                app.quit();
            }
        }
    });

    child.start();
    child.closeWriteChannel();
    app.exec();
    return exitCode;
}
