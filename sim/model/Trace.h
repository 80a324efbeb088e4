// What passed between the program and the simulated gateway, in order: every packet written,
// every answer read and every sleep, with a readable hex form for failing comparisons.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quillon::sim {

using Bytes = std::vector<std::uint8_t>;

struct TraceEvent {
    enum class Kind : std::uint8_t { Packet, Answer, Sleep };
    Kind kind = Kind::Packet;
    Bytes bytes;     // Packet: the bytes of one write; Answer: the bytes one read returned
    int sleepMs = 0; // Sleep
    bool failed = false;  // Packet: the write was refused
};

class Trace {
public:
    void Packet(std::span<const std::uint8_t> bytes, bool failed = false);
    void Answer(std::span<const std::uint8_t> bytes);
    void Sleep(int ms);
    void Clear() { events_.clear(); }

    const std::vector<TraceEvent>& Events() const { return events_; }
    std::vector<Bytes> Packets() const;  // the written packets only, failed ones excluded
    std::vector<Bytes> Answers() const;
    std::vector<int> Sleeps() const;
    int TotalSleepMs() const;

private:
    std::vector<TraceEvent> events_;
};

// "0B 00 15 10 17"
std::string Hex(std::span<const std::uint8_t> bytes);
// One event a line: "-> 11 18 15 14", "<- 1E", "sleep 1".
std::string Format(const std::vector<TraceEvent>& events);
std::string Format(const std::vector<Bytes>& packets);

}  // namespace quillon::sim
