#include "simulator/virtualadapter.h"

#include "app/mainwindow.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

// Hot-plug through the window and its udev watcher: the port list follows a
// virtual adapter plugged in and pulled out, with nothing done by the user.
class TestMainWindowHotplug : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void connectionsAllConnect();
    void listFollowsAdapter();
    void notifyDuringPassStartsNoSecondPass();
    void otherWatcherSignalsChangeNothing();
    void watcherThatCannotStartIsReportedOnce();

private:
    void createWindow();
    QComboBox *ports() const { return window->findChild<QComboBox *>("comboBoxPort"); }
    bool buttonsEnabled() const
    {
        return window->findChild<QPushButton *>("pushButtonRead")->isEnabled() &&
               window->findChild<QPushButton *>("pushButtonWrite")->isEnabled();
    }

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

void TestMainWindowHotplug::init()
{
    QVERIFY2(VirtualAdapter::preloaded(), "run under umockdev-wrapper");
    bed = new VirtualAdapter;
    clears = 0;
}

void TestMainWindowHotplug::cleanup()
{
    delete window;
    window = nullptr;
    delete bed;
    bed = nullptr;
}

void TestMainWindowHotplug::createWindow()
{
    window = new MainWindow;
    connect(ports(), QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { clears += index == -1 ? 1 : 0; });
}

void TestMainWindowHotplug::connectionsAllConnect()
{
    capturedWarnings.clear();
    QtMessageHandler old = qInstallMessageHandler(captureWarnings);
    createWindow();
    qInstallMessageHandler(old);
    // A mistyped signature shows only as a run-time warning from connect().
    QCOMPARE(capturedWarnings.join('\n'), QString());
    // The watcher's four signals reach the window's slots of the same names.
    const QMetaObject *meta = window->metaObject();
    const QStringList slotNames{"slotDeviceAdded(QString)", "slotDeviceRemoved(QString)",
                                "slotDeviceChanged(QString)", "slotDeviceNotify(QString)"};
    for (int i = 0; i < slotNames.size(); ++i) {
        const QMetaMethod slot = meta->method(meta->methodOffset() + i);
        QCOMPARE(QString(slot.methodSignature()), slotNames.at(i));
        QCOMPARE(slot.access(), QMetaMethod::Public);
        QCOMPARE(slot.parameterNames(), QList<QByteArray>{"dev"});
    }
}

void TestMainWindowHotplug::listFollowsAdapter()
{
    createWindow();
    // The start-up pass finds nothing; after it, only the watcher starts passes.
    QTest::qWait(2500);
    QCOMPARE(ports()->count(), 0);
    QVERIFY(!buttonsEnabled());

    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QTRY_COMPARE_WITH_TIMEOUT(ports()->currentText(), QString("ttyUSB0"), 10000);
    QTRY_VERIFY(buttonsEnabled());

    bed->unplug("ttyUSB0");
    QTRY_COMPARE_WITH_TIMEOUT(ports()->count(), 0, 10000);
    QTRY_VERIFY(!window->findChild<QPushButton *>("pushButtonRead")->isEnabled());
    QVERIFY(!window->findChild<QPushButton *>("pushButtonWrite")->isEnabled());

    // And back again, chosen as before.
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QTRY_COMPARE_WITH_TIMEOUT(ports()->currentText(), QString("ttyUSB0"), 10000);
}

void TestMainWindowHotplug::notifyDuringPassStartsNoSecondPass()
{
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    createWindow();
    QTRY_COMPARE_WITH_TIMEOUT(ports()->count(), 1, 10000);
    QTest::qWait(1500); // the start-up pass and its pause are over
    QCOMPARE(clears, 0);
    // Two notifications back to back: the second finds the pass running.
    QMetaObject::invokeMethod(window, "slotDeviceNotify", Q_ARG(QString, "notify"));
    QMetaObject::invokeMethod(window, "slotDeviceNotify", Q_ARG(QString, "notify"));
    QTRY_COMPARE_WITH_TIMEOUT(clears, 1, 10000);
    QTest::qWait(3000);
    QCOMPARE(clears, 1);
    QCOMPARE(ports()->count(), 1);
}

void TestMainWindowHotplug::otherWatcherSignalsChangeNothing()
{
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    createWindow();
    QTRY_COMPARE_WITH_TIMEOUT(ports()->count(), 1, 10000);
    QTest::qWait(1500);
    for (const char *slot : {"slotDeviceAdded", "slotDeviceRemoved", "slotDeviceChanged"})
        QMetaObject::invokeMethod(window, slot, Q_ARG(QString, "/dev/sdb1"));
    // A disk coming and going is not a port: no pass follows.
    bed->plugDisk("sdb");
    bed->unplugDisk("sdb");
    QTest::qWait(3000);
    QCOMPARE(clears, 0);
    QCOMPARE(ports()->currentText(), QString("ttyUSB0"));
}

namespace {
// New descriptors take the lowest free number: a limit at that number
// leaves none to spare.
rlim_t lowestFreeDescriptor()
{
    const int fd = dup(0);
    close(fd);
    return rlim_t(fd);
}
} // namespace

void TestMainWindowHotplug::watcherThatCannotStartIsReportedOnce()
{
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QStringList boxes;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes << box->windowTitle() + ": " + box->text();
            box->close();
        }
    });
    closer.start(20);
    // No descriptor to spare: the udev monitor cannot open its socket.
    rlimit saved;
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = lowestFreeDescriptor();
    setrlimit(RLIMIT_NOFILE, &tight);
    capturedWarnings.clear();
    QtMessageHandler old = qInstallMessageHandler(captureWarnings);
    createWindow();
    qInstallMessageHandler(old);
    setrlimit(RLIMIT_NOFILE, &saved);

    QCOMPARE(boxes, QStringList{"WARNGING: Failed to start"});
    QVERIFY(capturedWarnings.join('\n').contains("QDeviceWatcherPrivate"));
    // The window works on without the watcher: discovery at start-up.
    QTRY_COMPARE_WITH_TIMEOUT(ports()->currentText(), QString("ttyUSB0"), 10000);
    QCOMPARE(boxes.size(), 1);
}

QTEST_MAIN(TestMainWindowHotplug)
#include "tst_mainwindowhotplug.moc"
