#include "simulator/virtualadapter.h"

#include "app/mainwindow.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

// The port list against virtual adapters: discovery passes started by the
// window's timer fill it, keep the chosen port and drive Read and Write.
class TestMainWindowPorts : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void connectionsAllConnect();
    void firstPassListsPortAndEnablesButtons();
    void noAdapterKeepsButtonsDisabled();
    void timerStartGivesExactlyOnePass();
    void chosenPortKeptAcrossPasses();
    void firstPortChosenWhenOldOneGone();
    void emptyPassRemembersLastPort();
    void aboutBox();

private:
    QComboBox *ports() const { return window->findChild<QComboBox *>("comboBoxPort"); }
    bool readEnabled() const
    {
        return window->findChild<QPushButton *>("pushButtonRead")->isEnabled();
    }
    bool writeEnabled() const
    {
        return window->findChild<QPushButton *>("pushButtonWrite")->isEnabled();
    }
    QStringList listed() const
    {
        QStringList names;
        for (int i = 0; i < ports()->count(); ++i)
            names << ports()->itemText(i);
        return names;
    }
    // A window whose passes are counted by the list clears they make (a
    // pass that starts with a non-empty list clears it).
    void createWindow();
    // Starts a pass as the timer does.
    void startPass() { QMetaObject::invokeMethod(window, "onTimeOut"); }

    VirtualAdapter *bed = nullptr;
    MainWindow *window = nullptr;
    int clears = 0;
};

static QStringList capturedWarnings;
static void captureWarnings(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtDebugMsg)
        capturedWarnings << text;
}

void TestMainWindowPorts::init()
{
    bed = new VirtualAdapter;
    clears = 0;
}

void TestMainWindowPorts::createWindow()
{
    window = new MainWindow;
    connect(ports(), QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { clears += index == -1 ? 1 : 0; });
}

void TestMainWindowPorts::cleanup()
{
    delete window;
    window = nullptr;
    delete bed;
    bed = nullptr;
}

void TestMainWindowPorts::connectionsAllConnect()
{
    capturedWarnings.clear();
    QtMessageHandler old = qInstallMessageHandler(captureWarnings);
    window = new MainWindow;
    qInstallMessageHandler(old);
    // A mistyped signature shows only as a run-time warning from connect().
    QCOMPARE(capturedWarnings.filter("connect").join('\n'), QString());
}

void TestMainWindowPorts::firstPassListsPortAndEnablesButtons()
{
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    createWindow();
    window->show();
    QVERIFY(!readEnabled());
    // The window's own timer starts the first pass about a second later.
    QTRY_COMPARE_WITH_TIMEOUT(listed(), QStringList{"ttyUSB0"}, 10000);
    QCOMPARE(ports()->currentText(), QString("ttyUSB0"));
    QTRY_VERIFY(readEnabled() && writeEnabled());
}

void TestMainWindowPorts::noAdapterKeepsButtonsDisabled()
{
    QVERIFY(bed->plugWithoutUsb("ttyS0"));
    createWindow();
    // Plug after the form is up: a pass must see it, then lose it again.
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QTRY_COMPARE_WITH_TIMEOUT(listed(), QStringList{"ttyUSB0"}, 10000);
    QTRY_VERIFY(readEnabled() && writeEnabled());
    bed->unplug("ttyUSB0");
    startPass();
    QTRY_COMPARE_WITH_TIMEOUT(readEnabled(), false, 10000);
    QCOMPARE(writeEnabled(), false);
    QCOMPARE(listed(), QStringList());
}

void TestMainWindowPorts::timerStartGivesExactlyOnePass()
{
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    createWindow();
    QTRY_COMPARE_WITH_TIMEOUT(listed(), QStringList{"ttyUSB0"}, 10000);
    // A further pass would clear the list; none comes without a new start.
    QTest::qWait(3000);
    QCOMPARE(clears, 0);
    startPass();
    QTRY_COMPARE_WITH_TIMEOUT(clears, 1, 10000);
    QTest::qWait(3000);
    QCOMPARE(clears, 1);
    QCOMPARE(listed(), QStringList{"ttyUSB0"});
}

void TestMainWindowPorts::chosenPortKeptAcrossPasses()
{
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QVERIFY(bed->plug("ttyUSB1", VirtualAdapter::CypressVendor, VirtualAdapter::CypressProduct));
    createWindow();
    QTRY_COMPARE_WITH_TIMEOUT(listed().size(), 2, 10000);
    const QString second = ports()->itemText(1);
    ports()->setCurrentIndex(1);
    startPass();
    QTRY_COMPARE_WITH_TIMEOUT(clears, 1, 10000);
    QTRY_COMPARE(listed().size(), 2);
    QTRY_COMPARE(ports()->currentText(), second);
}

void TestMainWindowPorts::firstPortChosenWhenOldOneGone()
{
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QVERIFY(bed->plug("ttyUSB1", VirtualAdapter::CypressVendor, VirtualAdapter::CypressProduct));
    QVERIFY(bed->plug("ttyUSB2", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    createWindow();
    QTRY_COMPARE_WITH_TIMEOUT(listed().size(), 3, 10000);
    const QString chosen = ports()->itemText(2);
    ports()->setCurrentIndex(2);
    bed->unplug(chosen);
    startPass();
    QTRY_COMPARE_WITH_TIMEOUT(clears, 1, 10000);
    QTRY_COMPARE(listed().size(), 2);
    // The first slot of the pass waited for the thread, so the rest of the
    // pass is already queued.
    QCoreApplication::processEvents();
    QVERIFY(!listed().contains(chosen));
    QCOMPARE(ports()->currentIndex(), 0);
}

void TestMainWindowPorts::emptyPassRemembersLastPort()
{
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QVERIFY(bed->plug("ttyUSB1", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    createWindow();
    QTRY_COMPARE_WITH_TIMEOUT(listed().size(), 2, 10000);
    const QString chosen = ports()->itemText(1);
    ports()->setCurrentIndex(1);
    bed->unplug("ttyUSB0");
    bed->unplug("ttyUSB1");
    startPass();
    QTRY_COMPARE_WITH_TIMEOUT(clears, 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(readEnabled(), false, 10000);
    // A second pass over the empty list must not forget the choice either.
    startPass();
    QTest::qWait(1500);
    QVERIFY(bed->plug("ttyUSB1", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    startPass();
    QTRY_COMPARE_WITH_TIMEOUT(listed().size(), 2, 10000);
    QTRY_COMPARE(ports()->currentText(), chosen);
    QVERIFY(readEnabled() && writeEnabled());
}

void TestMainWindowPorts::aboutBox()
{
    createWindow();
    QString title, text;
    bool modal = false;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        modal = box->isModal() && box->parentWidget() == nullptr;
        box->close();
    });
    QTest::mouseClick(window->findChild<QPushButton *>("pushButtonAbout"), Qt::LeftButton);
    QCOMPARE(title, QString("About"));
    QVERIFY(text.contains("Tavrel"));
    QCOMPARE(text.count('\n'), 1);
    QVERIFY(modal);
}

QTEST_MAIN(TestMainWindowPorts)
#include "tst_mainwindowports.moc"
