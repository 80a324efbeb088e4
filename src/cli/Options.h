// The command line of quillon-cli: the port, the delay value, the chip, the answer to the
// confirmation questions and the list of commands, parsed without touching anything.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chips/MemoryWalk.h"

namespace quillon::cli {

enum class CommandKind {
    ReadProgram,
    WriteProgram,
    VerifyProgram,
    ReadData,
    WriteData,
    VerifyData,
    CompareProgram,
    CompareData,
    Erase,
    ReadCalibration,
    ReadFuses,
    WriteFuses,
    Rescue,
};

struct Command {
    CommandKind kind;
    std::string argument;  // the file, or the fuse bytes; empty for the others
    // write-fuses by field: "clock=xtal-8m-16k-65ms", "eesave=on", "preset=crystal".
    std::vector<std::string> settings;
};

struct Options {
    bool help = false;
    bool version = false;
    bool json = false;  // every line on stdout one JSON object
    bool listChips = false;  // list the supported chips instead of running commands
    bool wiring = false;     // write the chip's wiring drawing to `out` instead of running commands
    std::string out;
    // Fuses in words without a gateway: explain-fuses decodes bytes, fuse-settings lists every
    // field and setting of the chip named by --chip.
    bool explainFuses = false;
    bool fuseSettings = false;
    std::vector<std::string> explainBytes;
    std::string preset;  // --preset: a preset write-fuses applies before its named settings
    std::string port;
    int delay = 1;
    std::string chip;  // empty: autosearch
    bool yes = false;
    // Write although the chip or the fuse bytes look unsafe, or a file's data partly lies beyond
    // the memory.
    bool force = false;
    bool checkSignature = true;   // read the chip's signature before changing it
    bool verifyWrites = true;     // compare the chip with the file after writing it
    bool confirmAnswers = true;   // writes and erases prove the gateway still answers
    bool powerDown = true;        // the socket unpowered after every command and at the end
    int answerTimeoutMs = 1000;   // how long an answer may take before it counts as missing
    int page = 0;      // 0 = Page1, 1 = Page2; checked but unused, as the CLI shows no views
    // Write every flash page, blank or not, and verify the whole memory against the file padded
    // with 0xFF, instead of only the pages and bytes the file holds.
    bool wholeMemory = false;
    // Reads and verifies send up to this many reads ahead of their answers (1 to 32); 1 is one
    // at a time, the exchange the gateway has always had; kAutoAnswersInFlight (the default)
    // as many as hide the adapter's latency. Within the gateway's input unless unbounded.
    int answersInFlight = kAutoAnswersInFlight;
    bool unboundedInFlight = false;
    std::vector<Command> commands;
};

struct ParseResult {
    std::optional<Options> options;  // empty when the line is wrong
    std::string error;               // why, in one sentence
};

ParseResult ParseOptions(const std::vector<std::string>& args);

std::string_view CommandWord(CommandKind kind);  // "write-program" and so on

std::string UsageText();

// write-fuses takes a compiled program (a name ending in ".elf") instead of the bytes.
bool IsFuseFile(const std::string& argument);

// "E1,D9,FF" into bytes; empty when a piece is not one or two hex digits or there are more
// than four pieces.
std::optional<std::vector<unsigned char>> ParseFuseBytes(const std::string& text);

}  // namespace quillon::cli
