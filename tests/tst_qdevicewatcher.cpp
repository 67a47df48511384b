#include "devicewatcher/qdevicewatcherprivate.h"
#include "messagelog.h"

#include <QtTest>

using Change = QDeviceChangeEvent;
static const QEvent::Type Marker = static_cast<QEvent::Type>(QEvent::registerEventType());

// A backend raising the signals of a watcher that is not its own.
struct Bench
{
    Bench() { d.owner = &watcher; }
    QDeviceWatcher watcher;
    QDeviceWatcherPrivate d;
    WatcherLog events{&watcher};
    QStringList &log = events.lines;
};

// Named for the log; notes there the markers it receives.
struct Receiver : QObject
{
    Receiver(const char *name, QStringList *log = nullptr) : log(log) { setObjectName(name); }
    bool event(QEvent *e) override
    {
        if (e->type() == Marker && log)
            *log << objectName() + " marker";
        return QObject::event(e);
    }
    QStringList *log;
};

class TestQDeviceWatcher : public QObject
{
    Q_OBJECT
private slots:
    void actions()
    {
        QCOMPARE(Change(Change::Arrival, "A:/").type(), Change(Change::Removal, "B:/").type());

        Bench b;
        MessageLog messages;
        QVERIFY(QMetaObject::invokeMethod(&b.d, "parseDeviceInfo")); // does nothing
        for (const char *action :
             {"add", "ADD", "Remove", "rEMOVe", "change", "Change", "", "added", "notify", " add"})
            b.d.raiseByAction("X", action);
        QCOMPARE(b.log, (QStringList{"deviceAdded X", "deviceAdded X", "deviceRemoved X",
                                     "deviceRemoved X", "deviceChanged X", "deviceChanged X"}));
        QCOMPARE(messages.lines, QStringList());
    }

    void eventsFollowSignalsAndFailuresWarn()
    {
        Bench b;
        // Without a living receiver, signals but no events.
        b.d.deliverChange({"A:/"}, "add", Change::Arrival);
        b.d.receivers << new Receiver("gone");
        delete b.d.receivers.last();
        b.d.deliverChange({"B:/"}, "add", Change::Arrival);

        Receiver first("first", &b.log), second("second");
        b.d.receivers << &first << &second;
        // Posted first at normal priority: the change's events overtake it.
        QCoreApplication::postEvent(&first, new QEvent(Marker));
        b.d.deliverChange({"E:/", "F:/", "G:/"}, "remove", Change::Removal);
        // Each receiver gets event objects of its own: a shared one would be
        // deleted after its first delivery.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(b.log, (QStringList{"deviceAdded A:/", "deviceAdded B:/", "deviceRemoved E:/",
                                     "deviceRemoved F:/", "deviceRemoved G:/", "first removal E:/",
                                     "first removal F:/", "first removal G:/", "second removal E:/",
                                     "second removal F:/", "second removal G:/", "first marker"}));

        // Without an owner each signal fails with a warning; the events go on.
        QDeviceWatcherPrivate d; // no owner: no signal can be invoked
        Receiver receiver("r");
        d.receivers << &receiver;
        b.log.clear();
        MessageLog messages;
        d.raiseDeviceNotify("notify");
        for (const char *action : {"add", "remove", "change"})
            d.deliverChange({"K:/"}, action, Change::Arrival);
        QStringList warnings;
        for (const char *signal : {"Notify", "Added", "Removed", "Changed"})
            warnings << QString("warning: invoke device%1 failed").arg(signal);
        QCOMPARE(messages.lines, warnings);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(b.log, QVector<QString>(3, "r arrival K:/").toList()); // the changes went on

        // A slot that destroys the backend ends the change there.
        auto *doomed = new QDeviceWatcherPrivate;
        doomed->owner = &b.watcher;
        doomed->receivers << &receiver;
        connect(&b.watcher, &QDeviceWatcher::deviceRemoved, doomed, [doomed] { delete doomed; });
        doomed->deliverChange({"E:/", "F:/"}, "remove", Change::Removal);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(b.log.mid(3), QStringList{"deviceRemoved E:/"});
    }
};

QTEST_GUILESS_MAIN(TestQDeviceWatcher)
#include "tst_qdevicewatcher.moc"
