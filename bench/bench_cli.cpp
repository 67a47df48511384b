// Measures whole radioconf-cli processes, start to exit, against simulated
// modules with no reply delay behind virtual adapters: read, write, and
// read --all with one and with eight adapters; then the same reads on one and
// on eight bare pseudo-terminals, without the test bed, and on one through
// ser2net on loopback. Run under umockdev-wrapper (bench/run).

#include "simulator/virtualadapter.h"

#include "bench/benchsupport.h"

#include "simulator/ser2netbed.h"
#include "simulator/simulatedmodule.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <utility>
#include <sys/resource.h>
#include <vector>

namespace {

// Rounds of one run of each case in turn. A shared machine's speed drifts
// over seconds; runs of the cases taken side by side see much the same
// drift, so the ratio of eight adapters to one moves less between bench
// runs.
const int ROUNDS = 21;
const int ADAPTERS = 8;

double wireMs(int bytes)
{
    return bytes * 10 / 9600.0 * 1000.0; // 8N1: 10 bits a byte at 9600 baud
}

// CPU (user and system) of RUSAGE_CHILDREN or RUSAGE_SELF, in ms.
double cpuMs(int who)
{
    rusage usage;
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The modules answer from a thread of their own, as hardware would.
class Line
{
public:
    Line() { m_moduleThread.start(); }
    ~Line()
    {
        resize(0);
        for (SimulatedModule *module : m_bareModules)
            QMetaObject::invokeMethod(
                module, [module] { delete module; }, Qt::BlockingQueuedConnection);
        m_moduleThread.quit();
        m_moduleThread.wait();
    }

    static QString port(int index) { return VirtualAdapter::processPortName(index); }

    // Plugs or pulls out adapters until count are plugged in.
    bool resize(int count)
    {
        while (int(m_modules.size()) > count) {
            SimulatedModule *module = m_modules.back();
            // Gone before its line closes.
            QMetaObject::invokeMethod(
                module, [module] { delete module; }, Qt::BlockingQueuedConnection);
            m_modules.pop_back();
            m_bed.unplug(port(int(m_modules.size())));
        }
        while (int(m_modules.size()) < count) {
            const QString name = port(int(m_modules.size()));
            if (!m_bed.plug(name, VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct))
                return false;
            auto *module = new SimulatedModule(m_bed.farEnd(name));
            module->moveToThread(&m_moduleThread);
            m_modules.push_back(module);
        }
        return true;
    }

    // Paths of count modules on bare pseudo-terminals: the same exchanges
    // with no test bed in the way. Made as asked for, kept to the end.
    QStringList barePorts(int count)
    {
        while (m_barePorts.size() < count) {
            QByteArray path;
            const int master = SimulatedModule::openTerminal(&path);
            if (master < 0)
                return {};
            auto *module = new SimulatedModule(master, SimulatedModule::Behaviour::Normal, true);
            module->moveToThread(&m_moduleThread);
            m_bareModules.push_back(module);
            m_barePorts << QString::fromLocal8Bit(path);
        }
        return m_barePorts.mid(0, count);
    }

private:
    VirtualAdapter m_bed;
    QThread m_moduleThread;
    std::vector<SimulatedModule *> m_modules;
    std::vector<SimulatedModule *> m_bareModules;
    QStringList m_barePorts;
};

// Wall and CPU times (user and system) of the runs of one case, in ms. This
// process (starting the run, the modules, umockdev's ioctl server) shares the
// machine's cores with the radioconf-cli it serves, so its CPU is shown too.
struct Case
{
    // bare: the tool runs without the test bed's preload library, on bare
    // pseudo-terminals named in its arguments.
    Case(const char *name, QStringList arguments, int adapters, bool bare = false)
        : name(name), arguments(std::move(arguments)), adapters(adapters), bare(bare)
    {
    }

    const char *name;
    QStringList arguments;
    int adapters;
    bool bare;
    std::vector<double> wallMs, cliCpuMs, bedCpuMs;
    bool failed = false;

    void run()
    {
        QProcess cli;
        if (bare) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove(QStringLiteral("LD_PRELOAD"));
            environment.remove(QStringLiteral("UMOCKDEV_DIR"));
            cli.setProcessEnvironment(environment);
        }
        const double cli0 = cpuMs(RUSAGE_CHILDREN);
        const double bed0 = cpuMs(RUSAGE_SELF);
        const auto start = std::chrono::steady_clock::now();
        cli.start(RADIOCONF_CLI, arguments);
        const bool finished = cli.waitForFinished(60000);
        const auto end = std::chrono::steady_clock::now();
        if (!finished || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
            std::printf("radioconf-cli %s failed (exit %d): %s\n", qPrintable(arguments.join(' ')),
                        cli.exitCode(), cli.readAllStandardError().trimmed().constData());
            failed = true;
        }
        wallMs.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        cliCpuMs.push_back(cpuMs(RUSAGE_CHILDREN) - cli0);
        bedCpuMs.push_back(cpuMs(RUSAGE_SELF) - bed0);
    }

    double medianMs() const { return percentile(wallMs, 0.5); }

    void print(const QString &comparison) const
    {
        if (failed)
            return;
        std::printf("%-24s median %6.1f ms (CPU %5.1f ms; bench and test bed %4.1f ms) over %d "
                    "runs%s\n",
                    name, medianMs(), percentile(cliCpuMs, 0.5), percentile(bedCpuMs, 0.5),
                    int(wallMs.size()), qPrintable(comparison));
    }
};

QString target(double ms, double limit, const QString &what)
{
    return QStringLiteral(", %1, target < %2 ms: %3")
        .arg(what)
        .arg(limit, 0, 'f', 1)
        .arg(ms < limit ? "met" : "NOT met");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (!benchReady("bench_cli"))
        return 2;
    QFile load("/proc/loadavg");
    if (load.open(QIODevice::ReadOnly))
        std::printf("load average before: %s", load.readLine().constData());

    const QString port = Line::port(0);
    Line line;
    // One more for ser2net, which opens its line when a client connects.
    QStringList bare = line.barePorts(ADAPTERS + 1);
    if (bare.size() != ADAPTERS + 1) {
        std::fprintf(stderr, "bench_cli: cannot open the pseudo-terminals\n");
        return 1;
    }
    Ser2netBed ser2net;
    if (!ser2net.start({bare.takeLast().toLocal8Bit()})) {
        std::fprintf(stderr, "bench_cli: ser2net does not serve its ports\n");
        return 1;
    }
    QStringList bareArguments{"read"};
    for (const QString &path : bare)
        bareArguments << "--port" << path;
    Case cases[] = {
        // What starting and ending the process costs, without any exchange.
        {"--version (start, exit)", {"--version"}, 1},
        {"read", {"read", "--port", port}, 1},
        {"write (read, then write)", {"write", "--port", port, "--group", "7"}, 1},
        {"read --all, 1 adapter", {"read", "--all"}, 1},
        {"read --all, 8 adapters", {"read", "--all"}, ADAPTERS},
        // The same exchanges, on ports the tool is told of, with no test bed:
        // what side by side costs the tool itself on this machine.
        {"read, 1 bare terminal", {"read", "--port", bare.first()}, 1, true},
        {"read, 8 bare terminals", bareArguments, 1, true},
        // A terminal like the first across ser2net on loopback.
        {"read, ser2net rfc2217", {"read", "--port", ser2net.rfc2217Name(0)}, 1, true},
        {"read, ser2net tcp", {"read", "--port", ser2net.tcpName(0)}, 1, true},
    };
    for (int round = 0; round < ROUNDS; ++round) {
        for (Case &c : cases) {
            if (!line.resize(c.adapters)) {
                std::fprintf(stderr, "bench_cli: cannot plug the virtual adapters\n");
                return 1;
            }
            if (!c.failed)
                c.run();
        }
    }

    // A pseudo-terminal carries the bytes faster than 9600 baud, so the
    // floors are upper references.
    const double readFloor = wireMs(7 + SimulatedModule::BLOCK_LENGTH);
    const double writeFloor =
        readFloor + wireMs(SimulatedModule::WRITE_REQUEST_LENGTH + SimulatedModule::BLOCK_LENGTH);
    cases[0].print(QString());
    const double read = cases[1].medianMs();
    cases[1].print(
        target(read, readFloor + 25, QStringLiteral("floor %1 ms").arg(readFloor, 0, 'f', 1)));
    const double write = cases[2].medianMs();
    cases[2].print(target(write, 2 * readFloor + 50,
                          QStringLiteral("floor %1 ms").arg(writeFloor, 0, 'f', 1)));
    cases[3].print(QString());
    const double ratio = cases[4].medianMs() / cases[3].medianMs();
    cases[4].print(QStringLiteral(", %1 x one (target < 1.3 x): %2")
                       .arg(ratio, 0, 'f', 2)
                       .arg(ratio < 1.3 ? "met" : "NOT met"));
    cases[5].print(QString());
    cases[6].print(
        QStringLiteral(", %1 x one").arg(cases[6].medianMs() / cases[5].medianMs(), 0, 'f', 2));
    for (const int i : {7, 8})
        cases[i].print(QStringLiteral(", %1 x a bare terminal")
                           .arg(cases[i].medianMs() / cases[5].medianMs(), 0, 'f', 2));
    return 0;
}
