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
    void stopDuringPassFinishesPassAndPause();
    void restartStopAndDestruction();
};

// Runs one pass, stopped from its first slot as the window does; returns
// the signals it delivered.
static QStringList onePass(DetectDeviceThread &thread)
{
    QStringList log;
    QObject receiver;
    QObject::connect(&thread, &DetectDeviceThread::portFoundStart, &receiver, [&] {
        log << "start";
        thread.stopDetect();
    });
    QObject::connect(&thread, &DetectDeviceThread::portAvailable, &receiver,
                     [&](const QString &name) { log << name; });
    QObject::connect(&thread, &DetectDeviceThread::portNotFound, &receiver,
                     [&] { log << "notfound"; });
    QObject::connect(&thread, &DetectDeviceThread::portFoundEnd, &receiver, [&] { log << "end"; });
    thread.startDetect();
    if (!QTest::qWaitFor([&] { return log.contains("end"); }, 10000))
        log << "no end";
    return log;
}

void TestDetectDeviceThread::reportsRecognisedPairsOnly_data()
{
    QTest::addColumn<QList<int>>("ids"); // vendor, product per adapter
    QTest::addColumn<QStringList>("pass");
    QTest::newRow("CP210x") << QList<int>{0x10c4, 0xea60} << QStringList{"start", "ttyUSB0", "end"};
    QTest::newRow("Cypress") << QList<int>{0x04b4, 0x0003}
                             << QStringList{"start", "ttyUSB0", "end"};
    QTest::newRow("pairs crossed")
        << QList<int>{0x10c4, 0x0003, 0x04b4, 0xea60} << QStringList{"start", "notfound", "end"};
    QTest::newRow("other vendor") << QList<int>{0x0403, 0x6001}
                                  << QStringList{"start", "notfound", "end"};
    QTest::newRow("two") << QList<int>{0x10c4, 0xea60, 0x04b4, 0x0003} << QStringList();
}

void TestDetectDeviceThread::reportsRecognisedPairsOnly()
{
    QFETCH(QList<int>, ids);
    QFETCH(QStringList, pass);
    VirtualAdapter bed;
    // Plugged in reverse name order: the pass follows the platform's order.
    for (int i = 0; i < ids.size(); i += 2)
        QVERIFY(bed.plug(QString("ttyUSB%1").arg(ids.size() / 2 - 1 - i / 2), ids[i], ids[i + 1]));
    // A built-in port without USB identifiers is never reported.
    QVERIFY(bed.plugWithoutUsb("ttyS0"));
    if (pass.isEmpty()) {
        pass << "start";
        const auto ports = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo &info : ports)
            if (info.hasVendorIdentifier())
                pass << info.portName();
        pass << "end";
        QCOMPARE(pass.size(), 4);
    }
    DetectDeviceThread thread;
    QCOMPARE(onePass(thread), pass);
}

void TestDetectDeviceThread::stopDuringPassFinishesPassAndPause()
{
    VirtualAdapter bed;
    QVERIFY(bed.plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    DetectDeviceThread thread;
    QElapsedTimer clock;
    qint64 stopReturnedAfter = -1;
    connect(&thread, &DetectDeviceThread::portFoundStart, this, [&] {
        clock.start();
        thread.stopDetect();
        stopReturnedAfter = clock.elapsed();
    });
    QSignalSpy end(&thread, &DetectDeviceThread::portFoundEnd);
    thread.startDetect();
    QTRY_VERIFY_WITH_TIMEOUT(stopReturnedAfter >= 0, 10000);
    QVERIFY(thread.isFinished());
    QCOMPARE(end.count(), 1); // the pass finished with all its signals
    // and its one-second pause was served before stopDetect returned.
    QVERIFY2(stopReturnedAfter >= 500, qPrintable(QString::number(stopReturnedAfter)));
}

void TestDetectDeviceThread::restartStopAndDestruction()
{
    VirtualAdapter bed;
    DetectDeviceThread thread;
    QCOMPARE(onePass(thread), (QStringList{"start", "notfound", "end"}));
    QVERIFY(thread.isFinished());
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
