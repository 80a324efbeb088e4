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
};

enum class OpenFailure {
    None,
    NotAvailable,  // the device cannot be opened
    GetSettings,   // its line settings cannot be read
    SetSettings,   // its line settings cannot be written
};

struct OpenedPort {
    std::unique_ptr<Transport> transport;  // null on failure
    OpenFailure failure = OpenFailure::None;
};

// Opens a device path (as DevicePathFor returns it) and configures the line for the gateway.
using PortOpener = std::function<OpenedPort(const std::string& devicePath)>;

}  // namespace quillon
