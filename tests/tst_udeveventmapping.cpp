#include "devicewatcher/udeveventmapping.h"

#include <QtTest>

class TestUdevEventMapping : public QObject
{
    Q_OBJECT
private slots:
    void mapsEvents_data();
    void mapsEvents();
};

void TestUdevEventMapping::mapsEvents_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("subsystem");
    QTest::addColumn<QString>("devtype");
    QTest::addColumn<QString>("devnode");
    // "none", "notify", or "<action> <kind> <device>"
    QTest::addColumn<QString>("expected");

    QTest::newRow("partition added") << "add"
                                     << "block"
                                     << "partition"
                                     << "/dev/sdb1"
                                     << "add arrival /dev/sdb1";
    QTest::newRow("partition removed") << "remove"
                                       << "block"
                                       << "partition"
                                       << "/dev/sdb1"
                                       << "remove removal /dev/sdb1";
    QTest::newRow("disk added") << "add"
                                << "block"
                                << "disk"
                                << "/dev/sdb"
                                << "add arrival /dev/sdb";
    QTest::newRow("disk removed") << "remove"
                                  << "block"
                                  << "disk"
                                  << "/dev/sdb"
                                  << "remove removal /dev/sdb";
    QTest::newRow("disk changed") << "change"
                                  << "block"
                                  << "disk"
                                  << "/dev/sdb"
                                  << "none";
    QTest::newRow("block without node") << "add"
                                        << "block"
                                        << "disk"
                                        << ""
                                        << "none";
    QTest::newRow("block other type") << "add"
                                      << "block"
                                      << "loop"
                                      << "/dev/loop0"
                                      << "none";
    QTest::newRow("tty added") << "add"
                               << "tty"
                               << ""
                               << "/dev/ttyUSB0"
                               << "notify";
    QTest::newRow("tty removed") << "remove"
                                 << "tty"
                                 << ""
                                 << "/dev/ttyUSB0"
                                 << "notify";
    QTest::newRow("usb device added") << "add"
                                      << "usb"
                                      << "usb_device"
                                      << "/dev/bus/usb/001/002"
                                      << "notify";
    QTest::newRow("usb interface removed") << "remove"
                                           << "usb"
                                           << "usb_interface"
                                           << ""
                                           << "notify";
    QTest::newRow("usb bound") << "bind"
                               << "usb"
                               << "usb_device"
                               << ""
                               << "none";
    QTest::newRow("tty changed") << "change"
                                 << "tty"
                                 << ""
                                 << "/dev/ttyUSB0"
                                 << "none";
    QTest::newRow("input added") << "add"
                                 << "input"
                                 << ""
                                 << "/dev/input/event3"
                                 << "none";
    QTest::newRow("net removed") << "remove"
                                 << "net"
                                 << ""
                                 << ""
                                 << "none";
    QTest::newRow("upper-case action") << "ADD"
                                       << "tty"
                                       << ""
                                       << "/dev/ttyUSB0"
                                       << "none";
    QTest::newRow("nothing") << ""
                             << ""
                             << ""
                             << ""
                             << "none";
}

void TestUdevEventMapping::mapsEvents()
{
    QFETCH(QString, action);
    QFETCH(QString, subsystem);
    QFETCH(QString, devtype);
    QFETCH(QString, devnode);
    QFETCH(QString, expected);

    const UdevWatcherCall call = mapUdevEvent(action, subsystem, devtype, devnode);
    QString got;
    switch (call.kind) {
    case UdevWatcherCall::None:
        got = "none";
        break;
    case UdevWatcherCall::Notify:
        got = call.device;
        break;
    case UdevWatcherCall::DeviceChange:
        got = call.action + " " +
              (call.changeKind == QDeviceChangeEvent::Arrival ? "arrival" : "removal") + " " +
              call.device;
        break;
    }
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(TestUdevEventMapping)
#include "tst_udeveventmapping.moc"
