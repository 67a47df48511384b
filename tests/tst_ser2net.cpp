// The link across the network against Debian's ser2net on loopback: Device
// itself, and radioconf-cli end to end. Each row starts a ser2net of its own
// that serves simulated modules on pseudo-terminals, and stops it.
#include "config/device.h"
#include "simulator/ser2netbed.h"
#include "simulator/simulatedmodule.h"

#include "jsonlines.h"

#include <QTcpServer>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using Behaviour = SimulatedModule::Behaviour;
Q_DECLARE_METATYPE(SimulatedModule::Behaviour)
enum Outcome { Final, TimeOut, OpenFail, PortError };
Q_DECLARE_METATYPE(Outcome)

// A free loopback port, for a connection that nothing accepts.
static quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// Simulated modules on pseudo-terminals, and ser2net serving them.
struct Ser2net
{
    explicit Ser2net(int modules, Behaviour behaviour = Behaviour::Normal)
    {
        QList<QByteArray> paths;
        for (int i = 0; i < modules; ++i) {
            QByteArray path;
            const int master = SimulatedModule::openTerminal(&path);
            QVERIFY(master >= 0);
            // Keeps the line's device open, and reads its settings.
            held << ::open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            QVERIFY(held.last() >= 0);
            this->modules.push_back(std::make_unique<SimulatedModule>(master, behaviour, true));
            paths << path;
        }
        started = bed.start(paths);
    }
    ~Ser2net()
    {
        bed.stop();
        modules.clear();
        for (const int fd : std::as_const(held))
            ::close(fd);
    }
    QString name(int line, bool rfc2217) const
    {
        return rfc2217 ? bed.rfc2217Name(line) : bed.tcpName(line);
    }

    Ser2netBed bed;
    std::vector<std::unique_ptr<SimulatedModule>> modules;
    QList<int> held;
    bool started = false;
};

class TestSer2net : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<QProcess::ExitStatus>(); }

    void device_data()
    {
        QTest::addColumn<QString>("port"); // rfc2217, tcp, or a server of the test's own
        QTest::addColumn<bool>("write");   // a write request with 0xFF in its values
        QTest::addColumn<Behaviour>("behaviour");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("reason"); // openFailureReason() contains it
        QTest::addColumn<int>("maxMs");      // from startDownload to the outcome

        QTest::newRow("rfc2217 read")
            << "rfc2217" << false << Behaviour::Normal << Final << "" << 3000;
        QTest::newRow("rfc2217 write")
            << "rfc2217" << true << Behaviour::Normal << Final << "" << 3000;
        QTest::newRow("tcp read") << "tcp" << false << Behaviour::Normal << Final << "" << 3000;
        QTest::newRow("tcp write") << "tcp" << true << Behaviour::Normal << Final << "" << 3000;
        // Three attempts, each bounded by the wait for COM-PORT-OPTION.
        QTest::newRow("plain TCP server as rfc2217")
            << "plain" << false << Behaviour::Normal << OpenFail
            << "127.0.0.1:%1 does not speak RFC 2217 (no COM-PORT-OPTION)" << 9000;
        QTest::newRow("connection refused") << "refused" << false << Behaviour::Normal << OpenFail
                                            << "cannot connect to 127.0.0.1:%1" << 3000;
        // At once: no attempt mends the name.
        QTest::newRow("malformed name") << "malformed" << false << Behaviour::Normal << OpenFail
                                        << "port number must be 1 to 65535" << 900;
        // At the first expiry, 1500 ms after the request.
        QTest::newRow("ser2net stopped mid-exchange")
            << "rfc2217" << false << Behaviour::Silent << PortError << "" << 3000;
    }

    void device()
    {
        QFETCH(QString, port);
        QFETCH(bool, write);
        QFETCH(Behaviour, behaviour);
        QFETCH(Outcome, outcome);
        QFETCH(QString, reason);
        QFETCH(int, maxMs);

        Ser2net server(1, behaviour);
        QVERIFY2(server.started, server.bed.output());
        SimulatedModule &module = *server.modules[0];
        SimulatedModule::State state;
        state.mac = QByteArray::fromHex("ffff0d0aff00ff24");
        module.setState(state);
        QTcpServer plain; // listens, and never says a word
        QString name = port == "rfc2217" ? server.name(0, true) : server.name(0, false);
        if (port == "plain") {
            QVERIFY(plain.listen(QHostAddress::LocalHost));
            name = "rfc2217://127.0.0.1:" + QString::number(plain.serverPort());
        } else if (port == "refused") {
            name = "tcp://127.0.0.1:" + QString::number(freePort());
        } else if (port == "malformed") {
            name = "tcp://127.0.0.1:0";
        }
        reason = reason.arg(name.section(':', -1));

        Device device;
        // A retry would show in the time of a malformed name's failure.
        device.setTiming({port == "malformed" ? 1000 : 100, 1500, 0});
        device.setPortName(name);
        // Frequency 0xFFFFFF kHz, group 0xFF: telnet's escape byte in the values.
        const QByteArray request = write ? SimulatedModule::WRITE_REQUEST_HEADER +
                                               QByteArray::fromHex("ffffffff030703ff05")
                                         : SimulatedModule::READ_REQUEST;
        device.setRequest(request);
        QSignalSpy ends[4]{{&device, &Device::finalProgress},
                           {&device, &Device::timeOut},
                           {&device, &Device::openfail},
                           {&device, &Device::porterror}};
        QSignalSpy requested(&module, &SimulatedModule::requestReceived);
        QElapsedTimer clock;
        clock.start();
        if (outcome == PortError)
            QTest::ignoreMessage(QtDebugMsg, "Device onError");
        device.startDownload();
        if (port == "rfc2217") { // set by the client although ser2net began at 115200
            termios tio;
            QVERIFY(tcgetattr(server.held[0], &tio) == 0);
            QCOMPARE(QString::asprintf("%d %d %x", int(cfgetispeed(&tio)), int(cfgetospeed(&tio)),
                                       tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)),
                     QString::asprintf("%d %d %x", B9600, B9600, CS8));
        }
        if (outcome == PortError) {
            QVERIFY(requested.wait(5000));
            clock.start();
            server.bed.stop();
        }
        QTRY_COMPARE_WITH_TIMEOUT(ends[outcome].count(), 1, 15000);
        QVERIFY2(clock.elapsed() < maxMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(ends[0].count() + ends[1].count() + ends[2].count() + ends[3].count(), 1);
        QVERIFY2(device.openFailureReason().contains(reason),
                 qPrintable(device.openFailureReason()));
        QCOMPARE(reason.isEmpty(), device.openFailureReason().isEmpty());
        if (outcome == Final) { // byte for byte both ways
            QCOMPARE(module.requests(), QList<QByteArray>{request});
            QCOMPARE(ends[Final].at(0).at(0).toByteArray(), SimulatedModule::block(module.state()));
            QCOMPARE(module.state().groupId, write ? 0xff : 0);
        }
        QVERIFY(!device.isRunning());
    }

    void cli_data()
    {
        QTest::addColumn<QStringList>("args"); // %1, %2: the modules' ports
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("groups"); // result lines with the module's group
        QTest::addColumn<QString>("error");

        QTest::newRow("read rfc2217")
            << QStringList{"read", "--port", "rfc2217:%1"} << 0 << 1 << "";
        QTest::newRow("read tcp") << QStringList{"read", "--port", "tcp:%1"} << 0 << 1 << "";
        QTest::newRow("write rfc2217")
            << QStringList{"write", "--group", "9", "--port", "rfc2217:%1"} << 0 << 1 << "";
        QTest::newRow("two ser2net ports at once")
            << QStringList{"read", "--port", "rfc2217:%1", "--port", "rfc2217:%2"} << 0 << 2 << "";
        QTest::newRow("refused") << QStringList{"read", "--port", "tcp:0"} << 3 << 0
                                 << "the port did not open: cannot connect to 127.0.0.1:";
    }

    void cli()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(int, groups);
        QFETCH(QString, error);

        Ser2net server(2);
        QVERIFY2(server.started, server.bed.output());
        for (QString &arg : args) {
            if (arg == "tcp:0")
                arg = "tcp://127.0.0.1:" + QString::number(freePort());
            else if (arg.contains(':'))
                arg = server.name(arg.endsWith("%2") ? 1 : 0, arg.startsWith("rfc2217"));
        }
        QProcess tool;
        QSignalSpy finished(&tool, SIGNAL(finished(int, QProcess::ExitStatus)));
        tool.start(RADIOCONF_CLI, args + QStringList{"--json", "--quiet"});
        QVERIFY(finished.wait(30000));
        const QByteArray out = tool.readAllStandardOutput(), err = tool.readAllStandardError();
        QVERIFY2(tool.exitCode() == exitCode && err.contains(error.toUtf8()), out + err);
        checkJsonLines(out);
        const int group = args.first() == "write" ? 9 : 0;
        QCOMPARE(out.count(QByteArray("\"group\":") + QByteArray::number(group) + ","), groups);
        QCOMPARE(out.count("\"mac\":\"0102030405060708\""), groups);
        if (args.first() == "write")
            QCOMPARE(int(server.modules[0]->state().groupId), group);
    }
};

QTEST_GUILESS_MAIN(TestSer2net)
#include "tst_ser2net.moc"
