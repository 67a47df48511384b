#include "config/device.h"
#include "devicewatcher/qdevicewatcher.h"
#include "simulator/simulatedmodule.h"

#include <QSerialPortInfo>
#include <QtTest>

// Runs inside radioconf-sim: the adapter must look real to the serial port and
// to udev, the module must answer through it, and unplug must reach udev.
static int childMain()
{
    const auto ports = QSerialPortInfo::availablePorts();
    if (ports.size() != 1 || ports.at(0).vendorIdentifier() != 0x04b4 ||
        ports.at(0).productIdentifier() != 0x0003)
        return 10;
    Device device;
    device.setTiming({1000, 5000, 0});
    device.setPortName(ports.at(0).portName());
    device.setRequest(SimulatedModule::READ_REQUEST);
    QSignalSpy final(&device, &Device::finalProgress);
    device.startDownload();
    if (!final.wait(15000) || final.at(0).at(0) != SimulatedModule::block({}))
        return 11;
    // The application's own watcher hears of the unplug through udev.
    QDeviceWatcher watcher;
    QSignalSpy notified(&watcher, &QDeviceWatcher::deviceNotify);
    if (!watcher.start())
        return 12;
    std::printf("ready\n");
    std::fflush(stdout);
    while (notified.wait(15000)) {
        if (QSerialPortInfo::availablePorts().isEmpty())
            return 5;
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
        // A port name of its own: Qt locks ports through files shared machine-wide.
        const QString port = QStringLiteral("ttyUSB%1").arg(QCoreApplication::applicationPid());
        QTest::newRow("child sees adapter, module and unplug")
            << QStringList{"--adapter", "cypress", "--port",
                           port,        "--",      QCoreApplication::applicationFilePath(),
                           "--child"}
            << 5;
        QTest::newRow("no program") << QStringList{} << 2;
        QTest::newRow("unknown behaviour") << QStringList{"--behaviour", "odd", "--", "true"} << 2;
        QTest::newRow("program's own code") << QStringList{"--", "sh", "-c", "exit 3"} << 3;
        QTest::newRow("program missing") << QStringList{"--", "/nonexistent/program"} << 127;
    }

    void run()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QProcess sim;
        sim.start(RADIOCONF_SIM, arguments);
        QByteArray out; // the child says when the adapter may be pulled out
        QTRY_VERIFY_WITH_TIMEOUT((out += sim.readAllStandardOutput()).contains("ready") ||
                                     sim.state() == QProcess::NotRunning,
                                 30000);
        if (out.contains("ready"))
            sim.write("unplug\n");
        QVERIFY(sim.waitForFinished(30000) || sim.state() == QProcess::NotRunning);
        QVERIFY2(sim.exitCode() == exitCode, sim.readAllStandardError().constData());
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--child") == 0)
        return childMain();
    TestRadioconfSim test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_radioconfsim.moc"
