#ifndef DEVICE_H
#define DEVICE_H

#ifdef RADIOCONF_NETWORK_PORTS
#include "config/networklinkport.h"
#endif
#include "config/replyformat.h"
#include "config/seriallinkport.h"

#include <QByteArray>
#include <QString>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <mutex>

// Carries one request/reply exchange with the module over a serial port, a
// local one or one across the network (rfc2217://HOST:PORT, tcp://HOST:PORT).
// The port, the timer and the outcome handling live in the owner thread; the
// worker thread only waits for a reply chunk in a store that the owner fills
// from the port, so it never touches the port itself.
class Device : public QThread
{
    Q_OBJECT
public:
    // Pauses and time-outs of an exchange, in milliseconds. The defaults are
    // the window's. finalPause is the idle time between closing the port and
    // reporting the reply; a caller that paces its exchanges itself (the
    // command-line tool) sets it to 0.
    struct Timing
    {
        int openRetryPause = 1000;
        int replyTimeout = 5000;
        int finalPause = 3000;
    };

    explicit Device(QObject *parent = nullptr);
    ~Device() override;

    void setPortName(const QString &name);
    void setRequest(const QByteArray &bytes);
    void startDownload();
    bool openPort();
    QByteArray getPackage();
    // Why the last open attempt failed, for a network port (a host that
    // refused, a server without RFC 2217); empty for a local one.
    QString openFailureReason() const;

    // Bytes that came from the port since the exchange began, stray ones
    // too: a time-out with none is a silent module, with some a garbled line.
    qint64 bytesReceived() const { return m_bytesReceived; }

    // Takes effect from the next exchange on.
    void setTiming(const Timing &timing) { m_timing = timing; }
    Timing getTiming() const { return m_timing; }

signals:
    void receive();
    void updateProgress(QString);
    void timeOut();
    void openfail();
    void porterror();
    void finalProgress(QByteArray);

protected slots:
    void onReceivePackage();

private slots:
    void onTimeOut();

protected:
    void run() override;

private:
    void onPortReadyRead();
    void stopWorker();
    void clearPort();
    void closePort();
    void clearStore();
    // A chunk taken after dropped bytes may be the tail of a cut reply that
    // happened to hold a start byte; it is trusted only without another one.
    static bool acceptable(const QByteArray &chunk, bool afterDrop);

    QString portName;
    // The port of the exchange, by its name's scheme: one of the two below.
    SerialLinkPort m_serialPort;
#ifdef RADIOCONF_NETWORK_PORTS
    NetworkLinkPort m_networkPort;
#endif
    LinkPort *m_port = &m_serialPort;
    QByteArray rxPackage;
    std::atomic<bool> running{false};
    QTimer timer;
    qint32 retryCount = 0;
    QByteArray request;

    // Bytes moved out of the port by the owner, waiting for the worker's
    // take; guarded, with rxPackage and the two flags, by m_storeMutex. The
    // store always starts at a start byte: stray bytes before one are dropped
    // as they arrive, so that one of them cannot hide the reply behind it.
    std::mutex m_storeMutex;
    std::condition_variable m_storeChanged;
    QByteArray m_store;
    // Bytes were dropped since the port was opened or cleared; and so before
    // the take in rxPackage.
    bool m_dropped = false;
    bool m_packageAfterDrop = false;
    Timing m_timing;
    qint64 m_bytesReceived = 0;
};

#endif // DEVICE_H
