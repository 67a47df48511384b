#include "cli/exchange.h"

namespace {
constexpr uint WORKER_STACK = 256 * 1024;
} // namespace

Exchange::Exchange(QObject *parent) : QObject(parent)
{
    Device::Timing timing = m_device.getTiming();
    // The window's pause after the reply is idle time on a closed port.
    timing.finalPause = 0;
    m_device.setTiming(timing);
    // Its worker only waits for the reply (on stack sizes, see PortRunner).
    m_device.setStackSize(WORKER_STACK);
    connect(&m_device, SIGNAL(finalProgress(QByteArray)), this, SLOT(onFinalProgress(QByteArray)));
    connect(&m_device, SIGNAL(timeOut()), this, SLOT(onTimeOut()));
    connect(&m_device, SIGNAL(openfail()), this, SLOT(onOpenFail()));
    connect(&m_device, SIGNAL(porterror()), this, SLOT(onPortError()));
    m_resendNotice.setSingleShot(true);
    m_resendNotice.setTimerType(Qt::PreciseTimer);
    connect(&m_resendNotice, SIGNAL(timeout()), this, SLOT(onNoAnswerYet()));
    m_settle.setSingleShot(true);
    m_settle.setTimerType(Qt::PreciseTimer);
    connect(&m_settle, SIGNAL(timeout()), this, SIGNAL(finished()));
}

void Exchange::start(const QString &portName, const QByteArray &request, const QString &what)
{
    m_portName = portName;
    m_what = what;
    m_replyBytes.clear();
    report(QStringLiteral("%1: opening").arg(portName));
    m_device.setPortName(portName);
    m_device.setRequest(request);
    // Returns once the request is out, or after the failed open attempts
    // with openfail already emitted.
    m_device.startDownload();
    if (!m_settle.isActive()) {
        report(QStringLiteral("%1: %2 request sent, waiting for the reply").arg(portName, what));
        m_resendNotice.start(m_device.getTiming().replyTimeout);
    }
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
    m_outcome = outcome;
    m_resendNotice.stop();
    if (outcome == Reply)
        report(QStringLiteral("%1: reply received").arg(m_portName));
    // Through the timer even without a settle time, so that finished() never
    // comes from inside start().
    m_settle.start(m_settleMs);
}

void Exchange::report(const QString &text)
{
    if (m_progress)
        m_progress(text);
}
