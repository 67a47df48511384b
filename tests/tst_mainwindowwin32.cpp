#include "simulator/virtualadapter.h"

#include "win32layer/win32layer.h"
#include "windowprobe.h"

#include <QtTest>

// The window built with the Windows backend, on our stand-in Win32 layer:
// the system's device-change broadcast reaches the port list.
class TestMainWindowWin32 : public QObject
{
    Q_OBJECT
private slots:
    void devNodesChangedStartsPass()
    {
        Win32Layer::reset();
        VirtualAdapter bed;
        QVERIFY(bed.plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
        MainWindow window;
        WindowProbe probe(&window);
        QTRY_COMPARE_WITH_TIMEOUT(probe.listed(), QStringList{"ttyUSB0"}, 10000);
        // The test bed's udev events do not reach this backend: the broadcast does.
        bed.unplug("ttyUSB0");
        QCOMPARE(Win32Layer::broadcastDeviceChange(DBT_DEVNODES_CHANGED, 0).size(), size_t(1));
        QTRY_COMPARE_WITH_TIMEOUT(probe.passes, 1, 10000);
        QTRY_COMPARE(probe.readWrite(), QString("off"));
        QCOMPARE(probe.listed(), QStringList());
    }
};

QTEST_MAIN(TestMainWindowWin32)
#include "tst_mainwindowwin32.moc"
