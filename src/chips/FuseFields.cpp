#include "chips/FuseFields.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <map>
#include <mutex>

#include "chips/ChipTable.h"

namespace quillon {

namespace {

// ---- Clock sources and their start-up times --------------------------------------------------

// One start-up choice: which of the source's two CKSEL codes (offset 0 or 1), the SUT value, the
// clocks counted from power-down and the delay after reset.
struct Start {
    std::uint8_t ckOffset = 0;
    std::uint8_t sut = 0;
    std::string_view clocks;  // "6 CK", "16K CK"
    std::string_view ms;      // "0", "4.1", "65"
};
using Starts = std::vector<Start>;

struct Source {
    std::uint8_t cksel = 0;
    std::string_view key;   // "xtal-8m"
    std::string_view text;  // "crystal oscillator, 8 MHz and up"
    Starts starts;
    std::uint8_t extra = 0;  // bits the field adds to every value (the ATtiny26's PLLCK)
};

Starts Three(std::string_view clocks, std::string_view ms4, std::string_view ms65)
{
    return {{0, 0, clocks, "0"}, {0, 1, clocks, ms4}, {0, 2, clocks, ms65}};
}

// The eight start-ups of a crystal or resonator pair of codes: CKSEL0 and SUT together.
Starts Crystal(std::string_view ms4, std::string_view ms65)
{
    return {{0, 0, "258 CK", ms4}, {0, 1, "258 CK", ms65}, {0, 2, "1K CK", "0"}, {0, 3, "1K CK", ms4},
            {1, 0, "1K CK", ms65}, {1, 1, "16K CK", "0"},  {1, 2, "16K CK", ms4}, {1, 3, "16K CK", ms65}};
}

std::string ClockKey(std::string_view clocks)
{
    std::string key;
    for (char c : clocks)
        if (c != ' ') key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key.ends_with("kck")) key.resize(key.size() - 2);  // "16kck" -> "16k"
    return key;
}

std::string MsKey(std::string_view ms)
{
    std::string key(ms.substr(0, ms.find('.')));
    return key + "ms";
}

// The settings of a CKSEL (+ SUT) field: value = extra | SUT << sutShift | CKSEL.
std::vector<FuseSetting> ClockSettings(const std::vector<Source>& sources, int sutShift)
{
    std::vector<FuseSetting> settings;
    for (const Source& s : sources) {
        if (s.starts.empty()) {
            settings.push_back({static_cast<std::uint8_t>(s.extra | s.cksel), std::string(s.key),
                                std::string(s.text)});
            continue;
        }
        for (const Start& st : s.starts) {
            FuseSetting setting;
            setting.value = static_cast<std::uint8_t>(s.extra | (st.sut << sutShift) | (s.cksel + st.ckOffset));
            setting.key = std::string(s.key) + "-" + ClockKey(st.clocks) + "-" + MsKey(st.ms);
            setting.meaning = std::string(s.text) + "; start-up " + std::string(st.clocks) + " + " +
                              std::string(st.ms) + " ms";
            settings.push_back(std::move(setting));
        }
    }
    // Two start-ups a datasheet lists with the same figures still need keys of their own.
    for (std::size_t i = 0; i < settings.size(); ++i)
        for (std::size_t j = i + 1; j < settings.size(); ++j)
            if (settings[j].key == settings[i].key) settings[j].key += "-b";
    return settings;
}

// The low-power crystal oscillator of the newer chips, four frequency ranges from CKSEL 1000.
std::vector<Source> LowPowerCrystals(std::string_view ms4, std::string_view ms65)
{
    return {{0x8, "xtal-0.4m", "crystal or resonator, 0.4-0.9 MHz", Crystal(ms4, ms65)},
            {0xA, "xtal-0.9m", "crystal or resonator, 0.9-3 MHz", Crystal(ms4, ms65)},
            {0xC, "xtal-3m", "crystal or resonator, 3-8 MHz", Crystal(ms4, ms65)},
            {0xE, "xtal-8m", "crystal or resonator, 8 MHz and up", Crystal(ms4, ms65)}};
}

std::vector<Source> Join(std::vector<Source> a, const std::vector<Source>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Source kExtClock41{0x0, "ext-clock", "external clock on XTAL1", Three("6 CK", "4.1", "65")};

// ATmega48/88/168/328 and the ATmega164/324/644/1284/640/1280/2560 line.
std::vector<Source> Mega48Clock()
{
    return Join({kExtClock41,
                 {0x2, "rc8m", "internal RC oscillator, 8 MHz", Three("6 CK", "4.1", "65")},
                 {0x3, "rc128k", "internal 128 kHz RC oscillator", Three("6 CK", "4.1", "65")},
                 {0x4, "lf-xtal", "low-frequency (32 kHz) crystal", Three("1K CK", "4.1", "65")},
                 {0x5, "lf-xtal", "low-frequency (32 kHz) crystal", Three("32K CK", "4.1", "65")},
                 {0x6, "fs-xtal", "full-swing crystal oscillator", Crystal("4.1", "65")}},
                LowPowerCrystals("4.1", "65"));
}

// ATmega162 and the AT90CAN chips: the 32 kHz crystal with or without the internal capacitors.
std::vector<Source> Mega162Clock()
{
    return Join({kExtClock41,
                 {0x2, "rc8m", "internal RC oscillator, 8 MHz", Three("6 CK", "4.1", "65")},
                 {0x4, "lf-xtal", "low-frequency (32 kHz) crystal", Three("1K CK", "4.1", "65")},
                 {0x5, "lf-xtal", "low-frequency (32 kHz) crystal", Three("32K CK", "4.1", "65")},
                 {0x6, "lf-xtal-cap", "low-frequency (32 kHz) crystal, internal capacitors",
                  Three("1K CK", "4.1", "65")},
                 {0x7, "lf-xtal-cap", "low-frequency (32 kHz) crystal, internal capacitors",
                  Three("32K CK", "4.1", "65")}},
                LowPowerCrystals("4.1", "65"));
}

std::vector<Source> Mega169Clock()
{
    return Join({kExtClock41,
                 {0x2, "rc8m", "internal RC oscillator, 8 MHz", Three("6 CK", "4.1", "65")},
                 {0x6, "lf-xtal", "low-frequency (32 kHz) crystal", Three("1K CK", "4.1", "65")},
                 {0x7, "lf-xtal", "low-frequency (32 kHz) crystal", Three("32K CK", "4.1", "65")}},
                LowPowerCrystals("4.1", "65"));
}

// The older megas: four RC frequencies, an external RC and CKOPT choosing the crystal's swing.
std::vector<Source> Mega8Clock()
{
    auto extRc = [](std::uint8_t cksel, std::string_view key, std::string_view text) {
        Starts starts = Three("18 CK", "4", "64");
        starts.push_back({0, 3, "6 CK", "4"});
        return Source{cksel, key, text, starts};
    };
    const std::string_view ckopt = " (with CKOPT programmed: full swing, 1 MHz and up)";
    static const std::string low = std::string("crystal or resonator, 0.4-0.9 MHz") + std::string(ckopt);
    static const std::string mid = std::string("crystal or resonator, 0.9-3 MHz") + std::string(ckopt);
    static const std::string high = std::string("crystal or resonator, 3-8 MHz") + std::string(ckopt);
    return {{0x0, "ext-clock", "external clock on XTAL1", Three("6 CK", "4", "64")},
            {0x1, "rc1m", "internal RC oscillator, 1 MHz", Three("6 CK", "4", "64")},
            {0x2, "rc2m", "internal RC oscillator, 2 MHz", Three("6 CK", "4", "64")},
            {0x3, "rc4m", "internal RC oscillator, 4 MHz", Three("6 CK", "4", "64")},
            {0x4, "rc8m", "internal RC oscillator, 8 MHz", Three("6 CK", "4", "64")},
            extRc(0x5, "ext-rc-0.9m", "external RC oscillator, up to 0.9 MHz"),
            extRc(0x6, "ext-rc-3m", "external RC oscillator, 0.9-3 MHz"),
            extRc(0x7, "ext-rc-8m", "external RC oscillator, 3-8 MHz"),
            extRc(0x8, "ext-rc-12m", "external RC oscillator, 8-12 MHz"),
            {0x9, "lf-xtal", "low-frequency (32 kHz) crystal",
             {{0, 0, "1K CK", "4"}, {0, 1, "1K CK", "64"}, {0, 2, "32K CK", "64"}}},
            {0xA, "xtal-0.4m", low, Crystal("4", "64")},
            {0xC, "xtal-0.9m", mid, Crystal("4", "64")},
            {0xE, "xtal-3m", high, Crystal("4", "64")}};
}

std::vector<Source> Tiny2313Clock()
{
    return Join({{0x0, "ext-clock", "external clock on CLKI", Three("14 CK", "4.1", "65")},
                 {0x2, "rc4m", "internal RC oscillator, 4 MHz", Three("14 CK", "4.1", "65")},
                 {0x4, "rc8m", "internal RC oscillator, 8 MHz", Three("14 CK", "4.1", "65")},
                 {0x6, "rc128k", "internal 128 kHz watchdog oscillator", Three("14 CK", "4", "64")}},
                LowPowerCrystals("4.1", "65"));
}

std::vector<Source> Tiny24Clock()
{
    return Join({{0x0, "ext-clock", "external clock on CLKI", Three("6 CK", "4.1", "65")},
                 {0x2, "rc8m", "internal RC oscillator, 8 MHz", Three("6 CK", "4", "64")},
                 {0x4, "rc128k", "internal 128 kHz watchdog oscillator", Three("6 CK", "4", "64")},
                 {0x6, "lf-xtal", "low-frequency (32 kHz) crystal",
                  {{0, 0, "1K CK", "0"}, {0, 1, "1K CK", "4"}, {0, 2, "32K CK", "64"}}}},
                LowPowerCrystals("4.1", "65"));
}

std::vector<Source> Tiny25Clock()
{
    return Join({{0x0, "ext-clock", "external clock on CLKI", Three("6 CK", "4.1", "65")},
                 {0x1, "pll", "PLL clock, 16 MHz from the internal RC",
                  {{0, 0, "1K CK", "4"}, {0, 1, "16K CK", "4"}, {0, 2, "1K CK", "64"}, {0, 3, "16K CK", "64"}}},
                 {0x2, "rc8m", "internal RC oscillator, 8 MHz", Three("6 CK", "4", "64")},
                 {0x3, "rc6m4", "internal 6.4 MHz (ATtiny15 compatible)",
                  {{0, 0, "6 CK", "64"}, {0, 1, "6 CK", "64"}, {0, 2, "6 CK", "4"}, {0, 3, "1 CK", "0"}}},
                 {0x4, "rc128k", "internal 128 kHz watchdog oscillator", Three("6 CK", "4", "64")},
                 {0x6, "lf-xtal", "low-frequency (32 kHz) crystal",
                  {{0, 0, "1K CK", "0"}, {0, 1, "1K CK", "4"}, {0, 2, "32K CK", "64"}}}},
                LowPowerCrystals("4.1", "65"));
}

std::vector<Source> Tiny261Clock()
{
    return Join({{0x0, "ext-clock", "external clock on CLKI", Three("6 CK", "4", "64")},
                 {0x1, "pll", "PLL clock, 16 MHz from the internal RC",
                  {{0, 0, "1K CK", "8"}, {0, 1, "16K CK", "8"}, {0, 2, "1K CK", "68"}, {0, 3, "16K CK", "68"}}},
                 {0x2, "rc8m", "internal RC oscillator, 8 MHz", Three("6 CK", "4", "64")},
                 {0x3, "rc128k", "internal 128 kHz watchdog oscillator", Three("6 CK", "4", "64")},
                 {0x4, "lf-xtal", "low-frequency (32 kHz) crystal",
                  {{0, 0, "1K CK", "4"}, {0, 1, "1K CK", "64"}, {0, 2, "32K CK", "64"}}}},
                LowPowerCrystals("4.1", "65"));
}

// The ATtiny26: PLLCK (bit 7) programmed runs the chip from the PLL; every other source keeps
// it unprogrammed.
std::vector<Source> Tiny26Clock()
{
    auto extRc = [](std::uint8_t cksel, std::string_view key, std::string_view text) {
        Starts starts = Three("18 CK", "4", "64");
        starts.push_back({0, 3, "6 CK", "4"});
        return Source{cksel, key, text, starts, 0x80};
    };
    return {{0x1, "pll", "PLL clock, 16 MHz from the internal RC",
             {{0, 0, "1K CK", "0"}, {0, 1, "1K CK", "4"}, {0, 2, "1K CK", "64"}, {0, 3, "16K CK", "64"}}},
            {0x0, "ext-clock", "external clock on XTAL1", Three("6 CK", "4", "64"), 0x80},
            {0x1, "rc1m", "internal RC oscillator, 1 MHz", Three("6 CK", "4", "64"), 0x80},
            {0x2, "rc2m", "internal RC oscillator, 2 MHz", Three("6 CK", "4", "64"), 0x80},
            {0x3, "rc4m", "internal RC oscillator, 4 MHz", Three("6 CK", "4", "64"), 0x80},
            {0x4, "rc8m", "internal RC oscillator, 8 MHz", Three("6 CK", "4", "64"), 0x80},
            extRc(0x5, "ext-rc-0.9m", "external RC oscillator, up to 0.9 MHz"),
            extRc(0x6, "ext-rc-3m", "external RC oscillator, 0.9-3 MHz"),
            extRc(0x7, "ext-rc-8m", "external RC oscillator, 3-8 MHz"),
            extRc(0x8, "ext-rc-12m", "external RC oscillator, 8-12 MHz"),
            {0x9, "lf-xtal", "low-frequency (32 kHz) crystal",
             {{0, 0, "1K CK", "4"}, {0, 1, "1K CK", "64"}, {0, 2, "32K CK", "64"}}, 0x80},
            {0xA, "xtal-0.4m", "crystal or resonator, 0.4-0.9 MHz (with CKOPT programmed: 1 MHz and up)",
             Crystal("4", "64"), 0x80},
            {0xC, "xtal-0.9m", "crystal or resonator, 0.9-3 MHz (with CKOPT programmed: 1 MHz and up)",
             Crystal("4", "64"), 0x80},
            {0xE, "xtal-3m", "crystal or resonator, 3-8 MHz (with CKOPT programmed: 1 MHz and up)",
             Crystal("4", "64"), 0x80}};
}

std::vector<Source> Tiny13Clock()
{
    return {{0x0, "ext-clock", "external clock on CLKI", Three("14 CK", "4", "64")},
            {0x1, "rc4m8", "internal RC oscillator, 4.8 MHz", Three("14 CK", "4", "64")},
            {0x2, "rc9m6", "internal RC oscillator, 9.6 MHz", Three("14 CK", "4", "64")},
            {0x3, "rc128k", "internal 128 kHz watchdog oscillator", Three("14 CK", "4", "64")}};
}

// The chips whose clock codes carry the start-up in themselves.
std::vector<Source> Tiny12Clock()
{
    return {{0x0, "ext-clock", "external clock; start-up for slowly rising power", {}},
            {0x1, "ext-clock-fast", "external clock; start-up for quickly rising power", {}},
            {0x2, "rc", "internal RC oscillator, 1.2 MHz; start-up for slowly rising power", {}},
            {0x3, "rc-fast", "internal RC oscillator, 1.2 MHz; start-up for quickly rising power", {}},
            {0x4, "rc-bod", "internal RC oscillator, 1.2 MHz; shortest start-up (brown-out detection on)", {}},
            {0x5, "ext-rc", "external RC oscillator; start-up for slowly rising power", {}},
            {0x6, "ext-rc-fast", "external RC oscillator; start-up for quickly rising power", {}},
            {0x7, "ext-rc-bod", "external RC oscillator; shortest start-up (brown-out detection on)", {}},
            {0x8, "lf-xtal", "low-frequency (32 kHz) crystal; long start-up", {}},
            {0x9, "lf-xtal-fast", "low-frequency (32 kHz) crystal; shorter start-up", {}},
            {0xA, "resonator", "ceramic resonator; start-up for slowly rising power", {}},
            {0xB, "resonator-fast", "ceramic resonator; start-up for quickly rising power", {}},
            {0xC, "resonator-bod", "ceramic resonator; shortest start-up (brown-out detection on)", {}},
            {0xD, "xtal", "crystal oscillator; start-up for slowly rising power", {}},
            {0xE, "xtal-fast", "crystal oscillator; start-up for quickly rising power", {}},
            {0xF, "xtal-bod", "crystal oscillator; shortest start-up (brown-out detection on)", {}}};
}

std::vector<Source> Tiny15Clock()
{
    return {{0x0, "slow", "internal 1.6 MHz RC; longest start-up, for slowly rising power", {}},
            {0x1, "slow-b", "internal 1.6 MHz RC; start-up for slowly rising power", {}},
            {0x2, "fast", "internal 1.6 MHz RC; start-up for quickly rising power", {}},
            {0x3, "vfast", "internal 1.6 MHz RC; start-up for very quickly rising power", {}}};
}

// AT90S2333/4433 and ATmega161: three bits, each code a source with its start-up.
std::vector<Source> Cksel3Clock()
{
    return {{0x0, "ext-clock", "external clock on XTAL1; start-up for slowly rising power", {}},
            {0x1, "ext-clock-bod", "external clock on XTAL1; shortest start-up (brown-out detection on)", {}},
            {0x2, "xtal", "crystal oscillator; start-up for slowly rising power", {}},
            {0x3, "xtal-fast", "crystal oscillator; start-up for quickly rising power", {}},
            {0x4, "xtal-bod", "crystal oscillator; shortest start-up (brown-out detection on)", {}},
            {0x5, "resonator", "ceramic resonator; start-up for slowly rising power", {}},
            {0x6, "resonator-fast", "ceramic resonator; start-up for quickly rising power", {}},
            {0x7, "resonator-bod", "ceramic resonator; shortest start-up (brown-out detection on)", {}}};
}

// ATmega163 and ATmega323.
std::vector<Source> Mega163Clock()
{
    return {{0x0, "ext-clock", "external clock on XTAL1; start-up for slowly rising power", {}},
            {0x1, "ext-clock-bod", "external clock on XTAL1; shortest start-up (brown-out detection on)", {}},
            {0x2, "rc", "internal RC oscillator, 1 MHz; start-up for slowly rising power", {}},
            {0x3, "rc-fast", "internal RC oscillator, 1 MHz; start-up for quickly rising power", {}},
            {0x4, "rc-bod", "internal RC oscillator, 1 MHz; shortest start-up (brown-out detection on)", {}},
            {0x5, "ext-rc", "external RC oscillator; start-up for slowly rising power", {}},
            {0x6, "ext-rc-fast", "external RC oscillator; start-up for quickly rising power", {}},
            {0x7, "ext-rc-bod", "external RC oscillator; shortest start-up (brown-out detection on)", {}},
            {0x8, "lf-xtal", "low-frequency (32 kHz) crystal; long start-up", {}},
            {0x9, "lf-xtal-fast", "low-frequency (32 kHz) crystal; shorter start-up", {}},
            {0xA, "xtal", "crystal oscillator; start-up for slowly rising power", {}},
            {0xB, "xtal-fast", "crystal oscillator; start-up for quickly rising power", {}},
            {0xC, "xtal-bod", "crystal oscillator; shortest start-up (brown-out detection on)", {}},
            {0xD, "resonator", "ceramic resonator; start-up for slowly rising power", {}},
            {0xE, "resonator-fast", "ceramic resonator; start-up for quickly rising power", {}},
            {0xF, "resonator-bod", "ceramic resonator; shortest start-up (brown-out detection on)", {}}};
}

// ---- Brown-out and boot size -----------------------------------------------------------------

struct Level {
    std::uint8_t value;
    int millivolts;  // 0: off
};

std::vector<FuseSetting> BrownOut(std::initializer_list<Level> levels)
{
    std::vector<FuseSetting> settings;
    for (const Level& l : levels) {
        FuseSetting s;
        s.value = l.value;
        s.millivolts = l.millivolts;
        if (l.millivolts == 0) {
            s.key = "off";
            s.meaning = "brown-out detection off";
        } else {
            char key[16];
            char volts[16];
            std::snprintf(key, sizeof key, "%dv%d", l.millivolts / 1000, l.millivolts % 1000 / 100);
            std::snprintf(volts, sizeof volts, "%d.%d V", l.millivolts / 1000, l.millivolts % 1000 / 100);
            s.key = key;
            s.meaning = std::string("reset below ") + volts;
        }
        settings.push_back(std::move(s));
    }
    return settings;
}

std::vector<FuseSetting> BootSizes(std::uint32_t flashBytes)
{
    const std::uint32_t words = flashBytes / 2;
    const std::uint32_t base = flashBytes <= 16384 ? 128 : flashBytes <= 32768 ? 256 : 512;
    std::vector<FuseSetting> settings;
    for (int value = 3; value >= 0; --value) {
        const std::uint32_t size = base << (3 - value);
        char text[96];
        std::snprintf(text, sizeof text, "%u-word boot section from word 0x%04X", size, words - size);
        FuseSetting s;
        s.value = static_cast<std::uint8_t>(value);
        s.key = std::to_string(size);
        s.meaning = text;
        s.bootWords = size;
        settings.push_back(std::move(s));
    }
    return settings;
}

// ---- Fields ----------------------------------------------------------------------------------

std::string Lower(std::string_view text)
{
    std::string out;
    for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// What each single bit does, by name. The clock-tree bits of a few chips say more where they sit.
std::string_view BitLine(std::string_view name)
{
    static const std::map<std::string_view, std::string_view> lines = {
        {"CKDIV8", "starts the chip with its clock divided by 8"},
        {"CKOUT", "puts the system clock out on a port pin"},
        {"RSTDISBL", "turns the RESET pin into an I/O pin; serial programming then needs high voltage"},
        {"DWEN", "turns on debugWIRE on the RESET pin; serial programming then stops"},
        {"SPIEN", "allows serial (SPI) programming"},
        {"WDTON", "keeps the watchdog timer always on"},
        {"EESAVE", "keeps the EEPROM through a Chip Erase"},
        {"SELFPRGEN", "lets the program write its own flash"},
        {"BOOTRST", "starts at the boot section instead of address 0 after reset"},
        {"CKOPT", "drives the crystal oscillator with full swing (needed above 8 MHz)"},
        {"JTAGEN", "turns on the JTAG interface"},
        {"OCDEN", "turns on on-chip debugging over JTAG"},
        {"BODEN", "turns on the brown-out detector"},
        {"M103C", "runs the chip in ATmega103 compatibility mode"},
        {"M161C", "runs the chip in ATmega161 compatibility mode"},
        {"S8515C", "runs the chip in AT90S8515 compatibility mode"},
        {"S8535C", "runs the chip in AT90S8535 compatibility mode"},
        {"TA0SEL", "reserved for factory tests; leave it unprogrammed"},
        {"RCEN", "runs the chip on its internal RC oscillator instead of an external clock"},
        {"FSTRT", "short start-up time, for a ceramic resonator or an external clock"},
    };
    auto it = lines.find(name);
    return it == lines.end() ? std::string_view{} : it->second;
}

FuseField Bit(std::uint8_t slot, std::uint8_t mask, std::string_view name)
{
    FuseField f;
    f.name = std::string(name);
    f.key = Lower(name);
    f.kind = FieldKind::Bit;
    f.slot = slot;
    f.mask = mask;
    f.what = std::string(BitLine(name));
    return f;
}

FuseField Clock(std::uint8_t slot, std::uint8_t mask, std::string_view name, const std::vector<Source>& sources,
                int sutShift = 4)
{
    FuseField f;
    f.name = std::string(name);
    f.key = "clock";
    f.kind = FieldKind::Clock;
    f.slot = slot;
    f.mask = mask;
    f.what = "where the clock comes from, and how long the chip waits for it to settle";
    f.settings = ClockSettings(sources, sutShift);
    return f;
}

FuseField Bod(std::uint8_t slot, std::uint8_t mask, std::initializer_list<Level> levels)
{
    FuseField f;
    f.name = "BODLEVEL";
    f.key = "bod";
    f.kind = FieldKind::BrownOut;
    f.slot = slot;
    f.mask = mask;
    f.what = "the supply voltage below which the chip is held in reset";
    f.settings = BrownOut(levels);
    return f;
}

// A one-bit level beside its BODEN bit: the level only counts while BODEN is programmed.
FuseField BodLevelBit(std::uint8_t slot, std::uint8_t mask, int programmedMv, int unprogrammedMv)
{
    FuseField f = Bod(slot, mask, {{0, programmedMv}, {1, unprogrammedMv}});
    f.what = "the brown-out level, used while BODEN is programmed";
    return f;
}

FuseField Boot(std::uint8_t slot, std::uint8_t mask, std::uint32_t flashBytes)
{
    FuseField f;
    f.name = "BOOTSZ";
    f.key = "boot";
    f.kind = FieldKind::BootSize;
    f.slot = slot;
    f.mask = mask;
    f.what = "the size of the boot loader section at the end of the flash";
    f.settings = BootSizes(flashBytes);
    return f;
}

using Fields = std::vector<FuseField>;

// Low byte of the chips with CKDIV8 and CKOUT over a six-bit SUT_CKSEL.
Fields LowCkout(const std::vector<Source>& clock)
{
    return {Bit(0, 0x80, "CKDIV8"), Bit(0, 0x40, "CKOUT"), Clock(0, 0x3F, "SUT_CKSEL", clock)};
}

Fields HighDwen(const FuseField& bod)
{
    return {Bit(1, 0x80, "RSTDISBL"), Bit(1, 0x40, "DWEN"), Bit(1, 0x20, "SPIEN"), Bit(1, 0x10, "WDTON"),
            Bit(1, 0x08, "EESAVE"), bod};
}

Fields HighJtag(std::uint32_t flash, bool ckopt)
{
    return {Bit(1, 0x80, "OCDEN"), Bit(1, 0x40, "JTAGEN"), Bit(1, 0x20, "SPIEN"),
            Bit(1, 0x10, ckopt ? "CKOPT" : "WDTON"), Bit(1, 0x08, "EESAVE"), Boot(1, 0x06, flash),
            Bit(1, 0x01, "BOOTRST")};
}

Fields LowBoden(int programmedMv = 4000, int unprogrammedMv = 2700)
{
    return {BodLevelBit(0, 0x80, programmedMv, unprogrammedMv), Bit(0, 0x40, "BODEN"),
            Clock(0, 0x3F, "SUT_CKSEL", Mega8Clock())};
}

Fields Concat(std::initializer_list<Fields> parts)
{
    Fields all;
    for (const Fields& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const std::initializer_list<Level> kBod3{{7, 0}, {6, 1800}, {5, 2700}, {4, 4300}};

// The fields of one chip, by name; the boot sizes follow its flash.
Fields FieldsOf(std::string_view chip, std::uint32_t flash)
{
    auto is = [&](std::initializer_list<std::string_view> names) {
        return std::find(names.begin(), names.end(), chip) != names.end();
    };
    if (is({"AT90S1200", "AT90S2343", "ATtiny22"})) return {Bit(0, 0x20, "SPIEN"), Bit(0, 0x01, "RCEN")};
    if (is({"AT90S2313", "AT90S2323", "AT90S4414", "AT90S4434", "AT90S8515", "AT90S8535"}))
        return {Bit(0, 0x20, "SPIEN"), Bit(0, 0x01, "FSTRT")};
    if (is({"AT90S2333", "AT90S4433"}))
        return {Bit(0, 0x20, "SPIEN"), BodLevelBit(0, 0x10, 4000, 2700), Bit(0, 0x08, "BODEN"),
                Clock(0, 0x07, "CKSEL", Cksel3Clock())};
    if (is({"ATmega161"}))
        return {Bit(0, 0x40, "BOOTRST"), Bit(0, 0x20, "SPIEN"), BodLevelBit(0, 0x10, 4000, 2700),
                Bit(0, 0x08, "BODEN"), Clock(0, 0x07, "CKSEL", Cksel3Clock())};
    if (is({"ATmega103", "ATmega603"})) {
        FuseField sut;
        sut.name = "SUT";
        sut.key = "startup";
        sut.kind = FieldKind::StartUp;
        sut.slot = 0;
        sut.mask = 0x03;
        sut.what = "how long the chip waits after reset for its clock to settle";
        sut.settings = {{0, "5ck", "5 CK"}, {1, "0.5ms", "0.5 ms"}, {2, "4ms", "4 ms"}, {3, "16ms", "16 ms"}};
        return {Bit(0, 0x20, "SPIEN"), Bit(0, 0x08, "EESAVE"), sut};
    }
    if (is({"ATmega163"}))
        return {BodLevelBit(0, 0x80, 4000, 2700), Bit(0, 0x40, "BODEN"), Bit(0, 0x20, "SPIEN"),
                Clock(0, 0x0F, "CKSEL", Mega163Clock()), Boot(1, 0x06, flash), Bit(1, 0x01, "BOOTRST")};
    if (is({"ATmega323"}))
        return {BodLevelBit(0, 0x80, 4000, 2700), Bit(0, 0x40, "BODEN"), Clock(0, 0x0F, "CKSEL", Mega163Clock()),
                Bit(1, 0x80, "OCDEN"), Bit(1, 0x40, "JTAGEN"), Bit(1, 0x20, "SPIEN"), Bit(1, 0x08, "EESAVE"),
                Boot(1, 0x06, flash), Bit(1, 0x01, "BOOTRST")};
    if (is({"ATtiny12"}))
        return {BodLevelBit(0, 0x80, 2700, 1800), Bit(0, 0x40, "BODEN"), Bit(0, 0x20, "SPIEN"),
                Bit(0, 0x10, "RSTDISBL"), Clock(0, 0x0F, "CKSEL", Tiny12Clock())};
    if (is({"ATtiny15"}))
        return {BodLevelBit(0, 0x80, 4000, 2700), Bit(0, 0x40, "BODEN"), Bit(0, 0x20, "SPIEN"),
                Bit(0, 0x10, "RSTDISBL"), Clock(0, 0x03, "CKSEL", Tiny15Clock())};
    if (is({"ATtiny13"}))
        return {Bit(0, 0x80, "SPIEN"), Bit(0, 0x40, "EESAVE"), Bit(0, 0x20, "WDTON"), Bit(0, 0x10, "CKDIV8"),
                Clock(0, 0x0F, "SUT_CKSEL", Tiny13Clock(), 2), Bit(1, 0x10, "SELFPRGEN"), Bit(1, 0x08, "DWEN"),
                Bod(1, 0x06, {{3, 0}, {2, 1800}, {1, 2700}, {0, 4300}}), Bit(1, 0x01, "RSTDISBL")};
    if (is({"ATtiny26"}))
        return {Bit(0, 0x40, "CKOPT"), Clock(0, 0xBF, "PLLCK_SUT_CKSEL", Tiny26Clock()), Bit(1, 0x10, "RSTDISBL"),
                Bit(1, 0x08, "SPIEN"), Bit(1, 0x04, "EESAVE"), BodLevelBit(1, 0x02, 4000, 2700),
                Bit(1, 0x01, "BODEN")};
    if (is({"ATtiny2313", "ATtiny4313"}))
        return Concat({LowCkout(Tiny2313Clock()),
                       {Bit(1, 0x80, "DWEN"), Bit(1, 0x40, "EESAVE"), Bit(1, 0x20, "SPIEN"), Bit(1, 0x10, "WDTON"),
                        Bod(1, 0x0E, kBod3), Bit(1, 0x01, "RSTDISBL"), Bit(2, 0x01, "SELFPRGEN")}});
    if (is({"ATtiny24", "ATtiny44", "ATtiny84"}))
        return Concat({LowCkout(Tiny24Clock()), HighDwen(Bod(1, 0x07, kBod3)), {Bit(2, 0x01, "SELFPRGEN")}});
    if (is({"ATtiny25", "ATtiny45", "ATtiny85"}))
        return Concat({LowCkout(Tiny25Clock()), HighDwen(Bod(1, 0x07, kBod3)), {Bit(2, 0x01, "SELFPRGEN")}});
    if (is({"ATtiny261", "ATtiny461", "ATtiny861"}))
        return Concat({LowCkout(Tiny261Clock()),
                       HighDwen(Bod(1, 0x07, {{7, 0}, {6, 1800}, {5, 2700}, {4, 4300}, {3, 2300}, {2, 2200},
                                              {1, 1900}, {0, 2000}})),
                       {Bit(2, 0x01, "SELFPRGEN")}});
    if (is({"ATmega48", "ATmega48P"}))
        return Concat({LowCkout(Mega48Clock()), HighDwen(Bod(1, 0x07, kBod3)), {Bit(2, 0x01, "SELFPRGEN")}});
    if (is({"ATmega88", "ATmega88P", "ATmega168", "ATmega168P"}))
        return Concat({LowCkout(Mega48Clock()), HighDwen(Bod(1, 0x07, kBod3)),
                       {Boot(2, 0x06, flash), Bit(2, 0x01, "BOOTRST")}});
    if (is({"ATmega328", "ATmega328P"}))
        return Concat({LowCkout(Mega48Clock()),
                       {Bit(1, 0x80, "RSTDISBL"), Bit(1, 0x40, "DWEN"), Bit(1, 0x20, "SPIEN"), Bit(1, 0x10, "WDTON"),
                        Bit(1, 0x08, "EESAVE"), Boot(1, 0x06, flash), Bit(1, 0x01, "BOOTRST"),
                        Bod(2, 0x07, kBod3)}});
    if (is({"ATmega164", "ATmega164A", "ATmega324", "ATmega324A", "ATmega324PA", "ATmega644", "ATmega644A",
            "ATmega1284", "ATmega1284P", "ATmega640", "ATmega1280", "ATmega1281", "ATmega2560", "ATmega2561"}))
        return Concat({LowCkout(Mega48Clock()), HighJtag(flash, false), {Bod(2, 0x07, kBod3)}});
    if (is({"ATmega162"}))
        return Concat({LowCkout(Mega162Clock()), HighJtag(flash, false),
                       {Bit(2, 0x10, "M161C"), Bod(2, 0x0E, {{7, 0}, {6, 1800}, {5, 2700}, {4, 4300}, {3, 2300}})}});
    if (is({"ATmega169"}))
        return Concat({LowCkout(Mega169Clock()), HighJtag(flash, false), {Bod(2, 0x0E, kBod3)}});
    if (is({"AT90CAN32", "AT90CAN64", "AT90CAN128"}))
        return Concat({LowCkout(Mega162Clock()), HighJtag(flash, false),
                       {Bod(2, 0x0E, {{7, 0}, {6, 4100}, {5, 4000}, {4, 3900}, {3, 3800}, {2, 2700}, {1, 2600},
                                      {0, 2500}}),
                        Bit(2, 0x01, "TA0SEL")}});
    if (is({"ATmega8"}))
        return Concat({LowBoden(),
                       {Bit(1, 0x80, "RSTDISBL"), Bit(1, 0x40, "WDTON"), Bit(1, 0x20, "SPIEN"), Bit(1, 0x10, "CKOPT"),
                        Bit(1, 0x08, "EESAVE"), Boot(1, 0x06, flash), Bit(1, 0x01, "BOOTRST")}});
    if (is({"ATmega8515", "ATmega8535"}))
        return Concat({LowBoden(),
                       {Bit(1, 0x80, chip == "ATmega8515" ? "S8515C" : "S8535C"), Bit(1, 0x40, "WDTON"),
                        Bit(1, 0x20, "SPIEN"), Bit(1, 0x10, "CKOPT"), Bit(1, 0x08, "EESAVE"), Boot(1, 0x06, flash),
                        Bit(1, 0x01, "BOOTRST")}});
    if (is({"ATmega16", "ATmega32"})) return Concat({LowBoden(), HighJtag(flash, true)});
    if (is({"ATmega64", "ATmega128"}))
        return Concat({LowBoden(), HighJtag(flash, true), {Bit(2, 0x02, "M103C"), Bit(2, 0x01, "WDTON")}});
    return {};
}

std::map<std::string_view, ChipFuses>& Built()
{
    static std::map<std::string_view, ChipFuses> built;
    return built;
}

}  // namespace

// ---- FuseField -------------------------------------------------------------------------------

std::uint8_t FuseField::ValueIn(std::span<const std::uint8_t> bytes) const
{
    if (slot >= bytes.size() || mask == 0) return 0;
    return static_cast<std::uint8_t>((bytes[slot] & mask) >> std::countr_zero(mask));
}

void FuseField::StoreIn(std::span<std::uint8_t> bytes, std::uint8_t value) const
{
    if (slot >= bytes.size() || mask == 0) return;
    const auto shifted = static_cast<std::uint8_t>((value << std::countr_zero(mask)) & mask);
    bytes[slot] = static_cast<std::uint8_t>((bytes[slot] & ~mask) | shifted);
}

const FuseSetting* FuseField::Setting(std::uint8_t value) const
{
    for (const FuseSetting& s : settings)
        if (s.value == value) return &s;
    return nullptr;
}

const FuseSetting* FuseField::SettingByKey(std::string_view wanted) const
{
    const std::string lower = Lower(wanted);
    for (const FuseSetting& s : settings)
        if (s.key == lower) return &s;
    return nullptr;
}

std::string FuseField::Words(std::uint8_t value) const
{
    if (IsBit()) return value == 0 ? "programmed" : "unprogrammed";
    if (const FuseSetting* s = Setting(value)) return s->meaning;
    char text[32];
    std::snprintf(text, sizeof text, "reserved (value 0x%X)", value);
    return text;
}

std::string FuseField::KeyOf(std::uint8_t value) const
{
    if (IsBit()) return value == 0 ? "on" : "off";
    if (const FuseSetting* s = Setting(value)) return s->key;
    char text[32];
    std::snprintf(text, sizeof text, "reserved-0x%X", value);
    return text;
}

// ---- ChipFuses -------------------------------------------------------------------------------

const FuseField* ChipFuses::Find(std::string_view keyOrName) const
{
    const std::string lower = Lower(keyOrName);
    for (const FuseField& f : fields)
        if (f.key == lower || Lower(f.name) == lower) return &f;
    return nullptr;
}

std::string ChipFuses::FieldKeys() const
{
    std::string keys;
    for (const FuseField& f : fields) keys += (keys.empty() ? "" : ", ") + f.key;
    return keys;
}

const ChipFuses* FusesOf(const ChipRow& row)
{
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    auto& built = Built();
    if (auto it = built.find(row.name); it != built.end()) return &it->second;
    ChipFuses fuses;
    fuses.chip = row.name;
    fuses.fuseBytes = row.lockFuseCount > 0 ? row.lockFuseCount - 1u : 0u;
    fuses.factory.assign(row.factoryLockFuse.begin(), row.factoryLockFuse.begin() + fuses.fuseBytes);
    fuses.fields = FieldsOf(row.name, row.flashSize);
    if (fuses.fields.empty()) return nullptr;
    return &built.emplace(row.name, std::move(fuses)).first->second;
}

const ChipFuses* FusesOf(std::string_view chipName)
{
    const ChipRow* row = FindChipByName(chipName);
    return row ? FusesOf(*row) : nullptr;
}

std::string FuseByteName(const ChipFuses& fuses, std::size_t slot)
{
    if (fuses.fuseBytes <= 1) return "Fuse byte";
    static constexpr const char* names[] = {"Low fuse byte", "High fuse byte", "Extended fuse byte"};
    return slot < 3 ? names[slot] : "Fuse byte " + std::to_string(slot);
}

// ---- Presets ---------------------------------------------------------------------------------

std::vector<FusePreset> PresetsOf(const ChipFuses& fuses)
{
    std::vector<FusePreset> presets;
    FusePreset factory{"factory", "the factory values of every fuse", {}};
    for (const FuseField& f : fuses.fields) factory.changes.emplace_back(&f, f.ValueIn(fuses.factory));
    presets.push_back(std::move(factory));

    const FuseField* clock = fuses.Find("clock");
    const FuseField* ckdiv8 = fuses.Find("ckdiv8");
    if (clock != nullptr && ckdiv8 != nullptr) {
        const std::uint8_t rc = clock->ValueIn(fuses.factory);
        if (const FuseSetting* s = clock->Setting(rc); s != nullptr && s->key.starts_with("rc"))
            presets.push_back({"rc-no-div", "internal RC oscillator at full speed (CKDIV8 off)",
                               {{clock, rc}, {ckdiv8, 1}}});
    }
    // The crystal of 8 MHz and up with the longest start-up: every low-power crystal range's
    // last code, SUT 11 -- or on the older megas the highest range with CKOPT for full swing.
    const FuseSetting* crystal = nullptr;
    if (clock != nullptr) {
        for (const FuseSetting& s : clock->settings)
            if ((s.key.starts_with("xtal-8m") || (s.key.starts_with("xtal-3m") && fuses.Find("ckopt"))) &&
                (s.key.ends_with("16k-65ms") || s.key.ends_with("16k-64ms")))
                crystal = &s;
    }
    if (crystal != nullptr) {
        FusePreset p{"crystal", "external crystal of 8 MHz or more, longest start-up", {{clock, crystal->value}}};
        if (const FuseField* ckopt = fuses.Find("ckopt")) p.changes.emplace_back(ckopt, 0);
        if (ckdiv8 != nullptr) p.changes.emplace_back(ckdiv8, 1);
        presets.push_back(p);

        const FuseField* boot = fuses.Find("boot");
        const FuseField* bootrst = fuses.Find("bootrst");
        const FuseField* bod = fuses.Find("bod");
        const FuseSetting* boot512 = nullptr;
        const FuseSetting* bod27 = nullptr;
        if (boot != nullptr)
            for (const FuseSetting& s : boot->settings)
                if (s.bootWords == 512) boot512 = &s;
        if (bod != nullptr)
            for (const FuseSetting& s : bod->settings)
                if (s.millivolts == 2700) bod27 = &s;
        if (boot512 != nullptr && bootrst != nullptr && bod27 != nullptr) {
            p.key = "board16";
            p.meaning = "16 MHz board: crystal, 2.7 V brown-out, 512-word boot section, boot reset vector";
            p.changes.emplace_back(bod, bod27->value);
            if (const FuseField* boden = fuses.Find("boden")) p.changes.emplace_back(boden, 0);
            p.changes.emplace_back(boot, boot512->value);
            p.changes.emplace_back(bootrst, 0);
            presets.push_back(std::move(p));
        }
    }
    return presets;
}

std::vector<std::uint8_t> ApplyPreset(const FusePreset& preset, std::span<const std::uint8_t> bytes)
{
    std::vector<std::uint8_t> out(bytes.begin(), bytes.end());
    for (const auto& [field, value] : preset.changes) field->StoreIn(out, value);
    return out;
}

std::optional<bool> ParseBitWord(std::string_view word)
{
    const std::string w = Lower(word);
    if (w == "on" || w == "programmed" || w == "0" || w == "yes") return true;
    if (w == "off" || w == "unprogrammed" || w == "1" || w == "no") return false;
    return std::nullopt;
}

}  // namespace quillon
