// Why something did not do what it was asked, as one value from the gateway step that noticed
// it up to the front end that shows it: the kind of failure (what a caller acts on), the words
// to show (the log's lines, as the log said them), and where in a memory it happened. Log lines
// show a failure; nobody reads them back to learn one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace quillon {

enum class FailureKind {
    None,
    NoChip,       // no chip is selected
    UnknownChip,  // the selected chip has no driver unit
    WrongChip,    // the chip in the socket is not the selected one: nothing was changed
    NotOffered,   // the chip's unit lacks the operation
    Port,         // the port could not be opened
    Link,         // the gateway took no packet or gave no answer; the port is closed
    Chip,         // the chip did not do what programming needs (not in step, stayed busy)
    Differs,      // a verify found a byte the chip does not hold
    File,         // a file could not be opened, read or written
    FileContent,  // a file holds a line the loader does not take
    FilePart,     // a file loaded only in part: empty, cut short, or going on after its end
    FileBeyond,   // a file's data partly lies beyond the end of the memory and was left out;
                  // all that fits loaded, which a user may knowingly accept
    Input,        // the command's own input is wrong (a value typed by the user)
};

// The first byte a verify found different: its address and what the chip and the file hold there.
struct ByteDifference {
    std::uint32_t address = 0;
    std::uint8_t chip = 0;
    std::uint8_t file = 0;
};

struct Failure {
    FailureKind kind = FailureKind::None;
    std::string words;  // what the log said about it, lines joined by '\n'
    // Where in the memory it stopped: the address a walk failed at, empty when it failed before
    // the first one or when nothing it did there can be trusted.
    std::optional<std::uint32_t> address;
    std::optional<ByteDifference> difference;  // a verify's difference, with both bytes

    Failure() = default;
    Failure(FailureKind k, std::string w) : kind(k), words(std::move(w)) {}

    bool Failed() const { return kind != FailureKind::None; }
    friend bool operator==(const Failure& failure, FailureKind kind) { return failure.kind == kind; }

    // Adds a line the log showed after the failure's own ones.
    Failure& Then(const std::string& line)
    {
        words += (words.empty() ? "" : "\n") + line;
        return *this;
    }
};

// "0x00B0: the chip holds 0x00, the file 0x55"
std::string DifferenceText(const ByteDifference& difference);

}  // namespace quillon
