// What a file reader stored into one memory image: how many bytes, which addresses it covered,
// and how many bytes it had to leave out beyond the memory's end.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quillon {

// [first, end) in the memory's own addresses.
struct AddressRange {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
    bool operator==(const AddressRange&) const = default;
};

struct MemoryLoad {
    std::uint64_t loadedBytes = 0;
    std::uint64_t droppedBytes = 0;  // addressed at or beyond the memory's end
    std::uint64_t firstDropped = 0;  // the lowest of those addresses
    std::vector<AddressRange> covered;  // ascending, adjacent and overlapping ranges merged

    // Copies `bytes` to `address` onwards; what falls beyond the memory is counted, not stored.
    void Store(std::span<std::uint8_t> memory, std::uint64_t address, std::span<const std::uint8_t> bytes);
};

}  // namespace quillon
