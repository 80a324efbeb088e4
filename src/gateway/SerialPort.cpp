// The serial port under the link through libserialport, where the platform has no POSIX tty
// layer of its own: 250000 baud, 8 data bits, no parity, two stop bits, no flow control, DTR and
// RTS inactive. Linux uses SerialPortLinux.cpp instead.
#ifndef __linux__
#include <libserialport.h>

#include <thread>

#include "gateway/Link.h"

namespace quillon {

namespace {

class SerialPortTransport final : public Transport {
public:
    explicit SerialPortTransport(sp_port* port) : port_(port) {}
    ~SerialPortTransport() override
    {
        sp_close(port_);
        sp_free_port(port_);
    }
    SerialPortTransport(const SerialPortTransport&) = delete;
    SerialPortTransport& operator=(const SerialPortTransport&) = delete;

    bool Write(std::span<const std::uint8_t> bytes) override
    {
        // A write that is still pending after 20 s, or that went out only in part, failed:
        // the gateway would otherwise execute a truncated command.
        sp_return written = sp_blocking_write(port_, bytes.data(), bytes.size(), 20000);
        if (written < 0 || static_cast<std::size_t>(written) != bytes.size()) return false;
        return sp_drain(port_) == SP_OK;
    }

    std::size_t Read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override
    {
        if (buffer.empty()) return 0;
        // Blocks in poll() until all asked bytes are in or the bound runs out, so the answer
        // is taken the moment it arrives.
        sp_return got = sp_blocking_read(port_, buffer.data(), buffer.size(),
                                         static_cast<unsigned int>(timeout.count()));
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }

    std::size_t Queued(std::chrono::microseconds settle) override
    {
        sp_return waiting = sp_input_waiting(port_);
        if (waiting == 0 && settle.count() > 0) {
            std::this_thread::sleep_for(settle);
            waiting = sp_input_waiting(port_);
        }
        return waiting > 0 ? static_cast<std::size_t>(waiting) : 0;
    }

    void DiscardInput() override { sp_flush(port_, SP_BUF_INPUT); }

private:
    sp_port* port_;
};

// RAII for a libserialport configuration.
struct Config {
    sp_port_config* config = nullptr;
    Config() { sp_new_config(&config); }
    ~Config() { sp_free_config(config); }
    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;
};

}  // namespace

OpenedPort OpenSerialPort(const std::string& devicePath)
{
    sp_port* port = nullptr;
    if (sp_get_port_by_name(devicePath.c_str(), &port) != SP_OK) return {nullptr, OpenFailure::NotAvailable};
    if (sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
        sp_free_port(port);
        return {nullptr, OpenFailure::NotAvailable};
    }
    auto transport = std::make_unique<SerialPortTransport>(port);

    Config current;
    if (!current.config || sp_get_config(port, current.config) != SP_OK)
        return {nullptr, OpenFailure::GetSettings};

    // Line settings first; the modem lines separately, because a pseudo-terminal has none and
    // refuses them, which must not stop a connection to a simulated gateway.
    Config wanted;
    if (!wanted.config) return {nullptr, OpenFailure::SetSettings};
    bool ok = sp_set_config_baudrate(wanted.config, 250000) == SP_OK &&
              sp_set_config_bits(wanted.config, 8) == SP_OK &&
              sp_set_config_parity(wanted.config, SP_PARITY_NONE) == SP_OK &&
              sp_set_config_stopbits(wanted.config, 2) == SP_OK &&
              sp_set_config_cts(wanted.config, SP_CTS_IGNORE) == SP_OK &&
              sp_set_config_dsr(wanted.config, SP_DSR_IGNORE) == SP_OK &&
              sp_set_config_xon_xoff(wanted.config, SP_XONXOFF_DISABLED) == SP_OK;
    if (!ok || sp_set_config(port, wanted.config) != SP_OK) return {nullptr, OpenFailure::SetSettings};
    sp_set_dtr(port, SP_DTR_OFF);
    sp_set_rts(port, SP_RTS_OFF);

    sp_flush(port, SP_BUF_BOTH);
    return {std::move(transport), OpenFailure::None};
}

}  // namespace quillon

#endif  // !__linux__
