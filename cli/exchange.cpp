#include "cli/exchange.h"

#include <QSerialPort>

Exchange::Exchange(QObject *parent) : QObject(parent)
{
    Device::Timing timing = device.getTiming();
    // The window's pause after the reply is idle time on a closed port.
    timing.finalPause = 0;
    device.setTiming(timing);
    connect(&device, SIGNAL(finalProgress(QByteArray)), this, SLOT(onFinalProgress(QByteArray)));
    connect(&device, SIGNAL(timeOut()), this, SLOT(onTimeOut()));
    connect(&device, SIGNAL(openfail()), this, SLOT(onOpenFail()));
    connect(&device, SIGNAL(porterror()), this, SLOT(onPortError()));
    resendNotice.setSingleShot(true);
    resendNotice.setTimerType(Qt::PreciseTimer);
    connect(&resendNotice, SIGNAL(timeout()), this, SLOT(onNoAnswerYet()));
    settle.setSingleShot(true);
    settle.setTimerType(Qt::PreciseTimer);
    connect(&settle, SIGNAL(timeout()), this, SIGNAL(finished()));
}

void Exchange::start(const QString &portName, const QByteArray &request, const QString &what)
{
    this->portName = portName;
    this->what = what;
    replyBytes.clear();
    report(QStringLiteral("%1: opening").arg(portName));
    device.setPortName(portName);
    device.setRequest(request);
    // Returns once the request is out, or after the failed open attempts
    // with openfail already emitted.
    device.startDownload();
    if (!settle.isActive()) {
        report(QStringLiteral("%1: %2 request sent, waiting for the reply").arg(portName, what));
        resendNotice.start(device.getTiming().replyTimeout);
    }
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
    replyBytes = configData;
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
    report(QStringLiteral("%1: no answer yet, %2 request sent again").arg(portName, what));
}

void Exchange::finish(Outcome outcome)
{
    result = outcome;
    resendNotice.stop();
    if (outcome == Reply)
        report(QStringLiteral("%1: reply received").arg(portName));
    // Through the timer even without a settle time, so that finished() never
    // comes from inside start().
    settle.start(settleMs);
}

void Exchange::report(const QString &text)
{
    if (progress)
        progress(text);
}
