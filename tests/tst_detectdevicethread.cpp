#include "simulator/virtualadapter.h"

#include "discovery/detectdevicethread.h"

#include <QElapsedTimer>
#include <QSerialPortInfo>
#include <QSignalSpy>
#include <QtTest>

// Discovery against virtual adapters: one pass lists first, then reports
// the recognised ports in platform order.
class TestDetectDeviceThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(VirtualAdapter::preloaded(), "run under umockdev-wrapper"); }
    void reportsRecognisedPairsOnly_data();
    void reportsRecognisedPairsOnly();
    void restartStopAndDestruction();
};

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

void TestDetectDeviceThread::reportsRecognisedPairsOnly_data()
{
    QTest::addColumn<QList<int>>("ids"); // vendor, product per adapter
    QTest::addColumn<QString>("found");  // empty: both, in the platform's order
    QTest::newRow("CP210x") << QList<int>{0x10c4, 0xea60} << "ttyUSB0";
    QTest::newRow("Cypress") << QList<int>{0x04b4, 0x0003} << "ttyUSB0";
    QTest::newRow("pairs crossed") << QList<int>{0x10c4, 0x0003, 0x04b4, 0xea60} << "notfound";
    QTest::newRow("other vendor") << QList<int>{0x0403, 0x6001} << "notfound";
    QTest::newRow("two") << QList<int>{0x10c4, 0xea60, 0x04b4, 0x0003} << "";
}

void TestDetectDeviceThread::reportsRecognisedPairsOnly()
{
    QFETCH(QList<int>, ids);
    QFETCH(QString, found);
    QStringList pass{found};
    VirtualAdapter bed;
    // Plugged in reverse name order: the pass follows the platform's order.
    for (int i = 0; i < ids.size(); i += 2)
        QVERIFY(bed.plug(QString("ttyUSB%1").arg(ids.size() / 2 - 1 - i / 2), ids[i], ids[i + 1]));
    // A built-in port without USB identifiers is never reported.
    QVERIFY(bed.plugWithoutUsb("ttyS0"));
    if (found.isEmpty()) {
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
            pass << (info.hasVendorIdentifier() ? info.portName() : QString());
        pass.removeAll(QString());
        QCOMPARE(pass.size(), 2);
    }
    pass = QStringList{"start"} + pass + QStringList{"end"};
    DetectDeviceThread thread;
    QCOMPARE(onePass(thread), pass);
}

void TestDetectDeviceThread::restartStopAndDestruction()
{
    VirtualAdapter bed;
    DetectDeviceThread thread;
    QCOMPARE(onePass(thread), (QStringList{"start", "notfound", "end"}));
    // A stopped thread returns at once from another stop.
    QElapsedTimer clock;
    clock.start();
    thread.stopDetect();
    QVERIFY(clock.elapsed() < 5000);
    // A new start runs a new pass.
    QVERIFY(bed.plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QCOMPARE(onePass(thread), (QStringList{"start", "ttyUSB0", "end"}));

    // Destruction waits for a running thread to end.
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

QTEST_GUILESS_MAIN(TestDetectDeviceThread)
#include "tst_detectdevicethread.moc"
