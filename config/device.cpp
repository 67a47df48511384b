#include "config/device.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QSocketNotifier>
#include <QTime>

namespace {
constexpr int OPEN_ATTEMPTS = 3;
constexpr unsigned long OPEN_SETTLE_MS = 5;
} // namespace

Device::Device(QObject *parent) : QThread(parent)
{
    connect(this, SIGNAL(receive()), this, SLOT(onReceivePackage()));
    connect(&m_timer, SIGNAL(timeout()), this, SLOT(onTimeOut()));
    // A coarse timer may fire up to 5 % early; the reply time is a minimum.
    m_timer.setTimerType(Qt::PreciseTimer);
    // The port's bytes reach its buffer through this thread's event loop;
    // from there they go to the store the worker waits on.
    connect(&m_serial, &QSerialPort::readyRead, this, &Device::onPortReadyRead);
    connect(&m_serial, &QSerialPort::errorOccurred, this, &Device::onPortError);
    m_readPoll.setInterval(20);
    connect(&m_readPoll, &QTimer::timeout, this, &Device::onPortReadyRead);
}

Device::~Device()
{
    stopWorker();
    closePort();
}

void Device::setPortName(const QString &name)
{
    m_portName = name;
}

void Device::setRequest(const QByteArray &bytes)
{
    m_request = bytes;
}

void Device::startDownload()
{
    const QTime now = QTime::currentTime();
    emit updateProgress(QDir::currentPath() + QString::asprintf("/%02d_%02d_%02d.log", now.hour(),
                                                                now.minute(), now.second()));
    emit updateProgress(QStringLiteral("start download log"));

    for (int attempt = 0; attempt < OPEN_ATTEMPTS; ++attempt) {
        if (openPort()) {
            m_retryCount = 0;
            m_serial.write(m_request);
            m_timer.start(m_timing.replyTimeout);
            return;
        }
        QThread::msleep(m_timing.openRetryPause);
    }
    stopWorker();
    emit openfail();
}

bool Device::openPort()
{
    m_serial.setPortName(m_portName);
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
    clearStore();
    QThread::msleep(OPEN_SETTLE_MS);
    if (!m_running) {
        m_running = true;
        start(QThread::InheritPriority);
    }
    return m_serial.isOpen();
}

QByteArray Device::getPackage()
{
    std::lock_guard<std::mutex> lock(m_storeMutex);
    return m_rxPackage;
}

void Device::run()
{
    std::unique_lock<std::mutex> lock(m_storeMutex);
    for (;;) {
        m_storeChanged.wait(lock,
                            [this] { return !m_running || m_store.size() >= REPLY_MIN_LENGTH; });
        if (!m_running)
            return;
        m_rxPackage = m_store;
        m_store.clear();
        lock.unlock();
        emit receive();
        lock.lock();
    }
}

void Device::onReceivePackage()
{
    const QByteArray chunk = getPackage();
    if (chunk.size() < REPLY_MIN_LENGTH || chunk.at(0) != REPLY_START_BYTE)
        return;
    m_timer.stop();
    stopWorker();
    closePort();
    QThread::msleep(m_timing.finalPause);
    emit finalProgress(chunk);
}

void Device::onTimeOut()
{
    ++m_retryCount;
    if (m_retryCount > 1) {
        qDebug().noquote() << "Device onTimeOut";
        m_timer.stop();
        stopWorker();
        closePort();
        emit timeOut();
    } else if (m_serial.error() != QSerialPort::NoError) {
        qDebug().noquote() << "Device onError";
        m_timer.stop();
        stopWorker();
        closePort();
        emit porterror();
    } else {
        m_timer.stop();
        qDebug().noquote() << "Device Retry";
        clearPort();
        m_serial.write(m_request);
        m_timer.start(m_timing.replyTimeout);
    }
}

void Device::onPortReadyRead()
{
    const QByteArray bytes = m_serial.readAll();
    if (bytes.isEmpty())
        return;
    bool enough;
    {
        std::lock_guard<std::mutex> lock(m_storeMutex);
        m_store += bytes;
        enough = m_store.size() >= REPLY_MIN_LENGTH;
    }
    if (enough)
        m_storeChanged.notify_one();
}

void Device::onPortError(QSerialPort::SerialPortError error)
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

void Device::stopWorker()
{
    if (!m_running)
        return;
    {
        // Under the lock, so the worker cannot miss the change between its
        // test and its sleep.
        std::lock_guard<std::mutex> lock(m_storeMutex);
        m_running = false;
    }
    m_storeChanged.notify_all();
    wait();
    // A take the worker made but this thread has not handled yet belongs to
    // the exchange that is ending; it must not be taken for a later outcome.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

void Device::clearPort()
{
    m_serial.clear(QSerialPort::AllDirections);
    clearStore();
}

void Device::closePort()
{
    m_readPoll.stop();
    m_serial.close();
    clearStore();
}

void Device::clearStore()
{
    std::lock_guard<std::mutex> lock(m_storeMutex);
    m_store.clear();
}
