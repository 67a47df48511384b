#ifndef EXCHANGEOUTCOME_H
#define EXCHANGEOUTCOME_H

#include "config/device.h"

#include <QEventLoop>
#include <QTimer>

// Runs one exchange of device; returns the name of its outcome.
inline const char *exchangeOutcome(Device &device)
{
    QEventLoop loop;
    const char *outcome = "none";
    const auto end = [&](const char *name) {
        return [&outcome, &loop, name] {
            outcome = name;
            loop.quit();
        };
    };
    const QMetaObject::Connection connections[] = {
        QObject::connect(&device, &Device::finalProgress, &loop, end("reply")),
        QObject::connect(&device, &Device::timeOut, &loop, end("timeOut")),
        QObject::connect(&device, &Device::openfail, &loop, end("openfail")),
        QObject::connect(&device, &Device::porterror, &loop, end("porterror"))};
    // openfail comes from inside startDownload.
    QTimer::singleShot(0, &device, [&device] { device.startDownload(); });
    loop.exec();
    for (const auto &c : connections)
        QObject::disconnect(c);
    return outcome;
}

#endif // EXCHANGEOUTCOME_H
