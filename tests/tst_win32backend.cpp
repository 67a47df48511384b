#include "devicewatcher/qdevicewatcherprivate_win.h"

#include "devicewatcher/qdevicewatcherprivate.h"
#include "messagelog.h"

#include <QtTest>

#include <memory>

namespace {

QString debugLine(const QString &text)
{
    return "debug: dw_internal_proc: \"" + text + "\"";
}

// Lines as the tests write them: debug texts bare ("E: Media" for "Drive E:
// Media has been removed."), the rest as logged.
QStringList lines(const QString &items)
{
    QStringList out;
    for (QString item : items.split(" ; ", Qt::SkipEmptyParts)) {
        if (item.contains(QRegularExpression("^[A-Z]: ")))
            item = "Drive " + item + " has been removed.";
        out << (item.contains(QRegularExpression("^(device|event|warning:)")) ? item
                                                                              : debugLine(item));
    }
    return out;
}

DEV_BROADCAST_VOLUME volumeHeader(DWORD unitMask, WORD flags)
{
    return {sizeof(DEV_BROADCAST_VOLUME), DBT_DEVTYP_VOLUME, 0, unitMask, flags};
}

} // namespace

// A started watcher with one receiver, and one log of the debug and warning
// lines, the signals and the change events, in order.
class Fixture : public QObject
{
public:
    Fixture() : watcher(new QDeviceWatcher), signalLog(watcher.get(), &messages.lines)
    {
        setObjectName("event");
        watcher->addEventReceiver(this);
        QVERIFY(watcher->start());
    }
    // Broadcasts like the system, then lets the events arrive.
    QStringList broadcast(WPARAM wParam, const void *header)
    {
        messages.lines.clear();
        results = Win32Layer::broadcastDeviceChange(wParam, reinterpret_cast<LPARAM>(header));
        QCoreApplication::sendPostedEvents();
        return messages.lines;
    }

    MessageLog messages;
    std::unique_ptr<QDeviceWatcher> watcher;
    WatcherLog signalLog;
    std::vector<LRESULT> results;
};

class TestWin32Backend : public QObject
{
    Q_OBJECT
private slots:
    void init() { Win32Layer::reset(); }
    void deviceChangeMessages();
    void windowLifecycle();
    void windowWithoutBackendLogsOnly();
    void watcherDestroyedBySlotMidChange();
};

void TestWin32Backend::deviceChangeMessages()
{
    // "wParam header -> lines after the address line (and the volume type
    // line)", the header being "-" (none), "volume <unit mask> <flags>",
    // "short <mask> <flags>" (a bare header's size) or "type <device type>".
    const char *const cases[] = {
        "8004 volume 10 1 -> E: Media ; deviceRemoved E:/ ; event removal E:/",
        "8000 volume 10 0 -> E: Device ; deviceAdded E:/ ; event arrival E:/",
        "8000 volume 10 3 -> E: Media ; deviceAdded E:/ ; event arrival E:/",
        "8004 volume 10 2 -> E: Network share ; deviceRemoved E:/ ; event removal E:/",
        "8001 volume 10 1 -> E: Media ; deviceAdded E:/ ; event arrival E:/",
        // Line and signal drive by drive; the events after the last drive.
        "8004 volume 2000005 0 -> A: Device ; deviceRemoved A:/ ; C: Device ; "
        "deviceRemoved C:/ ; Z: Device ; deviceRemoved Z:/ ; "
        "event removal A:/ ; event removal C:/ ; event removal Z:/",
        "8000 volume fc000000 0 -> ",
        "8004 volume 0 0 -> ",
        "8000 short 10 0 -> ", // the unit mask is not there to read
        "8000 type 3 -> DBT_DEVTYP_PORT ; DBT_DEVTYP_PORT",
        "8004 type 6 -> Unknow device type ; DBT_DEVTYP_HANDLE",
        "8000 type 0 -> DBT_DEVTYP_OEM ; DBT_DEVTYP_OEM",
        "8003 type 5 -> DBT_DEVTYP_DEVICEINTERFACE ; DBT_DEVTYP_DEVICEINTERFACE",
        "8000 type 1 -> Unknow device type",
        "18 type 3 -> DBT_DEVTYP_PORT ; DBT_CONFIGCHANGED message received, no extended info.",
        "7 - -> DBT_DEVNODES_CHANGED message received, no extended info. ; "
        "deviceNotify notify",
        "17 - -> DBT_QUERYCHANGECONFIG message received, no extended info.",
        "19 - -> DBT_CONFIGCHANGECANCELED message received, no extended info.",
        "8005 - -> DBT_DEVICETYPESPECIFIC message received, may contain an extended info.",
        "8006 - -> DBT_CUSTOMEVENT message received, contains an extended info.",
        "ffff - -> WM_DEVICECHANGE user defined message received, can not handle.",
        "8 - -> warning: WM_DEVICECHANGE message received, unhandled value 8.",
        "8007 - -> warning: WM_DEVICECHANGE message received, unhandled value 32775.",
        "8004 - -> ",
    };
    for (const QString c : cases) {
        Win32Layer::reset();
        Fixture f;
        Win32Layer::setDefWindowProcResult(-3);
        const QStringList given = c.section(" -> ", 0, 0).split(' ');
        const WPARAM wParam = given[0].toUInt(nullptr, 16);
        DEV_BROADCAST_VOLUME volume =
            volumeHeader(given.value(2).toUInt(nullptr, 16), WORD(given.value(3).toUInt()));
        const DEV_BROADCAST_HDR bare{sizeof(DEV_BROADCAST_HDR), given.value(2).toUInt(), 0};
        if (given[1] == "short")
            volume.dbcv_size = sizeof(DEV_BROADCAST_HDR);
        const void *header = given[1] == "-"      ? nullptr
                             : given[1] == "type" ? (void *)&bare
                                                  : &volume;
        const QStringList log = f.broadcast(wParam, header);
        const QString address =
            QString::asprintf("Device type address: %#x", unsigned(quintptr(header)));
        const QString volumeLine =
            given[1] == "-" || given[1] == "type" ? "" : "DBT_DEVTYP_VOLUME ; ";
        QCOMPARE(log, QStringList{debugLine(address)} + lines(volumeLine + c.section(" -> ", 1)));
        // Every message goes on to the default procedure, whose result is the procedure's.
        QCOMPARE(f.results, std::vector<LRESULT>{-3});
        const auto calls = Win32Layer::defWindowProcCalls();
        QVERIFY(calls.size() == 1 && calls[0].message == WM_DEVICECHANGE &&
                calls[0].wParam == wParam && calls[0].lParam == LPARAM(header));
    }
    QCOMPARE(drivesFromUnitMask(0x80000002u), QStringList{"B:/"});

    Win32Layer::reset();
    Fixture f;
    f.messages.lines.clear();
    const HWND hwnd = Win32Layer::windows().at(0).hwnd;
    Win32Layer::setDefWindowProcResult(99);
    const DEV_BROADCAST_VOLUME volume = volumeHeader(0x10, 0);
    // WM_CLOSE, with a device code and a header for good measure.
    QCOMPARE(Win32Layer::sendMessage(hwnd, 0x0010, DBT_DEVICEARRIVAL, LPARAM(&volume)), 99);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(f.messages.lines, QStringList());
    const auto calls = Win32Layer::defWindowProcCalls();
    QVERIFY(calls.size() == 1 && calls[0].hwnd == hwnd && calls[0].message == 0x0010 &&
            calls[0].wParam == DBT_DEVICEARRIVAL && calls[0].lParam == LPARAM(&volume));

    QCOMPARE(drivesFromUnitMask(0xFFFFFFFFu).join("").size(), 26 * 3);
}

void TestWin32Backend::windowLifecycle()
{
    const QString name = notificationClassName();
    QCOMPARE(name, "QDeviceWatcherPrivateWin32_Internal_Widget" +
                       QString::number(quintptr(&dw_internal_proc)));
    {
        QDeviceWatcher watcher;
        QVERIFY(watcher.start());
        QVERIFY(watcher.start()); // a second start keeps the window it has
        const auto classes = Win32Layer::registeredClasses();
        QVERIFY(classes.size() == 1 && classes[0].name == name.toStdWString());
        QVERIFY(classes[0].wndClass.lpfnWndProc == &dw_internal_proc);
        const auto windows = Win32Layer::windows();
        QCOMPARE(int(windows.size()), 1);
        const Win32Layer::WindowRecord &w = windows[0];
        // Top-level, so that the broadcasts reach it, and never shown.
        QVERIFY(w.className == name.toStdWString() && !w.parent && w.style == 0);
        // The whole pointer survives the user data, and leads to this watcher.
        const auto *backend =
            reinterpret_cast<QDeviceWatcherPrivate *>(GetWindowLongPtrW(w.hwnd, GWLP_USERDATA));
        QVERIFY(backend && backend->owner == &watcher && backend->windowHandle == w.hwnd);
    }
    // Stopped by the destructor.
    QVERIFY(Win32Layer::windows().at(0).destroyed && Win32Layer::registeredClasses().empty());
    QVERIFY(Win32Layer::callLog().back() == L"UnregisterClassW " + name.toStdWString());
    QVERIFY(Win32Layer::broadcastDeviceChange(DBT_DEVNODES_CHANGED, 0).empty());

    Win32Layer::reset();
    QDeviceWatcher unlucky;
    Win32Layer::failNextCreateWindow(1816);
    MessageLog messages;
    QVERIFY(!unlucky.start());
    QCOMPARE(messages.lines,
             QStringList{"warning: QDeviceWatcherPrivate: Failed to create internal window: 1816"});
    QVERIFY(Win32Layer::callLog().back() == L"UnregisterClassW " + name.toStdWString());
    QVERIFY(Win32Layer::registeredClasses().empty() && Win32Layer::windows().empty());
    // The watcher can start later, once windows can be made again.
    QVERIFY(unlucky.start());
    QCOMPARE(int(Win32Layer::windows().size()), 1);

    Win32Layer::reset();
    QDeviceWatcherPrivate standalone;
    QVERIFY(standalone.start() && standalone.stop() && !standalone.windowHandle);
    QVERIFY(Win32Layer::windows().at(0).destroyed && Win32Layer::registeredClasses().empty());
    QVERIFY(standalone.stop()); // no window left to destroy, here or in the destructor
    const auto log = Win32Layer::callLog();
    QCOMPARE(std::count(log.begin(), log.end(), std::wstring(L"DestroyWindow")), 1);
}

void TestWin32Backend::windowWithoutBackendLogsOnly()
{
    QDeviceWatcher bystander; // not started: must hear nothing
    QSignalSpy notified(&bystander, &QDeviceWatcher::deviceNotify);
    const HWND hwnd = createNotificationWindow(nullptr);
    QVERIFY(hwnd && GetWindowLongPtrW(hwnd, GWLP_USERDATA) == 0);
    MessageLog messages;
    Win32Layer::broadcastDeviceChange(DBT_DEVNODES_CHANGED, 0);
    const DEV_BROADCAST_VOLUME volume = volumeHeader(0x10, DBTF_MEDIA);
    Win32Layer::broadcastDeviceChange(DBT_DEVICEARRIVAL, LPARAM(&volume));
    QCOMPARE(messages.lines.mid(1, 1) + messages.lines.mid(3),
             lines("DBT_DEVNODES_CHANGED message received, no extended info. ; DBT_DEVTYP_VOLUME ; "
                   "E: Media"));
    QCOMPARE(notified.count(), 0);
    destroyNotificationWindow(hwnd);
    QVERIFY(Win32Layer::windows().at(0).destroyed && Win32Layer::registeredClasses().empty());
}

void TestWin32Backend::watcherDestroyedBySlotMidChange()
{
    Fixture f;
    // The first drive's slot destroys the watcher, its backend and window;
    // the rest of the message must not touch them.
    connect(f.watcher.get(), &QDeviceWatcher::deviceRemoved, &f, [&f] { f.watcher.reset(); });
    const DEV_BROADCAST_VOLUME volume = volumeHeader(0x18, 0);
    QCOMPARE(f.broadcast(DBT_DEVICEREMOVECOMPLETE, &volume).mid(1),
             lines("DBT_DEVTYP_VOLUME ; D: Device ; "
                   "deviceRemoved D:/ ; E: Device"));
    QVERIFY(!f.watcher && Win32Layer::windows().at(0).destroyed);
}

QTEST_GUILESS_MAIN(TestWin32Backend)
#include "tst_win32backend.moc"
