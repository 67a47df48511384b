#ifndef LINKPORT_H
#define LINKPORT_H

#include <QByteArray>
#include <QObject>
#include <QString>

// The line to the module as Device uses it, whatever carries it: opened at
// 9600 baud, 8N1, no flow control, with the modem lines off; bytes both
// ways; a flush; an error flag. Used from the owner thread only.
class LinkPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Whether the name is meant for a port across the network (its scheme:
    // rfc2217:// or tcp://), well formed or not.
    static bool isNetworkName(const QString &name)
    {
        return name.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive) ||
               name.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive);
    }

    // Applies the link's settings and opens the port; whether it is open.
    virtual bool open(const QString &name) = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    virtual void write(const QByteArray &bytes) = 0;
    // The bytes received and not read yet.
    virtual QByteArray readAll() = 0;
    // Drops what is buffered, both ways.
    virtual void clear() = 0;
    // The open port has failed; nothing more will come from it.
    virtual bool hasError() const = 0;
    // Why the last open failed, where the port knows better than a look at
    // the system would tell; empty otherwise.
    virtual QString openFailureReason() const { return QString(); }
    // The last open failed for a reason no further attempt mends, such as a
    // malformed name.
    virtual bool openFailureFinal() const { return false; }

signals:
    void readyRead();
};

#endif // LINKPORT_H
