// Measures whole radioconf-cli processes, start to exit, against simulated
// modules with no reply delay behind virtual adapters: read, write, and
// read --all with one and with eight adapters. Run under umockdev-wrapper
// (bench/run).

#include "simulator/virtualadapter.h"

#include "simulator/simulatedmodule.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

const int Runs = 15;
// Bits on the wire per byte at 8N1, and the link's speed.
const double BitsPerByte = 10.0;
const double Baud = 9600.0;

double wireMs(int bytes)
{
    return bytes * BitsPerByte / Baud * 1000.0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The modules answer from a thread of their own, as hardware would.
class Line
{
public:
    Line() { moduleThread.start(); }
    ~Line()
    {
        for (SimulatedModule *module : modules)
            module->deleteLater();
        moduleThread.quit();
        moduleThread.wait();
    }

    bool plug(int count)
    {
        while (int(modules.size()) < count) {
            const QString port =
                VirtualAdapter::processPortName() + QString::number(modules.size());
            if (!bed.plug(port, VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct))
                return false;
            auto *module = new SimulatedModule(bed.farEnd(port));
            module->moveToThread(&moduleThread);
            modules.push_back(module);
        }
        return true;
    }

    VirtualAdapter bed;
    QThread moduleThread;
    std::vector<SimulatedModule *> modules;
};

// Median wall time (ms) of runs of radioconf-cli with arguments; negative
// after a failed run, which is reported.
double cliMedianMs(const QStringList &arguments)
{
    std::vector<double> wallMs;
    for (int i = 0; i < Runs; ++i) {
        QProcess cli;
        cli.setProcessChannelMode(QProcess::SeparateChannels);
        const auto start = std::chrono::steady_clock::now();
        cli.start(RADIOCONF_CLI, arguments);
        const bool finished = cli.waitForFinished(60000);
        const auto end = std::chrono::steady_clock::now();
        if (!finished || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
            std::printf("radioconf-cli %s failed (exit %d): %s\n", qPrintable(arguments.join(' ')),
                        cli.exitCode(), cli.readAllStandardError().trimmed().constData());
            return -1;
        }
        wallMs.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    return median(wallMs);
}

void report(const char *what, double ms, double floorMs, double targetMs)
{
    if (ms < 0)
        return;
    std::printf("%-26s median %7.1f ms over %d runs, floor %5.1f ms, target < %5.1f ms: %s\n", what,
                ms, Runs, floorMs, targetMs, ms < targetMs ? "met" : "NOT met");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("LD_PRELOAD")) {
        std::fprintf(stderr, "bench_cli: run under umockdev-wrapper (bench/run)\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Line line;
    if (!line.plug(1)) {
        std::fprintf(stderr, "bench_cli: cannot plug the virtual adapters\n");
        return 1;
    }
    // A pseudo-terminal carries the bytes faster than 9600 baud, so the
    // floors are upper references.
    const double readFloor = wireMs(7 + SimulatedModule::BlockLength);
    const double writeFloor =
        readFloor + wireMs(SimulatedModule::WriteRequestLength + SimulatedModule::BlockLength);
    const QString port = VirtualAdapter::processPortName() + '0';
    report("read", cliMedianMs({"read", "--port", port}), readFloor, readFloor + 25);
    report("write (read, then write)", cliMedianMs({"write", "--port", port, "--group", "7"}),
           writeFloor, 2 * readFloor + 50);

    const double one = cliMedianMs({"read", "--all"});
    if (!line.plug(8)) {
        std::fprintf(stderr, "bench_cli: cannot plug the virtual adapters\n");
        return 1;
    }
    const double eight = cliMedianMs({"read", "--all"});
    if (one > 0 && eight > 0) {
        std::printf("read --all, 1 adapter:     median %7.1f ms over %d runs\n"
                    "read --all, 8 adapters:    median %7.1f ms over %d runs, %.2f x one "
                    "(target < 1.3 x): %s\n",
                    one, Runs, eight, Runs, eight / one, eight < 1.3 * one ? "met" : "NOT met");
    }
    return 0;
}
