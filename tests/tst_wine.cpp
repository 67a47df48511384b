// The Windows build under wine, driven from Linux (scripts/windows-test sets
// the environment): the link through Windows' serial API to a simulated
// module on a pseudo-terminal that wine maps to COM5, and a virtual CP210x
// (virtualcp210x.reg, the COM5 link and a device-change broadcast) plugged
// into and out of the running window on a virtual X server.
#include "simulator/simulatedmodule.h"

#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <sys/resource.h>

#define ENV(name) qEnvironmentVariable(name)

// A module at the far end of a fresh pseudo-terminal, which COM5 leads to.
struct Module
{
    explicit Module(SimulatedModule::Behaviour behaviour)
    {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        grantpt(master), unlockpt(master);
        line = QString::fromLocal8Bit(ptsname(master));
        sim = std::make_unique<SimulatedModule>(master, behaviour, true);
        QFile::remove(ENV("WINEPREFIX") + "/dosdevices/com5");
        QFile::link(line, ENV("WINEPREFIX") + "/dosdevices/com5");
    }
    QString requests() const { return QString(sim->requests().join().toHex()); }
    QString line;
    std::unique_ptr<SimulatedModule> sim;
};

// Starts a program of the Windows build, or one of wine's ("regedit").
static void wine(QProcess &p, const QString &program, const QStringList &args = {})
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("WINEPATH", ENV("RADIOCONF_QT_BIN"));
    e.insert("WINEQT_PLUGIN_PATH", "Z:" + ENV("RADIOCONF_QT_PLUGINS"));
    p.setProcessEnvironment(e);
    const QString exe =
        program.contains('/') ? ENV("RADIOCONF_WIN_BUILD") + "/" + program : program;
    p.start(ENV("WINE64"), QStringList{exe} + args);
}

// Runs it to its end, the module answering meanwhile: its exit code and output.
static int run(const QString &program, const QStringList &args = {}, QByteArray *out = nullptr)
{
    QProcess p;
    wine(p, program, args);
    for (QDeadlineTimer end(120000); p.state() != QProcess::NotRunning && !end.hasExpired();)
        QTest::qWait(20);
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

static qint64 childCpuMs()
{
    rusage r;
    getrusage(RUSAGE_CHILDREN, &r);
    return r.ru_utime.tv_sec * 1000 + r.ru_stime.tv_sec * 1000 + r.ru_utime.tv_usec / 1000 +
           r.ru_stime.tv_usec / 1000;
}

// Raw pixels of a part ("WxH+X+Y") of a window.
static QByteArray pixels(const QString &window, const QString &crop)
{
    QProcess p;
    p.start("import", {"-window", window, "-crop", crop, "rgb:-"});
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

// A shown window's X id by its name, quickly, so that the module in this
// event loop can answer meanwhile.
static QString window(const QString &name)
{
    QProcess p;
    p.start("xdotool", {"search", "--onlyvisible", "--name", name});
    p.waitForFinished(10000);
    return QString(p.readAllStandardOutput()).section('\n', 0, 0);
}

static void click(const QString &window, const char *x, const char *y)
{
    QProcess::execute("xdotool", {"mousemove", "--window", window, x, y, "click", "1"});
}

class TestWine : public QObject
{
    Q_OBJECT
private slots:
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
                               << read + "ff4ccf52a157f10df638000407030005"
                               << "\"rate\": \"9.11K\"";
        QTest::newRow("silent, re-sent")
            << int(B::Silent) << QStringList{"read"} << 4 << read + read << "";
        QTest::newRow("hang-up") << int(B::HangUp) << QStringList{"read"} << 5 << read << "";
    }

    void link()
    {
        QFETCH(int, behaviour);
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        Module module{SimulatedModule::Behaviour(behaviour)};
        const qint64 cpu = childCpuMs();
        QElapsedTimer wall;
        wall.start();
        QByteArray output;
        QTEST(run("cli/radioconf-cli.exe", args + QStringList{"--port", "COM5"}, &output),
              "exitCode");
        QTEST(module.requests(), "requests");
        QVERIFY2(output.contains(out.toUtf8()), output);
        // Waiting for the module the tool sleeps; a dead line ends it early.
        QVERIFY2(childCpuMs() - cpu < wall.elapsed() / 2,
                 qPrintable(QString::number(wall.elapsed())));
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
            QCOMPARE(run("tests/devicechange.exe"), 0);
        };
        plugged(false);
        QProcess app;
        wine(app, "app/radioconf.exe");
        QString main, done;
        QTRY_VERIFY_WITH_TIMEOUT(!(main = window("^Tavrel")).isEmpty(), 120000);
        // The port list with the Write and Read buttons: empty and disabled.
        const QString bar = "262x50+99+361";
        QTRY_VERIFY_WITH_TIMEOUT(!pixels(main, bar).isEmpty(), 30000);
        const QByteArray empty = pixels(main, bar);

        plugged(true);
        QTRY_VERIFY_WITH_TIMEOUT(pixels(main, bar) != empty, 30000);
        QByteArray list;
        QCOMPARE(run("cli/radioconf-cli.exe", {"list"}, &list), 0);
        QVERIFY2(list.startsWith("COM5  10C4:EA60  CP210x USB to UART Bridge"), list);
        click(main, "319", "386"); // Read
        QTRY_VERIFY_WITH_TIMEOUT(!(done = window("^Read$")).isEmpty(), 60000);
        QCOMPARE(module.requests(), "ff4ccf52a152f0");
        click(done, "166", "104"); // its OK
        QTRY_VERIFY_WITH_TIMEOUT(window("^Read$").isEmpty(), 30000);
        QCOMPARE(QProcess::execute("import", {"-window", main, ENV("RADIOCONF_SCREENSHOT")}), 0);

        plugged(false);
        QTRY_VERIFY_WITH_TIMEOUT(pixels(main, bar) == empty, 30000);
        app.kill();
        app.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestWine)
#include "tst_wine.moc"
