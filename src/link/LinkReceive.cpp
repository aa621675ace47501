#include "LinkReceive.h"

#include "MessagesList.h"

#include <algorithm>
#include <thread>

void LogReceived(TCommPort& port, TPortMonitor* monitor, const TReceivedFrame& r) {
    if (r.good) {
        if (monitor) monitor->CountReceived();
        port.Log("<--" + StreamToHex(r.frame));
    } else {
        if (monitor) monitor->CountErrors();
        port.Log("ERROR " + StreamToHex(r.frame));
    }
}

bool CollectFrame(ISerialDevice& device, TFrameReceiver& receiver,
                  std::chrono::milliseconds timeout, const std::function<bool()>& stopping,
                  TCommPort& port, TPortMonitor* monitor, TMemoryStream& out) {
    using Clock = std::chrono::steady_clock;
    receiver.Reset();
    receiver.Feed(kFrameStart);
    auto deadline = Clock::now() + timeout;
    while (!stopping()) {
        if (Clock::now() >= deadline) {
            // What follows is noise until the next FE.
            LogReceived(port, monitor, *receiver.Expire());
            return false;
        }
        if (device.BytesWaiting() == 0) {
            if (device.WaitReadable(deadline) == TWaitResult::Failed)
                std::this_thread::sleep_until(std::min(deadline, Clock::now() + kFailedLinePause));
            continue;
        }
        std::uint8_t b = 0;
        if (device.Read(&b, 1) != 1) continue;
        auto r = receiver.Feed(b);
        if (!r) continue;
        LogReceived(port, monitor, *r);
        if (b == kFrameEnd) {
            if (r->good) out = std::move(r->frame);
            return r->good;
        }
        if (!receiver.Collecting()) return false;
        deadline = Clock::now() + timeout;
    }
    return false;
}
