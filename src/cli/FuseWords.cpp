#include "cli/FuseWords.h"

#include <cctype>

#include <nlohmann/json.hpp>

#include "chips/ChipTable.h"
#include "chips/FuseFields.h"
#include "operations/LockFuses.h"
#include "operations/Session.h"

namespace quillon::cli {

namespace {

using JsonLine = nlohmann::ordered_json;

std::string Hex2(unsigned value)
{
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

const ChipRow* ChipNamed(std::string_view name)
{
    for (const ChipRow& row : Catalogue()) {
        if (row.name.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(row.name[i])) ==
                   std::tolower(static_cast<unsigned char>(name[i]));
        if (same) return &row;
    }
    return nullptr;
}

FieldReport Report(const FuseField& f, std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> factory)
{
    FieldReport r;
    r.name = f.name;
    r.key = f.key;
    r.value = f.ValueIn(bytes);
    r.setting = f.KeyOf(static_cast<std::uint8_t>(r.value));
    r.isBit = f.IsBit();
    r.meaning = f.IsBit() ? f.what : f.Words(static_cast<std::uint8_t>(r.value));
    const std::uint8_t factoryValue = f.ValueIn(factory);
    r.factory = factoryValue == r.value;
    r.factorySetting = f.KeyOf(factoryValue);
    return r;
}

std::string SettingKeys(const FuseField& f)
{
    if (f.IsBit()) return "on, off";
    std::string keys;
    for (const FuseSetting& s : f.settings) keys += (keys.empty() ? "" : ", ") + s.key;
    return keys;
}

std::string PresetKeys(const std::vector<FusePreset>& presets)
{
    std::string keys;
    for (const FusePreset& p : presets) keys += (keys.empty() ? "" : ", ") + p.key;
    return keys;
}

}  // namespace

void AddFieldWords(const ChipRow& row, std::span<const std::uint8_t> bytes, std::vector<SlotReport>& slots)
{
    const ChipFuses* fuses = FusesOf(row);
    if (fuses == nullptr) return;
    for (std::size_t slot = 0; slot < slots.size() && slot < fuses->fuseBytes; ++slot)
        for (const FuseField& f : fuses->fields)
            if (f.slot == slot) slots[slot].fields.push_back(Report(f, bytes, fuses->factory));
}

int ExplainFuses(const Options& options, Output& output)
{
    const ChipRow* row = ChipNamed(options.chip);
    const ChipFuses* fuses = row ? FusesOf(*row) : nullptr;
    if (fuses == nullptr) {
        output.Error("unknown chip \"" + options.chip + "\"; list-chips names them");
        return 2;
    }
    std::vector<std::uint8_t> bytes;
    for (const std::string& b : options.explainBytes) bytes.push_back(static_cast<std::uint8_t>(std::stoi(b)));
    // The fuse bytes, and the lock byte after them if given.
    if (bytes.size() != fuses->fuseBytes && bytes.size() != fuses->fuseBytes + 1) {
        output.Error("explain-fuses: the " + std::string(row->name) + " has " + std::to_string(fuses->fuseBytes) +
                     " fuse byte" + (fuses->fuseBytes == 1 ? "" : "s") + (fuses->fuseBytes > 1 ? " (low first)" : "") +
                     ", and the lock byte may follow; " + std::to_string(bytes.size()) + " given");
        return 2;
    }
    std::vector<SlotReport> slots;
    for (std::size_t slot = 0; slot < bytes.size(); ++slot) {
        SlotReport report{std::string(row->bitNames[slot].caption), bytes[slot], {}, {}};
        for (int bit = 7; bit >= 0; --bit) {
            const std::string_view name = row->bitNames[slot].bit[static_cast<std::size_t>(bit)];
            if (!name.empty() && (bytes[slot] & (1u << bit)) == 0) report.programmed.emplace_back(name);
        }
        slots.push_back(std::move(report));
    }
    AddFieldWords(*row, bytes, slots);
    output.SetCommand("explain-fuses");
    output.Fuses(slots);
    return 0;
}

int ShowFuseSettings(const Options& options, Output& output)
{
    const ChipRow* row = ChipNamed(options.chip);
    const ChipFuses* fuses = row ? FusesOf(*row) : nullptr;
    if (fuses == nullptr) {
        output.Error("unknown chip \"" + options.chip + "\"; list-chips names them");
        return 2;
    }
    const std::vector<FusePreset> presets = PresetsOf(*fuses);
    if (output.Json()) {
        for (const FuseField& f : fuses->fields) {
            const std::uint8_t factory = f.ValueIn(fuses->factory);
            JsonLine settings = JsonLine::array();
            for (const FuseSetting& s : f.settings)
                settings.push_back(
                    {{"key", s.key}, {"value", s.value}, {"meaning", s.meaning}, {"factory", s.value == factory}});
            JsonLine line = {{"type", "fuse-field"}, {"chip", row->name},      {"byte", f.slot},
                             {"name", f.name},       {"key", f.key},           {"mask", f.mask},
                             {"bit", f.IsBit()},     {"what", f.what},         {"factory", f.KeyOf(factory)},
                             {"settings", settings}};
            output.JsonObject(line.dump(-1, ' ', false, JsonLine::error_handler_t::replace));
        }
        for (const FusePreset& p : presets) {
            JsonLine changes = JsonLine::object();
            for (const auto& [field, value] : p.changes) changes[field->key] = field->KeyOf(value);
            output.JsonObject(JsonLine{{"type", "fuse-preset"}, {"chip", row->name}, {"key", p.key},
                                       {"meaning", p.meaning}, {"changes", changes}}
                                  .dump());
        }
        return 0;
    }
    std::string text = std::string(row->name) + ": the fuse fields and their settings, as write-fuses takes them "
                                                 "(KEY=SETTING); * marks the factory setting.\n";
    for (std::size_t slot = 0; slot < fuses->fuseBytes; ++slot) {
        text += "\n" + FuseByteName(*fuses, slot) + " (factory 0x" + Hex2(fuses->factory[slot]) + ")\n";
        for (const FuseField& f : fuses->fields) {
            if (f.slot != slot) continue;
            const std::uint8_t factory = f.ValueIn(fuses->factory);
            if (f.IsBit()) {
                text += "  " + f.key + "=on|off  (" + f.name + ") " + f.what + "; factory " + f.KeyOf(factory) + "\n";
                continue;
            }
            text += "  " + f.key + "=  (" + f.name + ") " + f.what + ":\n";
            std::size_t width = 0;
            for (const FuseSetting& s : f.settings) width = std::max(width, s.key.size());
            for (const FuseSetting& s : f.settings)
                text += std::string(s.value == factory ? "  * " : "    ") + s.key +
                        std::string(width + 2 - s.key.size(), ' ') + s.meaning + "\n";
        }
    }
    text += "\nPresets (write-fuses --preset NAME; each changes only the fields it names):\n";
    for (const FusePreset& p : presets) {
        text += "  " + p.key + ": " + p.meaning + "\n   ";
        for (const auto& [field, value] : p.changes) text += " " + field->key + "=" + field->KeyOf(value);
        text += "\n";
    }
    output.Text(text);
    return 0;
}

Result WriteFuseSettings(Session& session, const Command& command, const Options& options, const Confirm& confirm,
                         Output& output)
{
    const ChipRow* row = FindChip(session.chip.signature);
    const ChipFuses* fuses = row ? FusesOf(*row) : nullptr;
    const auto wrong = [&](const std::string& why) {
        output.Error("write-fuses: " + why + "; nothing was written");
        return Result::Failed(FailureKind::Input, "write-fuses: " + why);
    };
    if (fuses == nullptr) return wrong("no chip with fuse fields is selected");
    const std::string chip(row->name);
    const std::vector<FusePreset> presets = PresetsOf(*fuses);

    // Every name and key is checked before the chip is touched.
    std::string presetKey = options.preset;
    std::vector<std::pair<const FuseField*, std::uint8_t>> changes;
    for (const std::string& text : command.settings) {
        const std::size_t eq = text.find('=');
        const std::string key = text.substr(0, eq);
        const std::string value = text.substr(eq + 1);
        if (key == "preset") {
            presetKey = value;
            continue;
        }
        const FuseField* field = fuses->Find(key);
        if (field == nullptr)
            return wrong("the " + chip + " has no fuse field \"" + key + "\"; its fields are: " + fuses->FieldKeys() +
                         ", and preset");
        if (field->IsBit()) {
            const std::optional<bool> on = ParseBitWord(value);
            if (!on) return wrong(field->key + " takes on or off, not \"" + value + "\"");
            changes.emplace_back(field, *on ? 0 : 1);
        } else if (const FuseSetting* s = field->SettingByKey(value)) {
            changes.emplace_back(field, s->value);
        } else {
            return wrong("the " + chip + "'s " + field->key + " has no setting \"" + value +
                         "\"; its settings are: " + SettingKeys(*field) + " (quillon-cli fuse-settings --chip " +
                         chip + " says what each does)");
        }
    }
    const FusePreset* preset = nullptr;
    if (!presetKey.empty()) {
        for (const FusePreset& p : presets)
            if (p.key == presetKey) preset = &p;
        if (preset == nullptr)
            return wrong("the " + chip + " has no preset \"" + presetKey + "\"; its presets are: " +
                         PresetKeys(presets));
    }

    // The fields not named keep what the chip holds now.
    LockFusesDialog dialog = OpenLockFusesDialog(session.chip);
    if (Result read = ReadLockFuses(session, dialog); !read) return read;
    const std::vector<std::uint8_t> before(session.chip.lockFuse.begin(),
                                           session.chip.lockFuse.begin() + static_cast<long>(fuses->fuseBytes));
    std::vector<std::uint8_t> after = preset ? ApplyPreset(*preset, before) : before;
    for (const auto& [field, value] : changes) field->StoreIn(after, value);

    if (preset != nullptr) session.bus.log.LogMessage(LogText, "Preset " + preset->key + ": " + preset->meaning);
    bool changed = false;
    for (const FuseField& f : fuses->fields) {
        const std::uint8_t was = f.ValueIn(before);
        const std::uint8_t now = f.ValueIn(after);
        if (was == now) continue;
        changed = true;
        session.bus.log.LogMessage(LogText, f.key + ": " + f.KeyOf(was) + " -> " + f.KeyOf(now) + " (" +
                                                (f.IsBit() ? (now == 0 ? "on: " : "off: ") + f.what : f.Words(now)) +
                                                ")");
    }
    if (!changed) {
        session.bus.log.LogMessage(LogText, "The chip already holds these settings; nothing was written.");
        return Result::Ok();
    }
    if (!Ask(confirm, kFuseWriteQuestion)) return Result::Refused();

    std::array<std::uint8_t, 8> wanted = session.chip.lockFuse;
    std::copy(after.begin(), after.end(), wanted.begin());
    for (std::size_t g = 0; g < session.chip.lockFuseCount && g < dialog.group.size(); ++g)
        for (std::size_t b = 0; b < 8; ++b) {
            FuseBox& box = dialog.group[g].box[b];
            box.checked = box.visible && (wanted[g] & (1u << b)) == 0;
        }
    // Only the fuse bytes go out: the lock byte was not named, so the chip keeps its own.
    const unsigned fuseSlots = (1u << fuses->fuseBytes) - 1u;
    Result result = WriteLockFuses(session, dialog, confirm, fuseSlots);
    if (!result) return result;
    for (std::size_t i = 0; i < fuses->fuseBytes; ++i)
        if (session.chip.lockFuse[i] != wanted[i])
            output.Error("write-fuses: " + dialog.group[i].caption + " 0x" + Hex2(wanted[i]) + " written as 0x" +
                         Hex2(session.chip.lockFuse[i]) + " (unnamed bits stay 1)");
    return result;
}

}  // namespace quillon::cli
