#include "devicewatcher/qdevicechangeevent.h"

QDeviceChangeEvent::QDeviceChangeEvent(ChangeKind action, const QString &device)
    : QEvent(registeredType()), m_action(action), m_deviceText(device)
{
}

QDeviceChangeEvent::~QDeviceChangeEvent() = default;

QEvent::Type QDeviceChangeEvent::registeredType()
{
    // Registered once per process, on first use; thread-safe initialisation.
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType(-1));
    return type;
}
