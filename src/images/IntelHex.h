// Intel HEX text to and from a memory image: the reader takes data, end, extended segment and
// extended linear address records, and start address records, whose address it only reports;
// the writer emits 8-byte data records and end of file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillon {

// Told (done, total) at the reader's and writer's progress boundaries.
using ProgressStep = std::function<void(std::uint32_t done, std::uint32_t total)>;

struct HexReadResult {
    enum class Ending {
        EndRecord,  // an end-of-file record was met
        EndOfText,  // the text ran out without one
        Rejected,   // stopped at a record that is not taken; `reason` says why
    };
    Ending ending = Ending::EndOfText;
    std::string reason;               // for Rejected: " (from 80386)", " (line 7: ...)" and so on
    std::uint64_t droppedBytes = 0;   // data addressed at or beyond the memory's end
    std::uint64_t firstDropped = 0;   // the lowest of those addresses
    std::size_t records = 0;          // records taken, the end record included
    std::uint64_t dataBytes = 0;      // bytes of the data records, stored or dropped
    // The first start address record's value (CS:IP as CS << 16 | IP, or EIP): where a program
    // on a PC would begin. An AVR always starts at its reset vector, so nothing uses it.
    std::optional<std::uint32_t> startAddress;
    // For EndRecord: the text goes on with more than blank lines (or the end-of-file control
    // characters old tools append) after it; none of it was read.
    bool textAfterEnd = false;
};

// Stores the data records of `text` into `memory` (its size is the chip's memory size); bytes
// not covered keep their values. Stops at an end record or at the first record it does not
// take, keeping what was stored before.
HexReadResult ReadIntelHex(std::string_view text, std::span<std::uint8_t> memory,
                           const ProgressStep& progress = {});

// The whole memory as Intel HEX: an extended linear address record before every 64 KiB when
// `linearRecords` is set, 8 data bytes per record, CR LF line ends, and the end record last with
// no line break after it.
std::string WriteIntelHex(std::span<const std::uint8_t> memory, bool linearRecords,
                          const ProgressStep& progress = {});

}  // namespace quillon
