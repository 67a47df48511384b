#ifndef WIN32LAYER_H
#define WIN32LAYER_H

// A stand-in, on systems other than Windows, for the few Win32 types,
// constants and calls that the device watcher's Windows backend uses, so
// that the backend's own source builds and runs in tests. Classes and
// windows live in an in-process table; messages are dispatched straight to
// a window's procedure. Layouts and values are those of 64-bit Windows.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef std::uint32_t DWORD;
typedef std::uint16_t WORD;
typedef unsigned int UINT;
typedef int BOOL;
typedef WORD ATOM;
typedef std::uintptr_t UINT_PTR;
typedef std::intptr_t LONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef const wchar_t *LPCWSTR;
typedef void *LPVOID;

struct HWND__;
struct HINSTANCE__;
struct HICON__;
struct HBRUSH__;
struct HMENU__;
typedef HWND__ *HWND;
typedef HINSTANCE__ *HINSTANCE;
typedef HICON__ *HICON;
typedef HICON HCURSOR;
typedef HBRUSH__ *HBRUSH;
typedef HMENU__ *HMENU;

#define CALLBACK
#define WINAPI
typedef LRESULT(CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSW
{
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};

struct DEV_BROADCAST_HDR
{
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
};

struct DEV_BROADCAST_VOLUME
{
    DWORD dbcv_size;
    DWORD dbcv_devicetype;
    DWORD dbcv_reserved;
    DWORD dbcv_unitmask;
    WORD dbcv_flags;
};

static_assert(offsetof(DEV_BROADCAST_HDR, dbch_devicetype) == 4, "DEV_BROADCAST_HDR layout");
static_assert(sizeof(DEV_BROADCAST_HDR) == 12, "DEV_BROADCAST_HDR size");
static_assert(offsetof(DEV_BROADCAST_VOLUME, dbcv_devicetype) == 4, "DEV_BROADCAST_VOLUME layout");
static_assert(offsetof(DEV_BROADCAST_VOLUME, dbcv_unitmask) == 12, "DEV_BROADCAST_VOLUME layout");
static_assert(offsetof(DEV_BROADCAST_VOLUME, dbcv_flags) == 16, "DEV_BROADCAST_VOLUME layout");
static_assert(sizeof(DEV_BROADCAST_VOLUME) == 20, "DEV_BROADCAST_VOLUME size");

#define WM_DEVICECHANGE 0x0219
#define GWLP_USERDATA (-21)

#define DBT_DEVNODES_CHANGED 0x0007
#define DBT_QUERYCHANGECONFIG 0x0017
#define DBT_CONFIGCHANGED 0x0018
#define DBT_CONFIGCHANGECANCELED 0x0019
#define DBT_DEVICEARRIVAL 0x8000
#define DBT_DEVICEQUERYREMOVE 0x8001
#define DBT_DEVICEQUERYREMOVEFAILED 0x8002
#define DBT_DEVICEREMOVEPENDING 0x8003
#define DBT_DEVICEREMOVECOMPLETE 0x8004
#define DBT_DEVICETYPESPECIFIC 0x8005
#define DBT_CUSTOMEVENT 0x8006
#define DBT_USERDEFINED 0xFFFF

#define DBT_DEVTYP_OEM 0x00000000
#define DBT_DEVTYP_DEVNODE 0x00000001
#define DBT_DEVTYP_VOLUME 0x00000002
#define DBT_DEVTYP_PORT 0x00000003
#define DBT_DEVTYP_NET 0x00000004
#define DBT_DEVTYP_DEVICEINTERFACE 0x00000005
#define DBT_DEVTYP_HANDLE 0x00000006

#define DBTF_MEDIA 0x0001
#define DBTF_NET 0x0002

// Error codes the layer sets, with their Windows values.
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_CANNOT_FIND_WND_CLASS 1407
#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_CLASS_DOES_NOT_EXIST 1411
#define ERROR_CLASS_HAS_WINDOWS 1412
#define ERROR_INVALID_INDEX 1413

ATOM RegisterClassW(const WNDCLASSW *wndClass);
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index);
LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL DestroyWindow(HWND hwnd);
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
DWORD GetLastError();
HINSTANCE qWinAppInst();

// What tests see of, and do to, the layer's table.
namespace Win32Layer {

struct ClassRecord
{
    std::wstring name;
    WNDCLASSW wndClass; // lpszClassName and lpszMenuName are not kept
};

struct WindowRecord
{
    HWND hwnd;
    std::wstring className;
    std::wstring windowName;
    DWORD exStyle;
    DWORD style;
    int x, y, width, height;
    HWND parent;
    HMENU menu;
    HINSTANCE instance;
    LPVOID param;
    LONG_PTR userData;
    bool destroyed;
};

struct DefWindowProcCall
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Forgets every class, window, record and pending failure.
void reset();
// The next CreateWindowExW fails, setting this error code.
void failNextCreateWindow(DWORD errorCode);
// Sends WM_DEVICECHANGE to every live top-level window, in creation order,
// as the system does; gives each procedure's result.
std::vector<LRESULT> broadcastDeviceChange(WPARAM wParam, LPARAM lParam);
// Calls the window's procedure, like SendMessageW; 0 for an unknown window.
LRESULT sendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// What DefWindowProcW returns from now on.
void setDefWindowProcResult(LRESULT result);

std::vector<ClassRecord> registeredClasses();
// Every window ever created since reset(), in creation order.
std::vector<WindowRecord> windows();
std::vector<DefWindowProcCall> defWindowProcCalls();
// The calls made, in order, e.g. L"RegisterClassW <name>", L"CreateWindowExW
// <name>", L"DestroyWindow", L"UnregisterClassW <name>".
std::vector<std::wstring> callLog();

} // namespace Win32Layer

#endif // WIN32LAYER_H
