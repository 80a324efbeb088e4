// One gateway step with the program's failure convention: a failed send logs message 6 with
// the step's text and closes the port; a missing answer logs message 7 and closes the port.
// Either closes it as Link::CloseAfterFailure does, with the socket switched off first when the
// link was asked to.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/Failure.h"
#include "gateway/Commands.h"

namespace quillon {

class Bus;

// A step that failed: logs `text` under message `index` and closes the port as
// Link::CloseAfterFailure does, with that line as the reason the port is closed.
void StepFailed(Bus& bus, int index, std::string_view text);

// What a sequence of steps that gave up failed on. Every failed step closes the port, so a
// closed port gives the failure that closed it (kind Link, with the lines the log showed); with
// the port open the gateway answered throughout, and it is the chip that did not do its part
// (kind Chip: its own line, if any, is in the log).
Failure StepsFailure(const Bus& bus);

// Sends the packet; on failure logs "Error executing commands: " + failText, closes, false.
bool SendStep(Bus& bus, const Packet& packet, std::string_view failText);

// Collects one answer of up to `count` bytes, of which the first `used` matter (the answer ends
// at a quiet pause once they are in); none logs "Error reading the answer" + whatText
// (" (PINB)", " (PINC)", " (SPI paket)"), closes the port and gives nullopt.
std::optional<Answer> ReadStep(Bus& bus, int count, std::string_view whatText, int used);
inline std::optional<Answer> ReadStep(Bus& bus, int count, std::string_view whatText)
{
    return ReadStep(bus, count, whatText, count);
}

// A packet that ends in ReadPINB, then its one answer byte (missing answer: " (PINB)").
std::optional<std::uint8_t> ReadBusStep(Bus& bus, const Packet& packet, std::string_view failText);

// How an answer is collected: up to `count` bytes, of which the first `used` matter, and the
// text a missing one logs.
struct AnswerShape {
    int count = 1;
    int used = 1;
    std::string_view whatText;
};

inline constexpr AnswerShape kPinbAnswer{1, 1, " (PINB)"};

// Answers in flight: sends a packet that answers without waiting for its answer, which a later
// ReadStep with the same shape collects; a failed send is logged and closes like SendStep.
bool SendOwingStep(Bus& bus, const Packet& packet, std::string_view failText, const AnswerShape& answer);

inline std::optional<Answer> ReadStep(Bus& bus, const AnswerShape& answer)
{
    return ReadStep(bus, answer.count, answer.whatText, answer.used);
}

}  // namespace quillon
