// The pin lists: one for every chip, of its programming method, and each pin number and pad name
// the same as the maker's device file gives for that package, wherever a chip has a file.
#include <gtest/gtest.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "chips/ChipTable.h"
#include "chips/Pinouts.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

// What the test reads from a device file: the signature, every package's pins, and the pads the
// SPI or USI unit names for its serial lines.
struct DeviceFile {
    std::int32_t signature = 0;
    std::map<std::string, std::map<int, std::string>> pinouts;  // package name → position → pad
    std::map<Signal, std::string> serialPads;
};

std::string Attribute(xmlNode* node, const char* name)
{
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (value == nullptr) return {};
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

bool Named(xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

void Walk(xmlNode* node, DeviceFile& file, const std::string& module)
{
    for (; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) continue;
        std::string inModule = module;
        if (Named(node, "module")) inModule = Attribute(node, "name");
        if (Named(node, "property")) {
            const std::string name = Attribute(node, "name");
            if (name.size() == 10 && name.starts_with("SIGNATURE") && name[9] >= '0' && name[9] <= '2')
                file.signature |= static_cast<std::int32_t>(std::stoi(Attribute(node, "value"), nullptr, 16))
                                  << (8 * (name[9] - '0'));
        } else if (Named(node, "pinout")) {
            auto& pins = file.pinouts[Attribute(node, "name")];
            for (xmlNode* pin = node->children; pin != nullptr; pin = pin->next) {
                const std::string position = Attribute(pin, "position");  // "A1" on a ball grid
                if (Named(pin, "pin") && !position.empty() &&
                    position.find_first_not_of("0123456789") == std::string::npos)
                    pins[std::stoi(position)] = Attribute(pin, "pad");
            }
        } else if (Named(node, "signal") && (inModule == "SPI" || inModule == "USI")) {
            static const std::map<std::string, Signal> kSerial = {
                {"SCK", Signal::Sck}, {"USCK", Signal::Sck}, {"MOSI", Signal::Mosi},
                {"DI", Signal::Mosi}, {"MISO", Signal::Miso}, {"DO", Signal::Miso}};
            if (auto it = kSerial.find(Attribute(node, "group")); it != kSerial.end())
                file.serialPads.emplace(it->second, Attribute(node, "pad"));
        }
        Walk(node->children, file, inModule);
    }
}

std::optional<DeviceFile> ReadDeviceFile(const fs::path& path)
{
    xmlDoc* doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc == nullptr) return std::nullopt;
    DeviceFile file;
    Walk(xmlDocGetRootElement(doc), file, {});
    xmlFreeDoc(doc);
    return file;
}

// The file's pin list of the package we draw: a DIP (or the SOIC, whose pins run alike) for the
// two-row packages, a QFP for the four-row ones, with as many pins.
const std::map<int, std::string>* PackagePins(const DeviceFile& file, const Pinout& pinout)
{
    const std::map<int, std::string>* found = nullptr;
    for (const auto& [name, pins] : file.pinouts) {
        if (static_cast<int>(pins.size()) != pinout.pinCount) continue;
        if (pinout.shape == PackageShape::Dual) {
            if (name.find("DIP") != std::string::npos) return &pins;
            if (name.find("SOIC") != std::string::npos) found = &pins;
        } else if (name.find("QFP") != std::string::npos) {
            return &pins;
        }
    }
    return found;
}

TEST(Pinouts, EveryChipHasThePinsOfItsProgrammingMethod)
{
    std::set<std::string_view> inTable;
    for (const ChipRow& row : Catalogue()) {
        inTable.insert(row.name);
        const Pinout* pinout = FindPinout(row.name);
        ASSERT_NE(pinout, nullptr) << row.name;
        EXPECT_EQ(pinout->mode == ProgrammingMode::Serial, row.family == Family::Serial) << row.name;
    }
    for (const ChipPinout& c : ChipPinouts()) EXPECT_TRUE(inTable.contains(c.chip)) << c.chip << " is no chip of ours";
}

TEST(Pinouts, PinNumbersAndPadsAgreeWithTheDeviceFiles)
{
    // Beside the repository; QUILLON_ATDF_DIR points elsewhere, for a checkout in another place.
    const char* elsewhere = std::getenv("QUILLON_ATDF_DIR");
    const fs::path folder = elsewhere != nullptr && *elsewhere != '\0'
                                ? fs::path(elsewhere)
                                : fs::path(QUILLON_SOURCE_DIR) / ".." / "shared" / "atdf";
    if (!fs::is_directory(folder)) GTEST_SKIP() << "no device files at " << folder << "; nothing to check against";

    std::vector<std::string> checked, noPinList;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".atdf") continue;
        const std::string fileName = entry.path().filename().string();
        const std::optional<DeviceFile> file = ReadDeviceFile(entry.path());
        ASSERT_TRUE(file) << fileName << " is no XML file";
        const ChipRow* row = FindChip(file->signature);
        if (row == nullptr) continue;  // a variant none of our rows carries
        const Pinout* pinout = FindPinout(row->name);
        ASSERT_NE(pinout, nullptr) << row->name;
        const std::string who = std::string(row->name) + " (" + fileName + ")";

        bool any = false;
        if (const auto* pins = PackagePins(*file, *pinout)) {
            any = true;
            for (const PinUse& use : pinout->pins) {
                const auto at = pins->find(use.pin);
                ASSERT_NE(at, pins->end()) << who << ": no pin " << int(use.pin);
                EXPECT_EQ(at->second, use.pad) << who << ": pin " << int(use.pin) << " (" << SignalName(use.signal)
                                               << ")";
            }
        }
        // The serial lines the file names for its SPI or USI unit are the pads we wire them to.
        if (pinout->mode == ProgrammingMode::Serial) {
            for (const PinUse& use : pinout->pins) {
                const auto pad = file->serialPads.find(use.signal);
                if (pad == file->serialPads.end()) continue;
                any = true;
                EXPECT_EQ(pad->second, use.pad) << who << ": " << SignalName(use.signal);
            }
        }
        (any ? checked : noPinList).push_back(std::string(row->name));
    }
    EXPECT_FALSE(checked.empty());
    std::string names;
    for (const std::string& n : checked) names += " " + n;
    std::string without;
    for (const std::string& n : noPinList) without += " " + n;
    RecordProperty("checked", names);
    std::cout << "Held against their device files:" << names << "\nFiles without the package's pins:" << without
              << "\n";
}

}  // namespace
}  // namespace quillon
