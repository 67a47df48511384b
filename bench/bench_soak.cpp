// Soak of the module link: many exchanges through each way the simulated
// module can behave, and against a missing port, on short timings. Prints
// how much resident memory, open descriptors and threads grew over each
// behaviour and over the whole run; anything kept per exchange shows as
// growth in proportion to the count. Run under umockdev-wrapper (bench/run).
// Usage: bench_soak [exchanges per behaviour, default 500] [behaviour...]

#include "simulator/virtualadapter.h"

#include "bench/benchsupport.h"
#include "bench/exchangeoutcome.h"
#include "config/device.h"
#include "simulator/simulatedmodule.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

const QString PORT = VirtualAdapter::processPortName();
// Outside /dev: umockdev's preload library keeps a socket for each failed
// open of a device path, which would show as our growth (and overflow its
// table of descriptors after some 50 opens).
const QString MISSING_PORT = QStringLiteral("/nonexistent/radioconf-soak");

struct Usage
{
    long rssKb;
    int fds;
    int threads;
};

int entries(const char *path)
{
    DIR *dir = opendir(path);
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(dir);
    return count;
}

Usage usage()
{
    // Objects whose deletion is pending would count as growth.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    // The listing's own descriptor is counted each time alike.
    return {resident * (sysconf(_SC_PAGESIZE) / 1024), entries("/proc/self/fd"),
            entries("/proc/self/task")};
}

QByteArray writeRequest(const SimulatedModule::State &s)
{
    QByteArray request = SimulatedModule::WRITE_REQUEST_HEADER;
    for (const quint32 byte : {s.frequencyKhz >> 16, s.frequencyKhz >> 8, s.frequencyKhz,
                               quint32(s.groupId), quint32(s.trxRate), quint32(s.power),
                               quint32(s.baudRate), quint32(s.parity), quint32(s.wakeupTime)})
        request += char(byte & 0xff);
    return request;
}

struct Mode
{
    QString name;
    SimulatedModule::Behaviour behaviour;
    bool portMissing;
};

class Soak
{
public:
    Soak()
    {
        // Short enough for thousands of exchanges, long enough for a reply
        // on a loaded machine (a late one only costs a re-send).
        device.setTiming(Device::Timing{5, 50, 0});
    }

    // One exchange in this mode; reads and writes alternate. Returns its
    // outcome.
    const char *exchange(const Mode &mode, int index)
    {
        if (!mode.portMissing)
            serve(mode.behaviour);
        device.setPortName(mode.portMissing ? MISSING_PORT : PORT);
        device.setRequest(index % 2 ? writeRequest(SimulatedModule::State())
                                    : SimulatedModule::READ_REQUEST);
        return exchangeOutcome(device);
    }

private:
    // A module that hung up is gone with its adapter: plug a new one.
    void serve(SimulatedModule::Behaviour behaviour)
    {
        if (!bed.isPlugged(PORT)) {
            module.reset();
            bed.plug(PORT, VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct);
        }
        if (!module) {
            module = std::make_unique<SimulatedModule>(bed.farEnd(PORT), behaviour);
            module->setTrickleDelay(0);
            QObject::connect(module.get(), &SimulatedModule::hungUp, [this] { bed.unplug(PORT); });
        }
        module->setBehaviour(behaviour);
    }

    VirtualAdapter bed;
    std::unique_ptr<SimulatedModule> module;
    Device device;
};

// The link's progress lines, thousands of them, would drown the figures.
void quiet(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtWarningMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void printGrowth(const char *what, const Usage &from, const Usage &to)
{
    std::printf("%s: RSS %+ld kB, descriptors %+d, threads %+d\n", what, to.rssKb - from.rssKb,
                to.fds - from.fds, to.threads - from.threads);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (!benchReady("bench_soak"))
        return 2;
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 500;
    if (count <= 0) {
        std::fprintf(stderr, "usage: bench_soak [exchanges per behaviour] [behaviour...]\n");
        return 2;
    }
    qInstallMessageHandler(quiet);

    // Every behaviour the module knows, then a missing port.
    std::vector<Mode> modes;
    for (const QString &name : SimulatedModule::behaviourNames()) {
        modes.push_back(Mode{name, SimulatedModule::Behaviour::Normal, false});
        SimulatedModule::parseBehaviour(name, &modes.back().behaviour);
    }
    modes.push_back(Mode{QStringLiteral("no port"), SimulatedModule::Behaviour::Normal, true});
    if (argc > 2) {
        const QStringList wanted = app.arguments().mid(2);
        modes.erase(std::remove_if(modes.begin(), modes.end(),
                                   [&](const Mode &m) { return !wanted.contains(m.name); }),
                    modes.end());
    }

    Soak soak;
    // Caches, thread pools and the test bed's first devices are set up once.
    for (const Mode &mode : modes)
        soak.exchange(mode, 0);

    const Usage start = usage();
    for (const Mode &mode : modes) {
        const Usage before = usage();
        QMap<QByteArray, int> outcomes;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < count; ++i)
            ++outcomes[soak.exchange(mode, i)];
        QByteArray seen;
        for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it)
            seen += (seen.isEmpty() ? "" : ", ") + it.key() + ' ' + QByteArray::number(it.value());
        const QByteArray what = "soak " + mode.name.toUtf8() + ", " + QByteArray::number(count) +
                                " exchanges in " + QByteArray::number(clock.elapsed() / 1000.0) +
                                " s (" + seen + ")";
        printGrowth(what.constData(), before, usage());
    }
    const QByteArray total = "soak, all " + QByteArray::number(count * int(modes.size())) +
                             " exchanges (target about 0)";
    printGrowth(total.constData(), start, usage());
    return 0;
}
