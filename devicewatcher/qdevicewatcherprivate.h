#ifndef QDEVICEWATCHERPRIVATE_H
#define QDEVICEWATCHERPRIVATE_H

#include "devicewatcher/qdevicechangeevent.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

// The Windows backend, or on other systems its stand-in build for tests.
#if defined(Q_OS_WIN) || defined(RADIOCONF_WIN32_LAYER)
#define QDEVICEWATCHER_WIN32_BACKEND 1
#include "devicewatcher/win32api.h"
#else
struct udev;
struct udev_monitor;
class QSocketNotifier;
#endif

class QDeviceWatcher;

// The watcher's backend. The platform-neutral side keeps the receivers and
// raises the owner's signals by name; the platform side (one source file
// per platform) feeds it with the system's notifications.
class QDeviceWatcherPrivate : public QObject
{
    Q_OBJECT
public:
    // One device of a change whose events are still to be posted.
    struct PendingChange
    {
        QDeviceChangeEvent::ChangeKind kind;
        QString device;
    };

    explicit QDeviceWatcherPrivate(QObject *parent = nullptr);
    ~QDeviceWatcherPrivate() override;

    // Platform side. start() is true when watching has begun (also when it
    // already had); stop() ends it and is always true.
    bool start();
    bool stop();

    void raiseDeviceAdded(const QString &dev);
    void raiseDeviceChanged(const QString &dev);
    void raiseDeviceRemoved(const QString &dev);
    void raiseDeviceNotify(const QString &dev);
    // "add", "remove" or "change", in any letter case; anything else is ignored.
    void raiseByAction(const QString &dev, const QString &action);

    // Delivery of one change: raiseChange() for each device in order raises
    // its signal and, when there are receivers, notes the event;
    // postChanges() then posts each receiver its own events, in that order,
    // at high priority. deliverChange() does both for a list of devices.
    // raiseChange() is false when a slot destroyed this backend: then stop.
    bool raiseChange(const QString &dev, const QString &action, QDeviceChangeEvent::ChangeKind kind,
                     QVector<PendingChange> &pending);
    void postChanges(const QVector<PendingChange> &pending);
    void deliverChange(const QStringList &devices, const QString &action,
                       QDeviceChangeEvent::ChangeKind kind);
    bool hasReceivers() const;

    // Guarded: a receiver destroyed before the watcher is skipped.
    QList<QPointer<QObject>> receivers;
    QDeviceWatcher *owner = nullptr;

#ifdef QDEVICEWATCHER_WIN32_BACKEND
    HWND windowHandle = nullptr;
#else
    udev *udevContext = nullptr;
    udev_monitor *monitor = nullptr;
    QSocketNotifier *notifier = nullptr;

private:
    void readMonitor();
    void releaseMonitor();
#endif

private slots:
    void parseDeviceInfo();
};

#endif // QDEVICEWATCHERPRIVATE_H
