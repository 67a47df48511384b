#include "config/device.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QMetaMethod>
#include <QTime>

namespace {
constexpr int OPEN_ATTEMPTS = 3;
constexpr unsigned long OPEN_SETTLE_MS = 5;
} // namespace

Device::Device(QObject *parent) : QThread(parent)
{
    connect(this, SIGNAL(receive()), this, SLOT(onReceivePackage()));
    connect(&timer, SIGNAL(timeout()), this, SLOT(onTimeOut()));
    // A coarse timer may fire up to 5 % early; the reply time is a minimum.
    timer.setTimerType(Qt::PreciseTimer);
    // The port's bytes reach its buffer through this thread's event loop;
    // from there they go to the store the worker waits on.
    connect(&m_serialPort, &LinkPort::readyRead, this, &Device::onPortReadyRead);
#ifdef RADIOCONF_NETWORK_PORTS
    connect(&m_networkPort, &LinkPort::readyRead, this, &Device::onPortReadyRead);
#endif
}

Device::~Device()
{
    stopWorker();
    closePort();
}

void Device::setPortName(const QString &name)
{
    portName = name;
}

void Device::setRequest(const QByteArray &bytes)
{
    request = bytes;
}

void Device::startDownload()
{
    // The local time takes a process-wide lock and reads the time zone file;
    // exchanges on several ports at once would queue on it for a text that
    // nobody receives.
    if (isSignalConnected(QMetaMethod::fromSignal(&Device::updateProgress))) {
        const QTime now = QTime::currentTime();
        emit updateProgress(QDir::currentPath() + QString::asprintf("/%02d_%02d_%02d.log",
                                                                    now.hour(), now.minute(),
                                                                    now.second()));
        emit updateProgress(QStringLiteral("start download log"));
    }

    m_bytesReceived = 0;
    for (int attempt = 0; attempt < OPEN_ATTEMPTS; ++attempt) {
        if (openPort()) {
            retryCount = 0;
            m_port->write(request);
            timer.start(m_timing.replyTimeout);
            return;
        }
        if (m_port->openFailureFinal())
            break;
        QThread::msleep(m_timing.openRetryPause);
    }
    stopWorker();
    emit openfail();
}

bool Device::openPort()
{
#ifdef RADIOCONF_NETWORK_PORTS
    m_port =
        LinkPort::isNetworkName(portName) ? static_cast<LinkPort *>(&m_networkPort) : &m_serialPort;
#endif
    m_port->open(portName);
    clearStore();
    QThread::msleep(OPEN_SETTLE_MS);
    if (!running) {
        running = true;
        start(QThread::InheritPriority);
    }
    return m_port->isOpen();
}

QString Device::openFailureReason() const
{
#ifndef RADIOCONF_NETWORK_PORTS
    // The serial port takes the name and fails it; say why.
    if (LinkPort::isNetworkName(portName))
        return QStringLiteral("this build has no ports across the network (it was made without "
                              "Qt Network)");
#endif
    return m_port->openFailureReason();
}

QByteArray Device::getPackage()
{
    std::lock_guard<std::mutex> lock(m_storeMutex);
    return rxPackage;
}

void Device::run()
{
    std::unique_lock<std::mutex> lock(m_storeMutex);
    for (;;) {
        m_storeChanged.wait(lock,
                            [this] { return !running || m_store.size() >= REPLY_MIN_LENGTH; });
        if (!running)
            return;
        rxPackage = m_store;
        m_packageAfterDrop = m_dropped;
        m_store.clear();
        lock.unlock();
        emit receive();
        lock.lock();
    }
}

bool Device::acceptable(const QByteArray &chunk, bool afterDrop)
{
    if (chunk.size() < REPLY_MIN_LENGTH || chunk.at(0) != REPLY_START_BYTE)
        return false;
    return !afterDrop || chunk.left(REPLY_MIN_LENGTH).indexOf(REPLY_START_BYTE, 1) < 0;
}

void Device::onReceivePackage()
{
    QByteArray chunk;
    bool afterDrop;
    {
        // The chunk and its flag from the same take.
        std::lock_guard<std::mutex> lock(m_storeMutex);
        chunk = rxPackage;
        afterDrop = m_packageAfterDrop;
    }
    if (!acceptable(chunk, afterDrop))
        return;
    timer.stop();
    stopWorker();
    closePort();
    QThread::msleep(m_timing.finalPause);
    emit finalProgress(chunk);
}

void Device::onTimeOut()
{
    ++retryCount;
    if (retryCount > 1) {
        qDebug().noquote() << "Device onTimeOut";
        timer.stop();
        stopWorker();
        closePort();
        emit timeOut();
    } else if (m_port->hasError()) {
        qDebug().noquote() << "Device onError";
        timer.stop();
        stopWorker();
        closePort();
        emit porterror();
    } else {
        timer.stop();
        qDebug().noquote() << "Device Retry";
        clearPort();
        m_port->write(request);
        timer.start(m_timing.replyTimeout);
    }
}

void Device::onPortReadyRead()
{
    const QByteArray bytes = m_port->readAll();
    if (bytes.isEmpty())
        return;
    m_bytesReceived += bytes.size();
    bool enough;
    {
        std::lock_guard<std::mutex> lock(m_storeMutex);
        int from = 0;
        if (m_store.isEmpty()) {
            from = bytes.indexOf(REPLY_START_BYTE);
            if (from < 0)
                from = bytes.size();
            m_dropped = m_dropped || from > 0;
        }
        m_store += bytes.mid(from);
        enough = m_store.size() >= REPLY_MIN_LENGTH;
    }
    if (enough)
        m_storeChanged.notify_one();
}

void Device::stopWorker()
{
    if (!running)
        return;
    {
        // Under the lock, so the worker cannot miss the change between its
        // test and its sleep.
        std::lock_guard<std::mutex> lock(m_storeMutex);
        running = false;
    }
    m_storeChanged.notify_all();
    wait();
    // A take the worker made but this thread has not handled yet belongs to
    // the exchange that is ending; it must not be taken for a later outcome.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

void Device::clearPort()
{
    m_port->clear();
    clearStore();
}

void Device::closePort()
{
    m_port->close();
    clearStore();
}

void Device::clearStore()
{
    std::lock_guard<std::mutex> lock(m_storeMutex);
    m_store.clear();
    m_dropped = false;
}
