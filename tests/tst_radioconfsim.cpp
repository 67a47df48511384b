#include "simulator/virtualadapter.h"

#include "config/device.h"
#include "devicewatcher/qdevicewatcher.h"
#include "simulator/simulatedmodule.h"

#include <QSerialPortInfo>
#include <QtTest>

#include <csignal>

// The reply of the module on port; empty when it times out.
static QByteArray readModule(const QString &port, int replyTimeout)
{
    Device device;
    device.setTiming({1000, replyTimeout, 0});
    device.setPortName(port);
    device.setRequest(SimulatedModule::READ_REQUEST);
    QSignalSpy final(&device, &Device::finalProgress);
    QSignalSpy timedOut(&device, &Device::timeOut);
    device.startDownload();
    if (!QTest::qWaitFor([&] { return !final.isEmpty() || !timedOut.isEmpty(); }, 30000))
        return "neither reply nor time-out";
    return final.isEmpty() ? QByteArray() : final.at(0).at(0).toByteArray();
}

static QStringList portNames()
{
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        names << info.portName();
    names.sort();
    return names;
}

// Runs inside radioconf-sim once its adapters are up: the commands on
// radioconf-sim's input must reach udev, and then each port's module must
// answer through its own adapter with its own MAC, or not at all when silent.
// ports: the ports expected once the commands are through.
static int childMain(const QStringList &ports, const QStringList &silent)
{
    QDeviceWatcher watcher;
    QSignalSpy notified(&watcher, &QDeviceWatcher::deviceNotify);
    if (portNames().isEmpty() || !watcher.start())
        return 12;
    std::printf("ready\n");
    std::fflush(stdout);
    while (notified.wait(15000)) {
        if (portNames() != ports)
            continue;
        for (const QString &port : ports) {
            SimulatedModule::State own;
            own.mac = SimulatedModule::macForPort(port);
            const bool quiet = silent.contains(port);
            if (readModule(port, quiet ? 1000 : 5000) !=
                (quiet ? QByteArray() : SimulatedModule::block(own)))
                return 11;
        }
        return 5;
    }
    return 13;
}

// Runs inside radioconf-sim: says where the test bed is, then waits for one
// of the signals radioconf-sim passes on and exits with its number; with 99
// when a second one follows, as when a Ctrl+C reached it twice.
static int signalledMain()
{
    sigset_t set;
    sigemptyset(&set);
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&set, number);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    std::printf("ready %s\n", qgetenv("UMOCKDEV_DIR").constData());
    std::fflush(stdout);
    const timespec limit{30, 0}, again{0, 300000000};
    const int number = sigtimedwait(&set, nullptr, &limit);
    return sigtimedwait(&set, nullptr, &again) > 0 ? 99 : number;
}

class TestRadioconfSim : public QObject
{
    Q_OBJECT
private slots:
    void run_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("commands"); // sent when the child is ready
        // Port names of its own: Qt locks ports through files shared machine-wide.
        const QString a = VirtualAdapter::processPortName();
        const QString b = a + 'b', c = a + 'c';
        const QStringList child{"--behaviour", "silent", "--",
                                QCoreApplication::applicationFilePath()};
        QTest::newRow("a line: own behaviours, MACs, plug and unplug by name")
            << QStringList{"--port", a + ":normal", "--port", b} + child +
                   QStringList{"--child", b + ',' + c, b}
            << 5 << QByteArray("unplug " + a.toUtf8() + "\nplug " + c.toUtf8() + ":normal\n");
        QTest::newRow("unknown port behaviour")
            << QStringList{"--port", "ttyUSB0:odd", "--", "true"} << 2 << QByteArray();
        QTest::newRow("program missing")
            << QStringList{"--", "/nonexistent/program"} << 127 << QByteArray();
    }

    void run()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, commands);
        QProcess sim;
        sim.start(RADIOCONF_SIM, arguments);
        QByteArray out; // the child says when the adapter may be pulled out
        QTRY_VERIFY_WITH_TIMEOUT((out += sim.readAllStandardOutput()).contains("ready") ||
                                     sim.state() == QProcess::NotRunning,
                                 30000);
        if (out.contains("ready"))
            sim.write(commands);
        QVERIFY(sim.waitForFinished(30000) || sim.state() == QProcess::NotRunning);
        QVERIFY2(sim.exitCode() == exitCode, sim.readAllStandardError().constData());
    }

    // A signal for radioconf-sim is its program's: passed on once, waited
    // for, the adapters removed, and the program's end as the exit code.
    void forwardsSignal_data()
    {
        QTest::addColumn<QStringList>("program");
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("toGroup"); // a Ctrl+C at the terminal
        QTest::addColumn<int>("exitCode");
        const QStringList waiter{QCoreApplication::applicationFilePath(), "--signalled"};
        QTest::newRow("Ctrl+C") << waiter << SIGINT << true << SIGINT;
        QTest::newRow("SIGTERM") << waiter << SIGTERM << false << SIGTERM;
        QTest::newRow("SIGHUP") << waiter << SIGHUP << false << SIGHUP;
        QTest::newRow("program ended by the signal")
            << QStringList{"sh", "-c", "echo ready; exec sleep 30"} << SIGTERM << false
            << 128 + SIGTERM;
    }

    void forwardsSignal()
    {
        QFETCH(QStringList, program);
        QFETCH(int, signal);
        QFETCH(bool, toGroup);
        QFETCH(int, exitCode);
        // setsid: radioconf-sim leads a process group, as at a terminal.
        QProcess sim;
        sim.start("setsid",
                  QStringList{RADIOCONF_SIM, "--port", VirtualAdapter::processPortName(), "--"} +
                      program);
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += sim.readAllStandardOutput()).contains("ready"), 30000);
        const QString bed = QString::fromLocal8Bit(out.mid(out.indexOf("ready") + 6).trimmed());
        QVERIFY(::kill(pid_t(toGroup ? -sim.processId() : sim.processId()), signal) == 0);
        QVERIFY(sim.waitForFinished(30000));
        QVERIFY2(sim.exitStatus() == QProcess::NormalExit && sim.exitCode() == exitCode,
                 qPrintable(QString::number(sim.exitCode()) + sim.readAllStandardError()));
        QVERIFY(bed.isEmpty() || !QFileInfo::exists(bed));
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--signalled") == 0)
        return signalledMain();
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0)
        return childMain(QString(argv[2]).split(','), QString(argv[3]).split(','));
    TestRadioconfSim test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_radioconfsim.moc"
