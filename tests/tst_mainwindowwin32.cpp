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

private:
    std::unique_ptr<VirtualAdapter> bed;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindowWin32::devNodesChangedStartsPass()
{
    window = std::make_unique<MainWindow>();
    WindowProbe probe(window.get());
    QTRY_COMPARE_WITH_TIMEOUT(probe.listed(), QStringList{"ttyUSB0"}, 10000);
    // The test bed's udev events do not reach this backend: the broadcast does.
    bed->unplug("ttyUSB0");
    QCOMPARE(Win32Layer::broadcastDeviceChange(DBT_DEVNODES_CHANGED, 0).size(), size_t(1));
    QTRY_COMPARE_WITH_TIMEOUT(probe.passes, 1, 10000);
    QTRY_COMPARE(probe.readWrite(), QString("off"));
    QCOMPARE(probe.listed(), QStringList());
}

QTEST_MAIN(TestMainWindowWin32)
#include "tst_mainwindowwin32.moc"
