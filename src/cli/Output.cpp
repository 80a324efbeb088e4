#include "cli/Output.h"

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "cli/TerminalProgress.h"

namespace quillon::cli {

namespace {

using JsonLine = nlohmann::ordered_json;

// File names and log lines need not be UTF-8: bytes that are not are replaced rather than
// making the line unreadable to a JSON parser.
std::string Dump(const JsonLine& object)
{
    return object.dump(-1, ' ', false, JsonLine::error_handler_t::replace);
}

}  // namespace

class Output::Steps : public ProgressSink {
public:
    explicit Steps(Output& output) : output_(output) {}
    void Create() override
    {
        last_ = -1;
        SetPosition(0);
    }
    void SetPosition(int percent) override
    {
        if (percent == last_) return;
        last_ = percent;
        JsonLine line = {{"type", "progress"}};
        if (!output_.command_.empty()) line["command"] = output_.command_;
        line["percent"] = percent;
        output_.Emit(Dump(line));
    }
    void Free() override {}

private:
    Output& output_;
    int last_ = -1;
};

Output::Output(bool json, std::FILE* out, std::FILE* err) : json_(json), out_(out), err_(err)
{
    if (json_)
        steps_ = std::make_unique<Steps>(*this);
    else if (isatty(fileno(out_)) && isatty(fileno(err_)))
        // Only for a person watching, not when the log goes to a file or a pipe; lifted out of
        // the way of every log line.
        bar_ = std::make_unique<TerminalProgress>(err_);
}

Output::~Output() = default;

ProgressSink* Output::Progress()
{
    if (steps_) return steps_.get();
    return bar_.get();
}

void Output::Emit(const std::string& jsonLine)
{
    std::fputs(jsonLine.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void Output::Log(const std::string& line)
{
    if (json_) return Emit(Dump({{"type", "log"}, {"text", line}}));
    if (bar_) bar_->Hide();
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
    if (bar_) bar_->Show();
}

void Output::Error(const std::string& message)
{
    // Standard error keeps the message for a person watching either form.
    ++errors_;
    if (bar_) bar_->Hide();
    std::fprintf(err_, "quillon-cli: %s\n", message.c_str());
    std::fflush(err_);
    if (bar_) bar_->Show();
    if (!json_) return;
    JsonLine line = {{"type", "error"}};
    if (!command_.empty()) line["command"] = command_;
    line["text"] = message;
    Emit(Dump(line));
}

void Output::Fuses(const std::vector<SlotReport>& slots)
{
    if (json_) {
        JsonLine list = JsonLine::array();
        for (const SlotReport& slot : slots) {
            JsonLine item = {{"name", slot.name}, {"value", slot.value}, {"programmed", slot.programmed}};
            if (!slot.fields.empty()) {
                JsonLine fields = JsonLine::array();
                for (const FieldReport& f : slot.fields)
                    fields.push_back({{"name", f.name},
                                      {"key", f.key},
                                      {"value", f.value},
                                      {"setting", f.setting},
                                      {"meaning", f.meaning},
                                      {"factory", f.factory},
                                      {"factorySetting", f.factorySetting}});
                item["fields"] = fields;
            }
            list.push_back(item);
        }
        return Emit(Dump({{"type", "fuses"}, {"command", command_}, {"slots", list}}));
    }
    for (const SlotReport& slot : slots) {
        char value[8];
        std::snprintf(value, sizeof value, "%02X", slot.value & 0xFF);
        std::string line = slot.name + ": 0x" + value + "  programmed:";
        for (const std::string& bit : slot.programmed) line += " " + bit;
        if (slot.programmed.empty()) line += " none";
        std::fprintf(out_, "%s\n", line.c_str());
        // Under the byte, its fields as write-fuses takes them, in words.
        for (const FieldReport& f : slot.fields) {
            std::string words = "    " + f.key + "=" + f.setting;
            if (f.isBit && f.setting != "on") words += " (when on: " + f.meaning + ")";
            else words += ": " + f.meaning;
            if (!f.factory) words += "  [factory: " + f.factorySetting + "]";
            std::fprintf(out_, "%s\n", words.c_str());
        }
    }
    std::fflush(out_);
}

void Output::Result(const std::string& command, const std::string& argument, bool ok)
{
    if (!json_) return;  // plain output tells it by the log lines and the last line on stderr
    JsonLine line = {{"type", "result"}, {"command", command}};
    if (!argument.empty()) line["argument"] = argument;
    line["ok"] = ok;
    Emit(Dump(line));
}

void Output::Exit(int status, const std::vector<std::string>& failed)
{
    if (!json_) return;
    Emit(Dump({{"type", "exit"}, {"status", status}, {"failed", failed}}));
}

void Output::Version(const std::string& version)
{
    if (json_) return Emit(Dump({{"type", "version"}, {"program", "quillon-cli"}, {"version", version}}));
    std::fprintf(out_, "quillon-cli %s\n", version.c_str());
    std::fflush(out_);
}

void Output::Chips(std::span<const ChipListRow> rows)
{
    if (!json_) return Text(ChipListText(rows));
    for (const ChipListRow& row : rows)
        Emit(Dump({{"type", "chip"},
                   {"name", row.name},
                   {"signature", row.signature},
                   {"flash", row.flash},
                   {"eeprom", row.eeprom},
                   {"page", row.page},
                   {"mode", row.mode}}));
}

void Output::JsonObject(const std::string& line)
{
    if (json_) Emit(line);
}

void Output::Text(const std::string& text)
{
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
}

}  // namespace quillon::cli
