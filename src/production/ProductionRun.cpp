#include "production/ProductionRun.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "chips/ChipTable.h"
#include "chips/MemoryKind.h"
#include "core/OneLine.h"
#include "log/Log.h"
#include "operations/ChipInSocket.h"
#include "operations/ChipSelection.h"
#include "operations/CommandFrame.h"
#include "operations/Connection.h"
#include "operations/LockFuses.h"
#include "operations/MemoryCommands.h"
#include "operations/Session.h"

namespace quillon::production {

namespace {

// The job is the operator's answer to every question: it names what is written, fuses included.
const Confirm kJobSays = [](const Question&) { return true; };

std::string HexBytes(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (std::uint8_t b : bytes) text += (text.empty() ? "" : " ") + ByteDigits(b);
    return text;
}

}  // namespace

std::string SignatureHex(std::int32_t signature)
{
    return SignatureText(signature);
}

ChipImage ImageForChip(const Job& job, bool flash, std::optional<std::uint64_t> serial,
                       const std::vector<std::uint8_t>& keptEeprom)
{
    ChipImage made{flash ? job.program : job.data, flash ? job.programCovered : job.dataCovered};
    if (!flash && made.bytes.empty()) {
        made.bytes.assign(job.chip->eepromSize, 0xFF);
        made.covered.assign(job.chip->eepromSize, 0);
    }
    if (!flash && !keptEeprom.empty()) {
        for (std::size_t i = 0; i < made.bytes.size() && i < keptEeprom.size(); ++i)
            if (!made.covered[i]) made.bytes[i] = keptEeprom[i];
        std::fill(made.covered.begin(), made.covered.end(), 1);
    }
    if (job.serial && (job.serial->memory == SerialMemory::Flash) == flash && serial &&
        PatchSerial(*job.serial, *serial, made.bytes))
        std::fill_n(made.covered.begin() + job.serial->address, job.serial->length, 1);
    return made;
}

ProductionRun::ProductionRun(Session& session, const Job& job, RecordStore& store, std::string port)
    : session_(session), job_(job), store_(store), port_(std::move(port)), station_(StationName())
{
    session_.checkChipInSocket = false;  // the run checks the signature once, before the first change
    session_.powerDownAfterCommand = true;
    session_.skipBlankPages = true;
    session_.bus.log.SetListener([this](const std::string& line) {
        chipLog_.push_back(line);
        if (onLog) onLog(line);
    });
    SelectChip(session_, job_.chip->signature);
}

ProductionRun::~ProductionRun()
{
    session_.bus.log.SetListener({});
}

std::string ProductionRun::Prepare()
{
    std::string error;
    keptAny_ = true;
    // Before the crashed rows are closed: a kept result is a finished chip, not an interrupted one.
    if (!SendKept(error)) {
        if (!store_.ConnectionLost()) return error;
        // The store answered at the start; it may be back by the first chip, which waits for it.
        Notice(error);
    }
    if (store_.CloseUnfinished(station_, error) < 0) return error;
    return {};
}

void ProductionRun::Notice(const std::string& line)
{
    if (onNotice) onNotice(line);
}

template <class Attempt>
bool ProductionRun::UntilStoreAnswers(Attempt attempt, std::string& error)
{
    bool waited = false;
    for (;;) {
        if (attempt()) {
            if (waited) Notice(store_.Location() + ": the record store answers again");
            return true;
        }
        if (!store_.ConnectionLost()) return false;
        if (!waited) {
            char every[32];
            std::snprintf(every, sizeof every, "%g", static_cast<double>(storeRetry.count()) / 1000.0);
            Notice(error + "; waiting for it (trying again every " + every + " s; " + howToStop + ")");
            waited = true;
        }
        const auto until = std::chrono::steady_clock::now() + storeRetry;
        while (std::chrono::steady_clock::now() < until) {
            if (session_.bus.cancel.Requested()) {
                error = "the run was stopped while the record store could not be reached (" + error + ")";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

bool ProductionRun::SendKept(std::string& error)
{
    error.clear();
    if (!keptAny_) return true;
    const std::vector<UnsentRecords::Kept> kept = unsent_.For(store_.Location(), error);
    if (!error.empty()) {
        // The kept results stay where they are; the run may go on with the store.
        Notice("the records kept on this station cannot be read: " + error);
        error.clear();
        return true;
    }
    for (const UnsentRecords::Kept& k : kept) {
        if (!store_.Finish(k.id, k.end, error)) {
            if (store_.ConnectionLost()) return false;
            // The store refuses it (the row is gone: another database under the same URL?). It
            // stays kept, and is said, rather than lost.
            Notice("the kept record of chip " + std::to_string(k.id) + " was refused: " + error + "; it stays in " +
                   unsent_.File().string());
            error.clear();
            continue;
        }
        std::string forgetting;
        if (!unsent_.Forget(store_.Location(), k.id, forgetting))
            Notice("the record of chip " + std::to_string(k.id) + " was sent, but cannot be taken out of " +
                   unsent_.File().string() + ": " + forgetting);
        else
            Notice("the record of chip " + std::to_string(k.id) + " kept on this station was sent to the record store");
    }
    keptAny_ = false;
    return true;
}

std::string ProductionRun::Record(std::int64_t id, const ChipEnd& end)
{
    std::string error;
    if (store_.Finish(id, end, error)) return {};
    if (!store_.ConnectionLost()) return "the chip's record could not be written: " + error;
    std::string keeping;
    if (!unsent_.Keep(store_.Location(), id, end, keeping))
        return "the chip's record could not be written: " + error + "; nor kept on this station: " + keeping;
    keptAny_ = true;
    Notice("the record of chip " + std::to_string(id) + " is kept in " + unsent_.File().string() +
           " until the record store is back (" + error + ")");
    return {};
}

std::string ProductionRun::EnsureConnected()
{
    if (session_.bus.link.IsOpen()) return {};
    if (const Result opened = Connect(session_, port_); !opened)
        return "cannot open the port \"" + port_ + "\": " + OneLine(opened.Words());
    return {};
}

void ProductionRun::Disconnect()
{
    if (session_.bus.link.IsOpen()) quillon::Disconnect(session_);
}

std::optional<std::int32_t> ProductionRun::ReadSocket(std::string& error)
{
    error = EnsureConnected();
    if (!error.empty()) return std::nullopt;
    const std::optional<std::int32_t> found = ReadSocketSignature(session_, *job_.chip);
    if (!found) error = "the gateway did not answer the signature read";
    return found;
}

std::optional<std::uint64_t> ProductionRun::NextSerial(std::string& error)
{
    error.clear();
    if (!job_.serial) return std::nullopt;
    return store_.PeekNext(job_.name, *job_.serial, error);
}

std::string GatewayLostReason(const ChipOutcome& outcome)
{
    if (outcome.ending != ChipEnding::Failed || !outcome.gatewayLost) return {};
    char number[24];
    std::snprintf(number, sizeof number, "%04lld", static_cast<long long>(outcome.id));
    return std::string("the gateway failed during chip ") + number + " (" + outcome.reason + "); this socket stops";
}

ChipOutcome ProductionRun::ProgramChip(bool keepConnected)
{
    ChipOutcome outcome;
    if (std::string changed = CheckJobUnchanged(job_); !changed.empty()) {
        outcome.reason = "the job's files changed during the run: " + changed + "; check the job and start again";
        return outcome;
    }
    const auto began = std::chrono::steady_clock::now();
    ChipRecord start;
    start.started = UtcNow();
    start.station = station_;
    start.pid = ::getpid();
    start.port = port_;
    start.jobName = job_.name;
    start.jobHash = job_.hash;
    std::string error;
    // Kept results go first, and no chip is begun without its row: while the store is away the
    // chip waits in the socket, untouched.
    std::optional<std::int64_t> id;
    const bool begun = UntilStoreAnswers(
        [&] {
            if (!SendKept(error)) return false;
            start.started = UtcNow();
            id = store_.Begin(start, error);
            return id.has_value();
        },
        error);
    if (!begun) {
        outcome.reason = error;
        return outcome;
    }
    outcome.id = chipId_ = *id;
    chipLog_.clear();

    ChipEnd end;
    const Chip& chip = session_.chip;
    std::string failedStep;
    // Runs one step; false (with the outcome set) when it failed or was cancelled.
    auto step = [&](const std::string& name, auto&& body) -> bool {
        if (session_.bus.cancel.Requested()) {
            outcome.ending = ChipEnding::Cancelled;
            outcome.reason = "cancelled before " + name;
            return false;
        }
        if (onStep) onStep(outcome.id, name, false, false);
        std::string why = body();
        const bool cancelled = why == "\x18";
        if (onStep) onStep(outcome.id, name, true, why.empty());
        if (why.empty()) return true;
        outcome.ending = cancelled || session_.bus.cancel.Requested() ? ChipEnding::Cancelled : ChipEnding::Failed;
        outcome.reason = outcome.ending == ChipEnding::Cancelled ? "cancelled during " + name
                                                                 : name + ": " + why;
        return false;
    };
    // An operation's result as a step's answer.
    auto judged = [](const Result& result) -> std::string {
        if (result) return {};
        if (result.WasCancelled()) return "\x18";
        std::string line = OneLine(result.Words());
        return line.empty() ? "failed" : line;
    };

    std::vector<std::uint8_t> keptEeprom;
    std::vector<std::uint8_t> expectedSlots;
    bool ok = step("connect", [&] { return EnsureConnected(); });
    ok = ok && step("signature", [&]() -> std::string {
        const std::optional<std::int32_t> found = ReadSocketSignature(session_, *job_.chip);
        if (!found) return "the gateway did not answer the signature read";
        end.signature = SignatureText(*found);
        if (Empty(*found)) return "no chip answers in the socket (signature " + SignatureText(*found) + ")";
        if (*found != job_.chip->signature) {
            const ChipRow* other = FindChip(*found);
            return "wrong chip: the socket holds " + SignatureText(*found) + " (" +
                   (other ? std::string(other->name) : std::string("unknown")) + "), the job is for the " +
                   std::string(job_.chip->name) + " (" + SignatureText(job_.chip->signature) +
                   "); the chip was not touched";
        }
        return {};
    });
    // The number is taken only for a chip of the job's: an empty socket or a wrong chip spends none.
    bool runOut = false;
    if (ok && job_.serial) {
        ok = step("serial", [&]() -> std::string {
            // Nothing is written to the chip yet, so it may wait for the store here too.
            UntilStoreAnswers(
                [&] {
                    outcome.serial = store_.TakeSerial(outcome.id, job_.name, *job_.serial, error);
                    return outcome.serial || error.empty();
                },
                error);
            if (outcome.serial) return {};
            runOut = error.empty();
            return runOut ? std::string(kNoNumbersLeft) : error;
        });
    }
    if (ok && job_.keepEeprom && job_.erase && chip.eepromSize > 0) {
        ok = step("read-data", [&] { return judged(ReadData(session_)); });
        if (ok) keptEeprom.assign(chip.eeprom.begin(), chip.eeprom.begin() + chip.eepromSize);
    }
    if (ok && job_.erase) ok = step("erase", [&] { return judged(ChipErase(session_, kJobSays)); });

    // One memory: the job's image with the serial number in it, written and then verified over
    // the bytes the job gives (the number's included).
    auto memory = [&](MemoryKind kind) {
        const bool flash = kind == MemoryKind::Program;
        ChipImage made = ImageForChip(job_, flash, outcome.serial, keptEeprom);
        const std::vector<std::uint8_t>& image = made.bytes;
        const std::vector<std::uint8_t>& covered = made.covered;
        const std::string word = flash ? "program" : "data";
        bool good = step("write-" + word, [&] {
            std::span<std::uint8_t> target = ChipMemory(session_.chip, kind);
            std::fill(target.begin(), target.end(), 0xFF);
            std::copy(image.begin(), image.end(), target.begin());
            return judged(flash ? WriteProgram(session_, kJobSays) : WriteData(session_, kJobSays));
        });
        good = good && step("verify-" + word, [&] {
            auto& slot = flash ? session_.coveredProgram : session_.coveredData;
            slot = covered;
            const Result verified = flash ? VerifyProgram(session_) : VerifyData(session_);
            slot.reset();
            return judged(verified);
        });
        return good;
    };
    if (ok && job_.writesProgram) ok = memory(MemoryKind::Program);
    const bool restoreEeprom = !keptEeprom.empty() && !job_.writesData;
    // Without data of the job's own, a kept EEPROM goes back as it was (its image is then all kept).
    if (ok && (job_.writesData || restoreEeprom)) ok = memory(MemoryKind::Data);

    const std::size_t slots = job_.chip->lockFuseCount;
    const std::size_t fuseCount = slots > 0 ? slots - 1 : 0;
    if (ok && (!job_.fuses.empty() || job_.lock)) {
        ok = step("write-fuses", [&]() -> std::string {
            LockFusesDialog dialog = OpenLockFusesDialog(session_.chip);
            if (Result read = ReadLockFuses(session_, dialog); !read) return judged(read);
            for (std::size_t g = 0; g < slots; ++g) {
                std::optional<std::uint8_t> wanted;
                if (g < fuseCount && !job_.fuses.empty()) wanted = job_.fuses[g];
                if (g == slots - 1 && job_.lock) wanted = job_.lock;
                if (!wanted) continue;
                for (std::size_t b = 0; b < 8; ++b) {
                    FuseBox& box = dialog.group[g].box[b];
                    if (box.visible && box.enabled) box.checked = (*wanted & (1u << b)) == 0;
                }
            }
            const Result written = WriteLockFuses(session_, dialog, kJobSays);
            expectedSlots.assign(session_.chip.lockFuse.begin(), session_.chip.lockFuse.begin() + slots);
            return judged(written);
        });
    }
    if (ok && slots > 0) {
        ok = step("read-fuses", [&]() -> std::string {
            LockFusesDialog dialog = OpenLockFusesDialog(session_.chip);
            if (Result read = ReadLockFuses(session_, dialog); !read) return judged(read);
            const std::span<const std::uint8_t> now(session_.chip.lockFuse.data(), slots);
            end.fuses = outcome.fuses = HexBytes(now);
            if (!expectedSlots.empty() && !std::equal(now.begin(), now.end(), expectedSlots.begin()))
                return "the fuses read back as " + *end.fuses + ", not the " + HexBytes(expectedSlots) + " written";
            return {};
        });
    }
    outcome.gatewayLost = !ok && !session_.bus.link.IsOpen();
    // The socket is off after every command; the port closes unless a detection keeps polling.
    if (!keepConnected) Disconnect();

    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (ok) outcome.ending = ChipEnding::Passed;
    end.finished = UtcNow();
    end.result = outcome.ending == ChipEnding::Passed   ? kPassed
                 : outcome.ending == ChipEnding::Failed ? kFailed
                                                        : kCancelled;
    if (!ok) end.reason = outcome.reason;
    end.durationMs = static_cast<std::int64_t>(outcome.seconds * 1000.0 + 0.5);
    end.log = chipLog_;
    if (runOut) outcome.storeError = kNoNumbersLeft;
    // The chip is done but its record may not be: no run may go on without its records.
    if (std::string failed = Record(outcome.id, end); !failed.empty()) outcome.storeError = failed;
    return outcome;
}

}  // namespace quillon::production
