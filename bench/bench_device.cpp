// Measures the module link against a simulated module behind a virtual
// adapter: the CPU cost of waiting, the latency of taking a reply, and the
// wall time of a whole exchange. Run under umockdev-wrapper (bench/run).

#include "simulator/virtualadapter.h"

#include "bench/benchsupport.h"
#include "bench/exchangeoutcome.h"
#include "config/device.h"
#include "simulator/simulatedmodule.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

const QString PORT = VirtualAdapter::processPortName();

double processCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The module answers from a thread of its own, as hardware would, so its
// work does not sit in the link's event loop.
class Rig
{
public:
    explicit Rig(SimulatedModule::Behaviour behaviour)
    {
        bed.plug(PORT, VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct);
        module = new SimulatedModule(bed.farEnd(PORT), behaviour);
        module->moveToThread(&moduleThread);
        QObject::connect(&moduleThread, &QThread::finished, module, &QObject::deleteLater);
        moduleThread.start();
        device.setPortName(PORT);
        device.setRequest(SimulatedModule::READ_REQUEST);
    }
    ~Rig()
    {
        moduleThread.quit();
        moduleThread.wait();
    }

    const char *exchange() { return exchangeOutcome(device); }

    VirtualAdapter bed;
    QThread moduleThread;
    SimulatedModule *module;
    Device device;
};

void cpuWhileSilent()
{
    Rig rig(SimulatedModule::Behaviour::Silent);
    const double cpu0 = processCpuSeconds();
    const qint64 wall0 = SimulatedModule::nowNs();
    const char *outcome = rig.exchange();
    const double cpu = processCpuSeconds() - cpu0;
    const double wall = double(SimulatedModule::nowNs() - wall0) / 1e9;
    std::printf("silent module: %s after %.3f s wall, process CPU %.4f s (target < 0.1 s)\n",
                outcome, wall, cpu);
}

void takeLatency(int replies)
{
    Rig rig(SimulatedModule::Behaviour::Normal);
    Device::Timing timing;
    timing.finalPause = 0; // only the take is measured here
    rig.device.setTiming(timing);
    std::atomic<qint64> takenNs{0};
    // Direct: runs in the worker thread at the moment of the emission.
    QObject::connect(
        &rig.device, &Device::receive, &rig.device,
        [&takenNs] { takenNs = SimulatedModule::nowNs(); }, Qt::DirectConnection);
    std::vector<double> latencyMs;
    for (int i = 0; i < replies; ++i) {
        if (qstrcmp(rig.exchange(), "reply") != 0) {
            std::printf("take latency: exchange %d failed\n", i);
            return;
        }
        latencyMs.push_back(double(takenNs - rig.module->lastReplyEndNs()) / 1e6);
    }
    std::printf("take latency over %d replies: median %.3f ms, p99 %.3f ms, max %.3f ms "
                "(target median < 1 ms)\n",
                replies, percentile(latencyMs, 0.5), percentile(latencyMs, 0.99),
                percentile(latencyMs, 1.0));
}

void exchangeWallTime(int runs)
{
    Rig rig(SimulatedModule::Behaviour::Normal);
    std::vector<double> overheadMs;
    for (int i = 0; i < runs; ++i) {
        const qint64 start = SimulatedModule::nowNs();
        const char *outcome = rig.exchange();
        const qint64 end = SimulatedModule::nowNs();
        const double wall = double(end - start) / 1e6;
        const double replyTime =
            double(rig.module->lastReplyEndNs() - rig.module->lastRequestNs()) / 1e6;
        const double floor = 3005.0 + replyTime;
        overheadMs.push_back(wall - floor);
        std::printf("exchange %d: %s, wall %.2f ms, floor %.2f ms (3005 + module %.3f ms), "
                    "over floor %.2f ms\n",
                    i + 1, outcome, wall, floor, replyTime, wall - floor);
    }
    std::printf("exchange wall time over floor: median %.2f ms, max %.2f ms (target < 20 ms)\n",
                percentile(overheadMs, 0.5), percentile(overheadMs, 1.0));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (!benchReady("bench_device"))
        return 2;
    cpuWhileSilent();
    takeLatency(200);
    exchangeWallTime(5);
    return 0;
}
