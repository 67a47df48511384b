#ifndef QDEVICEWATCHERPRIVATE_WIN_H
#define QDEVICEWATCHERPRIVATE_WIN_H

// The Windows backend's hidden notification window and its procedure.
#include "devicewatcher/win32api.h"

#include <QString>
#include <QStringList>

class QDeviceWatcherPrivate;

// "QDeviceWatcherPrivateWin32_Internal_Widget" and the procedure's address
// in decimal: the same text every time in one process.
QString notificationClassName();
// Registers the class and creates the hidden top-level window, keeping the
// backend (may be null) in its user data; null, with a warning, on failure.
HWND createNotificationWindow(QDeviceWatcherPrivate *backend);
// Destroys the window (when not null) and unregisters the class.
void destroyNotificationWindow(HWND hwnd);
// The drive roots ("A:/" ...) of the set bits 0 to 25, in letter order.
QStringList drivesFromUnitMask(quint32 unitMask);
LRESULT CALLBACK dw_internal_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

#endif // QDEVICEWATCHERPRIVATE_WIN_H
