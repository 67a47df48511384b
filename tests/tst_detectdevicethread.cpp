#include "simulator/virtualadapter.h"

#include "discovery/detectdevicethread.h"

#include <QElapsedTimer>
#include <QSerialPortInfo>
#include <QSignalSpy>
#include <QtTest>

// Records the signals of a discovery thread, in the order they arrive.
class PassRecorder : public QObject
{
    Q_OBJECT
public:
    explicit PassRecorder(DetectDeviceThread *thread)
    {
        connect(thread, &DetectDeviceThread::portFoundStart, this, [this] { log << "start"; });
        connect(thread, &DetectDeviceThread::portAvailable, this,
                [this](const QString &name) { log << "available " + name; });
        connect(thread, &DetectDeviceThread::portNotFound, this, [this] { log << "notfound"; });
        connect(thread, &DetectDeviceThread::portFoundEnd, this, [this] { log << "end"; });
    }
    QStringList log;
};

class TestDetectDeviceThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void reportsMatchingPortsOnly_data();
    void reportsMatchingPortsOnly();
    void twoAdaptersInPlatformOrder();
    void stopDuringPassFinishesPassAndPause();
    void restartAfterEndRunsNewPass();
    void stopOnStoppedThreadReturnsAtOnce();
    void destructionWaitsForThread();

private:
    static QStringList onePass(DetectDeviceThread &thread);
};

void TestDetectDeviceThread::initTestCase()
{
    QVERIFY2(VirtualAdapter::preloaded(), "run under umockdev-wrapper");
}

QStringList TestDetectDeviceThread::onePass(DetectDeviceThread &thread)
{
    PassRecorder recorder(&thread);
    // Stop from the first slot of the pass, as the window does, so that the
    // thread ends after this pass and its pause.
    QMetaObject::Connection stop = connect(&thread, &DetectDeviceThread::portFoundStart, &recorder,
                                           [&thread] { thread.stopDetect(); });
    thread.startDetect();
    const bool ended = QTest::qWaitFor([&] { return recorder.log.contains("end"); }, 10000);
    disconnect(stop);
    if (!ended)
        return {"no pass"};
    return recorder.log;
}

void TestDetectDeviceThread::reportsMatchingPortsOnly_data()
{
    QTest::addColumn<quint16>("vendor");
    QTest::addColumn<quint16>("product");
    QTest::addColumn<bool>("reported");
    QTest::newRow("CP210x") << quint16(0x10c4) << quint16(0xea60) << true;
    QTest::newRow("Cypress") << quint16(0x04b4) << quint16(0x0003) << true;
    QTest::newRow("CP210x vendor, Cypress product") << quint16(0x10c4) << quint16(0x0003) << false;
    QTest::newRow("Cypress vendor, CP210x product") << quint16(0x04b4) << quint16(0xea60) << false;
    QTest::newRow("FTDI") << quint16(0x0403) << quint16(0x6001) << false;
}

void TestDetectDeviceThread::reportsMatchingPortsOnly()
{
    QFETCH(quint16, vendor);
    QFETCH(quint16, product);
    QFETCH(bool, reported);

    VirtualAdapter bed;
    QVERIFY(bed.plug("ttyUSB0", vendor, product));
    // A built-in port without USB identifiers is never reported.
    QVERIFY(bed.plugWithoutUsb("ttyS0"));
    DetectDeviceThread thread;
    const QStringList expected = reported ? QStringList{"start", "available ttyUSB0", "end"}
                                          : QStringList{"start", "notfound", "end"};
    QCOMPARE(onePass(thread), expected);
}

void TestDetectDeviceThread::twoAdaptersInPlatformOrder()
{
    VirtualAdapter bed;
    QVERIFY(bed.plug("ttyUSB3", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QVERIFY(bed.plug("ttyUSB1", VirtualAdapter::CypressVendor, VirtualAdapter::CypressProduct));
    QStringList expected{"start"};
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        expected << "available " + info.portName();
    expected << "end";
    QCOMPARE(expected.size(), 4);

    DetectDeviceThread thread;
    QCOMPARE(onePass(thread), expected);
}

void TestDetectDeviceThread::stopDuringPassFinishesPassAndPause()
{
    VirtualAdapter bed;
    QVERIFY(bed.plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    DetectDeviceThread thread;
    PassRecorder recorder(&thread);
    // Stop from inside the first slot of the pass, as the window does.
    QElapsedTimer blocked;
    qint64 blockedMs = -1;
    connect(&thread, &DetectDeviceThread::portFoundStart, &recorder, [&] {
        blocked.start();
        thread.stopDetect();
        blockedMs = blocked.elapsed();
    });
    thread.startDetect();
    QTRY_COMPARE_WITH_TIMEOUT(blockedMs >= 0, true, 10000);
    QVERIFY(thread.isFinished());
    // The pause after the pass was served before stopDetect returned.
    QVERIFY2(blockedMs >= 500, qPrintable(QString::number(blockedMs)));
    QCoreApplication::processEvents();
    QCOMPARE(recorder.log, (QStringList{"start", "available ttyUSB0", "end"}));
}

void TestDetectDeviceThread::restartAfterEndRunsNewPass()
{
    VirtualAdapter bed;
    DetectDeviceThread thread;
    QCOMPARE(onePass(thread), (QStringList{"start", "notfound", "end"}));
    QVERIFY(thread.isFinished());
    QVERIFY(bed.plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QCOMPARE(onePass(thread), (QStringList{"start", "available ttyUSB0", "end"}));
}

void TestDetectDeviceThread::stopOnStoppedThreadReturnsAtOnce()
{
    DetectDeviceThread thread;
    QElapsedTimer timer;
    timer.start();
    thread.stopDetect();
    thread.stopDetect();
    QVERIFY(timer.elapsed() < 500);
    QVERIFY(!thread.isRunning());
}

void TestDetectDeviceThread::destructionWaitsForThread()
{
    VirtualAdapter bed;
    auto *thread = new DetectDeviceThread;
    std::atomic<bool> finished{false};
    connect(
        thread, &QThread::finished, thread, [&] { finished = true; }, Qt::DirectConnection);
    QSignalSpy start(thread, &DetectDeviceThread::portFoundStart);
    thread->startDetect();
    QVERIFY(start.wait(10000));
    delete thread;
    QVERIFY(finished);
}

QTEST_GUILESS_MAIN(TestDetectDeviceThread)
#include "tst_detectdevicethread.moc"
