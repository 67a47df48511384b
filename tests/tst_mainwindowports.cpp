#include "simulator/virtualadapter.h"

#include "messagelog.h"
#include "windowprobe.h"

#include <QtTest>

#include <memory>
#include <sys/resource.h>
#include <unistd.h>

// The port list against virtual adapters: passes started by the window's
// timer and by its udev watcher fill it, keep the chosen port and drive
// Read and Write.
class TestMainWindowPorts : public QObject
{
    Q_OBJECT
private slots:
    void init() { bed = std::make_unique<VirtualAdapter>(); }
    void cleanup()
    {
        probe.reset();
        window.reset();
        bed.reset();
    }

    void connectionsAllConnect();
    void startUpPassAndTimerGiveOnePassEach();
    void chosenPortKeptThenFirstWhenGone();
    void emptyPassRemembersLastPort();
    void listFollowsAdapterWithoutUser();
    void notifyDuringPassStartsNoSecondPass();
    void watcherThatCannotStartIsReportedOnce();
    void aboutBox();

private:
    void createWindow()
    {
        window = std::make_unique<MainWindow>();
        probe = std::make_unique<WindowProbe>(window.get());
    }
    bool plug(const QString &name, quint16 vendor = VirtualAdapter::Cp210xVendor,
              quint16 product = VirtualAdapter::Cp210xProduct)
    {
        return bed->plug(name, vendor, product);
    }

    std::unique_ptr<VirtualAdapter> bed;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
};

void TestMainWindowPorts::connectionsAllConnect()
{
    {
        MessageLog log;
        createWindow();
        // A mistyped signature shows only as a run-time warning from connect().
        QCOMPARE(log.lines.join('\n'), QString());
    }
    const QMetaObject *meta = window->metaObject();
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 16);
    const QStringList watcherSlots{"slotDeviceAdded(QString)", "slotDeviceRemoved(QString)",
                                   "slotDeviceChanged(QString)", "slotDeviceNotify(QString)"};
    for (int i = 0; i < watcherSlots.size(); ++i) {
        const QMetaMethod slot = meta->method(meta->methodOffset() + i);
        QCOMPARE(QString(slot.methodSignature()), watcherSlots.at(i));
        QCOMPARE(slot.access(), QMetaMethod::Public);
        QCOMPARE(slot.parameterNames(), QList<QByteArray>{"dev"});
    }
}

void TestMainWindowPorts::startUpPassAndTimerGiveOnePassEach()
{
    QVERIFY(plug("ttyUSB0"));
    QVERIFY(bed->plugWithoutUsb("ttyS0"));
    createWindow();
    QVERIFY(probe->readWriteDisabled());
    // The window's own timer starts the first pass about a second later.
    QTRY_COMPARE_WITH_TIMEOUT(probe->listed(), QStringList{"ttyUSB0"}, 10000);
    QCOMPARE(probe->ports()->currentText(), QString("ttyUSB0"));
    QTRY_VERIFY(probe->readWriteEnabled());
    // A further pass would clear the list; none comes without a new start.
    QTest::qWait(2500);
    QCOMPARE(probe->passes, 0);
    probe->startPass();
    QTRY_COMPARE_WITH_TIMEOUT(probe->passes, 1, 10000);
    QTest::qWait(2500);
    QCOMPARE(probe->passes, 1);
    QCOMPARE(probe->listed(), QStringList{"ttyUSB0"});
}

void TestMainWindowPorts::chosenPortKeptThenFirstWhenGone()
{
    QVERIFY(plug("ttyUSB0"));
    QVERIFY(plug("ttyUSB1", VirtualAdapter::CypressVendor, VirtualAdapter::CypressProduct));
    QVERIFY(plug("ttyUSB2"));
    createWindow();
    QTRY_COMPARE_WITH_TIMEOUT(probe->listed().size(), 3, 10000);
    const QString second = probe->ports()->itemText(1);
    probe->ports()->setCurrentIndex(1);
    probe->startPass();
    QTRY_COMPARE_WITH_TIMEOUT(probe->passes, 1, 10000);
    QTRY_COMPARE(probe->listed().size(), 3);
    QTRY_COMPARE(probe->ports()->currentText(), second);

    bed->unplug(second);
    probe->startPass();
    QTRY_COMPARE_WITH_TIMEOUT(probe->passes, 2, 10000);
    QTRY_COMPARE(probe->listed().size(), 2);
    // The first slot of a pass waits for the thread, so the rest of the pass
    // is already queued.
    QCoreApplication::processEvents();
    QVERIFY(!probe->listed().contains(second));
    QCOMPARE(probe->ports()->currentIndex(), 0);
}

void TestMainWindowPorts::emptyPassRemembersLastPort()
{
    QVERIFY(plug("ttyUSB0"));
    QVERIFY(plug("ttyUSB1"));
    createWindow();
    QTRY_COMPARE_WITH_TIMEOUT(probe->listed().size(), 2, 10000);
    const QString chosen = probe->ports()->itemText(1);
    probe->ports()->setCurrentIndex(1);
    bed->unplug("ttyUSB0");
    bed->unplug("ttyUSB1");
    QTRY_COMPARE_WITH_TIMEOUT(probe->listed(), QStringList(), 10000);
    QTRY_VERIFY(probe->readWriteDisabled());
    // A pass over the empty list must not forget the choice either.
    probe->startPass();
    QTest::qWait(1500);
    QVERIFY(plug("ttyUSB1"));
    QVERIFY(plug("ttyUSB0"));
    QTRY_COMPARE_WITH_TIMEOUT(probe->listed().size(), 2, 10000);
    QTRY_COMPARE(probe->ports()->currentText(), chosen);
    QVERIFY(probe->readWriteEnabled());
}

void TestMainWindowPorts::listFollowsAdapterWithoutUser()
{
    createWindow();
    // The start-up pass finds nothing; after it only the watcher starts passes.
    QTest::qWait(2500);
    QCOMPARE(probe->listed(), QStringList());
    QVERIFY(plug("ttyUSB0"));
    QTRY_COMPARE_WITH_TIMEOUT(probe->ports()->currentText(), QString("ttyUSB0"), 10000);
    QTRY_VERIFY(probe->readWriteEnabled());
    bed->unplug("ttyUSB0");
    QTRY_COMPARE_WITH_TIMEOUT(probe->listed(), QStringList(), 10000);
    QTRY_VERIFY(probe->readWriteDisabled());
}

void TestMainWindowPorts::notifyDuringPassStartsNoSecondPass()
{
    QVERIFY(plug("ttyUSB0"));
    createWindow();
    QTRY_COMPARE_WITH_TIMEOUT(probe->listed().size(), 1, 10000);
    QTest::qWait(1500); // the start-up pass and its pause are over
    // A disk coming and going, and the other three signals, start nothing.
    QVERIFY(bed->plugDisk("sdb"));
    bed->unplugDisk("sdb");
    for (const char *slot : {"slotDeviceAdded", "slotDeviceRemoved", "slotDeviceChanged"})
        QMetaObject::invokeMethod(window.get(), slot, Q_ARG(QString, "/dev/sdb1"));
    QTest::qWait(2500);
    QCOMPARE(probe->passes, 0);
    // Two notifications back to back: the second finds the pass running.
    QMetaObject::invokeMethod(window.get(), "slotDeviceNotify", Q_ARG(QString, "notify"));
    QMetaObject::invokeMethod(window.get(), "slotDeviceNotify", Q_ARG(QString, "notify"));
    QTRY_COMPARE_WITH_TIMEOUT(probe->passes, 1, 10000);
    QTest::qWait(2500);
    QCOMPARE(probe->passes, 1);
    QCOMPARE(probe->listed(), QStringList{"ttyUSB0"});
}

void TestMainWindowPorts::watcherThatCannotStartIsReportedOnce()
{
    QVERIFY(plug("ttyUSB0"));
    BoxCloser boxes;
    // No descriptor to spare (new ones take the lowest free number): the
    // udev monitor cannot open its socket.
    rlimit saved;
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit tight = saved;
    const int lowestFree = dup(0);
    close(lowestFree);
    tight.rlim_cur = rlim_t(lowestFree);
    QStringList warnings;
    {
        MessageLog log;
        setrlimit(RLIMIT_NOFILE, &tight);
        createWindow();
        setrlimit(RLIMIT_NOFILE, &saved);
        warnings = log.lines;
    }
    QCOMPARE(boxes.seen, QStringList{"WARNGING: Failed to start"});
    QVERIFY(warnings.join('\n').contains("QDeviceWatcherPrivate"));
    // The window works on without the watcher: discovery at start-up.
    QTRY_COMPARE_WITH_TIMEOUT(probe->ports()->currentText(), QString("ttyUSB0"), 10000);
    QCOMPARE(boxes.seen.size(), 1);
}

void TestMainWindowPorts::aboutBox()
{
    createWindow();
    BoxCloser boxes;
    bool modalWithoutParent = false;
    boxes.onShown = [&] {
        QWidget *box = QApplication::activeModalWidget();
        modalWithoutParent = box->isModal() && !box->parentWidget();
    };
    QTest::mouseClick(probe->child<QPushButton>("pushButtonAbout"), Qt::LeftButton);
    QCOMPARE(boxes.seen.size(), 1);
    QVERIFY(boxes.seen.at(0).startsWith("About: "));
    QVERIFY(boxes.seen.at(0).contains("Tavrel"));
    QCOMPARE(boxes.seen.at(0).count('\n'), 1);
    QVERIFY(modalWithoutParent);
}

QTEST_MAIN(TestMainWindowPorts)
#include "tst_mainwindowports.moc"
