#ifndef PORTRUNNER_H
#define PORTRUNNER_H

#include "cli/modulejob.h"

#include <QEventLoop>
#include <QList>
#include <QMap>
#include <QObject>

class QThread;

// Runs one ModuleJob per port, side by side, each in a thread of its own,
// and hands each port's result over in this thread as it ends.
class PortRunner : public QObject
{
    Q_OBJECT
public:
    using Report = std::function<void(const PortResult &result)>;

    PortRunner(ModuleJob::Plan plan, int settleMs, ModuleJob::Progress progress, Report report,
               QObject *parent = nullptr);
    ~PortRunner() override;

    // Ignored for a port whose job is still running, and once stopping.
    void start(const QString &port);
    bool isBusy(const QString &port) const { return m_threads.contains(port); }
    // Returns once every job has ended; with stayOpen, only after stop() as
    // well, so that start() can add ports meanwhile.
    void exec(bool stayOpen);
    bool isStopping() const { return m_stopping; }
    // What an interruption waits for, to tell the user; empty when idle.
    QString interruptNotice() const;
    const QList<PortResult> &results() const { return m_done; }

public slots:
    // No new jobs; the running ones go on to their end.
    void stop();

signals:
    void jobFinished(QString port);

private:
    void onJobFinished(const PortResult &result);
    void quitWhenIdle();

    ModuleJob::Plan m_plan;
    int m_settleMs;
    ModuleJob::Progress m_progress;
    Report m_report;
    QMap<QString, QThread *> m_threads;
    QList<PortResult> m_done;
    QEventLoop m_loop;
    bool m_stayOpen = false;
    bool m_stopping = false;
};

#endif // PORTRUNNER_H
