#include "config/device.h"
#include "simulator/simulatedmodule.h"

#include <QProcess>
#include <QSerialPortInfo>
#include <QSignalSpy>
#include <QtTest>

#include <libudev.h>
#include <poll.h>

namespace {

const int ChildSuccess = 5;

void say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// Runs inside radioconf-sim: the adapter must look real to the serial port
// and to libudev, and the module must answer through it.
int childMain()
{
    const auto ports = QSerialPortInfo::availablePorts();
    if (ports.size() != 1 || ports.at(0).vendorIdentifier() != 0x04b4 ||
        ports.at(0).productIdentifier() != 0x0003)
        return 10;
    Device device;
    Device::Timing timing;
    timing.finalPause = 0;
    device.setTiming(timing);
    device.setPortName(ports.at(0).portName());
    device.setRequest(SimulatedModule::ReadRequest);
    QSignalSpy final(&device, &Device::finalProgress);
    device.startDownload();
    if (!final.wait(15000) ||
        final.at(0).at(0).toByteArray() != SimulatedModule::block(SimulatedModule::State()))
        return 11;

    udev *context = udev_new();
    udev_monitor *monitor = udev_monitor_new_from_netlink(context, "udev");
    udev_monitor_enable_receiving(monitor);
    const QByteArray portName = ports.at(0).portName().toLatin1();
    say("ready");
    pollfd pfd{udev_monitor_get_fd(monitor), POLLIN, 0};
    int result = 12;
    while (result != ChildSuccess && poll(&pfd, 1, 15000) > 0) {
        udev_device *dev = udev_monitor_receive_device(monitor);
        if (!dev)
            continue;
        if (qstrcmp(udev_device_get_action(dev), "remove") == 0 &&
            portName == udev_device_get_sysname(dev))
            result = ChildSuccess;
        udev_device_unref(dev);
    }
    udev_monitor_unref(monitor);
    udev_unref(context);
    return result;
}

} // namespace

class TestRadioconfSim : public QObject
{
    Q_OBJECT
private slots:
    void childSeesAdapterModuleAndUnplug();
    void usageErrors_data();
    void usageErrors();
};

void TestRadioconfSim::childSeesAdapterModuleAndUnplug()
{
    QProcess sim;
    sim.setProcessChannelMode(QProcess::SeparateChannels);
    sim.setReadChannel(QProcess::StandardOutput);
    // A port name of its own: Qt locks serial ports through files named after
    // them, shared by every process of the machine.
    const QString port = QStringLiteral("ttyUSB%1").arg(QCoreApplication::applicationPid());
    sim.start(RADIOCONF_SIM, {"--adapter", "cypress", "--port", port, "--",
                              QCoreApplication::applicationFilePath(), "--child"});
    QVERIFY(sim.waitForStarted());
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += sim.readAllStandardOutput()).contains("ready") ||
                                 sim.state() == QProcess::NotRunning,
                             30000);
    QVERIFY2(out.contains("ready"), sim.readAllStandardError().constData());
    sim.write("unplug\n");
    QVERIFY(sim.waitForFinished(30000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), ChildSuccess);
}

void TestRadioconfSim::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("no program") << QStringList{} << 2;
    QTest::newRow("unknown adapter") << QStringList{"--adapter", "ftdi", "--", "true"} << 2;
    QTest::newRow("unknown behaviour") << QStringList{"--behaviour", "odd", "--", "true"} << 2;
    QTest::newRow("log not writable")
        << QStringList{"--log", "/nonexistent/dir/requests.log", "--", "true"} << 2;
    QTest::newRow("program's own code") << QStringList{"--", "sh", "-c", "exit 3"} << 3;
    QTest::newRow("program missing") << QStringList{"--", "/nonexistent/program"} << 127;
}

void TestRadioconfSim::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QProcess sim;
    sim.start(RADIOCONF_SIM, arguments);
    QVERIFY(sim.waitForFinished(30000));
    QCOMPARE(sim.exitCode(), exitCode);
}

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--child") == 0) {
        QCoreApplication app(argc, argv);
        return childMain();
    }
    QCoreApplication app(argc, argv);
    TestRadioconfSim test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_radioconfsim.moc"
