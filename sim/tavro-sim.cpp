// tavro-sim: a simulated Tavro gateway on a pseudo-terminal. It prints the terminal's device
// path and serves the gateway protocol there, with a chosen chip in the socket, until killed.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "model/ChipSupply.h"
#include "model/GatewayInput.h"
#include "model/SimDevice.h"

namespace {

using quillon::sim::Bytes;
using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t g_stop = 0;  // set by SIGTERM/SIGINT/SIGHUP; the loop polls it

void OnSignal(int) { g_stop = 1; }

constexpr const char* kUsage =
    "usage: tavro-sim [options]\n"
    "Serves a simulated Tavro gateway on a pseudo-terminal and prints its device path.\n"
    "\n"
    "  --chip NAME          chip in the socket (e.g. ATmega8, any case); none or empty: empty socket\n"
    "  --flash FILE.bin     initial flash contents from address 0 (raw binary)\n"
    "  --eeprom FILE.bin    initial EEPROM contents from address 0 (raw binary)\n"
    "  --fuses LO[,HI[,EXT]]  initial fuse bytes in hex, e.g. 62,DF,FF\n"
    "  --lock XX            initial lock byte in hex\n"
    "  --silent-after N     after N commands the gateway stops executing and answering;\n"
    "                       the terminal stays open\n"
    "  --hangup-after N     after N commands the gateway hangs up (the terminal closes)\n"
    "  --never-ready        RDY/BSY (PC0) always reads 0\n"
    "  --short-spi K        SpiReadBack answers only K bytes (0 to 8) instead of 8\n"
    "  --stray BYTES[@N]    send these hex bytes (e.g. 55,AA) after the N-th answer (default 1)\n"
    "  --stray-every BYTES[@N]  the same after the N-th answer and every answer after it\n"
    "  --lose-byte I[@N]    byte I (0 = the first) of the N-th answer never arrives (default 1)\n"
    "  --double-byte I[@N]  byte I of the N-th answer arrives twice\n"
    "  --split-answer I,MS[@N]  the N-th answer's bytes from byte I on arrive MS ms after the rest\n"
    "  --late-answer MS[@N] the N-th answer arrives MS ms late\n"
    "  --pace               pace both directions like a 250000-baud 8N2 line (44 us a byte)\n"
    "  --latency-us N       add N microseconds per transfer, like a USB serial adapter\n"
    "  --adapter-latency-us N  hold answers like a USB serial adapter's latency timer: sent\n"
    "                       N microseconds after the first byte waits, or at once when a USB\n"
    "                       packet's worth (62 bytes) has gathered\n"
    "  --input-buffer N     the gateway's input holds N bytes: bytes arriving while it is full\n"
    "                       are lost (no flow control), and the bytes after them are read as\n"
    "                       whatever commands they look like; 0 (default): it never fills\n"
    "  --command-delay-us N every command takes N microseconds longer: a gateway slower than\n"
    "                       the line (its input fills when commands come at line speed)\n"
    "  --save-lost FILE     write the number of bytes lost to a full input buffer at exit\n"
    "  --trace FILE         write every command, answer and diagnostic to FILE at exit\n"
    "  --save-flash FILE    write the chip's flash to FILE (raw binary) at exit or hang-up\n"
    "  --save-eeprom FILE   the same for its EEPROM\n"
    "  --save-fuses FILE    write its fuse bytes and lock byte at exit, as hex: LO,HI,EXT,LOCK\n"
    "  --supply N           a tray of N chips of --chip, each arriving with the contents the options\n"
    "                       above give: every new connection (the program's handshake) finds the next\n"
    "                       chip in the socket; after the N-th the socket stays empty. The save options\n"
    "                       then save every chip when it is taken out, %d in their names standing for\n"
    "                       its number (1 = the first; without %d, .N is appended)\n"
    "  --faulty K[,K...]    with --supply: chip K's first flash page never takes a write, so it fails verify\n"
    "  --swap-after-ms T    with --supply, for a program that watches the socket: once the socket has\n"
    "                       been unpowered for T ms the chip is taken out, and after another T ms\n"
    "                       unpowered the next one is in\n"
    "  --save-power FILE    write the socket's supply at exit or hang-up: off, or on: and what is\n"
    "                       on (+5V, +12V, SPI)\n"
    "  --help               show this text\n"
    "\n"
    "A terminal shows no packet boundaries, so --silent-after and --hangup-after count gateway\n"
    "commands (the connect handshake is three) and the trace lists one command a line.\n"
    "Answers are counted from 1, the handshake's, as for --stray.\n";

struct Options {
    std::string chip;
    std::string flashFile, eepromFile, traceFile;
    std::string saveFlash, saveEeprom, saveFuses;  // what the chip holds at exit, for a test to judge
    std::string savePower;                         // the socket's supply at exit
    std::string saveLost;                          // how many bytes a full input buffer lost
    std::vector<std::uint8_t> fuses;
    std::optional<std::uint8_t> lock;
    quillon::sim::Faults faults;
    int adapterLatencyUs = 0;  // 0: answers go out as they are made
    int supply = 0;            // 0: one chip for the whole session
    std::set<int> faulty;      // chips of the supply that fail verify
    int swapAfterMs = 0;       // 0: chips change only with the connection
};

std::optional<long> ParseNumber(const std::string& s, int base = 10)
{
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s.c_str(), &end, base);
    if (errno || *end != '\0' || v < 0) return std::nullopt;
    return v;
}

std::optional<Bytes> ParseHexList(const std::string& s)
{
    Bytes out;
    std::stringstream in(s);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (item.size() > 2 && (item.rfind("0x", 0) == 0 || item.rfind("0X", 0) == 0)) item = item.substr(2);
        auto v = ParseNumber(item, 16);
        if (!v || *v > 0xFF) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(*v));
    }
    if (out.empty()) return std::nullopt;
    return out;
}

// "V[,V]@N" with `count` numbers before the optional "@N" (N from 1, default 1).
std::optional<std::pair<std::vector<int>, int>> ParseAnswerFault(const std::string& text, std::size_t count)
{
    std::string numbers = text;
    int answer = 1;
    if (auto at = numbers.find('@'); at != std::string::npos) {
        auto n = ParseNumber(numbers.substr(at + 1));
        if (!n || *n < 1 || *n > 1000000000) return std::nullopt;
        answer = static_cast<int>(*n);
        numbers = numbers.substr(0, at);
    }
    std::vector<int> values;
    std::stringstream in(numbers);
    std::string item;
    while (std::getline(in, item, ',')) {
        auto v = ParseNumber(item);
        if (!v || *v > 1000000) return std::nullopt;
        values.push_back(static_cast<int>(*v));
    }
    if (values.size() != count) return std::nullopt;
    return std::make_pair(values, answer);
}

// Returns an error text, empty on success.
std::string ParseArguments(int argc, char** argv, Options& o, bool& help)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        auto count = [&](std::optional<int>& into) -> std::string {
            auto v = value();
            auto n = v ? ParseNumber(*v) : std::nullopt;
            if (!n || *n > 1000000000) return a + " needs a number";
            into = static_cast<int>(*n);
            return "";
        };
        if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--chip") {
            auto v = value();
            if (!v) return "--chip needs a chip name";
            o.chip = *v;
        } else if (a == "--flash" || a == "--eeprom" || a == "--trace") {
            auto v = value();
            if (!v) return a + " needs a file name";
            (a == "--flash" ? o.flashFile : a == "--eeprom" ? o.eepromFile : o.traceFile) = *v;
        } else if (a == "--save-lost") {
            auto v = value();
            if (!v) return a + " needs a file name";
            o.saveLost = *v;
        } else if (a == "--input-buffer" || a == "--command-delay-us") {
            std::optional<int> n;
            if (auto e = count(n); !e.empty()) return e;
            (a == "--input-buffer" ? o.faults.inputBuffer : o.faults.commandDelayUs) = *n;
        } else if (a == "--save-flash" || a == "--save-eeprom" || a == "--save-fuses" || a == "--save-power") {
            auto v = value();
            if (!v) return a + " needs a file name";
            (a == "--save-flash"    ? o.saveFlash
             : a == "--save-eeprom" ? o.saveEeprom
             : a == "--save-fuses"  ? o.saveFuses
                                    : o.savePower) = *v;
        } else if (a == "--lose-byte" || a == "--double-byte" || a == "--split-answer" || a == "--late-answer") {
            auto v = value();
            const std::size_t numbers = a == "--split-answer" ? 2 : 1;
            auto parsed = v ? ParseAnswerFault(*v, numbers) : std::nullopt;
            if (!parsed)
                return a + (numbers == 2 ? " needs a byte number and milliseconds, e.g. 2,30@5"
                                         : a == "--late-answer" ? " needs milliseconds, e.g. 500@5"
                                                                : " needs a byte number, e.g. 0@5");
            const auto& [values, answer] = *parsed;
            if (a == "--lose-byte") o.faults.lostByte = quillon::sim::Faults::AnswerByte{answer, values[0]};
            if (a == "--double-byte") o.faults.doubledByte = quillon::sim::Faults::AnswerByte{answer, values[0]};
            if (a == "--split-answer")
                o.faults.delayedAnswer = quillon::sim::Faults::AnswerDelay{answer, values[0], values[1]};
            if (a == "--late-answer") o.faults.delayedAnswer = quillon::sim::Faults::AnswerDelay{answer, 0, values[0]};
        } else if (a == "--fuses") {
            auto v = value();
            auto list = v ? ParseHexList(*v) : std::nullopt;
            if (!list || list->size() > 3) return "--fuses needs one to three hex bytes, e.g. 62,DF,FF";
            o.fuses = *list;
        } else if (a == "--lock") {
            auto v = value();
            auto list = v ? ParseHexList(*v) : std::nullopt;
            if (!list || list->size() != 1) return "--lock needs one hex byte";
            o.lock = (*list)[0];
        } else if (a == "--silent-after") {
            if (auto e = count(o.faults.silentAfter); !e.empty()) return e;
        } else if (a == "--hangup-after") {
            if (auto e = count(o.faults.hangupAfter); !e.empty()) return e;
        } else if (a == "--short-spi") {
            if (auto e = count(o.faults.shortSpi); !e.empty()) return e;
            if (*o.faults.shortSpi > 8) return "--short-spi takes 0 to 8";
        } else if (a == "--latency-us") {
            std::optional<int> n;
            if (auto e = count(n); !e.empty()) return e;
            o.faults.latencyUs = *n;
        } else if (a == "--adapter-latency-us") {
            std::optional<int> n;
            if (auto e = count(n); !e.empty()) return e;
            o.adapterLatencyUs = *n;
        } else if (a == "--supply") {
            std::optional<int> n;
            if (auto e = count(n); !e.empty()) return e;
            if (*n < 1) return "--supply takes 1 or more chips";
            o.supply = *n;
        } else if (a == "--swap-after-ms") {
            std::optional<int> n;
            if (auto e = count(n); !e.empty()) return e;
            if (*n < 1) return "--swap-after-ms takes 1 or more milliseconds";
            o.swapAfterMs = *n;
        } else if (a == "--faulty") {
            auto v = value();
            if (!v) return "--faulty needs chip numbers, e.g. 3 or 3,7";
            std::stringstream list(*v);
            std::string item;
            while (std::getline(list, item, ',')) {
                auto n = ParseNumber(item);
                if (!n || *n < 1 || *n > 1000000000) return "--faulty takes chip numbers from 1, e.g. 3 or 3,7";
                o.faulty.insert(static_cast<int>(*n));
            }
        } else if (a == "--never-ready") {
            o.faults.neverReady = true;
        } else if (a == "--pace") {
            o.faults.pace = true;
        } else if (a == "--stray" || a == "--stray-every") {
            auto v = value();
            if (!v) return a + " needs hex bytes";
            o.faults.strayEveryAnswer = a == "--stray-every";
            std::string bytes = *v;
            if (auto at = bytes.find('@'); at != std::string::npos) {
                auto n = ParseNumber(bytes.substr(at + 1));
                if (!n || *n < 1 || *n > 1000000000) return a + ": the answer number after @ must be 1 or more";
                o.faults.strayAfterAnswer = static_cast<int>(*n);
                bytes = bytes.substr(0, at);
            }
            auto list = ParseHexList(bytes);
            if (!list) return a + " needs hex bytes, e.g. 55,AA";
            o.faults.stray = *list;
        } else {
            return "unknown option " + a;
        }
    }
    return "";
}

// Loads a raw binary file into `into` from address 0; an error text on failure.
std::string LoadFile(const std::string& file, std::vector<std::uint8_t>& into, const char* what)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::string("cannot open ") + what + " file " + file;
    Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() > into.size())
        std::cerr << "tavro-sim: " << file << " holds " << data.size() << " bytes; the chip's " << what
                  << " has " << into.size() << ", the rest is ignored\n";
    std::copy_n(data.begin(), std::min(data.size(), into.size()), into.begin());
    return "";
}

// A file descriptor that closes itself.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    void Reset()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// Reads the terminal on a thread of its own and dates each read when it returns, as a UART dates
// the bytes it receives. The loop that executes commands and sends answers can wake late; dating
// what it then finds by its own wake-up would squeeze packets the program wrote apart into one
// burst, and its gateway would be slower than any real one (on a saturated line such a delay is
// made up only slowly, and can end in bytes lost that the program did nothing to lose).
class TerminalReader {
public:
    struct Chunk {
        Bytes bytes;
        Clock::time_point at;
    };

    explicit TerminalReader(int fd) : fd_(fd)
    {
        if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
        // Signals go to the main loop, which polls for them; this thread only reads.
        sigset_t all, old;
        sigfillset(&all);
        ::pthread_sigmask(SIG_BLOCK, &all, &old);
        thread_ = std::thread([this] { Run(); });
        ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }
    ~TerminalReader()
    {
        Stop();
        for (int fd : wake_)
            if (fd >= 0) ::close(fd);
    }
    TerminalReader(const TerminalReader&) = delete;
    TerminalReader& operator=(const TerminalReader&) = delete;

    // Before the terminal closes.
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // Readable when reads are waiting.
    int WakeFd() const { return wake_[0]; }
    std::vector<Chunk> Take()
    {
        char drain[64];
        while (::read(wake_[0], drain, sizeof drain) > 0) {
        }
        std::lock_guard lock(mutex_);
        return std::exchange(chunks_, {});
    }

private:
    void Run()
    {
        // Where the system allows it, this thread runs before ordinary ones when bytes come in, so
        // a busy machine delays its dating less. It only reads and hands over, and always blocks
        // in between, so it cannot take a processor from anyone for long.
        sched_param realtime{};
        realtime.sched_priority = 1;
        ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &realtime);
        std::uint8_t buffer[4096];
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, 20);
            if (r <= 0) continue;
            if (!(p.revents & POLLIN)) {
                // No slave open (POLLHUP): wait for the program to open the terminal again.
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            const auto at = Clock::now();
            if (n <= 0) {
                if (n < 0 && errno == EINTR) continue;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            {
                std::lock_guard lock(mutex_);
                chunks_.push_back({Bytes(buffer, buffer + n), at});
            }
            const char one = 1;
            [[maybe_unused]] const ssize_t w = ::write(wake_[1], &one, 1);
        }
    }

    int fd_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Chunk> chunks_;
    std::thread thread_;
};

void WriteTrace(const std::string& file, quillon::sim::SimDevice& device)
{
    if (file.empty()) return;
    std::ofstream out(file);
    if (!out) {
        std::cerr << "tavro-sim: cannot write the trace to " << file << "\n";
        return;
    }
    out << quillon::sim::Format(device.Trace().Events());
    for (const auto& e : device.Model().Events())
        out << (e.kind == quillon::sim::GatewayEvent::Kind::ProtocolError ? "protocol error " : "note ")
            << e.timeMs << " ms: " << e.text << "\n";
}

void SaveLost(const Options& o, std::uint64_t lost)
{
    if (lost > 0) std::cerr << "tavro-sim: " << lost << " bytes lost to a full input buffer\n";
    if (o.saveLost.empty()) return;
    std::ofstream out(o.saveLost);
    out << lost << "\n";
    if (!out) std::cerr << "tavro-sim: cannot write " << o.saveLost << "\n";
}

void SaveChip(const Options& o, quillon::sim::SimDevice& device, int number = 0)
{
    // A chip of a supply goes to files of its own.
    const auto name = [number](const std::string& file) {
        return number > 0 && !file.empty() ? quillon::sim::ChipSupply::NumberedName(file, number) : file;
    };
    auto save = [](const std::string& file, const std::string& bytes) {
        if (file.empty()) return;
        std::ofstream out(file, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) std::cerr << "tavro-sim: cannot write " << file << "\n";
    };
    // An empty socket has a supply too.
    save(o.savePower, device.SocketPower() + "\n");
    const quillon::sim::SocketChip* chip = device.Chip();
    if (!chip) return;
    save(name(o.saveFlash), std::string(chip->flash.begin(), chip->flash.end()));
    save(name(o.saveEeprom), std::string(chip->eeprom.begin(), chip->eeprom.end()));
    char fuses[16];
    std::snprintf(fuses, sizeof fuses, "%02X,%02X,%02X,%02X\n", chip->fuses[0], chip->fuses[1], chip->fuses[2],
                  chip->lock);
    save(name(o.saveFuses), fuses);
}

void WriteAll(int fd, const std::uint8_t* data, std::size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            return;  // nobody listening: the answer is lost, as on a real line
        }
        data += w;
        n -= static_cast<std::size_t>(w);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    bool help = false;
    if (std::string error = ParseArguments(argc, argv, o, help); !error.empty()) {
        std::cerr << "tavro-sim: " << error << "\n" << kUsage;
        return 2;
    }
    if (help) {
        std::cout << kUsage;
        return 0;
    }

    std::unique_ptr<quillon::sim::SocketChip> chip;
    if (!quillon::sim::NamesEmptySocket(o.chip)) {
        chip = quillon::sim::MakeSocketChip(o.chip);
        if (!chip) {
            std::cerr << "tavro-sim: unknown chip " << o.chip << "; known chips:";
            for (const auto& d : quillon::sim::AllChipDescriptions()) std::cerr << " " << d.name;
            std::cerr << "\n";
            return 2;
        }
    } else if (!o.flashFile.empty() || !o.eepromFile.empty() || !o.fuses.empty() || o.lock) {
        std::cerr << "tavro-sim: memory contents need a chip (--chip)\n";
        return 2;
    }
    if (chip) {
        std::string error;
        if (!o.flashFile.empty()) error = LoadFile(o.flashFile, chip->flash, "flash");
        if (error.empty() && !o.eepromFile.empty()) error = LoadFile(o.eepromFile, chip->eeprom, "EEPROM");
        if (!error.empty()) {
            std::cerr << "tavro-sim: " << error << "\n";
            return 2;
        }
        for (std::size_t i = 0; i < o.fuses.size(); ++i) {
            const auto& f = chip->Description().fuses[i];
            if (!f.present) {
                std::cerr << "tavro-sim: " << o.chip << " has no fuse byte " << i << "\n";
                return 2;
            }
            chip->fuses[i] = static_cast<std::uint8_t>(o.fuses[i] | ~f.mask);
        }
        if (o.lock) chip->lock = static_cast<std::uint8_t>(*o.lock | ~chip->Description().lockMask);
    }

    // The line is paced here in real time, not in the model's virtual time; the input buffer
    // and the slower gateway are scheduled here too, on the same clock.
    const bool pace = o.faults.pace;
    const int latencyUs = o.faults.latencyUs;
    const int inputBuffer = o.faults.inputBuffer;
    const int commandDelayUs = o.faults.commandDelayUs;
    o.faults.pace = false;
    o.faults.latencyUs = 0;
    if (o.supply > 0 && !chip) {
        std::cerr << "tavro-sim: --supply needs a chip (--chip)\n";
        return 2;
    }
    if ((!o.faulty.empty() || o.swapAfterMs > 0) && o.supply == 0) {
        std::cerr << "tavro-sim: --faulty and --swap-after-ms need --supply\n";
        return 2;
    }
    // The supply's chips all start as the one made above; the first arrives with the first
    // connection.
    std::optional<quillon::sim::ChipSupply> supply;
    if (o.supply > 0) {
        auto model = std::make_shared<quillon::sim::SocketChip>(*chip);
        supply.emplace([model] { return std::make_unique<quillon::sim::SocketChip>(*model); }, o.supply, o.faulty);
        chip.reset();
    }
    o.faults.inputBuffer = 0;
    o.faults.commandDelayUs = 0;
    quillon::sim::SimDevice device(std::move(chip), o.faults);
    const Clock::time_point start = Clock::now();
    device.FollowClock(pace);
    auto saveChip = [&] { SaveChip(o, device, supply ? supply->Current() : 0); };

    Fd master(::posix_openpt(O_RDWR | O_NOCTTY));
    if (master.Get() < 0 || ::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0) {
        std::cerr << "tavro-sim: cannot create a pseudo-terminal: " << std::strerror(errno) << "\n";
        return 1;
    }
    const char* name = ::ptsname(master.Get());
    if (!name) {
        std::cerr << "tavro-sim: no name for the pseudo-terminal\n";
        return 1;
    }
    const std::string slavePath = name;
    // Holding the slave open ourselves keeps the terminal alive (and raw) while the program
    // closes and reopens it; otherwise the master would read EIO in between.
    Fd slave(::open(slavePath.c_str(), O_RDWR | O_NOCTTY));
    if (slave.Get() >= 0) {
        termios t{};
        if (::tcgetattr(slave.Get(), &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(slave.Get(), TCSANOW, &t);
        }
    }

    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::cout << slavePath << std::endl;
    TerminalReader reader(master.Get());

    const auto byteTime = std::chrono::microseconds(44);
    const auto latency = std::chrono::microseconds(latencyUs);
    auto msOf = [&](Clock::time_point t) { return std::chrono::duration<double, std::milli>(t - start).count(); };
    auto timeOf = [&](double ms) {
        return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
    };

    // After the last command it serves, the gateway hangs up a moment later, once its answer
    // has had time to reach the program.
    std::optional<Clock::time_point> hangupAt;
    quillon::sim::GatewayInput input(static_cast<std::size_t>(inputBuffer),
                                     pace ? std::chrono::duration<double, std::milli>(byteTime).count() : 0.0,
                                     commandDelayUs / 1000.0);
    auto hangUp = [&] {
        reader.Stop();
        slave.Reset();
        master.Reset();  // the program's next write or read on the terminal fails
        WriteTrace(o.traceFile, device);
        saveChip();
        SaveLost(o, input.Lost());
    };

    // The line is full duplex: commands arrive at the line's pace while answers leave at it, each
    // direction on its own clock. A command is carried out once its last byte has arrived and
    // the gateway is done with the one before (its answer sent, its long pulse over); its answer
    // is on the line after that.
    Clock::time_point outFree{};
    struct Leaving {
        Clock::time_point due;
        Bytes bytes;
    };
    std::deque<Leaving> leaving;

    // The adapter's buffer towards the program: a USB serial adapter sends what it received when
    // its latency timer runs out or when a bulk packet is full, not byte by byte.
    constexpr std::size_t kUsbPacketData = 62;
    const auto adapterLatency = std::chrono::microseconds(o.adapterLatencyUs);
    Bytes adapter;
    constexpr Clock::time_point kNothingHeld = Clock::time_point::max();
    Clock::time_point adapterDue = kNothingHeld;
    auto toAdapter = [&](const Bytes& answer) {
        if (o.adapterLatencyUs == 0) {
            WriteAll(master.Get(), answer.data(), answer.size());
            return;
        }
        adapter.insert(adapter.end(), answer.begin(), answer.end());
        while (adapter.size() >= kUsbPacketData) {
            WriteAll(master.Get(), adapter.data(), kUsbPacketData);
            adapter.erase(adapter.begin(), adapter.begin() + kUsbPacketData);
            adapterDue = kNothingHeld;
        }
        if (!adapter.empty() && adapterDue == kNothingHeld) adapterDue = Clock::now() + adapterLatency;
    };
    auto flushAdapterWhenDue = [&] {
        if (adapterDue == kNothingHeld || Clock::now() < adapterDue) return;
        WriteAll(master.Get(), adapter.data(), adapter.size());
        adapter.clear();
        adapterDue = kNothingHeld;
    };
    auto deliverDue = [&] {
        while (!leaving.empty() && leaving.front().due <= Clock::now()) {
            toAdapter(leaving.front().bytes);
            leaving.pop_front();
        }
        flushAdapterWhenDue();
    };
    auto sendAnswer = [&](const Bytes& answer, Clock::time_point begin) {
        const auto from = std::max(begin, outFree);
        outFree = from + (pace ? byteTime * static_cast<long>(answer.size()) : Clock::duration{});
        leaving.push_back({outFree + latency, answer});
    };

    // Carries out one command when its time has come; after the last served command the gateway
    // has hung up and executes nothing more.
    bool hungUp = false;
    bool socketEmpty = false;                 // a supply's chip was taken out, the next not yet in
    Clock::time_point unpoweredSince = Clock::now();  // the last moment the socket was powered
    auto execute = [&](const Bytes& command, double beginMs) -> quillon::sim::GatewayInput::Executed {
        if (hungUp || hangupAt || (o.faults.hangupAfter && device.PacketsWritten() >= *o.faults.hangupAfter)) {
            hungUp = true;  // bytes after the last served command are never executed
            return {};
        }
        const auto now = Clock::now();
        // The handshake opens every connection: with a supply, the chip in the socket is then
        // the next one, and the one before has gone to its files.
        if (supply && !command.empty() && command[0] == 0x0A) {
            saveChip();
            device.Model().InsertChip(supply->Next());
            socketEmpty = false;
            unpoweredSince = now;
        }
        // An operator at a watched socket: a chip comes out, and the next goes in, only while
        // the socket is unpowered (long enough that it is no pause between two steps).
        if (supply && o.swapAfterMs > 0 && !device.Model().Lines().vcc &&
            now - unpoweredSince >= std::chrono::milliseconds(o.swapAfterMs)) {
            if (socketEmpty) {
                device.Model().InsertChip(supply->Next());
            } else {
                saveChip();
                device.Model().InsertChip(nullptr);
            }
            socketEmpty = !socketEmpty;
            unpoweredSince = now;
        }
        device.AdvanceClockTo(beginMs);
        device.Write(command);
        if (device.Model().Lines().vcc) unpoweredSince = Clock::now();
        if (supply && supply->CurrentFaulty() && device.Chip()) quillon::sim::ChipSupply::Spoil(*device.Chip());
        Bytes answer;
        std::uint8_t out[64];
        while (std::size_t got = device.Read(out)) answer.insert(answer.end(), out, out + got);
        if (!answer.empty()) sendAnswer(answer, timeOf(beginMs));
        if (o.faults.hangupAfter && device.PacketsWritten() >= *o.faults.hangupAfter)
            hangupAt = Clock::now() + std::chrono::milliseconds(50);
        // A paced gateway is busy for the whole of a long pulse before it reads on.
        return {answer.size(), pace ? device.LastHeldMs() : 0.0};
    };

    // Answer bytes an answer fault held back go out once the model says they have arrived.
    auto sendHeld = [&] {
        if (hungUp || !device.MsUntilHeldArrive()) return;
        Bytes late;
        std::uint8_t out[64];
        while (std::size_t got = device.Read(out)) late.insert(late.end(), out, out + got);
        if (!late.empty()) sendAnswer(late, Clock::now());
    };

    double lastReadMs = 0;  // when the last bytes were read from the terminal
    // A terminal takes the program's bytes at once; the line would still be carrying them. More
    // than a packet's worth in one read mostly means the machine held the program's writes back
    // (the reading thread or the terminal itself was not scheduled for a while), and they were
    // written spread over the time since the read before. They are taken to have come in at line
    // speed up to now, as a line would have carried them, not as one burst the program never
    // sent. That is never kinder to a program that did send a burst: the same bytes at line
    // speed, only earlier, meet a gateway at least as busy.
    auto arrive = [&](const TerminalReader::Chunk& chunk) {
        const double readMs = msOf(chunk.at);
        constexpr std::size_t kPacketBytes = 32;
        const std::size_t n = chunk.bytes.size();
        const double byteMs = std::chrono::duration<double, std::milli>(byteTime).count();
        const double written =
            (n > kPacketBytes && pace ? std::max(lastReadMs, readMs - static_cast<double>(n) * byteMs) : readMs) +
            latencyUs / 1000.0;
        input.Arrive(std::span<const std::uint8_t>(chunk.bytes), written, execute);
        lastReadMs = readMs;
    };
    while (!g_stop) {
        input.RunUntil(msOf(Clock::now()), execute);
        sendHeld();
        deliverDue();
        if (hungUp || (hangupAt && Clock::now() >= *hangupAt)) {
            hangUp();
            return 0;
        }
        using std::chrono::nanoseconds;
        auto until = Clock::now() + std::chrono::milliseconds(hangupAt ? 10 : 100);
        if (adapterDue != kNothingHeld) until = std::min(until, adapterDue);
        if (!leaving.empty()) until = std::min(until, leaving.front().due);
        if (auto begin = input.NextBegin()) until = std::min(until, timeOf(*begin));
        if (auto held = device.MsUntilHeldArrive())
            until = std::min(until, Clock::now() + std::chrono::microseconds(static_cast<long long>(*held * 1000) + 1));
        const nanoseconds wait = std::max(nanoseconds(0), std::chrono::duration_cast<nanoseconds>(until - Clock::now()));
        pollfd p{reader.WakeFd(), POLLIN, 0};
        const timespec timeout{static_cast<time_t>(wait.count() / 1000000000), static_cast<long>(wait.count() % 1000000000)};
        const int r = ::ppoll(&p, 1, &timeout, nullptr);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (r == 0) continue;
        for (const TerminalReader::Chunk& chunk : reader.Take()) arrive(chunk);
    }
    reader.Stop();
    WriteTrace(o.traceFile, device);
    saveChip();
    SaveLost(o, input.Lost());
    return 0;
}
