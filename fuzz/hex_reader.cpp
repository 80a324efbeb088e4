// Fuzz target of the Intel HEX reader: any text must end in one of the reader's three ways
// without touching memory outside the image, and what the writer makes of the result must read
// back to the same bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "images/IntelHex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quillon;
    std::array<std::uint8_t, 1024> memory{};
    memory.fill(0xFF);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ReadIntelHex(text, memory);

    std::array<std::uint8_t, 1024> back{};
    const HexReadResult again = ReadIntelHex(WriteIntelHex(memory, true), back);
    if (again.ending != HexReadResult::Ending::EndRecord || back != memory) __builtin_trap();
    return 0;
}
