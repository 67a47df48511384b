#ifndef CHILDPROCESS_H
#define CHILDPROCESS_H

#include <QProcess>
#include <QSocketNotifier>

#include <functional>
#include <memory>

// The program radioconf-sim runs. It runs in a process group of its own, so
// that a Ctrl+C at the terminal reaches it once, through radioconf-sim,
// which then outlives it and removes its adapters.
class ChildProcess : public QProcess
{
public:
    ChildProcess();

    // Passes SIGINT, SIGTERM and SIGHUP on to the program while it runs,
    // through a pipe to the event loop; a signal that comes while it does
    // not run goes to idle instead. False, with errno, when that cannot be set up.
    bool forwardSignals(std::function<void(int number)> idle);

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
protected:
    void setupChildProcess() override;
#endif

private:
    std::unique_ptr<QSocketNotifier> m_signalled;
    std::function<void(int)> m_idle;
};

#endif // CHILDPROCESS_H
