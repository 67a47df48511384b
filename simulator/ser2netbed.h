#ifndef SER2NETBED_H
#define SER2NETBED_H

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Debian's ser2net on loopback, serving serial lines (pseudo-terminals) to
// the network: each line on an RFC 2217 port, where it starts at 115200 baud
// for the client to set, and on a raw TCP port at the link's 9600n81.
class Ser2netBed
{
public:
    Ser2netBed() = default;
    Ser2netBed(const Ser2netBed &) = delete;
    Ser2netBed &operator=(const Ser2netBed &) = delete;
    ~Ser2netBed() { stop(); }

    // Starts ser2net for the lines on free ports; false when it does not
    // listen on them within a few seconds, three times over.
    bool start(const QList<QByteArray> &paths);
    void stop();
    // The port names of a line, for Device and --port.
    QString rfc2217Name(int line) const;
    QString tcpName(int line) const;
    // What ser2net printed, for a failure's message.
    QByteArray output() { return m_process.readAll(); }

private:
    bool tryStart(const QList<QByteArray> &paths);

    QTemporaryDir m_dir;
    QProcess m_process;
    QList<quint16> m_ports; // two per line: RFC 2217, raw TCP
};

#endif // SER2NETBED_H
