#ifndef PORTRUNNER_H
#define PORTRUNNER_H

#include "cli/modulejob.h"

#include <QEventLoop>
#include <QList>
#include <QMap>
#include <QObject>

// Runs one ModuleJob per port, side by side in this thread's event loop,
// and hands each port's result over as it ends.
class PortRunner : public QObject
{
    Q_OBJECT
public:
    using Report = std::function<void(const PortResult &result)>;

    PortRunner(ModuleJob::Plan plan, int settleMs, Exchange::Progress progress, Report report,
               QObject *parent = nullptr);

    // Ignored for a port whose job is still running, and once stopping.
    void start(const QString &port);
    bool isBusy(const QString &port) const { return jobs.contains(port); }
    // Returns once every job has ended; with stayOpen, only after stop() as
    // well, so that start() can add ports meanwhile.
    void exec(bool stayOpen);
    bool isStopping() const { return stopping; }
    const QList<PortResult> &results() const { return done; }

public slots:
    // No new jobs; the running ones go on to their end.
    void stop();

signals:
    void jobFinished(QString port);

private slots:
    void onJobFinished();

private:
    void quitWhenIdle();

    ModuleJob::Plan plan;
    int settleMs;
    Exchange::Progress progress;
    Report report;
    QMap<QString, ModuleJob *> jobs;
    QList<PortResult> done;
    QEventLoop loop;
    bool stayOpen = false;
    bool stopping = false;
};

#endif // PORTRUNNER_H
