#include "simulator/ser2netbed.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>

#include <algorithm>

namespace {
// Whether something listens on the loopback port: it cannot be bound then.
// Unlike a connection, this does not make ser2net open the line.
bool listening(quint16 port)
{
    QTcpServer probe;
    return !probe.listen(QHostAddress::LocalHost, port) &&
           probe.serverError() == QAbstractSocket::AddressInUseError;
}
} // namespace

bool Ser2netBed::start(const QList<QByteArray> &paths)
{
    // Another process may take a port between its choice and ser2net's bind.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (tryStart(paths))
            return true;
    }
    return false;
}

bool Ser2netBed::tryStart(const QList<QByteArray> &paths)
{
    stop();
    m_ports.clear();
    QByteArray yaml;
    for (const QByteArray &path : paths) {
        for (const bool rfc2217 : {true, false}) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0))
                return false;
            m_ports << probe.serverPort();
            const QByteArray port = QByteArray::number(m_ports.last());
            yaml += "connection: &c" + port +
                    "\n  accepter: " + (rfc2217 ? "telnet(rfc2217),tcp" : "tcp") + ",127.0.0.1," +
                    port + "\n  connector: serialdev," + path +
                    (rfc2217 ? ",115200n81" : ",9600n81") + ",local\n";
        }
    }
    QFile config(m_dir.filePath(QStringLiteral("ser2net.yaml")));
    if (!config.open(QIODevice::WriteOnly) || config.write(yaml) != yaml.size())
        return false;
    config.close();
    // Without a test bed's preload library, should the caller run under one.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LD_PRELOAD"));
    environment.remove(QStringLiteral("UMOCKDEV_DIR"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("ser2net"), {QStringLiteral("-n"), QStringLiteral("-d"),
                                                QStringLiteral("-c"), config.fileName()});
    if (!m_process.waitForStarted(10000))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000 && m_process.state() == QProcess::Running) {
        if (std::all_of(m_ports.begin(), m_ports.end(), listening))
            return true;
        m_process.waitForFinished(50); // a pause that ends should ser2net end
    }
    stop();
    return false;
}

void Ser2netBed::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

QString Ser2netBed::rfc2217Name(int line) const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_ports.value(2 * line));
}

QString Ser2netBed::tcpName(int line) const
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(m_ports.value(2 * line + 1));
}
