#ifndef STATION_H
#define STATION_H

#include "cli/fromfile.h"
#include "cli/portrunner.h"
#include "cli/provisiontable.h"
#include "cli/resultwriter.h"

#include <QFile>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QDeviceWatcher;

// The provisioning station: writes the same values, with each module's own
// row of a table on top, to every recognised adapter attached, and with
// watching to each one plugged in later, once per plug, until interrupted.
class Station : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        std::optional<FromFile> from; // else each module's own values
        QString fromName;             // the file, for messages
        QStringList ports;            // the ports named, when limited to them
        std::optional<ProvisionTable> table;
        bool onlyListed = false;
        bool watch = false;
        bool json = false;
        int settleMs = 0;
    };
    // The ports to provision attached now.
    using Scan = std::function<QStringList()>;
    using Message = std::function<void(const QString &text)>;

    Station(const Options &options, Scan scan, QTextStream &out, ModuleJob::Progress progress,
            Message fail, QObject *parent = nullptr);
    ~Station() override;

    // Result lines go to log as well; null for none.
    void setLog(QFile *log) { m_writer.setLog(log); }
    // Runs to the end; returns the exit code.
    int run();

private slots:
    void onDeviceNotify();
    void rescan();
    void onJobFinished(const QString &port);
    void onInterrupted();

private:
    ModuleJob::Step plan(const QString &port, const Frames::Parameters &read) const;
    void report(const PortResult &result);

    Options m_options;
    Scan m_scan;
    ModuleJob::Progress m_progress;
    Message m_fail;
    ResultWriter m_writer;
    // A result line could not be written: no more modules are taken.
    bool m_outputFailed = false;
    QTimer m_settledScan;
    PortRunner m_runner;
    std::unique_ptr<QDeviceWatcher> m_watcher;
    QSet<QString> m_present;
    // Plugged again while the job of the previous plug still ran.
    QSet<QString> m_again;
};

#endif // STATION_H
