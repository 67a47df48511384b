#ifndef DETECTDEVICETHREAD_H
#define DETECTDEVICETHREAD_H

#include <QThread>
#include <atomic>

// Lists the serial ports of the recognised USB adapters in a thread of its
// own, one pass per second while it runs.
class DetectDeviceThread : public QThread
{
    Q_OBJECT
public:
    explicit DetectDeviceThread(QObject *parent = nullptr);
    ~DetectDeviceThread() override;

    void startDetect();
    // Blocks until the pass in progress and the pause after it are over.
    void stopDetect();

    static bool isRecognised(quint16 vendorId, quint16 productId);

signals:
    void portAvailable(QString portName);
    void portNotFound();
    void portFoundStart();
    void portFoundEnd();

protected:
    void run() override;

private:
    std::atomic<bool> running{false};
};

#endif // DETECTDEVICETHREAD_H
