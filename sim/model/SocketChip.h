// The chip in the simulated socket: its memories, fuses, lock and calibration bytes, and the two
// programming interfaces (high-voltage parallel and serial) as the silicon behaves.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/ChipDescription.h"

namespace quillon::sim {

// Levels of the socket lines as the gateway's port registers set them.
struct SocketLines {
    bool vcc = false;    // +5 V on
    bool vpp = false;    // +12 V on RESET
    bool bs1 = false;
    bool bs2 = false;
    bool xa0 = false;
    bool xa1 = false;
    bool oe = false;     // level: false = output enabled
    bool wr = false;     // level: false = write strobe active
};

enum class WrPulse : std::uint8_t { Normal, Long100, Long15 };

class SocketChip {
public:
    using Note = std::function<void(const std::string&)>;

    explicit SocketChip(const ChipDescription& description);

    const ChipDescription& Description() const { return *desc_; }

    // The cells as the silicon holds them; tests preload and inspect them directly.
    std::vector<std::uint8_t> flash;
    std::vector<std::uint8_t> eeprom;
    std::array<std::uint8_t, 3> fuses{};  // low, high, extended (absent ones stay 0xFF)
    std::uint8_t lock = 0xFF;
    std::array<std::uint8_t, 4> calibration{};
    // The byte address of every flash page committed, in order: what a test of skipped pages
    // looks at.
    std::vector<std::uint32_t> committedFlashPages;

    void SetNote(Note note) { note_ = std::move(note); }

    bool InParallelMode() const { return parallelMode_; }
    bool InSerialMode() const { return serialState_ == SerialState::Programming; }
    bool Busy(double now) const { return now < busyUntil_; }
    double BusyUntil() const { return busyUntil_; }
    std::uint8_t LoadedCommand() const { return command_; }

    // Parallel interface.
    void LinesChanged(const SocketLines& lines, double now);
    void XtalPulse(const SocketLines& lines, std::uint8_t bus, double now);
    void PagelPulse(const SocketLines& lines, double now);
    void WrStrobe(const SocketLines& lines, WrPulse kind, double now);
    // What the chip drives onto the data bus (OE low in programming mode), or nothing.
    std::optional<std::uint8_t> BusOutput(const SocketLines& lines);
    // RDY/BSY while in parallel programming mode: true = ready; nothing when not driven.
    std::optional<bool> ReadyOutput(double now) const;

    // Serial interface, as the gateway's SPI unit drives it.
    void SpiBegin(double now);
    void SpiSync(double now);
    void SpiEnd();  // the gateway switched the socket over to parallel use
    // Shifts one instruction in (I1 first) and returns the four bytes the chip sent meanwhile.
    std::array<std::uint8_t, 4> SpiTransfer(const std::array<std::uint8_t, 4>& instruction, double now);

private:
    // Erasing: the old serial parts end a chip erase only when RESET is pulsed (a new SpiBegin).
    enum class SerialState : std::uint8_t { Off, Reset, Synced, Programming, Erasing };

    void NoteText(const std::string& text) const;
    void PowerDown();
    bool Powered(const SocketLines& lines) const { return lines.vcc || serialState_ != SerialState::Off; }
    bool Bs2(const SocketLines& lines) const { return desc_->sharedPagelBs1 ? lines.xa1 : lines.bs2; }
    std::uint32_t WordAddress() const;
    std::uint32_t EepromAddress() const;
    void LatchPageBuffer();
    void ClearPageBuffers();
    void CommitFlashPage(std::uint32_t wordAddress);
    void CommitEepromPage(std::uint32_t address, bool autoErase);
    void WriteEepromByte(std::uint32_t address, std::uint8_t value, bool autoErase);
    void NoteEepromConflicts(std::uint32_t address);
    void ProgramFlashByte(std::uint32_t byteAddress, std::uint8_t value);
    void WriteFuse(int index, std::uint8_t value, bool serialMode);
    void ProgramLock(std::uint8_t value);
    void ChipErase();
    std::uint8_t FuseValue(int index) const;
    std::uint8_t LockValue() const { return static_cast<std::uint8_t>(lock | ~desc_->lockMask); }
    // What programmed lock bits forbid: LB1 further programming of flash and EEPROM (and on the
    // newer parts the fuses too), LB1 with LB2 also verification (reads give 0xFF).
    bool ProgrammingLocked() const;
    bool VerifyLocked() const;
    bool FusesLocked() const;
    bool Refused(bool locked, const char* what) const;
    std::uint8_t CombinedFuseLock() const;
    std::uint8_t SignatureByte(std::uint32_t index) const;
    std::uint8_t CalibrationByte(std::uint32_t index) const;
    void StartBusy(double now, double ms) { busyUntil_ = now + ms; }
    std::uint8_t SerialExecute(const std::array<std::uint8_t, 4>& in, double now);

    const ChipDescription* desc_;
    Note note_;
    double busyUntil_ = 0;

    // Parallel state: what the XTAL1 pulses latched.
    SocketLines last_{};
    bool parallelMode_ = false;
    std::uint8_t command_ = 0x00;
    bool commandLoaded_ = false;
    std::uint8_t addrLow_ = 0, addrHigh_ = 0, addrExt_ = 0, dataLow_ = 0, dataHigh_ = 0;

    // Page buffers (volatile: cleared at power-down and after each commit).
    std::vector<std::uint16_t> flashBuffer_;
    std::vector<bool> flashLoaded_;
    std::vector<std::uint8_t> eepromBuffer_;
    std::vector<bool> eepromLoaded_;

    SerialState serialState_ = SerialState::Off;
    std::uint8_t lastShifted_ = 0xFF;
    int eepromConflicts_ = 0;
};

}  // namespace quillon::sim
