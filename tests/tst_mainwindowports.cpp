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

    void passesKeepOrReplaceChosenPort()
    {
        QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
        QVERIFY(
            bed->plug("ttyUSB1", VirtualAdapter::CypressVendor, VirtualAdapter::CypressProduct));
        QVERIFY(bed->plug("ttyUSB2", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
        QVERIFY(bed->plugWithoutUsb("ttyS0"));
        {
            MessageLog log;
            createWindow();
            // A mistyped signature shows only as a run-time warning from connect().
            QCOMPARE(log.lines, QStringList());
        }
        QCOMPARE(probe->readWrite(), QString("off"));
        // The window's own timer starts the first pass about a second later.
        QTRY_COMPARE_WITH_TIMEOUT(probe->listed().size(), 3, 10000);
        QCOMPARE(probe->ports()->currentIndex(), 0);
        QTRY_COMPARE(probe->readWrite(), QString("on"));
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

        // Only the watcher sees adapters go and come back without a user. Passes
        // that find nothing leave the choice alone: it is chosen again on return.
        const QString chosen = probe->ports()->itemText(1);
        probe->ports()->setCurrentIndex(1);
        const QStringList left = probe->listed();
        for (const QString &name : left)
            bed->unplug(name);
        QTRY_COMPARE_WITH_TIMEOUT(probe->listed(), QStringList(), 10000);
        QTRY_COMPARE(probe->readWrite(), QString("off"));
        for (const QString &name : left)
            QVERIFY(bed->plug(name, VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
        QTRY_COMPARE_WITH_TIMEOUT(probe->listed().size(), 2, 10000);
        QTRY_COMPARE(probe->ports()->currentText(), chosen);
        QCOMPARE(probe->readWrite(), QString("on"));

        BoxCloser boxes;
        bool modalWithoutParent = false;
        boxes.onShown = [&] {
            QWidget *box = QApplication::activeModalWidget();
            modalWithoutParent = box->isModal() && !box->parentWidget();
        };
        QTest::mouseClick(probe->child<QPushButton>("pushButtonAbout"), Qt::LeftButton);
        QVERIFY(modalWithoutParent && boxes.seen.size() == 1 &&
                boxes.seen[0].startsWith("About: ") && boxes.seen[0].contains("Tavrel") &&
                boxes.seen[0].count('\n') == 1);
    }
    // Ports named on the command line stay listed after the discovered ones
    // and keep Read and Write usable through passes that find nothing.
    void namedPortsStayBesideDiscovered()
    {
        createWindow();
        const QStringList named{"rfc2217://127.0.0.1:7001", "tcp://[::1]:7002"};
        window->setNamedPorts(named + QStringList{named.first()});
        QCOMPARE(probe->listed(), named);
        QCOMPARE(probe->readWrite(), QString("on"));
        QTRY_VERIFY_WITH_TIMEOUT(probe->passes >= 1, 10000); // the timer's, finding nothing
        QCOMPARE(probe->listed(), named);
        QCOMPARE(probe->readWrite(), QString("on"));
        const QStringList adapters{"ttyUSB0", "ttyUSB1"};
        for (const QString &name : adapters)
            QVERIFY(bed->plug(name, VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
        QTRY_COMPARE_WITH_TIMEOUT(probe->listed(), adapters + named, 10000);
        probe->ports()->setCurrentIndex(1);
        for (const QString &name : adapters)
            bed->unplug(name);
        QTRY_COMPARE_WITH_TIMEOUT(probe->listed(), named, 10000);
        QCOMPARE(probe->readWrite(), QString("on"));
        // A pass over the named ports alone keeps the choice for the adapter's return.
        const int passes = probe->passes;
        probe->startPass();
        QTRY_VERIFY_WITH_TIMEOUT(probe->passes > passes, 10000);
        for (const QString &name : adapters)
            QVERIFY(bed->plug(name, VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
        QTRY_COMPARE_WITH_TIMEOUT(probe->listed(), adapters + named, 10000);
        QTRY_COMPARE(probe->ports()->currentText(), QString("ttyUSB1"));
    }

    void watcherThatCannotStartIsReportedOnce()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the sanitizers' own checks need spare descriptors; the plain build runs this");
#endif
        QVERIFY(bed->plug("ttyUSB0", VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
        BoxCloser boxes;
        // No descriptor to spare (new ones take the lowest free number): the
        // udev monitor cannot open its socket.
        rlimit saved;
        getrlimit(RLIMIT_NOFILE, &saved);
        rlimit tight = saved;
        const int lowestFree = dup(0);
        close(lowestFree);
        tight.rlim_cur = rlim_t(lowestFree);
        setrlimit(RLIMIT_NOFILE, &tight);
        createWindow();
        setrlimit(RLIMIT_NOFILE, &saved);
        QCOMPARE(boxes.seen, QStringList{"WARNGING: Failed to start"});
        // The window works on without the watcher: discovery at start-up.
        QTRY_COMPARE_WITH_TIMEOUT(probe->ports()->currentText(), QString("ttyUSB0"), 10000);
        QCOMPARE(boxes.seen.size(), 1);
    }

private:
    void createWindow()
    {
        window = std::make_unique<MainWindow>();
        probe = std::make_unique<WindowProbe>(window.get());
    }

    std::unique_ptr<VirtualAdapter> bed;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
};

QTEST_MAIN(TestMainWindowPorts)
#include "tst_mainwindowports.moc"
