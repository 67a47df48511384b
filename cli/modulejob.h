#ifndef MODULEJOB_H
#define MODULEJOB_H

#include "cli/portresult.h"
#include "config/device.h"

#include <QObject>
#include <QTimer>

#include <functional>

// The exchanges with one port's module, as one state machine on the link
// worker: read, then, when a plan says what to write, write and check the
// module's reply against what was written. Carried by the event loop of the
// thread it lives in.
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
    // Progress texts as they happen: opening, request sent, re-sent, reply.
    using Progress = std::function<void(const QString &text)>;

    // Write, or Refuse naming what keeps the settings from being written.
    static Step writeStep(const Frames::Settings &settings);
    static Step refuseStep(const QString &reason);

    // settleMs: idle time after each exchange, for modules that need a pause
    // between exchanges (the window's fixed pause is not used).
    ModuleJob(const QString &port, Plan plan, int settleMs, Progress progress,
              QObject *parent = nullptr);

    // finished() follows, always from the event loop.
    void start();
    const PortResult &result() const { return m_outcome; }

signals:
    void finished();

private:
    enum class State { Reading, Writing, Done };

    void send(const QByteArray &request);
    void onReply(const QByteArray &reply);
    void onTimeOut();
    void onOpenFail();
    void onPortError();
    // After the settle time: the next step, or finished() once Done.
    void afterExchange();
    void finish(Exit::Code code, const QString &reason = QString());
    QString what() const;
    void report(const QString &text);

    Plan m_plan;
    Progress m_progress;
    int m_settleMs;
    Device m_device;
    // The worker re-sends without a signal when its reply timer first
    // expires; this one runs alongside it to say so.
    QTimer m_resendNotice;
    QTimer m_settle;
    State m_state = State::Reading;
    bool m_exchangeEnded = false;
    PortResult m_outcome;
    Frames::Settings m_wanted;
};

#endif // MODULEJOB_H
