#include "images/MemoryLoad.h"

#include <algorithm>
#include <cstring>

namespace quillon {

void MemoryLoad::Store(std::span<std::uint8_t> memory, std::uint64_t address,
                       std::span<const std::uint8_t> bytes)
{
    if (bytes.empty()) return;
    const std::uint64_t size = memory.size();
    const std::uint64_t end = address + bytes.size();
    const std::uint64_t kept = address >= size ? 0 : std::min(end, size) - address;
    if (kept < bytes.size()) {
        const std::uint64_t first = address + kept;
        firstDropped = droppedBytes == 0 ? first : std::min(firstDropped, first);
        droppedBytes += bytes.size() - kept;
    }
    if (kept == 0) return;
    std::memcpy(memory.data() + address, bytes.data(), kept);
    loadedBytes += kept;

    AddressRange range{address, address + kept};
    auto at = std::lower_bound(covered.begin(), covered.end(), range,
                               [](const AddressRange& a, const AddressRange& b) { return a.first < b.first; });
    at = covered.insert(at, range);
    // Merge with the neighbours it touches, so the list stays short for files written in order.
    if (at != covered.begin() && std::prev(at)->end >= at->first) {
        auto before = std::prev(at);
        before->end = std::max(before->end, at->end);
        at = std::prev(covered.erase(at));
    }
    while (std::next(at) != covered.end() && std::next(at)->first <= at->end) {
        at->end = std::max(at->end, std::next(at)->end);
        covered.erase(std::next(at));
    }
}

}  // namespace quillon
