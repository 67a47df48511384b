#include "simulator/virtualadapter.h"

#include "devicewatcher/qdevicechangeevent.h"
#include "devicewatcher/qdevicewatcher.h"
#include "messagelog.h"

#include <QSignalSpy>
#include <QtTest>

#include <sys/resource.h>

// Records the change events it receives, as "<kind> <device>".
class EventRecorder : public QObject
{
public:
    QStringList log;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != QDeviceChangeEvent::registeredType())
            return QObject::event(e);
        const auto *change = static_cast<QDeviceChangeEvent *>(e);
        log << QString(change->action() == QDeviceChangeEvent::Arrival ? "arrival " : "removal ") +
                   change->deviceText();
        return true;
    }
};

// Every signal of a watcher, as "name text", in order.
class SignalLog : public QObject
{
public:
    explicit SignalLog(QDeviceWatcher *watcher)
    {
        connect(watcher, &QDeviceWatcher::deviceAdded, this,
                [this](const QString &d) { log << "deviceAdded " + d; });
        connect(watcher, &QDeviceWatcher::deviceChanged, this,
                [this](const QString &d) { log << "deviceChanged " + d; });
        connect(watcher, &QDeviceWatcher::deviceRemoved, this,
                [this](const QString &d) { log << "deviceRemoved " + d; });
        connect(watcher, &QDeviceWatcher::deviceNotify, this,
                [this](const QString &d) { log << "deviceNotify " + d; });
    }
    QStringList log;
};

class TestUdevBackend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void adapterPlugAndUnplugNotify();
    void partitionAddedAndRemoved();
    void otherSubsystemsRaiseNothing();
    void stoppedWatcherHearsNothing();
    void startFailsWithoutDescriptors();
};

void TestUdevBackend::initTestCase()
{
    QVERIFY2(VirtualAdapter::preloaded(), "run under umockdev-wrapper");
}

void TestUdevBackend::adapterPlugAndUnplugNotify()
{
    VirtualAdapter bed;
    QDeviceWatcher watcher;
    EventRecorder receiver;
    watcher.addEventReceiver(&receiver);
    QVERIFY(watcher.start());
    SignalLog signalLog(&watcher);

    // The USB device and its tty each announce themselves.
    QVERIFY(bed.plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QTRY_COMPARE_WITH_TIMEOUT(signalLog.log.size(), 2, 10000);
    QCOMPARE(signalLog.log, (QStringList{"deviceNotify notify", "deviceNotify notify"}));

    bed.unplug("ttyUSB0");
    QTRY_COMPARE_WITH_TIMEOUT(signalLog.log.size(), 4, 10000);
    QCOMPARE(signalLog.log, QVector<QString>(4, "deviceNotify notify").toList());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(receiver.log, QStringList());
}

void TestUdevBackend::partitionAddedAndRemoved()
{
    VirtualAdapter bed;
    QDeviceWatcher watcher;
    EventRecorder receiver;
    watcher.addEventReceiver(&receiver);
    QVERIFY(watcher.start());
    SignalLog signalLog(&watcher);

    QVERIFY(bed.plugDisk("sdq"));
    QTRY_COMPARE_WITH_TIMEOUT(signalLog.log.size(), 2, 10000);
    QCOMPARE(signalLog.log, (QStringList{"deviceAdded /dev/sdq", "deviceAdded /dev/sdq1"}));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.log.size(), 2, 10000);
    QCOMPARE(receiver.log, (QStringList{"arrival /dev/sdq", "arrival /dev/sdq1"}));

    // The partition goes first, then its disk.
    bed.unplugDisk("sdq");
    QTRY_COMPARE_WITH_TIMEOUT(signalLog.log.size(), 4, 10000);
    QCOMPARE(signalLog.log.mid(2),
             (QStringList{"deviceRemoved /dev/sdq1", "deviceRemoved /dev/sdq"}));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.log.size(), 4, 10000);
    QCOMPARE(receiver.log.mid(2), (QStringList{"removal /dev/sdq1", "removal /dev/sdq"}));
}

void TestUdevBackend::otherSubsystemsRaiseNothing()
{
    VirtualAdapter bed;
    QDeviceWatcher watcher;
    QVERIFY(watcher.start());
    SignalLog signalLog(&watcher);

    // A built-in port: its "platform" parent comes first and raises
    // nothing, its tty a notify.
    QVERIFY(bed.plugWithoutUsb("ttyS4"));
    // The disk comes after them: once it is heard, so were they.
    QVERIFY(bed.plugDisk("sdr"));
    QTRY_VERIFY_WITH_TIMEOUT(signalLog.log.contains("deviceAdded /dev/sdr1"), 10000);
    QCOMPARE(signalLog.log,
             (QStringList{"deviceNotify notify", "deviceAdded /dev/sdr", "deviceAdded /dev/sdr1"}));
}

void TestUdevBackend::stoppedWatcherHearsNothing()
{
    VirtualAdapter bed;
    auto *stopped = new QDeviceWatcher;
    QVERIFY(stopped->start());
    SignalLog stoppedLog(stopped);
    delete stopped;

    QDeviceWatcher listening;
    QVERIFY(listening.start());
    QVERIFY(listening.start()); // a second start keeps the one monitor
    SignalLog signalLog(&listening);
    QVERIFY(bed.plugDisk("sds"));
    QTRY_COMPARE_WITH_TIMEOUT(signalLog.log.size(), 2, 10000);
    QCOMPARE(signalLog.log, (QStringList{"deviceAdded /dev/sds", "deviceAdded /dev/sds1"}));
    QCOMPARE(stoppedLog.log, QStringList());
}

void TestUdevBackend::startFailsWithoutDescriptors()
{
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
    QDeviceWatcher watcher;
    bool started = true;
    QStringList lines;
    {
        MessageLog messages;
        // No descriptor can be opened: the monitor's socket cannot be made.
        rlimit none = saved;
        none.rlim_cur = 0;
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &none), 0);
        started = watcher.start();
        setrlimit(RLIMIT_NOFILE, &saved);
        lines = messages.lines;
    }
    QVERIFY(!started);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.at(0).startsWith("warning: QDeviceWatcherPrivate: cannot "),
             qPrintable(lines.at(0)));
    // Descriptors back: the same watcher can start now.
    QVERIFY(watcher.start());
}

QTEST_GUILESS_MAIN(TestUdevBackend)
#include "tst_udevbackend.moc"
