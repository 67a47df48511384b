#include "devicewatcher/qdevicewatcherprivate_win.h"

#include "devicewatcher/qdevicewatcherprivate.h"
#include "messagelog.h"

#include <QtTest>

#include <memory>

static const std::wstring CLASS_NAME = notificationClassName().toStdWString();
// The backend's debug lines as the rows write them: bare texts, and "E:
// Media" for "Drive E: Media has been removed.".
static const QRegularExpression DEBUG_LINE(
    "^debug: dw_internal_proc: \"(?:Drive ([A-Z]: [\\w ]+) has been removed\\.|([^\"]*))\"$");

class TestWin32Backend : public QObject
{
    Q_OBJECT
private slots:
    void hiddenWindow()
    {
        {
            QDeviceWatcher watcher;
#ifdef Q_OS_WIN
            QVERIFY(watcher.start() && watcher.start()); // a second start keeps its window
            const HWND hwnd = FindWindowW(CLASS_NAME.c_str(), nullptr);
            WNDCLASSW wndClass;
            QVERIFY(GetClassInfoW(qWinAppInst(), CLASS_NAME.c_str(), &wndClass) &&
                    wndClass.lpfnWndProc == &dw_internal_proc);
            // Top-level, so that the broadcasts reach it, and never shown.
            QVERIFY(GetAncestor(hwnd, GA_PARENT) == GetDesktopWindow() && !IsWindowVisible(hwnd));
            DWORD recipients = BSM_APPLICATIONS;
            const auto broadcast = [&] {
                return BroadcastSystemMessageW(BSF_FORCEIFHUNG, &recipients, WM_DEVICECHANGE,
                                               DBT_DEVNODES_CHANGED, 0) > 0;
            };
#else
            Win32Layer::reset();
            QVERIFY(watcher.start() && watcher.start());
            const auto classes = Win32Layer::registeredClasses();
            const auto windows = Win32Layer::windows();
            QVERIFY(classes.size() == 1 && classes[0].name == CLASS_NAME &&
                    classes[0].wndClass.lpfnWndProc == &dw_internal_proc);
            QVERIFY(windows.size() == 1 && windows[0].className == CLASS_NAME &&
                    !windows[0].parent && windows[0].style == 0);
            const HWND hwnd = windows[0].hwnd;
            const auto broadcast = [] {
                return Win32Layer::broadcastDeviceChange(DBT_DEVNODES_CHANGED, 0).size() == 1;
            };
#endif
            // The whole pointer survives the user data, and leads to this watcher.
            const auto *backend =
                reinterpret_cast<QDeviceWatcherPrivate *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            QVERIFY(backend && backend->owner == &watcher && backend->windowHandle == hwnd);
            QSignalSpy notified(&watcher, &QDeviceWatcher::deviceNotify);
            QVERIFY(broadcast());
            QTRY_COMPARE(notified.count(), 1);
        }
        // Stopped by the destructor: window and class are gone.
#ifdef Q_OS_WIN
        WNDCLASSW wndClass;
        QVERIFY(!FindWindowW(CLASS_NAME.c_str(), nullptr) &&
                !GetClassInfoW(qWinAppInst(), CLASS_NAME.c_str(), &wndClass));
#else
        QVERIFY(Win32Layer::windows().at(0).destroyed && Win32Layer::registeredClasses().empty());
#endif
    }

    void deviceChange()
    {
        // "[kill] wParam header -> lines after the address line (and the
        // volume type line)", the header being "-" (none), "volume <unit
        // mask> <flags>", "short <mask> <flags>" (a bare header's size: no
        // unit mask to read) or "type <device type>"; "kill": the first
        // signal's slot deletes the watcher, its backend and its window.
        const char *const cases[] = {
            "8004 volume 10 1 -> E: Media ; deviceRemoved E:/ ; event removal E:/",
            "8000 volume 10 0 -> E: Device ; deviceAdded E:/ ; event arrival E:/",
            // Line and signal drive by drive; the events after the last drive.
            "8004 volume 2000001 2 -> A: Network share ; deviceRemoved A:/ ; Z: Network share ; "
            "deviceRemoved Z:/ ; event removal A:/ ; event removal Z:/",
            "kill 8004 volume 18 0 -> D: Device ; deviceRemoved D:/ ; E: Device",
            "8000 volume fc000000 0 -> ", "8000 short 10 0 -> ", "8004 - -> ",
            "8004 type 6 -> Unknow device type ; DBT_DEVTYP_HANDLE",
            "18 type 3 -> DBT_DEVTYP_PORT ; DBT_CONFIGCHANGED message received, no extended info.",
            "7 - -> DBT_DEVNODES_CHANGED message received, no extended info. ; "
            "deviceNotify notify",
            "8005 - -> DBT_DEVICETYPESPECIFIC message received, may contain an extended info.",
            "ffff - -> WM_DEVICECHANGE user defined message received, can not handle.",
            "8 - -> warning: WM_DEVICECHANGE message received, unhandled value 8."};

        for (const QString c : cases) {
            MessageLog messages;
            QObject receiver;
            receiver.setObjectName("event");
#ifndef Q_OS_WIN
            Win32Layer::reset();
            Win32Layer::setDefWindowProcResult(-3);
#endif
            auto watcher = std::make_unique<QDeviceWatcher>();
            WatcherLog log(watcher.get(), &messages.lines);
            watcher->addEventReceiver(&receiver);
            QVERIFY(watcher->start());
            QStringList given = c.section(" -> ", 0, 0).split(' ');
            if (given.removeAll("kill"))
                connect(watcher.get(), &QDeviceWatcher::deviceRemoved, [&] { watcher.reset(); });
            const WPARAM wParam = given[0].toUInt(nullptr, 16);
            const uint value = given.value(2).toUInt(nullptr, 16);
            const DWORD size =
                given[1] == "short" ? sizeof(DEV_BROADCAST_HDR) : sizeof(DEV_BROADCAST_VOLUME);
            const DEV_BROADCAST_VOLUME volume{size, DBT_DEVTYP_VOLUME, 0, value,
                                              WORD(given.value(3).toUInt())};
            const DEV_BROADCAST_HDR bare{sizeof(DEV_BROADCAST_HDR), value, 0};
            const void *header = given[1] == "-"      ? nullptr
                                 : given[1] == "type" ? (const void *)&bare
                                                      : &volume;
            const LPARAM lParam = LPARAM(header);
            messages.lines.clear();
#ifdef Q_OS_WIN
            SendMessageW(FindWindowW(CLASS_NAME.c_str(), nullptr), WM_DEVICECHANGE, wParam, lParam);
#else
            const HWND hwnd = Win32Layer::windows().at(0).hwnd;
            const LRESULT result = Win32Layer::sendMessage(hwnd, WM_DEVICECHANGE, wParam, lParam);
            // Every message goes on to the default procedure, whose result is the procedure's.
            const auto calls = Win32Layer::defWindowProcCalls();
            QVERIFY(result == -3 && calls.size() == 1 && calls[0].hwnd == hwnd &&
                    calls[0].wParam == wParam && calls[0].lParam == lParam);
#endif
            QCoreApplication::sendPostedEvents();
            QStringList want =
                (QString::asprintf("Device type address: %#x ; ", uint(lParam)) +
                 (header == &volume ? "DBT_DEVTYP_VOLUME ; " : "") + c.section(" -> ", 1))
                    .split(" ; ");
            want.removeAll(QString());
            QCOMPARE(messages.lines.replaceInStrings(DEBUG_LINE, "\\1\\2"), want);
        }
    }

#ifndef Q_OS_WIN
    // Only the stand-in can refuse a window.
    void creationFailure()
    {
        Win32Layer::reset();
        QDeviceWatcher unlucky;
        Win32Layer::failNextCreateWindow(1816);
        MessageLog messages;
        QVERIFY(!unlucky.start() && Win32Layer::registeredClasses().empty());
        QCOMPARE(
            messages.lines,
            QStringList{"warning: QDeviceWatcherPrivate: Failed to create internal window: 1816"});
        QVERIFY(unlucky.start() &&
                Win32Layer::windows().size() == 1); // once windows can be made again
    }
#endif
};

QTEST_GUILESS_MAIN(TestWin32Backend)
#include "tst_win32backend.moc"
