#include "config/networklinkport.h"

#include <QHostAddress>
#include <QRegularExpression>

#include <algorithm>

namespace {
// Each step of an open that waits on the far end is bounded, so that an
// unreachable host costs the open attempt about as long as a local one.
constexpr int CONNECT_MS = 1000;
constexpr int NEGOTIATE_MS = 1500;

const QString RFC2217_SCHEME = QStringLiteral("rfc2217://");
const QString TCP_SCHEME = QStringLiteral("tcp://");

struct Setting
{
    quint8 command;
    QByteArray value;
    const char *what;
};

// The link's settings, each to be acknowledged with the value asked for.
const Setting SETTINGS[] = {
    {TelnetCodec::SET_BAUDRATE, QByteArray("\x00\x00\x25\x80", 4), "9600 baud"},
    {TelnetCodec::SET_DATASIZE, QByteArray(1, 8), "8 data bits"},
    {TelnetCodec::SET_PARITY, QByteArray(1, 1), "no parity"},
    {TelnetCodec::SET_STOPSIZE, QByteArray(1, 1), "one stop bit"},
    {TelnetCodec::SET_CONTROL, QByteArray(1, 1), "no flow control"},
};
// RTS and DTR off, as on a local port; a line without modem lines does not
// acknowledge them, and need not.
const QByteArray RTS_OFF(1, 12);
const QByteArray DTR_OFF(1, 9);
const QByteArray PURGE_BOTH(1, 3);

QString valueText(const QByteArray &value)
{
    if (value.size() == 4) {
        return QString::number((quint32(quint8(value[0])) << 24) | (quint8(value[1]) << 16) |
                               (quint8(value[2]) << 8) | quint8(value[3]));
    }
    return value.size() == 1 ? QString::number(quint8(value[0]))
                             : QString::fromLatin1(value.toHex(' '));
}
} // namespace

bool NetworkLinkPort::parseName(const QString &name, Address *address, QString *error)
{
    const auto malformed = [&](const QString &why) {
        *error =
            QStringLiteral("%1: %2 (give rfc2217://HOST:PORT or tcp://HOST:PORT)").arg(name, why);
        return false;
    };
    if (!isNetworkName(name))
        return malformed(QStringLiteral("not a network port"));
    address->rfc2217 = name.startsWith(RFC2217_SCHEME, Qt::CaseInsensitive);
    const QString rest = name.mid((address->rfc2217 ? RFC2217_SCHEME : TCP_SCHEME).size());
    int colon;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        address->host = rest.mid(1, close - 1);
        if (close < 0 || QHostAddress(address->host).protocol() != QAbstractSocket::IPv6Protocol)
            return malformed(QStringLiteral("no IPv6 address in the brackets"));
        colon = close + 1;
        if (colon >= rest.size() || rest.at(colon) != QLatin1Char(':'))
            return malformed(QStringLiteral("no port number"));
    } else {
        colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return malformed(QStringLiteral("no port number"));
        address->host = rest.left(colon);
        if (address->host.contains(QLatin1Char(':')))
            return malformed(QStringLiteral("an IPv6 address goes in brackets"));
        // Labels of letters, digits and hyphens; all digits only as an IPv4 address.
        const QRegularExpression hostName(
            QStringLiteral("^(?=.{1,253}$)[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?"
                           "(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$"));
        const QRegularExpression numeric(QStringLiteral("^[0-9.]+$"));
        if (!hostName.match(address->host).hasMatch() ||
            (numeric.match(address->host).hasMatch() &&
             QHostAddress(address->host).protocol() != QAbstractSocket::IPv4Protocol))
            return malformed(QStringLiteral("no host name or address before the port"));
    }
    const QString portText = rest.mid(colon + 1);
    const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const uint port = portText.toUInt();
    if (!digits.match(portText).hasMatch() || port < 1 || port > 65535)
        return malformed(QStringLiteral("the port number must be 1 to 65535"));
    address->port = quint16(port);
    return true;
}

NetworkLinkPort::NetworkLinkPort(QObject *parent) : LinkPort(parent)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &NetworkLinkPort::onSocketReadyRead);
    connect(&m_socket, &QTcpSocket::stateChanged, this, &NetworkLinkPort::onStateChanged);
}

// The waits of an open block in the socket's own calls (waitForConnected,
// waitForReadyRead), not in an event loop: no timer or queued call, of
// Device or of anything else in this thread, runs before the open returns.
bool NetworkLinkPort::open(const QString &name)
{
    close();
    m_reason.clear();
    Address address;
    m_nameRefused = !parseName(name, &address, &m_reason);
    if (m_nameRefused)
        return false;
    m_rfc2217 = address.rfc2217;
    const QString where = QStringLiteral("%1:%2")
                              .arg(address.host.contains(QLatin1Char(':'))
                                       ? QLatin1Char('[') + address.host + QLatin1Char(']')
                                       : address.host)
                              .arg(address.port);
    m_opening = true;
    m_socket.connectToHost(address.host, address.port);
    if (!m_socket.waitForConnected(CONNECT_MS))
        return fail(QStringLiteral("cannot connect to %1: %2").arg(where, m_socket.errorString()));
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (m_rfc2217 && !negotiate(where, QDeadlineTimer(NEGOTIATE_MS)))
        return false;
    m_opening = false;
    m_open = true;
    // Bytes that came during the set-up wait for the next read, as in a
    // local port's buffer.
    if (!m_data.isEmpty())
        QMetaObject::invokeMethod(this, &LinkPort::readyRead, Qt::QueuedConnection);
    return true;
}

bool NetworkLinkPort::negotiate(const QString &where, const QDeadlineTimer &deadline)
{
    // Out on its own: ser2net answers the settings only after a pause of
    // some 40 ms when they come in the same segment as the greeting.
    m_socket.write(m_telnet.greeting());
    m_socket.flush();
    const bool answered = waitUntil(
        [this] { return m_telnet.comPortOption() != TelnetCodec::Agreement::Pending; }, deadline);
    if (m_lost)
        return fail(QStringLiteral("%1 closed the connection").arg(where));
    if (!answered || m_telnet.comPortOption() != TelnetCodec::Agreement::Agreed) {
        return fail(QStringLiteral("%1 does not speak RFC 2217 (%2)")
                        .arg(where, answered ? QStringLiteral("it refused COM-PORT-OPTION")
                                             : QStringLiteral("no COM-PORT-OPTION")));
    }
    QByteArray requests;
    for (const Setting &setting : SETTINGS)
        requests += TelnetCodec::command(setting.command, setting.value);
    m_socket.write(requests);
    waitUntil(
        [this] {
            return std::all_of(std::begin(SETTINGS), std::end(SETTINGS), [this](const Setting &s) {
                bool has = false;
                m_telnet.value(s.command, &has);
                return has;
            });
        },
        deadline);
    if (m_lost)
        return fail(QStringLiteral("%1 closed the connection").arg(where));
    for (const Setting &setting : SETTINGS) {
        bool has = false;
        const QByteArray value = m_telnet.value(setting.command, &has);
        if (!has)
            return fail(QStringLiteral("%1 did not confirm %2").arg(where, setting.what));
        if (value != setting.value) {
            return fail(QStringLiteral("%1 refused %2 (it answered %3)")
                            .arg(where, setting.what, valueText(value)));
        }
    }
    // After the flow control's answer, so that theirs cannot be taken for it.
    m_socket.write(TelnetCodec::command(TelnetCodec::SET_CONTROL, RTS_OFF) +
                   TelnetCodec::command(TelnetCodec::SET_CONTROL, DTR_OFF));
    return true;
}

bool NetworkLinkPort::waitUntil(const std::function<bool()> &done, const QDeadlineTimer &deadline)
{
    // Each pass waits for more bytes or ends: bounded by the deadline.
    while (!done()) {
        if (m_lost || m_socket.state() != QAbstractSocket::ConnectedState || deadline.hasExpired())
            return false;
        m_socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    return true;
}

bool NetworkLinkPort::fail(const QString &reason)
{
    m_reason = reason;
    close();
    return false;
}

void NetworkLinkPort::close()
{
    m_open = false;
    m_opening = false;
    m_socket.abort();
    m_telnet.reset();
    m_data.clear();
    m_lost = false;
}

void NetworkLinkPort::write(const QByteArray &bytes)
{
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        return;
    m_socket.write(m_rfc2217 ? TelnetCodec::escape(bytes) : bytes);
}

QByteArray NetworkLinkPort::readAll()
{
    QByteArray bytes;
    bytes.swap(m_data);
    return bytes;
}

void NetworkLinkPort::clear()
{
    // What the socket holds goes through the decoder first: it may end a
    // telnet sequence that began before.
    onSocketReadyRead();
    m_data.clear();
    if (m_rfc2217 && m_socket.state() == QAbstractSocket::ConnectedState)
        m_socket.write(TelnetCodec::command(TelnetCodec::PURGE_DATA, PURGE_BOTH));
}

void NetworkLinkPort::onSocketReadyRead()
{
    if (!m_socket.isOpen())
        return;
    const QByteArray in = m_socket.readAll();
    if (in.isEmpty())
        return;
    const qsizetype before = m_data.size();
    if (m_rfc2217) {
        m_data += m_telnet.decode(in);
        const QByteArray answers = m_telnet.takeAnswers();
        if (!answers.isEmpty() && m_socket.state() == QAbstractSocket::ConnectedState)
            m_socket.write(answers);
    } else {
        m_data += in;
    }
    if (m_data.size() > before && !m_opening)
        emit readyRead();
}

void NetworkLinkPort::onStateChanged(QAbstractSocket::SocketState state)
{
    // A closed or broken connection sends nothing more; the first expiry
    // reports it, as it does a local adapter pulled out.
    if (state == QAbstractSocket::UnconnectedState && (m_open || m_opening))
        m_lost = true;
}
