// Which ports a command works on, and one port per device however it is
// spelled.
#include "discovery/portresolver.h"

#include <QtTest>

class TestPortResolver : public QObject
{
    Q_OBJECT
private slots:
    void resolve_data()
    {
        QTest::addColumn<QStringList>("named");
        QTest::addColumn<bool>("all");
        QTest::addColumn<QString>("quick");    // names split at ' '; "-" where it cannot run
        QTest::addColumn<QStringList>("full"); // "name VID:PID" recognised, "name" not
        QTest::addColumn<QString>("result");   // ports split at ' ', or "exit code: reason"
        QTest::addColumn<bool>("fullScanned");
        const QStringList two{"ttyS0", "ttyUSB0 10C4:EA60", "ttyUSB1 04B4:0003"};
        QTest::newRow("named, repeated") << QStringList{"ttyUSB0", "ttyUSB0", "/dev/ttyUSB1"}
                                         << false << "-" << two << "ttyUSB0 /dev/ttyUSB1" << false;
        QTest::newRow("quick, one")
            << QStringList() << false << "ttyUSB1" << two << "ttyUSB1" << false;
        QTest::newRow("quick, --all")
            << QStringList() << true << "ttyUSB0 ttyUSB1" << two << "ttyUSB0 ttyUSB1" << false;
        QTest::newRow("quick, two")
            << QStringList() << false << "ttyUSB0 ttyUSB1" << two
            << "2: several recognised adapters attached (serial ports: ttyS0 (----:----), ttyUSB0 "
               "(10C4:EA60), ttyUSB1 (04B4:0003)); choose one with --port, or --all"
            << true;
        QTest::newRow("no quick scan, one")
            << QStringList() << false << "-" << QStringList{"ttyS0", "ttyUSB0 10C4:EA60"}
            << "ttyUSB0" << true;
        QTest::newRow("quick finds none, full one")
            << QStringList() << true << "" << QStringList{"ttyUSB3 10C4:EA60"} << "ttyUSB3" << true;
        QTest::newRow("none recognised")
            << QStringList() << false << "" << QStringList{"ttyS0", "ttyUSB0 10C4:EA61"}
            << "3: no recognised adapter attached (serial ports: ttyS0 (----:----), ttyUSB0 "
               "(10C4:EA61)); give --port"
            << true;
    }

    void resolve()
    {
        QFETCH(QStringList, named);
        QFETCH(bool, all);
        QFETCH(QString, quick);
        QFETCH(QStringList, full);
        QFETCH(QString, result);
        QFETCH(bool, fullScanned);
        bool scanned = false;
        const auto scan = [&] {
            scanned = true;
            QList<PortEntry> ports;
            for (const QString &text : full) {
                PortEntry port;
                port.name = text.section(' ', 0, 0);
                port.hasIdentifiers = text.contains(' ');
                port.vendorId = text.section(' ', 1).section(':', 0, 0).toUShort(nullptr, 16);
                port.productId = text.section(':', 1).toUShort(nullptr, 16);
                port.recognised = text.endsWith("EA60") || text.endsWith("0003");
                ports << port;
            }
            return ports;
        };
        const PortResolver::Resolution resolution = PortResolver::resolve(
            named, all,
            quick == "-" ? std::nullopt
                         : std::optional<QStringList>(
                               quick.isEmpty() ? QStringList() : quick.split(QLatin1Char(' '))),
            scan);
        QCOMPARE(resolution.ports.isEmpty()
                     ? QStringLiteral("%1: %2").arg(resolution.exitCode).arg(resolution.reason)
                     : resolution.ports.join(' '),
                 result);
        QCOMPARE(scanned, fullScanned);
    }

    void unique_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("dropped"); // "dropped=kept"
        QTest::newRow("three spellings of one port")
            << QStringList{"ttyUSB0", "ttyUSB1", "/dev/ttyUSB0", "/dev/serial/by-id/usb-x"}
            << QStringList{"ttyUSB0", "ttyUSB1"}
            << QStringList{"/dev/ttyUSB0=ttyUSB0", "/dev/serial/by-id/usb-x=ttyUSB0"};
        QTest::newRow("link named first") << QStringList{"/dev/serial/by-id/usb-x", "ttyUSB0"}
                                          << QStringList{"/dev/serial/by-id/usb-x"}
                                          << QStringList{"ttyUSB0=/dev/serial/by-id/usb-x"};
#ifndef Q_OS_WIN // a bare name is one in /dev
        // Names not looked up stay as given, compared by their path.
        QTest::newRow("not there") << QStringList{"ttyX", "/dev/ttyX", "/dev/../dev/ttyX", "ttyY"}
                                   << QStringList{"ttyX", "ttyY"}
                                   << QStringList{"/dev/ttyX=ttyX", "/dev/../dev/ttyX=ttyX"};
#endif
    }

    void unique()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, dropped);
        const QMap<QString, QString> devices{{"ttyUSB0", "char 188:0"},
                                             {"/dev/ttyUSB0", "char 188:0"},
                                             {"/dev/serial/by-id/usb-x", "char 188:0"},
                                             {"ttyUSB1", "char 188:1"}};
        const PortResolver::Unique unique = PortResolver::unique(names, devices);
        QStringList pairs;
        for (const auto &pair : unique.dropped)
            pairs << pair.first + "=" + pair.second;
        QCOMPARE(unique.ports, kept);
        QCOMPARE(pairs, dropped);
    }

    // The look-up follows links to the node they lead to.
    void devicesFollowLinks()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows has no device nodes or links to them");
#endif
        QTemporaryDir dir;
        const QString link = dir.filePath("null"), file = dir.filePath("file"),
                      fileLink = dir.filePath("file-link");
        QVERIFY(QFile::link("/dev/null", link));
        QFile plain(file);
        QVERIFY(plain.open(QIODevice::WriteOnly) && QFile::link(file, fileLink));
        const QMap<QString, QString> devices =
            PortResolver::devices({"null", link, file, fileLink, "ttyNone0"});
        QCOMPARE(devices.value(link), devices.value("null"));
        QCOMPARE(devices.value(fileLink), devices.value(file));
        QVERIFY(devices.value(file) != devices.value(link));
        QCOMPARE(devices.value("ttyNone0"), QStringLiteral("/dev/ttyNone0"));
    }
};

QTEST_GUILESS_MAIN(TestPortResolver)
#include "tst_portresolver.moc"
