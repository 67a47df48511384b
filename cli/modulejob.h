#ifndef MODULEJOB_H
#define MODULEJOB_H

#include "cli/exchange.h"
#include "cli/portresult.h"

#include <QObject>

#include <functional>

// The exchanges with one port's module: a read and, when a plan says what
// to write, the write and its check against the module's reply.
class ModuleJob : public QObject
{
    Q_OBJECT
public:
    // What to do once the module's values are read.
    struct Step
    {
        enum Action { Write, Skip, Refuse };
        Action action = Write;
        Frames::Settings settings; // for Write
        QString reason;            // for Skip and Refuse
    };
    // Empty for a read alone; port as the job was given it.
    using Plan = std::function<Step(const QString &port, const Frames::Parameters &read)>;

    // Write, or Refuse naming what keeps the settings from being written.
    static Step writeStep(const Frames::Settings &settings);
    static Step refuseStep(const QString &reason);

    ModuleJob(const QString &port, Plan plan, int settleMs, Exchange::Progress progress,
              QObject *parent = nullptr);

    // finished() follows, from the event loop.
    void start();
    const PortResult &result() const { return m_outcome; }

signals:
    void finished();

private slots:
    void onExchangeFinished();

private:
    void finish(PortResult::Code code, const QString &reason = QString());

    Plan m_plan;
    Exchange m_exchange;
    PortResult m_outcome;
    bool m_writing = false;
    Frames::Settings m_wanted;
};

#endif // MODULEJOB_H
