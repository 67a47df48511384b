#include "simulator/simulatedmodule.h"
#include "simulator/virtualadapter.h"

#include "messagelog.h"
#include "windowprobe.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include <memory>

namespace {
const QString Port = VirtualAdapter::processPortName();
// The form as it starts, before any reply.
const QString Untouched = "|||915|0|4.56K|7(Max)|9600|None|1s";
} // namespace

// Read and Write end to end: the real window against the simulated module
// behind a virtual CP210x adapter that discovery finds as a user's would be.
class TestMainWindowExchange : public QObject
{
    Q_OBJECT
private slots:
    void init() { bed = std::make_unique<VirtualAdapter>(); }
    void cleanup()
    {
        probe.reset();
        window.reset();
        module.reset();
        bed.reset();
    }

    void readThenWrite()
    {
        startWindow();
        // Five different codes (TRx rate 1, power 5, baud rate 6, parity 2,
        // wake-up time 11): two lists swapped in the window show up.
        module->setState({QByteArray("AB\xe9\x00", 4), "2.1.007",
                          QByteArray::fromHex("001a2b3c4d5e6f70"), 5, 868100, 1, 5, 6, 2, 11});
        const QString head = QString::fromLatin1("AB\xe9\x00", 4) + "|2.1.007|001A2B3C4D5E6F70|";
        click("Read");
        QCOMPARE(boxes, QStringList{"Read: Read parameters successfully."});
        QVERIFY(!enabledBeforeBox && enabledWithBox);
        QCOMPARE(probe->form(), head + "868.1|5|1.46K|5|57600|Even|5s");

        probe->child<QLineEdit>("lineEditRF")->setText("512.002");
        probe->child<QLineEdit>("lineEditID")->setText("200");
        // Five different codes, in frame order.
        const int codes[] = {4, 3, 6, 1, 0};
        for (int i = 0; i < 5; ++i)
            probe->child<QComboBox>(WindowProbe::Lists[i])->setCurrentIndex(codes[i]);
        MessageLog log;
        click("Write");
        QCOMPARE(boxes, QStringList{"Write: Write parameters successfully."});
        QVERIFY(!enabledBeforeBox && enabledWithBox);
        const QByteArray frame = QByteArray::fromHex("ff4ccf52a157f1 07d002 c8 04 03 06 01 00");
        QCOMPARE(module->requests(),
                 (QList<QByteArray>{QByteArray::fromHex("ff4ccf52a152f0"), frame}));
        // The form shows what the module reports, read back from its reply.
        QCOMPARE(probe->form(), head + "512.002|200|9.11K|3|57600|Odd|50ms");
        // MHz, the product, K and the frame; then the reply's block and its K.
        QCOMPARE(log.lines.filter(QRegularExpression("^debug: ")),
                 QStringList({"512.002", "512002", "512002", frame.toHex(),
                              SimulatedModule::block(module->state()).toHex(), "512002"})
                     .replaceInStrings(QRegularExpression("^"), "debug: "));
        QCOMPARE(probe->passes, 0); // a success starts no pass
    }
    void refusedWriteSendsNothing()
    {
        startWindow();
        // One of each kind: what each value refuses is the frame code's own test.
        for (const QString &refusal :
             QStringList{"16777.216|3|RF frequency", "915|-1|RF TRx rate"}) {
            probe->child<QLineEdit>("lineEditRF")->setText(refusal.section('|', 0, 0));
            probe->child<QComboBox>("comboBoxTRX")
                ->setCurrentIndex(refusal.section('|', 1, 1).toInt());
            click("Write");
            QVERIFY2(boxes.size() == 1 && boxes[0].startsWith("Write: " + refusal.section('|', 2)),
                     qPrintable(boxes.join('\n')));
            // No exchange started: it would hold the window disabled.
            QVERIFY(enabledWithBox && window->isEnabled());
        }
        QCOMPARE(module->requests(), QList<QByteArray>());
    }
    void failedExchange_data()
    {
        // button|module|box|from the click to the box: at least this many ms,
        // and less than a second more
        QTest::addColumn<QString>("row");
        // Silent: the request and its re-send, then 10 s.
        QTest::newRow("silent") << "Read|silent|critical: Timeout|10000";
        // The adapter vanishes: a port error at the first expiry.
        QTest::newRow("vanished") << "Write|hang-up|critical: UART Error|5000";
        // Three open attempts, 1 s apart.
        QTest::newRow("missing port") << "Read|normal|critical: Open failure|3000";
    }
    void failedExchange()
    {
        QFETCH(QString, row);
        const QString box = row.section('|', 2, 2);
        const int minMs = row.section('|', 3).toInt();
        SimulatedModule::Behaviour behaviour{};
        QVERIFY(SimulatedModule::parseBehaviour(row.section('|', 1, 1), &behaviour));
        startWindow(behaviour);
        if (box.endsWith("Open failure")) { // the line is gone, unseen by udev
            module->detach();
            bed->hangUp(Port);
        }

        click(row.section('|', 0, 0), true);
        QCOMPARE(boxes, QStringList{box});
        QVERIFY2(boxAfterMs >= minMs && boxAfterMs < minMs + 1000,
                 qPrintable(QString::number(boxAfterMs)));
        QVERIFY(!enabledBeforeBox && enabledWithBox);
        // Discovery runs again a second after the failure, the box still open.
        // The failure comes no sooner than minMs; the second is counted from it,
        // before the box is built, on a coarse timer that may fire 5 % early.
        QVERIFY2(passAfterClickMs >= minMs + 950 && passAfterClickMs - boxAfterMs <= 1500,
                 qPrintable(QString("%1 %2").arg(boxAfterMs).arg(passAfterClickMs)));
        // The pass behind the box may still be delivering its ports.
        QTRY_COMPARE(probe->readWrite(), QString("on"));
        QCOMPARE(probe->form(), Untouched);
    }
    void shortBlockIsAFailure()
    {
        startWindow();
        // Device never hands over fewer than 30 bytes; should one ever come, it
        // must not be read past its end nor taken for a success.
        window->setEnabled(false);
        BoxCloser closer;
        QMetaObject::invokeMethod(window.get(), "onFinalProgress",
                                  Q_ARG(QByteArray, "\x24" + QByteArray(27, '\x05')));
        QCOMPARE(closer.seen, QStringList{"critical: UART Error"});
        QVERIFY(window->isEnabled());
        QCOMPARE(probe->form(), Untouched);
        QTRY_COMPARE_WITH_TIMEOUT(probe->passes, 1, 10000);
    }

private:
    void startWindow(SimulatedModule::Behaviour behaviour = SimulatedModule::Behaviour::Normal)
    {
        QVERIFY(bed->plug(Port, VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
        module = std::make_unique<SimulatedModule>(bed->farEnd(Port), behaviour);
        window = std::make_unique<MainWindow>();
        probe = std::make_unique<WindowProbe>(window.get());
        window->show();
        QTRY_COMPARE_WITH_TIMEOUT(probe->ports()->currentText(), Port, 10000);
        QTRY_COMPARE(probe->readWrite(), QString("on"));
    }
    // Clicks a button and waits for the box that ends the exchange; the box
    // stays open until a discovery pass ran behind it when holdForPass is set.
    void click(const QString &button, bool holdForPass = false)
    {
        BoxCloser closer;
        QElapsedTimer clock;
        int passesAtBox = -1;
        closer.onShown = [&] {
            boxAfterMs = clock.elapsed();
            enabledWithBox = window->isEnabled();
            passesAtBox = probe->passes;
        };
        // Held for 5 s at most: a box held open forever would hang the test.
        closer.holdOpen = [&] {
            return holdForPass && probe->passes == passesAtBox &&
                   clock.elapsed() - boxAfterMs < 5000;
        };
        // All of the window, About included, stays disabled until the box comes.
        enabledBeforeBox = false;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, [&] {
            if (QApplication::activeModalWidget() || passesAtBox >= 0)
                sampler.stop();
            else
                enabledBeforeBox |= window->isEnabled();
        });
        passAfterClickMs = -1;
        const auto pass = connect(
            probe->ports(), QOverload<int>::of(&QComboBox::currentIndexChanged), [&](int index) {
                if (index == -1 && passesAtBox >= 0 && passAfterClickMs < 0)
                    passAfterClickMs = clock.elapsed();
            });
        clock.start();
        QTest::mouseClick(probe->child<QPushButton>(qPrintable("pushButton" + button)),
                          Qt::LeftButton);
        sampler.start(10);
        QVERIFY(QTest::qWaitFor(
            [&] { return !closer.seen.isEmpty() && !QApplication::activeModalWidget(); }, 20000));
        disconnect(pass);
        boxes = closer.seen;
    }

    std::unique_ptr<VirtualAdapter> bed;
    std::unique_ptr<SimulatedModule> module;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;

    // What the last click showed.
    QStringList boxes;
    qint64 boxAfterMs = -1;
    qint64 passAfterClickMs = -1; // from the click to the first discovery pass behind the box
    bool enabledBeforeBox = false;
    bool enabledWithBox = false;
};

QTEST_MAIN(TestMainWindowExchange)
#include "tst_mainwindowexchange.moc"
