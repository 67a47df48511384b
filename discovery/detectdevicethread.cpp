#include "discovery/detectdevicethread.h"

#include "discovery/usbadapter.h"

#include <QSerialPortInfo>
#include <QStringList>

DetectDeviceThread::DetectDeviceThread(QObject *parent) : QThread(parent) {}

DetectDeviceThread::~DetectDeviceThread()
{
    running = false;
    wait();
}

void DetectDeviceThread::startDetect()
{
    running = true;
    start(QThread::InheritPriority); // no effect while the thread still runs
}

void DetectDeviceThread::stopDetect()
{
    running = false;
    wait();
}

bool DetectDeviceThread::isRecognised(quint16 vendorId, quint16 productId)
{
    // Tested as pairs: a CP210x vendor with the Cypress product is not ours.
    for (const UsbAdapter &adapter : RECOGNISED_ADAPTERS) {
        if (vendorId == adapter.vendorId && productId == adapter.productId)
            return true;
    }
    return false;
}

void DetectDeviceThread::run()
{
    while (running) {
        QStringList names;
        const auto ports = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo &info : ports) {
            if (isRecognised(info.vendorIdentifier(), info.productIdentifier()))
                names.append(info.portName());
        }
        emit portFoundStart();
        if (names.isEmpty()) {
            emit portNotFound();
        } else {
            for (const QString &name : qAsConst(names))
                emit portAvailable(name);
        }
        emit portFoundEnd();
        QThread::sleep(1);
    }
}
