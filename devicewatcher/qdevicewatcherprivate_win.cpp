// The Windows backend: a hidden top-level window whose procedure decodes the
// WM_DEVICECHANGE broadcasts. The same source builds against the system's
// headers on Windows and against our stand-in layer elsewhere.
#include "devicewatcher/qdevicewatcherprivate_win.h"

#include "devicewatcher/qdevicewatcherprivate.h"

#include <QLatin1Char>
#include <QLatin1String>
#include <QPointer>
#include <QVector>
#include <QtGlobal>

#include <cstddef>
#include <string>

QT_USE_NAMESPACE

// The fields the procedure reads, where the system puts them.
static_assert(offsetof(DEV_BROADCAST_HDR, dbch_devicetype) == 4, "DEV_BROADCAST_HDR layout");
static_assert(offsetof(DEV_BROADCAST_VOLUME, dbcv_unitmask) == 12, "DEV_BROADCAST_VOLUME layout");
static_assert(offsetof(DEV_BROADCAST_VOLUME, dbcv_flags) == 16, "DEV_BROADCAST_VOLUME layout");
static_assert(sizeof(DEV_BROADCAST_VOLUME) == 20, "DEV_BROADCAST_VOLUME size");

#define DW_DEBUG(text) qDebug("%s: \"" text "\"", "dw_internal_proc")
#define DW_DEBUG_ARG(text, arg) qDebug("%s: \"" text "\"", "dw_internal_proc", arg)

namespace {

QDeviceWatcherPrivate *backendOf(HWND hwnd)
{
    return reinterpret_cast<QDeviceWatcherPrivate *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void logDriveLine(WORD flags, char letter)
{
    if (flags & DBTF_MEDIA)
        DW_DEBUG_ARG("Drive %c: Media has been removed.", letter);
    else if (flags & DBTF_NET)
        DW_DEBUG_ARG("Drive %c: Network share has been removed.", letter);
    else
        DW_DEBUG_ARG("Drive %c: Device has been removed.", letter);
}

void deliverVolume(HWND hwnd, WPARAM wParam, const DEV_BROADCAST_HDR *header)
{
    // A header too short for a volume record is not read as one.
    if (header->dbch_size < sizeof(DEV_BROADCAST_VOLUME))
        return;
    const auto *volume = reinterpret_cast<const DEV_BROADCAST_VOLUME *>(header);
    const QStringList drives = drivesFromUnitMask(volume->dbcv_unitmask);
    // Guarded: a slot may destroy the watcher while its signal is raised.
    const QPointer<QDeviceWatcherPrivate> backend = backendOf(hwnd);
    const bool removal = wParam == DBT_DEVICEREMOVECOMPLETE;
    const QString action = removal ? QStringLiteral("remove") : QStringLiteral("add");
    const QDeviceChangeEvent::ChangeKind kind =
        removal ? QDeviceChangeEvent::Removal : QDeviceChangeEvent::Arrival;

    QVector<QDeviceWatcherPrivate::PendingChange> pending;
    for (const QString &drive : drives) {
        logDriveLine(volume->dbcv_flags, drive.at(0).toLatin1());
        if (backend)
            backend->raiseChange(drive, action, kind, pending);
    }
    if (backend)
        backend->postChanges(pending);
}

void handleDevice(HWND hwnd, WPARAM wParam, const DEV_BROADCAST_HDR *header)
{
    if (!header)
        return;
    switch (header->dbch_devicetype) {
    case DBT_DEVTYP_OEM:
        DW_DEBUG("DBT_DEVTYP_OEM");
        break;
    case DBT_DEVTYP_VOLUME:
        deliverVolume(hwnd, wParam, header);
        break;
    case DBT_DEVTYP_PORT:
        DW_DEBUG("DBT_DEVTYP_PORT");
        break;
    case DBT_DEVTYP_DEVICEINTERFACE:
        DW_DEBUG("DBT_DEVTYP_DEVICEINTERFACE");
        break;
    case DBT_DEVTYP_HANDLE:
        DW_DEBUG("DBT_DEVTYP_HANDLE");
        break;
    default:
        break;
    }
}

} // namespace

QString notificationClassName()
{
    return QLatin1String("QDeviceWatcherPrivateWin32_Internal_Widget") +
           QString::number(reinterpret_cast<quintptr>(&dw_internal_proc));
}

HWND createNotificationWindow(QDeviceWatcherPrivate *backend)
{
    const std::wstring className = notificationClassName().toStdWString();
    const HINSTANCE instance = qWinAppInst();

    WNDCLASSW wndClass = {};
    wndClass.style = 0;
    wndClass.lpfnWndProc = dw_internal_proc;
    wndClass.cbClsExtra = 0;
    wndClass.cbWndExtra = 0;
    wndClass.hInstance = instance;
    wndClass.hIcon = nullptr;
    wndClass.hCursor = nullptr;
    wndClass.hbrBackground = nullptr;
    wndClass.lpszMenuName = nullptr;
    wndClass.lpszClassName = className.c_str();
    // Fails harmlessly when the class is already registered in the process.
    RegisterClassW(&wndClass);

    // Top-level (no parent), not message-only: broadcasts reach only
    // top-level windows. Never shown.
    HWND hwnd = CreateWindowExW(0, className.c_str(), className.c_str(), 0, 0, 0, 0, 0, nullptr,
                                nullptr, instance, nullptr);
    if (!hwnd)
        qWarning("QDeviceWatcherPrivate: Failed to create internal window: %d",
                 static_cast<int>(GetLastError()));
    else if (backend)
        // Pointer-sized: a 64-bit build keeps the whole pointer.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(backend));
    return hwnd;
}

void destroyNotificationWindow(HWND hwnd)
{
    if (hwnd)
        DestroyWindow(hwnd);
    const std::wstring className = notificationClassName().toStdWString();
    UnregisterClassW(className.c_str(), qWinAppInst());
}

QStringList drivesFromUnitMask(quint32 unitMask)
{
    QStringList drives;
    quint32 mask = unitMask & 0x3FFFFFF;
    for (char letter = 'A'; mask != 0; mask >>= 1, ++letter) {
        if (mask & 1)
            drives << QString(QLatin1Char(letter)) + QLatin1String(":/");
    }
    return drives;
}

LRESULT CALLBACK dw_internal_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE) {
        // The format takes 32 bits: the low half of a 64-bit address.
        DW_DEBUG_ARG("Device type address: %#x", static_cast<unsigned int>(lParam));
        const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(lParam);
        if (header) {
            switch (header->dbch_devicetype) {
            case DBT_DEVTYP_VOLUME:
                DW_DEBUG("DBT_DEVTYP_VOLUME");
                break;
            case DBT_DEVTYP_PORT:
                DW_DEBUG("DBT_DEVTYP_PORT");
                break;
            case DBT_DEVTYP_DEVICEINTERFACE:
                DW_DEBUG("DBT_DEVTYP_DEVICEINTERFACE");
                break;
            case DBT_DEVTYP_OEM:
                DW_DEBUG("DBT_DEVTYP_OEM");
                break;
            default:
                DW_DEBUG("Unknow device type");
                break;
            }
        }

        switch (wParam) {
        case DBT_DEVNODES_CHANGED: {
            QDeviceWatcherPrivate *backend = backendOf(hwnd);
            DW_DEBUG("DBT_DEVNODES_CHANGED message received, no extended info.");
            if (backend)
                backend->raiseDeviceNotify(QStringLiteral("notify"));
            break;
        }
        case DBT_QUERYCHANGECONFIG:
            DW_DEBUG("DBT_QUERYCHANGECONFIG message received, no extended info.");
            break;
        case DBT_CONFIGCHANGED:
            DW_DEBUG("DBT_CONFIGCHANGED message received, no extended info.");
            break;
        case DBT_CONFIGCHANGECANCELED:
            DW_DEBUG("DBT_CONFIGCHANGECANCELED message received, no extended info.");
            break;
        case DBT_DEVICEARRIVAL:
        case DBT_DEVICEQUERYREMOVE:
        case DBT_DEVICEQUERYREMOVEFAILED:
        case DBT_DEVICEREMOVEPENDING:
        case DBT_DEVICEREMOVECOMPLETE:
            handleDevice(hwnd, wParam, header);
            break;
        case DBT_DEVICETYPESPECIFIC:
            DW_DEBUG("DBT_DEVICETYPESPECIFIC message received, may contain an extended info.");
            break;
        case DBT_CUSTOMEVENT:
            DW_DEBUG("DBT_CUSTOMEVENT message received, contains an extended info.");
            break;
        case DBT_USERDEFINED:
            DW_DEBUG("WM_DEVICECHANGE user defined message received, can not handle.");
            break;
        default:
            qWarning("WM_DEVICECHANGE message received, unhandled value %d.",
                     static_cast<int>(wParam));
            break;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

QDeviceWatcherPrivate::~QDeviceWatcherPrivate()
{
    stop();
}

bool QDeviceWatcherPrivate::start()
{
    // A second start keeps the window it has rather than leaking it.
    if (windowHandle)
        return true;
    windowHandle = createNotificationWindow(this);
    if (!windowHandle)
        destroyNotificationWindow(nullptr);
    return windowHandle != nullptr;
}

bool QDeviceWatcherPrivate::stop()
{
    if (windowHandle) {
        DestroyWindow(windowHandle);
        windowHandle = nullptr;
    }
    const std::wstring className = notificationClassName().toStdWString();
    UnregisterClassW(className.c_str(), qWinAppInst());
    return true;
}
