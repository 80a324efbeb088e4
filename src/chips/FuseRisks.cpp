#include "chips/FuseRisks.h"

#include "chips/ChipTable.h"

namespace quillon {

namespace {

bool Programmed(std::uint8_t byte, std::size_t bit)
{
    return (byte & (1u << bit)) == 0;
}

// The bits that choose where the clock comes from. SUT and CKDIV8 only change start-up time and
// speed within the same source, so they are left out.
bool ClockSource(std::string_view name)
{
    return name.starts_with("CKSEL") || name == "RCEN" || name == "PLLCK" || name == "CKOPT";
}

// LB1/LB2 stop external reads; the boot lock bits (BLB..) only restrict the chip's own code.
bool LockBit(std::string_view name)
{
    return name.starts_with("LB");
}

}  // namespace

FuseRisks JudgeFuseBytes(const ChipRow& row, std::span<const std::uint8_t> before,
                         std::span<const std::uint8_t> after)
{
    FuseRisks risks;
    const bool serial = row.family == Family::Serial;
    std::vector<std::string> clock;
    for (std::size_t slot = 0; slot < row.bitNames.size() && slot < after.size(); ++slot) {
        const std::uint8_t now = slot < before.size() ? before[slot] : std::uint8_t{0xFF};
        const std::uint8_t next = after[slot];
        for (std::size_t bit = 0; bit < 8; ++bit) {
            const std::string_view name = row.bitNames[slot].bit[bit];
            if (name.empty()) continue;
            const bool programmed = Programmed(next, bit);
            // Without SPIEN, with the reset pin turned into I/O or taken over by debugWIRE, the
            // serial interface no longer answers.
            const bool endsSerial = (name == "SPIEN" && !programmed) ||
                                    ((name == "RSTDISBL" || name == "DWEN") && programmed);
            if (endsSerial) (serial ? risks.lockOut : risks.serialLockOut).emplace_back(name);
            if (LockBit(name) && programmed) risks.lockBits.emplace_back(name);
            if (ClockSource(name) && Programmed(now, bit) != programmed) clock.emplace_back(name);
        }
    }
    // A serial chip needs a running clock to answer; the gateway gives it none, so a source that
    // needs a crystal, an external clock or is too slow ends programming here.
    if (serial) risks.lockOut.insert(risks.lockOut.end(), clock.begin(), clock.end());
    return risks;
}

std::string JoinBitNames(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace quillon
