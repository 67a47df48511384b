#include "cli/station.h"

#include "cli/commandinput.h"
#include "cli/signalnotifier.h"
#include "devicewatcher/qdevicewatcher.h"

namespace {
constexpr int SETTLED_SCAN_MS = 250;
} // namespace

Station::Station(const Options &options, Scan scan, QTextStream &out, ModuleJob::Progress progress,
                 Message fail, QObject *parent)
    : QObject(parent), m_options(options), m_scan(std::move(scan)), m_progress(progress),
      m_fail(std::move(fail)), m_writer(out, options.json ? ResultWriter::Form::StationJson
                                                          : ResultWriter::Form::StationText),
      m_runner(
          [this](const QString &port, const Frames::Parameters &read) { return plan(port, read); },
          options.settleMs, progress, [this](const PortResult &result) { report(result); })
{
    // A device event may come before the device has settled in or gone from
    // the list of ports: look again once the events have stopped.
    m_settledScan.setSingleShot(true);
    m_settledScan.setInterval(SETTLED_SCAN_MS);
    connect(&m_settledScan, &QTimer::timeout, this, &Station::rescan);
    connect(&m_runner, &PortRunner::jobFinished, this, &Station::onJobFinished);
}

Station::~Station() = default;

int Station::run()
{
    SignalNotifier interrupts;
    connect(&interrupts, &SignalNotifier::interrupted, this, &Station::onInterrupted);
    if (m_options.watch) {
        // Watching first, so that no adapter plugged during the first scan
        // is missed.
        m_watcher = std::make_unique<QDeviceWatcher>();
        connect(m_watcher.get(), &QDeviceWatcher::deviceNotify, this, &Station::onDeviceNotify);
        if (!m_watcher->start()) {
            m_fail(QStringLiteral("cannot watch for adapters being plugged in"));
            return Exit::OpenFailed;
        }
    }
    rescan();
    if (m_present.isEmpty() && !m_options.watch) {
        m_fail(QStringLiteral("no recognised adapter attached; --watch waits for them"));
        return Exit::OpenFailed;
    }
    // Said even with --quiet: a station that waits looks like one that hangs.
    QStringList missing;
    for (const QString &port : std::as_const(m_options.ports)) {
        if (!m_present.contains(port))
            missing << port;
    }
    if (m_options.watch && !missing.isEmpty())
        m_fail(QStringLiteral("waiting for %1 to be plugged in (Ctrl+C ends)")
                   .arg(missing.join(QStringLiteral(", "))));
    else if (m_options.watch && m_present.isEmpty())
        m_fail(QStringLiteral("waiting for recognised adapters to be plugged in (Ctrl+C ends)"));
    m_runner.exec(m_options.watch);
    m_watcher.reset();
    const QList<PortResult> &results = m_runner.results();
    m_fail(PortResult::summary(results, QStringLiteral("provisioned")));
    return m_outputFailed ? Exit::OutputFailed : PortResult::worstCode(results);
}

void Station::onDeviceNotify()
{
    rescan();
    m_settledScan.start();
}

void Station::rescan()
{
    if (m_runner.isStopping())
        return;
    const QStringList ports = m_scan();
    for (const QString &port : ports) {
        if (m_present.contains(port))
            continue;
        m_present.insert(port);
        if (m_runner.isBusy(port))
            m_again.insert(port);
        else
            m_runner.start(port);
    }
    for (auto it = m_present.begin(); it != m_present.end();) {
        if (ports.contains(*it)) {
            ++it;
        } else {
            if (m_progress)
                m_progress(QStringLiteral("%1: adapter pulled out").arg(*it));
            m_again.remove(*it);
            it = m_present.erase(it);
        }
    }
}

void Station::onJobFinished(const QString &port)
{
    if (m_again.remove(port) && m_present.contains(port))
        m_runner.start(port);
}

void Station::onInterrupted()
{
    if (!m_runner.isStopping() && !m_runner.interruptNotice().isEmpty())
        m_fail(m_runner.interruptNotice());
    m_watcher.reset();
    m_settledScan.stop();
    m_runner.stop();
}

ModuleJob::Step Station::plan(const QString &port, const Frames::Parameters &read) const
{
    Frames::Settings settings = read.settings;
    if (m_options.from) {
        QString why;
        const std::optional<CliFormat::Changes> from =
            CommandInput::fromFor(*m_options.from, m_options.fromName, port, read.mac, &why);
        if (!from)
            return ModuleJob::refuseStep(why);
        settings = CliFormat::applyChanges(settings, *from);
    }
    const std::optional<CliFormat::Changes> row =
        m_options.table ? m_options.table->row(read.mac) : std::nullopt;
    if (row) {
        settings = CliFormat::applyChanges(settings, *row);
    } else if (m_options.onlyListed) {
        ModuleJob::Step skip;
        skip.action = ModuleJob::Step::Skip;
        skip.reason = QStringLiteral("MAC not in the table");
        return skip;
    }
    return ModuleJob::writeStep(settings);
}

void Station::report(const PortResult &result)
{
    // A module the station cannot record is one too many: take no more.
    if (!m_writer.write(result) && !m_outputFailed) {
        m_outputFailed = true;
        m_fail(QStringLiteral("%1; no more modules are taken").arg(m_writer.error()));
        onInterrupted();
    }
}
