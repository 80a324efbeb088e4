// The gateway's firmware as the simulator runs it: port registers, pulses, the SPI unit and the
// handshake, fed with the byte stream the program writes and answering into an output queue.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/SocketChip.h"

namespace quillon::sim {

// Something the tests may want to know about: a byte the firmware could not parse, or an action
// the chip would ignore or that would not work on real hardware.
struct GatewayEvent {
    enum class Kind : std::uint8_t { ProtocolError, Diagnostic };
    Kind kind = Kind::Diagnostic;
    double timeMs = 0;
    std::string text;
};

// Behaviour of the firmware that tests switch on to see how the program copes.
struct FirmwareFaults {
    bool neverReady = false;           // PC0 (RDY/BSY) always reads 0
    std::optional<int> spiAnswerBytes; // SpiReadBack answers only this many bytes (0 to 8)
};

class Gateway {
public:
    // The answer to HandshakeProbe; the program only needs a byte to arrive.
    static constexpr std::uint8_t kProbeAnswer = 0x5A;
    // Widths of the long WR pulses (ms), as the firmware times them.
    static constexpr double kWr100Ms = 100.0;
    static constexpr double kWr15Ms = 15.0;

    Gateway() = default;
    explicit Gateway(std::unique_ptr<SocketChip> chip);

    // Executes every whole command in `bytes`; a command cut at the end waits for the rest.
    void Feed(std::span<const std::uint8_t> bytes);

    // Answer bytes not yet collected.
    std::deque<std::uint8_t>& Output() { return output_; }
    const std::deque<std::uint8_t>& Output() const { return output_; }

    void Advance(double ms) { if (ms > 0) now_ += ms; }
    double Now() const { return now_; }

    SocketChip* Chip() { return chip_.get(); }
    const SocketChip* Chip() const { return chip_.get(); }
    void InsertChip(std::unique_ptr<SocketChip> chip);

    FirmwareFaults& Faults() { return faults_; }

    const std::vector<GatewayEvent>& Events() const { return events_; }
    std::vector<std::string> ProtocolErrors() const;
    std::vector<std::string> Diagnostics() const;
    void ClearEvents() { events_.clear(); }

    struct Registers {
        std::uint8_t ddrb = 0, portb = 0, ddrc = 0, portc = 0, ddrd = 0, portd = 0;
    };
    const Registers& Regs() const { return regs_; }
    SocketLines Lines() const;
    // Whether the socket has supply: +5 V, +12 V on RESET, or the SPI unit's (which powers the
    // socket from SpiBegin until port C's supply switches are written). In words: "off", or
    // "on:" followed by what is on.
    bool SocketPowered() const;
    std::string SocketPower() const;
    std::uint8_t PinB();
    std::uint8_t PinC() const;

private:
    void Execute(std::uint8_t command, std::span<const std::uint8_t> args);
    void ApplyRegisters();
    void DoPulse(std::uint8_t code);
    void Note(GatewayEvent::Kind kind, std::string text);

    std::unique_ptr<SocketChip> chip_;
    Registers regs_;
    FirmwareFaults faults_;
    std::deque<std::uint8_t> output_;
    std::vector<GatewayEvent> events_;
    double now_ = 0;

    // Parser state: the command being collected across writes.
    std::vector<std::uint8_t> pending_;
    std::size_t pendingNeed_ = 0;

    // SPI unit.
    std::array<std::uint8_t, 4> spiLoaded_{};
    std::array<std::uint8_t, 4> spiReceived_{0xFF, 0xFF, 0xFF, 0xFF};
    bool spiActive_ = false;
};

// How many argument bytes follow a command byte; nullopt for a byte the firmware does not know.
std::optional<std::size_t> CommandArguments(std::uint8_t command);

}  // namespace quillon::sim
