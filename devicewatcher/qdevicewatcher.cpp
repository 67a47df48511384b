#include "devicewatcher/qdevicewatcher.h"

#include "devicewatcher/qdevicewatcherprivate.h"

QDeviceWatcher::QDeviceWatcher(QObject *parent) : QObject(parent), d(new QDeviceWatcherPrivate)
{
    d->owner = this;
}

QDeviceWatcher::~QDeviceWatcher()
{
    delete d;
}

bool QDeviceWatcher::start()
{
    if (!d->start()) {
        d->stop();
        return false;
    }
    return true;
}

void QDeviceWatcher::addEventReceiver(QObject *receiver)
{
    d->receivers.append(QPointer<QObject>(receiver));
}
