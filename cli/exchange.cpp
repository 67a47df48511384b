#include "cli/exchange.h"

#include <QSerialPort>

namespace {
// The worker's reply time-out: it sends the request again when it expires.
constexpr int REPLY_TIMEOUT_MS = 5000;
} // namespace

Exchange::Exchange(QObject *parent) : QObject(parent)
{
    connect(&m_device, SIGNAL(finalProgress(QByteArray)), this, SLOT(onFinalProgress(QByteArray)));
    connect(&m_device, SIGNAL(timeOut()), this, SLOT(onTimeOut()));
    connect(&m_device, SIGNAL(openfail()), this, SLOT(onOpenFail()));
    connect(&m_device, SIGNAL(porterror()), this, SLOT(onPortError()));
    m_resendNotice.setSingleShot(true);
    m_resendNotice.setTimerType(Qt::PreciseTimer);
    connect(&m_resendNotice, SIGNAL(timeout()), this, SLOT(onNoAnswerYet()));
}

Exchange::Outcome Exchange::run(const QString &portName, const QByteArray &request,
                                const QString &what)
{
    this->m_portName = portName;
    this->m_what = what;
    m_finished = false;
    m_replyBytes.clear();
    report(QStringLiteral("%1: opening").arg(portName));
    m_device.setPortName(portName);
    m_device.setRequest(request);
    // Returns once the request is out, or after the failed open attempts
    // with openfail already emitted.
    m_device.startDownload();
    if (!m_finished) {
        report(QStringLiteral("%1: %2 request sent, waiting for the reply").arg(portName, what));
        m_resendNotice.start(REPLY_TIMEOUT_MS);
        m_loop.exec();
    }
    m_resendNotice.stop();
    if (m_outcome == Reply)
        report(QStringLiteral("%1: reply received").arg(portName));
    return m_outcome;
}

QString Exchange::openFailureReason(const QString &portName)
{
    QSerialPort port(portName);
    if (port.open(QIODevice::ReadWrite)) {
        port.close();
        return QString();
    }
    QString reason = port.errorString();
    if (port.error() == QSerialPort::PermissionError) {
        if (reason.contains(QLatin1String("ermission denied"), Qt::CaseInsensitive))
            reason += QStringLiteral(" (on Linux the user must usually be in the dialout group: "
                                     "sudo usermod -aG dialout $USER, then log in again)");
        else
            reason += QStringLiteral(" (another program may be using the port)");
    } else if (port.error() == QSerialPort::DeviceNotFoundError) {
        reason += QStringLiteral(" (radioconf-cli list --all shows the serial ports)");
    }
    return reason;
}

void Exchange::onFinalProgress(QByteArray configData)
{
    m_replyBytes = configData;
    finish(Reply);
}

void Exchange::onTimeOut()
{
    finish(TimeOut);
}

void Exchange::onOpenFail()
{
    finish(OpenFail);
}

void Exchange::onPortError()
{
    finish(PortError);
}

void Exchange::onNoAnswerYet()
{
    report(QStringLiteral("%1: no answer yet, %2 request sent again").arg(m_portName, m_what));
}

void Exchange::finish(Outcome outcome)
{
    this->m_outcome = outcome;
    m_finished = true;
    m_resendNotice.stop();
    m_loop.quit();
}

void Exchange::report(const QString &text)
{
    if (m_progress)
        m_progress(text);
}
