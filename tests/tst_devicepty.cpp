// Device against a simulated module on a bare pseudo-terminal: no test bed,
// so that it also runs where umockdev does not (a cross build under qemu).
#include "config/device.h"
#include "simulator/simulatedmodule.h"

#include <QtTest>

#include <cstring>

using Behaviour = SimulatedModule::Behaviour;
Q_DECLARE_METATYPE(SimulatedModule::Behaviour)

class TestDevicePty : public QObject
{
    Q_OBJECT
private slots:
    void exchange_data()
    {
        QTest::addColumn<Behaviour>("behaviour");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("requests"); // 1: a reply, 2: re-sent, then timed out
        // XON, XOFF, CR, ^C and 0xFF in both directions: a line left in
        // cooked mode or with software flow control would change them.
        const QByteArray write =
            SimulatedModule::WRITE_REQUEST_HEADER + QByteArray::fromHex("0d3f11130307030005");
        QTest::newRow("read") << Behaviour::Normal << SimulatedModule::READ_REQUEST << 1;
        QTest::newRow("write, trickled") << Behaviour::Trickle << write << 1;
        QTest::newRow("silent") << Behaviour::Silent << SimulatedModule::READ_REQUEST << 2;
    }

    void exchange()
    {
        QFETCH(Behaviour, behaviour);
        QFETCH(QByteArray, request);
        QFETCH(int, requests);

        QByteArray path;
        const int farEnd = SimulatedModule::openTerminal(&path);
        QVERIFY2(farEnd >= 0, strerror(errno));
        SimulatedModule module(farEnd, behaviour, true);
        module.setTrickleDelay(2);
        SimulatedModule::State state;
        state.mac = QByteArray::fromHex("11130d0a031c7fff");
        module.setState(state);
        Device device;
        device.setTiming({100, 1500, 0});
        device.setPortName(QString::fromLocal8Bit(path));
        device.setRequest(request);
        QSignalSpy replied(&device, SIGNAL(finalProgress(QByteArray)));
        QSignalSpy timeOut(&device, SIGNAL(timeOut()));
        if (requests == 2) {
            QTest::ignoreMessage(QtDebugMsg, "Device Retry");
            QTest::ignoreMessage(QtDebugMsg, "Device onTimeOut");
        }
        device.startDownload();
        QTRY_COMPARE_WITH_TIMEOUT(replied.count() + timeOut.count(), 1, 15000);

        QCOMPARE(module.requests(), QVector<QByteArray>(requests, request).toList());
        QCOMPARE(timeOut.count(), requests - 1);
        if (requests == 1) // the module's reply, with the written values in it
            QCOMPARE(replied.at(0).at(0).toByteArray().toHex(),
                     SimulatedModule::block(module.state()).toHex());
    }
};

QTEST_GUILESS_MAIN(TestDevicePty)
#include "tst_devicepty.moc"
