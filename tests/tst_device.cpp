#include "simulator/virtualadapter.h"

#include "config/device.h"
#include "simulator/simulatedmodule.h"

#include <QSerialPort>
#include <QtTest>

#include <atomic>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// While set, clearing a modem line fails as on a line that went dead (EIO):
// an error other than the pseudo-terminal's "unsupported" while opening.
static std::atomic<bool> modemLinesFail{false};

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void *argument = va_arg(args, void *);
    va_end(args);
    if (modemLinesFail && request == TIOCMBIC) {
        errno = EIO;
        return -1;
    }
    using Ioctl = int (*)(int, unsigned long, ...);
    static const auto next = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
    return next(fd, request, argument);
}

using Behaviour = SimulatedModule::Behaviour;
Q_DECLARE_METATYPE(SimulatedModule::Behaviour)

static const QString Port = VirtualAdapter::processPortName();
enum Outcome { Final, TimeOut, OpenFail, PortError };
Q_DECLARE_METATYPE(Outcome)

// A device, its module behind a virtual adapter that is pulled out when the
// module hangs up, and spies on the outcomes.
struct Rig
{
    // Short times: quick runs, yet room for a trickled reply on a loaded machine.
    explicit Rig(Behaviour behaviour, bool real = false)
    {
        bed.plug(Port, VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct);
        module = std::make_unique<SimulatedModule>(bed.farEnd(Port), behaviour);
        module->setTrickleDelay(5);
        QObject::connect(module.get(), &SimulatedModule::hungUp, [this] { bed.unplug(Port); });
        device->setTiming(real ? Device::Timing() : Device::Timing{100, 1500, 200});
        device->setPortName(Port);
        device->setRequest(SimulatedModule::READ_REQUEST);
    }
    int outcomes() const
    {
        return ends[0].size() + ends[1].size() + ends[2].size() + ends[3].size();
    }
    // False while another opener holds the port (the port takes a lock file).
    static bool portIsFree() { return QSerialPort(Port).open(QIODevice::ReadWrite); }

    VirtualAdapter bed;
    std::unique_ptr<SimulatedModule> module;
    std::unique_ptr<Device> device = std::make_unique<Device>();
    QSignalSpy ends[4]{{device.get(), &Device::finalProgress},
                       {device.get(), &Device::timeOut},
                       {device.get(), &Device::openfail},
                       {device.get(), &Device::porterror}}; // by Outcome
    QSignalSpy progress{device.get(), &Device::updateProgress};
};

class TestDevice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(VirtualAdapter::preloaded(), "run under umockdev-wrapper"); }

    void exchange_data()
    {
        using B = Behaviour;
        QTest::addColumn<Behaviour>("behaviour");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QString>("log"); // debug lines, '|' between
        // From startDownload to the outcome, at the application's times (and
        // less than a second more); 0: shortened times.
        QTest::addColumn<int>("minimumMs");

        const QString timedOut = "Device Retry|Device onTimeOut";
        QTest::newRow("30 bytes, real") << B::Normal << Final << 1 << "" << 3000;
        QTest::newRow("40 bytes, whole") << B::Padded << Final << 1 << "" << 0;
        QTest::newRow("trickled") << B::Trickle << Final << 1 << "" << 0;
        QTest::newRow("answer to the re-send only")
            << B::AnswerResendOnly << Final << 2 << "Device Retry" << 0;
        QTest::newRow("silent, real") << B::Silent << TimeOut << 2 << timedOut << 10000;
        QTest::newRow("wrong start byte") << B::WrongStartByte << TimeOut << 2 << timedOut << 0;
        QTest::newRow("no such port, real") << B::Normal << OpenFail << 0 << "" << 3000;
        // Reported at the first expiry; the dead port must not keep the process busy.
        QTest::newRow("adapter pulled, real")
            << B::HangUp << PortError << 1 << "Device onError" << 5000;
        QTest::newRow("modem lines fail") << B::Silent << PortError << 1 << "Device onError" << 0;
    }

    void exchange()
    {
        QFETCH(Behaviour, behaviour);
        QFETCH(Outcome, outcome);
        QFETCH(int, requests);
        QFETCH(QString, log);
        QFETCH(int, minimumMs);

        Rig rig(behaviour, minimumMs > 0);
        modemLinesFail = QByteArray(QTest::currentDataTag()) == "modem lines fail";
        // Held open before the device opens it, to read the line's settings.
        const int line = ::open(QFile::encodeName(rig.bed.rootDir() + "/dev/" + Port),
                                O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(line >= 0);
        QByteArray reply;
        QElapsedTimer clock, sinceReply;
        QList<qint64> requestMs;
        QObject::connect(rig.module.get(), &SimulatedModule::requestReceived,
                         [&] { requestMs << clock.elapsed(); });
        QObject::connect(rig.module.get(), &SimulatedModule::replySent,
                         [&](const QByteArray &sent) {
                             reply = sent;
                             sinceReply.start();
                         });
        if (outcome == OpenFail)
            rig.device->setPortName("ttyNoSuchPort");
        for (const QString &line : log.split('|', Qt::SkipEmptyParts))
            QTest::ignoreMessage(QtDebugMsg, qPrintable(line)); // and fails the test unless seen
        const std::clock_t cpuBefore = std::clock();
        clock.start();
        const QTime before = QTime::currentTime();
        rig.device->startDownload();
        const QTime after = QTime::currentTime();
        termios tio;
        QVERIFY(tcgetattr(line, &tio) == 0 && ::close(line) == 0);
        if (outcome != OpenFail) // 9600 baud, 8N1, no flow control
            QCOMPARE(QString::asprintf("%d %d %x", int(cfgetispeed(&tio)), int(cfgetospeed(&tio)),
                                       tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)),
                     QString::asprintf("%d %d %x", B9600, B9600, CS8));
        QTRY_COMPARE_WITH_TIMEOUT(rig.ends[outcome].count(), 1, 30000);
        modemLinesFail = false;
        const double wall = clock.elapsed() / 1000.0;
        const double cpu = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
        QVERIFY2(wall * 1000 >= minimumMs && (!minimumMs || wall * 1000 < minimumMs + 1000),
                 qPrintable(QString::number(wall)));
        if (minimumMs && requests == 2) // the re-send, 5000 ms after the request
            QVERIFY2(requestMs.at(1) >= 5000 && requestMs.at(1) <= 5500,
                     qPrintable(QString::number(requestMs.at(1))));
        // Left to loop on a dead port, the owner thread takes a whole core.
        QVERIFY2(!minimumMs || cpu < 0.25 * wall,
                 qPrintable(QString("cpu %1 s in %2 s").arg(cpu).arg(wall)));

        // A re-send is identical; the port is closed and the worker gone.
        QCOMPARE(rig.module->requests(),
                 QVector<QByteArray>(requests, SimulatedModule::READ_REQUEST).toList());
        QVERIFY(!rig.device->isRunning());
        QVERIFY(outcome >= OpenFail || Rig::portIsFree()); // else no port left to open
        if (outcome == Final) {
            QCOMPARE(rig.ends[Final].at(0).at(0).toByteArray(), reply);
            // finalProgress comes 3000 ms after the port closed.
            QVERIFY2(!minimumMs || sinceReply.elapsed() >= 3000,
                     qPrintable(QString::number(sinceReply.elapsed())));
        }
        QCOMPARE(rig.outcomes(), 1);

        // The log file is named after the time of the start.
        QCOMPARE(rig.progress.count(), 2);
        const QString path = rig.progress.at(0).at(0).toString();
        const QTime stamp =
            QTime::fromString(path.mid(QDir::currentPath().size()), "/hh_mm_ss'.log'");
        QVERIFY2(path.startsWith(QDir::currentPath()) && stamp >= before.addMSecs(-before.msec()) &&
                     stamp <= after,
                 qPrintable(path));
        QCOMPARE(rig.progress.at(1).at(0).toString(), QString("start download log"));
        if (minimumMs)
            return;

        // The next exchange starts clean: nothing of this one is taken for its
        // reply or outcome, and its expiries are counted from 0 again.
        SimulatedModule::State state;
        state.groupId = 42;
        rig.module->setState(state);
        rig.module->setBehaviour(Behaviour::AnswerResendOnly);
        QTest::ignoreMessage(QtDebugMsg, "Device Retry");
        rig.device->startDownload();
        QTRY_COMPARE_WITH_TIMEOUT(rig.outcomes(), 2, 10000);
        QCOMPARE(rig.ends[Final].count(), outcome == Final ? 2 : 1);
        QCOMPARE(rig.ends[Final].last().at(0).toByteArray(), SimulatedModule::block(state));
    }

    void destructionDuringExchangeStopsWorkerAndClosesPort()
    {
        Rig rig(Behaviour::Silent);
        QSignalSpy request(rig.module.get(), &SimulatedModule::requestReceived);
        rig.device->startDownload();
        QVERIFY(request.wait(5000));
        QVERIFY(rig.device->isRunning() && !Rig::portIsFree());
        rig.device.reset(); // with the worker still running, QThread's destructor aborts
        QVERIFY(Rig::portIsFree());
    }
};

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
