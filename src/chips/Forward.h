// Binds a family's operation, written once for every unit of the family, to one unit: the
// operation table holds plain function pointers, so each (operation, unit) pair becomes a
// function of its own that passes the unit along.
#pragma once

#include <cstdint>
#include <span>

#include "chips/Driver.h"
#include "chips/Steps.h"

namespace quillon {

// The range an addressed operation's position and bytes must lie in before anything is sent.
enum class Bounds {
    None,        // no position
    FlashWord,   // a flash word: two bytes at an even image position
    FlashByte,   // one flash byte
    Eeprom,      // one EEPROM byte
};

template <Bounds B>
bool FitsBounds(std::int32_t pos, std::size_t bytes)
{
    if constexpr (B == Bounds::FlashWord) return InFlash(pos, bytes, 2);
    if constexpr (B == Bounds::FlashByte) return InFlash(pos, bytes);
    if constexpr (B == Bounds::Eeprom) return InEeprom(pos, bytes);
    return true;
}

template <Bounds B, class Bytes, class... Rest>
bool InBounds(std::int32_t pos, Bytes bytes, Rest...)
{
    return FitsBounds<B>(pos, bytes.size());
}

// A request moves no caller's bytes: its position alone must fit what the read would move.
template <Bounds B>
bool InBounds(std::int32_t pos)
{
    return FitsBounds<B>(pos, B == Bounds::FlashWord ? 2 : 1);
}

template <auto Operation, const auto& Unit, Bounds B, class = decltype(Operation)>
struct Forwarder;

template <auto Operation, const auto& Unit, Bounds B, class UnitType, class... Args>
struct Forwarder<Operation, Unit, B, bool (*)(Bus&, const Target&, const UnitType&, Args...)> {
    static bool Call(Bus& bus, const Target& target, Args... args)
    {
        if constexpr (B != Bounds::None) {
            if (!InBounds<B>(args...)) return false;
        }
        return Operation(bus, target, Unit, args...);
    }
};

// `Operation` of the family with `Unit` bound, checking the position against `B` first.
template <auto Operation, const auto& Unit, Bounds B = Bounds::None>
inline constexpr auto Forward = &Forwarder<Operation, Unit, B>::Call;

}  // namespace quillon
