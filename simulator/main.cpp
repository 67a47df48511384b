// radioconf-sim: runs a program with a simulated radio module behind a
// virtual USB serial adapter, so the application can be tried and tested
// without hardware.

#include "simulator/childprocess.h"
#include "simulator/simulator.h"

#include "cli/exitcode.h"

#include <QCommandLineParser>
#include <QFile>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <cstdlib>
#include <cstring>
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

    ChildProcess child;
    int exitCode = 0;
    const bool forwarding = child.forwardSignals([&](int number) {
        exitCode = 128 + number;
        app.quit();
    });
    if (!forwarding) {
        err << "radioconf-sim: cannot catch signals: " << strerror(errno) << "\n";
        return Exit::TestBedFailed;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_PRELOAD", VirtualAdapter::withPreload(env.value("LD_PRELOAD")));
    env.insert("UMOCKDEV_DIR", simulator.rootDir());
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.setProgram(program.first());
    child.setArguments(program.mid(1));

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
                simulator.command(line);
        }
    });

    child.start();
    child.closeWriteChannel();
    app.exec();
    return exitCode;
}
