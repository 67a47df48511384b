#include "devicewatcher/qdevicewatcherprivate.h"

#include "devicewatcher/qdevicewatcher.h"

#include <QCoreApplication>
#include <QLatin1String>
#include <QMetaObject>

QDeviceWatcherPrivate::QDeviceWatcherPrivate(QObject *parent) : QObject(parent) {}

void QDeviceWatcherPrivate::raiseDeviceAdded(const QString &dev)
{
    if (!QMetaObject::invokeMethod(owner, "deviceAdded", Qt::AutoConnection, Q_ARG(QString, dev)))
        qWarning("invoke deviceAdded failed");
}

void QDeviceWatcherPrivate::raiseDeviceChanged(const QString &dev)
{
    if (!QMetaObject::invokeMethod(owner, "deviceChanged", Qt::AutoConnection, Q_ARG(QString, dev)))
        qWarning("invoke deviceChanged failed");
}

void QDeviceWatcherPrivate::raiseDeviceRemoved(const QString &dev)
{
    if (!QMetaObject::invokeMethod(owner, "deviceRemoved", Qt::AutoConnection, Q_ARG(QString, dev)))
        qWarning("invoke deviceRemoved failed");
}

void QDeviceWatcherPrivate::raiseDeviceNotify(const QString &dev)
{
    if (!QMetaObject::invokeMethod(owner, "deviceNotify", Qt::AutoConnection, Q_ARG(QString, dev)))
        qWarning("invoke deviceNotify failed");
}

void QDeviceWatcherPrivate::raiseByAction(const QString &dev, const QString &action)
{
    const QString lower = action.toLower();
    if (lower == QLatin1String("add"))
        raiseDeviceAdded(dev);
    else if (lower == QLatin1String("remove"))
        raiseDeviceRemoved(dev);
    else if (lower == QLatin1String("change"))
        raiseDeviceChanged(dev);
}

bool QDeviceWatcherPrivate::hasReceivers() const
{
    for (const QPointer<QObject> &receiver : receivers) {
        if (receiver)
            return true;
    }
    return false;
}

bool QDeviceWatcherPrivate::raiseChange(const QString &dev, const QString &action,
                                        QDeviceChangeEvent::ChangeKind kind,
                                        QVector<PendingChange> &pending)
{
    // A slot may destroy the watcher, and with it this backend.
    const QPointer<QDeviceWatcherPrivate> self(this);
    raiseByAction(dev, action);
    if (!self)
        return false;
    if (hasReceivers())
        pending.append(PendingChange{kind, dev});
    return true;
}

void QDeviceWatcherPrivate::postChanges(const QVector<PendingChange> &pending)
{
    if (pending.isEmpty())
        return;
    // A posted event belongs to the queue and is deleted after delivery, so
    // each receiver gets event objects of its own. Copy the list: a receiver
    // may be added while events are posted.
    const QList<QPointer<QObject>> targets = receivers;
    for (const QPointer<QObject> &receiver : targets) {
        if (!receiver)
            continue;
        for (const PendingChange &change : pending)
            QCoreApplication::postEvent(receiver.data(),
                                        new QDeviceChangeEvent(change.kind, change.device),
                                        Qt::HighEventPriority);
    }
}

void QDeviceWatcherPrivate::deliverChange(const QStringList &devices, const QString &action,
                                          QDeviceChangeEvent::ChangeKind kind)
{
    QVector<PendingChange> pending;
    for (const QString &dev : devices) {
        if (!raiseChange(dev, action, kind, pending))
            return;
    }
    postChanges(pending);
}

void QDeviceWatcherPrivate::parseDeviceInfo() {}
