#ifndef EXCHANGE_H
#define EXCHANGE_H

#include "config/device.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// One request and its reply through the module link worker, for a tool
// without a window, carried by the event loop of the thread it lives in;
// each exchange has a Device of its own. Progress goes to a callback as it
// happens.
class Exchange : public QObject
{
    Q_OBJECT
public:
    enum Outcome { Reply, OpenFail, TimeOut, PortError };

    using Progress = std::function<void(const QString &text)>;

    explicit Exchange(QObject *parent = nullptr);

    // Progress texts: opening, request sent, re-sent, reply received. None
    // when no callback is set.
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    // Idle time after each exchange, before finished(), for modules that need
    // a pause between exchanges. The window's fixed pause is not used.
    void setSettle(int ms) { m_settleMs = ms; }

    // what names the request in the progress texts ("read", "write").
    // finished() follows, always from the event loop, never from start().
    void start(const QString &portName, const QByteArray &request, const QString &what);
    Outcome outcome() const { return m_outcome; }
    // The accepted reply of the last exchange that ended with Reply.
    QByteArray reply() const { return m_replyBytes; }
    // Bytes that came back in the last exchange, a reply or not.
    qint64 bytesReceived() const { return m_device.bytesReceived(); }
    // Why the last open attempt failed, for a network port.
    QString openFailureReason() const { return m_device.openFailureReason(); }

signals:
    void finished();

private slots:
    void onFinalProgress(QByteArray configData);
    void onTimeOut();
    void onOpenFail();
    void onPortError();
    void onNoAnswerYet();

private:
    void finish(Outcome outcome);
    void report(const QString &text);

    Device m_device;
    // The worker re-sends without a signal, when its reply timer first
    // expires; this one runs alongside it to say so.
    QTimer m_resendNotice;
    QTimer m_settle;
    int m_settleMs = 0;
    Progress m_progress;
    QString m_portName;
    QString m_what;
    Outcome m_outcome = TimeOut;
    QByteArray m_replyBytes;
};

#endif // EXCHANGE_H
