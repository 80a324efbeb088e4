// A tray of chips for a production run: every new connection to the gateway finds the next chip
// in the socket, as an operator puts in one after another, and each chip's final contents are
// kept apart. One chip of the tray may be faulty.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "model/SocketChip.h"

namespace quillon::sim {

class ChipSupply {
public:
    // `make` gives a chip as it arrives (blank, or with the contents asked for); `count` chips in
    // all; the numbers in `faulty` (1 = the first chip) have a first flash page that never takes a
    // write, so they fail verify.
    ChipSupply(std::function<std::unique_ptr<SocketChip>()> make, int count, std::set<int> faulty);

    // The next chip, or null (an empty socket) once the tray is used up. Its number is Current().
    std::unique_ptr<SocketChip> Next();
    int Current() const { return current_; }  // 0 before the first
    bool CurrentFaulty() const { return faulty_.count(current_) > 0; }

    // What the faulty chip's silicon does after every command: its first page stays erased.
    static void Spoil(SocketChip& chip);

    // "chip-%d.bin" with the chip's number for %d; a name without %d gets ".N" appended.
    static std::string NumberedName(const std::string& pattern, int number);

private:
    std::function<std::unique_ptr<SocketChip>()> make_;
    int count_;
    std::set<int> faulty_;
    int current_ = 0;
};

}  // namespace quillon::sim
