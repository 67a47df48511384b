#include "simulator/virtualadapter.h"

#include "config/device.h"
#include "simulator/simulatedmodule.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMetaMethod>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <ctime>
#include <unistd.h>

using Behaviour = SimulatedModule::Behaviour;
Q_DECLARE_METATYPE(SimulatedModule::Behaviour)

namespace {

// A name of this process's own: Qt's serial port locks a port through a file
// named after it, shared by every process of the machine, so two test runs
// on "ttyUSB0" at once would keep each other from opening it.
const QString Port = QStringLiteral("ttyUSB%1").arg(qint64(::getpid()));

// Short enough for quick runs, long enough for a loaded machine to get a
// trickled reply across well inside one reply time.
Device::Timing shortTiming()
{
    Device::Timing t;
    t.openRetryPause = 100;
    t.replyTimeout = 1500;
    t.finalPause = 200;
    return t;
}

// The link's debug lines; they come from the owner thread, the handler may
// still be called from anywhere.
std::mutex logMutex;
QStringList deviceLog;
QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.startsWith(QLatin1String("Device "))) {
        std::lock_guard<std::mutex> lock(logMutex);
        deviceLog << text;
    }
    previousHandler(type, context, text);
}

QStringList takeLog()
{
    std::lock_guard<std::mutex> lock(logMutex);
    return std::exchange(deviceLog, {});
}

double processCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

qint64 steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// True while another opener holds the port (the port takes a lock file).
bool portIsFree(const QString &name)
{
    QSerialPort probe(name);
    const bool opened = probe.open(QIODevice::ReadWrite);
    probe.close();
    return opened;
}

} // namespace

// A device, its module behind a virtual adapter, and spies on the outcomes.
struct Rig
{
    explicit Rig(Behaviour behaviour, const Device::Timing &timing = shortTiming())
    {
        bed.plug(Port, VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct);
        module = std::make_unique<SimulatedModule>(bed.farEnd(Port), behaviour);
        module->setTrickleDelay(5);
        device->setTiming(timing);
        device->setPortName(Port);
        device->setRequest(SimulatedModule::ReadRequest);
    }
    int outcomes() const
    {
        return final.count() + timeOut.count() + openfail.count() + porterror.count();
    }

    VirtualAdapter bed;
    std::unique_ptr<SimulatedModule> module;
    std::unique_ptr<Device> device = std::make_unique<Device>();
    QSignalSpy final{device.get(), &Device::finalProgress};
    QSignalSpy timeOut{device.get(), &Device::timeOut};
    QSignalSpy openfail{device.get(), &Device::openfail};
    QSignalSpy porterror{device.get(), &Device::porterror};
    QSignalSpy progress{device.get(), &Device::updateProgress};
};

class TestDevice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void interfaceOrder();
    void replyAccepted_data();
    void replyAccepted();
    void unacceptableRepliesTimeOut_data();
    void unacceptableRepliesTimeOut();
    void outcomesAtRealTimes_data();
    void outcomesAtRealTimes();
    void modemLinesOfAPtyAreNoPortError();
    void vanishedAdapterIsPortErrorWithoutBusyLoop();
    void twoExchangesEachStartClean_data();
    void twoExchangesEachStartClean();
    void destructionDuringExchangeStopsWorkerAndClosesPort();
    void progressTexts();
};

void TestDevice::initTestCase()
{
    QVERIFY2(VirtualAdapter::preloaded(), "run under umockdev-wrapper");
    previousHandler = qInstallMessageHandler(recordMessage);
}

void TestDevice::init()
{
    takeLog();
}

void TestDevice::cleanup()
{
    takeLog();
}

void TestDevice::interfaceOrder()
{
    // The meta-object indexes are part of the class's interface.
    const QMetaObject &mo = Device::staticMetaObject;
    const QStringList expected{
        "receive()",   "updateProgress(QString)",   "timeOut()",          "openfail()",
        "porterror()", "finalProgress(QByteArray)", "onReceivePackage()", "onTimeOut()"};
    QCOMPARE(mo.methodCount() - mo.methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(QString(mo.method(mo.methodOffset() + i).methodSignature()), expected.at(i));
    QCOMPARE(mo.method(mo.methodOffset() + 6).access(), QMetaMethod::Protected);
    QCOMPARE(mo.method(mo.methodOffset() + 7).access(), QMetaMethod::Private);
    QCOMPARE(REPLY_MIN_LENGTH, 30);
    QCOMPARE(REPLY_START_BYTE, '$');
}

void TestDevice::replyAccepted_data()
{
    const QByteArray initial = SimulatedModule::block(SimulatedModule::State());
    SimulatedModule::State written;
    written.frequencyKhz = 868100;
    written.groupId = 5;
    written.trxRate = 2;
    written.power = 1;
    written.baudRate = 4;
    written.parity = 2;
    written.wakeupTime = 0;
    const QByteArray write = QByteArray::fromHex("ff4ccf52a157f10d3f0405020104020"
                                                 "0");
    const QByteArray read = SimulatedModule::ReadRequest;
    QByteArray padded = initial;
    for (int i = 30; i < 40; ++i)
        padded += char(0xa0 + i);

    QTest::addColumn<Behaviour>("behaviour");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("30 bytes") << Behaviour::Normal << read << initial << QStringList();
    QTest::newRow("40 bytes, whole") << Behaviour::Padded << read << padded << QStringList();
    QTest::newRow("trickled") << Behaviour::Trickle << read << initial << QStringList();
    QTest::newRow("answer to the re-send only")
        << Behaviour::AnswerResendOnly << read << initial << QStringList{"Device Retry"};
    QTest::newRow("write") << Behaviour::Normal << write << SimulatedModule::block(written)
                           << QStringList();
    QTest::newRow("write ignored") << Behaviour::IgnoreWrites << write << initial << QStringList();
}

void TestDevice::replyAccepted()
{
    QFETCH(Behaviour, behaviour);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, log);

    Rig rig(behaviour);
    rig.device->setRequest(request);
    rig.device->startDownload();
    QVERIFY(rig.final.wait(10000));
    QCOMPARE(rig.final.count(), 1);
    QCOMPARE(rig.final.at(0).at(0).toByteArray(), reply);
    // Sent once, or once more after the first expiry, and identical.
    const QList<QByteArray> requests = rig.module->requests();
    QCOMPARE(requests.size(), log.size() + 1);
    for (const QByteArray &r : requests)
        QCOMPARE(r, request);
    QCOMPARE(takeLog(), log);
    QVERIFY(!rig.device->isRunning());
    QVERIFY(portIsFree(Port));
    // No other outcome follows the reply.
    QVERIFY(!rig.timeOut.wait(shortTiming().replyTimeout + 500));
    QCOMPARE(rig.outcomes(), 1);
}

void TestDevice::unacceptableRepliesTimeOut_data()
{
    QTest::addColumn<Behaviour>("behaviour");
    QTest::newRow("silent") << Behaviour::Silent;
    QTest::newRow("wrong start byte") << Behaviour::WrongStartByte;
}

void TestDevice::unacceptableRepliesTimeOut()
{
    QFETCH(Behaviour, behaviour);
    Rig rig(behaviour);
    rig.device->startDownload();
    QVERIFY(rig.timeOut.wait(10000));
    QCOMPARE(rig.module->requests(),
             (QList<QByteArray>{SimulatedModule::ReadRequest, SimulatedModule::ReadRequest}));
    QCOMPARE(takeLog(), (QStringList{"Device Retry", "Device onTimeOut"}));
    QCOMPARE(rig.outcomes(), 1);
    QVERIFY(!rig.device->isRunning());
    QVERIFY(portIsFree(Port));
}

void TestDevice::outcomesAtRealTimes_data()
{
    QTest::addColumn<Behaviour>("behaviour");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("minimumMs");
    QTest::addColumn<int>("requests");
    QTest::addColumn<QStringList>("log");

    // The reply comes about at once; 3000 ms pass between the port's closing
    // and finalProgress.
    QTest::newRow("reply") << Behaviour::Normal << Port << "final" << 3000 << 1 << QStringList();
    QTest::newRow("silent") << Behaviour::Silent << Port << "timeOut" << 10000 << 2
                            << QStringList{"Device Retry", "Device onTimeOut"};
    QTest::newRow("no such port") << Behaviour::Normal << "ttyUSB9"
                                  << "openfail" << 3000 << 0 << QStringList();
    QTest::newRow("adapter gone") << Behaviour::HangUp << Port << "porterror" << 5000 << 1
                                  << QStringList{"Device onError"};
}

void TestDevice::outcomesAtRealTimes()
{
    QFETCH(Behaviour, behaviour);
    QFETCH(QString, port);
    QFETCH(QString, outcome);
    QFETCH(int, minimumMs);
    QFETCH(int, requests);
    QFETCH(QStringList, log);

    Rig rig(behaviour, Device::Timing());
    rig.device->setPortName(port);
    QSignalSpy *spy = outcome == "final"      ? &rig.final
                      : outcome == "timeOut"  ? &rig.timeOut
                      : outcome == "openfail" ? &rig.openfail
                                              : &rig.porterror;
    QElapsedTimer clock;
    clock.start();
    rig.device->startDownload();
    QTRY_COMPARE_WITH_TIMEOUT(spy->count(), 1, 30000);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= minimumMs, qPrintable(QString::number(elapsed)));
    if (outcome == "final") {
        const qint64 sinceReplyMs = (steadyNowNs() - rig.module->lastReplyEndNs()) / 1000000;
        QVERIFY2(sinceReplyMs >= 3000, qPrintable(QString::number(sinceReplyMs)));
    }
    QCOMPARE(rig.outcomes(), 1);
    QCOMPARE(rig.module->requests().size(), requests);
    QCOMPARE(takeLog(), log);
    QVERIFY(!rig.device->isRunning());
}

void TestDevice::modemLinesOfAPtyAreNoPortError()
{
    Rig rig(Behaviour::Silent);
    {
        // What the mend is for: the virtual adapter has no modem lines.
        QSerialPort port(Port);
        QVERIFY(port.open(QIODevice::ReadWrite));
        port.setRequestToSend(false);
        QCOMPARE(port.error(), QSerialPort::UnsupportedOperationError);
    }
    rig.device->startDownload();
    QVERIFY(rig.timeOut.wait(10000));
    QCOMPARE(rig.porterror.count(), 0);
    QCOMPARE(takeLog(), (QStringList{"Device Retry", "Device onTimeOut"}));
}

void TestDevice::vanishedAdapterIsPortErrorWithoutBusyLoop()
{
    Device::Timing timing = shortTiming();
    timing.replyTimeout = 3000;
    Rig rig(Behaviour::HangUp, timing);
    QObject::connect(rig.module.get(), &SimulatedModule::hungUp, [&rig] { rig.bed.unplug(Port); });
    QSignalSpy hungUp(rig.module.get(), &SimulatedModule::hungUp);
    rig.device->startDownload();
    QVERIFY(hungUp.wait(5000));
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(rig.porterror.wait(10000));
    const double cpu = processCpuSeconds() - cpuBefore;
    const double wall = clock.elapsed() / 1000.0;
    // Left to loop on the dead port, the owner thread takes a whole core.
    QVERIFY2(wall > 1.0 && cpu < 0.25 * wall,
             qPrintable(QString("cpu %1 s in %2 s").arg(cpu).arg(wall)));
    QCOMPARE(rig.module->requests().size(), 1);
    QCOMPARE(takeLog(), QStringList{"Device onError"});
    QCOMPARE(rig.outcomes(), 1);
    QVERIFY(!rig.device->isRunning());
}

void TestDevice::twoExchangesEachStartClean_data()
{
    QTest::addColumn<Behaviour>("first");
    QTest::addColumn<Behaviour>("second");
    QTest::addColumn<QString>("secondOutcome");
    QTest::addColumn<QStringList>("secondLog");
    QTest::addColumn<int>("secondRequests");
    // The first reply must not be taken again for the second exchange.
    QTest::newRow("reply, then silence") << Behaviour::Normal << Behaviour::Silent << "timeOut"
                                         << QStringList{"Device Retry", "Device onTimeOut"} << 2;
    // The second exchange counts its expiries from 0 again.
    QTest::newRow("time-out, then reply to the re-send")
        << Behaviour::Silent << Behaviour::AnswerResendOnly << "final"
        << QStringList{"Device Retry"} << 2;
    QTest::newRow("trickle, then padded")
        << Behaviour::Trickle << Behaviour::Padded << "final" << QStringList() << 1;
}

void TestDevice::twoExchangesEachStartClean()
{
    QFETCH(Behaviour, first);
    QFETCH(Behaviour, second);
    QFETCH(QString, secondOutcome);
    QFETCH(QStringList, secondLog);
    QFETCH(int, secondRequests);

    Rig rig(first);
    rig.device->startDownload();
    QTRY_COMPARE_WITH_TIMEOUT(rig.outcomes(), 1, 10000);
    QVERIFY(!rig.device->isRunning());
    const int firstRequests = rig.module->requests().size();
    takeLog();

    SimulatedModule::State state;
    state.groupId = 42;
    rig.module->setBehaviour(second);
    rig.module->setState(state);
    const int finalsBefore = rig.final.count();
    rig.device->startDownload();
    QTRY_COMPARE_WITH_TIMEOUT(rig.outcomes(), 2, 10000);
    QCOMPARE(takeLog(), secondLog);
    if (secondOutcome == "final") {
        QCOMPARE(rig.final.count(), finalsBefore + 1);
        const QByteArray reply = rig.final.last().at(0).toByteArray();
        QCOMPARE(reply.left(30), SimulatedModule::block(state));
    } else {
        QCOMPARE(rig.final.count(), finalsBefore);
        QCOMPARE(rig.timeOut.count(), 1);
    }
    QCOMPARE(rig.module->requests().size(), firstRequests + secondRequests);
}

void TestDevice::destructionDuringExchangeStopsWorkerAndClosesPort()
{
    Rig rig(Behaviour::Silent);
    std::atomic<bool> finished{false};
    QObject::connect(
        rig.device.get(), &QThread::finished, rig.device.get(), [&finished] { finished = true; },
        Qt::DirectConnection);
    QSignalSpy request(rig.module.get(), &SimulatedModule::requestReceived);
    rig.device->startDownload();
    QVERIFY(request.wait(5000));
    QVERIFY(rig.device->isRunning());
    QVERIFY(!portIsFree(Port));
    rig.device.reset();
    QVERIFY(finished);
    QVERIFY(portIsFree(Port));
}

void TestDevice::progressTexts()
{
    Rig rig(Behaviour::Normal);
    const QTime before = QTime::currentTime();
    rig.device->startDownload();
    const QTime after = QTime::currentTime();
    QCOMPARE(rig.progress.count(), 2);
    const QString path = rig.progress.at(0).at(0).toString();
    const QRegularExpression shape("^" + QRegularExpression::escape(QDir::currentPath()) +
                                   "/(\\d\\d)_(\\d\\d)_(\\d\\d)\\.log$");
    const QRegularExpressionMatch m = shape.match(path);
    QVERIFY2(m.hasMatch(), qPrintable(path));
    const QTime stamp(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime from(before.hour(), before.minute(), before.second());
    QVERIFY2(stamp == from || stamp == after || (stamp > from && stamp <= after), qPrintable(path));
    QCOMPARE(rig.progress.at(1).at(0).toString(), QString("start download log"));
    QVERIFY(rig.final.wait(10000));
}

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
