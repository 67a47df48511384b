#include "simulator/virtualadapter.h"

#include "config/device.h"
#include "devicewatcher/qdevicewatcher.h"
#include "simulator/simulatedmodule.h"

#include <QSerialPortInfo>
#include <QtTest>

static QByteArray blockFor(const QString &port)
{
    SimulatedModule::State state;
    state.mac = SimulatedModule::macForPort(port);
    return SimulatedModule::block(state);
}

// The reply of the module on port; empty when it times out.
static QByteArray readModule(const QString &port, int replyTimeout = 5000)
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

// Each port's module answers with its own MAC, or not at all when silent.
static bool readModules(const QStringList &silent)
{
    for (const QString &port : portNames()) {
        const bool quiet = silent.contains(port);
        if (readModule(port, quiet ? 1000 : 5000) != (quiet ? QByteArray() : blockFor(port)))
            return false;
    }
    return true;
}

// Runs inside radioconf-sim: the adapters must look real to the serial port
// and to udev, each module must answer through its own with its own MAC and
// behaviour, and the commands on radioconf-sim's input must reach udev.
// ports: the ports expected once the commands are through; silent: the ports
// whose modules must not answer.
static int childMain(const QStringList &ports, const QStringList &silent)
{
    const auto infos = QSerialPortInfo::availablePorts();
    if (infos.isEmpty() || infos.at(0).vendorIdentifier() != 0x04b4 ||
        infos.at(0).productIdentifier() != 0x0003)
        return 10;
    if (!readModules(silent))
        return 11;
    QDeviceWatcher watcher;
    QSignalSpy notified(&watcher, &QDeviceWatcher::deviceNotify);
    if (!watcher.start())
        return 12;
    std::printf("ready\n");
    std::fflush(stdout);
    while (notified.wait(15000)) {
        if (portNames() == ports)
            return readModules(silent) ? 5 : 11;
    }
    return 13;
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
        const QStringList child{"--adapter", "cypress", "--behaviour",
                                "silent",    "--",      QCoreApplication::applicationFilePath()};
        QTest::newRow("child sees adapter, module and unplug")
            << QStringList{"--port", a + ":normal"} + child + QStringList{"--child", "", ""} << 5
            << QByteArray("unplug\n");
        QTest::newRow("a line: own behaviours, MACs, plug and unplug by name")
            << QStringList{"--port", a + ":normal", "--port", b} + child +
                   QStringList{"--child", b + ',' + c, b}
            << 5 << QByteArray("unplug " + a.toUtf8() + "\nplug " + c.toUtf8() + ":normal\n");
        QTest::newRow("no program") << QStringList{} << 2 << QByteArray();
        QTest::newRow("unknown behaviour")
            << QStringList{"--behaviour", "odd", "--", "true"} << 2 << QByteArray();
        QTest::newRow("unknown port behaviour")
            << QStringList{"--port", "ttyUSB0:odd", "--", "true"} << 2 << QByteArray();
        QTest::newRow("program's own code")
            << QStringList{"--", "sh", "-c", "exit 3"} << 3 << QByteArray();
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
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0) {
        const QString ports = argv[2];
        return childMain(ports.isEmpty() ? QStringList() : ports.split(','),
                         QString(argv[3]).split(','));
    }
    TestRadioconfSim test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_radioconfsim.moc"
