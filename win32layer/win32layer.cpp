#include "win32layer/win32layer.h"

#include <mutex>

namespace {

struct Table
{
    std::mutex mutex;
    std::vector<Win32Layer::ClassRecord> classes;
    std::vector<Win32Layer::WindowRecord> windows;
    std::vector<Win32Layer::DefWindowProcCall> defCalls;
    std::vector<std::wstring> log;
    LRESULT defResult = 0;
    bool failNextCreate = false;
    DWORD failCode = 0;
    std::uintptr_t nextHandle = 0x1000;
};

Table &table()
{
    static Table t;
    return t;
}

thread_local DWORD lastError = 0;

std::wstring text(LPCWSTR s)
{
    return s ? std::wstring(s) : std::wstring();
}

// Caller holds the lock.
Win32Layer::WindowRecord *findWindow(Table &t, HWND hwnd)
{
    for (Win32Layer::WindowRecord &w : t.windows) {
        if (w.hwnd == hwnd && !w.destroyed)
            return &w;
    }
    return nullptr;
}

// Caller holds the lock. The window's user data, or null (with the error set) for a window that
// does not exist or an index other than GWLP_USERDATA.
LONG_PTR *userDataOf(Table &t, HWND hwnd, int index)
{
    Win32Layer::WindowRecord *w = findWindow(t, hwnd);
    if (!w) {
        lastError = ERROR_INVALID_WINDOW_HANDLE;
        return nullptr;
    }
    if (index != GWLP_USERDATA) {
        lastError = ERROR_INVALID_INDEX;
        return nullptr;
    }
    return &w->userData;
}

// Caller holds the lock.
const Win32Layer::ClassRecord *findClass(Table &t, const std::wstring &name, HINSTANCE instance)
{
    for (const Win32Layer::ClassRecord &c : t.classes) {
        if (c.name == name && c.wndClass.hInstance == instance)
            return &c;
    }
    return nullptr;
}

WNDPROC procedureOf(HWND hwnd)
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const Win32Layer::WindowRecord *w = findWindow(t, hwnd);
    if (!w)
        return nullptr;
    const Win32Layer::ClassRecord *c = findClass(t, w->className, w->instance);
    return c ? c->wndClass.lpfnWndProc : nullptr;
}

} // namespace

ATOM RegisterClassW(const WNDCLASSW *wndClass)
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const std::wstring name = text(wndClass ? wndClass->lpszClassName : nullptr);
    t.log.push_back(L"RegisterClassW " + name);
    if (!wndClass || name.empty() || findClass(t, name, wndClass->hInstance)) {
        lastError = ERROR_CLASS_ALREADY_EXISTS;
        return 0;
    }
    Win32Layer::ClassRecord record{name, *wndClass};
    record.wndClass.lpszClassName = nullptr;
    record.wndClass.lpszMenuName = nullptr;
    t.classes.push_back(record);
    return static_cast<ATOM>(0xC000 + t.classes.size());
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param)
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const std::wstring name = text(className);
    t.log.push_back(L"CreateWindowExW " + name);
    if (t.failNextCreate) {
        t.failNextCreate = false;
        lastError = t.failCode;
        return nullptr;
    }
    if (!findClass(t, name, instance)) {
        lastError = ERROR_CANNOT_FIND_WND_CLASS;
        return nullptr;
    }
    // Opaque handles, never dereferenced.
    HWND hwnd = reinterpret_cast<HWND>(t.nextHandle);
    t.nextHandle += 0x10;
    t.windows.push_back(Win32Layer::WindowRecord{hwnd, name, text(windowName), exStyle, style, x, y,
                                                 width, height, parent, menu, instance, param, 0,
                                                 false});
    return hwnd;
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value)
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    LONG_PTR *userData = userDataOf(t, hwnd, index);
    if (!userData)
        return 0;
    const LONG_PTR previous = *userData;
    *userData = value;
    return previous;
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index)
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const LONG_PTR *userData = userDataOf(t, hwnd, index);
    return userData ? *userData : 0;
}

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.defCalls.push_back(Win32Layer::DefWindowProcCall{hwnd, message, wParam, lParam});
    return t.defResult;
}

BOOL DestroyWindow(HWND hwnd)
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.log.push_back(L"DestroyWindow");
    Win32Layer::WindowRecord *w = findWindow(t, hwnd);
    if (!w) {
        lastError = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    w->destroyed = true;
    return 1;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance)
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const std::wstring name = text(className);
    t.log.push_back(L"UnregisterClassW " + name);
    for (auto it = t.classes.begin(); it != t.classes.end(); ++it) {
        if (it->name != name || it->wndClass.hInstance != instance)
            continue;
        for (const Win32Layer::WindowRecord &w : t.windows) {
            if (!w.destroyed && w.className == name && w.instance == instance) {
                lastError = ERROR_CLASS_HAS_WINDOWS;
                return 0;
            }
        }
        t.classes.erase(it);
        return 1;
    }
    lastError = ERROR_CLASS_DOES_NOT_EXIST;
    return 0;
}

DWORD GetLastError()
{
    return lastError;
}

HINSTANCE qWinAppInst()
{
    static int instance;
    return reinterpret_cast<HINSTANCE>(&instance);
}

namespace Win32Layer {

void reset()
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.classes.clear();
    t.windows.clear();
    t.defCalls.clear();
    t.log.clear();
    t.defResult = 0;
    t.failNextCreate = false;
    t.failCode = 0;
    lastError = 0;
}

void failNextCreateWindow(DWORD errorCode)
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.failNextCreate = true;
    t.failCode = errorCode;
}

std::vector<LRESULT> broadcastDeviceChange(WPARAM wParam, LPARAM lParam)
{
    std::vector<HWND> targets;
    {
        Table &t = table();
        std::lock_guard<std::mutex> lock(t.mutex);
        for (const WindowRecord &w : t.windows) {
            if (!w.destroyed && !w.parent)
                targets.push_back(w.hwnd);
        }
    }
    // Unlocked while the procedures run: they call back into the layer.
    std::vector<LRESULT> results;
    for (HWND hwnd : targets)
        results.push_back(sendMessage(hwnd, WM_DEVICECHANGE, wParam, lParam));
    return results;
}

LRESULT sendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC proc = procedureOf(hwnd);
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

void setDefWindowProcResult(LRESULT result)
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.defResult = result;
}

std::vector<ClassRecord> registeredClasses()
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.classes;
}

std::vector<WindowRecord> windows()
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.windows;
}

std::vector<DefWindowProcCall> defWindowProcCalls()
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.defCalls;
}

std::vector<std::wstring> callLog()
{
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.log;
}

} // namespace Win32Layer
