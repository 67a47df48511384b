#include "devicewatcher/qdevicewatcherprivate.h"
#include "messagelog.h"
#ifndef Q_OS_WIN
#include "devicewatcher/udeveventmapping.h"
#endif

#include <QtTest>

using Change = QDeviceChangeEvent;

class TestQDeviceWatcher : public QObject
{
    Q_OBJECT
private slots:
    void delivery()
    {
        // A backend raising the signals of a watcher that is not its own.
        QDeviceWatcher watcher;
        QDeviceWatcherPrivate d;
        d.owner = &watcher;
        WatcherLog log(&watcher);
        for (const char *action : {"add", "REMOVE", "Change", "", "added", " add"})
            d.raiseByAction("X", action);
        // A receiver that is gone gets no events.
        d.receivers << new QObject;
        delete d.receivers.last();
        d.deliverChange({"B:/"}, "add", Change::Arrival);

        QObject first, second;
        first.setObjectName("first");
        second.setObjectName("second");
        d.receivers << &first << &second;
        // Posted first at normal priority: the change's events overtake it.
        QCoreApplication::postEvent(&first, new Change(Change::Arrival, "marker"));
        d.deliverChange({"E:/", "F:/"}, "remove", Change::Removal);
        // Each receiver gets event objects of its own: a shared one would be
        // deleted after its first delivery.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(log.lines,
                 (QStringList{"deviceAdded X", "deviceRemoved X", "deviceChanged X",
                              "deviceAdded B:/", "deviceRemoved E:/", "deviceRemoved F:/",
                              "first removal E:/", "first removal F:/", "second removal E:/",
                              "second removal F:/", "first arrival marker"}));

        // Without an owner the signal fails with a warning; the events go on.
        d.owner = nullptr;
        log.lines.clear();
        MessageLog messages;
        d.deliverChange({"K:/"}, "remove", Change::Removal);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(messages.lines + log.lines,
                 (QStringList{"warning: invoke deviceRemoved failed", "first removal K:/",
                              "second removal K:/"}));

        // A slot that destroys the backend ends the change there.
        auto *doomed = new QDeviceWatcherPrivate;
        doomed->owner = &watcher;
        doomed->receivers << &first;
        connect(&watcher, &QDeviceWatcher::deviceRemoved, doomed, [doomed] { delete doomed; });
        doomed->deliverChange({"E:/", "F:/"}, "remove", Change::Removal);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(log.lines.mid(2), QStringList{"deviceRemoved E:/"});
    }

#ifndef Q_OS_WIN
    void udevEvents()
    {
        // "action subsystem devtype node -> call"; "-" stands for an empty text.
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
        };
        for (const QString c : cases) {
            const QStringList in = c.section(" -> ", 0, 0).replace('-', QString()).split(' ');
            const UdevWatcherCall call = mapUdevEvent(in[0], in[1], in[2], in[3]);
            const QString change = call.changeKind == Change::Arrival ? "arrival" : "removal";
            const QString got = QStringList{"none", call.action + " " + change + " " + call.device,
                                            call.device}[call.kind];
            QCOMPARE(c.section(" -> ", 0, 0) + " -> " + got, c);
        }
    }
#endif
};

QTEST_GUILESS_MAIN(TestQDeviceWatcher)
#include "tst_qdevicewatcher.moc"
