#include "operations/ChipInSocket.h"

#include <algorithm>
#include <array>

#include "chips/ChipTable.h"
#include "chips/FuseRisks.h"
#include "operations/CommandFrame.h"
#include "operations/Session.h"
#include "gateway/Step.h"
#include "programming/Parallel.h"
#include "programming/Serial.h"

namespace quillon {

namespace {

constexpr Question kWriteAnywayQuestion{"Wrong chip", "Write anyway?", Risk::WrongChip};

bool NoChipAnswers(std::int32_t signature)
{
    return signature == 0 || signature == 0xFFFFFF;
}

std::string NoChipWords(std::int32_t found, const ChipRow& entry, std::int32_t selected)
{
    return "No chip answers in the socket (signature " + SignatureText(found) + ", the selected " +
           std::string(entry.name) + " is " + SignatureText(selected) +
           "): no chip, the chip turned round, the wrong socket for this chip, or no supply.";
}

std::string NameOf(std::int32_t signature)
{
    const ChipRow* row = FindChip(signature);
    return row != nullptr ? std::string(row->name) : std::string("unknown chip");
}

}  // namespace

std::optional<std::int32_t> ReadSocketSignature(Session& session, const ChipRow& entry)
{
    Bus& bus = session.bus;
    const Target target = TargetOf(session.chip);
    std::int32_t signature = 0;
    if (entry.driver->EnterProgMode != nullptr && entry.driver->EnterProgMode(bus, target)) {
        if (entry.family == Family::Serial) {
            std::optional<std::int32_t> read = ReadSerialSignature(bus);
            if (!read) return std::nullopt;
            signature = *read;
        } else {
            signature = ReadSignature(bus);
        }
    }
    // A failed parallel entry or read closed the port; a silent serial chip left it open.
    if (!bus.link.IsOpen()) return std::nullopt;
    if (!PowerDownSocket(bus)) return std::nullopt;
    return signature;
}

std::optional<std::vector<std::string>> ReadProgrammedLockBits(Session& session, const ChipRow& entry)
{
    Bus& bus = session.bus;
    const Driver& d = *entry.driver;
    const Target target = TargetOf(session.chip);
    std::array<std::uint8_t, 8> slots;
    slots.fill(0xFF);
    bool ok = d.EnterProgMode != nullptr && d.EnterProgMode(bus, target);
    for (const auto& read : LockFuseReadSequence(d)) {
        if (!ok) break;
        ok = read(bus, target, slots);
    }
    if (!bus.link.IsOpen() || !PowerDownSocket(bus)) return std::nullopt;
    // A chip that did not answer gives no lock bits to judge.
    if (!ok) return std::vector<std::string>{};
    return JudgeFuseBytes(entry, slots, slots).lockBits;
}

std::string SignatureText(std::int32_t signature)
{
    return ByteDigits(static_cast<std::uint8_t>(signature)) + " " +
           ByteDigits(static_cast<std::uint8_t>(signature >> 8)) + " " +
           ByteDigits(static_cast<std::uint8_t>(signature >> 16));
}

Result CheckChipInSocket(Session& session, const ChipRow& entry, const Confirm& confirm)
{
    if (!session.checkChipInSocket) return Result::Ok();
    Log& log = session.bus.log;
    const std::optional<std::int32_t> found = ReadSocketSignature(session, entry);
    if (!found) return FinishedWithFailure(session, " with fail.", StepsFailure(session.bus));
    const std::int32_t selected = session.chip.signature;
    if (*found == selected) return Result::Ok();

    std::string words;
    if (NoChipAnswers(*found)) {
        words = NoChipWords(*found, entry, selected);
    } else {
        words = "The chip in the socket is " + SignatureText(*found) + " (" + NameOf(*found) +
                "), not the selected " + std::string(entry.name) + " (" + SignatureText(selected) + ")";
    }
    log.LogMessage(LogText, words);
    // The question names both chips: the one who answers it may not be looking at the log.
    const std::string asked = words + (words.ends_with('.') ? " " : ". ") + std::string(kWriteAnywayQuestion.text);
    if (Ask(confirm, {kWriteAnywayQuestion.caption, asked, kWriteAnywayQuestion.risk})) return Result::Ok();
    log.LogMessage(LogText, "Nothing was changed on the chip.");
    return Result::Failed(FailureKind::WrongChip, words);
}

bool ReadsAsEmptySocket(std::span<const std::uint8_t> bytes)
{
    return !bytes.empty() && (std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; }) ||
                              std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0x00; }));
}

Result ConfirmChipAnswers(Session& session, const ChipRow& entry)
{
    const std::optional<std::int32_t> found = ReadSocketSignature(session, entry);
    if (!found) return Result::Failed(StepsFailure(session.bus));
    if (!NoChipAnswers(*found)) return Result::Ok();
    std::string words = NoChipWords(*found, entry, session.chip.signature);
    session.bus.log.LogMessage(LogText, words);
    return Result::Failed(FailureKind::Chip, std::move(words));
}

}  // namespace quillon
