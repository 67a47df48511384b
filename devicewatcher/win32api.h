#ifndef WIN32API_H
#define WIN32API_H

// The Win32 API of the device watcher's Windows backend: the system's own
// headers on Windows, elsewhere our stand-in layer with the same names.
#include <QtGlobal>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <dbt.h>

QT_BEGIN_NAMESPACE
// Exported by QtCore without a public declaration.
Q_CORE_EXPORT HINSTANCE qWinAppInst();
QT_END_NAMESPACE
#else
#include "win32layer/win32layer.h"
#endif

#endif // WIN32API_H
