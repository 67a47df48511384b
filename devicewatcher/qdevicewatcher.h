#ifndef QDEVICEWATCHER_H
#define QDEVICEWATCHER_H

#include <QObject>
#include <QString>

class QDeviceWatcherPrivate;

// Reports storage drives that arrive or go away, and changes of the set of
// devices, through its four signals; posts a QDeviceChangeEvent per drive to
// every registered receiver. Lives in, and must be used from, one thread.
class QDeviceWatcher : public QObject
{
    Q_OBJECT
public:
    explicit QDeviceWatcher(QObject *parent = nullptr);
    ~QDeviceWatcher() override;

    // Begins watching; false (after stopping the backend) when the platform
    // backend cannot start.
    bool start();
    // Receivers are not owned; one that is destroyed is skipped from then on.
    void addEventReceiver(QObject *receiver);

signals:
    void deviceAdded(const QString &dev);
    void deviceChanged(const QString &dev);
    void deviceRemoved(const QString &dev);
    void deviceNotify(const QString &dev);

private:
    QDeviceWatcherPrivate *d;
};

#endif // QDEVICEWATCHER_H
