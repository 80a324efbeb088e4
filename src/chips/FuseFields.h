// Every chip's fuse bytes in words: each byte split into its fields, single bits with one line on
// what they do and multi-bit fields (clock source with start-up, brown-out level, boot section
// size, ...) with every setting the chip's datasheet allows. A value the datasheet reserves has
// no setting: it is shown as "reserved" and never offered.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct ChipRow;

enum class FieldKind : std::uint8_t {
    Bit,       // one bit, programmed (0) or not
    Clock,     // clock source, mostly with its start-up time
    StartUp,   // start-up time alone
    BrownOut,  // brown-out level
    BootSize,  // boot loader section size
};

struct FuseSetting {
    std::uint8_t value = 0;  // the field's bits, shifted down to the lowest bit of its mask
    std::string key;         // short and stable, for the command line: "xtal-8m-16k-65ms", "2v7"
    std::string meaning;     // in words
    int millivolts = 0;      // brown-out: the level; 0 = detection off
    std::uint32_t bootWords = 0;  // boot size: the section's size in words
};

struct FuseField {
    std::string name;   // the bit or field name: "SUT_CKSEL", "BODLEVEL", "EESAVE"
    std::string key;    // how the command line names it: "clock", "bod", "boot", "eesave"
    FieldKind kind = FieldKind::Bit;
    std::uint8_t slot = 0;  // the fuse byte: 0 low (or the only one), 1 high, 2 extended
    std::uint8_t mask = 0;  // the field's bits in that byte
    std::string what;       // one short line on what it does
    std::vector<FuseSetting> settings;  // empty for a single bit

    bool IsBit() const { return settings.empty(); }
    std::uint8_t ValueIn(std::span<const std::uint8_t> bytes) const;
    void StoreIn(std::span<std::uint8_t> bytes, std::uint8_t value) const;
    const FuseSetting* Setting(std::uint8_t value) const;  // null: reserved
    const FuseSetting* SettingByKey(std::string_view key) const;
    // The setting's words, "programmed"/"unprogrammed" for a bit, "reserved (value 0x3)" otherwise.
    std::string Words(std::uint8_t value) const;
    // "on"/"off" for a bit (on = programmed), the setting's key, or "reserved-0x3".
    std::string KeyOf(std::uint8_t value) const;
};

struct ChipFuses {
    std::string_view chip;
    std::size_t fuseBytes = 0;  // the fuse slots; the lock byte follows them
    std::vector<std::uint8_t> factory;  // the factory value of every fuse byte
    std::vector<FuseField> fields;      // by byte, then from the highest bit down

    // By key or name, either case; null when the chip has no such field.
    const FuseField* Find(std::string_view keyOrName) const;
    std::string FieldKeys() const;  // "clock, ckout, ckdiv8, ..."
};

// Every chip of the table has one; null only for a row the table lacks.
const ChipFuses* FusesOf(const ChipRow& row);
const ChipFuses* FusesOf(std::string_view chipName);

// "Low fuse byte", "High fuse byte", "Extended fuse byte", "Fuse byte".
std::string FuseByteName(const ChipFuses& fuses, std::size_t slot);

// A common setting in one step: only the fields listed change.
struct FusePreset {
    std::string key;      // "factory", "rc-no-div", "crystal", "board16"
    std::string meaning;
    std::vector<std::pair<const FuseField*, std::uint8_t>> changes;
};

std::vector<FusePreset> PresetsOf(const ChipFuses& fuses);
// The bytes after the preset, from `bytes` (the fuse bytes only).
std::vector<std::uint8_t> ApplyPreset(const FusePreset& preset, std::span<const std::uint8_t> bytes);

// "bit on" -> "on": parses a single bit's value words; nullopt for anything else.
std::optional<bool> ParseBitWord(std::string_view word);

}  // namespace quillon
