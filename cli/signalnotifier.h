#ifndef SIGNALNOTIFIER_H
#define SIGNALNOTIFIER_H

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal, through a pipe that the
// handler writes to, so that the event loop ends its work cleanly. The first
// signal is caught; a second one ends the process as if none were caught.
// On Windows it catches nothing.
class SignalNotifier : public QObject
{
    Q_OBJECT
public:
    explicit SignalNotifier(QObject *parent = nullptr);
    ~SignalNotifier() override;

signals:
    void interrupted();

private:
    void onWake();
    static void onSignal(int signal);

    QSocketNotifier *m_notifier = nullptr;
    static int m_wakeFd[2];
};

#endif // SIGNALNOTIFIER_H
