// Serial (SPI) programming primitives: one 4-byte instruction through the gateway's SPI unit,
// with or without reading back, and the programming-enable sequence.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "gateway/Step.h"

namespace quillon {

class Bus;

// An instruction that changes the chip (or loads a buffer); `waitMs` is its programming time.
bool SpiInstruction(Bus& bus, std::uint8_t i1, std::uint8_t i2, std::uint8_t i3,
                    std::uint8_t i4, int waitMs, std::string_view failText);

// What a read instruction returned: byte 0 came back during I4, byte 1 during I3.
struct SpiReply {
    std::uint8_t byte0 = 0;
    std::uint8_t byte1 = 0;
};

// An instruction that reads; nullopt after a logged failure (port closed), which an answer whose
// byte 1 is not the echo of I2 is too: its bytes are not where the instruction put them.
// Programming Enable's echo is left to its caller, who learns from it whether the chip is in step.
std::optional<SpiReply> SpiQuery(Bus& bus, std::uint8_t i1, std::uint8_t i2,
                                 std::uint8_t i3, std::uint8_t i4, std::string_view failText);

// What SpiReadBack answers: 8 bytes, of which bytes 0 and 1 carry everything a read returns.
inline constexpr AnswerShape kSpiReadBackAnswer{8, 2, " (SPI paket)"};

// Answers in flight: a read instruction's packets, SpiReadBack included, sent without waiting
// for the answer; SpiCollect takes it later, in order. False after a logged failure.
bool SpiRequest(Bus& bus, std::uint8_t i1, std::uint8_t i2, std::uint8_t i3, std::uint8_t i4,
                std::string_view failText);
// The oldest answer SpiRequest left owed, whose instruction's I2 was `i2`; nullopt after a
// logged failure (port closed), an answer without the echo of I2 included.
std::optional<SpiReply> SpiCollect(Bus& bus, std::uint8_t i2);

// Programming Enable: logs "Trying to" + tryText first. False silently (port open) when the
// chip did not echo 0x53.
bool EnterSerialProgMode(Bus& bus, std::string_view tryText);

// Read Signature Byte for addresses 0 to 2, after programming mode was entered; byte 0 in bits
// 0-7 as the chip table holds signatures. Nullopt after a logged failure (port closed).
std::optional<std::int32_t> ReadSerialSignature(Bus& bus);

}  // namespace quillon
