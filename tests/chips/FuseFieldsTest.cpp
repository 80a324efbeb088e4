// The fuse fields of every chip: checked against the chip makers' device files where we have
// them (names, masks, setting values, factory bytes), and decoded from known bytes.
#include <gtest/gtest.h>

#include <expat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "chips/ChipTable.h"
#include "chips/FuseFields.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

// What a device file says about the fuses: per byte its initval and fields, per field the mask
// and the values its value group lists.
struct FileField {
    std::uint8_t mask = 0;
    std::string valueGroup;
};
struct FileByte {
    std::uint8_t offset = 0;
    std::optional<std::uint8_t> initval;
    std::map<std::string, FileField> fields;
};
struct DeviceFile {
    std::int32_t signature = 0;
    std::vector<FileByte> bytes;
    std::map<std::string, std::set<std::uint8_t>> valueGroups;
};

struct ParseState {
    DeviceFile file;
    int depthInFuse = 0;  // > 0 inside <module name="FUSE">
    std::string group;    // the value group being read
    int signatureBytes = 0;
};

std::string Attr(const XML_Char** attrs, std::string_view name)
{
    for (int i = 0; attrs[i] != nullptr; i += 2)
        if (name == attrs[i]) return attrs[i + 1];
    return {};
}

std::uint8_t Hex(const std::string& text) { return static_cast<std::uint8_t>(std::stoul(text, nullptr, 16)); }

void Start(void* data, const XML_Char* name, const XML_Char** attrs)
{
    auto& st = *static_cast<ParseState*>(data);
    const std::string_view tag = name;
    if (tag == "module" && Attr(attrs, "name") == "FUSE") st.depthInFuse = 1;
    else if (st.depthInFuse > 0) ++st.depthInFuse;
    if (tag == "property") {
        const std::string prop = Attr(attrs, "name");
        if (prop.starts_with("SIGNATURE") && prop.size() == 10) {
            const int index = prop[9] - '0';
            st.file.signature |= Hex(Attr(attrs, "value")) << (8 * index);
        }
    }
    if (st.depthInFuse == 0) return;
    if (tag == "register") {
        FileByte b;
        b.offset = Hex(Attr(attrs, "offset"));
        if (const std::string init = Attr(attrs, "initval"); !init.empty()) b.initval = Hex(init);
        st.file.bytes.push_back(b);
    } else if (tag == "bitfield" && !st.file.bytes.empty()) {
        st.file.bytes.back().fields[Attr(attrs, "name")] = {Hex(Attr(attrs, "mask")), Attr(attrs, "values")};
    } else if (tag == "value-group") {
        st.group = Attr(attrs, "name");
    } else if (tag == "value" && !st.group.empty()) {
        st.file.valueGroups[st.group].insert(Hex(Attr(attrs, "value")));
    }
}

void End(void* data, const XML_Char* name)
{
    auto& st = *static_cast<ParseState*>(data);
    if (st.depthInFuse > 0) --st.depthInFuse;
    if (std::string_view(name) == "value-group") st.group.clear();
}

DeviceFile Parse(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string xml = text.str();
    ParseState st;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &st);
    XML_SetElementHandler(parser, Start, End);
    const bool ok = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    EXPECT_TRUE(ok) << path;
    return st.file;
}

// Beside the repository; QUILLON_ATDF_DIR points elsewhere (a worktree's build, say).
const fs::path kAtdf = std::getenv("QUILLON_ATDF_DIR") ? fs::path(std::getenv("QUILLON_ATDF_DIR"))
                                                       : fs::path(QUILLON_SOURCE_DIR "/../shared/atdf");

// Where the datasheet or the program keeps something else than the file, and why.
struct Exception {
    std::string_view chip;
    std::string_view what;  // "factory 0", "field RSTDISBL", "values SUT_CKSEL"
    std::string_view why;
};
const Exception kExceptions[] = {
    {"ATtiny2313", "factory 0", "ships with CKSEL 0100 (internal 8 MHz), low byte 0x64; the file gives 0x62"},
    {"ATtiny4313", "factory 0", "ships with CKSEL 0100 (internal 8 MHz), low byte 0x64; the file gives 0x62"},
    {"ATmega169", "field RSTDISBL",
     "the row carries the ATmega169's signature, whose extended bit 0 is reserved; the file is the 169P's"},
    {"AT90CAN32", "values SUT_CKSEL",
     "the file leaves out the 16K CK start-ups of CKSEL 1001/1011/1101/1111 that the datasheet lists"},
    {"AT90CAN64", "values SUT_CKSEL",
     "the file leaves out the 16K CK start-ups of CKSEL 1001/1011/1101/1111 that the datasheet lists"},
};

bool Excepted(std::string_view chip, const std::string& what)
{
    for (const Exception& e : kExceptions)
        if (e.chip == chip && e.what == what) return true;
    return false;
}

// The README's table: chip row and device file, matched by signature.
std::map<std::string, std::string> FilesOfChips()
{
    std::map<std::string, std::string> files;
    std::ifstream readme(kAtdf / "README.md");
    std::string line;
    while (std::getline(readme, line)) {
        if (!line.starts_with("| AT") || line.find(".atdf") == std::string::npos) continue;
        std::stringstream cells(line);
        std::string chip, signature, file;
        std::getline(cells, chip, '|');
        std::getline(cells, chip, '|');
        std::getline(cells, signature, '|');
        std::getline(cells, file, '|');
        auto trim = [](std::string s) {
            s.erase(0, s.find_first_not_of(' '));
            s.erase(s.find_last_not_of(' ') + 1);
            return s;
        };
        files[trim(chip)] = trim(file);
    }
    return files;
}

TEST(FuseFields, EveryChipHasFieldsThatCoverOnlyItsNamedBits)
{
    for (const ChipRow& row : Catalogue()) {
        const ChipFuses* fuses = FusesOf(row);
        ASSERT_NE(fuses, nullptr) << row.name;
        EXPECT_EQ(fuses->fuseBytes + 1, row.lockFuseCount) << row.name;
        std::vector<std::uint8_t> covered(fuses->fuseBytes, 0);
        std::set<std::string> keys;
        for (const FuseField& f : fuses->fields) {
            const std::string where = std::string(row.name) + " " + f.name;
            ASSERT_LT(f.slot, fuses->fuseBytes) << where;
            EXPECT_EQ(covered[f.slot] & f.mask, 0) << where << " overlaps another field";
            covered[f.slot] |= f.mask;
            EXPECT_TRUE(keys.insert(f.key).second) << where << ": key used twice";
            EXPECT_FALSE(f.what.empty()) << where;
            // Every bit of a field has a box in the dialog.
            for (int bit = 0; bit < 8; ++bit)
                if (f.mask & (1u << bit)) {
                    EXPECT_FALSE(row.bitNames[f.slot].bit[bit].empty()) << where << " bit " << bit;
                }
            std::set<std::string> settingKeys;
            std::set<std::uint8_t> values;
            for (const FuseSetting& s : f.settings) {
                EXPECT_TRUE(settingKeys.insert(s.key).second) << where << ": setting key " << s.key << " twice";
                EXPECT_TRUE(values.insert(s.value).second) << where << ": value " << int(s.value) << " twice";
                EXPECT_EQ(s.value & ~(f.mask >> std::countr_zero(f.mask)), 0) << where << " " << s.key;
                EXPECT_FALSE(s.meaning.empty()) << where;
                EXPECT_EQ(s.key.find(' '), std::string::npos) << where;
            }
            // The factory value is always one the chip allows.
            if (!f.IsBit()) {
                EXPECT_NE(f.Setting(f.ValueIn(fuses->factory)), nullptr) << where << " factory";
            }
        }
    }
}

// The device files are the oracle: names, masks and setting values exactly theirs, factory bytes
// their initvals, but for the listed exceptions. The bit names on the dialog's boxes stay the
// program's; where one differs from the file's field name, it is listed here.
TEST(FuseFields, AgreeWithTheDeviceFiles)
{
    if (!fs::exists(kAtdf / "README.md")) GTEST_SKIP() << "no device files at " << kAtdf;
    const std::map<std::string, std::string> files = FilesOfChips();
    ASSERT_GE(files.size(), 40u);
    std::set<std::string> namesThatDiffer;
    int checked = 0;
    for (const auto& [chip, file] : files) {
        const ChipRow* row = FindChipByName(chip);
        ASSERT_NE(row, nullptr) << chip;
        const ChipFuses* fuses = FusesOf(*row);
        ASSERT_NE(fuses, nullptr) << chip;
        const DeviceFile device = Parse(kAtdf / file);
        EXPECT_EQ(device.signature, row->signature) << chip << " " << file;
        EXPECT_EQ(device.bytes.size(), fuses->fuseBytes) << chip;
        ++checked;

        std::set<std::string> seen;
        for (const FileByte& b : device.bytes) {
            const std::string at = chip + " byte " + std::to_string(b.offset);
            if (b.initval && b.offset < fuses->factory.size()) {
                if (Excepted(chip, "factory " + std::to_string(b.offset)))
                    EXPECT_NE(fuses->factory[b.offset], *b.initval) << at << ": the exception is stale";
                else
                    EXPECT_EQ(fuses->factory[b.offset], *b.initval) << at << " factory value";
            }
            for (const auto& [name, ff] : b.fields) {
                // The boxes' bit names: a single bit keeps the program's name, which we list
                // where it is not the file's; a field's bits carry one of its name's parts.
                for (int bit = 0; bit < 8; ++bit) {
                    if (!(ff.mask & (1u << bit))) continue;
                    const std::string box(row->bitNames[b.offset].bit[bit]);
                    bool matches = box == name;
                    std::stringstream parts(name);
                    for (std::string part; std::getline(parts, part, '_');)
                        matches = matches || (std::popcount(ff.mask) > 1 && box.starts_with(part));
                    if (!matches) namesThatDiffer.insert(chip + ": box " + box + " is the file's " + name);
                }
                const FuseField* ours = nullptr;
                for (const FuseField& f : fuses->fields)
                    if (f.name == name && f.slot == b.offset) ours = &f;
                if (Excepted(chip, "field " + name)) {
                    EXPECT_EQ(ours, nullptr) << at << " " << name;
                    continue;
                }
                ASSERT_NE(ours, nullptr) << at << ": no field " << name;
                seen.insert(name + "@" + std::to_string(b.offset));
                EXPECT_EQ(ours->mask, ff.mask) << at << " " << name;
                if (!ff.valueGroup.empty()) {
                    std::set<std::uint8_t> ourValues;
                    for (const FuseSetting& s : ours->settings) ourValues.insert(s.value);
                    const auto& theirs = device.valueGroups.at(ff.valueGroup);
                    if (Excepted(chip, "values " + name)) {
                        EXPECT_TRUE(std::includes(ourValues.begin(), ourValues.end(), theirs.begin(), theirs.end()))
                            << at << " " << name;
                    } else {
                        EXPECT_EQ(ourValues, theirs) << at << " " << name;
                    }
                } else {
                    EXPECT_TRUE(ours->IsBit()) << at << " " << name;
                }
            }
        }
        for (const FuseField& f : fuses->fields)
            EXPECT_TRUE(seen.contains(f.name + "@" + std::to_string(f.slot)))
                << chip << ": field " << f.name << " is not in the file";
    }
    EXPECT_GE(checked, 46);
    // The one difference: the ATmega169's reserved bit, which the ATmega169P's file calls RSTDISBL.
    EXPECT_EQ(namesThatDiffer, (std::set<std::string>{"ATmega169: box RESERVED is the file's RSTDISBL"}));
}

// Known bytes and the settings they make, by field value (the words may change, the values not).
TEST(FuseFields, DecodeKnownBytes)
{
    struct Case {
        const char* chip;
        std::vector<std::uint8_t> bytes;
        std::vector<std::pair<const char*, const char*>> keys;  // field key -> setting key
    };
    const Case cases[] = {
        // The usual 16 MHz board: CKSEL 1111 with SUT 11 is the crystal oscillator for 8 MHz
        // and up with 16K CK + 65 ms (the full-swing oscillator would be CKSEL 0111).
        {"ATmega328P",
         {0xFF, 0xDE, 0xFD},
         {{"clock", "xtal-8m-16k-65ms"}, {"ckdiv8", "off"}, {"ckout", "off"}, {"boot", "256"},
          {"bootrst", "on"}, {"bod", "2v7"}, {"spien", "on"}, {"rstdisbl", "off"}, {"eesave", "off"}}},
        {"ATtiny85", {0x62, 0xDF, 0xFF}, {{"clock", "rc8m-6ck-64ms"}, {"ckdiv8", "on"}, {"bod", "off"}}},
        {"ATmega8", {0xE1, 0xD9}, {{"clock", "rc1m-6ck-64ms"}, {"boden", "off"}, {"bod", "2v7"}, {"boot", "1024"}}},
        {"ATtiny26", {0xE1, 0xF7}, {{"clock", "rc1m-6ck-64ms"}, {"ckopt", "off"}, {"boden", "off"}}},
        {"ATtiny13", {0x6A, 0xFF}, {{"clock", "rc9m6-14ck-64ms"}, {"ckdiv8", "on"}, {"bod", "off"}}},
        {"ATmega2560", {0xFF, 0xD8, 0xFD}, {{"clock", "xtal-8m-16k-65ms"}, {"boot", "4096"}, {"bod", "2v7"}}},
        // CKSEL 0001 on an ATmega328P is reserved: shown as such, never a setting.
        {"ATmega328P", {0x61, 0xD9, 0xFF}, {{"clock", "reserved-0x21"}}},
        {"ATmega103", {0xDF}, {{"startup", "16ms"}, {"spien", "on"}, {"eesave", "off"}}},
    };
    for (const Case& c : cases) {
        const ChipFuses* fuses = FusesOf(std::string_view(c.chip));
        ASSERT_NE(fuses, nullptr) << c.chip;
        for (const auto& [field, key] : c.keys) {
            const FuseField* f = fuses->Find(field);
            ASSERT_NE(f, nullptr) << c.chip << " " << field;
            EXPECT_EQ(f->KeyOf(f->ValueIn(c.bytes)), key) << c.chip << " " << field;
        }
    }
    const FuseField* clock = FusesOf(std::string_view("ATmega328P"))->Find("clock");
    EXPECT_EQ(clock->Words(0x21), "reserved (value 0x21)");
    EXPECT_EQ(clock->SettingByKey("reserved-0x21"), nullptr);
}

TEST(FuseFields, PresetsChangeOnlyTheirFields)
{
    const ChipFuses& m328 = *FusesOf(std::string_view("ATmega328P"));
    std::map<std::string, std::vector<std::uint8_t>> results;
    const std::vector<std::uint8_t> start{0x42, 0xD1, 0xFE};  // CKDIV8 and EESAVE on, 1.8 V brown-out
    for (const FusePreset& p : PresetsOf(m328)) results[p.key] = ApplyPreset(p, start);
    EXPECT_EQ(results["factory"], (std::vector<std::uint8_t>{0x62, 0xD9, 0xFF}));
    EXPECT_EQ(results["rc-no-div"], (std::vector<std::uint8_t>{0xE2, 0xD1, 0xFE}));
    EXPECT_EQ(results["crystal"], (std::vector<std::uint8_t>{0xFF, 0xD1, 0xFE}));
    // 512 words is BOOTSZ 10 on the ATmega328P; EESAVE keeps what it had.
    EXPECT_EQ(results["board16"], (std::vector<std::uint8_t>{0xFF, 0xD4, 0xFD}));

    // The older megas need CKOPT for a crystal above 8 MHz, and turn BODEN on for the level.
    const ChipFuses& m8 = *FusesOf(std::string_view("ATmega8"));
    std::map<std::string, std::vector<std::uint8_t>> m8results;
    for (const FusePreset& p : PresetsOf(m8)) m8results[p.key] = ApplyPreset(p, m8.factory);
    EXPECT_FALSE(m8results.contains("rc-no-div"));
    EXPECT_EQ(m8results["crystal"], (std::vector<std::uint8_t>{0xFF, 0xC9}));
    EXPECT_EQ(m8results["board16"], (std::vector<std::uint8_t>{0xBF, 0xCA}));

    // No boot section, no board preset; no crystal, no crystal preset.
    std::set<std::string> tiny85;
    for (const FusePreset& p : PresetsOf(*FusesOf(std::string_view("ATtiny85")))) tiny85.insert(p.key);
    EXPECT_EQ(tiny85, (std::set<std::string>{"factory", "rc-no-div", "crystal"}));
    std::set<std::string> tiny13;
    for (const FusePreset& p : PresetsOf(*FusesOf(std::string_view("ATtiny13")))) tiny13.insert(p.key);
    EXPECT_EQ(tiny13, (std::set<std::string>{"factory", "rc-no-div"}));
}

}  // namespace
}  // namespace quillon
