#include "simulator/virtualadapter.h"

#include "win32layer/win32layer.h"
#include "windowprobe.h"

#include <QtTest>

#include <memory>

// The window built with the Windows backend, on our stand-in Win32 layer:
// the system's device-change broadcast reaches the port list.
class TestMainWindowWin32 : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        Win32Layer::reset();
        bed = std::make_unique<VirtualAdapter>();
        QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    }
    void cleanup()
    {
        window.reset();
        bed.reset();
    }
    void devNodesChangedStartsPass();
    void windowThatCannotBeCreatedIsReportedOnce();

private:
    std::unique_ptr<VirtualAdapter> bed;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindowWin32::devNodesChangedStartsPass()
{
    window = std::make_unique<MainWindow>();
    WindowProbe probe(window.get());
    QTRY_COMPARE_WITH_TIMEOUT(probe.listed(), QStringList{"ttyUSB0"}, 10000);
    // The test bed's udev events do not reach this backend: nothing more
    // happens until the broadcast comes.
    bed->unplug("ttyUSB0");
    QTest::qWait(2500);
    QCOMPARE(probe.passes, 0);
    QCOMPARE(Win32Layer::broadcastDeviceChange(DBT_DEVNODES_CHANGED, 0).size(), size_t(1));
    QTRY_COMPARE_WITH_TIMEOUT(probe.passes, 1, 10000);
    QTRY_VERIFY(probe.readWriteDisabled());
    QCOMPARE(probe.listed(), QStringList());
}

void TestMainWindowWin32::windowThatCannotBeCreatedIsReportedOnce()
{
    BoxCloser boxes;
    Win32Layer::failNextCreateWindow(8); // ERROR_NOT_ENOUGH_MEMORY
    window = std::make_unique<MainWindow>();
    QCOMPARE(boxes.seen, QStringList{"WARNGING: Failed to start"});
    // The class was unregistered again and no window is left listening.
    QVERIFY(Win32Layer::registeredClasses().empty());
    QCOMPARE(Win32Layer::broadcastDeviceChange(DBT_DEVNODES_CHANGED, 0).size(), size_t(0));
    WindowProbe probe(window.get());
    QTRY_COMPARE_WITH_TIMEOUT(probe.listed(), QStringList{"ttyUSB0"}, 10000);
    QCOMPARE(boxes.seen.size(), 1);
}

QTEST_MAIN(TestMainWindowWin32)
#include "tst_mainwindowwin32.moc"
