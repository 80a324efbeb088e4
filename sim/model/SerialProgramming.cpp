// The serial (SPI) programming interface of the chip in the socket, with each generation's own
// instruction set: the AT90S2323 family, the ATtiny12/15 and the ATtiny13/25/26 family.
#include <cstdio>

#include "model/SocketChip.h"

namespace quillon::sim {

namespace {

std::string HexInstruction(const std::array<std::uint8_t, 4>& in)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02X %02X %02X %02X", in[0], in[1], in[2], in[3]);
    return buf;
}

}  // namespace

void SocketChip::SpiBegin(double now)
{
    (void)now;
    if (!desc_->HasSerial()) {
        NoteText("SPI programming started, but the chip has no serial programming interface");
        serialState_ = SerialState::Off;
        return;
    }
    // The gateway powers the socket with RESET held low: a fresh start of the chip.
    PowerDown();
    serialState_ = SerialState::Reset;
    lastShifted_ = 0xFF;
}

void SocketChip::SpiSync(double now)
{
    (void)now;
    if (serialState_ == SerialState::Off) {
        if (desc_->HasSerial()) NoteText("SpiSync before SpiBegin");
        return;
    }
    if (serialState_ == SerialState::Reset) serialState_ = SerialState::Synced;
}

void SocketChip::SpiEnd()
{
    serialState_ = SerialState::Off;
}

std::array<std::uint8_t, 4> SocketChip::SpiTransfer(const std::array<std::uint8_t, 4>& in, double now)
{
    std::array<std::uint8_t, 4> out{0xFF, 0xFF, 0xFF, 0xFF};  // MISO floats high when not driven
    const bool enable = in[0] == 0xAC && in[1] == 0x53;
    if (serialState_ == SerialState::Off) {
        if (desc_->HasSerial()) NoteText("SPI instruction " + HexInstruction(in) + " to an unpowered chip");
        return out;
    }
    if (enable && serialState_ == SerialState::Reset) {
        NoteText("Programming Enable out of step: the chip was not synchronised");
        lastShifted_ = in[3];
        return out;
    }
    if (serialState_ == SerialState::Erasing) {
        NoteText("SPI instruction " + HexInstruction(in) + " ignored: a chip erase ends only with a RESET pulse");
        return out;
    }
    if (!enable && serialState_ != SerialState::Programming) {
        NoteText("SPI instruction " + HexInstruction(in) + " before Programming Enable ignored");
        return out;
    }
    // Each byte shifts out the one received before it; the fourth carries the data of a read.
    out = {lastShifted_, in[0], in[1], in[2]};
    lastShifted_ = in[3];
    if (enable) {
        serialState_ = SerialState::Programming;
        return out;
    }
    if (Busy(now)) NoteText("SPI instruction " + HexInstruction(in) + " while still programming");
    out[3] = SerialExecute(in, now);
    return out;
}

std::uint8_t SocketChip::SerialExecute(const std::array<std::uint8_t, 4>& in, double now)
{
    const SerialDialect dialect = desc_->dialect;
    const std::uint8_t i1 = in[0], i2 = in[1], i3 = in[2], i4 = in[3];
    const std::uint32_t words = desc_->FlashWords();
    const std::uint32_t word = ((std::uint32_t{i2} << 8) | i3) % words;
    const std::uint32_t eepromAt = ((std::uint32_t{i2} << 8) | i3) % desc_->eepromBytes;
    const bool paged = desc_->flashPageWords != 0;
    auto unknown = [&] {
        NoteText("unknown SPI instruction " + HexInstruction(in));
        return i3;
    };

    switch (i1) {
    case 0xAC:
        if ((i2 & 0xE0) == 0x80) {
            ChipErase();
            StartBusy(now, desc_->times.erase);
            if (dialect != SerialDialect::Tiny13) serialState_ = SerialState::Erasing;
            return i3;
        }
        if (dialect == SerialDialect::At90s23x3) {
            if ((i2 & 0xFE) == 0xBE) {  // 1011 111F: FSTRT or RCEN, bit 0 of the fuse byte
                if (Refused(FusesLocked(), "fuse programming")) return i3;
                fuses[0] = static_cast<std::uint8_t>((fuses[0] & ~0x01) | (i2 & 0x01));
                StartBusy(now, desc_->times.fuse);
                return i3;
            }
            if ((i2 & 0xF9) == 0xF9) {  // 1111 1211: lock bits in I2
                ProgramLock(i2);
                StartBusy(now, desc_->times.fuse);
                return i3;
            }
            return unknown();
        }
        if (dialect == SerialDialect::Tiny12) {
            if ((i2 & 0xF9) == 0xF9) {
                ProgramLock(i2);
                StartBusy(now, desc_->times.fuse);
                return i3;
            }
            if ((i2 & 0xE0) == 0xA0) {  // 101x xxxx: the fuse byte in I4
                if (Refused(FusesLocked(), "fuse programming")) return i3;
                WriteFuse(0, i4, true);
                StartBusy(now, desc_->times.fuse);
                return i3;
            }
            return unknown();
        }
        // ATtiny13/25/26: lock byte and fuse bytes all travel in I4.
        if ((i2 & 0xE0) != 0xE0 && (i2 == 0xA0 || i2 == 0xA8 || i2 == 0xA4) &&
            Refused(FusesLocked(), "fuse programming"))
            return i3;
        if ((i2 & 0xE0) == 0xE0) {
            ProgramLock(i4);
        } else if (i2 == 0xA0) {
            WriteFuse(0, i4, true);
        } else if (i2 == 0xA8) {
            WriteFuse(1, i4, true);
        } else if (i2 == 0xA4 && desc_->fuses[2].present) {
            WriteFuse(2, i4, true);
        } else {
            return unknown();
        }
        StartBusy(now, desc_->times.fuse);
        return i3;

    case 0x20:
    case 0x28:
        if (Refused(VerifyLocked(), "flash read")) return 0xFF;
        return flash[word * 2 + (i1 == 0x28 ? 1 : 0)];

    case 0x40:
    case 0x48: {
        const std::uint8_t high = i1 == 0x48 ? 1 : 0;
        if (!paged) {
            if (Refused(ProgrammingLocked(), "flash programming")) return i3;
            const std::uint32_t at = word * 2 + high;
            if ((flash[at] & i4) != i4)
                NoteText("flash byte programmed over a cell that was not erased");
            ProgramFlashByte(at, i4);
            StartBusy(now, desc_->times.flash);
            return i3;
        }
        // Only the word-in-page bits of I3 address the page buffer.
        const std::uint32_t slot = i3 % desc_->flashPageWords;
        auto& w = flashBuffer_[slot];
        w = high ? static_cast<std::uint16_t>((w & 0x00FF) | (i4 << 8))
                 : static_cast<std::uint16_t>((w & 0xFF00) | i4);
        flashLoaded_[slot] = true;
        return i3;
    }

    case 0x4C:
        if (!paged) return unknown();
        if (Refused(ProgrammingLocked(), "flash programming")) return i3;
        CommitFlashPage(word);
        StartBusy(now, desc_->times.flash);
        return i3;

    case 0xA0:
        if (Refused(VerifyLocked(), "EEPROM read")) return 0xFF;
        return eeprom[eepromAt];

    case 0xC0:
        if (Refused(ProgrammingLocked(), "EEPROM programming")) return i3;
        eeprom[eepromAt] = i4;  // erased and written in one self-timed cycle
        StartBusy(now, desc_->times.eeprom);
        return i3;

    case 0xC1: {
        if (dialect != SerialDialect::Tiny13 || !desc_->eepromPageBytes) return unknown();
        const std::uint32_t slot = i3 % desc_->eepromPageBytes;
        eepromBuffer_[slot] = i4;
        eepromLoaded_[slot] = true;
        return i3;
    }

    case 0xC2:
        if (dialect != SerialDialect::Tiny13 || !desc_->eepromPageBytes) return unknown();
        if (Refused(ProgrammingLocked(), "EEPROM programming")) return i3;
        CommitEepromPage(eepromAt, true);
        StartBusy(now, desc_->times.eeprom);
        return i3;

    case 0x58:
        if (dialect == SerialDialect::At90s23x3) return CombinedFuseLock();
        if (dialect == SerialDialect::Tiny12) return LockValue();
        if (i2 == 0x00) return LockValue();
        if (i2 == 0x08) return FuseValue(1);
        return unknown();

    case 0x50:
        if (dialect == SerialDialect::At90s23x3) return unknown();
        if (i2 == 0x00) return FuseValue(0);
        if (i2 == 0x08 && dialect == SerialDialect::Tiny13 && desc_->fuses[2].present) return FuseValue(2);
        return unknown();

    case 0x30:
        return SignatureByte(i3 & 0x03);

    case 0x38:
        if (dialect == SerialDialect::At90s23x3) return unknown();
        return CalibrationByte(i3);

    default:
        return unknown();
    }
}

}  // namespace quillon::sim
