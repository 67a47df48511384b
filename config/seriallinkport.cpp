#include "config/seriallinkport.h"

#include <QSocketNotifier>

SerialLinkPort::SerialLinkPort(QObject *parent) : LinkPort(parent)
{
    connect(&m_serial, &QSerialPort::readyRead, this, &LinkPort::readyRead);
    connect(&m_serial, &QSerialPort::errorOccurred, this, &SerialLinkPort::onError);
    m_readPoll.setInterval(20);
    connect(&m_readPoll, &QTimer::timeout, this, &LinkPort::readyRead);
}

bool SerialLinkPort::open(const QString &name)
{
    m_serial.setPortName(name);
    m_serial.setBaudRate(9600, QSerialPort::AllDirections);
    m_serial.setDataBits(QSerialPort::Data8);
    m_serial.setParity(QSerialPort::NoParity);
    m_serial.setStopBits(QSerialPort::OneStop);
    m_serial.setFlowControl(QSerialPort::NoFlowControl);
    m_serial.open(QIODevice::ReadWrite);
    [[maybe_unused]] const QSerialPort::SerialPortError afterOpen = m_serial.error();
    m_serial.setRequestToSend(false);
    m_serial.setDataTerminalReady(false);
    // Ports without modem lines (pseudo-terminals, some adapters) refuse the
    // two calls above and leave UnsupportedOperationError behind; that is no
    // fault of the link. Any other error is, and the first expiry reports it.
    if (m_serial.isOpen() && m_serial.error() == QSerialPort::UnsupportedOperationError)
        m_serial.clearError();
#ifdef Q_OS_WIN
    // wine refuses them on such ports with another error.
    if (m_serial.isOpen() && afterOpen == QSerialPort::NoError)
        m_serial.clearError();
    // Qt learns of arriving bytes from the driver's event wait. A driver
    // that cannot wait for events (wine's, on a line without modem status
    // lines) ends that wait at once and Qt's reading stalls; a read of the
    // port starts it again.
    if (m_serial.isOpen())
        m_readPoll.start();
#endif
    return m_serial.isOpen();
}

void SerialLinkPort::close()
{
    m_readPoll.stop();
    m_serial.close();
}

void SerialLinkPort::onError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    // A port whose device has gone keeps signalling read errors for as long as
    // it stays open. Nothing more will come from it: stop watching it for input
    // and leave the error in place for the time-out to report.
    const auto notifiers = m_serial.findChildren<QSocketNotifier *>();
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read)
            notifier->setEnabled(false);
    }
}
