#include "simulator/virtualadapter.h"

#include "messagelog.h"

#include <QtTest>

#include <sys/resource.h>

class TestUdevBackend : public QObject
{
    Q_OBJECT
private slots:
    void devicesComeAndGo()
    {
        QVERIFY2(VirtualAdapter::preloaded(), "run under umockdev-wrapper");
        VirtualAdapter bed;
        auto *stopped = new QDeviceWatcher; // must leave nothing behind that hears the bed
        QVERIFY(stopped->start());
        delete stopped;
        QDeviceWatcher watcher;
        QObject receiver;
        receiver.setObjectName("r");
        watcher.addEventReceiver(&receiver);
        QVERIFY(watcher.start());
        QVERIFY(watcher.start()); // keeps the one monitor: no signal twice
        WatcherLog log(&watcher);
        const auto events = [&log] { return log.lines.filter(QRegularExpression("^r ")); };

        // The USB device and its tty each announce themselves.
        QVERIFY(bed.plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
        QTRY_COMPARE_WITH_TIMEOUT(log.lines.size(), 2, 10000);
        bed.unplug("ttyUSB0");
        QTRY_COMPARE_WITH_TIMEOUT(log.lines.size(), 4, 10000);
        // A built-in port: its "platform" parent raises nothing, its tty a
        // notify. The disk comes after: once it is heard, so were they.
        QVERIFY(bed.plugWithoutUsb("ttyS4"));
        QVERIFY(bed.plugDisk("sdq"));
        QTRY_COMPARE_WITH_TIMEOUT(events().size(), 2, 10000);
        // The partition goes first, then its disk.
        bed.unplugDisk("sdq");
        QTRY_COMPARE_WITH_TIMEOUT(events().size(), 4, 10000);
        const QStringList disk{"deviceAdded /dev/sdq", "deviceAdded /dev/sdq1",
                               "deviceRemoved /dev/sdq1", "deviceRemoved /dev/sdq"};
        QCOMPARE(log.lines.filter(QRegularExpression("^device")),
                 QVector<QString>(5, "deviceNotify notify").toList() + disk);
        QCOMPARE(events(), (QStringList{"r arrival /dev/sdq", "r arrival /dev/sdq1",
                                        "r removal /dev/sdq1", "r removal /dev/sdq"}));
    }
    void startFailsWithoutDescriptors()
    {
        QDeviceWatcher watcher;
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit none = saved;
        none.rlim_cur = 0; // no descriptor can be opened: the monitor's socket cannot be made
        MessageLog log;
        setrlimit(RLIMIT_NOFILE, &none);
        const bool started = watcher.start();
        setrlimit(RLIMIT_NOFILE, &saved);
        QVERIFY2(!started && log.lines.size() == 1 &&
                     log.lines[0].startsWith("warning: QDeviceWatcherPrivate: cannot "),
                 qPrintable(log.lines.join('\n')));
        QVERIFY(watcher.start()); // descriptors back: the same watcher can start now
    }
};

QTEST_GUILESS_MAIN(TestUdevBackend)
#include "tst_udevbackend.moc"
