#include "devicewatcher/qdevicewatcherprivate_win.h"

#include "devicewatcher/qdevicechangeevent.h"
#include "devicewatcher/qdevicewatcher.h"
#include "devicewatcher/qdevicewatcherprivate.h"
#include "messagelog.h"

#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

QString debugLine(const QString &text)
{
    return "debug: dw_internal_proc: \"" + text + "\"";
}

QString addressLine(LPARAM lParam)
{
    return debugLine(QString::asprintf("Device type address: %#x", unsigned(lParam)));
}

LPARAM asLParam(const void *header)
{
    return reinterpret_cast<LPARAM>(header);
}

DEV_BROADCAST_VOLUME volumeHeader(DWORD unitMask, WORD flags)
{
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof(DEV_BROADCAST_VOLUME);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = unitMask;
    volume.dbcv_flags = flags;
    return volume;
}

} // namespace

// Records the change events it receives into a shared log.
class EventRecorder : public QObject
{
public:
    explicit EventRecorder(QStringList *log) : m_log(log) {}

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != QDeviceChangeEvent::registeredType())
            return QObject::event(e);
        const auto *change = static_cast<QDeviceChangeEvent *>(e);
        *m_log << QString(change->action() == QDeviceChangeEvent::Arrival ? "event arrival "
                                                                          : "event removal ") +
                      change->deviceText();
        return true;
    }

private:
    QStringList *m_log;
};

// A started watcher on the layer, one receiver, and one log that holds, in
// order, the debug and warning lines, the signals and the events.
class Fixture
{
public:
    Fixture() : watcher(new QDeviceWatcher), receiver(&messages.lines)
    {
        watcher->addEventReceiver(&receiver);
        started = watcher->start();
        const char *names[] = {"deviceAdded", "deviceChanged", "deviceRemoved", "deviceNotify"};
        void (QDeviceWatcher::*signals_[])(const QString &) = {
            &QDeviceWatcher::deviceAdded, &QDeviceWatcher::deviceChanged,
            &QDeviceWatcher::deviceRemoved, &QDeviceWatcher::deviceNotify};
        for (int i = 0; i < 4; ++i) {
            const QString name = names[i];
            QObject::connect(watcher.get(), signals_[i], &receiver,
                             [this, name](const QString &dev) {
                                 messages.lines << "signal " + name + " " + dev;
                             });
        }
    }
    // Broadcasts like the system, then lets the events arrive.
    QStringList broadcast(WPARAM wParam, LPARAM lParam, std::vector<LRESULT> *results = nullptr)
    {
        messages.lines.clear();
        const std::vector<LRESULT> r = Win32Layer::broadcastDeviceChange(wParam, lParam);
        if (results)
            *results = r;
        QCoreApplication::sendPostedEvents();
        return messages.lines;
    }

    MessageLog messages;
    std::unique_ptr<QDeviceWatcher> watcher;
    EventRecorder receiver;
    bool started = false;
};

class TestWin32Backend : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void unitMasks_data();
    void unitMasks();
    void volumeMessages_data();
    void volumeMessages();
    void volumeHeaderTooShortIsNotRead();
    void otherHeaderTypes_data();
    void otherHeaderTypes();
    void devNodesChangedNotifies();
    void codesWithoutAction_data();
    void codesWithoutAction();
    void otherMessagesGoStraightToDefault();
    void classNameIsPrefixAndDecimalAddress();
    void startRegistersAndCreatesHiddenTopLevelWindow();
    void failedCreationWarnsAndUnregisters();
    void stopAndDestructorReleaseWindowAndClass();
    void windowWithoutBackendLogsOnly();
    void watcherDestroyedBySlotMidChange();
};

void TestWin32Backend::init()
{
    Win32Layer::reset();
}

void TestWin32Backend::unitMasks_data()
{
    QTest::addColumn<quint32>("mask");
    QTest::addColumn<QStringList>("drives");
    QTest::newRow("A C Z") << quint32(1u | 4u | (1u << 25)) << QStringList{"A:/", "C:/", "Z:/"};
    QTest::newRow("E") << quint32(0x10) << QStringList{"E:/"};
    QTest::newRow("bits 26-31 only") << quint32(0xFC000000u) << QStringList{};
    QTest::newRow("bit 31 and B") << quint32(0x80000002u) << QStringList{"B:/"};
    QTest::newRow("none") << quint32(0) << QStringList{};
    QStringList all;
    for (char c = 'A'; c <= 'Z'; ++c)
        all << QString(QChar(c)) + ":/";
    QTest::newRow("all") << quint32(0xFFFFFFFFu) << all;
}

void TestWin32Backend::unitMasks()
{
    QFETCH(quint32, mask);
    QFETCH(QStringList, drives);
    QCOMPARE(drivesFromUnitMask(mask), drives);
}

void TestWin32Backend::volumeMessages_data()
{
    QTest::addColumn<quint32>("wParam");
    QTest::addColumn<quint32>("mask");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QStringList>("expected"); // after the address and type lines

    const QString mediaE = debugLine("Drive E: Media has been removed.");
    QTest::newRow("remove complete, media")
        << quint32(DBT_DEVICEREMOVECOMPLETE) << quint32(0x10) << int(DBTF_MEDIA)
        << QStringList{mediaE, "signal deviceRemoved E:/", "event removal E:/"};
    QTest::newRow("arrival, no flags")
        << quint32(DBT_DEVICEARRIVAL) << quint32(0x10) << 0
        << QStringList{debugLine("Drive E: Device has been removed."), "signal deviceAdded E:/",
                       "event arrival E:/"};
    QTest::newRow("media and net")
        << quint32(DBT_DEVICEARRIVAL) << quint32(0x10) << int(DBTF_MEDIA | DBTF_NET)
        << QStringList{mediaE, "signal deviceAdded E:/", "event arrival E:/"};
    QTest::newRow("net") << quint32(DBT_DEVICEREMOVECOMPLETE) << quint32(0x10) << int(DBTF_NET)
                         << QStringList{debugLine("Drive E: Network share has been removed."),
                                        "signal deviceRemoved E:/", "event removal E:/"};
    for (quint32 code :
         {DBT_DEVICEQUERYREMOVE, DBT_DEVICEQUERYREMOVEFAILED, DBT_DEVICEREMOVEPENDING})
        QTest::addRow("0x%x raises added", code)
            << code << quint32(0x10) << int(DBTF_MEDIA)
            << QStringList{mediaE, "signal deviceAdded E:/", "event arrival E:/"};
    // Line and signal drive by drive; the events after the last drive.
    QTest::newRow("three drives") << quint32(DBT_DEVICEREMOVECOMPLETE)
                                  << quint32(1u | 4u | (1u << 25)) << 0
                                  << QStringList{debugLine("Drive A: Device has been removed."),
                                                 "signal deviceRemoved A:/",
                                                 debugLine("Drive C: Device has been removed."),
                                                 "signal deviceRemoved C:/",
                                                 debugLine("Drive Z: Device has been removed."),
                                                 "signal deviceRemoved Z:/",
                                                 "event removal A:/",
                                                 "event removal C:/",
                                                 "event removal Z:/"};
    QTest::newRow("high bits only")
        << quint32(DBT_DEVICEARRIVAL) << quint32(0xFC000000u) << 0 << QStringList{};
    QTest::newRow("empty mask") << quint32(DBT_DEVICEREMOVECOMPLETE) << quint32(0) << 0
                                << QStringList{};
}

void TestWin32Backend::volumeMessages()
{
    QFETCH(quint32, wParam);
    QFETCH(quint32, mask);
    QFETCH(int, flags);
    QFETCH(QStringList, expected);
    Fixture f;
    QVERIFY(f.started);
    Win32Layer::setDefWindowProcResult(0x1234);
    const DEV_BROADCAST_VOLUME volume = volumeHeader(mask, WORD(flags));
    std::vector<LRESULT> results;
    const QStringList log = f.broadcast(wParam, asLParam(&volume), &results);
    QCOMPARE(log, QStringList{addressLine(asLParam(&volume))} +
                      QStringList{debugLine("DBT_DEVTYP_VOLUME")} + expected);
    // The procedure's result is always the default procedure's.
    QCOMPARE(results, std::vector<LRESULT>{0x1234});
}

void TestWin32Backend::volumeHeaderTooShortIsNotRead()
{
    Fixture f;
    // Only a bare header's worth is valid: the unit mask is not there.
    DEV_BROADCAST_VOLUME volume = volumeHeader(0x10, 0);
    volume.dbcv_size = sizeof(DEV_BROADCAST_HDR);
    const QStringList log = f.broadcast(DBT_DEVICEARRIVAL, asLParam(&volume));
    QCOMPARE(log, (QStringList{addressLine(asLParam(&volume)), debugLine("DBT_DEVTYP_VOLUME")}));
}

void TestWin32Backend::otherHeaderTypes_data()
{
    QTest::addColumn<quint32>("wParam");
    QTest::addColumn<quint32>("type");
    QTest::addColumn<QStringList>("expected");
    const QString port = debugLine("DBT_DEVTYP_PORT");
    const QString unknown = debugLine("Unknow device type");
    QTest::newRow("port arrival") << quint32(DBT_DEVICEARRIVAL) << quint32(DBT_DEVTYP_PORT)
                                  << QStringList{port, port};
    QTest::newRow("port removal") << quint32(DBT_DEVICEREMOVECOMPLETE) << quint32(DBT_DEVTYP_PORT)
                                  << QStringList{port, port};
    QTest::newRow("oem") << quint32(DBT_DEVICEARRIVAL) << quint32(DBT_DEVTYP_OEM)
                         << QStringList{debugLine("DBT_DEVTYP_OEM"), debugLine("DBT_DEVTYP_OEM")};
    QTest::newRow("interface") << quint32(DBT_DEVICEREMOVEPENDING)
                               << quint32(DBT_DEVTYP_DEVICEINTERFACE)
                               << QStringList{debugLine("DBT_DEVTYP_DEVICEINTERFACE"),
                                              debugLine("DBT_DEVTYP_DEVICEINTERFACE")};
    QTest::newRow("handle") << quint32(DBT_DEVICEARRIVAL) << quint32(DBT_DEVTYP_HANDLE)
                            << QStringList{unknown, debugLine("DBT_DEVTYP_HANDLE")};
    QTest::newRow("devnode") << quint32(DBT_DEVICEARRIVAL) << quint32(DBT_DEVTYP_DEVNODE)
                             << QStringList{unknown};
    QTest::newRow("net") << quint32(DBT_DEVICEARRIVAL) << quint32(DBT_DEVTYP_NET)
                         << QStringList{unknown};
    QTest::newRow("beyond 6") << quint32(DBT_DEVICEARRIVAL) << quint32(7) << QStringList{unknown};
    // Outside device handling only the type line.
    QTest::newRow("port with config change")
        << quint32(DBT_CONFIGCHANGED) << quint32(DBT_DEVTYP_PORT)
        << QStringList{port, debugLine("DBT_CONFIGCHANGED message received, no extended info.")};
}

void TestWin32Backend::otherHeaderTypes()
{
    QFETCH(quint32, wParam);
    QFETCH(quint32, type);
    QFETCH(QStringList, expected);
    Fixture f;
    DEV_BROADCAST_HDR header{};
    header.dbch_size = sizeof header;
    header.dbch_devicetype = type;
    const QStringList log = f.broadcast(wParam, asLParam(&header));
    QCOMPARE(log, QStringList{addressLine(asLParam(&header))} + expected);
}

void TestWin32Backend::devNodesChangedNotifies()
{
    Fixture f;
    Win32Layer::setDefWindowProcResult(7);
    std::vector<LRESULT> results;
    const QStringList log = f.broadcast(DBT_DEVNODES_CHANGED, 0, &results);
    QCOMPARE(log,
             (QStringList{"debug: dw_internal_proc: \"Device type address: 0x0\"",
                          "debug: dw_internal_proc: \"DBT_DEVNODES_CHANGED message received, no "
                          "extended info.\"",
                          "signal deviceNotify notify"}));
    QCOMPARE(results, std::vector<LRESULT>{7});
}

void TestWin32Backend::codesWithoutAction_data()
{
    QTest::addColumn<quint32>("wParam");
    QTest::addColumn<QString>("line");
    QTest::newRow("query change config")
        << quint32(0x17) << debugLine("DBT_QUERYCHANGECONFIG message received, no extended info.");
    QTest::newRow("config changed")
        << quint32(0x18) << debugLine("DBT_CONFIGCHANGED message received, no extended info.");
    QTest::newRow("config change canceled")
        << quint32(0x19)
        << debugLine("DBT_CONFIGCHANGECANCELED message received, no extended info.");
    QTest::newRow("type specific") << quint32(0x8005)
                                   << debugLine("DBT_DEVICETYPESPECIFIC message received, may "
                                                "contain an extended info.");
    QTest::newRow("custom event")
        << quint32(0x8006)
        << debugLine("DBT_CUSTOMEVENT message received, contains an extended info.");
    QTest::newRow("user defined")
        << quint32(0xFFFF)
        << debugLine("WM_DEVICECHANGE user defined message received, can not handle.");
    QTest::newRow("0x0008") << quint32(0x0008)
                            << "warning: WM_DEVICECHANGE message received, unhandled value 8.";
    QTest::newRow("0x8007") << quint32(0x8007)
                            << "warning: WM_DEVICECHANGE message received, unhandled value 32775.";
    // A device code without a header gets nothing beyond the address line.
    QTest::newRow("arrival without header") << quint32(DBT_DEVICEARRIVAL) << QString();
    QTest::newRow("remove without header") << quint32(DBT_DEVICEREMOVECOMPLETE) << QString();
}

void TestWin32Backend::codesWithoutAction()
{
    QFETCH(quint32, wParam);
    QFETCH(QString, line);
    Fixture f;
    Win32Layer::setDefWindowProcResult(-3);
    std::vector<LRESULT> results;
    const QStringList log = f.broadcast(wParam, 0, &results);
    QStringList expected{"debug: dw_internal_proc: \"Device type address: 0x0\""};
    if (!line.isEmpty())
        expected << line;
    QCOMPARE(log, expected);
    QCOMPARE(results, std::vector<LRESULT>{-3});
    const auto calls = Win32Layer::defWindowProcCalls();
    QCOMPARE(int(calls.size()), 1);
    QCOMPARE(calls[0].message, UINT(WM_DEVICECHANGE));
    QCOMPARE(calls[0].wParam, WPARAM(wParam));
    QCOMPARE(calls[0].lParam, LPARAM(0));
}

void TestWin32Backend::otherMessagesGoStraightToDefault()
{
    Fixture f;
    const HWND hwnd = Win32Layer::windows().at(0).hwnd;
    Win32Layer::setDefWindowProcResult(99);
    f.messages.lines.clear();
    const DEV_BROADCAST_VOLUME volume = volumeHeader(0x10, 0);
    // WM_CLOSE, with a device code and a header for good measure.
    QCOMPARE(Win32Layer::sendMessage(hwnd, 0x0010, DBT_DEVICEARRIVAL, asLParam(&volume)),
             LRESULT(99));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(f.messages.lines, QStringList());
    const auto calls = Win32Layer::defWindowProcCalls();
    QCOMPARE(int(calls.size()), 1);
    QCOMPARE(calls[0].hwnd, hwnd);
    QCOMPARE(calls[0].message, UINT(0x0010));
    QCOMPARE(calls[0].wParam, WPARAM(DBT_DEVICEARRIVAL));
    QCOMPARE(calls[0].lParam, asLParam(&volume));
}

void TestWin32Backend::classNameIsPrefixAndDecimalAddress()
{
    const QString name = notificationClassName();
    const QRegularExpression shape("^QDeviceWatcherPrivateWin32_Internal_Widget([1-9][0-9]*)$");
    const QRegularExpressionMatch match = shape.match(name);
    QVERIFY2(match.hasMatch(), qPrintable(name));
    bool ok = false;
    QCOMPARE(match.captured(1).toULongLong(&ok),
             quint64(reinterpret_cast<quintptr>(&dw_internal_proc)));
    QVERIFY(ok);
    QCOMPARE(notificationClassName(), name);
}

void TestWin32Backend::startRegistersAndCreatesHiddenTopLevelWindow()
{
    QDeviceWatcher watcher;
    QVERIFY(watcher.start());
    const std::wstring name = notificationClassName().toStdWString();

    const auto classes = Win32Layer::registeredClasses();
    QCOMPARE(int(classes.size()), 1);
    const WNDCLASSW &wc = classes[0].wndClass;
    QVERIFY(classes[0].name == name);
    QCOMPARE(wc.style, UINT(0));
    QVERIFY(wc.lpfnWndProc == &dw_internal_proc);
    QCOMPARE(wc.cbClsExtra, 0);
    QCOMPARE(wc.cbWndExtra, 0);
    QCOMPARE(wc.hInstance, qWinAppInst());
    QVERIFY(!wc.hIcon && !wc.hCursor && !wc.hbrBackground);

    const auto windows = Win32Layer::windows();
    QCOMPARE(int(windows.size()), 1);
    const Win32Layer::WindowRecord &w = windows[0];
    QVERIFY(w.className == name);
    QVERIFY(w.windowName == name);
    QCOMPARE(w.exStyle, DWORD(0));
    QCOMPARE(w.style, DWORD(0)); // never shown
    QCOMPARE(w.x + w.y + w.width + w.height, 0);
    QVERIFY(!w.parent); // top-level, so the broadcasts reach it
    QVERIFY(!w.menu && !w.param);
    QCOMPARE(w.instance, qWinAppInst());
    // The whole pointer survives the user data, and leads to this watcher.
    const auto *backend =
        reinterpret_cast<QDeviceWatcherPrivate *>(GetWindowLongPtrW(w.hwnd, GWLP_USERDATA));
    QVERIFY(backend);
    QCOMPARE(backend->owner, &watcher);
    QCOMPARE(backend->windowHandle, w.hwnd);

    // A second start keeps the window it has.
    QVERIFY(watcher.start());
    QCOMPARE(int(Win32Layer::windows().size()), 1);
}

void TestWin32Backend::failedCreationWarnsAndUnregisters()
{
    QDeviceWatcher watcher;
    Win32Layer::failNextCreateWindow(1816);
    MessageLog messages;
    QVERIFY(!watcher.start());
    QCOMPARE(messages.lines,
             QStringList{"warning: QDeviceWatcherPrivate: Failed to create internal window: 1816"});
    const std::wstring name = notificationClassName().toStdWString();
    // Unregistered by the backend's start, then once more by the stop that
    // follows a failed start.
    QVERIFY(Win32Layer::callLog() ==
            (std::vector<std::wstring>{L"RegisterClassW " + name, L"CreateWindowExW " + name,
                                       L"UnregisterClassW " + name, L"UnregisterClassW " + name}));
    QVERIFY(Win32Layer::registeredClasses().empty());
    QVERIFY(Win32Layer::windows().empty());

    // The watcher can start later, once windows can be made again.
    QVERIFY(watcher.start());
    QCOMPARE(int(Win32Layer::windows().size()), 1);
}

void TestWin32Backend::stopAndDestructorReleaseWindowAndClass()
{
    const std::wstring name = notificationClassName().toStdWString();
    const std::vector<std::wstring> released{L"DestroyWindow", L"UnregisterClassW " + name};
    {
        QDeviceWatcher watcher;
        QVERIFY(watcher.start());
    }
    std::vector<std::wstring> log = Win32Layer::callLog();
    QCOMPARE(int(log.size()), 4);
    QVERIFY(std::vector<std::wstring>(log.begin() + 2, log.end()) == released);
    QVERIFY(Win32Layer::windows().at(0).destroyed);
    QVERIFY(Win32Layer::registeredClasses().empty());
    QVERIFY(Win32Layer::broadcastDeviceChange(DBT_DEVNODES_CHANGED, 0).empty());

    Win32Layer::reset();
    QDeviceWatcherPrivate backend;
    QVERIFY(backend.start());
    QVERIFY(backend.windowHandle);
    QVERIFY(backend.stop());
    QVERIFY(!backend.windowHandle);
    QVERIFY(Win32Layer::windows().at(0).destroyed);
    QVERIFY(Win32Layer::registeredClasses().empty());
    // A second stop has no window to destroy; the destructor neither.
    QVERIFY(backend.stop());
    log = Win32Layer::callLog();
    QVERIFY(log.back() == L"UnregisterClassW " + name);
    QCOMPARE(std::count(log.begin(), log.end(), std::wstring(L"DestroyWindow")), 1);
}

void TestWin32Backend::windowWithoutBackendLogsOnly()
{
    QDeviceWatcher bystander; // not started: must hear nothing
    QStringList signalLog;
    connect(&bystander, &QDeviceWatcher::deviceNotify, this,
            [&](const QString &d) { signalLog << d; });
    const HWND hwnd = createNotificationWindow(nullptr);
    QVERIFY(hwnd);
    QCOMPARE(GetWindowLongPtrW(hwnd, GWLP_USERDATA), LONG_PTR(0));

    MessageLog messages;
    Win32Layer::broadcastDeviceChange(DBT_DEVNODES_CHANGED, 0);
    const DEV_BROADCAST_VOLUME volume = volumeHeader(0x10, DBTF_MEDIA);
    Win32Layer::broadcastDeviceChange(DBT_DEVICEARRIVAL, asLParam(&volume));
    QCOMPARE(messages.lines,
             (QStringList{"debug: dw_internal_proc: \"Device type address: 0x0\"",
                          debugLine("DBT_DEVNODES_CHANGED message received, no extended info."),
                          addressLine(asLParam(&volume)), debugLine("DBT_DEVTYP_VOLUME"),
                          debugLine("Drive E: Media has been removed.")}));
    QCOMPARE(signalLog, QStringList());

    destroyNotificationWindow(hwnd);
    QVERIFY(Win32Layer::windows().at(0).destroyed);
    QVERIFY(Win32Layer::registeredClasses().empty());
}

void TestWin32Backend::watcherDestroyedBySlotMidChange()
{
    Fixture f;
    // The first drive's slot destroys the watcher, its backend and window;
    // the rest of the message must not touch them.
    connect(f.watcher.get(), &QDeviceWatcher::deviceRemoved, &f.receiver,
            [&f] { f.watcher.reset(); });
    const DEV_BROADCAST_VOLUME volume = volumeHeader(0x18, 0);
    const QStringList log = f.broadcast(DBT_DEVICEREMOVECOMPLETE, asLParam(&volume));
    QCOMPARE(log, (QStringList{addressLine(asLParam(&volume)), debugLine("DBT_DEVTYP_VOLUME"),
                               debugLine("Drive D: Device has been removed."),
                               "signal deviceRemoved D:/",
                               debugLine("Drive E: Device has been removed.")}));
    QVERIFY(!f.watcher);
    QVERIFY(Win32Layer::windows().at(0).destroyed);
}

QTEST_GUILESS_MAIN(TestWin32Backend)
#include "tst_win32backend.moc"
