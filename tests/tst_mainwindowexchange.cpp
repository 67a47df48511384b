#include "simulator/simulatedmodule.h"
#include "simulator/virtualadapter.h"

#include "app/mainwindow.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <memory>

// A message box as the user saw it, and what the window looked like meanwhile.
struct SeenBox
{
    QString title;
    QString text;
    qint64 shownAfterMs = -1;
    bool windowEnabled = false; // when the box came up
    bool disabledDuringExchange = false;
    int passesWhileOpen = 0;
    QStringList portsAtClose;
};

// Read and Write end to end: the real window against the simulated module
// behind a virtual CP210x adapter that discovery finds as a user's would be.
class TestMainWindowExchange : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void readFillsEveryField();
    void writeSendsFormAndShowsReply();
    void refusedWriteSendsNothing_data();
    void refusedWriteSendsNothing();
    void silentModuleTimesOut();
    void vanishedAdapterIsUartError();
    void missingPortIsOpenFailure();
    void shortBlockIsAFailure();

private:
    void startWindow(SimulatedModule::Behaviour behaviour = SimulatedModule::Behaviour::Normal);
    // Clicks a button and closes the next modal box; when waitForPass is set
    // the box stays open until a discovery pass has run behind it.
    SeenBox clickAndCloseBox(const char *button, bool waitForPass = false, int timeoutMs = 20000);
    template <typename T> T *child(const char *name) { return window->findChild<T *>(name); }

    std::unique_ptr<VirtualAdapter> bed;
    std::unique_ptr<SimulatedModule> module;
    std::unique_ptr<MainWindow> window;
    int passes = 0;
};

void TestMainWindowExchange::init()
{
    bed = std::make_unique<VirtualAdapter>();
    passes = 0;
}

void TestMainWindowExchange::cleanup()
{
    window.reset();
    module.reset();
    bed.reset();
}

void TestMainWindowExchange::startWindow(SimulatedModule::Behaviour behaviour)
{
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    module = std::make_unique<SimulatedModule>(bed->farEnd("ttyUSB0"), behaviour);
    window = std::make_unique<MainWindow>();
    auto *ports = child<QComboBox>("comboBoxPort");
    // A pass over a listed port clears the list first.
    connect(ports, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { passes += index == -1 ? 1 : 0; });
    window->show();
    QTRY_COMPARE_WITH_TIMEOUT(ports->currentText(), QString("ttyUSB0"), 10000);
    QTRY_VERIFY(child<QPushButton>("pushButtonRead")->isEnabled());
}

SeenBox TestMainWindowExchange::clickAndCloseBox(const char *button, bool waitForPass,
                                                 int timeoutMs)
{
    SeenBox seen;
    QElapsedTimer clock;
    bool done = false;
    QTimer poll;
    poll.setInterval(20);
    QMessageBox *open = nullptr;
    int passesAtOpen = 0;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (box != open) {
            open = box;
            passesAtOpen = passes;
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.shownAfterMs = clock.elapsed();
            seen.windowEnabled = window->isEnabled();
        }
        if (waitForPass && passes == passesAtOpen && clock.elapsed() < timeoutMs)
            return;
        seen.passesWhileOpen = passes - passesAtOpen;
        auto *ports = child<QComboBox>("comboBoxPort");
        for (int i = 0; i < ports->count(); ++i)
            seen.portsAtClose << ports->itemText(i);
        box->close();
        done = true;
    });
    poll.start();
    clock.start();
    QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    if (!done) {
        // The click returned with the exchange running: all of the window,
        // About included, is disabled until it ends.
        seen.disabledDuringExchange =
            !window->isEnabled() && !child<QPushButton>("pushButtonAbout")->isEnabled();
        if (!QTest::qWaitFor([&] { return done; }, timeoutMs))
            qWarning("no message box came up");
    }
    return seen;
}

void TestMainWindowExchange::readFillsEveryField()
{
    startWindow();
    SimulatedModule::State state;
    state.model = QByteArray("AB\xe9\x00", 4);
    state.version = "2.1.007";
    state.mac = QByteArray::fromHex("001a2b3c4d5e6f70");
    state.frequencyKhz = 868100;
    state.groupId = 5;
    state.trxRate = 1;
    state.power = 2;
    state.baudRate = 6;
    state.parity = 2;
    state.wakeupTime = 11;
    module->setState(state);

    const SeenBox box = clickAndCloseBox("pushButtonRead");
    QCOMPARE(box.title, QString("Read"));
    QCOMPARE(box.text, QString("Read parameters successfully."));
    QVERIFY(box.disabledDuringExchange);
    QVERIFY(box.windowEnabled);
    // The values were in place before the box came up.
    QCOMPARE(child<QLabel>("label_8")->text(), QString::fromLatin1("AB\xe9\x00", 4));
    QCOMPARE(child<QLabel>("label_10")->text(), QString("2.1.007"));
    QCOMPARE(child<QLabel>("label_14")->text(), QString("001A2B3C4D5E6F70"));
    QCOMPARE(child<QLineEdit>("lineEditRF")->text(), QString("868.1"));
    QCOMPARE(child<QLineEdit>("lineEditID")->text(), QString("5"));
    QCOMPARE(child<QComboBox>("comboBoxTRX")->currentText(), QString("1.46K"));
    QCOMPARE(child<QComboBox>("comboBoxPower")->currentText(), QString("2"));
    QCOMPARE(child<QComboBox>("comboBoxBaudrate")->currentText(), QString("57600"));
    QCOMPARE(child<QComboBox>("comboBoxParity")->currentText(), QString("Even"));
    QCOMPARE(child<QComboBox>("comboBoxWakeupTime")->currentText(), QString("5s"));
    QVERIFY(window->isEnabled());
    QCOMPARE(module->requests(), QList<QByteArray>{QByteArray::fromHex("ff4ccf52a152f0")});
    // The reply waits 3 s after the port closed; no re-send was needed.
    QVERIFY(box.shownAfterMs >= 3000);
    QCOMPARE(passes, 0); // a success starts no discovery
}

void TestMainWindowExchange::writeSendsFormAndShowsReply()
{
    startWindow();
    child<QLineEdit>("lineEditRF")->setText("512.002");
    child<QLineEdit>("lineEditID")->setText("200");
    child<QComboBox>("comboBoxTRX")->setCurrentIndex(5);
    child<QComboBox>("comboBoxPower")->setCurrentIndex(0);
    child<QComboBox>("comboBoxBaudrate")->setCurrentIndex(4);
    child<QComboBox>("comboBoxParity")->setCurrentIndex(1);
    child<QComboBox>("comboBoxWakeupTime")->setCurrentIndex(0);

    const SeenBox box = clickAndCloseBox("pushButtonWrite");
    QCOMPARE(box.title, QString("Write"));
    QCOMPARE(box.text, QString("Write parameters successfully."));
    QVERIFY(box.disabledDuringExchange);
    QVERIFY(box.windowEnabled);
    QCOMPARE(module->requests(),
             QList<QByteArray>{QByteArray::fromHex("ff4ccf52a157f1 07d002 c8 05 00 04 01 00")});
    // The form now shows what the module reports, read back from its reply.
    QCOMPARE(module->state().frequencyKhz, 512002u);
    QCOMPARE(child<QLineEdit>("lineEditRF")->text(), QString("512.002"));
    QCOMPARE(child<QLineEdit>("lineEditID")->text(), QString("200"));
    QCOMPARE(child<QComboBox>("comboBoxTRX")->currentIndex(), 5);
    QCOMPARE(child<QLabel>("label_8")->text(), QString("SIM1"));
    QVERIFY(window->isEnabled());
}

void TestMainWindowExchange::refusedWriteSendsNothing_data()
{
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("trxIndex");
    QTest::addColumn<QString>("named");
    QTest::newRow("decimal comma") << "868,1"
                                   << "0" << 3 << "RF frequency";
    QTest::newRow("letters") << "abc"
                             << "0" << 3 << "RF frequency";
    QTest::newRow("empty frequency") << ""
                                     << "0" << 3 << "RF frequency";
    QTest::newRow("zero") << "0"
                          << "0" << 3 << "RF frequency";
    QTest::newRow("too high") << "16777.216"
                              << "0" << 3 << "RF frequency";
    QTest::newRow("empty group") << "915"
                                 << "" << 3 << "Group ID";
    QTest::newRow("no TRx item") << "915"
                                 << "0" << -1 << "RF TRx rate";
}

void TestMainWindowExchange::refusedWriteSendsNothing()
{
    QFETCH(QString, frequency);
    QFETCH(QString, group);
    QFETCH(int, trxIndex);
    QFETCH(QString, named);
    startWindow();
    child<QLineEdit>("lineEditRF")->setText(frequency);
    child<QLineEdit>("lineEditID")->setText(group);
    child<QComboBox>("comboBoxTRX")->setCurrentIndex(trxIndex);

    const SeenBox box = clickAndCloseBox("pushButtonWrite", false, 5000);
    QCOMPARE(box.title, QString("Write"));
    QVERIFY2(box.text.contains(named), qPrintable(box.text));
    QVERIFY(box.windowEnabled);
    QVERIFY(window->isEnabled());
    QTest::qWait(200);
    QCOMPARE(module->requests(), QList<QByteArray>());
}

void TestMainWindowExchange::silentModuleTimesOut()
{
    startWindow(SimulatedModule::Behaviour::Silent);
    const SeenBox box = clickAndCloseBox("pushButtonRead", true);
    QCOMPARE(box.title, QString("critical"));
    QCOMPARE(box.text, QString("Timeout"));
    QVERIFY(box.disabledDuringExchange);
    QVERIFY(box.shownAfterMs >= 10000);
    QVERIFY(box.windowEnabled);
    // Discovery ran again while the box was still open.
    QVERIFY(box.passesWhileOpen >= 1);
    QCOMPARE(box.portsAtClose, QStringList{"ttyUSB0"});
    QCOMPARE(module->requests().size(), 2); // the request and its one re-send
    QCOMPARE(module->requests().at(1), module->requests().at(0));
    QCOMPARE(child<QLabel>("label_8")->text(), QString());
}

void TestMainWindowExchange::vanishedAdapterIsUartError()
{
    startWindow(SimulatedModule::Behaviour::HangUp);
    const SeenBox box = clickAndCloseBox("pushButtonRead", true);
    QCOMPARE(box.title, QString("critical"));
    QCOMPARE(box.text, QString("UART Error"));
    QVERIFY(box.disabledDuringExchange);
    QVERIFY(box.shownAfterMs >= 5000);
    QVERIFY(box.shownAfterMs < 10000); // at the first expiry, without a re-send
    QVERIFY(box.passesWhileOpen >= 1);
    QCOMPARE(module->requests().size(), 1);
}

void TestMainWindowExchange::missingPortIsOpenFailure()
{
    startWindow();
    // Pulled out after the last pass: the list still offers the port.
    module.reset();
    bed->unplug("ttyUSB0");
    const SeenBox box = clickAndCloseBox("pushButtonRead", true);
    QCOMPARE(box.title, QString("critical"));
    QCOMPARE(box.text, QString("Open failure"));
    QVERIFY(box.shownAfterMs >= 3000);
    QVERIFY(box.windowEnabled);
    // The list, refreshed while the box was open, no longer offers it.
    QVERIFY(box.passesWhileOpen >= 1);
    QCOMPARE(box.portsAtClose, QStringList());
    QTRY_VERIFY(!child<QPushButton>("pushButtonRead")->isEnabled());
    QVERIFY(!child<QPushButton>("pushButtonWrite")->isEnabled());
}

QTEST_MAIN(TestMainWindowExchange)
#include "tst_mainwindowexchange.moc"

void TestMainWindowExchange::shortBlockIsAFailure()
{
    startWindow();
    // Device never hands over fewer than 30 bytes; should one ever come, it
    // must not be read past its end nor reported as a success.
    QByteArray shortBlock(28, '\x05');
    shortBlock[0] = 0x24;
    window->setEnabled(false);
    QString title, text;
    QTimer::singleShot(0, this, [&] {
        if (QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000)) {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            title = box->windowTitle();
            text = box->text();
            box->close();
        }
    });
    QMetaObject::invokeMethod(window.get(), "onFinalProgress", Q_ARG(QByteArray, shortBlock));
    QCOMPARE(title, QString("critical"));
    QCOMPARE(text, QString("UART Error"));
    QVERIFY(window->isEnabled());
    QCOMPARE(child<QLineEdit>("lineEditRF")->text(), QString("915"));
    QCOMPARE(child<QLineEdit>("lineEditID")->text(), QString("0"));
    QCOMPARE(child<QLabel>("label_8")->text(), QString());
    // Like any failed exchange it looks for the port again.
    QTRY_COMPARE_WITH_TIMEOUT(passes, 1, 10000);
}
