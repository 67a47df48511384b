#include "devicewatcher/qdevicewatcherprivate_win.h"

#include "devicewatcher/qdevicewatcherprivate.h"
#include "messagelog.h"

#include <QtTest>

#include <memory>

// Lines as the tests write them: debug texts bare ("E: Media" for "Drive E:
// Media has been removed."), the rest as logged.
static QStringList lines(const QString &items)
{
    QStringList out;
    for (QString item : items.split(" ; ")) {
        if (item.isEmpty())
            continue;
        if (item.contains(QRegularExpression("^[A-Z]: ")))
            item = "Drive " + item + " has been removed.";
        const bool bare = !item.contains(QRegularExpression("^(device|event|warning:)"));
        out << (bare ? "debug: dw_internal_proc: \"" + item + "\"" : item);
    }
    return out;
}

static DEV_BROADCAST_VOLUME volumeHeader(DWORD unitMask, WORD flags)
{
    return {sizeof(DEV_BROADCAST_VOLUME), DBT_DEVTYP_VOLUME, 0, unitMask, flags};
}

// A started watcher with one receiver, and one log of the debug and warning
// lines, the signals and the change events, in order.
struct Fixture : QObject
{
    Fixture() : watcher(new QDeviceWatcher), signalLog(watcher.get(), &messages.lines)
    {
        setObjectName("event");
        watcher->addEventReceiver(this);
        QVERIFY(watcher->start());
#ifdef Q_OS_WIN
        hwnd = FindWindowW(notificationClassName().toStdWString().c_str(), nullptr);
#else
        hwnd = Win32Layer::windows().at(0).hwnd;
#endif
    }
    // Broadcasts like the system, then lets the events arrive.
    // Any other message is sent to the watcher's window alone.
    QStringList broadcast(WPARAM wParam, const void *header, UINT message = WM_DEVICECHANGE)
    {
        messages.lines.clear();
        const LPARAM lParam = reinterpret_cast<LPARAM>(header);
#ifdef Q_OS_WIN
        // The system's broadcast cannot carry a pointer to other processes.
        results = {SendMessageW(hwnd, message, wParam, lParam)};
#else
        results = message == WM_DEVICECHANGE
                      ? Win32Layer::broadcastDeviceChange(wParam, lParam)
                      : std::vector{Win32Layer::sendMessage(hwnd, message, wParam, lParam)};
#endif
        QCoreApplication::sendPostedEvents();
        return messages.lines;
    }

    MessageLog messages;
    std::unique_ptr<QDeviceWatcher> watcher;
    WatcherLog signalLog;
    std::vector<LRESULT> results;
    HWND hwnd = nullptr;
};

class TestWin32Backend : public QObject
{
    Q_OBJECT
private slots:
    void deviceChangeMessages();
#ifdef Q_OS_WIN
    void systemWindow();
#else
    void init()
    {
        Win32Layer::reset();
    }
    void windowLifecycle();
    void windowsLosingTheirWatcher();
#endif
};

void TestWin32Backend::deviceChangeMessages()
{
    // "[close] wParam header -> lines after the address line (and the volume
    // type line)", the header being "-" (none), "volume <unit mask> <flags>",
    // "short <mask> <flags>" (a bare header's size: no unit mask to read) or
    // "type <device type>"; "close" sends WM_CLOSE, which logs nothing.
    const char *const cases[] = {
        "8004 volume 10 1 -> E: Media ; deviceRemoved E:/ ; event removal E:/",
        "8000 volume 10 0 -> E: Device ; deviceAdded E:/ ; event arrival E:/",
        "8004 volume 10 2 -> E: Network share ; deviceRemoved E:/ ; event removal E:/",
        // Line and signal drive by drive; the events after the last drive.
        "8004 volume 2000005 0 -> A: Device ; deviceRemoved A:/ ; C: Device ; "
        "deviceRemoved C:/ ; Z: Device ; deviceRemoved Z:/ ; "
        "event removal A:/ ; event removal C:/ ; event removal Z:/",
        "8000 volume fc000000 0 -> ", "8000 short 10 0 -> ", "8004 - -> ",
        "close 8000 volume 10 0 -> ", "8000 type 3 -> DBT_DEVTYP_PORT ; DBT_DEVTYP_PORT",
        "8004 type 6 -> Unknow device type ; DBT_DEVTYP_HANDLE",
        "8003 type 5 -> DBT_DEVTYP_DEVICEINTERFACE ; DBT_DEVTYP_DEVICEINTERFACE",
        "18 type 3 -> DBT_DEVTYP_PORT ; DBT_CONFIGCHANGED message received, no extended info.",
        "7 - -> DBT_DEVNODES_CHANGED message received, no extended info. ; "
        "deviceNotify notify",
        "8005 - -> DBT_DEVICETYPESPECIFIC message received, may contain an extended info.",
        "ffff - -> WM_DEVICECHANGE user defined message received, can not handle.",
        "8 - -> warning: WM_DEVICECHANGE message received, unhandled value 8."};

    for (const QString c : cases) {
#ifdef Q_OS_WIN
        // The system's default procedure would destroy the window.
        if (c.startsWith("close"))
            continue;
        Fixture f;
        QVERIFY(f.hwnd);
#else
        Win32Layer::reset();
        Fixture f;
        Win32Layer::setDefWindowProcResult(-3);
#endif
        QStringList given = c.section(" -> ", 0, 0).split(' ');
        const UINT message = given[0] == "close" ? (given.removeFirst(), 0x0010u) : WM_DEVICECHANGE;
        const WPARAM wParam = given[0].toUInt(nullptr, 16);
        const uint value = given.value(2).toUInt(nullptr, 16);
        DEV_BROADCAST_VOLUME volume = volumeHeader(value, WORD(given.value(3).toUInt()));
        const DEV_BROADCAST_HDR bare{sizeof(DEV_BROADCAST_HDR), value, 0};
        if (given[1] == "short")
            volume.dbcv_size = sizeof(DEV_BROADCAST_HDR);
        const bool none = given[1] == "-", type = given[1] == "type";
        const void *header = none ? nullptr : type ? (void *)&bare : &volume;
        const QString before = // WM_CLOSE logs nothing
            message != WM_DEVICECHANGE
                ? ""
                : QString::asprintf("Device type address: %#x ; ", unsigned(quintptr(header))) +
                      (none || type ? "" : "DBT_DEVTYP_VOLUME ; ");
        QCOMPARE(f.broadcast(wParam, header, message), lines(before + c.section(" -> ", 1)));
#ifndef Q_OS_WIN
        // Every message goes on to the default procedure, whose result is the procedure's.
        QCOMPARE(f.results, std::vector<LRESULT>{-3});
        const auto calls = Win32Layer::defWindowProcCalls();
        QVERIFY(calls.size() == 1 && calls[0].hwnd == f.hwnd && calls[0].message == message &&
                calls[0].wParam == wParam && calls[0].lParam == LPARAM(header));
#endif
    }

    QCOMPARE(drivesFromUnitMask(0xFFFFFFFFu).join("").size(), 26 * 3);
}

#ifdef Q_OS_WIN
void TestWin32Backend::systemWindow()
{
    const std::wstring name = notificationClassName().toStdWString();
    {
        QDeviceWatcher watcher;
        QVERIFY(watcher.start() && watcher.start());
        const HWND hwnd = FindWindowW(name.c_str(), nullptr);
        WNDCLASSW wndClass;
        QVERIFY(hwnd && GetClassInfoW(qWinAppInst(), name.c_str(), &wndClass) &&
                wndClass.lpfnWndProc == &dw_internal_proc);
        QVERIFY(GetAncestor(hwnd, GA_PARENT) == GetDesktopWindow() && !IsWindowVisible(hwnd));
        const auto *backend =
            reinterpret_cast<QDeviceWatcherPrivate *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        QVERIFY(backend && backend->owner == &watcher && backend->windowHandle == hwnd);

        // What the system sends every top-level window when devices come and go.
        QSignalSpy notified(&watcher, &QDeviceWatcher::deviceNotify);
        MessageLog messages;
        DWORD recipients = BSM_APPLICATIONS;
        QVERIFY(BroadcastSystemMessageW(BSF_FORCEIFHUNG, &recipients, WM_DEVICECHANGE,
                                        DBT_DEVNODES_CHANGED, 0) > 0);
        QTRY_COMPARE(notified.count(), 1);
        QCOMPARE(messages.lines.mid(1),
                 lines("DBT_DEVNODES_CHANGED message received, no extended info."));
    }
    // Stopped by the destructor: window and class are gone.
    WNDCLASSW wndClass;
    QVERIFY(!FindWindowW(name.c_str(), nullptr) &&
            !GetClassInfoW(qWinAppInst(), name.c_str(), &wndClass));
}
#else
void TestWin32Backend::windowLifecycle()
{
    const QString name = notificationClassName();
    {
        QDeviceWatcher watcher;
        QVERIFY(watcher.start() && watcher.start()); // a second start keeps its window
        const auto classes = Win32Layer::registeredClasses();
        QVERIFY(classes.size() == 1 && classes[0].name == name.toStdWString() &&
                classes[0].wndClass.lpfnWndProc == &dw_internal_proc);
        QCOMPARE(int(Win32Layer::windows().size()), 1);
        const Win32Layer::WindowRecord w = Win32Layer::windows()[0];
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

void TestWin32Backend::windowsLosingTheirWatcher()
{
    // A window without a backend only logs.
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

    Win32Layer::reset();
    Fixture f;
    // The first drive's slot destroys the watcher, its backend and window;
    // the rest of the message must not touch them.
    connect(f.watcher.get(), &QDeviceWatcher::deviceRemoved, &f, [&f] { f.watcher.reset(); });
    const DEV_BROADCAST_VOLUME two = volumeHeader(0x18, 0);
    QCOMPARE(f.broadcast(DBT_DEVICEREMOVECOMPLETE, &two).mid(1),
             lines("DBT_DEVTYP_VOLUME ; D: Device ; "
                   "deviceRemoved D:/ ; E: Device"));
    QVERIFY(!f.watcher && Win32Layer::windows().at(0).destroyed);
}
#endif

QTEST_GUILESS_MAIN(TestWin32Backend)
#include "tst_win32backend.moc"
