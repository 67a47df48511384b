// Drives the Windows backend's window procedure, on the stand-in Win32
// layer, with arbitrary wParam values and broadcast headers. The header is
// copied into a buffer of exactly its size, with dbch_size telling that
// size as the system does, so AddressSanitizer catches any read beyond it.
// Each input starts from an empty layer and a watcher of its own: the
// layer records every call, which over millions of inputs would look like
// a leak, and an input then behaves the same when replayed alone.
#include "devicewatcher/qdevicewatcher.h"
#include "devicewatcher/qdevicewatcherprivate_win.h"

#include <QCoreApplication>
#include <QObject>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

struct Harness
{
    Harness() : app(argc, argv) { qInstallMessageHandler(quiet); }
    int argc = 1;
    char name[16] = "fuzz";
    char *argv[2] = {name, nullptr};
    QCoreApplication app;
    QObject receiver;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Harness harness;
    if (size < 9)
        return 0;
    // wParam: 8 bytes; one byte chooses a header or none; the rest is the
    // header, at least a DEV_BROADCAST_HDR as the system guarantees.
    WPARAM wParam = 0;
    std::memcpy(&wParam, data, sizeof wParam);
    const bool withHeader = data[8] & 1;
    data += 9;
    size -= 9;
    // Small codes are the interesting ones: fold most inputs onto them.
    if (data[-1] & 2)
        wParam = (wParam & 0x1F) | ((data[-1] & 4) ? 0x8000 : 0);

    LPARAM lParam = 0;
    std::unique_ptr<uint8_t[]> header;
    if (withHeader) {
        const size_t length = size < sizeof(DEV_BROADCAST_HDR) ? sizeof(DEV_BROADCAST_HDR) : size;
        header.reset(new uint8_t[length]());
        std::memcpy(header.get(), data, size);
        const DWORD declared = static_cast<DWORD>(length);
        std::memcpy(header.get(), &declared, sizeof declared);
        lParam = reinterpret_cast<LPARAM>(header.get());
    }
    Win32Layer::reset();
    QDeviceWatcher watcher;
    watcher.addEventReceiver(&harness.receiver);
    if (!watcher.start() || Win32Layer::broadcastDeviceChange(wParam, lParam).size() != 1)
        std::abort(); // the watcher's window must be the one that hears it
    QCoreApplication::sendPostedEvents();
    return 0;
}
