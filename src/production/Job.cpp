#include "production/Job.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <toml++/toml.h>

#include "chips/Catalogue.h"
#include "chips/Chip.h"
#include "chips/MemoryKind.h"
#include "core/FileIo.h"
#include "images/FileCommands.h"
#include "log/Log.h"
#include "operations/CommandFrame.h"
#include "production/RecordStore.h"

namespace quillon::production {

namespace {

std::mutex g_readerMutex;
FuseTableReader g_fuseReader;

// A refusal of the job: where, which key, why.
struct Refusal {
    std::string text;
};

class Checker {
public:
    explicit Checker(std::string path) : path_(std::move(path)) {}

    [[noreturn]] void Fail(int line, const std::string& key, const std::string& why) const
    {
        std::string where = path_;
        if (line > 0) where += ":" + std::to_string(line);
        throw Refusal{where + ": " + (key.empty() ? "" : key + ": ") + why};
    }
    [[noreturn]] void Fail(const toml::node& node, const std::string& key, const std::string& why) const
    {
        Fail(static_cast<int>(node.source().begin.line), key, why);
    }

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string TypeName(const toml::node& node)
{
    switch (node.type()) {
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "a whole number";
    case toml::node_type::floating_point: return "a number with a fraction";
    case toml::node_type::boolean: return "true or false";
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "a list";
    default: return "a date or time";
    }
}

std::string Text(const Checker& c, const toml::node& node, const std::string& key)
{
    if (!node.is_string()) c.Fail(node, key, "must be a string, not " + TypeName(node));
    return node.as_string()->get();
}

bool Flag(const Checker& c, const toml::node& node, const std::string& key)
{
    if (!node.is_boolean()) c.Fail(node, key, "must be true or false, not " + TypeName(node));
    return node.as_boolean()->get();
}

std::int64_t Whole(const Checker& c, const toml::node& node, const std::string& key, std::int64_t low,
                   std::int64_t high)
{
    if (!node.is_integer()) c.Fail(node, key, "must be a whole number, not " + TypeName(node));
    const std::int64_t value = node.as_integer()->get();
    if (value < low || value > high)
        c.Fail(node, key, "must be from " + std::to_string(low) + " to " + std::to_string(high) + ", not " +
                              std::to_string(value));
    return value;
}

std::string Lower(std::string text)
{
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

const ChipRow* ChipNamed(const std::string& name)
{
    for (const ChipRow& row : Catalogue())
        if (Lower(std::string(row.name)) == Lower(name)) return &row;
    return nullptr;
}

std::string Resolve(const std::string& jobPath, const std::string& named)
{
    const std::filesystem::path file(named);
    if (file.is_absolute()) return file.lexically_normal().string();
    const std::filesystem::path folder = std::filesystem::path(jobPath).parent_path();
    return (folder / file).lexically_normal().string();
}

// The images one file gives, and which of their bytes it gives: the file is loaded twice, into
// images filled with 0xFF and with 0x00; a byte that comes out the same both times came from it.
struct Images {
    std::vector<std::uint8_t> program, programCovered, data, dataCovered;
    bool gaveProgram = false, gaveData = false;
    std::optional<FileFuses> fuses;  // an ELF program's fuse and lock sections
};

std::string LoadImages(const ChipRow& row, const std::string& file, MemoryKind kind, Images& out)
{
    Log quiet;
    auto high = std::make_unique<Chip>();
    auto low = std::make_unique<Chip>();
    FillChipRecord(*high, row);
    FillChipRecord(*low, row);
    high->flash.fill(0xFF);
    high->eeprom.fill(0xFF);
    low->flash.fill(0x00);
    low->eeprom.fill(0x00);
    FileLoad loaded;
    Result result = LoadMemoryFile(Workspace{quiet, *high, nullptr}, file, kind, &loaded);
    if (!result) {
        std::string words = result.Words();
        std::replace(words.begin(), words.end(), '\n', ' ');
        return words.empty() ? "cannot load " + file : words;
    }
    out.fuses = loaded.fuses;
    FileLoad probe;
    LoadMemoryFile(Workspace{quiet, *low, nullptr}, file, kind, &probe);
    auto take = [](std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, std::vector<std::uint8_t>& image,
                   std::vector<std::uint8_t>& covered) {
        image.assign(a.begin(), a.end());
        covered.resize(a.size());
        for (std::size_t i = 0; i < a.size(); ++i) covered[i] = a[i] == b[i] ? 1 : 0;
    };
    if (loaded.program) {
        take(ChipMemory(*high, MemoryKind::Program), ChipMemory(*low, MemoryKind::Program), out.program,
             out.programCovered);
        out.gaveProgram = true;
    }
    if (loaded.data) {
        take(ChipMemory(*high, MemoryKind::Data), ChipMemory(*low, MemoryKind::Data), out.data, out.dataCovered);
        out.gaveData = true;
    }
    return {};
}

std::string Digest(const std::string& file, std::string& error)
{
    std::string contents;
    if (Failure status = ReadWholeFile(file, contents); status.Failed()) {
        error = status.words;
        return {};
    }
    return Sha256Hex(contents);
}

std::string JobHash(const std::vector<NamedFile>& files)
{
    std::string digests;
    for (const NamedFile& f : files) digests += f.sha256 + "\n";
    return Sha256Hex(digests);
}

// One number a line, decimal or 0x hex; blank lines and lines starting with '#' are skipped.
std::vector<std::uint64_t> ReadValues(const Checker& c, const toml::node& node, const std::string& file,
                                      const SerialRule& rule)
{
    std::string contents;
    if (Failure status = ReadWholeFile(file, contents); status.Failed()) c.Fail(node, "serial.values", status.words);
    std::vector<std::uint64_t> values;
    std::istringstream lines(contents);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        line.erase(0, line.find_first_not_of(" \t\r"));
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (line.empty() || line[0] == '#') continue;
        std::uint64_t value = 0;
        int base = 10;
        std::string_view digits = line;
        if (digits.starts_with("0x") || digits.starts_with("0X")) {
            base = 16;
            digits.remove_prefix(2);
        }
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
        const std::string where = file + ":" + std::to_string(number);
        if (ec != std::errc{} || end != digits.data() + digits.size() || digits.empty())
            throw Refusal{where + ": \"" + line + "\" is not a serial number (decimal, or hex after 0x)"};
        if (value > LargestFitting(rule.format, rule.length) || value > INT64_MAX)
            throw Refusal{where + ": " + line + " does not fit the serial number's field (" +
                          std::to_string(rule.length) + " bytes " + std::string(FormatName(rule.format)) +
                          ", largest " + std::to_string(LargestFitting(rule.format, rule.length)) + ")"};
        values.push_back(value);
    }
    if (values.empty()) throw Refusal{file + ": holds no serial numbers"};
    return values;
}

void ReadSerial(const Checker& c, const toml::table& table, Job& job, std::vector<NamedFile>& files)
{
    SerialRule rule;
    const toml::node* memory = table.get("memory");
    const toml::node* address = table.get("address");
    const toml::node* length = table.get("length");
    for (auto&& [key, node] : table) {
        static const std::vector<std::string> known{"memory", "address", "length", "order", "format", "first",
                                                    "step",   "last",    "values", "reuse_failed"};
        if (std::find(known.begin(), known.end(), std::string(key.str())) == known.end())
            c.Fail(static_cast<int>(key.source().begin.line), "serial." + std::string(key.str()), "unknown key");
    }
    const int tableLine = static_cast<int>(table.source().begin.line);
    if (!memory) c.Fail(tableLine, "serial.memory", "missing (\"flash\" or \"eeprom\")");
    if (!address) c.Fail(tableLine, "serial.address", "missing");
    if (!length) c.Fail(tableLine, "serial.length", "missing (1 to 8 bytes)");
    const std::string memoryName = Text(c, *memory, "serial.memory");
    if (memoryName == "flash")
        rule.memory = SerialMemory::Flash;
    else if (memoryName == "eeprom")
        rule.memory = SerialMemory::Eeprom;
    else
        c.Fail(*memory, "serial.memory", "must be \"flash\" or \"eeprom\", not \"" + memoryName + "\"");
    rule.length = static_cast<unsigned>(Whole(c, *length, "serial.length", 1, 8));
    const std::uint32_t size = rule.memory == SerialMemory::Flash ? job.chip->flashSize : job.chip->eepromSize;
    if (size == 0) c.Fail(*memory, "serial.memory", "the " + std::string(job.chip->name) + " has no EEPROM");
    rule.address = static_cast<std::uint32_t>(Whole(c, *address, "serial.address", 0, 0xFFFFFFFF));
    if (rule.address + rule.length > size)
        c.Fail(*address, "serial.address",
               "the number's " + std::to_string(rule.length) + " bytes at 0x" + AddressDigits(rule.address) +
                   " do not fit the " + std::to_string(size) + " bytes of the " +
                   (rule.memory == SerialMemory::Flash ? "flash" : "EEPROM"));
    if (const toml::node* order = table.get("order")) {
        const std::string text = Text(c, *order, "serial.order");
        if (text != "little" && text != "big")
            c.Fail(*order, "serial.order", "must be \"little\" or \"big\", not \"" + text + "\"");
        rule.bigEndian = text == "big";
    }
    if (const toml::node* format = table.get("format")) {
        const std::string text = Text(c, *format, "serial.format");
        const std::optional<SerialFormat> named = FormatNamed(text);
        if (!named)
            c.Fail(*format, "serial.format", "must be \"binary\", \"bcd\", \"decimal\" or \"hex\", not \"" + text + "\"");
        rule.format = *named;
    }
    if (const toml::node* reuse = table.get("reuse_failed")) rule.reuseFailed = Flag(c, *reuse, "serial.reuse_failed");
    const std::uint64_t largest = LargestFitting(rule.format, rule.length);
    const std::string field = std::to_string(rule.length) + " bytes " + std::string(FormatName(rule.format)) +
                              ", largest " + std::to_string(largest);
    const toml::node* values = table.get("values");
    if (values) {
        for (const char* key : {"first", "step", "last"})
            if (const toml::node* n = table.get(key))
                c.Fail(*n, std::string("serial.") + key, "not with serial.values: the numbers come from the file");
        const std::string file = Resolve(c.Path(), Text(c, *values, "serial.values"));
        rule.values = ReadValues(c, *values, file, rule);
        std::string error;
        files.push_back({"serial.values", file, Digest(file, error)});
        if (!error.empty()) c.Fail(*values, "serial.values", error);
    } else {
        // Numbers past what a signed 64-bit integer holds are out of reach of TOML anyway.
        const std::int64_t top = static_cast<std::int64_t>(std::min<std::uint64_t>(largest, INT64_MAX));
        const toml::node* first = table.get("first");
        if (!first) c.Fail(tableLine, "serial.first", "missing (or name a file of numbers with serial.values)");
        if (!first->is_integer()) c.Fail(*first, "serial.first", "must be a whole number, not " + TypeName(*first));
        if (first->as_integer()->get() < 0 || first->as_integer()->get() > top)
            c.Fail(*first, "serial.first",
                   std::to_string(first->as_integer()->get()) + " does not fit the serial number's field (" + field + ")");
        rule.first = static_cast<std::uint64_t>(first->as_integer()->get());
        if (const toml::node* step = table.get("step"))
            rule.step = static_cast<std::uint64_t>(Whole(c, *step, "serial.step", 1, INT64_MAX));
        rule.last = static_cast<std::uint64_t>(top);
        if (const toml::node* last = table.get("last")) {
            if (!last->is_integer()) c.Fail(*last, "serial.last", "must be a whole number, not " + TypeName(*last));
            const std::int64_t value = last->as_integer()->get();
            if (value < 0 || value > top)
                c.Fail(*last, "serial.last",
                       std::to_string(value) + " does not fit the serial number's field (" + field + ")");
            if (static_cast<std::uint64_t>(value) < rule.first)
                c.Fail(*last, "serial.last", "is below serial.first (" + std::to_string(rule.first) + ")");
            rule.last = static_cast<std::uint64_t>(value);
        }
    }
    job.serial = rule;
}

// The serial number may only go where neither file puts a byte: otherwise it would silently
// overwrite part of the program or its data.
void CheckSerialPlace(const Checker& c, const toml::table& table, const Job& job)
{
    const SerialRule& rule = *job.serial;
    const bool flash = rule.memory == SerialMemory::Flash;
    const std::vector<std::uint8_t>& covered = flash ? job.programCovered : job.dataCovered;
    if (covered.empty()) return;
    for (std::uint32_t i = 0; i < rule.length; ++i) {
        const std::uint32_t at = rule.address + i;
        if (at < covered.size() && covered[at]) {
            const std::string file = flash || job.dataFile.empty() ? job.programFile : job.dataFile;
            c.Fail(*table.get("address"), "serial.address",
                   "the serial number's bytes 0x" + AddressDigits(rule.address) + "-0x" +
                       AddressDigits(rule.address + rule.length - 1) + " lie on data that " + file +
                       " gives (at 0x" + AddressDigits(at) + ")");
        }
    }
}

Job Check(const std::string& path)
{
    Checker c(path);
    std::string contents;
    if (Failure status = ReadWholeFile(path, contents); status.Failed()) throw Refusal{status.words};
    toml::table root;
    try {
        root = toml::parse(contents, path);
    } catch (const toml::parse_error& e) {
        c.Fail(static_cast<int>(e.source().begin.line), "", std::string(e.description()));
    }
    Job job;
    job.path = path;
    job.files.push_back({"job", path, Sha256Hex(contents)});

    static const std::vector<std::string> known{"name", "chip", "program", "data", "erase", "keep_eeprom",
                                                "fuses", "lock", "records", "serial"};
    for (auto&& [key, node] : root)
        if (std::find(known.begin(), known.end(), std::string(key.str())) == known.end())
            c.Fail(static_cast<int>(key.source().begin.line), std::string(key.str()), "unknown key");

    const toml::node* name = root.get("name");
    if (!name) c.Fail(0, "name", "missing (the job's name, used in the records)");
    job.name = Text(c, *name, "name");
    if (job.name.empty() || job.name.find_first_of("/\\") != std::string::npos)
        c.Fail(*name, "name", "must be a name without '/' or '\\', not \"" + job.name + "\"");
    const toml::node* chip = root.get("chip");
    if (!chip) c.Fail(0, "chip", "missing (the chip's name, e.g. \"ATmega328P\")");
    const std::string chipName = Text(c, *chip, "chip");
    job.chip = ChipNamed(chipName);
    if (!job.chip || job.chip->driver == nullptr) c.Fail(*chip, "chip", "unknown chip \"" + chipName + "\"");

    if (const toml::node* n = root.get("erase")) job.erase = Flag(c, *n, "erase");
    if (const toml::node* n = root.get("keep_eeprom")) job.keepEeprom = Flag(c, *n, "keep_eeprom");
    if (const toml::node* n = root.get("records")) {
        // A file is named relative to the job, like the job's other files; a server by its URL.
        const std::string records = Text(c, *n, "records");
        job.recordsFile = IsServerStore(records) ? records : Resolve(path, records);
    }

    Images images;
    for (const char* key : {"program", "data"}) {
        const toml::node* n = root.get(key);
        if (!n) continue;
        const std::string file = Resolve(path, Text(c, *n, key));
        const bool program = std::string(key) == "program";
        std::string error;
        const std::string digest = Digest(file, error);
        if (!error.empty()) c.Fail(*n, key, error);
        job.files.push_back({key, file, digest});
        (program ? job.programFile : job.dataFile) = file;
        Images loaded;
        if (std::string why = LoadImages(*job.chip, file, program ? MemoryKind::Program : MemoryKind::Data, loaded);
            !why.empty())
            c.Fail(*n, key, file + ": " + why);
        if (program) images.fuses = loaded.fuses;
        if (loaded.gaveProgram) {
            images.program = std::move(loaded.program);
            images.programCovered = std::move(loaded.programCovered);
            images.gaveProgram = true;
        }
        if (loaded.gaveData) {
            images.data = std::move(loaded.data);
            images.dataCovered = std::move(loaded.dataCovered);
            images.gaveData = true;
        }
    }
    job.writesProgram = images.gaveProgram;
    job.writesData = images.gaveData;
    job.program = std::move(images.program);
    job.programCovered = std::move(images.programCovered);
    job.data = std::move(images.data);
    job.dataCovered = std::move(images.dataCovered);

    const std::size_t fuseCount = job.chip->lockFuseCount > 0 ? job.chip->lockFuseCount - 1u : 0u;
    if (const toml::node* n = root.get("fuses")) {
        if (const toml::table* settings = n->as_table()) {
            std::vector<FuseSetting> list;
            for (auto&& [field, value] : *settings) {
                std::string text;
                if (value.is_string())
                    text = value.as_string()->get();
                else if (value.is_integer())
                    text = std::to_string(value.as_integer()->get());
                else if (value.is_boolean())
                    text = value.as_boolean()->get() ? "true" : "false";
                else
                    c.Fail(value, "fuses." + std::string(field.str()),
                           "must be a string, a number or true/false, not " + TypeName(value));
                list.push_back({std::string(field.str()), text, static_cast<int>(value.source().begin.line)});
            }
            FuseTableReader reader;
            {
                std::lock_guard lock(g_readerMutex);
                reader = g_fuseReader;
            }
            if (!reader) c.Fail(*n, "fuses", "give the fuse bytes in hex, low first (\"FF DE FD\")");
            if (std::string why = reader(*job.chip, list, job.fuses); !why.empty()) c.Fail(*n, "fuses", why);
        } else {
            const std::string text = Text(c, *n, "fuses");
            if (text == "program") {
                // The compiled program's own fuse section.
                if (!images.fuses || images.fuses->fuses.empty())
                    c.Fail(*n, "fuses", (job.programFile.empty() ? std::string("no program") : job.programFile) +
                                            " holds no fuse bytes (a .fuse section of an ELF file)");
                job.fuses = images.fuses->fuses;
            } else {
                const std::optional<std::vector<std::uint8_t>> bytes = ParseHexBytes(text);
                if (!bytes) c.Fail(*n, "fuses", "\"" + text + "\" is not hex bytes (\"FF DE FD\", low first)");
                job.fuses = *bytes;
            }
        }
        if (job.fuses.size() != fuseCount)
            c.Fail(*n, "fuses", "the " + std::string(job.chip->name) + " has " + std::to_string(fuseCount) +
                                    " fuse byte" + (fuseCount == 1 ? "" : "s") + ", not " +
                                    std::to_string(job.fuses.size()));
    }
    if (const toml::node* n = root.get("lock")) {
        const std::string text = Text(c, *n, "lock");
        if (job.chip->lockFuseCount == 0) c.Fail(*n, "lock", "the " + std::string(job.chip->name) + " has no lock byte");
        if (text == "program") {
            if (!images.fuses || !images.fuses->lock)
                c.Fail(*n, "lock", (job.programFile.empty() ? std::string("no program") : job.programFile) +
                                       " holds no lock byte (a .lock section of an ELF file)");
            job.lock = *images.fuses->lock;
        } else {
            const std::optional<std::vector<std::uint8_t>> bytes = ParseHexBytes(text);
            if (!bytes || bytes->size() != 1) c.Fail(*n, "lock", "must be one hex byte (\"FC\"), not \"" + text + "\"");
            job.lock = (*bytes)[0];
        }
    }

    if (const toml::node* n = root.get("serial")) {
        const toml::table* table = n->as_table();
        if (!table) c.Fail(*n, "serial", "must be a table ([serial]), not " + TypeName(*n));
        ReadSerial(c, *table, job, job.files);
        CheckSerialPlace(c, *table, job);
        // A serial number in a memory no file gives still has to be written: into an erased image.
        const bool flash = job.serial->memory == SerialMemory::Flash;
        if (flash && !job.writesProgram) {
            job.program.assign(job.chip->flashSize, 0xFF);
            job.programCovered.assign(job.chip->flashSize, 0);
            job.writesProgram = true;
        } else if (!flash && !job.writesData) {
            job.data.assign(job.chip->eepromSize, 0xFF);
            job.dataCovered.assign(job.chip->eepromSize, 0);
            job.writesData = true;
        }
    }
    if (!job.writesProgram && !job.writesData && job.fuses.empty() && !job.lock)
        c.Fail(0, "program", "the job writes nothing: name a program, data, fuses or a lock byte");
    // Only the chip's own memory is kept: the images of the scratch chip are larger.
    if (job.writesProgram) {
        job.program.resize(job.chip->flashSize, 0xFF);
        job.programCovered.resize(job.chip->flashSize, 0);
    }
    if (job.writesData) {
        job.data.resize(job.chip->eepromSize, 0xFF);
        job.dataCovered.resize(job.chip->eepromSize, 0);
    }
    job.hash = JobHash(job.files);
    return job;
}

}  // namespace

JobCheck ReadJob(const std::string& path)
{
    try {
        return {Check(path), {}};
    } catch (const Refusal& refusal) {
        return {std::nullopt, refusal.text};
    }
}

std::string CheckJobUnchanged(const Job& job)
{
    for (const NamedFile& file : job.files) {
        std::string error;
        const std::string digest = Digest(file.path, error);
        if (!error.empty()) return error;
        if (digest != file.sha256) return file.path + " changed since the job was checked";
    }
    return {};
}

std::string DefaultRecordsFile(const Job& job)
{
    const std::filesystem::path folder = std::filesystem::path(job.path).parent_path();
    return (folder / (job.name + ".records.sqlite")).string();
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(const std::string& text)
{
    std::vector<std::uint8_t> bytes;
    std::string piece;
    std::istringstream in(text);
    std::string spaced = text;
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    std::istringstream words(spaced);
    while (words >> piece) {
        std::string_view digits = piece;
        if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (digits.empty() || digits.size() > 2 || ec != std::errc{} || end != digits.data() + digits.size())
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    if (bytes.empty()) return std::nullopt;
    return bytes;
}

std::string Sha256Hex(const std::string& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < size; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

void SetFuseTableReader(FuseTableReader reader)
{
    std::lock_guard lock(g_readerMutex);
    g_fuseReader = std::move(reader);
}

}  // namespace quillon::production
