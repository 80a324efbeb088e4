// Where quillon-cli says what happens: plain lines for people (the default), or one JSON object
// a line on standard output for programs (--json). Every kind of message has one method here,
// so the two forms never drift apart.
#pragma once

#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "cli/ChipList.h"
#include "core/Progress.h"

namespace quillon::cli {

class TerminalProgress;

// One fuse field of a slot in words.
struct FieldReport {
    std::string name;       // "SUT_CKSEL", "EESAVE"
    std::string key;        // "clock", "eesave": what write-fuses takes
    unsigned value = 0;     // the field's bits, shifted down
    std::string setting;    // "xtal-8m-16k-65ms", "on", "reserved-0x1"
    std::string meaning;    // the setting in words (a bit: what it does when on)
    bool isBit = false;
    bool factory = true;         // the setting is the chip's factory one
    std::string factorySetting;  // the factory setting's key
};

// One lock or fuse slot as read-fuses shows it.
struct SlotReport {
    std::string name;                     // "Low Fuses"
    unsigned value = 0xFF;
    std::vector<std::string> programmed;  // names of the bits that are 0, high bit first
    std::vector<FieldReport> fields;      // the fuse fields in words; none for the lock byte
};

class Output {
public:
    Output(bool json, std::FILE* out, std::FILE* err);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    bool Json() const { return json_; }
    void SetCommand(const std::string& word) { command_ = word; }  // named in progress and fuses

    void Log(const std::string& line);
    void Error(const std::string& message);  // without the "quillon-cli: " prefix
    int ErrorsShown() const { return errors_; }
    void Fuses(const std::vector<SlotReport>& slots);
    void Result(const std::string& command, const std::string& argument, bool ok);
    void Exit(int status, const std::vector<std::string>& failed);
    void Version(const std::string& version);
    void Chips(std::span<const ChipListRow> rows);  // list-chips
    void Text(const std::string& text);  // the help text: plain in both forms
    void JsonObject(const std::string& line);  // one ready JSON object (only with --json)

    // The progress window: a bar on a terminal's stderr, steps as JSON, or none.
    ProgressSink* Progress();

private:
    class Steps;
    void Emit(const std::string& jsonLine);

    bool json_;
    std::FILE* out_;
    std::FILE* err_;
    std::string command_;
    int errors_ = 0;
    std::unique_ptr<TerminalProgress> bar_;
    std::unique_ptr<Steps> steps_;
};

}  // namespace quillon::cli
