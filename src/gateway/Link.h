// The one connection to the gateway (Portfunctions): open with the handshake, send command
// packets, collect answers, close. Every failure is logged here or by the step that sent.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "gateway/Commands.h"
#include "gateway/Transport.h"

namespace quillon {

class Log;

// Device path for a port name: on Linux "/dev/..." as it stands, "COMn" as /dev/ttyS(n-1),
// "sim:..." as it stands, anything else under /dev/; on Windows "\\.\" and the name.
// Empty when the path would not fit the 100-byte device path buffer (terminator included).
std::optional<std::string> DevicePathFor(std::string_view portName);

class Link {
public:
    static constexpr std::chrono::milliseconds kAnswerBound{1000};

    Link(Log& log, PortOpener opener);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Opens, configures and handshakes. Logs one line on failure, leaves the port closed and
    // gives that line; logs nothing on success and gives an empty text.
    std::string OpenPort(const std::string& devicePath);
    bool SendPacket(const Packet& packet);
    Answer ReadAnswer(int count);  // up to `count` bytes (at most 32) within about a second
    void ClosePort();
    bool IsOpen() const { return transport_ != nullptr; }

    void SetOpener(PortOpener opener) { opener_ = std::move(opener); }

private:
    std::string Failure(int index, std::string_view text);

    Log& log_;
    PortOpener opener_;
    std::unique_ptr<Transport> transport_;
};

// The opener for real serial ports (libserialport), with the gateway's line settings.
OpenedPort OpenSerialPort(const std::string& devicePath);

}  // namespace quillon
