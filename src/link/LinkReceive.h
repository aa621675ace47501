// The receive step the bus and the modem link threads share, so that a fix
// to how a frame is collected reaches both.
#pragma once

#include "FrameReceiver.h"
#include "PortMonitor.h"
#include "SerialComm.h"
#include "SerialDevice.h"

#include <chrono>
#include <functional>

// A line that reports failure from its wait (a hung-up tty) is tried again
// after this, instead of being polled in a tight loop.
inline constexpr auto kFailedLinePause = std::chrono::milliseconds(50);

// With the FE already read: the bytes up to the FF against the frame time-out,
// which an FE inside the frame renews (the damaged frame is reported and the
// new one gets its own time). Every frame it ends is counted and logged.
// True for a good frame, which is then in `out`; false for a bad one, a
// time-out, or when `stopping` says so.
bool CollectFrame(ISerialDevice& device, TFrameReceiver& receiver,
                  std::chrono::milliseconds timeout, const std::function<bool()>& stopping,
                  TCommPort& port, TPortMonitor* monitor, TMemoryStream& out);

// Counts and logs one received frame: "<--" when good, "ERROR " otherwise.
void LogReceived(TCommPort& port, TPortMonitor* monitor, const TReceivedFrame& r);
