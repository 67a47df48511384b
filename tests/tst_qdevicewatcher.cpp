#include "devicewatcher/qdevicechangeevent.h"
#include "devicewatcher/qdevicewatcher.h"
#include "devicewatcher/qdevicewatcherprivate.h"
#include "messagelog.h"

#include <QMetaMethod>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QEvent::Type MarkerType = static_cast<QEvent::Type>(QEvent::registerEventType());

QString kindText(QDeviceChangeEvent::ChangeKind kind)
{
    return kind == QDeviceChangeEvent::Arrival ? QStringLiteral("arrival")
                                               : QStringLiteral("removal");
}

} // namespace

// Records, in order, the change events (and marker events) it receives.
class EventRecorder : public QObject
{
public:
    QStringList log;
    QList<int> types;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QDeviceChangeEvent::registeredType()) {
            const auto *change = static_cast<QDeviceChangeEvent *>(e);
            log << kindText(change->action()) + " " + change->deviceText();
            types << e->type();
            return true;
        }
        if (e->type() == MarkerType) {
            log << "marker";
            return true;
        }
        return QObject::event(e);
    }
};

// Counts change events delivered to any object of the thread.
class ChangeEventCounter : public QObject
{
public:
    ChangeEventCounter() { QCoreApplication::instance()->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QDeviceChangeEvent::registeredType())
            ++count;
        return false;
    }
};

// A watcher's signals, as "name text" in the order they were raised.
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

class TestQDeviceWatcher : public QObject
{
    Q_OBJECT
private slots:
    void metaObjects();
    void stringConnectionsReachSignals();
    void noReceiverRaisesSignalsOnly();
    void actionIgnoresCase_data();
    void actionIgnoresCase();
    void threeDrivesSignalsThenEventsAtHighPriority();
    void oneEventTypeForAll();
    void failedInvokeWarnsOnceAndGoesOn_data();
    void failedInvokeWarnsOnceAndGoesOn();
    void everyReceiverGetsEventsOfItsOwn();
    void destroyedReceiverIsSkipped();
};

void TestQDeviceWatcher::metaObjects()
{
    const QMetaObject &mo = QDeviceWatcher::staticMetaObject;
    QCOMPARE(mo.className(), "QDeviceWatcher");
    QCOMPARE(mo.methodCount() - mo.methodOffset(), 4);
    const QStringList names{"deviceAdded(QString)", "deviceChanged(QString)",
                            "deviceRemoved(QString)", "deviceNotify(QString)"};
    for (int i = 0; i < 4; ++i) {
        const QMetaMethod m = mo.method(mo.methodOffset() + i);
        QCOMPARE(QString::fromLatin1(m.methodSignature()), names.at(i));
        QCOMPARE(m.methodType(), QMetaMethod::Signal);
        QCOMPARE(m.parameterNames(), QList<QByteArray>{"dev"});
    }
    QCOMPARE(mo.propertyCount() - mo.propertyOffset(), 0);

    const QMetaObject &pmo = QDeviceWatcherPrivate::staticMetaObject;
    QCOMPARE(pmo.className(), "QDeviceWatcherPrivate");
    QCOMPARE(pmo.methodCount() - pmo.methodOffset(), 1);
    const QMetaMethod slot = pmo.method(pmo.methodOffset());
    QCOMPARE(slot.methodSignature(), QByteArray("parseDeviceInfo()"));
    QCOMPARE(slot.methodType(), QMetaMethod::Slot);
    QCOMPARE(slot.access(), QMetaMethod::Private);
}

void TestQDeviceWatcher::stringConnectionsReachSignals()
{
    // The window joins the signals by their normalised signatures.
    QDeviceWatcher watcher;
    QDeviceWatcherPrivate d;
    d.owner = &watcher;
    QObject receiver;
    QSignalSpy spy(&watcher, SIGNAL(deviceNotify(QString)));
    for (const char *signal : {SIGNAL(deviceAdded(QString)), SIGNAL(deviceChanged(QString)),
                               SIGNAL(deviceRemoved(QString)), SIGNAL(deviceNotify(QString))})
        QVERIFY(connect(&watcher, signal, &receiver, SLOT(deleteLater()), Qt::DirectConnection));
    d.raiseDeviceNotify("notify");
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QString("notify"));
}

void TestQDeviceWatcher::noReceiverRaisesSignalsOnly()
{
    QDeviceWatcher watcher;
    QDeviceWatcherPrivate d;
    d.owner = &watcher;
    SignalLog signalLog(&watcher);
    ChangeEventCounter counter;
    QVERIFY(!d.hasReceivers());
    d.deliverChange({"A:/", "B:/"}, "add", QDeviceChangeEvent::Arrival);
    QCOMPARE(signalLog.log, (QStringList{"deviceAdded A:/", "deviceAdded B:/"}));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(counter.count, 0);
}

void TestQDeviceWatcher::actionIgnoresCase_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("add") << "add" << QStringList{"deviceAdded X"};
    QTest::newRow("ADD") << "ADD" << QStringList{"deviceAdded X"};
    QTest::newRow("Remove") << "Remove" << QStringList{"deviceRemoved X"};
    QTest::newRow("rEMOVe") << "rEMOVe" << QStringList{"deviceRemoved X"};
    QTest::newRow("change") << "change" << QStringList{"deviceChanged X"};
    QTest::newRow("Change") << "Change" << QStringList{"deviceChanged X"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("added") << "added" << QStringList{};
    QTest::newRow("notify") << "notify" << QStringList{};
    QTest::newRow("padded") << " add" << QStringList{};
}

void TestQDeviceWatcher::actionIgnoresCase()
{
    QFETCH(QString, action);
    QFETCH(QStringList, expected);
    QDeviceWatcher watcher;
    QDeviceWatcherPrivate d;
    d.owner = &watcher;
    SignalLog signalLog(&watcher);
    MessageLog messages;
    d.raiseByAction("X", action);
    QCOMPARE(signalLog.log, expected);
    QCOMPARE(messages.lines, QStringList());
}

void TestQDeviceWatcher::threeDrivesSignalsThenEventsAtHighPriority()
{
    QDeviceWatcher watcher;
    QDeviceWatcherPrivate d;
    d.owner = &watcher;
    EventRecorder receiver;
    d.receivers.append(&receiver);
    // Every signal is raised before any event is handled: note what the
    // receiver had seen when each signal came.
    QStringList log;
    connect(&watcher, &QDeviceWatcher::deviceRemoved, this,
            [&](const QString &dev) { log << dev + " after " + receiver.log.join(','); });
    // Posted first at normal priority: the change's events overtake it.
    QCoreApplication::postEvent(&receiver, new QEvent(MarkerType));

    d.deliverChange({"E:/", "F:/", "G:/"}, "remove", QDeviceChangeEvent::Removal);
    QCOMPARE(log, (QStringList{"E:/ after ", "F:/ after ", "G:/ after "}));
    QCOMPARE(receiver.log, QStringList());
    QCoreApplication::sendPostedEvents(&receiver);
    QCOMPARE(receiver.log, (QStringList{"removal E:/", "removal F:/", "removal G:/", "marker"}));
}

void TestQDeviceWatcher::oneEventTypeForAll()
{
    const QEvent::Type type = QDeviceChangeEvent::registeredType();
    QVERIFY(type >= QEvent::User && type <= QEvent::MaxUser);
    QVERIFY(type != MarkerType);
    QDeviceChangeEvent first(QDeviceChangeEvent::Arrival, "A:/");
    QDeviceChangeEvent second(QDeviceChangeEvent::Removal, "B:/");
    QCOMPARE(first.type(), type);
    QCOMPARE(second.type(), type);
    QCOMPARE(first.action(), QDeviceChangeEvent::Arrival);
    QCOMPARE(second.action(), QDeviceChangeEvent::Removal);
    QCOMPARE(second.deviceText(), QString("B:/"));

    // And the events of two separate changes carry it as well.
    QDeviceWatcher watcher;
    QDeviceWatcherPrivate d;
    d.owner = &watcher;
    EventRecorder receiver;
    d.receivers.append(&receiver);
    d.deliverChange({"C:/"}, "add", QDeviceChangeEvent::Arrival);
    d.deliverChange({"C:/"}, "remove", QDeviceChangeEvent::Removal);
    QCoreApplication::sendPostedEvents(&receiver);
    QCOMPARE(receiver.types, (QList<int>{type, type}));
    QCOMPARE(receiver.log, (QStringList{"arrival C:/", "removal C:/"}));
}

void TestQDeviceWatcher::failedInvokeWarnsOnceAndGoesOn_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("warning");
    QTest::newRow("added") << "add"
                           << "warning: invoke deviceAdded failed";
    QTest::newRow("removed") << "remove"
                             << "warning: invoke deviceRemoved failed";
    QTest::newRow("changed") << "change"
                             << "warning: invoke deviceChanged failed";
    QTest::newRow("notify") << "notify"
                            << "warning: invoke deviceNotify failed";
}

void TestQDeviceWatcher::failedInvokeWarnsOnceAndGoesOn()
{
    QFETCH(QString, operation);
    QFETCH(QString, warning);
    // No owner: the signal cannot be invoked by name.
    QDeviceWatcherPrivate d;
    EventRecorder receiver;
    d.receivers.append(&receiver);
    MessageLog messages;
    if (operation == "notify") {
        d.raiseDeviceNotify("notify");
        QCOMPARE(messages.lines, QStringList{warning});
        return;
    }
    d.deliverChange({"K:/", "L:/"}, operation, QDeviceChangeEvent::Arrival);
    QCOMPARE(messages.lines, (QStringList{warning, warning}));
    // The change went on: both events were still posted.
    QCoreApplication::sendPostedEvents(&receiver);
    QCOMPARE(receiver.log, (QStringList{"arrival K:/", "arrival L:/"}));
}

void TestQDeviceWatcher::everyReceiverGetsEventsOfItsOwn()
{
    QDeviceWatcher watcher;
    QDeviceWatcherPrivate d;
    d.owner = &watcher;
    EventRecorder first;
    EventRecorder second;
    d.receivers << &first << &second << &first;
    // Each receiver's copy is a distinct object: a shared one would be
    // deleted after its first delivery (caught by ASan as well).
    d.deliverChange({"M:/", "N:/"}, "add", QDeviceChangeEvent::Arrival);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(first.log, (QStringList{"arrival M:/", "arrival N:/", "arrival M:/", "arrival N:/"}));
    QCOMPARE(second.log, (QStringList{"arrival M:/", "arrival N:/"}));
}

void TestQDeviceWatcher::destroyedReceiverIsSkipped()
{
    QDeviceWatcher watcher;
    QDeviceWatcherPrivate d;
    d.owner = &watcher;
    SignalLog signalLog(&watcher);
    auto *gone = new EventRecorder;
    EventRecorder kept;
    d.receivers << gone << &kept;
    delete gone;
    ChangeEventCounter counter;
    d.deliverChange({"P:/"}, "remove", QDeviceChangeEvent::Removal);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(kept.log, QStringList{"removal P:/"});
    QCOMPARE(counter.count, 1);

    // With only destroyed receivers left, no event is made at all.
    QDeviceWatcherPrivate lonely;
    lonely.owner = &watcher;
    auto *alone = new EventRecorder;
    lonely.receivers << alone;
    delete alone;
    QVERIFY(!lonely.hasReceivers());
    lonely.deliverChange({"Q:/"}, "add", QDeviceChangeEvent::Arrival);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(counter.count, 1);
    QCOMPARE(signalLog.log, (QStringList{"deviceRemoved P:/", "deviceAdded Q:/"}));
}

QTEST_GUILESS_MAIN(TestQDeviceWatcher)
#include "tst_qdevicewatcher.moc"
