#ifndef MESSAGELOG_H
#define MESSAGELOG_H

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Captures Qt's debug and warning lines while it lives, as "debug: text"
// and "warning: text"; one at a time.
class MessageLog
{
public:
    MessageLog() : m_previous(qInstallMessageHandler(&MessageLog::handler)) { s_current = this; }
    ~MessageLog()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    MessageLog(const MessageLog &) = delete;
    MessageLog &operator=(const MessageLog &) = delete;

    QStringList lines;

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (!s_current)
            return;
        const char *kind = type == QtDebugMsg     ? "debug: "
                           : type == QtWarningMsg ? "warning: "
                           : type == QtInfoMsg    ? "info: "
                                                  : "other: ";
        s_current->lines << QLatin1String(kind) + message;
    }

    QtMessageHandler m_previous;
    static inline MessageLog *s_current = nullptr;
};

#endif // MESSAGELOG_H
