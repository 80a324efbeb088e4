// The gateway's byte commands as named builders, and the command packet that carries them.
// A driver reads like the wire: Packet{SetPORTC(0x18), SetPORTD(0x14)}.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace quillon {

// One gateway command: a command byte and its 0 to 4 argument bytes.
struct Command {
    std::array<std::uint8_t, 5> bytes{};
    std::uint8_t length = 0;
};

constexpr Command MakeCommand(std::initializer_list<std::uint8_t> b)
{
    Command c;
    for (auto v : b) c.bytes[c.length++] = v;
    return c;
}

// Port registers of the gateway (data bus on B, control lines on C and D).
constexpr Command SetDDRB(std::uint8_t v) { return MakeCommand({0x0B, v}); }
constexpr Command SetPORTB(std::uint8_t v) { return MakeCommand({0x0D, v}); }
constexpr Command SetDDRC(std::uint8_t v) { return MakeCommand({0x0F, v}); }
constexpr Command SetPORTC(std::uint8_t v) { return MakeCommand({0x11, v}); }
constexpr Command SetDDRD(std::uint8_t v) { return MakeCommand({0x13, v}); }
constexpr Command SetPORTD(std::uint8_t v) { return MakeCommand({0x15, v}); }
constexpr Command ReadPINB() { return MakeCommand({0x17}); }  // answers 1 byte: the data bus
constexpr Command ReadPINC() { return MakeCommand({0x18}); }  // answers 1 byte: bit 0 is RDY/BSY

// Built-in pulses and sequences of the gateway (argument of Pulse).
enum PulseCode : std::uint8_t {
    EnterHVPPrgMode_AVR = 0x00,
    GivePagelPosPulse = 0x01,
    GiveXtalPosPulse = 0x02,
    GiveWRNegPulse = 0x03,
    GiveWR100NegPulse = 0x08,
    GiveWR15NegPulse = 0x09,
};
constexpr Command Pulse(std::uint8_t code) { return MakeCommand({0x1D, code}); }

// Serial programming through the gateway's SPI unit. SpiLoad takes the instruction in the
// order the chip receives it and puts it on the wire last byte first.
constexpr Command SpiLoad(std::uint8_t i1, std::uint8_t i2, std::uint8_t i3, std::uint8_t i4)
{
    return MakeCommand({0x44, i4, i3, i2, i1});
}
constexpr Command SpiReadBack() { return MakeCommand({0x45}); }  // answers up to 8 bytes
constexpr Command SpiExchange() { return MakeCommand({0x46}); }
constexpr Command SpiSync() { return MakeCommand({0x47}); }
constexpr Command SpiBegin() { return MakeCommand({0x48}); }

// The connect handshake.
constexpr Command HandshakeSetup() { return MakeCommand({0x0A, 0x08, 0x00}); }
constexpr Command HandshakeMode() { return MakeCommand({0x1E}); }
constexpr Command HandshakeProbe() { return MakeCommand({0x04}); }  // answers 1 byte

// Control-line values of parallel programming (PORTD).
inline constexpr std::uint8_t PD_WORK = 0x14;  // WR = 1, OE = 1

// A command packet: up to 32 bytes of whole commands, sent in one write.
struct Packet {
    std::array<std::uint8_t, 32> data{};
    std::int32_t length = 0;

    constexpr Packet() = default;
    constexpr Packet(std::initializer_list<Command> commands)
    {
        for (const auto& c : commands) Append(c);
    }
    constexpr void Append(const Command& c)
    {
        for (int i = 0; i < c.length && length < static_cast<std::int32_t>(data.size()); ++i)
            data[static_cast<std::size_t>(length++)] = c.bytes[static_cast<std::size_t>(i)];
    }
    std::span<const std::uint8_t> Bytes() const
    {
        return {data.data(), static_cast<std::size_t>(length)};
    }
};

// What came back for one answering command.
struct Answer {
    std::array<std::uint8_t, 32> data{};
    std::int32_t count = 0;
};

}  // namespace quillon
