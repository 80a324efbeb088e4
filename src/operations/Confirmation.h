// The questions asked before a command changes the chip, answered by whichever front end runs
// the command: the window with a Yes/No message box, the command line with a flag.
#pragma once

#include <functional>
#include <string_view>

namespace quillon {

// What answering Yes risks: the command line answers data loss with --yes, and only --force
// overrides a check that found the chip or the bytes unsafe.
enum class Risk {
    DataLoss,   // the chip's content goes, as the user asked
    WrongChip,  // the chip in the socket is not the selected one
    LockOut,    // the bytes end programming of this chip with this tool
};

struct Question {
    std::string_view caption;
    std::string_view text;
    Risk risk = Risk::DataLoss;
};

// Asked by "Write Program" and "Chip Erase": everything on the chip goes.
inline constexpr Question kFlashLossQuestion{
    "Warning", "All previous chip data will be lost (Flash, EEPROM, Lock Bits). Are you sure?"};
// Asked by "Write Data": only the EEPROM is rewritten.
inline constexpr Question kEepromLossQuestion{
    "Warning", "All previous chip data will be lost (EEPROM). Are you sure?"};

// Asked by quillon-cli's write-fuses: the window's Lock & Fuses dialog is its own question.
inline constexpr Question kFuseWriteQuestion{
    "Warning", "The lock and fuse bytes of the chip will be rewritten. Are you sure?"};

// True only for an explicit Yes; No is the default answer, so an empty function declines.
using Confirm = std::function<bool(const Question& question)>;

inline bool Ask(const Confirm& confirm, const Question& question)
{
    return confirm && confirm(question);
}

}  // namespace quillon
