// The gateway's packets in the words of the programming methods, so that a trace table reads as a
// sequence of steps and still pins every byte on the wire. The command codes are written out here
// by hand, never taken from the program's packet builders: a mistake there must not reappear in
// what the tests expect.
//
//   "Cmd 02", "AddrL 10", "AddrH 01", "AddrE 01", "DataL 5A", "DataH A5"
//                       a load step: BS1/XA1 and BS2/XA0 set, the byte driven on the data bus and
//                       latched with an XTAL1 pulse (three packets)
//   "SPI AC 80 00 00"   a serial instruction, in the order the chip receives it: loaded last byte
//                       first, then exchanged (two packets)
//   "readback | 41 00"  the bytes of the last exchange asked for; the gateway answers eight, of
//                       which the test names the first (more are zero)
//   "rdy"               RDY/BSY polled and found ready
//   "sleep 9"           the program waits 9 ms
//   "0B 00 15 10 17 | FF"  any other packet as its bytes, and after "|" what the gateway answers
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/ScriptedTransport.h"

namespace quillon::test {

namespace wire_code {
constexpr std::uint8_t kSetDDRB = 0x0B;
constexpr std::uint8_t kSetPORTB = 0x0D;
constexpr std::uint8_t kSetPORTC = 0x11;
constexpr std::uint8_t kSetPORTD = 0x15;
constexpr std::uint8_t kReadPINC = 0x18;
constexpr std::uint8_t kPulse = 0x1D;
constexpr std::uint8_t kXtalPulse = 0x02;  // with kPulse
constexpr std::uint8_t kSpiLoad = 0x44;
constexpr std::uint8_t kSpiReadBack = 0x45;
constexpr std::uint8_t kSpiExchange = 0x46;
constexpr std::size_t kSpiReadBackLength = 8;
}  // namespace wire_code

// One step of a trace: a packet with its answer, or a wait.
struct WireStep {
    std::vector<std::uint8_t> packet;
    std::vector<std::uint8_t> answer;
    std::optional<int> sleepMs;
};

namespace packet_words {

// PORTC and PORTD of each load step: which of the chip's registers the latched byte goes to.
struct LoadStep {
    std::string_view word;
    std::uint8_t portC;
    std::uint8_t portD;
};
constexpr LoadStep kLoadSteps[] = {
    {"Cmd", 0x18, 0x14},   {"AddrL", 0x08, 0x14}, {"AddrH", 0x0A, 0x14},
    {"AddrE", 0x08, 0x94}, {"DataL", 0x08, 0x54}, {"DataH", 0x0A, 0x54},
};

inline std::vector<std::uint8_t> HexBytes(std::string_view text, std::string_view word)
{
    std::vector<std::uint8_t> bytes;
    std::istringstream in{std::string(text)};
    std::string token;
    while (in >> token) {
        std::size_t used = 0;
        unsigned long value = 0;
        try {
            value = std::stoul(token, &used, 16);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used != token.size() || token.size() > 2 || value > 0xFF) {
            ADD_FAILURE() << "\"" << token << "\" in \"" << word << "\" is not a byte in hex";
            return {};
        }
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

}  // namespace packet_words

// The packets (or the wait) one word stands for; a word that spells nothing fails the test.
inline std::vector<WireStep> Spell(std::string_view word)
{
    namespace code = wire_code;
    const std::size_t bar = word.find('|');
    const std::string_view head = word.substr(0, bar);
    std::vector<std::uint8_t> answer;
    if (bar != std::string_view::npos) answer = packet_words::HexBytes(word.substr(bar + 1), word);

    std::istringstream in{std::string(head)};
    std::string name;
    in >> name;
    std::string rest;
    std::getline(in, rest);
    auto one = [&](std::size_t count) {
        std::vector<std::uint8_t> args = packet_words::HexBytes(rest, word);
        if (args.size() != count) ADD_FAILURE() << "\"" << word << "\" needs " << count << " byte(s)";
        args.resize(count);
        return args;
    };

    for (const auto& load : packet_words::kLoadSteps) {
        if (name != load.word) continue;
        const std::uint8_t value = one(1)[0];
        return {{{code::kSetPORTC, load.portC, code::kSetPORTD, load.portD}, {}, {}},
                {{code::kSetDDRB, 0xFF, code::kSetPORTB, value}, {}, {}},
                {{code::kPulse, code::kXtalPulse}, {}, {}}};
    }
    if (name == "SPI") {
        const auto i = one(4);
        return {{{code::kSpiLoad, i[3], i[2], i[1], i[0]}, {}, {}}, {{code::kSpiExchange}, {}, {}}};
    }
    if (name == "readback") {
        if (answer.empty() || answer.size() > code::kSpiReadBackLength)
            ADD_FAILURE() << "\"" << word << "\" needs the answer's first bytes after \"|\"";
        answer.resize(code::kSpiReadBackLength, 0x00);
        return {{{code::kSpiReadBack}, answer, {}}};
    }
    if (name == "rdy") return {{{code::kReadPINC}, {0x01}, {}}};
    if (name == "sleep") return {{{}, {}, std::stoi(rest)}};

    std::vector<std::uint8_t> packet = packet_words::HexBytes(head, word);
    if (packet.empty()) ADD_FAILURE() << "\"" << word << "\" spells no packet";
    return {{std::move(packet), std::move(answer), {}}};
}

// Puts the steps of a trace, in order, on the wire's expectation list.
inline void ExpectWords(ScriptedWire& wire, const std::vector<std::string>& words)
{
    for (const std::string& word : words)
        for (WireStep& step : Spell(word)) {
            if (step.sleepMs)
                wire.ExpectSleep(*step.sleepMs);
            else
                wire.Expect(std::move(step.packet), std::move(step.answer));
        }
}

// Whether the packets of a word went out one after another among those written.
inline bool Sent(const std::vector<std::vector<std::uint8_t>>& written, std::string_view word)
{
    std::vector<std::vector<std::uint8_t>> packets;
    for (const WireStep& step : Spell(word))
        if (!step.sleepMs) packets.push_back(step.packet);
    return std::search(written.begin(), written.end(), packets.begin(), packets.end()) != written.end();
}

}  // namespace quillon::test
