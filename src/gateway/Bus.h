// What the gateway steps, the programming primitives and the chip units work with: the link,
// the log, the delay value and the clock for waits. Nothing about the chip record or the views.
#pragma once

#include <functional>
#include <string>

#include "core/Cancel.h"
#include "gateway/Link.h"
#include "log/Log.h"

namespace quillon {

void RealSleep(int milliseconds);

class Bus {
public:
    explicit Bus(PortOpener opener = OpenSerialPort) : link(log, std::move(opener)) {}
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    Log log;
    Link link;
    int delay = 1;  // the "Delays value" track bar, 0 to 5 ms
    // Step sequences that only send (the serial writes, some erases) prove once a flash page, or
    // once 32 bytes, and at their end that the gateway still answers; a gateway gone silent with
    // the line open would otherwise pass for one that wrote. Off, a command's trace is the one
    // stations qualified (kept: docs/compatibility.md); the front ends turn it on unless told not to.
    bool confirmAnswers = false;
    // Set from another thread to stop the command under way at its next packet boundary; the
    // front end clears it before it starts a command.
    CancelRequest cancel;

    // Every wait of the programming steps goes through here, so tests can run on virtual time.
    std::function<void(int milliseconds)> sleep = RealSleep;

    void Sleep(int milliseconds)
    {
        if (milliseconds > 0) sleep(milliseconds);
    }
    void Delay() { Sleep(delay); }
};

}  // namespace quillon
