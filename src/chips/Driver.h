// A chip driver unit as the operations see it: one table of operations, each taking the bus and
// the facts of the chip in the socket. An operation the unit does not offer is null; every
// offered one returns true on success. Units never see the chip record: what they read goes into
// bytes the caller gives, what they write comes from bytes the caller gives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "chips/Chip.h"
#include "gateway/Step.h"

namespace quillon {

class Bus;

// What a unit needs to know of the selected chip besides its own description: one unit serves
// chips of several sizes, and a few steps differ between them.
// The chip table makes it (TargetOf), so that no unit looks its own row up.
struct Target {
    std::int32_t signature = 0;
    std::uint32_t flashSize = 0;
    std::uint32_t eepromSize = 0;
    std::uint32_t eepromPage = 0;  // bytes; 0: every EEPROM byte by its own pulse
};

// How a read treats the bytes it is given: stores what the chip holds there, or, verifying,
// compares them with it and stops at the first that differs. A verify never stores into them;
// given `seen` (as many bytes as they are), it puts each byte the chip gave there, so that the
// caller can say what the chip holds where it differs.
struct ReadMode {
    ReadMode(bool compare, std::uint8_t* seenBytes = nullptr) : verify(compare), seen(seenBytes) {}
    explicit operator bool() const { return verify; }

    bool verify;
    std::uint8_t* seen;
};

// The lock and fuse slots: fuses first (low, high, extended), the lock byte last.
using FuseSlots = std::span<std::uint8_t, 8>;
using ConstFuseSlots = std::span<const std::uint8_t, 8>;

// Calling contract of the address operations: EnterProgMode first; then positions from 0 upward
// without gaps and without other operations between (the chip keeps the loaded command and the
// higher address bytes latched); a page is committed right after its last word or byte. A flash
// word is two bytes, everything else one. A verify read that returns false with the port still
// open found a difference; with the port closed, the gateway failed and the operation has logged
// why.
struct Driver {
    using Plain = bool (*)(Bus&, const Target&);
    // Reads the bytes at pos into `bytes`; with verify set, compares them with `bytes` instead
    // and stops at the first that differs.
    using Read = bool (*)(Bus&, const Target&, std::int32_t pos, std::span<std::uint8_t> bytes, ReadMode verify);
    using Write = bool (*)(Bus&, const Target&, std::int32_t pos, std::span<const std::uint8_t> bytes);
    using Commit = bool (*)(Bus&, const Target&, std::int32_t pos);
    using FuseRead = bool (*)(Bus&, const Target&, FuseSlots slots);
    using FuseWrite = bool (*)(Bus&, const Target&, ConstFuseSlots slots);
    // Reads as many calibration bytes as `bytes` holds.
    using CalibrationRead = bool (*)(Bus&, const Target&, std::span<std::uint8_t> bytes);
    // Answers in flight: every packet of the read at pos, the answering ones included, sent
    // without collecting an answer. One answer a byte of the read comes back, in the order of
    // the bytes, shaped as `readAnswer` says, with the byte's value first; the caller collects
    // them. The calling contract of the reads holds.
    using ReadRequest = bool (*)(Bus&, const Target&, std::int32_t pos);

    std::string_view name;  // the unit's name, e.g. "Atmega640"

    Plain EnterProgMode = nullptr;
    Plain EraseChip = nullptr;

    // Parallel families: one flash word at an even byte address; paged units load the word into
    // the page buffer and WriteFlashPage(pos of the page's last word) programs the page.
    Read ReadFlashWord = nullptr;
    Write WriteFlashWord = nullptr;
    Commit WriteFlashPage = nullptr;  // parallel: last word's pos; serial: last byte's address

    // Serial family: one flash byte; units with a page size load bytes and commit pages.
    Read ReadFlashByte = nullptr;
    Write WriteFlashByte = nullptr;
    Write LoadFlashByte = nullptr;

    Read ReadEepromByte = nullptr;
    Write WriteEepromByte = nullptr;  // parallel paged units gather EEPROM pages themselves
    Write LoadEepromByte = nullptr;   // serial units with an EEPROM page of 4
    Commit WriteEepromPage = nullptr;  // address of the page's last byte

    ReadRequest RequestFlashRead = nullptr;   // a word (parallel) or a byte (serial)
    ReadRequest RequestEepromRead = nullptr;
    AnswerShape readAnswer{};

    FuseRead ReadFuseLockBits = nullptr;  // all slots in one pass
    FuseRead ReadLockBits = nullptr;
    FuseWrite WriteLockBits = nullptr;
    FuseWrite WriteFuseLow = nullptr;
    FuseWrite WriteFuseHigh = nullptr;
    FuseWrite WriteFuseExtended = nullptr;
    FuseRead ReadFuseLow = nullptr;
    FuseRead ReadFuseHigh = nullptr;
    FuseRead ReadFuseExtended = nullptr;
    CalibrationRead ReadCalibration = nullptr;

    Plain WriteBlankFlashByte = nullptr;  // the one unit whose erase needs a programmed byte
};

// The lock and fuse operations in the order the Lock & Fuses dialog calls them after
// EnterProgMode; only the ones the unit offers, stopping at the first false.
template <class Operation>
struct OperationList {
    std::array<Operation, 4> op{};
    std::size_t count = 0;

    const Operation* begin() const { return op.data(); }
    const Operation* end() const { return op.data() + count; }
};

// Read: ReadFuseLockBits alone where offered, else ReadLockBits, ReadFuseExtended,
// ReadFuseHigh, ReadFuseLow. Write: extended, high, low fuse, then always the lock byte last.
OperationList<Driver::FuseRead> LockFuseReadSequence(const Driver& driver);
OperationList<Driver::FuseWrite> LockFuseWriteSequence(const Driver& driver);

}  // namespace quillon
