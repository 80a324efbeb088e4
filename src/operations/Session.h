// What the operations work on: the bus to the gateway, the selected chip's record with its
// images, and the progress sink. The units below see only the bus; the file commands see the
// workspace the session lends them. A front end that shows the images in views copies between
// them and the images around each command.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "chips/Chip.h"
#include "core/Progress.h"
#include "gateway/Bus.h"
#include "images/Workspace.h"

namespace quillon {

struct Session {
    explicit Session(PortOpener opener = OpenSerialPort) : bus(std::move(opener)) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Bus bus;
    std::unique_ptr<Chip> chipStorage = std::make_unique<Chip>();  // 320 KiB: keep it off the stack
    Chip& chip = *chipStorage;
    ProgressSink* progress = nullptr;
    // Read the signature before a command changes the chip. Off, every command sends exactly
    // the bytes stations qualified it with (docs/compatibility.md); the window and quillon-cli
    // turn it on unless told not to.
    bool checkChipInSocket = false;
    // Every command ends with the socket's supplies off, as do Disconnect and a change of port.
    // Off, the socket stays powered between commands, for fixtures that keep the chip running
    // (and every command sends exactly its own bytes; docs/compatibility.md); the window and
    // quillon-cli turn it on unless told not to.
    bool powerDownAfterCommand = false;
    // Write Lock & Fuses reads the bytes it wrote back and fails, naming each one, when the chip
    // does not hold them (a locked chip refuses fuse writes without a word). Off, the write sends
    // only its own bytes; the window and quillon-cli turn it on unless told not to.
    bool readBackFuses = false;
    // Autosearch tries the serial signature read when the parallel one finds no chip it knows.
    bool serialAutosearch = false;

    // Write Program leaves out the flash pages that hold only 0xFF (the window's option "Skip
    // blank pages when writing"; on in quillon-cli unless --whole-memory).
    bool skipBlankPages = false;
    // Write Program and Write Data compare the chip with what they wrote once they succeeded (the
    // window's option "Verify after writing"). Off, a write sends only its own bytes.
    bool verifyAfterWrite = false;
    // The bytes of the program and data images a file gave, one flag a byte: when set, Verify
    // compares only these. Unset, it compares the whole memory.
    std::optional<std::vector<std::uint8_t>> coveredProgram;
    std::optional<std::vector<std::uint8_t>> coveredData;
    // Reads and verifies send up to this many reads before collecting the first one's answers
    // (the window's "Answers in flight", --answers-in-flight). 1: one at a time, as always.
    int answersInFlight = 1;
    // Lets reads in flight go past what the gateway's input is known to hold (risky).
    bool unboundedInFlight = false;

    operator Workspace() { return {bus.log, chip, progress}; }
};

}  // namespace quillon
