// The Windows build under wine, driven from Linux (its test tst_wine, in
// tests/wine.cmake, sets the environment): the link through Windows' serial
// API to a simulated module on a pseudo-terminal that wine maps to COM5, and
// a virtual CP210x (virtualcp210x.reg, the COM5 link and a device-change
// broadcast) plugged into and out of the running window on a virtual X
// server.
#include "simulator/simulatedmodule.h"

#include <QtTest>

#include <memory>
#include <sys/resource.h>

#define ENV(name) qEnvironmentVariable(name)

// A module at the far end of a fresh pseudo-terminal, which COM5 leads to.
struct Module
{
    explicit Module(SimulatedModule::Behaviour behaviour)
    {
        QByteArray path;
        const int master = SimulatedModule::openTerminal(&path);
        const QString com5 = ENV("WINEPREFIX") + "/dosdevices/com5";
        QFile::remove(com5);
        QFile::link(QString::fromLocal8Bit(path), com5);
        sim = std::make_unique<SimulatedModule>(master, behaviour, true);
    }
    QString requests() const { return QString(sim->requests().join().toHex()); }
    std::unique_ptr<SimulatedModule> sim;
};

// A program of the Windows build.
#define BUILT(path) ENV("RADIOCONF_WIN_BUILD") + "/" path

// Runs a program under wine to its end, the module answering meanwhile: its
// exit code and output.
static int run(const QString &program, const QStringList &args = {}, QByteArray *out = nullptr)
{
    QProcess p;
    if (out) // with what it says on stderr, for a failure's message
        p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ENV("WINE64"), QStringList{program} + args);
    const bool ended =
        QTest::qWaitFor([&p] { return p.state() == QProcess::NotRunning; }, 120000) &&
        p.exitStatus() == QProcess::NormalExit;
    if (out)
        *out = p.readAllStandardOutput();
    return ended ? p.exitCode() : -1;
}

// What a Linux tool prints: window ids (xdotool), raw pixels (import).
static QByteArray output(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

static QString window(const QString &name)
{
    return QString(output("xdotool", {"search", "--onlyvisible", "--name", name}))
        .section('\n', 0, 0);
}

static qint64 childCpuMs()
{
    rusage r;
    getrusage(RUSAGE_CHILDREN, &r);
    return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000 +
           (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000;
}

class TestWine : public QObject
{
    Q_OBJECT
private slots:
    void link()
    {
        // Behaviour, arguments, exit code, requests and a part of what it prints.
        using B = SimulatedModule::Behaviour;
        const QString read = "ff4ccf52a152f0", write = "ff4ccf52a157f10df638000407030005";
        const std::tuple<B, const char *, int, QString, const char *> cases[] = {
            {B::Normal, "read --json", 0, read, "\"model\":\"SIM1\""},
            {B::Normal, "write --json --rate 9.11K", 0, read + write, "\"rate\":\"9.11K\""},
            {B::Silent, "read", 4, read + read, ""}, // after the re-send
            {B::HangUp, "read", 5, read, ""}};
        for (const auto &[behaviour, args, exitCode, requests, out] : cases) {
            Module module{behaviour};
            const qint64 cpu = childCpuMs();
            QElapsedTimer wall;
            wall.start();
            QByteArray output;
            const QStringList arguments = QString(args).split(' ') + QStringList{"--port", "COM5"};
            QCOMPARE(run(BUILT("cli/radioconf-cli.exe"), arguments, &output), exitCode);
            QCOMPARE(module.requests(), requests);
            QVERIFY2(output.contains(out), output);
            // A dead line ends it without burning the CPU until then: no more
            // than wine's start-up and a tenth of the time.
            const qint64 cpuMs = childCpuMs() - cpu;
            QVERIFY2(behaviour != B::HangUp || cpuMs < 1000 + wall.elapsed() / 10,
                     qPrintable(QString::number(cpuMs)));
        }
    }

    void virtualAdapter()
    {
        Module module{SimulatedModule::Behaviour::Normal};
        const auto plugged = [](bool in) {
            if (in)
                QCOMPARE(run("regedit", {"/S", "Z:" RADIOCONF_ADAPTER_REG}), 0);
            else
                for (const char *key :
                     {"HKLM\\System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60",
                      "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM"})
                    run("reg", {"delete", key, "/f"});
            QCOMPARE(run(BUILT("tests/devicechange.exe")), 0);
        };
        plugged(false);
        QProcess app;
        app.start(ENV("WINE64"), {BUILT("app/radioconf.exe")});
        QString main, done;
        QTRY_VERIFY_WITH_TIMEOUT(!(main = window("^Tavrel")).isEmpty(), 120000);
        // The port list with the Write and Read buttons: empty and disabled.
        const auto bar = [&main] {
            return output("import", {"-window", main, "-crop", "262x50+99+361", "rgb:-"});
        };
        QTRY_VERIFY_WITH_TIMEOUT(!bar().isEmpty(), 30000);
        const QByteArray empty = bar();

        plugged(true);
        QTRY_VERIFY_WITH_TIMEOUT(bar() != empty, 30000);
        QByteArray list;
        const int code = run(BUILT("cli/radioconf-cli.exe"), {"list"}, &list);
        QVERIFY2(code == 0 && list.startsWith("COM5  10C4:EA60  CP210x USB to UART Bridge"),
                 list + "exit " + QByteArray::number(code));
        output("xdotool", {"mousemove", "--window", main, "319", "386", "click", "1"}); // Read
        QTRY_VERIFY_WITH_TIMEOUT(!(done = window("^Read$")).isEmpty(), 60000);
        QCOMPARE(module.requests(), "ff4ccf52a152f0");
        output("xdotool", {"mousemove", "--window", done, "166", "104", "click", "1"}); // its OK
        QTRY_VERIFY_WITH_TIMEOUT(window("^Read$").isEmpty(), 30000);
        QCOMPARE(QProcess::execute("import", {"-window", main, ENV("RADIOCONF_SCREENSHOT")}), 0);

        plugged(false);
        QTRY_VERIFY_WITH_TIMEOUT(bar() == empty, 30000);
        app.kill();
        app.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestWine)
#include "tst_wine.moc"
