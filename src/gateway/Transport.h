// Byte transport under the gateway link: a real serial port or the in-process simulated gateway.
// The link only moves bytes through this interface; what they mean is the gateway's business.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>

namespace quillon {

class Transport {
public:
    virtual ~Transport() = default;

    // Writes all bytes; false when the write failed or did not complete in time.
    virtual bool Write(std::span<const std::uint8_t> bytes) = 0;

    // Waits until buffer.size() bytes have arrived or `timeout` has passed, whichever comes
    // first, and returns how many bytes were stored (0 to buffer.size()). Bytes beyond the
    // buffer stay queued for the next read.
    virtual std::size_t Read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) = 0;

    // Like Read, but once `needed` bytes are in, the answer ends at the first pause longer than
    // `pause` instead of waiting out `timeout` for the rest of the buffer. Transports that never
    // wait for bytes need not distinguish the two.
    virtual std::size_t ReadUntilPause(std::span<std::uint8_t> buffer, std::size_t needed,
                                       std::chrono::milliseconds timeout, std::chrono::microseconds pause)
    {
        (void)needed;
        (void)pause;
        return Read(buffer, timeout);
    }

    // How many received bytes are waiting to be read, after waiting up to `settle` for the first
    // one to arrive (zero: look without waiting). A transport that cannot tell says 0.
    virtual std::size_t Queued(std::chrono::microseconds settle = std::chrono::microseconds{0})
    {
        (void)settle;
        return 0;
    }

    // Throws away whatever has been received and not read.
    virtual void DiscardInput() {}

    // The clock the far end runs on, for pacing packets to what it can take: the steady clock on
    // a real line. A simulated gateway on virtual time has its own, and waiting runs that clock.
    using Clock = std::chrono::steady_clock;
    virtual Clock::time_point Now() { return Clock::now(); }
    virtual void WaitFor(Clock::duration wait) { std::this_thread::sleep_for(wait); }
};

enum class OpenFailure {
    None,
    NotAvailable,  // the device cannot be opened
    GetSettings,   // its line settings cannot be read
    SetSettings,   // its line settings cannot be written
    InUse,         // another program holds it
};

struct OpenedPort {
    std::unique_ptr<Transport> transport;  // null on failure
    OpenFailure failure = OpenFailure::None;
    int systemError = 0;  // the system's error number at the failing step; 0 when none is known
};

// Opens a device path (as DevicePathFor returns it) and configures the line for the gateway.
using PortOpener = std::function<OpenedPort(const std::string& devicePath)>;

}  // namespace quillon
