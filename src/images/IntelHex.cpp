#include "images/IntelHex.h"

#include <algorithm>
#include <array>

#include "images/HexText.h"

namespace quillon {

namespace {

constexpr std::uint32_t kProgressBlock = 1024;

std::size_t LineEnd(std::string_view text, std::size_t from)
{
    const char* p = text.data();
    std::size_t i = from;
    while (i < text.size() && p[i] != '\r' && p[i] != '\n') ++i;
    return i;
}

// Calls f(line) for every line of text; a line ends at CR, LF or CR LF, and text after the last
// line break is a line too when it is not empty. Stops when f returns false.
template <typename F>
void ForEachLine(std::string_view text, F&& f)
{
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = LineEnd(text, start);
        if (!f(text.substr(start, end - start))) return;
        start = end;
        if (start < text.size() && text[start] == '\r') ++start;
        if (start < text.size() && text[start] == '\n') ++start;
    }
}

std::size_t CountLines(std::string_view text)
{
    std::size_t count = 0;
    ForEachLine(text, [&](std::string_view) {
        ++count;
        return true;
    });
    return count;
}

std::string_view TrimTrailingBlanks(std::string_view line)
{
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    return line;
}

std::string LineFault(std::size_t lineNumber, const std::string& what)
{
    return " (line " + std::to_string(lineNumber) + ": " + what + ")";
}

// One record's bytes after the colon: count, address, type, data, checksum.
struct Record {
    std::array<std::uint8_t, 5 + 255> bytes;
    std::size_t size = 0;

    std::size_t count() const { return bytes[0]; }
    std::uint32_t address() const { return std::uint32_t{bytes[1]} << 8 | bytes[2]; }
    std::uint8_t type() const { return bytes[3]; }
    std::uint8_t data(std::size_t j) const { return bytes[4 + j]; }
};

// Decodes the line into one whole record; returns what is wrong, or "" when it is sound.
std::string Decode(std::string_view line, Record& record)
{
    if (line[0] != ':') return "no colon at its start";
    for (std::size_t i = 1; i < line.size(); ++i)
        if (HexDigitValue(line[i]) < 0)
            return "character " + std::to_string(i + 1) + " is not a hexadecimal digit";
    if (line.size() < 11) return "too short for a record";
    record.size = (line.size() - 1) / 2;
    if (record.size > record.bytes.size()) record.size = record.bytes.size();
    unsigned sum = 0;
    for (std::size_t k = 0; k < record.size; ++k) {
        record.bytes[k] = static_cast<std::uint8_t>(HexDigitValue(line[1 + 2 * k]) << 4 |
                                                    HexDigitValue(line[2 + 2 * k]));
        sum += record.bytes[k];
    }
    if (line.size() != 11 + 2 * record.count())
        return "its length does not match its byte count of " + std::to_string(record.count());
    if ((sum & 0xFF) != 0) return "wrong checksum";
    return {};
}

void PutByte(std::string& out, std::uint8_t b)
{
    char digits[2];
    PutHexByte(digits, b);
    out.append(digits, 2);
}

}  // namespace

HexReadResult ReadIntelHex(std::string_view text, std::span<std::uint8_t> memory,
                           const ProgressStep& progress)
{
    HexReadResult result;
    const std::size_t count = CountLines(text);
    const auto total = static_cast<std::uint32_t>(std::min<std::size_t>(count, UINT32_MAX));
    // Both bases are added, as files mixing segment and linear records expect. Kept in 64 bits so
    // that large bases never wrap around onto low addresses.
    std::uint64_t linearBase = 0;
    std::uint64_t segmentBase = 0;
    std::size_t i = 0;
    auto stop = [&](HexReadResult::Ending ending, std::string reason) {
        result.ending = ending;
        result.reason = std::move(reason);
        if (progress && count % kProgressBlock == 0) progress(total + 1, total);
        return false;
    };
    Record record;
    std::string_view endLine;
    // Takes one line; false when the loading ends there (stop has then set the bar).
    auto take = [&](std::string_view raw, std::size_t index) {
        std::string_view line = TrimTrailingBlanks(raw);
        if (line.empty()) return true;
        if (std::string fault = Decode(line, record); !fault.empty())
            return stop(HexReadResult::Ending::Rejected, LineFault(index + 1, fault));
        ++result.records;

        const std::size_t n = record.count();
        const std::uint32_t address = record.address();
        const std::uint8_t type = record.type();
        auto value16 = [&] { return std::uint32_t{record.data(0)} << 8 | record.data(1); };
        switch (type) {
        case 0x00:
            result.dataBytes += n;
            for (std::size_t j = 0; j < n; ++j) {
                const std::uint64_t target = linearBase + segmentBase + address + j;
                if (target < memory.size()) {
                    memory[target] = record.data(j);
                } else {
                    if (result.droppedBytes == 0 || target < result.firstDropped)
                        result.firstDropped = target;
                    ++result.droppedBytes;
                }
            }
            return true;
        case 0x01:
            endLine = raw;
            return stop(HexReadResult::Ending::EndRecord, {});
        case 0x02:
        case 0x04:
            if (n < 2)
                return stop(HexReadResult::Ending::Rejected,
                            LineFault(index + 1, "an address record needs two data bytes"));
            if (type == 0x02)
                segmentBase = std::uint64_t{value16()} * 16;
            else
                linearBase = std::uint64_t{value16()} * 65536;
            return true;
        case 0x03:
        case 0x05:
            // The toolchain writes one for a program whose entry is not address 0 (a boot
            // loader): the data around it is sound.
            if (n != 4)
                return stop(HexReadResult::Ending::Rejected,
                            LineFault(index + 1, "a start address record needs four data bytes"));
            if (!result.startAddress)
                result.startAddress = std::uint32_t{record.data(0)} << 24 | std::uint32_t{record.data(1)} << 16 |
                                      std::uint32_t{record.data(2)} << 8 | record.data(3);
            return true;
        default:
            return stop(HexReadResult::Ending::Rejected, " (unknown format)");
        }
    };
    ForEachLine(text, [&](std::string_view raw) {
        const std::size_t index = i++;
        if (!take(raw, index)) return false;
        // The bar moves after the line was taken; the line that ends the loading counts as the
        // end of the file, as stop reports it.
        if (progress && index % kProgressBlock == 0)
            progress(static_cast<std::uint32_t>(index + 1), total);
        return true;
    });
    if (result.ending == HexReadResult::Ending::EndRecord) {
        const auto after = static_cast<std::size_t>(endLine.data() - text.data()) + endLine.size();
        result.textAfterEnd = text.find_first_not_of(std::string_view(" \t\r\n\x1A\0", 6), after) != std::string_view::npos;
    }
    return result;
}

std::string WriteIntelHex(std::span<const std::uint8_t> memory, bool linearRecords,
                          const ProgressStep& progress)
{
    const std::size_t size = memory.size();
    const auto total = static_cast<std::uint32_t>(size);
    std::string out;
    // 8 bytes make a 29-character line; the address records and the end record come on top.
    out.reserve((size / 8 + 1) * 29 + (size / 65536 + 1) * 17 + 11);
    for (std::size_t i = 0; i < size; i += 8) {
        if (linearRecords && i % 65536 == 0) {
            const auto high = static_cast<std::uint8_t>(i >> 24);
            const auto low = static_cast<std::uint8_t>(i >> 16);
            out += ":02000004";
            PutByte(out, high);
            PutByte(out, low);
            PutByte(out, static_cast<std::uint8_t>(0x100 - ((0x02 + 0x04 + high + low) & 0xFF)));
            out += "\r\n";
        }
        // Only a memory whose size is no multiple of 8 ends in a shorter record.
        const auto n = static_cast<std::uint8_t>(std::min<std::size_t>(8, size - i));
        const auto addressHigh = static_cast<std::uint8_t>(i >> 8);
        const auto addressLow = static_cast<std::uint8_t>(i);
        unsigned sum = n + addressHigh + addressLow;
        out += ':';
        PutByte(out, n);
        PutByte(out, addressHigh);
        PutByte(out, addressLow);
        out += "00";
        for (std::size_t j = i; j < i + n; ++j) {
            PutByte(out, memory[j]);
            sum += memory[j];
            if (progress && j % kProgressBlock == 0)
                progress(static_cast<std::uint32_t>(j + 1), total);
        }
        PutByte(out, static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
        out += "\r\n";
    }
    out += ":00000001FF";
    return out;
}

}  // namespace quillon
