#include "cli/portrunner.h"

PortRunner::PortRunner(ModuleJob::Plan plan, int settleMs, Exchange::Progress progress,
                       Report report, QObject *parent)
    : QObject(parent), plan(std::move(plan)), settleMs(settleMs), progress(std::move(progress)),
      report(std::move(report))
{
}

void PortRunner::start(const QString &port)
{
    if (stopping || jobs.contains(port))
        return;
    auto *job = new ModuleJob(port, plan, settleMs, progress, this);
    jobs.insert(port, job);
    connect(job, SIGNAL(finished()), this, SLOT(onJobFinished()));
    job->start();
}

void PortRunner::exec(bool stayOpen)
{
    this->stayOpen = stayOpen;
    if (jobs.isEmpty() && (!stayOpen || stopping))
        return;
    loop.exec();
}

void PortRunner::stop()
{
    stopping = true;
    quitWhenIdle();
}

void PortRunner::onJobFinished()
{
    auto *job = qobject_cast<ModuleJob *>(sender());
    const PortResult result = job->result();
    jobs.remove(result.port);
    // Its exchange is still on the stack that emitted the signal.
    job->deleteLater();
    done << result;
    if (report)
        report(result);
    emit jobFinished(result.port);
    quitWhenIdle();
}

void PortRunner::quitWhenIdle()
{
    if (jobs.isEmpty() && (!stayOpen || stopping))
        loop.quit();
}
