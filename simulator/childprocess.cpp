#include "simulator/childprocess.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int FORWARDED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

ChildProcess::ChildProcess()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
}

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
void ChildProcess::setupChildProcess()
{
    ::setpgid(0, 0);
}
#endif

bool ChildProcess::forwardSignals(std::function<void(int)> idle)
{
    // One pipe for the process: the handlers are process-wide too.
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : FORWARDED_SIGNALS) {
        if (::sigaction(number, &action, nullptr) != 0)
            return false;
    }
    m_idle = std::move(idle);
    m_signalled = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(m_signalled.get(), &QSocketNotifier::activated, this, [this] {
        char number;
        while (::read(signalPipe[0], &number, 1) == 1) {
            if (state() == QProcess::Running)
                ::kill(pid_t(processId()), number);
            else
                m_idle(number);
        }
    });
    return true;
}
