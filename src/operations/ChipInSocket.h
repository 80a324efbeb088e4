// The check before a command changes the chip: is the chip in the socket the selected one? Its
// signature is read the way the chip's unit programs it, and a wrong or silent chip is named.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/Result.h"
#include "operations/Confirmation.h"

namespace quillon {

struct Session;
struct ChipRow;

// Reads the signature through `entry`'s unit (parallel or serial) and powers the socket down.
// Nullopt when the link failed; 0 when a serial chip did not answer Programming Enable.
std::optional<std::int32_t> ReadSocketSignature(Session& session, const ChipRow& entry);

// "1E 93 07": the bytes in the order the datasheets print them.
std::string SignatureText(std::int32_t signature);

// Succeeds at once when the session's check is off. Otherwise reads the signature; when it is not
// the selected chip's, logs why, asks `confirm` whether to write anyway and fails unless the
// answer was Yes. Nothing on the chip is changed here.
Result CheckChipInSocket(Session& session, const ChipRow& entry, const Confirm& confirm);

// Reads the lock and fuse bytes through `entry`'s unit and powers the socket down; the record
// keeps the slots it had. The lock bits that stop external reads and are programmed; nullopt when
// the link failed.
std::optional<std::vector<std::string>> ReadProgrammedLockBits(Session& session, const ChipRow& entry);

// Bytes an empty socket gives: all 0xFF (the data lines pulled up) or all 0x00.
bool ReadsAsEmptySocket(std::span<const std::uint8_t> bytes);

// After a read that found only 0xFF and no lock bits to explain it: reads the signature and fails,
// logging why, when no chip answers in the socket (an empty socket reads as erased too).
Result ConfirmChipAnswers(Session& session, const ChipRow& entry);

}  // namespace quillon
