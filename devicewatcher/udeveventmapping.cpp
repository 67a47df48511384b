#include "devicewatcher/udeveventmapping.h"

#include <QLatin1String>

UdevWatcherCall mapUdevEvent(const QString &action, const QString &subsystem,
                             const QString &devtype, const QString &devnode)
{
    UdevWatcherCall call;
    const bool add = action == QLatin1String("add");
    const bool remove = action == QLatin1String("remove");
    if (!add && !remove)
        return call;
    if (subsystem == QLatin1String("block")) {
        if ((devtype != QLatin1String("disk") && devtype != QLatin1String("partition")) ||
            devnode.isEmpty())
            return call;
        call.kind = UdevWatcherCall::DeviceChange;
        call.action = action;
        call.changeKind = add ? QDeviceChangeEvent::Arrival : QDeviceChangeEvent::Removal;
        call.device = devnode;
    } else if (subsystem == QLatin1String("tty") || subsystem == QLatin1String("usb")) {
        call.kind = UdevWatcherCall::Notify;
        call.device = QStringLiteral("notify");
    }
    return call;
}
