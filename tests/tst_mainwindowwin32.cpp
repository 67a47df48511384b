#include "simulator/virtualadapter.h"

#include "app/mainwindow.h"
#include "devicewatcher/win32layer.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

// The window built with the Windows backend, on our stand-in Win32 layer:
// the system's device-change broadcast reaches the port list.
class TestMainWindowWin32 : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void devNodesChangedStartsPass();
    void windowThatCannotBeCreatedIsReportedOnce();

private:
    QComboBox *ports() const { return window->findChild<QComboBox *>("comboBoxPort"); }

    VirtualAdapter *bed = nullptr;
    MainWindow *window = nullptr;
};

void TestMainWindowWin32::init()
{
    QVERIFY2(VirtualAdapter::preloaded(), "run under umockdev-wrapper");
    Win32Layer::reset();
    bed = new VirtualAdapter;
}

void TestMainWindowWin32::cleanup()
{
    delete window;
    window = nullptr;
    delete bed;
    bed = nullptr;
}

void TestMainWindowWin32::devNodesChangedStartsPass()
{
    window = new MainWindow;
    QTest::qWait(2500); // the start-up pass found nothing
    QCOMPARE(ports()->count(), 0);
    // The udev events of the test bed do not reach this backend; only the
    // broadcast does.
    QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
    QTest::qWait(1500);
    QCOMPARE(ports()->count(), 0);
    const std::vector<LRESULT> results = Win32Layer::broadcastDeviceChange(DBT_DEVNODES_CHANGED, 0);
    QCOMPARE(results.size(), size_t(1));
    QTRY_COMPARE_WITH_TIMEOUT(ports()->currentText(), QString("ttyUSB0"), 10000);
    QTRY_VERIFY(window->findChild<QPushButton *>("pushButtonRead")->isEnabled());
}

void TestMainWindowWin32::windowThatCannotBeCreatedIsReportedOnce()
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
    Win32Layer::failNextCreateWindow(8); // ERROR_NOT_ENOUGH_MEMORY
    window = new MainWindow;
    QCOMPARE(boxes, QStringList{"WARNGING: Failed to start"});
    // The class was unregistered again and no window is left listening.
    QVERIFY(Win32Layer::registeredClasses().empty());
    QTRY_COMPARE_WITH_TIMEOUT(ports()->currentText(), QString("ttyUSB0"), 10000);
    QCOMPARE(Win32Layer::broadcastDeviceChange(DBT_DEVNODES_CHANGED, 0).size(), size_t(0));
    QCOMPARE(boxes.size(), 1);
}

QTEST_MAIN(TestMainWindowWin32)
#include "tst_mainwindowwin32.moc"
