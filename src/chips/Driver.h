// A chip driver unit as the operations see it: one table of operations, each taking the context.
// An operation the unit does not offer is null; every offered one returns true on success.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillon {

struct Context;

// Calling contract of the address operations: EnterProgMode first; then positions from 0 upward
// without gaps and without other operations between (the chip keeps the loaded command and the
// higher address bytes latched); a page is committed right after its last word or byte. A verify
// read that returns false with the port still open found a difference; with the port closed, the
// gateway failed and the operation has logged why.
struct Driver {
    using Plain = bool (*)(Context&);
    using Read = bool (*)(Context&, std::int32_t pos, bool verify);  // verify: compare, don't store
    using Write = bool (*)(Context&, std::int32_t pos);

    std::string_view name;  // the unit's name, e.g. "Atmega640"

    Plain EnterProgMode = nullptr;
    Plain EraseChip = nullptr;

    // Parallel families: one flash word at an even byte address; paged units load the word into
    // the page buffer and WriteFlashPage(pos of the page's last word) programs the page.
    Read ReadFlashWord = nullptr;
    Write WriteFlashWord = nullptr;
    Write WriteFlashPage = nullptr;  // parallel: last word's pos; serial: last byte's address

    // Serial family: one flash byte; units with a page size load bytes and commit pages.
    Read ReadFlashByte = nullptr;
    Write WriteFlashByte = nullptr;
    Write LoadFlashByte = nullptr;

    Read ReadEepromByte = nullptr;
    Write WriteEepromByte = nullptr;  // parallel paged units gather EEPROM pages themselves
    Write LoadEepromByte = nullptr;   // serial units with an EEPROM page of 4
    Write WriteEepromPage = nullptr;  // address of the page's last byte

    Plain ReadFuseLockBits = nullptr;  // all slots in one pass
    Plain ReadLockBits = nullptr;
    Plain WriteLockBits = nullptr;
    Plain WriteFuseLow = nullptr;
    Plain WriteFuseHigh = nullptr;
    Plain WriteFuseExtended = nullptr;
    Plain ReadFuseLow = nullptr;
    Plain ReadFuseHigh = nullptr;
    Plain ReadFuseExtended = nullptr;
    Plain ReadCalibration = nullptr;

    Plain WriteBlankFlashByte = nullptr;  // the one unit whose erase needs a programmed byte
};

// The lock and fuse operations in the order the Lock & Fuses dialog calls them after
// EnterProgMode; only the ones the unit offers, stopping at the first false.
struct OperationList {
    std::array<Driver::Plain, 4> op{};
    std::size_t count = 0;

    const Driver::Plain* begin() const { return op.data(); }
    const Driver::Plain* end() const { return op.data() + count; }
};

// Read: ReadFuseLockBits alone where offered, else ReadLockBits, ReadFuseExtended,
// ReadFuseHigh, ReadFuseLow. Write: extended, high, low fuse, then always the lock byte last.
OperationList LockFuseReadSequence(const Driver& driver);
OperationList LockFuseWriteSequence(const Driver& driver);

}  // namespace quillon
