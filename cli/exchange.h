#ifndef EXCHANGE_H
#define EXCHANGE_H

#include "config/device.h"

#include <QByteArray>
#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// One request and its reply through the module link worker, run to its end
// for a tool without a window: the caller waits in run() while the event loop
// carries the exchange, and progress goes to a callback as it happens.
class Exchange : public QObject
{
    Q_OBJECT
public:
    enum Outcome { Reply, OpenFail, TimeOut, PortError };

    using Progress = std::function<void(const QString &text)>;

    explicit Exchange(QObject *parent = nullptr);

    // Progress texts: opening, request sent, re-sent, reply received. None
    // when no callback is set.
    void setProgress(Progress progress) { this->progress = std::move(progress); }

    // what names the request in the progress texts ("read", "write").
    Outcome run(const QString &portName, const QByteArray &request, const QString &what);
    // The accepted reply of the last run that ended with Reply.
    QByteArray reply() const { return replyBytes; }

    // The system's reason why a port does not open, with a hint where one
    // helps; empty when it opens now.
    static QString openFailureReason(const QString &portName);

private slots:
    void onFinalProgress(QByteArray configData);
    void onTimeOut();
    void onOpenFail();
    void onPortError();
    void onNoAnswerYet();

private:
    void finish(Outcome outcome);
    void report(const QString &text);

    Device device;
    QEventLoop loop;
    // The worker re-sends without a signal, when its reply timer first
    // expires; this one runs alongside it to say so.
    QTimer resendNotice;
    Progress progress;
    QString portName;
    QString what;
    Outcome outcome = TimeOut;
    bool finished = false;
    QByteArray replyBytes;
};

#endif // EXCHANGE_H
