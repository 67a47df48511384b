// The Linux backend: a libudev monitor on udev's netlink source, read in
// the watcher's thread through a socket notifier.
#include <libudev.h>

#include "devicewatcher/qdevicewatcherprivate.h"

#include "devicewatcher/udeveventmapping.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

namespace {

QString text(const char *value)
{
    return value ? QString::fromUtf8(value) : QString();
}

} // namespace

QDeviceWatcherPrivate::~QDeviceWatcherPrivate()
{
    releaseMonitor();
}

bool QDeviceWatcherPrivate::start()
{
    if (monitor)
        return true;
    udevContext = udev_new();
    if (!udevContext) {
        qWarning("QDeviceWatcherPrivate: cannot create a udev context: %s", strerror(errno));
        return false;
    }
    monitor = udev_monitor_new_from_netlink(udevContext, "udev");
    if (!monitor) {
        qWarning("QDeviceWatcherPrivate: cannot create a udev monitor: %s", strerror(errno));
        releaseMonitor();
        return false;
    }
    for (const char *subsystem : {"block", "tty", "usb"}) {
        const int rc = udev_monitor_filter_add_match_subsystem_devtype(monitor, subsystem, nullptr);
        if (rc < 0) {
            qWarning("QDeviceWatcherPrivate: cannot filter udev events: %s", strerror(-rc));
            releaseMonitor();
            return false;
        }
    }
    const int rc = udev_monitor_enable_receiving(monitor);
    if (rc < 0) {
        qWarning("QDeviceWatcherPrivate: cannot receive udev events: %s", strerror(-rc));
        releaseMonitor();
        return false;
    }
    notifier = new QSocketNotifier(udev_monitor_get_fd(monitor), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] { readMonitor(); });
    return true;
}

bool QDeviceWatcherPrivate::stop()
{
    releaseMonitor();
    return true;
}

void QDeviceWatcherPrivate::releaseMonitor()
{
    delete notifier;
    notifier = nullptr;
    if (monitor)
        udev_monitor_unref(monitor);
    monitor = nullptr;
    if (udevContext)
        udev_unref(udevContext);
    udevContext = nullptr;
}

void QDeviceWatcherPrivate::readMonitor()
{
    // One device per wake-up: the notifier fires again while more are queued.
    udev_device *device = udev_monitor_receive_device(monitor);
    if (!device)
        return;
    const UdevWatcherCall call =
        mapUdevEvent(text(udev_device_get_action(device)), text(udev_device_get_subsystem(device)),
                     text(udev_device_get_devtype(device)), text(udev_device_get_devnode(device)));
    udev_device_unref(device);
    if (call.kind == UdevWatcherCall::DeviceChange)
        deliverChange(QStringList{call.device}, call.action, call.changeKind);
    else if (call.kind == UdevWatcherCall::Notify)
        raiseDeviceNotify(call.device);
}
