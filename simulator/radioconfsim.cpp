// radioconf-sim: runs a program with a simulated radio module behind a
// virtual USB serial adapter, so the application can be tried and tested
// without hardware.

// GLib (through the virtual adapter) before Qt.
#include "simulator/virtualadapter.h"

#include "simulator/simulatedmodule.h"

#include <QCommandLineParser>
#include <QFile>
#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QTextStream>

#include <cstdlib>
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

const char Description[] =
    "Runs PROGRAM with a simulated radio module behind a virtual USB serial\n"
    "adapter (umockdev). PROGRAM sees the adapter as a real device: the serial\n"
    "port lists it with its USB identifiers and opens it, and libudev monitors\n"
    "receive its add and remove events. radioconf-sim serves the module until\n"
    "PROGRAM exits and returns PROGRAM's exit code.\n"
    "\n"
    "Lines on standard input:\n"
    "  unplug   pull the adapters out (udev remove events)\n"
    "  plug     put them back (udev add events), with the modules in their\n"
    "           initial state\n"
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
    "Example: radioconf-sim -- build/app/radioconf";

class Simulator : public QObject
{
public:
    // Without identifiers (usb false), the adapters look like built-in ports.
    Simulator(QStringList ports, bool usb, quint16 vendor, quint16 product,
              SimulatedModule::Behaviour behaviour, int delay, QFile *log)
        : m_ports(std::move(ports)), m_usb(usb), m_vendor(vendor), m_product(product),
          m_behaviour(behaviour), m_delay(delay), m_log(log)
    {
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

    QString rootDir() const { return m_bed.rootDir(); }

private:
    bool plug(const QString &port)
    {
        if (m_bed.isPlugged(port))
            return true;
        if (!(m_usb ? m_bed.plug(port, m_vendor, m_product) : m_bed.plugWithoutUsb(port)))
            return false;
        qInfo("radioconf-sim: adapter on /dev/%s", qPrintable(port));
        auto module = std::make_unique<SimulatedModule>(m_bed.farEnd(port), m_behaviour);
        module->setTrickleDelay(m_delay);
        connect(module.get(), &SimulatedModule::hungUp, this, [this, port] {
            qInfo("radioconf-sim: module hung up, adapter pulled out");
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

    VirtualAdapter m_bed;
    QStringList m_ports;
    bool m_usb;
    quint16 m_vendor;
    quint16 m_product;
    SimulatedModule::Behaviour m_behaviour;
    int m_delay;
    QFile *m_log;
    std::map<QString, std::unique_ptr<SimulatedModule>> m_modules;
};

} // namespace

int main(int argc, char *argv[])
{
    ensurePreloaded(argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("radioconf-sim");
    QCoreApplication::setApplicationVersion(QStringLiteral(RADIOCONF_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.addHelpOption();
    parser.addVersionOption();
    QStringList kinds;
    for (const UsbAdapter &known : RecognisedAdapters)
        kinds << QStringLiteral("%1 (%2%3)")
                     .arg(QLatin1String(known.kind), known.identifiers(),
                          kinds.isEmpty() ? QStringLiteral(", default") : QString());
    parser.addOption({"adapter",
                      QStringLiteral("Adapter kind: %1 or builtin (a serial port without USB "
                                     "identifiers).")
                          .arg(kinds.join(QLatin1String(", "))),
                      "kind", QLatin1String(RecognisedAdapters[0].kind)});
    parser.addOption(
        {"behaviour", "Behaviour of the module (see below); default normal.", "name", "normal"});
    parser.addOption({"delay", "Pause between bytes for trickle, in ms; default 20.", "ms", "20"});
    parser.addOption({"port",
                      "Name of the virtual port; default ttyUSB0. Repeat it for more adapters, "
                      "each with a module of its own.",
                      "name"});
    parser.addOption({"log",
                      "Append each request a module receives to FILE, one line each: the port "
                      "name and the request in hexadecimal.",
                      "file"});
    parser.addPositionalArgument("PROGRAM", "Program to run, after --.", "-- PROGRAM [ARGS...]");
    parser.process(app);

    QTextStream err(stderr);
    const QStringList program = parser.positionalArguments();
    if (program.isEmpty()) {
        err << "radioconf-sim: no PROGRAM given; see --help\n";
        return 2;
    }
    quint16 vendor = 0;
    quint16 product = 0;
    const QString adapter = parser.value("adapter");
    for (const UsbAdapter &known : RecognisedAdapters) {
        if (adapter == QLatin1String(known.kind)) {
            vendor = known.vendorId;
            product = known.productId;
        }
    }
    if (vendor == 0 && adapter != "builtin") {
        err << "radioconf-sim: unknown adapter " << adapter << "; see --help\n";
        return 2;
    }
    SimulatedModule::Behaviour behaviour;
    if (!SimulatedModule::parseBehaviour(parser.value("behaviour"), &behaviour)) {
        err << "radioconf-sim: unknown behaviour " << parser.value("behaviour") << "; one of "
            << SimulatedModule::behaviourNames().join(", ") << "\n";
        return 2;
    }
    bool delayOk = false;
    const int delay = parser.value("delay").toInt(&delayOk);
    if (!delayOk || delay < 0) {
        err << "radioconf-sim: bad --delay\n";
        return 2;
    }

    QStringList ports = parser.values("port");
    if (ports.isEmpty())
        ports << QStringLiteral("ttyUSB0");
    ports.removeDuplicates();
    QFile log;
    if (parser.isSet("log")) {
        log.setFileName(parser.value("log"));
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) {
            err << "radioconf-sim: cannot open " << log.fileName() << ": " << log.errorString()
                << "\n";
            return 2;
        }
    }
    Simulator simulator(ports, adapter != "builtin", vendor, product, behaviour, delay,
                        log.isOpen() ? &log : nullptr);
    if (!simulator.plug()) {
        err << "radioconf-sim: cannot plug the virtual adapter\n";
        return 1;
    }

    QProcess child;
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
                         exitCode = status == QProcess::NormalExit ? code : 128 + 6;
                         app.quit();
                     });
    QObject::connect(&child, &QProcess::errorOccurred, &app, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            QTextStream(stderr) << "radioconf-sim: cannot start " << program.first() << "\n";
            exitCode = 127;
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
            if (line == "unplug") {
                simulator.unplug();
                qInfo("radioconf-sim: adapter pulled out");
            } else if (line == "plug") {
                if (simulator.plug())
                    qInfo("radioconf-sim: adapter plugged in");
                else
                    qWarning("radioconf-sim: cannot plug the adapter");
            } else if (!line.isEmpty()) {
                qWarning("radioconf-sim: unknown command \"%s\" (plug, unplug)", line.constData());
            }
        }
    });

    child.start();
    child.closeWriteChannel();
    app.exec();
    return exitCode;
}
