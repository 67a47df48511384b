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

    void readFillsEveryField();
    void writeSendsFormAndShowsReply();
    void refusedWriteSendsNothing_data();
    void refusedWriteSendsNothing();
    void failedExchange_data();
    void failedExchange();
    void shortBlockIsAFailure();

private:
    void startWindow(SimulatedModule::Behaviour behaviour = SimulatedModule::Behaviour::Normal);
    // Clicks a button and waits for the box that ends the exchange; the box
    // stays open until a discovery pass ran behind it when holdForPass is set.
    void click(const QString &button, bool holdForPass = false);
    // Every field the reply fills, in form order, joined by '|'.
    QString form() const
    {
        QStringList texts;
        for (const char *label : {"label_8", "label_10", "label_14"})
            texts << probe->child<QLabel>(label)->text();
        texts << probe->child<QLineEdit>("lineEditRF")->text()
              << probe->child<QLineEdit>("lineEditID")->text();
        for (const char *list : Lists)
            texts << probe->child<QComboBox>(list)->currentText();
        return texts.join('|');
    }
    static constexpr const char *Lists[] = {"comboBoxTRX", "comboBoxPower", "comboBoxBaudrate",
                                            "comboBoxParity", "comboBoxWakeupTime"};

    std::unique_ptr<VirtualAdapter> bed;
    std::unique_ptr<SimulatedModule> module;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;

    // What the last click showed.
    QStringList boxes;
    qint64 boxAfterMs = -1;
    qint64 passAfterBoxMs = -1; // the first discovery pass after the box came
    bool enabledBeforeBox = false;
    bool enabledWithBox = false;
};

void TestMainWindowExchange::startWindow(SimulatedModule::Behaviour behaviour)
{
    QVERIFY(bed->plug(Port, VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    module = std::make_unique<SimulatedModule>(bed->farEnd(Port), behaviour);
    window = std::make_unique<MainWindow>();
    probe = std::make_unique<WindowProbe>(window.get());
    window->show();
    QTRY_COMPARE_WITH_TIMEOUT(probe->ports()->currentText(), Port, 10000);
    QTRY_COMPARE(probe->readWrite(), QString("on"));
}

void TestMainWindowExchange::click(const QString &button, bool holdForPass)
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
        return holdForPass && probe->passes == passesAtBox && clock.elapsed() - boxAfterMs < 5000;
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
    passAfterBoxMs = -1;
    const auto pass = connect(probe->ports(), QOverload<int>::of(&QComboBox::currentIndexChanged),
                              [&](int index) {
                                  if (index == -1 && passesAtBox >= 0 && passAfterBoxMs < 0)
                                      passAfterBoxMs = clock.elapsed() - boxAfterMs;
                              });
    clock.start();
    QTest::mouseClick(probe->child<QPushButton>(qPrintable("pushButton" + button)), Qt::LeftButton);
    sampler.start(10);
    QVERIFY(QTest::qWaitFor([&] { return closer.closed > 0; }, 20000));
    disconnect(pass);
    boxes = closer.seen;
}

void TestMainWindowExchange::readFillsEveryField()
{
    startWindow();
    // Five different codes (TRx rate 1, power 5, baud rate 6, parity 2,
    // wake-up time 11): two lists swapped in the window show up.
    module->setState({QByteArray("AB\xe9\x00", 4), "2.1.007",
                      QByteArray::fromHex("001a2b3c4d5e6f70"), 5, 868100, 1, 5, 6, 2, 11});

    click("Read");
    QCOMPARE(boxes, QStringList{"Read: Read parameters successfully."});
    QVERIFY(!enabledBeforeBox && enabledWithBox);
    QCOMPARE(form(), QString::fromLatin1("AB\xe9\x00", 4) +
                         "|2.1.007|001A2B3C4D5E6F70|868.1|5|1.46K|5|57600|Even|5s");
    QCOMPARE(module->requests(), QList<QByteArray>{QByteArray::fromHex("ff4ccf52a152f0")});
    // The reply waits 3 s after the port closed; a success starts no pass.
    QVERIFY(boxAfterMs >= 3000);
    QCOMPARE(probe->passes, 0);
}

void TestMainWindowExchange::writeSendsFormAndShowsReply()
{
    startWindow();
    probe->child<QLineEdit>("lineEditRF")->setText("512.002");
    probe->child<QLineEdit>("lineEditID")->setText("200");
    // Five different codes, in frame order: two lists swapped in the window show up.
    const int codes[] = {4, 3, 6, 1, 0};
    for (int i = 0; i < 5; ++i)
        probe->child<QComboBox>(Lists[i])->setCurrentIndex(codes[i]);

    MessageLog log;
    click("Write");
    QCOMPARE(boxes, QStringList{"Write: Write parameters successfully."});
    QVERIFY(!enabledBeforeBox && enabledWithBox);
    const QByteArray frame = QByteArray::fromHex("ff4ccf52a157f1 07d002 c8 04 03 06 01 00");
    QCOMPARE(module->requests(), QList<QByteArray>{frame});
    // The form shows what the module reports, read back from its reply.
    QCOMPARE(module->state().frequencyKhz, 512002u);
    QCOMPARE(form(), QString("SIM1|1.0.000|0102030405060708|512.002|200|9.11K|3|57600|Odd|50ms"));
    // MHz, the product, K and the frame; then the reply's block and its K.
    QCOMPARE(log.lines.filter(QRegularExpression("^debug: ")),
             QStringList({"512.002", "512002", "512002", frame.toHex(),
                          SimulatedModule::block(module->state()).toHex(), "512002"})
                 .replaceInStrings(QRegularExpression("^"), "debug: "));
}

void TestMainWindowExchange::refusedWriteSendsNothing_data()
{
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<int>("trxIndex");
    QTest::addColumn<QString>("named");
    // One of each kind: what each value refuses is the frame code's own test.
    QTest::newRow("frequency too high") << "16777.216" << 3 << "RF frequency";
    QTest::newRow("no TRx item") << "915" << -1 << "RF TRx rate";
}

void TestMainWindowExchange::refusedWriteSendsNothing()
{
    QFETCH(QString, frequency);
    QFETCH(int, trxIndex);
    QFETCH(QString, named);
    startWindow();
    probe->child<QLineEdit>("lineEditRF")->setText(frequency);
    probe->child<QComboBox>("comboBoxTRX")->setCurrentIndex(trxIndex);
    click("Write");
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.at(0).startsWith("Write: " + named), qPrintable(boxes.at(0)));
    // No exchange started: it would hold the window disabled.
    QVERIFY(enabledWithBox && window->isEnabled());
    QCOMPARE(module->requests(), QList<QByteArray>());
}

void TestMainWindowExchange::failedExchange_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<bool>("lineGone");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("minMs");
    // Silent: the request and its one identical re-send, then 10 s.
    // From the click to the box: at least minMs, and less than a second more.
    QTest::newRow("silent") << "Read" << int(SimulatedModule::Behaviour::Silent) << false
                            << "critical: Timeout" << 2 << 10000;
    // The adapter vanishes: a port error at the first expiry, no re-send.
    QTest::newRow("vanished") << "Write" << int(SimulatedModule::Behaviour::HangUp) << false
                              << "critical: UART Error" << 1 << 5000;
    // The line is gone, unseen by udev: three open attempts, 1 s apart.
    QTest::newRow("missing port") << "Read" << int(SimulatedModule::Behaviour::Normal) << true
                                  << "critical: Open failure" << 0 << 3000;
}

void TestMainWindowExchange::failedExchange()
{
    QFETCH(QString, button);
    QFETCH(int, behaviour);
    QFETCH(bool, lineGone);
    QFETCH(QString, box);
    QFETCH(int, requests);
    QFETCH(int, minMs);
    startWindow(SimulatedModule::Behaviour(behaviour));
    if (lineGone) {
        module->detach();
        bed->hangUp(Port);
    }

    click(button, true);
    QCOMPARE(boxes, QStringList{box});
    QVERIFY2(boxAfterMs >= minMs && boxAfterMs < minMs + 1000,
             qPrintable(QString::number(boxAfterMs)));
    QVERIFY(!enabledBeforeBox && enabledWithBox);
    // Discovery runs again a second after the failure, the box still open.
    QVERIFY2(passAfterBoxMs >= 900 && passAfterBoxMs <= 1500,
             qPrintable(QString::number(passAfterBoxMs)));
    // The pass behind the box may still be delivering its ports.
    QTRY_COMPARE(probe->listed(), QStringList{Port});
    QTRY_COMPARE(probe->readWrite(), QString("on"));
    QCOMPARE(module->requests().size(), requests);
    if (requests == 2)
        QCOMPARE(module->requests().at(1), module->requests().at(0));
    QCOMPARE(form(), Untouched);
}

void TestMainWindowExchange::shortBlockIsAFailure()
{
    startWindow();
    // Device never hands over fewer than 30 bytes; should one ever come, it
    // must not be read past its end nor taken for a success.
    QByteArray shortBlock(28, '\x05');
    shortBlock[0] = 0x24;
    window->setEnabled(false);
    BoxCloser closer;
    QMetaObject::invokeMethod(window.get(), "onFinalProgress", Q_ARG(QByteArray, shortBlock));
    QCOMPARE(closer.seen, QStringList{"critical: UART Error"});
    QVERIFY(window->isEnabled());
    QCOMPARE(form(), Untouched);
    QTRY_COMPARE_WITH_TIMEOUT(probe->passes, 1, 10000);
}

QTEST_MAIN(TestMainWindowExchange)
#include "tst_mainwindowexchange.moc"
