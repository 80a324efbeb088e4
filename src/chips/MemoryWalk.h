// The one walk over a chip's flash or EEPROM: programming mode first, then every word or byte
// from address 0 upward with the page commits the chip needs; and the erase that precedes a
// flash write. The unit's operations come from the chip's dispatch row, never from the caller.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "chips/ChipTable.h"
#include "chips/MemoryKind.h"
#include "core/Result.h"

namespace quillon {

class Bus;

// Called as the walk goes: bytes done so far and the memory's size, for a progress bar.
using WalkProgress = std::function<void(std::uint32_t done, std::uint32_t total)>;

struct WalkResult {
    // Succeeded, Failed or Cancelled (the bus's cancel request was seen between two packets; the
    // socket is unpowered).
    Ending ending = Ending::Succeeded;
    // On failure: NotOffered (the unit lacks an operation the walk needs, logged; no address was
    // sent), Link (the gateway failed: the lines the log showed), Chip (the chip did not do its
    // part) or Differs (a verify found a byte the chip does not hold, with both bytes where the
    // compare saw them).
    // `address`, also when cancelled: where a read, verify or write stopped; empty when it
    // stopped before the first address, or when a read's answers came out of step, as nothing
    // it read can be trusted then.
    Failure failure;
    // Cancelled writes: how many bytes from address 0 the chip holds as written (a page loaded
    // but not committed does not count; a blank page left out counts, as the erase made it so);
    // -1 when the chip was not touched at all.
    std::int64_t written = -1;
    // The bytes a verify compared, or a write sent; the rest were skipped.
    std::uint32_t bytes = 0;

    bool Done() const { return ending == Ending::Succeeded; }
    bool Cancelled() const { return ending == Ending::Cancelled; }
};

struct ReadChoices {
    // How many reads may have their packets sent before the answer of the first has been
    // collected. 1 is one read at a time, exactly as the gateway was always driven. More keep
    // the line busy in both directions instead of waiting out every round trip; the window
    // opens only after an answer came back whole, so a gateway that answers short is read one
    // at a time, and any answer out of step fails the read.
    // kAutoAnswersInFlight: as many as hide the adapter's latency, up to kMaxAnswersInFlight.
    // Whatever the window, reads go out no faster than the gateway's input can be sure to hold
    // them (see gateway/GatewayBacklog.h) unless `unboundedInFlight`. When answers go missing
    // anyway the walk brings the line back in step, says so in the log and reads again one at a
    // time from the start, keeping nothing read in flight.
    int answersInFlight = 1;
    // Reads go out as fast as the window lets them, with nothing to keep the gateway's input
    // from overflowing: a lost byte makes the gateway read the following bytes as other
    // commands, and a read can then come back with wrong bytes and no sign of it.
    bool unboundedInFlight = false;
};
inline constexpr int kMaxAnswersInFlight = 32;
inline constexpr int kAutoAnswersInFlight = 0;

// Reads the chip's memory of that kind into `image` (its size is the memory's size).
WalkResult ReadMemory(Bus& bus, const ChipRow& entry, const Target& target, MemoryKind kind,
                      std::span<std::uint8_t> image, const WalkProgress& progress = {},
                      const ReadChoices& choices = {});

// Compares the chip's memory with `image`; stops at the first word or byte that differs, with
// the port open, and gives its address. With `covered` (one flag a byte of the image, nonzero for
// the bytes a file gave) only those bytes are compared: the walk ends after the last of them, and
// units whose chips keep address latches still read the words before it that are not compared.
WalkResult VerifyMemory(Bus& bus, const ChipRow& entry, const Target& target, MemoryKind kind,
                        std::span<const std::uint8_t> image, const WalkProgress& progress = {},
                        std::span<const std::uint8_t> covered = {}, const ReadChoices& choices = {});

struct WriteChoices {
    // Flash pages (words or bytes on units without pages) that hold only 0xFF are not sent: the
    // erase before the write left them so. The parallel units still get the first page, which
    // loads their write command, the last page, which unloads it, and on units without pages
    // every first word of 256, which loads the high address byte.
    bool skipBlankFlash = false;
};

// Writes `image` into the chip's memory of that kind. The flash is erased first, as it can only
// be programmed from erased cells; the EEPROM erases itself byte by byte.
WalkResult WriteMemory(Bus& bus, const ChipRow& entry, const Target& target, MemoryKind kind,
                       std::span<const std::uint8_t> image, const WalkProgress& progress = {},
                       const WriteChoices& choices = {});

// Programming mode and the chip erase, with the second erase around a programmed blank byte for
// the unit that needs it.
WalkResult EraseChip(Bus& bus, const ChipRow& entry, const Target& target);

}  // namespace quillon
