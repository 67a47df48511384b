#include "devicewatcher/udeveventmapping.h"

#include <QtTest>

class TestUdevEventMapping : public QObject
{
    Q_OBJECT
private slots:
    void mapsEvents()
    {
        const char *const cases[] = {
            "add block partition /dev/sdb1 -> add arrival /dev/sdb1",
            "remove block partition /dev/sdb1 -> remove removal /dev/sdb1",
            "add block disk /dev/sdb -> add arrival /dev/sdb",
            "change block disk /dev/sdb -> none",
            "add block disk - -> none",
            "add block loop /dev/loop0 -> none",
            "add tty - /dev/ttyUSB0 -> notify",
            "remove usb usb_interface - -> notify",
            "add input - /dev/input/event3 -> none",
            "ADD tty - /dev/ttyUSB0 -> none",
            "- - - - -> none",
        };
        for (const QString c : cases) {
            const QStringList in = c.section(" -> ", 0, 0).replace('-', QString()).split(' ');
            const UdevWatcherCall call = mapUdevEvent(in[0], in[1], in[2], in[3]);
            const QString change =
                call.changeKind == QDeviceChangeEvent::Arrival ? "arrival" : "removal";
            const QString got = QStringList{"none", call.action + " " + change + " " + call.device,
                                            call.device}[call.kind];
            QCOMPARE(c.section(" -> ", 0, 0) + " -> " + got, c);
        }
    }
};

// "action subsystem devtype node -> call"; "-" stands for an empty text.
QTEST_GUILESS_MAIN(TestUdevEventMapping)
#include "tst_udeveventmapping.moc"
