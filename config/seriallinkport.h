#ifndef SERIALLINKPORT_H
#define SERIALLINKPORT_H

#include "config/linkport.h"

#include <QSerialPort>
#include <QTimer>

// The link over a local serial port.
class SerialLinkPort : public LinkPort
{
    Q_OBJECT
public:
    explicit SerialLinkPort(QObject *parent = nullptr);

    bool open(const QString &name) override;
    bool isOpen() const override { return m_serial.isOpen(); }
    void close() override;
    void write(const QByteArray &bytes) override { m_serial.write(bytes); }
    QByteArray readAll() override { return m_serial.readAll(); }
    void clear() override { m_serial.clear(QSerialPort::AllDirections); }
    bool hasError() const override { return m_serial.error() != QSerialPort::NoError; }

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_serial;
    // Re-arms the port's reading while it is open (Windows only; see open).
    QTimer m_readPoll;
};

#endif // SERIALLINKPORT_H
