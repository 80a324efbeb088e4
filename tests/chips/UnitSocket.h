// A bus and a chip record as the operations hold them, and calls of a unit's operations that hand
// the unit the record's bytes the way the memory walk and the lock & fuse commands do.
#pragma once

#include <algorithm>
#include <memory>
#include <span>
#include <string>
#include <variant>

#include "chips/Catalogue.h"
#include "chips/Driver.h"
#include "gateway/Bus.h"

namespace quillon::test {

struct UnitSocket {
    explicit UnitSocket(PortOpener opener) : bus(std::move(opener)) {}

    Bus bus;
    std::unique_ptr<Chip> chipStorage = std::make_unique<Chip>();
    Chip& chip = *chipStorage;

    Target target() const { return TargetOf(chip); }

    // As a selection from the menu leaves the record: identity, sizes, blank images.
    void Select(const ChipRow& entry)
    {
        FillChipRecord(chip, entry);
        ResetImages(chip);
    }
};

namespace drive {

// The bytes at pos of an image, as many as `width` and never past its end; none for a position
// outside it (the unit refuses those before it sends anything).
template <std::size_t N>
std::span<std::uint8_t> Bytes(std::array<std::uint8_t, N>& image, std::int32_t pos, std::size_t width)
{
    if (pos < 0 || static_cast<std::size_t>(pos) >= N) return {};
    return std::span(image).subspan(static_cast<std::size_t>(pos), std::min(width, N - static_cast<std::size_t>(pos)));
}

inline bool ReadFlashWord(const Driver& d, UnitSocket& s, std::int32_t pos, bool verify)
{
    return d.ReadFlashWord(s.bus, s.target(), pos, Bytes(s.chip.flash, pos, 2), verify);
}
inline bool WriteFlashWord(const Driver& d, UnitSocket& s, std::int32_t pos)
{
    return d.WriteFlashWord(s.bus, s.target(), pos, Bytes(s.chip.flash, pos, 2));
}
inline bool ReadFlashByte(const Driver& d, UnitSocket& s, std::int32_t pos, bool verify)
{
    return d.ReadFlashByte(s.bus, s.target(), pos, Bytes(s.chip.flash, pos, 1), verify);
}
inline bool WriteFlashByte(const Driver& d, UnitSocket& s, std::int32_t pos)
{
    return d.WriteFlashByte(s.bus, s.target(), pos, Bytes(s.chip.flash, pos, 1));
}
inline bool LoadFlashByte(const Driver& d, UnitSocket& s, std::int32_t pos)
{
    return d.LoadFlashByte(s.bus, s.target(), pos, Bytes(s.chip.flash, pos, 1));
}
inline bool WriteFlashPage(const Driver& d, UnitSocket& s, std::int32_t pos)
{
    return d.WriteFlashPage(s.bus, s.target(), pos);
}
inline bool ReadEepromByte(const Driver& d, UnitSocket& s, std::int32_t pos, bool verify)
{
    return d.ReadEepromByte(s.bus, s.target(), pos, Bytes(s.chip.eeprom, pos, 1), verify);
}
inline bool WriteEepromByte(const Driver& d, UnitSocket& s, std::int32_t pos)
{
    return d.WriteEepromByte(s.bus, s.target(), pos, Bytes(s.chip.eeprom, pos, 1));
}
inline bool LoadEepromByte(const Driver& d, UnitSocket& s, std::int32_t pos)
{
    return d.LoadEepromByte(s.bus, s.target(), pos, Bytes(s.chip.eeprom, pos, 1));
}
inline bool WriteEepromPage(const Driver& d, UnitSocket& s, std::int32_t pos)
{
    return d.WriteEepromPage(s.bus, s.target(), pos);
}

inline bool Run(Driver::Plain op, UnitSocket& s) { return op(s.bus, s.target()); }
inline bool Run(Driver::FuseRead op, UnitSocket& s) { return op(s.bus, s.target(), s.chip.lockFuse); }
inline bool Run(Driver::FuseWrite op, UnitSocket& s) { return op(s.bus, s.target(), s.chip.lockFuse); }
inline bool Run(Driver::CalibrationRead op, UnitSocket& s)
{
    const std::size_t count = std::min<std::size_t>(s.chip.calibrationCount, s.chip.calibration.size());
    return op(s.bus, s.target(), std::span(s.chip.calibration).first(count));
}

// Any operation of the table that takes no address, for tables of cases.
using AnyOperation = std::variant<Driver::Plain Driver::*, Driver::FuseRead Driver::*, Driver::FuseWrite Driver::*,
                                  Driver::CalibrationRead Driver::*>;

inline bool Offers(const Driver& d, const AnyOperation& op)
{
    return std::visit([&](auto member) { return d.*member != nullptr; }, op);
}
inline bool Run(const Driver& d, const AnyOperation& op, UnitSocket& s)
{
    return std::visit([&](auto member) { return Run(d.*member, s); }, op);
}

}  // namespace drive
}  // namespace quillon::test
