// Fuzz target of the S-record reader: any text must end in a load or a refusal that names a
// line, a refusal stores nothing, and what the writer makes of the result reads back the same.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "images/SRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quillon;
    std::array<std::uint8_t, 1024> memory{};
    memory.fill(0xFF);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const SRecordLoad load = ReadSRecord(text, memory);
    if (!load.error.empty()) {
        if (load.error.rfind("line ", 0) != 0) __builtin_trap();
        for (std::uint8_t b : memory)
            if (b != 0xFF) __builtin_trap();
        return 0;
    }
    std::array<std::uint8_t, 1024> back{};
    const SRecordLoad again = ReadSRecord(WriteSRecord(memory), back);
    if (!again.error.empty() || back != memory) __builtin_trap();
    return 0;
}
