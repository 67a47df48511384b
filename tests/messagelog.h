#ifndef MESSAGELOG_H
#define MESSAGELOG_H

#include "devicewatcher/qdevicechangeevent.h"
#include "devicewatcher/qdevicewatcher.h"

#include <QCoreApplication>
#include <QStringList>

// Captures Qt's debug lines as "debug: text" and the others as "warning:
// text" while it lives; one at a time.
class MessageLog
{
public:
    MessageLog() : m_previous(qInstallMessageHandler(&MessageLog::handler)) { s_current = this; }
    ~MessageLog()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QStringList lines;

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (s_current)
            s_current->lines << (type == QtDebugMsg ? "debug: " : "warning: ") + message;
    }

    QtMessageHandler m_previous;
    static inline MessageLog *s_current = nullptr;
};

// Logs, in order, a watcher's signals ("deviceAdded X") and the change events
// delivered to any object of the thread ("<object name> arrival X"), into its
// own lines or another list.
class WatcherLog : public QObject
{
public:
    explicit WatcherLog(QDeviceWatcher *watcher, QStringList *into = nullptr)
        : out(into ? into : &lines)
    {
        QCoreApplication::instance()->installEventFilter(this);
        const auto note = [this](const char *name) {
            return [this, name](const QString &dev) { *out << QString(name) + " " + dev; };
        };
        connect(watcher, &QDeviceWatcher::deviceAdded, this, note("deviceAdded"));
        connect(watcher, &QDeviceWatcher::deviceChanged, this, note("deviceChanged"));
        connect(watcher, &QDeviceWatcher::deviceRemoved, this, note("deviceRemoved"));
        connect(watcher, &QDeviceWatcher::deviceNotify, this, note("deviceNotify"));
    }
    QStringList lines;
    QStringList *out;

protected:
    bool eventFilter(QObject *to, QEvent *e) override
    {
        if (e->type() != QDeviceChangeEvent::registeredType())
            return false;
        const auto *change = static_cast<QDeviceChangeEvent *>(e);
        *out << to->objectName() + (change->action() ? " removal " : " arrival ") +
                    change->deviceText();
        return false;
    }
};

#endif // MESSAGELOG_H
