#include "cli/modulejob.h"

#include "cli/cliformat.h"
#include "config/networklinkport.h"
#include "discovery/portprobe.h"

static_assert(PortDiagnosis::EXIT_CODE == PortResult::OpenFailed,
              "a port that did not open has one exit code");

ModuleJob::ModuleJob(const QString &port, Plan plan, int settleMs, Exchange::Progress progress,
                     QObject *parent)
    : QObject(parent), m_plan(std::move(plan))
{
    m_outcome.port = port;
    m_exchange.setSettle(settleMs);
    m_exchange.setProgress(std::move(progress));
    connect(&m_exchange, SIGNAL(finished()), this, SLOT(onExchangeFinished()));
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

void ModuleJob::start()
{
    // A port that is not there, or a name no serial port can have, will not
    // become one during the attempts to open it. A network port has no node.
    if (const std::optional<PortDiagnosis> early = NetworkLinkPort::isNetworkName(m_outcome.port)
                                                       ? std::nullopt
                                                       : PortProbe::beforeOpen(m_outcome.port)) {
        const QString reason = QStringLiteral("the port did not open: ") + early->text();
        QMetaObject::invokeMethod(
            this, [this, reason] { finish(PortResult::OpenFailed, reason); }, Qt::QueuedConnection);
        return;
    }
    m_exchange.start(m_outcome.port, Frames::READ_REQUEST, QStringLiteral("read"));
}

void ModuleJob::onExchangeFinished()
{
    const QString what = m_writing ? QStringLiteral("write") : QStringLiteral("read");
    switch (m_exchange.outcome()) {
    case Exchange::Reply:
        break;
    case Exchange::OpenFail:
        finish(PortResult::OpenFailed, QStringLiteral("the port did not open: ") +
                                           (NetworkLinkPort::isNetworkName(m_outcome.port)
                                                ? m_exchange.openFailureReason()
                                                : PortProbe::diagnose(m_outcome.port).text()));
        return;
    case Exchange::TimeOut:
        if (m_exchange.bytesReceived() > 0)
            finish(PortResult::NoReply,
                   QStringLiteral("%1 bytes came back but no valid reply (the %2 request was sent "
                                  "twice; a noisy line, or a module at another baud rate?)")
                       .arg(m_exchange.bytesReceived())
                       .arg(what));
        else
            finish(PortResult::NoReply,
                   QStringLiteral("no reply from the module (the %1 request was sent twice)")
                       .arg(what));
        return;
    case Exchange::PortError:
        finish(PortResult::PortFailed,
               QStringLiteral("port error while waiting for the reply to the %1 request "
                              "(adapter pulled out?)")
                   .arg(what));
        return;
    }
    // The worker only hands over replies that are long enough to decode.
    const std::optional<Frames::Parameters> decoded =
        Frames::decodeParameterBlock(m_exchange.reply());
    if (!decoded) {
        finish(PortResult::PortFailed, QStringLiteral("the module's reply is too short"));
        return;
    }
    m_outcome.parameters = decoded;

    if (m_writing) {
        m_outcome.written = true;
        const QStringList differences = CliFormat::differences(m_wanted, decoded->settings);
        if (!differences.isEmpty()) {
            finish(PortResult::Mismatch,
                   QStringLiteral("the module reports other values than written: %1")
                       .arg(differences.join(QStringLiteral("; "))));
            return;
        }
        finish(PortResult::Success);
        return;
    }
    if (!m_plan) {
        finish(PortResult::Success);
        return;
    }
    const Step step = m_plan(*decoded);
    if (step.action == Step::Skip) {
        m_outcome.skipped = true;
        finish(PortResult::Success, step.reason);
        return;
    }
    if (step.action == Step::Refuse) {
        finish(PortResult::UsageError, step.reason);
        return;
    }
    m_wanted = step.settings;
    m_writing = true;
    m_exchange.start(m_outcome.port, Frames::encodeWriteRequest(m_wanted), QStringLiteral("write"));
}

void ModuleJob::finish(PortResult::Code code, const QString &reason)
{
    m_outcome.code = code;
    m_outcome.reason = reason;
    m_outcome.finishedAt = QDateTime::currentDateTimeUtc();
    emit finished();
}
