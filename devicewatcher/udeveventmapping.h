#ifndef UDEVEVENTMAPPING_H
#define UDEVEVENTMAPPING_H

#include "devicewatcher/qdevicechangeevent.h"

#include <QString>

// What the watcher makes of one udev event: nothing, a change of one named
// device (signal and events), or a notify without a device.
struct UdevWatcherCall
{
    enum Kind { None, DeviceChange, Notify };
    Kind kind = None;
    QString action; // "add" or "remove" for DeviceChange
    QDeviceChangeEvent::ChangeKind changeKind = QDeviceChangeEvent::Arrival;
    QString device; // the device node, or "notify"
};

// Block disks and partitions that come or go are device changes named by
// their node; tty and usb devices that come or go are notifies.
UdevWatcherCall mapUdevEvent(const QString &action, const QString &subsystem,
                             const QString &devtype, const QString &devnode);

#endif // UDEVEVENTMAPPING_H
