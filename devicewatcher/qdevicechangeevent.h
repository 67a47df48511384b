#ifndef QDEVICECHANGEEVENT_H
#define QDEVICECHANGEEVENT_H

#include <QEvent>
#include <QString>

// Posted by the device watcher to each registered receiver for every drive
// that arrived or was removed. All such events share one event type.
class QDeviceChangeEvent : public QEvent
{
public:
    enum ChangeKind { Arrival = 0, Removal = 1 };

    QDeviceChangeEvent(ChangeKind action, const QString &device);
    ~QDeviceChangeEvent() override;

    ChangeKind action() const { return static_cast<ChangeKind>(m_action); }
    QString deviceText() const { return m_deviceText; }
    // The type shared by every QDeviceChangeEvent of the process.
    static QEvent::Type registeredType();

private:
    qint32 m_action;
    QString m_deviceText;
};

#endif // QDEVICECHANGEEVENT_H
