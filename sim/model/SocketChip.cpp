// Memories, fuses and the high-voltage parallel interface of the chip in the socket.
#include "model/SocketChip.h"

#include "model/HexText.h"

namespace quillon::sim {

namespace {

bool KnownParallelCommand(std::uint8_t c)
{
    switch (c) {
    case 0x00: case 0x02: case 0x03: case 0x04: case 0x08:
    case 0x10: case 0x11: case 0x20: case 0x40: case 0x80:
        return true;
    default:
        return false;
    }
}

}  // namespace

SocketChip::SocketChip(const ChipDescription& description)
    : flash(description.flashBytes, 0xFF),
      eeprom(description.eepromBytes, 0xFF),
      desc_(&description)
{
    for (std::size_t i = 0; i < 3; ++i)
        fuses[i] = description.fuses[i].present
                       ? static_cast<std::uint8_t>(description.fuses[i].factory | ~description.fuses[i].mask)
                       : 0xFF;
    for (std::size_t i = 0; i < calibration.size(); ++i)
        calibration[i] = i < description.calibrationCount ? description.calibration[i] : 0xFF;
    flashBuffer_.assign(description.flashPageWords, 0xFFFF);
    flashLoaded_.assign(description.flashPageWords, false);
    eepromBuffer_.assign(description.eepromPageBytes, 0xFF);
    eepromLoaded_.assign(description.eepromPageBytes, false);
}

void SocketChip::NoteText(const std::string& text) const
{
    if (note_) note_(std::string(desc_->name) + ": " + text);
}

void SocketChip::ClearPageBuffers()
{
    std::fill(flashBuffer_.begin(), flashBuffer_.end(), 0xFFFF);
    std::fill(flashLoaded_.begin(), flashLoaded_.end(), false);
    std::fill(eepromBuffer_.begin(), eepromBuffer_.end(), 0xFF);
    std::fill(eepromLoaded_.begin(), eepromLoaded_.end(), false);
}

void SocketChip::PowerDown()
{
    parallelMode_ = false;
    commandLoaded_ = false;
    command_ = 0;
    addrLow_ = addrHigh_ = addrExt_ = dataLow_ = dataHigh_ = 0;
    busyUntil_ = 0;
    ClearPageBuffers();
}

std::uint32_t SocketChip::WordAddress() const
{
    const std::uint32_t a = (std::uint32_t{addrExt_} << 16) | (std::uint32_t{addrHigh_} << 8) | addrLow_;
    return desc_->FlashWords() ? a % desc_->FlashWords() : 0;
}

std::uint32_t SocketChip::EepromAddress() const
{
    const std::uint32_t a = (std::uint32_t{addrHigh_} << 8) | addrLow_;
    return desc_->eepromBytes ? a % desc_->eepromBytes : 0;
}

std::uint8_t SocketChip::FuseValue(int index) const
{
    const auto& f = desc_->fuses[static_cast<std::size_t>(index)];
    if (!f.present) return 0xFF;
    return static_cast<std::uint8_t>(fuses[static_cast<std::size_t>(index)] | ~f.mask);
}

std::uint8_t SocketChip::CombinedFuseLock() const
{
    // Bit 7 LB1, bit 6 LB2, bit 5 SPIEN, bit 0 RCEN or FSTRT; the rest read as 1.
    const std::uint8_t l = LockValue();
    const std::uint8_t f = FuseValue(0);
    return static_cast<std::uint8_t>(0x1E | (((l >> 1) & 1) << 7) | (((l >> 2) & 1) << 6) | (f & 0x21));
}

std::uint8_t SocketChip::SignatureByte(std::uint32_t index) const
{
    return index < 3 ? desc_->signature[index] : 0xFF;
}

std::uint8_t SocketChip::CalibrationByte(std::uint32_t index) const
{
    return index < desc_->calibrationCount && index < calibration.size() ? calibration[index] : 0xFF;
}

void SocketChip::ChipErase()
{
    std::fill(flash.begin(), flash.end(), 0xFF);
    const BitRef keep = desc_->eesave;
    const bool eesave = keep.fuse >= 0 && desc_->fuses[static_cast<std::size_t>(keep.fuse)].present &&
                        ((FuseValue(keep.fuse) >> keep.bit) & 1) == 0;
    if (!eesave) std::fill(eeprom.begin(), eeprom.end(), 0xFF);
    lock = 0xFF;
    ClearPageBuffers();
}

void SocketChip::ProgramFlashByte(std::uint32_t byteAddress, std::uint8_t value)
{
    if (byteAddress >= flash.size()) return;
    flash[byteAddress] &= value;  // programming can only clear bits
}

void SocketChip::CommitFlashPage(std::uint32_t wordAddress)
{
    const std::uint32_t pageWords = desc_->flashPageWords;
    const std::uint32_t base = wordAddress & ~(pageWords - 1);
    int loaded = 0;
    int conflicts = 0;
    for (std::uint32_t i = 0; i < pageWords; ++i) {
        if (!flashLoaded_[i]) continue;
        ++loaded;
        const std::uint32_t at = (base + i) * 2;
        const std::uint16_t w = flashBuffer_[i];
        const auto lo = static_cast<std::uint8_t>(w & 0xFF);
        const auto hi = static_cast<std::uint8_t>(w >> 8);
        if ((flash[at] & lo) != lo || (flash[at + 1] & hi) != hi) ++conflicts;
        ProgramFlashByte(at, lo);
        ProgramFlashByte(at + 1, hi);
    }
    committedFlashPages.push_back(base * 2);
    if (loaded == 0) NoteText("flash page " + HexAddr(base * 2) + " programmed with an empty page buffer");
    if (conflicts > 0)
        NoteText("flash page " + HexAddr(base * 2) + " programmed over cells that were not erased (" +
                 std::to_string(conflicts) + " words kept only the common 0 bits)");
    std::fill(flashBuffer_.begin(), flashBuffer_.end(), 0xFFFF);
    std::fill(flashLoaded_.begin(), flashLoaded_.end(), false);
}

void SocketChip::WriteEepromByte(std::uint32_t address, std::uint8_t value, bool autoErase)
{
    if (address >= eeprom.size()) return;
    if (autoErase) {
        eeprom[address] = value;
        return;
    }
    // High-voltage programming has no auto-erase: only a chip erase brings bits back to 1.
    if ((eeprom[address] & value) != value) ++eepromConflicts_;
    eeprom[address] &= value;
}

void SocketChip::NoteEepromConflicts(std::uint32_t address)
{
    if (eepromConflicts_ == 0) return;
    NoteText("EEPROM at " + HexAddr(address) + " programmed over cells that were not erased (" +
             std::to_string(eepromConflicts_) + " bytes kept only the common 0 bits)");
    eepromConflicts_ = 0;
}

void SocketChip::CommitEepromPage(std::uint32_t address, bool autoErase)
{
    const std::uint32_t page = desc_->eepromPageBytes;
    const std::uint32_t base = address & ~(page - 1);
    int loaded = 0;
    for (std::uint32_t i = 0; i < page; ++i) {
        if (!eepromLoaded_[i]) continue;
        ++loaded;
        WriteEepromByte(base + i, eepromBuffer_[i], autoErase);
    }
    NoteEepromConflicts(base);
    if (loaded == 0) NoteText("EEPROM page " + HexAddr(base) + " programmed with an empty page buffer");
    std::fill(eepromBuffer_.begin(), eepromBuffer_.end(), 0xFF);
    std::fill(eepromLoaded_.begin(), eepromLoaded_.end(), false);
}

void SocketChip::WriteFuse(int index, std::uint8_t value, bool serialMode)
{
    const auto& f = desc_->fuses[static_cast<std::size_t>(index)];
    if (!f.present) {
        NoteText("fuse byte " + std::to_string(index) + " written, but the chip has none");
        return;
    }
    auto v = static_cast<std::uint8_t>((value & f.mask) | ~f.mask);
    if (serialMode && desc_->spien.fuse == index) {
        const auto bit = static_cast<std::uint8_t>(1u << desc_->spien.bit);
        v = static_cast<std::uint8_t>((v & ~bit) | (fuses[static_cast<std::size_t>(index)] & bit));
    }
    fuses[static_cast<std::size_t>(index)] = v;  // fuse cells take the written value both ways
}

namespace {

// The lock byte's LB1 and LB2 are its two lowest implemented bits.
std::uint8_t LockBit(std::uint8_t mask, int which)
{
    for (int bit = 0; bit < 8; ++bit) {
        if (!((mask >> bit) & 1)) continue;
        if (which-- == 0) return static_cast<std::uint8_t>(1u << bit);
    }
    return 0;
}

}  // namespace

bool SocketChip::ProgrammingLocked() const
{
    const std::uint8_t lb1 = LockBit(desc_->lockMask, 0);
    return lb1 && !(lock & lb1);
}

bool SocketChip::VerifyLocked() const
{
    const std::uint8_t lb2 = LockBit(desc_->lockMask, 1);
    return ProgrammingLocked() && lb2 && !(lock & lb2);
}

bool SocketChip::FusesLocked() const
{
    // The AT90S generation and the ATtiny12/15 leave their fuses writable under lock.
    const bool oldGeneration = desc_->method == Method::ClassicParallel ||
                               desc_->dialect == SerialDialect::At90s23x3 ||
                               desc_->dialect == SerialDialect::Tiny12;
    return !oldGeneration && ProgrammingLocked();
}

bool SocketChip::Refused(bool locked, const char* what) const
{
    if (locked) NoteText(std::string(what) + " refused: the lock bits are programmed");
    return locked;
}

void SocketChip::ProgramLock(std::uint8_t value)
{
    // Lock bits can only be programmed; a chip erase is the only way back.
    lock = static_cast<std::uint8_t>(lock & (value | ~desc_->lockMask));
}

void SocketChip::LinesChanged(const SocketLines& lines, double now)
{
    (void)now;
    const SocketLines before = last_;
    last_ = lines;

    if (before.vcc && !lines.vcc) {
        PowerDown();
        return;
    }
    if (!lines.vcc) {
        if (lines.vpp && !before.vpp) NoteText("+12 V on RESET while the chip has no +5 V");
        return;
    }

    const bool vppRose = lines.vpp && (!before.vpp || !before.vcc);
    if (vppRose) {
        if (!desc_->HasParallel()) {
            NoteText("+12 V on RESET, but the chip has no parallel programming interface");
        } else if (lines.xa1 || lines.xa0 || lines.bs1) {
            NoteText("+12 V on RESET with XA1, XA0, BS1 not all 0: programming mode not entered");
        } else {
            PowerDown();
            parallelMode_ = true;
            serialState_ = SerialState::Off;
        }
    }
    if (parallelMode_ && before.vpp && !lines.vpp) {
        parallelMode_ = false;
        commandLoaded_ = false;
    }
    if (parallelMode_ && desc_->sharedPagelBs1 && lines.bs1) LatchPageBuffer();
}

void SocketChip::XtalPulse(const SocketLines& lines, std::uint8_t bus, double now)
{
    if (!parallelMode_) return;  // plain clock pulses outside programming mode
    if (Busy(now)) NoteText("XTAL1 load while RDY/BSY is low");
    if (lines.xa1 && !lines.xa0) {
        command_ = bus;
        commandLoaded_ = true;
        if (!KnownParallelCommand(bus)) NoteText("unknown command " + Hex2(bus) + " loaded");
    } else if (!lines.xa1 && !lines.xa0) {
        if (lines.bs1)
            addrHigh_ = bus;
        else if (Bs2(lines))
            addrExt_ = bus;
        else
            addrLow_ = bus;
    } else if (!lines.xa1 && lines.xa0) {
        (lines.bs1 ? dataHigh_ : dataLow_) = bus;
    } else {
        NoteText("XTAL1 pulse with XA1, XA0 = 11 loads nothing");
    }
    if (desc_->sharedPagelBs1 && lines.bs1) LatchPageBuffer();
}

void SocketChip::LatchPageBuffer()
{
    if (command_ == 0x10 && desc_->flashPageWords) {
        const std::uint32_t i = WordAddress() % desc_->flashPageWords;
        flashBuffer_[i] = static_cast<std::uint16_t>((dataHigh_ << 8) | dataLow_);
        flashLoaded_[i] = true;
    } else if (command_ == 0x11 && desc_->eepromPageBytes) {
        const std::uint32_t i = EepromAddress() % desc_->eepromPageBytes;
        eepromBuffer_[i] = dataLow_;
        eepromLoaded_[i] = true;
    }
}

void SocketChip::PagelPulse(const SocketLines& lines, double now)
{
    (void)lines;
    if (!parallelMode_) {
        NoteText("PAGEL pulse outside programming mode");
        return;
    }
    if (Busy(now)) NoteText("PAGEL pulse while RDY/BSY is low");
    const bool latches = (command_ == 0x10 && desc_->flashPageWords) ||
                         (command_ == 0x11 && desc_->eepromPageBytes);
    if (!latches) {
        NoteText("PAGEL pulse with command " + Hex2(command_) + " latches nothing");
        return;
    }
    LatchPageBuffer();
}

void SocketChip::WrStrobe(const SocketLines& lines, WrPulse kind, double now)
{
    if (!parallelMode_) {
        NoteText("WR pulse outside programming mode");
        return;
    }
    if (Busy(now)) NoteText("WR pulse while RDY/BSY is low");
    const bool bs2 = Bs2(lines);
    switch (command_) {
    case 0x80:
        if (desc_->longPulses && kind == WrPulse::Normal) {
            NoteText("chip erase needs the long WR pulse: nothing erased");
            return;
        }
        ChipErase();
        if (!desc_->longPulses) StartBusy(now, desc_->times.erase);
        return;
    case 0x10:
        if (Refused(ProgrammingLocked(), "flash programming")) return;
        if (desc_->flashPageWords) {
            if (lines.bs1) NoteText("flash page programmed with BS1 = 1 (the programming sequence sets BS1 = 0)");
            CommitFlashPage(WordAddress());
        } else {
            const std::uint32_t at = WordAddress() * 2 + (lines.bs1 ? 1 : 0);
            const std::uint8_t v = lines.bs1 ? dataHigh_ : dataLow_;
            if ((flash[at] & v) != v)
                NoteText("flash byte " + HexAddr(at) + " programmed over a cell that was not erased");
            ProgramFlashByte(at, v);
        }
        StartBusy(now, desc_->times.flash);
        return;
    case 0x11:
        if (Refused(ProgrammingLocked(), "EEPROM programming")) return;
        if (lines.bs1) NoteText("EEPROM programmed with BS1 = 1 (the programming sequence sets BS1 = 0)");
        if (desc_->eepromPageBytes) {
            CommitEepromPage(EepromAddress(), false);
        } else {
            WriteEepromByte(EepromAddress(), dataLow_, false);
            NoteEepromConflicts(EepromAddress());
        }
        StartBusy(now, desc_->times.eeprom);
        return;
    case 0x40: {
        if (Refused(FusesLocked(), "fuse programming")) return;
        if (desc_->longPulses && kind != WrPulse::Long15) {
            NoteText("fuse programming needs the long WR pulse: fuses unchanged");
            return;
        }
        int index = 0;
        if (desc_->fuseRead == FuseReadLayout::Selected) {
            if (lines.bs1 && bs2) {
                NoteText("fuse write with BS1 and BS2 both 1 selects no fuse byte");
                return;
            }
            index = bs2 ? 2 : (lines.bs1 ? 1 : 0);
        }
        WriteFuse(index, dataLow_, false);
        if (!desc_->longPulses) StartBusy(now, desc_->times.fuse);
        return;
    }
    case 0x20:
        ProgramLock(dataLow_);
        StartBusy(now, desc_->times.fuse);
        return;
    default:
        NoteText("WR pulse with command " + Hex2(command_) + " programs nothing");
        return;
    }
}

std::optional<std::uint8_t> SocketChip::BusOutput(const SocketLines& lines)
{
    if (!parallelMode_ || lines.oe) return std::nullopt;
    if (!commandLoaded_) {
        NoteText("data bus read with no command loaded");
        return 0xFF;
    }
    const bool bs2 = Bs2(lines);
    switch (command_) {
    case 0x02: {
        if (Refused(VerifyLocked(), "flash read")) return 0xFF;
        const std::uint32_t at = WordAddress() * 2 + (lines.bs1 ? 1 : 0);
        return flash[at];
    }
    case 0x03:
        if (Refused(VerifyLocked(), "EEPROM read")) return 0xFF;
        return eeprom[EepromAddress()];
    case 0x04:
        if (desc_->fuseRead == FuseReadLayout::Combined) {
            if (!lines.bs1) {
                NoteText("fuse and lock bits are read with BS1 = 1");
                return 0xFF;
            }
            return CombinedFuseLock();
        }
        if (!lines.bs1 && !bs2) return FuseValue(0);
        if (lines.bs1 && !bs2) return LockValue();
        if (lines.bs1 && bs2) return FuseValue(1);
        return FuseValue(2);
    case 0x08:
        return lines.bs1 ? CalibrationByte(addrLow_) : SignatureByte(addrLow_);
    default:
        NoteText("data bus read with command " + Hex2(command_) + ", which drives nothing");
        return 0xFF;
    }
}

std::optional<bool> SocketChip::ReadyOutput(double now) const
{
    if (!parallelMode_) return std::nullopt;
    return !Busy(now);
}

}  // namespace quillon::sim
