// The link across the network against Debian's ser2net on loopback: Device
// itself, and radioconf-cli end to end. Each row starts a ser2net of its own
// that serves simulated modules on pseudo-terminals, and stops it.
#include "config/device.h"
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

// A free loopback port for a server to take; 0 when none can be had.
static quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// Whether something listens on the loopback port: binding it fails then.
// Unlike a connection, this does not make ser2net open the line.
static bool listening(quint16 port)
{
    QTcpServer probe;
    return !probe.listen(QHostAddress::LocalHost, port) &&
           probe.serverError() == QAbstractSocket::AddressInUseError;
}

// ser2net with, per module, an RFC 2217 port (its line at 115200 baud, for
// the client to set) and a raw TCP port (its line at the link's 9600 8N1).
struct Ser2net
{
    struct Line
    {
        QByteArray path;
        int held = -1; // keeps the line's device open, and reads its settings
        std::unique_ptr<SimulatedModule> module;
        quint16 rfc2217 = 0, tcp = 0;
    };

    explicit Ser2net(int modules, Behaviour behaviour = Behaviour::Normal)
    {
        for (int i = 0; i < modules; ++i) {
            Line line;
            const int master = SimulatedModule::openTerminal(&line.path);
            QVERIFY(master >= 0);
            line.held = ::open(line.path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            QVERIFY(line.held >= 0);
            line.module = std::make_unique<SimulatedModule>(master, behaviour, true);
            lines.push_back(std::move(line));
        }
        // Another process may take a port between the probe and ser2net.
        for (int attempt = 0; attempt < 3 && !started; ++attempt)
            started = start();
    }
    ~Ser2net()
    {
        stop();
        for (Line &line : lines) {
            line.module.reset();
            ::close(line.held);
        }
    }
    bool start()
    {
        QByteArray yaml;
        for (Line &line : lines) {
            line.rfc2217 = freePort();
            line.tcp = freePort();
            yaml += "connection: &rfc" + QByteArray::number(line.rfc2217) +
                    "\n  accepter: telnet(rfc2217),tcp,127.0.0.1," +
                    QByteArray::number(line.rfc2217) + "\n  connector: serialdev," + line.path +
                    ",115200n81,local\n";
            yaml += "connection: &tcp" + QByteArray::number(line.tcp) +
                    "\n  accepter: tcp,127.0.0.1," + QByteArray::number(line.tcp) +
                    "\n  connector: serialdev," + line.path + ",9600n81,local\n";
        }
        QFile file(dir.filePath("ser2net.yaml"));
        if (!file.open(QIODevice::WriteOnly) || file.write(yaml) != yaml.size())
            return false;
        file.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("ser2net", {"-n", "-d", "-c", file.fileName()});
        if (!process.waitForStarted(10000))
            return false;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 200 && clock.elapsed() < 10000; ++i) {
            if (std::all_of(lines.begin(), lines.end(), [](const Line &line) {
                    return listening(line.rfc2217) && listening(line.tcp);
                }))
                return true;
            if (process.state() != QProcess::Running || process.waitForFinished(50))
                break;
        }
        stop();
        return false;
    }
    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
    QString name(int line, bool rfc2217) const
    {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(rfc2217 ? "rfc2217" : "tcp")
            .arg(rfc2217 ? lines[line].rfc2217 : lines[line].tcp);
    }

    QTemporaryDir dir;
    QProcess process;
    std::vector<Line> lines;
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
        QVERIFY2(server.started, server.process.readAll());
        SimulatedModule &module = *server.lines[0].module;
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
        }
        reason = reason.arg(name.section(':', -1));

        Device device;
        device.setTiming({100, 1500, 0});
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
            QVERIFY(tcgetattr(server.lines[0].held, &tio) == 0);
            QCOMPARE(QString::asprintf("%d %d %x", int(cfgetispeed(&tio)), int(cfgetospeed(&tio)),
                                       tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)),
                     QString::asprintf("%d %d %x", B9600, B9600, CS8));
        }
        if (outcome == PortError) {
            QVERIFY(requested.wait(5000));
            clock.start();
            server.stop();
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
        QVERIFY2(server.started, server.process.readAll());
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
            QCOMPARE(int(server.lines[0].module->state().groupId), group);
    }
};

QTEST_GUILESS_MAIN(TestSer2net)
#include "tst_ser2net.moc"
