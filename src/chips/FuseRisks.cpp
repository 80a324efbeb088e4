#include "chips/FuseRisks.h"

#include "chips/ChipTable.h"
#include "chips/FuseFields.h"

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

std::string BitSentence(std::string_view name)
{
    if (name == "SPIEN")
        return "SPIEN off: serial programming is disabled; only a high-voltage programmer can turn it back on.";
    if (name == "RSTDISBL")
        return "RSTDISBL on: the RESET pin becomes an I/O pin, so a serial programmer can no longer hold the chip "
               "in reset.";
    if (name == "DWEN")
        return "DWEN on: debugWIRE takes the RESET pin; serial programming stops until debugWIRE turns it off.";
    return {};
}

// What a clock source needs from the board before the chip runs; empty for an internal one.
std::string ClockNeeds(const std::string& key, const std::string& source)
{
    const std::string pin = source.find("CLKI") != std::string::npos ? "CLKI" : "XTAL1";
    if (key.starts_with("ext-clock"))
        return "The chip will not run, and cannot be programmed serially, until a clock signal is fed to " + pin +
               " \u2014 a crystal alone will not start it.";
    if (key.starts_with("ext-rc"))
        return "The chip will not run, and cannot be programmed serially, without an RC network on XTAL1.";
    if (key.starts_with("xtal") || key.starts_with("fs-xtal") || key.starts_with("lf-xtal") ||
        key.starts_with("resonator"))
        return "The chip will not run, and cannot be programmed serially, without a matching crystal or resonator "
               "on XTAL1 and XTAL2.";
    if (key.starts_with("rc128k"))
        return "The chip then runs at 128 kHz: a serial programmer must slow its clock below 32 kHz to reach it.";
    return {};
}

std::string SourceOf(const std::string& meaning)
{
    return meaning.substr(0, meaning.find(';'));
}

}  // namespace

std::string ClockSourceSentence(const ChipRow& row, std::span<const std::uint8_t> bytes)
{
    const ChipFuses* fuses = FusesOf(row);
    if (fuses == nullptr) return {};
    if (const FuseField* rcen = fuses->Find("rcen")) {
        if (rcen->ValueIn(bytes) == 0) return "Clock source: internal RC oscillator.";
        return "Clock source: external clock (RCEN off). " + ClockNeeds("ext-clock", "");
    }
    const FuseField* clock = fuses->Find("clock");
    if (clock == nullptr) return {};
    const std::uint8_t value = clock->ValueIn(bytes);
    const FuseSetting* setting = clock->Setting(value);
    if (setting == nullptr)
        return "Clock source: " + clock->Words(value) + ", which the datasheet does not allow.";
    std::string sentence = "Clock source: " + SourceOf(setting->meaning) + ".";
    if (const std::string needs = ClockNeeds(setting->key, setting->meaning); !needs.empty()) sentence += " " + needs;
    return sentence;
}

std::vector<std::string> SerialReachCauses(const ChipRow& row, std::span<const std::uint8_t> bytes)
{
    std::vector<std::string> causes;
    for (std::size_t slot = 0; slot < row.bitNames.size() && slot < bytes.size(); ++slot) {
        for (std::size_t bit = 0; bit < 8; ++bit) {
            const std::string_view name = row.bitNames[slot].bit[bit];
            const bool programmed = Programmed(bytes[slot], bit);
            if ((name == "SPIEN" && !programmed) || ((name == "RSTDISBL" || name == "DWEN") && programmed))
                causes.push_back(BitSentence(name));
        }
    }
    const ChipFuses* fuses = FusesOf(row);
    const FuseField* clock = fuses ? fuses->Find("clock") : nullptr;
    const FuseField* rcen = fuses ? fuses->Find("rcen") : nullptr;
    const FuseSetting* setting = clock ? clock->Setting(clock->ValueIn(bytes)) : nullptr;
    if ((rcen != nullptr && rcen->ValueIn(bytes) != 0) || (clock != nullptr && setting == nullptr) ||
        (setting != nullptr && !ClockNeeds(setting->key, setting->meaning).empty()))
        causes.push_back(ClockSourceSentence(row, bytes));
    const FuseRisks risks = JudgeFuseBytes(row, bytes, bytes);
    if (!risks.lockBits.empty())
        causes.push_back("Lock bits " + JoinBitNames(risks.lockBits) +
                         " programmed: the flash and EEPROM read back locked, and the fuses cannot be changed until "
                         "a Chip Erase.");
    return causes;
}

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
    std::vector<std::string>& words = serial ? risks.explanations : risks.information;
    for (const std::string& name : serial ? risks.lockOut : risks.serialLockOut)
        if (std::string sentence = BitSentence(name); !sentence.empty()) words.push_back(sentence);
    if (!clock.empty()) {
        // On a parallel chip only a source that needs the board's help is worth a line.
        const std::string sentence = ClockSourceSentence(row, after);
        if (serial || sentence.find(". ") != std::string::npos) words.push_back(sentence);
    }
    return risks;
}

std::string JoinBitNames(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace quillon
