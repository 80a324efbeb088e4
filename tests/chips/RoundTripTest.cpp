// Every catalogue chip against the simulated chip in its socket: erase, write flash and EEPROM
// with the memory walk the write commands use, read both back, verify, find a changed byte,
// write and read the lock and fuse bytes, and read the calibration bytes.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "chips/BitNames.h"
#include "chips/Catalogue.h"
#include "chips/ChipTable.h"
#include "chips/MemoryWalk.h"
#include "support/SimHarness.h"

namespace quillon {

void PrintTo(const ChipRow& chip, std::ostream* os) { *os << chip.name; }

namespace test {
namespace {

std::uint8_t Pattern(std::uint32_t i, std::uint32_t salt)
{
    return static_cast<std::uint8_t>((i * 37u + (i >> 8) * 11u + salt) & 0xFF);
}

// What the simulated chip noted about how it was driven, without the note every new entry into
// programming mode gives (it starts by switching the socket off). The ATtiny2313, AT90CAN and
// ATmega603/103 units program a flash page with the WR pulse alone, BS1 still high from the
// high address byte; the chip notes it, and the page content is checked byte by byte here.
std::vector<std::string> Complaints(SimHarness& harness, const Driver& driver)
{
    const bool bareWrPulse =
        driver.name == "Attiny2313" || driver.name == "At90can32" || driver.name == "Atmega603";
    std::vector<std::string> out;
    for (auto& note : harness.Diagnostics()) {
        if (note.find("left parallel programming mode") != std::string::npos) continue;
        if (bareWrPulse && note.find("flash page programmed with BS1 = 1") != std::string::npos) continue;
        out.push_back(note);
    }
    return out;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const auto& l : lines) s += l + "\n";
    return s;
}

class RoundTrip : public ::testing::TestWithParam<ChipRow> {
protected:
    void SetUp() override
    {
        harness = std::make_unique<SimHarness>(GetParam().name);
        ASSERT_TRUE(harness->Connect());
        FillChipRecord(chip(), GetParam());
        ResetImages(chip());
        entry = FindChip(GetParam().signature);
        ASSERT_NE(entry, nullptr);
        d = entry->driver;
    }

    Bus& bus() { return harness->bus(); }
    Chip& chip() { return *record; }
    Target target() { return TargetOf(chip()); }
    std::span<std::uint8_t> Image(MemoryKind kind) { return ChipMemory(chip(), kind); }

    // The trace of a whole memory would run to millions of packets: it is dropped as it grows.
    WalkProgress DropTrace()
    {
        return [this](std::uint32_t, std::uint32_t) { harness->ClearTrace(); };
    }

    WalkResult Write(MemoryKind kind) { return WriteMemory(bus(), *entry, target(), kind, Image(kind), DropTrace()); }
    WalkResult Read(MemoryKind kind) { return ReadMemory(bus(), *entry, target(), kind, Image(kind), DropTrace()); }
    WalkResult Verify(MemoryKind kind) { return VerifyMemory(bus(), *entry, target(), kind, Image(kind), DropTrace()); }

    std::unique_ptr<SimHarness> harness;
    std::unique_ptr<Chip> record = std::make_unique<Chip>();
    const ChipRow* entry = nullptr;
    const Driver* d = nullptr;
};

TEST_P(RoundTrip, MemoriesWriteReadAndVerify)
{
    const std::uint32_t flashSize = chip().flashSize, eepromSize = chip().eepromSize;
    std::vector<std::uint8_t> flash(flashSize), eeprom(eepromSize);
    for (std::uint32_t i = 0; i < flashSize; ++i) flash[i] = Pattern(i, 1);
    for (std::uint32_t i = 0; i < eepromSize; ++i) eeprom[i] = Pattern(i, 0x5D);

    harness->chip().flash.assign(flashSize, 0x00);  // whatever was there before
    EXPECT_TRUE(EraseChip(bus(), *entry, target()).Done());
    EXPECT_EQ(harness->chip().flash, std::vector<std::uint8_t>(flashSize, 0xFF)) << "erase";

    std::copy(flash.begin(), flash.end(), chip().flash.begin());
    std::copy(eeprom.begin(), eeprom.end(), chip().eeprom.begin());
    EXPECT_TRUE(Write(MemoryKind::Program).Done());
    EXPECT_TRUE(Write(MemoryKind::Data).Done());
    EXPECT_EQ(harness->chip().flash, flash) << "the chip's flash after writing";
    EXPECT_EQ(harness->chip().eeprom, eeprom) << "the chip's EEPROM after writing";

    // Read back into blank images.
    std::fill(chip().flash.begin(), chip().flash.end(), 0x00);
    std::fill(chip().eeprom.begin(), chip().eeprom.end(), 0x00);
    EXPECT_TRUE(Read(MemoryKind::Program).Done());
    EXPECT_TRUE(Read(MemoryKind::Data).Done());
    EXPECT_TRUE(std::equal(flash.begin(), flash.end(), chip().flash.begin())) << "flash read back";
    EXPECT_TRUE(std::equal(eeprom.begin(), eeprom.end(), chip().eeprom.begin())) << "EEPROM read back";

    EXPECT_TRUE(Verify(MemoryKind::Program).Done());
    EXPECT_TRUE(Verify(MemoryKind::Data).Done());

    // A changed byte stops the verify at its address (a word's even address), silently.
    const std::uint32_t changedFlash = flashSize / 2 + 1, changedEeprom = eepromSize - 3;
    chip().flash[changedFlash] ^= 0x10;
    chip().eeprom[changedEeprom] ^= 0x01;
    const std::size_t lines = bus().log.Size();
    const WalkResult flashDiffers = Verify(MemoryKind::Program);
    EXPECT_EQ(flashDiffers.ending, Ending::Failed);
    EXPECT_EQ(flashDiffers.failure.address, changedFlash - (changedFlash % entry->FlashStep()));
    const WalkResult eepromDiffers = Verify(MemoryKind::Data);
    EXPECT_EQ(eepromDiffers.ending, Ending::Failed);
    EXPECT_EQ(eepromDiffers.failure.address, changedEeprom);
    EXPECT_EQ(bus().log.Size(), lines + 4) << "only the two entries log";
    EXPECT_TRUE(bus().link.IsOpen());
    EXPECT_EQ(Joined(harness->ProtocolErrors()), "");
    EXPECT_EQ(Joined(Complaints(*harness, *d)), "");
}

TEST_P(RoundTrip, BlankFlashPagesSkippedEndAsAFullWrite)
{
    // A sparse program: two bytes in the middle of a page, one at a quarter, the rest erased.
    const std::uint32_t size = chip().flashSize;
    std::vector<std::uint8_t> flash(size, 0xFF);
    flash[size / 4] = 0x00;
    flash[size / 2 + 6] = 0x12;
    flash[size / 2 + 7] = 0x34;
    std::copy(flash.begin(), flash.end(), chip().flash.begin());
    harness->chip().flash.assign(size, 0x00);

    auto& committed = harness->chip().committedFlashPages;
    committed.clear();
    EXPECT_TRUE(WriteMemory(bus(), *entry, target(), MemoryKind::Program, Image(MemoryKind::Program), DropTrace(),
                            {.skipBlankFlash = true})
                    .Done());
    EXPECT_EQ(harness->chip().flash, flash) << "the chip ends as a full write leaves it";

    if (entry->page != 0) {
        // The pages with data; the parallel units also keep the first page (it loads the write
        // command) and the last (it unloads it).
        const std::uint32_t page = entry->page;
        std::vector<std::uint32_t> expected{size / 4 / page * page, (size / 2 + 6) / page * page};
        if (entry->family != Family::Serial) {
            expected.insert(expected.begin(), 0);
            expected.push_back(size - page);
        }
        EXPECT_EQ(committed, expected);
    }
    EXPECT_EQ(Joined(harness->ProtocolErrors()), "");
    EXPECT_EQ(Joined(Complaints(*harness, *d)), "");
}

TEST_P(RoundTrip, VerifyComparesOnlyTheBytesTheFileGives)
{
    const std::uint32_t size = chip().flashSize;
    std::vector<std::uint8_t> inChip(size);
    for (std::uint32_t i = 0; i < size; ++i) inChip[i] = Pattern(i, 3);
    harness->PreloadFlash(inChip);

    // The file gives an odd-started stretch (half of a word at each end on word units); the
    // image outside it differs from the chip everywhere.
    const std::uint32_t from = size / 4 + 1, to = size / 2 + 1;
    std::vector<std::uint8_t> covered(size, 0);
    std::fill(covered.begin() + from, covered.begin() + to, 1);
    auto image = Image(MemoryKind::Program);
    for (std::uint32_t i = 0; i < size; ++i) image[i] = covered[i] ? inChip[i] : static_cast<std::uint8_t>(~inChip[i]);

    auto verify = [&] { return VerifyMemory(bus(), *entry, target(), MemoryKind::Program, image, DropTrace(), covered); };
    const WalkResult same = verify();
    EXPECT_TRUE(same.Done());
    EXPECT_EQ(same.bytes, to - from);

    for (const std::uint32_t changed : {from, to - 1, (from + to) / 2}) {
        image[changed] ^= 0x40;
        const WalkResult differs = verify();
        EXPECT_EQ(differs.ending, Ending::Failed) << changed;
        EXPECT_EQ(differs.failure.address, changed - changed % entry->FlashStep()) << changed;
        EXPECT_TRUE(bus().link.IsOpen());
        image[changed] ^= 0x40;
    }
    EXPECT_EQ(Joined(harness->ProtocolErrors()), "");
}

TEST_P(RoundTrip, AnswersInFlightReadAndVerifyAsOneAtATime)
{
    const std::uint32_t flashSize = chip().flashSize, eepromSize = chip().eepromSize;
    std::vector<std::uint8_t> flash(flashSize), eeprom(eepromSize);
    for (std::uint32_t i = 0; i < flashSize; ++i) flash[i] = Pattern(i, 9);
    for (std::uint32_t i = 0; i < eepromSize; ++i) eeprom[i] = Pattern(i, 0x21);
    harness->PreloadFlash(flash);
    harness->PreloadEeprom(eeprom);
    const ReadChoices inFlight{.answersInFlight = 8};

    for (const MemoryKind kind : {MemoryKind::Program, MemoryKind::Data}) {
        const auto& inChip = kind == MemoryKind::Program ? flash : eeprom;
        const std::uint32_t step = kind == MemoryKind::Program ? entry->FlashStep() : 1;
        auto image = Image(kind);
        std::fill(image.begin(), image.end(), 0x00);
        EXPECT_TRUE(ReadMemory(bus(), *entry, target(), kind, image, DropTrace(), inFlight).Done());
        EXPECT_TRUE(std::equal(inChip.begin(), inChip.end(), image.begin())) << "read in flight";
        EXPECT_EQ(bus().link.Owed(), 0u);

        EXPECT_TRUE(VerifyMemory(bus(), *entry, target(), kind, image, DropTrace(), {}, inFlight).Done());
        // A difference stops where one read at a time stops, and the answers still in flight
        // are taken, so the port is open and in step for the next command.
        for (const std::uint32_t changed : {0u, static_cast<std::uint32_t>(inChip.size()) / 2 + 1,
                                            static_cast<std::uint32_t>(inChip.size()) - 1}) {
            image[changed] ^= 0x08;
            const WalkResult differs = VerifyMemory(bus(), *entry, target(), kind, image, DropTrace(), {}, inFlight);
            EXPECT_EQ(differs.ending, Ending::Failed) << changed;
            EXPECT_EQ(differs.failure.address, changed - changed % step) << changed;
            EXPECT_TRUE(bus().link.IsOpen());
            EXPECT_EQ(bus().link.Owed(), 0u);
            EXPECT_EQ(harness->device().Queued(), 0u) << "an answer left behind";
            image[changed] ^= 0x08;
        }
    }

    // Only the bytes a file gives: the same count and the same stop as one at a time.
    const std::uint32_t from = flashSize / 4 + 1, to = flashSize / 2 + 1;
    std::vector<std::uint8_t> covered(flashSize, 0);
    std::fill(covered.begin() + from, covered.begin() + to, 1);
    auto image = Image(MemoryKind::Program);
    for (std::uint32_t i = 0; i < flashSize; ++i) image[i] = covered[i] ? flash[i] : static_cast<std::uint8_t>(~flash[i]);
    const WalkResult same = VerifyMemory(bus(), *entry, target(), MemoryKind::Program, image, DropTrace(), covered, inFlight);
    EXPECT_TRUE(same.Done());
    EXPECT_EQ(same.bytes, to - from);
    image[to - 1] ^= 0x40;
    const WalkResult differs = VerifyMemory(bus(), *entry, target(), MemoryKind::Program, image, DropTrace(), covered, inFlight);
    EXPECT_EQ(differs.failure.address, (to - 1) - (to - 1) % entry->FlashStep());

    // Cancelled halfway, the reads in flight are taken before the socket is powered down.
    const WalkProgress cancelHalfway = [&](std::uint32_t done, std::uint32_t total) {
        harness->ClearTrace();
        if (done >= total / 2) bus().cancel.Request();
    };
    const WalkResult cancelled = ReadMemory(bus(), *entry, target(), MemoryKind::Program, image, cancelHalfway, inFlight);
    bus().cancel.Clear();
    EXPECT_EQ(cancelled.ending, Ending::Cancelled);
    EXPECT_TRUE(bus().link.IsOpen());
    EXPECT_EQ(bus().link.Owed(), 0u);
    EXPECT_EQ(harness->device().Queued(), 0u);
    EXPECT_EQ(Joined(harness->ProtocolErrors()), "");
}

TEST_P(RoundTrip, FlashPagesAreTheChipsOwn)
{
    // Committing pages of another size than the chip's programs some of its pages twice, or
    // leaves words in the buffer that the next commit puts into the wrong page.
    EXPECT_EQ(entry->page, 2u * harness->chip().Description().flashPageWords);
}

// The slots as the dialog would store them: hidden bits 1, the factory values, and one named
// bit of every slot changed that no programming interface refuses to change.
std::vector<std::uint8_t> EditedSlots(const ChipRow& chip)
{
    const auto names = BitNamesFor(chip.signature);
    std::vector<std::uint8_t> slots(chip.factoryLockFuse.begin(), chip.factoryLockFuse.begin() + chip.lockFuseCount);
    for (std::size_t s = 0; s < slots.size(); ++s) {
        std::uint8_t named = 0;
        for (int b = 0; b < 8; ++b)
            if (!names[s].bit[static_cast<std::size_t>(b)].empty()) named |= static_cast<std::uint8_t>(1 << b);
        slots[s] |= static_cast<std::uint8_t>(~named);
        for (int b = 0; b < 8; ++b) {
            const std::string_view name = names[s].bit[static_cast<std::size_t>(b)];
            if (name.empty() || (names[s].greyed >> b & 1) || name == "SPIEN" || name == "RSTDISBL" || name == "DWEN")
                continue;
            slots[s] ^= static_cast<std::uint8_t>(1 << b);
            break;
        }
    }
    return slots;
}

TEST_P(RoundTrip, LockAndFuseBytesWriteAndReadBack)
{
    const std::vector<std::uint8_t> written = EditedSlots(GetParam());
    std::copy(written.begin(), written.end(), chip().lockFuse.begin());
    ASSERT_TRUE(d->EnterProgMode(bus(), target()));
    for (auto op : LockFuseWriteSequence(*d)) ASSERT_TRUE(op(bus(), target(), chip().lockFuse));

    std::fill(chip().lockFuse.begin(), chip().lockFuse.end(), 0x00);
    ASSERT_TRUE(d->EnterProgMode(bus(), target()));
    for (auto op : LockFuseReadSequence(*d)) ASSERT_TRUE(op(bus(), target(), chip().lockFuse));
    EXPECT_EQ(std::vector<std::uint8_t>(chip().lockFuse.begin(), chip().lockFuse.begin() + written.size()), written);
    EXPECT_EQ(Joined(harness->ProtocolErrors()), "");
    EXPECT_EQ(Joined(Complaints(*harness, *d)), "");
}

TEST_P(RoundTrip, FactoryLockAndFuseBytesReadAsTheCatalogueHasThem)
{
    ASSERT_TRUE(d->EnterProgMode(bus(), target()));
    std::fill(chip().lockFuse.begin(), chip().lockFuse.end(), 0x00);
    for (auto op : LockFuseReadSequence(*d)) ASSERT_TRUE(op(bus(), target(), chip().lockFuse));
    const auto& factory = GetParam().factoryLockFuse;
    EXPECT_EQ(std::vector<std::uint8_t>(chip().lockFuse.begin(), chip().lockFuse.begin() + GetParam().lockFuseCount),
              std::vector<std::uint8_t>(factory.begin(), factory.begin() + GetParam().lockFuseCount));
}

TEST_P(RoundTrip, CalibrationBytesComeFromTheChip)
{
    const Driver* unit = entry->CalibrationUnit();
    if (!unit) {
        EXPECT_EQ(d->ReadCalibration, nullptr) << "a chip without a calibration read offers none";
        return;
    }
    chip().calibration.fill(0x00);
    const std::size_t count = std::min<std::size_t>(chip().calibrationCount, chip().calibration.size());
    ASSERT_TRUE(unit->EnterProgMode(bus(), target()));
    ASSERT_TRUE(unit->ReadCalibration(bus(), target(), std::span(chip().calibration).first(count)));
    const auto& real = harness->chip().calibration;
    const std::size_t read = unit->name == "At90can32" ? 1 : GetParam().calibrationCount;
    EXPECT_TRUE(std::equal(real.begin(), real.begin() + static_cast<long>(read), chip().calibration.begin()));
}

INSTANTIATE_TEST_SUITE_P(AllChips, RoundTrip, ::testing::ValuesIn(Catalogue().begin(), Catalogue().end()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace test
}  // namespace quillon
