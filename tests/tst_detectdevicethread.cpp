#include "simulator/virtualadapter.h"

#include "discovery/detectdevicethread.h"
#include "discovery/sysfsportscan.h"

#include <QElapsedTimer>
#include <QSerialPortInfo>
#include <QSignalSpy>
#include <QtTest>

// Runs one pass, stopped from its first slot as the window does; returns
// the signals it delivered. The stop lets the pass and its one-second pause
// finish first: the rest of the pass is queued and the stop took that long.
// A start while the pass runs must not start a second one.
static QStringList onePass(DetectDeviceThread &thread)
{
    QStringList log;
    QObject receiver;
    QObject::connect(&thread, &DetectDeviceThread::portFoundStart, &receiver, [&] {
        QElapsedTimer clock;
        clock.start();
        thread.startDetect();
        thread.stopDetect();
        log << (clock.elapsed() >= 500 && thread.isFinished() ? "start" : "stop too soon");
    });
    QObject::connect(&thread, &DetectDeviceThread::portAvailable, &receiver,
                     [&](const QString &name) { log << name; });
    QObject::connect(&thread, &DetectDeviceThread::portNotFound, &receiver,
                     [&] { log << "notfound"; });
    QObject::connect(&thread, &DetectDeviceThread::portFoundEnd, &receiver, [&] { log << "end"; });
    thread.startDetect();
    (void)QTest::qWaitFor([&] { return log.contains("end"); }, 10000);
    QCoreApplication::processEvents(); // what a second pass would have queued
    return log;
}

// Discovery against virtual adapters: one pass lists first, then reports
// the recognised ports in platform order.
class TestDetectDeviceThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(VirtualAdapter::preloaded(), "run under umockdev-wrapper"); }
    void reportsRecognisedPairsOnly()
    {
        VirtualAdapter bed;
        // Pairs crossed, another vendor, and a built-in port without USB identifiers.
        QVERIFY(bed.plug("ttyUSB5", 0x10c4, 0x0003) && bed.plug("ttyUSB4", 0x04b4, 0xea60) &&
                bed.plug("ttyUSB3", 0x0403, 0x6001) && bed.plugWithoutUsb("ttyS0"));
        DetectDeviceThread thread;
        QCOMPARE(onePass(thread), (QStringList{"start", "notfound", "end"}));
        QCOMPARE(SysfsPortScan::recognisedPorts(), QStringList());
        // CP210x and Cypress, plugged in reverse name order: the next pass
        // follows the platform's order.
        QVERIFY(bed.plug("ttyUSB1", 0x04b4, 0x0003) && bed.plug("ttyUSB0", 0x10c4, 0xea60));
        QStringList pass{"start"};
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
            if (info.portName() == "ttyUSB0" || info.portName() == "ttyUSB1")
                pass << info.portName();
        QCOMPARE(onePass(thread), pass << "end");
        // radioconf-cli's quick scan finds the same, by name.
        QCOMPARE(SysfsPortScan::recognisedPorts(), (QStringList{"ttyUSB0", "ttyUSB1"}));
        bed.unplug("ttyUSB0");
        QCOMPARE(SysfsPortScan::recognisedPorts(), QStringList{"ttyUSB1"});
    }
    void destructionWaitsForThePass()
    {
        VirtualAdapter bed;
        auto *running = new DetectDeviceThread;
        std::atomic<bool> finished{false};
        connect(
            running, &QThread::finished, running, [&] { finished = true; }, Qt::DirectConnection);
        QSignalSpy start(running, &DetectDeviceThread::portFoundStart);
        running->startDetect();
        QVERIFY(start.wait(10000));
        delete running;
        QVERIFY(finished);
    }
};

QTEST_GUILESS_MAIN(TestDetectDeviceThread)
#include "tst_detectdevicethread.moc"
