// The one record of the selected chip: identity, sizes, flash and EEPROM images, lock/fuse and
// calibration bytes. Plain data; the catalogue fills it, drivers, views and files use it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quillon {

inline constexpr std::uint32_t kFlashImageSize = 262144;
inline constexpr std::uint32_t kEepromImageSize = 65536;

// Where the lock and fuse slots came from: the catalogue's factory values, the chip itself (read
// from it or written to it), or boxes saved in the Lock & Fuses dialog and not written yet.
enum class SlotsOrigin : std::uint8_t { Factory, Chip, Edited };

struct Chip {
    std::string name;          // empty until a chip is selected
    std::string pictureFile;   // name + ".jpg"
    std::int32_t signature = 0;  // byte 0 in bits 0-7, 1 in 8-15, 2 in 16-23; 0 = none
    std::uint32_t flashSize = 0;
    std::array<std::uint8_t, kFlashImageSize> flash{};
    std::uint32_t eepromSize = 0;
    std::array<std::uint8_t, kEepromImageSize> eeprom{};
    std::uint8_t lockFuseCount = 0;           // 2, 3 or 4
    std::array<std::uint8_t, 8> lockFuse{};   // fuses first (low, high, extended), lock last
    SlotsOrigin lockFuseOrigin = SlotsOrigin::Factory;
    std::uint8_t calibrationCount = 0;        // 0, 1, 2 or 4
    std::array<std::uint8_t, 8> calibration{};
};

}  // namespace quillon
