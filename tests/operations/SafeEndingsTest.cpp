// Commands whose steps only send: a gateway that goes silent with the line open fails them as a
// missing answer does, wherever it stops answering. And every command, whatever its ending,
// leaves the socket without supply.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "chips/Catalogue.h"
#include "model/SimDevice.h"
#include "operations/ChipSelection.h"
#include "operations/Connection.h"
#include "operations/LockFuses.h"
#include "operations/MemoryCommands.h"
#include "operations/Session.h"
#include "support/Answers.h"

namespace quillon {
namespace {

using Lines = std::vector<std::string>;

using test::Yes;

// A session on the in-process simulated gateway with `faults` on, the chip selected, virtual time.
struct Faulty {
    std::shared_ptr<sim::SimDevice> device;
    Session session;

    Faulty(const std::string& chip, sim::Faults faults)
        : device(std::make_shared<sim::SimDevice>(sim::MakeSocketChip(chip), std::move(faults))),
          session([d = device](const std::string&) {
              return OpenedPort{std::make_unique<sim::SimTransport>(d), OpenFailure::None};
          })
    {
        session.bus.sleep = [d = device](int ms) { d->Sleep(ms); };
        session.bus.delay = 0;
        session.bus.confirmAnswers = true;
        session.powerDownAfterCommand = true;
        EXPECT_TRUE(Connect(session, "sim:").Succeeded());
        SelectChip(session, FindChipByName(chip)->signature);
    }
    sim::SocketChip& Chip() { return *device->Chip(); }
    bool Unpowered()
    {
        const sim::SocketLines lines = device->Model().Lines();
        return !lines.vcc && !lines.vpp && !Chip().InSerialMode() && !Chip().InParallelMode();
    }
};

std::vector<std::uint8_t> Pattern(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return bytes;
}

struct SilentCase {
    const char* chip;
    const char* what;
    std::function<Result(Session&)> command;
};

void PrintTo(const SilentCase& c, std::ostream* os) { *os << c.chip << " " << c.what; }

Result WriteFlash(Session& s)
{
    const auto bytes = Pattern(300);
    std::copy(bytes.begin(), bytes.end(), s.chip.flash.begin());
    return WriteProgram(s, Yes);
}

Result WriteEeprom(Session& s)
{
    const auto bytes = Pattern(s.chip.eepromSize);
    std::copy(bytes.begin(), bytes.end(), s.chip.eeprom.begin());
    return WriteData(s, Yes);
}

Result Erase(Session& s) { return ChipErase(s, Yes); }

Result WriteFuses(Session& s)
{
    LockFusesDialog dialog = OpenLockFusesDialog(s.chip);
    return WriteLockFuses(s, dialog, Yes);
}

class GoingSilent : public ::testing::TestWithParam<SilentCase> {};

// The gateway stops answering (its line still open) before the command's last three packets
// (its last step, the proof and the power-down), then after half of them: no such command ends in success, and none logs more than one error.
TEST_P(GoingSilent, FailsTheCommandWithTheMissingAnswer)
{
    const SilentCase& c = GetParam();
    int packets = 0;
    {
        Faulty clean(c.chip, {});
        const int before = clean.device->PacketsWritten();
        ASSERT_TRUE(c.command(clean.session).Succeeded()) << clean.session.bus.log.Lines().back();
        packets = clean.device->PacketsWritten() - before;
    }
    for (const int heard : {packets - 3, packets / 2}) {
        Faulty f(c.chip, {});
        f.device->ActiveFaults().silentAfter = f.device->PacketsWritten() + heard;
        const Result result = c.command(f.session);
        const Lines lines = f.session.bus.log.Lines();
        EXPECT_EQ(result.failure, FailureKind::Link) << heard << " of " << packets << ": " << lines.back();
        EXPECT_FALSE(f.session.bus.link.IsOpen());
        const auto error = std::find_if(lines.begin(), lines.end(),
                                        [](const std::string& l) { return l.starts_with("Error "); });
        ASSERT_NE(error, lines.end()) << heard;
        EXPECT_TRUE(error->starts_with("Error reading the answer")) << heard << ": " << *error;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "       Finished with fail."), 1) << heard;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "       Finished with success."),
                  std::count(lines.begin(), error, "       Finished with success."))
            << "nothing succeeds after the gateway went silent";
    }
}

// One of each way a command only sends: serial page and byte writes, serial EEPROM pages and
// bytes, the serial fuse writes, and the erases that wait for no ready signal (serial, classic,
// the long pulse of the ATmega603).
INSTANTIATE_TEST_SUITE_P(
    Commands, GoingSilent,
    ::testing::Values(SilentCase{"ATtiny85", "write program", WriteFlash},
                      SilentCase{"ATtiny85", "write data", WriteEeprom},
                      SilentCase{"ATtiny85", "erase", Erase},
                      SilentCase{"ATtiny85", "write fuses", WriteFuses},
                      SilentCase{"ATtiny12", "write program", WriteFlash},
                      SilentCase{"AT90S2343", "write data", WriteEeprom},
                      SilentCase{"AT90S2313", "erase", Erase},
                      SilentCase{"ATmega603", "erase", Erase}),
    [](const auto& info) {
        std::string name = std::string(info.param.chip) + "_" + info.param.what;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

// The proof costs the steps that read nothing one ReadPINC a page or 32 bytes; a parallel write,
// which polls RDY/BSY after every page, gets one at its very end and nothing more.
TEST(AnswerCheck, AddsOneReadPincAPageOnlyWhereNothingIsRead)
{
    struct Case {
        const char* chip;
        std::size_t added;
    };
    // ATtiny85: erase, 300 bytes in 5 pages of 64, the end; ATmega8: the last page's NoOperation.
    for (const Case& c : {Case{"ATtiny85", 1 + 5 + 0}, Case{"ATmega8", 1}}) {
        std::size_t pinc[2] = {};
        for (const bool on : {false, true}) {
            Faulty f(c.chip, {});
            f.session.bus.confirmAnswers = on;
            f.session.skipBlankPages = true;
            f.device->Trace().Clear();
            ASSERT_TRUE(WriteFlash(f.session).Succeeded()) << c.chip;
            const auto packets = f.device->Trace().Packets();
            pinc[on] = static_cast<std::size_t>(std::count(packets.begin(), packets.end(), sim::Bytes{0x18}));
        }
        EXPECT_EQ(pinc[1] - pinc[0], c.added) << c.chip;
    }
}

sim::Faults NeverReady()
{
    sim::Faults faults;
    faults.neverReady = true;
    return faults;
}

struct EndingCase {
    const char* what;
    std::function<Result(Session&)> command;
    sim::Faults faults;
    bool succeeds;
};

// Every command leaves the socket unpowered, whether it succeeded or the chip failed it; off,
// the socket stays powered after a command as it always did.
TEST(PowerDown, EveryCommandEndsWithTheSocketUnpowered)
{
    const EndingCase cases[] = {
        {"read program", ReadProgram, {}, true},
        {"verify data", VerifyData, {}, false},  // the chip's erased EEPROM against a zeroed image
        {"read calibration", ReadCalibration, {}, true},
        {"read fuses", [](Session& s) {
             LockFusesDialog dialog = OpenLockFusesDialog(s.chip);
             return ReadLockFuses(s, dialog);
         }, {}, true},
        {"write fuses", WriteFuses, {}, true},
        {"write program", WriteFlash, {}, true},
        {"write data", WriteEeprom, {}, true},
        {"erase", Erase, {}, true},
        {"never ready", Erase, NeverReady(), false},
    };
    for (const char* chip : {"ATmega8", "ATtiny85"}) {
        for (const EndingCase& c : cases) {
            if (c.faults.neverReady && std::string(chip) == "ATtiny85") continue;  // it polls nothing
            Faulty f(chip, c.faults);
            std::fill(f.session.chip.eeprom.begin(), f.session.chip.eeprom.end(), 0x00);
            EXPECT_EQ(c.command(f.session).Succeeded(), c.succeeds) << chip << " " << c.what;
            EXPECT_TRUE(f.session.bus.link.IsOpen()) << chip << " " << c.what;
            EXPECT_TRUE(f.Unpowered()) << chip << " " << c.what;
        }
        Faulty kept(chip, {});
        kept.session.powerDownAfterCommand = false;
        ASSERT_TRUE(ReadProgram(kept.session).Succeeded());
        EXPECT_FALSE(kept.Unpowered()) << chip;
    }
}

TEST(PowerDown, DisconnectSwitchesTheSocketOffBeforeClosing)
{
    Faulty f("ATmega8", {});
    f.session.powerDownAfterCommand = false;
    ASSERT_TRUE(ReadProgram(f.session).Succeeded());
    ASSERT_FALSE(f.Unpowered());
    f.session.powerDownAfterCommand = true;
    Disconnect(f.session);
    EXPECT_TRUE(f.Unpowered());
    EXPECT_EQ(f.session.bus.log.Lines().back(), "The COM-port is closed");
}

}  // namespace
}  // namespace quillon
