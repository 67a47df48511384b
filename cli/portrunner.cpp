#include "cli/portrunner.h"

#include <QThread>

#include <utility>

namespace {
// Each port's job lives in a thread of its own: opening a port takes a lock
// file and pauses of the thread that owns it (1 s after each failed attempt),
// which must not hold up the other ports. Only results and progress texts
// cross over, queued to this thread. Such a thread needs little stack: at the
// default (8 MiB on Linux) the threads of eight ports and their link workers
// overflow the C library's cache of stacks, and unmapping a stack as a thread
// ends stalls the others.
constexpr uint PORT_THREAD_STACK = 1024 * 1024;
} // namespace

PortRunner::PortRunner(ModuleJob::Plan plan, int settleMs, ModuleJob::Progress progress,
                       Report report, QObject *parent)
    : QObject(parent), m_plan(std::move(plan)), m_settleMs(settleMs),
      m_progress(std::move(progress)), m_report(std::move(report))
{
}

PortRunner::~PortRunner()
{
    for (QThread *thread : std::as_const(m_threads)) {
        thread->quit();
        thread->wait();
    }
}

void PortRunner::start(const QString &port)
{
    if (m_stopping || m_threads.contains(port))
        return;
    auto *thread = new QThread(this);
    thread->setStackSize(PORT_THREAD_STACK);
    m_threads.insert(port, thread);
    auto *anchor = new QObject;
    anchor->moveToThread(thread);
    connect(thread, &QThread::finished, anchor, &QObject::deleteLater);
    ModuleJob::Progress relay;
    if (m_progress) {
        relay = [this](const QString &text) {
            QMetaObject::invokeMethod(
                this, [this, text] { m_progress(text); }, Qt::QueuedConnection);
        };
    }
    const ModuleJob::Plan plan = m_plan;
    const int settleMs = m_settleMs;
    QMetaObject::invokeMethod(
        anchor,
        [this, port, plan, settleMs, relay] {
            auto *job = new ModuleJob(port, plan, settleMs, relay);
            connect(job, &ModuleJob::finished, job, [this, job] {
                const PortResult result = job->result();
                // Its exchange is still on the stack that emitted the signal.
                job->deleteLater();
                QMetaObject::invokeMethod(
                    this, [this, result] { onJobFinished(result); }, Qt::QueuedConnection);
            });
            job->start();
        },
        Qt::QueuedConnection);
    thread->start();
}

void PortRunner::exec(bool stayOpen)
{
    m_stayOpen = stayOpen;
    if (m_threads.isEmpty() && (!stayOpen || m_stopping))
        return;
    m_loop.exec();
}

void PortRunner::stop()
{
    m_stopping = true;
    quitWhenIdle();
}

QString PortRunner::interruptNotice() const
{
    // A second signal is not caught (SignalNotifier): it ends the process.
    if (m_threads.isEmpty())
        return QString();
    return QStringLiteral("interrupted: finishing %1 in progress (Ctrl+C again ends at once, "
                          "without their results)")
        .arg(m_threads.size() == 1 ? QStringLiteral("1 exchange")
                                   : QStringLiteral("%1 exchanges").arg(m_threads.size()));
}

void PortRunner::onJobFinished(const PortResult &result)
{
    // The job is deleted in its thread as the thread ends.
    QThread *thread = m_threads.take(result.port);
    thread->quit();
    thread->wait();
    delete thread;
    m_done << result;
    if (m_report)
        m_report(result);
    emit jobFinished(result.port);
    quitWhenIdle();
}

void PortRunner::quitWhenIdle()
{
    if (m_threads.isEmpty() && (!m_stayOpen || m_stopping))
        m_loop.quit();
}
