// Motorola S-record text to and from a memory image. The reader takes S0 headers, S1/S2/S3 data,
// S5/S6 record counts and an S7/S8/S9 end record (or a last record count), checks every count
// and checksum, and stores nothing from a file it refuses; the writer emits the whole memory.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "images/MemoryLoad.h"

namespace quillon {

struct SRecordLoad {
    std::string error;  // empty when read; otherwise "line 7: ..." and nothing was stored
    MemoryLoad memory;
    // More than blank lines (or an end-of-file Ctrl-Z or NUL) after the end record: not loaded.
    bool textAfterEnd = false;
};

SRecordLoad ReadSRecord(std::string_view text, std::span<std::uint8_t> memory);

// The address width of the data records: 2 bytes (S1, ".s19"), 3 (S2, ".s28") or 4 (S3, ".s37").
// The writer never uses fewer than the memory's size needs.
enum class SRecordWidth { S19 = 2, S28 = 3, S37 = 4 };

// The width a file name asks for: ".s28" S2, ".s37" S3, any other name the smallest.
SRecordWidth SRecordWidthFor(std::string_view fileName);

// A header record, 16 data bytes a record, and the end record that matches the data records;
// LF line ends.
std::string WriteSRecord(std::span<const std::uint8_t> memory, SRecordWidth atLeast = SRecordWidth::S19);

}  // namespace quillon
