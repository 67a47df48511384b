// radioconf-sim: runs a program with a simulated radio module behind a
// virtual USB serial adapter, so the application can be tried and tested
// without hardware.

// GLib (through the virtual adapter) before Qt.
#include "simulator/virtualadapter.h"

#include "simulator/simulatedmodule.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QTextStream>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

const char Preload[] = "libumockdev-preload.so.0";

// The test bed's udev events are sent through the preload library, so this
// process needs it as well as PROGRAM: start again under it if it is missing.
void ensurePreloaded(char *argv[])
{
    if (VirtualAdapter::inMockEnvironment())
        return;
    const char *current = std::getenv("LD_PRELOAD");
    if (current && std::strstr(current, Preload))
        return; // preloaded, yet not active: running again would not help
    std::string preload = Preload;
    if (current && *current)
        preload += std::string(" ") + current;
    setenv("LD_PRELOAD", preload.c_str(), 1);
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
    "  unplug   pull the adapter out (udev remove events)\n"
    "  plug     put it back (udev add events), with the module in its\n"
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
    Simulator(QString port, quint16 vendor, quint16 product, SimulatedModule::Behaviour behaviour,
              int delay)
        : m_port(std::move(port)), m_vendor(vendor), m_product(product), m_behaviour(behaviour),
          m_delay(delay)
    {
    }

    bool plug()
    {
        if (m_bed.isPlugged(m_port))
            return true;
        if (!m_bed.plug(m_port, m_vendor, m_product))
            return false;
        qInfo("radioconf-sim: adapter on /dev/%s", qPrintable(m_port));
        m_module = std::make_unique<SimulatedModule>(m_bed.farEnd(m_port), m_behaviour);
        m_module->setTrickleDelay(m_delay);
        connect(m_module.get(), &SimulatedModule::hungUp, this, [this] {
            qInfo("radioconf-sim: module hung up, adapter pulled out");
            QMetaObject::invokeMethod(
                this, [this] { unplug(); }, Qt::QueuedConnection);
        });
        return true;
    }

    void unplug()
    {
        m_module.reset();
        m_bed.unplug(m_port);
    }

    QString rootDir() const { return m_bed.rootDir(); }

private:
    VirtualAdapter m_bed;
    QString m_port;
    quint16 m_vendor;
    quint16 m_product;
    SimulatedModule::Behaviour m_behaviour;
    int m_delay;
    std::unique_ptr<SimulatedModule> m_module;
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
    parser.addOption({"adapter",
                      "Adapter kind: cp210x (10C4:EA60, default) or cypress (04B4:0003).", "kind",
                      "cp210x"});
    parser.addOption(
        {"behaviour", "Behaviour of the module (see below); default normal.", "name", "normal"});
    parser.addOption({"delay", "Pause between bytes for trickle, in ms; default 20.", "ms", "20"});
    parser.addOption({"port", "Name of the virtual port; default ttyUSB0.", "name", "ttyUSB0"});
    parser.addPositionalArgument("PROGRAM", "Program to run, after --.", "-- PROGRAM [ARGS...]");
    parser.process(app);

    QTextStream err(stderr);
    const QStringList program = parser.positionalArguments();
    if (program.isEmpty()) {
        err << "radioconf-sim: no PROGRAM given; see --help\n";
        return 2;
    }
    quint16 vendor = VirtualAdapter::Cp210xVendor;
    quint16 product = VirtualAdapter::Cp210xProduct;
    const QString adapter = parser.value("adapter");
    if (adapter == "cypress") {
        vendor = VirtualAdapter::CypressVendor;
        product = VirtualAdapter::CypressProduct;
    } else if (adapter != "cp210x") {
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

    Simulator simulator(parser.value("port"), vendor, product, behaviour, delay);
    if (!simulator.plug()) {
        err << "radioconf-sim: cannot plug the virtual adapter\n";
        return 1;
    }

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString preload = QStringLiteral("libumockdev-preload.so.0");
    if (env.contains("LD_PRELOAD") && !env.value("LD_PRELOAD").contains(preload))
        preload += ' ' + env.value("LD_PRELOAD");
    else if (env.contains("LD_PRELOAD"))
        preload = env.value("LD_PRELOAD");
    env.insert("LD_PRELOAD", preload);
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
