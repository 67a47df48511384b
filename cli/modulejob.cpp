#include "cli/modulejob.h"

#include "cli/cliformat.h"
#include "config/linkport.h"
#include "discovery/portprobe.h"

static_assert(PortDiagnosis::EXIT_CODE == Exit::OpenFailed,
              "a port that did not open has one exit code");

namespace {
// The link worker only waits for the reply (on stack sizes, see PortRunner).
constexpr uint WORKER_STACK = 256 * 1024;
} // namespace

ModuleJob::ModuleJob(const QString &port, Plan plan, int settleMs, Progress progress,
                     QObject *parent)
    : QObject(parent), m_plan(std::move(plan)), m_progress(std::move(progress)),
      m_settleMs(settleMs)
{
    m_outcome.port = port;
    Device::Timing timing = m_device.getTiming();
    // The window's pause after the reply is idle time on a closed port.
    timing.finalPause = 0;
    m_device.setTiming(timing);
    m_device.setStackSize(WORKER_STACK);
    connect(&m_device, &Device::finalProgress, this, &ModuleJob::onReply);
    connect(&m_device, &Device::timeOut, this, &ModuleJob::onTimeOut);
    connect(&m_device, &Device::openfail, this, &ModuleJob::onOpenFail);
    connect(&m_device, &Device::porterror, this, &ModuleJob::onPortError);
    m_resendNotice.setSingleShot(true);
    m_resendNotice.setTimerType(Qt::PreciseTimer);
    connect(&m_resendNotice, &QTimer::timeout, this, [this] {
        report(
            QStringLiteral("%1: no answer yet, %2 request sent again").arg(m_outcome.port, what()));
    });
    m_settle.setSingleShot(true);
    m_settle.setTimerType(Qt::PreciseTimer);
    connect(&m_settle, &QTimer::timeout, this, &ModuleJob::afterExchange);
}

ModuleJob::Step ModuleJob::writeStep(const Frames::Settings &settings)
{
    Step step;
    step.settings = settings;
    const QList<Frames::Problem> problems = Frames::validate(settings);
    if (problems.isEmpty())
        return step;
    QStringList texts;
    for (const Frames::Problem &problem : problems)
        texts << QStringLiteral("%1 (reported %2; give %3)")
                     .arg(problem.message, CliFormat::valueText(problem.field, settings),
                          CliFormat::optionName(problem.field));
    step.action = Step::Refuse;
    step.reason = QStringLiteral("nothing written, the module's current values cannot be written "
                                 "back: %1")
                      .arg(texts.join(QLatin1Char(' ')));
    return step;
}

ModuleJob::Step ModuleJob::refuseStep(const QString &reason)
{
    Step step;
    step.action = Step::Refuse;
    step.reason = reason;
    return step;
}

void ModuleJob::start()
{
    // A port that is not there, or a name no serial port can have, will not
    // become one during the attempts to open it. A network port has no node.
    if (const std::optional<PortDiagnosis> early = LinkPort::isNetworkName(m_outcome.port)
                                                       ? std::nullopt
                                                       : PortProbe::beforeOpen(m_outcome.port)) {
        finish(Exit::OpenFailed, QStringLiteral("the port did not open: ") + early->text());
        m_settle.start(0); // nothing was sent: nothing to settle
        return;
    }
    send(Frames::READ_REQUEST);
}

void ModuleJob::send(const QByteArray &request)
{
    m_exchangeEnded = false;
    report(QStringLiteral("%1: opening").arg(m_outcome.port));
    m_device.setPortName(m_outcome.port);
    m_device.setRequest(request);
    // Returns once the request is out, or after the failed open attempts
    // with openfail already handled.
    m_device.startDownload();
    if (m_exchangeEnded)
        return;
    report(
        QStringLiteral("%1: %2 request sent, waiting for the reply").arg(m_outcome.port, what()));
    m_resendNotice.start(m_device.getTiming().replyTimeout);
}

void ModuleJob::onReply(const QByteArray &reply)
{
    m_resendNotice.stop();
    m_exchangeEnded = true;
    report(QStringLiteral("%1: reply received").arg(m_outcome.port));
    // The worker only hands over replies that are long enough to decode.
    const std::optional<Frames::Parameters> decoded = Frames::decodeParameterBlock(reply);
    if (!decoded) {
        finish(Exit::PortFailed, QStringLiteral("the module's reply is too short"));
        return;
    }
    m_outcome.parameters = decoded;
    if (m_state == State::Writing) {
        m_outcome.written = true;
        const QStringList differences = CliFormat::differences(m_wanted, decoded->settings);
        if (differences.isEmpty())
            finish(Exit::Success);
        else
            finish(Exit::Mismatch,
                   QStringLiteral("the module reports other values than written: %1")
                       .arg(differences.join(QStringLiteral("; "))));
        return;
    }
    if (!m_plan) {
        finish(Exit::Success);
        return;
    }
    const Step step = m_plan(m_outcome.port, *decoded);
    if (step.action == Step::Skip) {
        m_outcome.skipped = true;
        finish(Exit::Success, step.reason);
    } else if (step.action == Step::Refuse) {
        finish(Exit::UsageError, step.reason);
    } else {
        // The write goes out once the settle time after the read is over.
        m_wanted = step.settings;
        m_state = State::Writing;
        m_settle.start(m_settleMs);
    }
}

void ModuleJob::onTimeOut()
{
    const qint64 bytes = m_device.bytesReceived();
    finish(Exit::NoReply,
           bytes > 0 ? QStringLiteral("%1 bytes came back but no valid reply (the %2 request was "
                                      "sent twice; a noisy line, or a module at another baud "
                                      "rate?)")
                           .arg(bytes)
                           .arg(what())
                     : QStringLiteral("no reply from the module (the %1 request was sent twice)")
                           .arg(what()));
}

void ModuleJob::onOpenFail()
{
    // A network port's reason is the link's own; a local one's is the node's.
    finish(Exit::OpenFailed, QStringLiteral("the port did not open: ") +
                                 (LinkPort::isNetworkName(m_outcome.port)
                                      ? m_device.openFailureReason()
                                      : PortProbe::diagnose(m_outcome.port).text()));
}

void ModuleJob::onPortError()
{
    finish(Exit::PortFailed,
           QStringLiteral("port error while waiting for the reply to the %1 request (adapter "
                          "pulled out?)")
               .arg(what()));
}

void ModuleJob::afterExchange()
{
    if (m_state == State::Done)
        emit finished();
    else
        send(Frames::encodeWriteRequest(m_wanted));
}

void ModuleJob::finish(Exit::Code code, const QString &reason)
{
    m_resendNotice.stop();
    m_exchangeEnded = true;
    m_state = State::Done;
    m_outcome.code = code;
    m_outcome.reason = reason;
    m_outcome.finishedAt = QDateTime::currentDateTimeUtc();
    // Through the timer even without a settle time, so that finished() never
    // comes from inside start().
    m_settle.start(m_settleMs);
}

QString ModuleJob::what() const
{
    return m_state == State::Writing ? QStringLiteral("write") : QStringLiteral("read");
}

void ModuleJob::report(const QString &text)
{
    if (m_progress)
        m_progress(text);
}
