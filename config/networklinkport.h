#ifndef NETWORKLINKPORT_H
#define NETWORKLINKPORT_H

#include "config/linkport.h"
#include "config/telnetcodec.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

#include <functional>

// The link over TCP to a serial port server: rfc2217://HOST:PORT asks the
// server for the link's settings (RFC 2217), tcp://HOST:PORT carries raw
// bytes on whatever line the server has set up.
class NetworkLinkPort : public LinkPort
{
    Q_OBJECT
public:
    struct Address
    {
        bool rfc2217 = false;
        QString host;
        quint16 port = 0;
    };

    // The address in a network port's name; false, with *error, for a
    // malformed one.
    static bool parseName(const QString &name, Address *address, QString *error);

    explicit NetworkLinkPort(QObject *parent = nullptr);

    bool open(const QString &name) override;
    bool isOpen() const override { return m_open; }
    void close() override;
    void write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    void clear() override;
    bool hasError() const override { return m_lost; }
    QString openFailureReason() const override { return m_reason; }
    bool openFailureFinal() const override { return m_nameRefused; }

private:
    bool fail(const QString &reason);
    bool negotiate(const QString &where, const QDeadlineTimer &deadline);
    bool waitUntil(const std::function<bool()> &done, const QDeadlineTimer &deadline);
    void onSocketReadyRead();
    void onStateChanged(QAbstractSocket::SocketState state);

    QTcpSocket m_socket;
    TelnetCodec m_telnet;
    bool m_rfc2217 = false;
    // Connected and, for RFC 2217, set up.
    bool m_open = false;
    bool m_nameRefused = false;
    bool m_opening = false;
    // The far end closed or broke the connection while the port was in use.
    bool m_lost = false;
    QByteArray m_data;
    QString m_reason;
};

#endif // NETWORKLINKPORT_H
