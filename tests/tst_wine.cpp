// The Windows build under wine, driven from Linux: the link through Windows'
// serial API to a simulated module on a pseudo-terminal that wine maps to
// COM5, and a virtual CP210x adapter (wine's device registry, the COM5 link
// and the device-change broadcast) plugged into and out of the running
// window on a virtual X server. scripts/windows-test sets the environment:
// RADIOCONF_WIN_BUILD (the Windows build), RADIOCONF_QT_BIN and
// RADIOCONF_QT_PLUGINS (the SDK's DLLs and plugins), WINE64, WINEPREFIX,
// DISPLAY, and RADIOCONF_SCREENSHOT (where the window's picture goes).
#include "simulator/simulatedmodule.h"

#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <sys/resource.h>

static QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

// A module at the far end of a fresh pseudo-terminal.
struct Module
{
    explicit Module(SimulatedModule::Behaviour behaviour)
    {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            line = QString::fromLocal8Bit(ptsname(master));
        sim = std::make_unique<SimulatedModule>(master, behaviour, true);
    }
    QString requests() const
    {
        QStringList hex;
        for (const QByteArray &request : sim->requests())
            hex << QString(request.toHex());
        return hex.join(' ');
    }
    QString line;
    std::unique_ptr<SimulatedModule> sim;
};

// Runs PROGRAM (relative to the Windows build) under wine.
static void startWine(QProcess &process, const QString &program, const QStringList &args)
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("WINEPATH", env("RADIOCONF_QT_BIN"));
    e.insert("WINEQT_PLUGIN_PATH", "Z:" + env("RADIOCONF_QT_PLUGINS"));
    e.insert("WINEDEBUG", "-all");
    process.setProcessEnvironment(e);
    process.start(env("WINE64"), QStringList{env("RADIOCONF_WIN_BUILD") + "/" + program} + args);
}

static bool runWine(const QString &program, const QStringList &args, QByteArray *out = nullptr)
{
    QProcess p;
    startWine(p, program, args);
    p.waitForFinished(120000);
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

static void linkCom5(const QString &line)
{
    const QString com5 = env("WINEPREFIX") + "/dosdevices/com5";
    QFile::remove(com5);
    if (!line.isEmpty())
        QVERIFY(QFile::link(line, com5));
}

static const char *const AdapterKeys[] = {
    "HKLM\\System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60",
    "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM"};

// The virtual CP210x: wine's device entries and COM5, then what Windows
// broadcasts when a device comes or goes.
static void plug(const QString &line)
{
    linkCom5(line);
    QTemporaryFile reg;
    QVERIFY(reg.open());
    reg.write("Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60\\0001]"
              "\r\n\"ClassGUID\"=\"{4d36e978-e325-11ce-bfc1-08002be10318}\"\r\n"
              "\"Class\"=\"Ports\"\r\n\"DeviceDesc\"=\"CP210x USB to UART Bridge\"\r\n"
              "\"FriendlyName\"=\"CP210x USB to UART Bridge (COM5)\"\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\VID_10C4&PID_EA60\\0001"
              "\\Device Parameters]\r\n\"PortName\"=\"COM5\"\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\r\n"
              "\"\\\\Device\\\\Serial5\"=\"COM5\"\r\n");
    reg.close();
    QCOMPARE(QProcess::execute(env("WINE64"), {"regedit", "/S", "Z:" + reg.fileName()}), 0);
    QVERIFY(runWine("tests/devicechange.exe", {}));
}

static void unplug()
{
    for (const char *key : AdapterKeys)
        QProcess::execute(env("WINE64"), {"reg", "delete", key, "/f"});
    linkCom5(QString());
    QVERIFY(runWine("tests/devicechange.exe", {}));
}

// Raw pixels of a part of a window: "WxH+X+Y".
static QByteArray pixels(const QString &window, const QString &crop)
{
    QProcess p;
    p.start("import", {"-window", window, "-crop", crop, "rgb:-"});
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

// The X id of a shown window, by its name; empty while there is none. Quick,
// so that the module in this process's event loop is not kept waiting.
static QString findWindow(const QString &name)
{
    QProcess p;
    p.start("xdotool", {"search", "--onlyvisible", "--name", name});
    p.waitForFinished(10000);
    return QString(p.readAllStandardOutput()).section('\n', 0, 0);
}

class TestWine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        for (const char *name : {"RADIOCONF_WIN_BUILD", "WINE64", "WINEPREFIX", "DISPLAY"})
            QVERIFY2(!env(name).isEmpty(), name);
        unplug();
    }

    void link_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("requests");
        QTest::addColumn<QString>("out"); // a part of what it prints

        const QString read = "ff4ccf52a152f0";
        using B = SimulatedModule::Behaviour;
        QTest::newRow("read") << int(B::Normal) << QStringList{"read", "--json"} << 0 << read
                              << "\"model\": \"SIM1\"";
        QTest::newRow("write") << int(B::Normal)
                               << QStringList{"write", "--json", "--rate", "9.11K"} << 0
                               << read + " ff4ccf52a157f10df638000407030005"
                               << "\"rate\": \"9.11K\"";
        QTest::newRow("silent, re-sent")
            << int(B::Silent) << QStringList{"read"} << 4 << read + " " + read << "";
        QTest::newRow("hang-up") << int(B::HangUp) << QStringList{"read"} << 5 << read << "";
    }

    void link()
    {
        QFETCH(int, behaviour);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        Module module{SimulatedModule::Behaviour(behaviour)};
        linkCom5(module.line);
        rusage before, after;
        getrusage(RUSAGE_CHILDREN, &before);
        QElapsedTimer wall;
        wall.start();
        QProcess cli;
        startWine(cli, "cli/radioconf-cli.exe", args + QStringList{"--port", "COM5"});
        QTRY_VERIFY_WITH_TIMEOUT(cli.state() == QProcess::NotRunning, 120000);
        getrusage(RUSAGE_CHILDREN, &after);
        const QByteArray output = cli.readAllStandardOutput();
        QVERIFY2(cli.exitCode() == exitCode, output + cli.readAllStandardError());
        QTEST(module.requests(), "requests");
        QFETCH(QString, out);
        QVERIFY2(out.isEmpty() || output.contains(out.toUtf8()), output);
        // Waiting for the module, the tool sleeps; a dead line ends it early.
        const auto ms = [](const rusage &r) {
            return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000 +
                   (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000;
        };
        QVERIFY2(
            ms(after) - ms(before) < wall.elapsed() / 2,
            qPrintable(
                QString("%1 ms CPU in %2 ms").arg(ms(after) - ms(before)).arg(wall.elapsed())));
    }

    void virtualAdapter()
    {
        Module module{SimulatedModule::Behaviour::Normal};
        QProcess app;
        startWine(app, "app/radioconf.exe", {});
        QString window, done;
        QTRY_VERIFY_WITH_TIMEOUT(!(window = findWindow("^Tavrel")).isEmpty(), 120000);
        // The port list, and the Write and Read buttons, in the window.
        const QString ports = "84x50+99+361", buttons = "173x50+189+361";
        QTRY_VERIFY_WITH_TIMEOUT(!pixels(window, buttons).isEmpty(), 30000);
        const QByteArray noPorts = pixels(window, ports), disabled = pixels(window, buttons);

        plug(module.line);
        QTRY_VERIFY_WITH_TIMEOUT(pixels(window, ports) != noPorts, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(pixels(window, buttons) != disabled, 30000);
        QByteArray list;
        QVERIFY(runWine("cli/radioconf-cli.exe", {"list"}, &list));
        QVERIFY2(list.startsWith("COM5  10C4:EA60  CP210x USB to UART Bridge"), list);

        QProcess::execute("xdotool", {"mousemove", "--window", window, "319", "386", "click", "1"});
        QTRY_VERIFY_WITH_TIMEOUT(!(done = findWindow("^Read$")).isEmpty(), 60000);
        QCOMPARE(module.requests(), "ff4ccf52a152f0");
        QProcess::execute("xdotool", {"mousemove", "--window", done, "166", "104", "click", "1"});
        QTRY_VERIFY_WITH_TIMEOUT(pixels(done, "1x1+0+0").isEmpty(), 30000);
        if (!env("RADIOCONF_SCREENSHOT").isEmpty())
            QCOMPARE(QProcess::execute("import", {"-window", window, env("RADIOCONF_SCREENSHOT")}),
                     0);

        unplug();
        QTRY_VERIFY_WITH_TIMEOUT(pixels(window, ports) == noPorts, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(pixels(window, buttons) == disabled, 30000);
        app.kill();
        app.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestWine)
#include "tst_wine.moc"
