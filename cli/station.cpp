#include "cli/station.h"

#include "cli/signalnotifier.h"
#include "devicewatcher/qdevicewatcher.h"

#include <QJsonDocument>

namespace {
constexpr int SETTLED_SCAN_MS = 250;
} // namespace

Station::Station(const Options &options, Scan scan, QTextStream &out, Exchange::Progress progress,
                 Message fail, QObject *parent)
    : QObject(parent), options(options), scan(std::move(scan)), out(out), progress(progress),
      fail(std::move(fail)),
      runner([this](const Frames::Parameters &read) { return plan(read); }, options.settleMs,
             progress, [this](const PortResult &result) { report(result); })
{
    // A device event may come before the device has settled in or gone from
    // the list of ports: look again once the events have stopped.
    settledScan.setSingleShot(true);
    settledScan.setInterval(SETTLED_SCAN_MS);
    connect(&settledScan, SIGNAL(timeout()), this, SLOT(rescan()));
    connect(&runner, SIGNAL(jobFinished(QString)), this, SLOT(onJobFinished(QString)));
}

Station::~Station() = default;

int Station::run()
{
    SignalNotifier interrupts;
    connect(&interrupts, SIGNAL(interrupted()), this, SLOT(onInterrupted()));
    if (options.watch) {
        // Watching first, so that no adapter plugged during the first scan
        // is missed.
        watcher = std::make_unique<QDeviceWatcher>();
        connect(watcher.get(), SIGNAL(deviceNotify(QString)), this, SLOT(onDeviceNotify()));
        if (!watcher->start()) {
            fail(QStringLiteral("cannot watch for adapters being plugged in"));
            return PortResult::OpenFailed;
        }
    }
    rescan();
    if (present.isEmpty() && !options.watch) {
        fail(QStringLiteral("no recognised adapter attached; --watch waits for them"));
        return PortResult::OpenFailed;
    }
    runner.exec(options.watch);
    watcher.reset();
    const QList<PortResult> &results = runner.results();
    fail(PortResult::summary(results, QStringLiteral("provisioned")));
    return PortResult::worstCode(results);
}

void Station::onDeviceNotify()
{
    rescan();
    settledScan.start();
}

void Station::rescan()
{
    if (runner.isStopping())
        return;
    const QStringList ports = scan();
    for (const QString &port : ports) {
        if (present.contains(port))
            continue;
        present.insert(port);
        if (runner.isBusy(port))
            again.insert(port);
        else
            runner.start(port);
    }
    for (auto it = present.begin(); it != present.end();) {
        if (ports.contains(*it)) {
            ++it;
        } else {
            if (progress)
                progress(QStringLiteral("%1: adapter pulled out").arg(*it));
            again.remove(*it);
            it = present.erase(it);
        }
    }
}

void Station::onJobFinished(const QString &port)
{
    if (again.remove(port) && present.contains(port))
        runner.start(port);
}

void Station::onInterrupted()
{
    watcher.reset();
    settledScan.stop();
    runner.stop();
}

ModuleJob::Step Station::plan(const Frames::Parameters &read) const
{
    Frames::Settings settings =
        options.from ? CliFormat::applyChanges(read.settings, *options.from) : read.settings;
    const std::optional<CliFormat::Changes> row =
        options.table ? options.table->row(read.mac) : std::nullopt;
    if (row) {
        settings = CliFormat::applyChanges(settings, *row);
    } else if (options.onlyListed) {
        ModuleJob::Step skip;
        skip.action = ModuleJob::Step::Skip;
        skip.reason = QStringLiteral("MAC not in the table");
        return skip;
    }
    return ModuleJob::writeStep(settings);
}

void Station::report(const PortResult &result)
{
    const QString line =
        options.json
            ? QString::fromUtf8(QJsonDocument(result.stationJson()).toJson(QJsonDocument::Compact))
            : result.stationText();
    out << line << '\n';
    out.flush();
    if (log) {
        log->write(line.toUtf8() + '\n');
        log->flush();
    }
}
