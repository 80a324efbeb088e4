#include "cli/Options.h"

#include <array>
#include <cctype>
#include <charconv>
#include <optional>
#include <string_view>

#include "chips/MemoryWalk.h"
#include "cli/WiringFile.h"

namespace quillon::cli {

namespace {

// A decimal number from low to high, the whole text and nothing else; none otherwise.
std::optional<int> WholeNumberIn(const std::string& text, int low, int high)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
    return value;
}

struct CommandName {
    std::string_view name;
    CommandKind kind;
    bool takesArgument;
};

constexpr std::array<CommandName, 13> kCommands{{
    {"read-program", CommandKind::ReadProgram, true},
    {"write-program", CommandKind::WriteProgram, true},
    {"verify-program", CommandKind::VerifyProgram, true},
    {"read-data", CommandKind::ReadData, true},
    {"write-data", CommandKind::WriteData, true},
    {"verify-data", CommandKind::VerifyData, true},
    {"compare-program", CommandKind::CompareProgram, true},
    {"compare-data", CommandKind::CompareData, true},
    {"erase", CommandKind::Erase, false},
    {"read-calibration", CommandKind::ReadCalibration, false},
    {"read-fuses", CommandKind::ReadFuses, false},
    {"write-fuses", CommandKind::WriteFuses, true},
    {"rescue", CommandKind::Rescue, false},
}};

// "clock=xtal-8m-16k-65ms": a field setting for write-fuses (a file name or bytes have no '=').
bool IsSetting(const std::string& arg)
{
    return !arg.empty() && arg[0] != '-' && arg.find('=') != std::string::npos;
}

const CommandName* FindCommand(std::string_view name)
{
    for (const auto& c : kCommands)
        if (c.name == name) return &c;
    return nullptr;
}

ParseResult Fail(std::string error)
{
    return {std::nullopt, std::move(error)};
}

// "--name=value" and "--name value" are both accepted.
bool TakeValue(const std::vector<std::string>& args, std::size_t& i, std::string_view name,
               std::string& value, std::string& error)
{
    const std::string& arg = args[i];
    if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
        return true;
    }
    if (arg != name) return false;
    if (i + 1 >= args.size()) {
        error = std::string(name) + " needs a value";
        return true;
    }
    value = args[++i];
    return true;
}

}  // namespace

ParseResult ParseOptions(const std::vector<std::string>& args)
{
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        std::string error;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--yes" || arg == "-y") {
            options.yes = true;
        } else if (arg == "--whole-memory") {
            options.wholeMemory = true;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--no-signature-check") {
            options.checkSignature = false;
        } else if (arg == "--no-verify") {
            options.verifyWrites = false;
        } else if (arg == "--no-answer-check") {
            options.confirmAnswers = false;
        } else if (arg == "--leave-powered") {
            options.powerDown = false;
        } else if (arg == "--unbounded-in-flight") {
            options.unboundedInFlight = true;
        } else if (TakeValue(args, i, "--port", value, error)) {
            if (!error.empty()) return Fail(error);
            if (value.empty()) return Fail("--port needs a port name");
            options.port = value;
        } else if (TakeValue(args, i, "--chip", value, error)) {
            if (!error.empty()) return Fail(error);
            options.chip = value == "auto" ? "" : value;
        } else if (TakeValue(args, i, "--delay", value, error)) {
            if (!error.empty()) return Fail(error);
            const std::optional<int> delay = WholeNumberIn(value, 0, 5);
            if (!delay) return Fail("--delay takes a whole number from 0 to 5, not \"" + value + "\"");
            options.delay = *delay;
        } else if (TakeValue(args, i, "--answer-timeout", value, error)) {
            if (!error.empty()) return Fail(error);
            const std::optional<int> ms = WholeNumberIn(value, 100, 60000);
            if (!ms) return Fail("--answer-timeout takes milliseconds from 100 to 60000, not \"" + value + "\"");
            options.answerTimeoutMs = *ms;
        } else if (TakeValue(args, i, "--answers-in-flight", value, error)) {
            if (!error.empty()) return Fail(error);
            const std::optional<int> n = WholeNumberIn(value, 1, kMaxAnswersInFlight);
            if (!n)
                return Fail("--answers-in-flight takes a whole number from 1 to " + std::to_string(kMaxAnswersInFlight) +
                            ", not \"" + value + "\"");
            options.answersInFlight = *n;
        } else if (TakeValue(args, i, "--page", value, error)) {
            if (!error.empty()) return Fail(error);
            if (value != "1" && value != "2")
                return Fail("--page takes 1 or 2, not \"" + value + "\"");
            options.page = value == "1" ? 0 : 1;
        } else if (TakeValue(args, i, "--preset", value, error)) {
            if (!error.empty()) return Fail(error);
            if (value.empty()) return Fail("--preset needs a preset name");
            options.preset = value;
        } else if (arg == "list-chips") {
            options.listChips = true;
        } else if (arg == "wiring") {
            options.wiring = true;
        } else if (TakeValue(args, i, "--out", value, error)) {
            if (!error.empty()) return Fail(error);
            if (value.empty()) return Fail("--out needs a file name");
            options.out = value;
        } else if (arg == "fuse-settings") {
            options.fuseSettings = true;
        } else if (arg == "explain-fuses") {
            options.explainFuses = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return Fail("unknown option \"" + arg + "\"");
        } else if (const CommandName* command = FindCommand(arg)) {
            Command c{command->kind, {}, {}};
            if (command->kind == CommandKind::WriteFuses && i + 1 < args.size() && IsSetting(args[i + 1])) {
                while (i + 1 < args.size() && IsSetting(args[i + 1])) c.settings.push_back(args[++i]);
            } else if (command->kind == CommandKind::WriteFuses &&
                       (i + 1 >= args.size() || args[i + 1].empty() || args[i + 1][0] == '-' ||
                        FindCommand(args[i + 1]) != nullptr)) {
                // Only a preset: whether --preset was given is checked once the line is read.
            } else if (command->takesArgument) {
                if (i + 1 >= args.size() || args[i + 1].empty())
                    return Fail(std::string(command->name) + " needs " +
                                (command->kind == CommandKind::WriteFuses ? "the fuse bytes" : "a file name"));
                c.argument = args[++i];
                // "read-program read-fuses" most likely lost its file name: a file named like a
                // command or an option is taken only when written as a path.
                if (c.kind != CommandKind::WriteFuses &&
                    (FindCommand(c.argument) != nullptr || c.argument == "list-chips" ||
                     (c.argument.size() > 1 && c.argument[0] == '-')))
                    return Fail(std::string(command->name) + " would take \"" + c.argument +
                                "\" as its file, though it is spelled like " +
                                (c.argument[0] == '-' ? "an option" : "a command") +
                                "; give a file of that name as a path (./" + c.argument + ")");
                if (c.kind == CommandKind::WriteFuses && !IsFuseFile(c.argument) && !ParseFuseBytes(c.argument))
                    return Fail("write-fuses takes up to four hex bytes separated by commas or an .elf file, not \"" +
                                c.argument + "\"");
                // Found now rather than after the chip was read: nothing writes ELF files.
                if ((c.kind == CommandKind::ReadProgram || c.kind == CommandKind::ReadData) && IsFuseFile(c.argument))
                    return Fail(std::string(command->name) + " saves Intel HEX, S-record or raw binary, not ELF (\"" +
                                c.argument + "\")");
            }
            options.commands.push_back(std::move(c));
        } else if (options.explainFuses) {
            // The bytes to explain: "62 DF FF", "62,DF,FF" or "0x62 0xDF".
            const std::optional<std::vector<unsigned char>> bytes = ParseFuseBytes(arg);
            if (!bytes) return Fail("explain-fuses takes hex bytes, not \"" + arg + "\"");
            for (unsigned char b : *bytes) options.explainBytes.push_back(std::to_string(b));
        } else {
            return Fail("unknown command \"" + arg + "\"");
        }
    }
    if (options.help || options.version) return {options, {}};
    if (options.listChips) {
        if (!options.commands.empty()) return Fail("list-chips runs on its own, without other commands");
        return {options, {}};
    }
    if (options.wiring) {
        if (!options.commands.empty()) return Fail("wiring runs on its own, without other commands");
        if (options.chip.empty()) return Fail("wiring needs the chip (--chip NAME)");
        if (options.out.empty()) return Fail("wiring needs the file to write (--out FILE.svg or FILE.png)");
        if (!IsWiringFileName(options.out))
            return Fail("wiring writes .svg or .png files, not \"" + options.out + "\"");
        return {options, {}};
    }
    if (!options.out.empty()) return Fail("--out belongs to the wiring command");
    if (options.explainFuses || options.fuseSettings) {
        const std::string word = options.explainFuses ? "explain-fuses" : "fuse-settings";
        if (options.explainFuses && options.fuseSettings) return Fail("explain-fuses and fuse-settings run one at a time");
        if (!options.commands.empty()) return Fail(word + " runs on its own, without other commands");
        if (options.chip.empty()) return Fail(word + " needs the chip (--chip NAME)");
        if (options.explainFuses && options.explainBytes.empty())
            return Fail("explain-fuses needs the fuse bytes, low byte first (e.g. 62 DF FF)");
        return {options, {}};
    }
    bool bySettings = false;
    for (const Command& c : options.commands) {
        if (c.kind != CommandKind::WriteFuses) continue;
        if (c.argument.empty() && c.settings.empty() && options.preset.empty())
            return Fail("write-fuses needs the fuse bytes, settings by field (clock=KEY ...) or --preset NAME");
        if (!c.argument.empty() && !options.preset.empty())
            return Fail("--preset goes with write-fuses by field, not with bytes or a file (\"" + c.argument + "\")");
        bySettings = bySettings || c.argument.empty();
    }
    if (!options.preset.empty() && !bySettings) return Fail("--preset needs a write-fuses command to apply it");
    if (options.port.empty()) return Fail("no port given (--port NAME)");
    if (options.commands.empty()) return Fail("no command given");
    return {options, {}};
}

std::string_view CommandWord(CommandKind kind)
{
    for (const auto& c : kCommands)
        if (c.kind == kind) return c.name;
    return "command";
}

bool IsFuseFile(const std::string& argument)
{
    if (argument.size() < 4) return false;
    std::string tail = argument.substr(argument.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".elf";
}

std::optional<std::vector<unsigned char>> ParseFuseBytes(const std::string& text)
{
    std::vector<unsigned char> bytes;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = text.find(',', start);
        std::string_view piece(text.data() + start, (comma == std::string::npos ? text.size() : comma) - start);
        if (piece.starts_with("0x") || piece.starts_with("0X")) piece.remove_prefix(2);
        if (piece.empty() || piece.size() > 2) return std::nullopt;
        unsigned value = 0;
        auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value, 16);
        if (ec != std::errc{} || end != piece.data() + piece.size()) return std::nullopt;
        bytes.push_back(static_cast<unsigned char>(value));
        if (bytes.size() > 4) return std::nullopt;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return bytes;
}

std::string UsageText()
{
    return R"(Usage: quillon-cli --port PORT [options] COMMAND...
       quillon-cli list-chips
       quillon-cli list-ports [--json]
       quillon-cli wiring --chip NAME --out FILE.svg|FILE.png
       quillon-cli explain-fuses --chip NAME B0 B1...
       quillon-cli fuse-settings --chip NAME
       quillon-cli run-job JOB.toml --port PORT [--count N] [--records FILE] [--detect] [--json]
       quillon-cli records FILE [--csv] [--json]

Programs an AVR microcontroller through the Tavro gateway.

Options:
  --port PORT     the gateway's serial port (COM3, ttyUSB0, /dev/ttyUSB0), its USB
                  adapter's serial number (serial:A50285BI) or /dev/serial/by-id/ link,
                  which stay with the adapter when it is plugged in elsewhere (see
                  list-ports), or sim:CHIP for the built-in simulated gateway with CHIP
                  in its socket
  --delay N       extra wait in milliseconds at every programming step, 0 to 5 (default 1)
  --chip NAME     the chip in the socket (ATmega8, ATtiny85, ... as list-chips names
                  them); without it, or with "auto", the chip is found by its signature
                  (parallel, then serial)
  --page 1|2      accepted so that older scripts keep working; it has no effect
  --whole-memory  write every flash page, blank ones too, and verify the whole memory
                  against the file padded with 0xFF; without it a write leaves out the
                  pages that hold only 0xFF and a verify compares the bytes the file gives
  --answers-in-flight N
                  reads and verifies send up to N reads before they collect the first
                  one's answers, 1 to 32; by default as many as hide a USB serial
                  adapter's latency. Reads never go out faster than the gateway's
                  32-byte input is sure to hold them; if answers go missing anyway the
                  command says "The gateway fell behind with reads in flight; going on
                  one at a time" and does so. 1: one at a time, as earlier versions did
  --unbounded-in-flight
                  send reads as fast as the window lets them, past what the gateway's
                  input is known to hold. RISKY: a byte the gateway loses makes it read
                  the following bytes as other commands, and a read can then end in
                  success with wrong bytes
  --yes, -y       answer Yes to "All previous chip data will be lost": without it the
                  commands that change the chip (write-fuses too) refuse to run
  --force         write although the chip in the socket is not the one named by --chip,
                  or although the fuse bytes would end programming the chip with this tool;
                  write and verify a file even when some of its data lies beyond the
                  end of the memory (that data is left out); any other file that did not
                  load completely is never written nor taken as the reference
  --no-signature-check
                  do not read the chip's signature before changing it, nor its lock
                  bits and signature after a read that found only 0xFF (or fuse or
                  calibration bytes all 0xFF or all 0x00), nor search serially for a
                  chip: every command sends only its own bytes
  --no-verify     do not compare the chip with the file after write-program and
                  write-data, nor read the bytes back after write-fuses; without it a
                  write succeeds only when the chip holds the file (or the bytes)
                  afterwards
  --no-answer-check
                  do not make writes and erases prove, with one ReadPINC a flash page
                  (or 32 bytes) and at their end, that the gateway still answers
  --leave-powered leave the socket powered after each command and at the end, as
                  earlier versions did; without it the socket is switched off after
                  every command, so the chip can be taken out safely
                  (with --no-signature-check, --no-verify, --no-answer-check,
                  --leave-powered and --answers-in-flight 1 every command sends only the
                  bytes it always has)
  --answer-timeout MS
                  how long an answer of the gateway may take before it counts as
                  missing, 100 to 60000 ms (default 1000); more for a gateway behind a
                  slow link such as a radio serial link
  --json          every log line, progress step and command result as one JSON object
                  a line on standard output (the fields are in the README); a file to
                  save on standard output ("-", /dev/stdout) is refused with it
  --version       the program's version
  --help, -h      this text

Commands, run in the order given:
  read-program FILE    read the flash and save it to FILE
  write-program FILE   load FILE, erase the chip, write the flash and verify it
  verify-program FILE  load FILE and compare the flash with it
  read-data FILE       read the EEPROM and save it to FILE
  write-data FILE      load FILE, write the EEPROM and verify it
  verify-data FILE     load FILE and compare the EEPROM with it
  compare-program FILE read the whole flash and list every range of it that differs
                       from FILE, not only the first (see "Differences" below)
  compare-data FILE    the same for the EEPROM
  erase                erase the chip
  read-calibration     read the oscillator calibration bytes
  read-fuses           read the lock and fuse bytes and show them, each fuse field
                       in words under its byte
  write-fuses B0,B1..  write the lock and fuse bytes, in hex, in the chip's order
                       (low fuses, high fuses, extended fuses, lock bits last); bytes
                       that lock this tool out of the chip need --force
  write-fuses FILE.elf write the fuse and lock bytes a compiled program carries (its
                       .fuse and .lock sections; needs --yes); a byte the file lacks
                       is not written: the chip keeps its own
  write-fuses KEY=SETTING...
                       write fuse fields by name, e.g. clock=xtal-8m-16k-65ms bod=2v7
                       boot=512 eesave=on (single bits take on or off); the chip's bytes
                       are read first and the fields not named keep their values
  --preset NAME        with write-fuses: a common setting in one step (factory,
                       rc-no-div, crystal, board16, where the chip has it); it changes
                       only its fields, and settings named with it apply after it
  rescue               bring back a chip serial programmers cannot reach: reads it in
                       high-voltage parallel mode, says what keeps them out and, with
                       --yes, restores the factory fuses (a Chip Erase first when lock
                       bits are set); serially programmed chips are refused
  list-chips           list the supported chips (name, signature, flash, EEPROM and
                       page bytes, programming mode); needs no port
  list-ports           list the serial ports there are now, each with its USB adapter's
                       vendor:product id, serial number, description and /dev/serial/by-id/
                       link: the names --port takes that stay with the adapter
  wiring               draw how the chip named by --chip is wired to the gateway (its
                       package, pin numbers and the gateway line of every pin used) into
                       the file named by --out: SVG or PNG by its extension; needs no port
  explain-fuses --chip NAME B0 B1..
                       the fuse bytes (low first, the lock byte may follow) in words,
                       field by field; needs no port
  fuse-settings --chip NAME
                       every fuse field of the chip with every setting's key and
                       meaning, the factory ones marked, and its presets; needs no port

Production (see docs/production.md):
  run-job JOB.toml     check the job file, then program chip after chip: one line on
                       standard input (Enter) per chip, or with --detect a chip put in
                       the socket; each chip is erased, written with its serial number,
                       verified, fused, locked, read back and recorded, and one line says
                       "PASS 0042  serial 1041  3.8 s" or "FAIL 0043  <reason>". The end
                       of standard input ends the run; --count N stops after N chips;
                       --records FILE names the record store (default: <job name>
                       .records.sqlite beside the job file), or --records
                       postgresql://USER@HOST/DATABASE a database that several
                       stations share. Exit status 0 only when every chip passed.
                       --port P1,P2,... runs one gateway per port at once (--count then
                       counts per gateway; a line starts every gateway that waits); each
                       output line is tagged with its port.
  records FILE         a record store's summary: chips, passed, failed, yield, first and
                       last serial number, the last failures; --csv prints every row
                       (FILE may be a postgresql:// URL too)

FILE's format follows its extension: .hex/.eep Intel HEX, .bin raw binary,
.srec/.s19/.s28/.s37/.mot Motorola S-record, .elf a compiled program (read only:
its flash, or with the data commands its EEPROM section). Other names are Intel HEX.

Every step is logged on standard output.

Differences: compare-program and compare-data compare the bytes FILE gives (with
--whole-memory, the whole memory against FILE padded with 0xFF) and print
       Finished. 18 bytes differ in 3 ranges:
  0x0000 (1 byte)
  0x0100-0x010F (16 bytes)
  0x1FFF (1 byte)
the first 100 ranges, then "  and N more ranges"; or "Finished. No differences found."
followed by "Compared N bytes.". They end with status 1 when anything differs.

Exit status:
  0    every command succeeded
  1    a command failed, or a compare found differences (standard error says
       why, and its last line names them)
  2    the command line is wrong; nothing was done
  129  cancelled because the terminal closed (SIGHUP), 130 by an interrupt
       (Ctrl+C), 143 terminated (SIGTERM): the command under way stops, the
       socket is switched off and no output file is written
)";
}

}  // namespace quillon::cli
