#include "images/SRecord.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "images/HexText.h"

namespace quillon {

namespace {

constexpr std::size_t kBytesPerRecord = 16;

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// How many address bytes each record type carries; 0 for a type that does not exist.
int AddressBytes(char type)
{
    switch (type) {
    case '0': case '1': case '5': case '9': return 2;
    case '2': case '6': case '8': return 3;
    case '3': case '7': return 4;
    default: return 0;
    }
}

struct Data {
    std::uint64_t address;
    std::vector<std::uint8_t> bytes;
};

SRecordLoad Refused(std::size_t lineNumber, const std::string& what)
{
    SRecordLoad load;
    load.error = "line " + std::to_string(lineNumber) + ": " + what;
    return load;
}

}  // namespace

SRecordLoad ReadSRecord(std::string_view text, std::span<std::uint8_t> memory)
{
    std::vector<Data> records;
    std::uint64_t dataRecords = 0;
    char dataType = 0;
    bool ended = false;
    bool countedLast = false;  // the last record so far is a record count that matched
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size() && !ended) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        ++lineNumber;
        start = end;
        if (start < text.size() && text[start] == '\r') ++start;
        if (start < text.size() && text[start] == '\n') ++start;

        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
        if (line.empty()) continue;
        if (line[0] != 'S' && line[0] != 's') return Refused(lineNumber, "not an S-record (it must start with S)");
        if (line.size() < 2) return Refused(lineNumber, "the record type is missing");
        const char type = line[1];
        const int addressBytes = AddressBytes(type);
        if (addressBytes == 0) return Refused(lineNumber, std::string("unknown record type S") + type);

        // Count, address, data and checksum as bytes.
        const std::string_view digits = line.substr(2);
        if (digits.size() % 2 != 0 || digits.size() < 2)
            return Refused(lineNumber, "an odd number of hex digits");
        std::array<std::uint8_t, 256> bytes{};
        if (digits.size() / 2 > bytes.size()) return Refused(lineNumber, "the record is longer than 255 bytes");
        const std::size_t byteCount = digits.size() / 2;
        for (std::size_t i = 0; i < byteCount; ++i) {
            const int high = HexValue(digits[2 * i]), low = HexValue(digits[2 * i + 1]);
            if (high < 0 || low < 0) return Refused(lineNumber, "a character that is not a hex digit");
            bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
        }
        const std::size_t count = bytes[0];
        if (count != byteCount - 1)
            return Refused(lineNumber, "the byte count says " + std::to_string(count) + ", the record holds " +
                                           std::to_string(byteCount - 1));
        if (count < static_cast<std::size_t>(addressBytes) + 1)
            return Refused(lineNumber, "the record is too short for its address");
        unsigned sum = 0;
        for (std::size_t i = 0; i < byteCount - 1; ++i) sum += bytes[i];
        const auto expected = static_cast<std::uint8_t>(~sum & 0xFF);
        if (bytes[byteCount - 1] != expected)
            return Refused(lineNumber, "checksum mismatch");

        std::uint64_t address = 0;
        for (int i = 1; i <= addressBytes; ++i) address = address << 8 | bytes[static_cast<std::size_t>(i)];
        const std::size_t dataStart = 1 + static_cast<std::size_t>(addressBytes);
        const std::size_t dataSize = byteCount - 1 - dataStart;
        countedLast = false;

        switch (type) {
        case '0': break;  // header: free text, nothing to store
        case '1': case '2': case '3':
            if (dataType != 0 && dataType != type)
                return Refused(lineNumber, std::string("an S") + type + " record among S" + dataType + " records");
            dataType = type;
            ++dataRecords;
            records.push_back({address, std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(dataStart),
                                                                  bytes.begin() + static_cast<std::ptrdiff_t>(dataStart + dataSize))});
            break;
        case '5': case '6':
            if (dataSize != 0) return Refused(lineNumber, "a record count that carries data");
            if (address != (dataRecords & (type == '5' ? 0xFFFF : 0xFFFFFF)))
                return Refused(lineNumber, "the record count says " + std::to_string(address) + " data records, " +
                                               std::to_string(dataRecords) + " came before it");
            countedLast = true;
            break;
        default:  // '7', '8', '9'
            if (dataSize != 0) return Refused(lineNumber, "an end record that carries data");
            if (dataType != 0 && dataType - '0' + type - '0' != 10)
                return Refused(lineNumber, std::string("an S") + type + " end record after S" + dataType + " records");
            ended = true;
            break;
        }
    }
    // Some tools end a file with its record count instead of an end record; that count still
    // shows the file is whole. With neither, a file cut at a line break would pass unnoticed.
    if (!ended && !countedLast) {
        if (dataRecords == 0 && lineNumber == 0) return Refused(1, "the file is empty");
        return Refused(lineNumber, "the file ends without an end record (S7, S8 or S9) or a record count "
                                   "(S5, S6): it may be cut short");
    }

    SRecordLoad load;
    for (const Data& record : records) load.memory.Store(memory, record.address, record.bytes);
    load.textAfterEnd = ended && text.find_first_not_of(std::string_view(" \t\r\n\x1A\0", 6), start) != std::string_view::npos;
    return load;
}

SRecordWidth SRecordWidthFor(std::string_view fileName)
{
    std::string tail(fileName.substr(fileName.size() < 4 ? 0 : fileName.size() - 4));
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail == ".s28") return SRecordWidth::S28;
    if (tail == ".s37") return SRecordWidth::S37;
    return SRecordWidth::S19;
}

std::string WriteSRecord(std::span<const std::uint8_t> memory, SRecordWidth atLeast)
{
    int width = static_cast<int>(atLeast);
    if (memory.size() > 0x10000) width = std::max(width, 3);
    if (memory.size() > 0x1000000) width = 4;
    const char dataType = static_cast<char>('0' + width - 1);
    const char endType = static_cast<char>('0' + 11 - width);

    std::string text;
    text.reserve(memory.size() * 2 + memory.size() / kBytesPerRecord * 16 + 64);
    auto record = [&](char type, int addressBytes, std::uint64_t address, std::span<const std::uint8_t> data) {
        std::array<std::uint8_t, 256> bytes{};
        std::size_t n = 0;
        bytes[n++] = static_cast<std::uint8_t>(addressBytes + data.size() + 1);
        for (int i = addressBytes - 1; i >= 0; --i) bytes[n++] = static_cast<std::uint8_t>(address >> (8 * i));
        for (std::uint8_t b : data) bytes[n++] = b;
        unsigned sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += bytes[i];
        bytes[n++] = static_cast<std::uint8_t>(~sum & 0xFF);
        text += 'S';
        text += type;
        for (std::size_t i = 0; i < n; ++i) {
            text += kUpperHexDigits[bytes[i] >> 4];
            text += kUpperHexDigits[bytes[i] & 0x0F];
        }
        text += '\n';
    };
    static constexpr std::uint8_t kHeader[] = {'q', 'u', 'i', 'l', 'l', 'o', 'n'};
    record('0', 2, 0, kHeader);
    for (std::size_t at = 0; at < memory.size(); at += kBytesPerRecord)
        record(dataType, width, at, memory.subspan(at, std::min(kBytesPerRecord, memory.size() - at)));
    record(endType, 11 - (endType - '0'), 0, {});
    return text;
}

}  // namespace quillon
