#include "model/Trace.h"

#include <cstdio>

namespace quillon::sim {

void Trace::Packet(std::span<const std::uint8_t> bytes, bool failed)
{
    events_.push_back({TraceEvent::Kind::Packet, Bytes(bytes.begin(), bytes.end()), 0, failed});
}

void Trace::Answer(std::span<const std::uint8_t> bytes)
{
    events_.push_back({TraceEvent::Kind::Answer, Bytes(bytes.begin(), bytes.end()), 0, false});
}

void Trace::Sleep(int ms)
{
    events_.push_back({TraceEvent::Kind::Sleep, {}, ms, false});
}

std::vector<Bytes> Trace::Packets() const
{
    std::vector<Bytes> out;
    for (const auto& e : events_)
        if (e.kind == TraceEvent::Kind::Packet && !e.failed) out.push_back(e.bytes);
    return out;
}

std::vector<Bytes> Trace::Answers() const
{
    std::vector<Bytes> out;
    for (const auto& e : events_)
        if (e.kind == TraceEvent::Kind::Answer) out.push_back(e.bytes);
    return out;
}

std::vector<int> Trace::Sleeps() const
{
    std::vector<int> out;
    for (const auto& e : events_)
        if (e.kind == TraceEvent::Kind::Sleep) out.push_back(e.sleepMs);
    return out;
}

int Trace::TotalSleepMs() const
{
    int total = 0;
    for (int ms : Sleeps()) total += ms;
    return total;
}

std::string Hex(std::span<const std::uint8_t> bytes)
{
    std::string s;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        if (i) s += ' ';
        s += buf;
    }
    return s;
}

std::string Format(const std::vector<TraceEvent>& events)
{
    std::string s;
    for (const auto& e : events) {
        switch (e.kind) {
        case TraceEvent::Kind::Packet: s += (e.failed ? "-X " : "-> ") + Hex(e.bytes); break;
        case TraceEvent::Kind::Answer: s += "<- " + Hex(e.bytes); break;
        case TraceEvent::Kind::Sleep: s += "sleep " + std::to_string(e.sleepMs); break;
        }
        s += '\n';
    }
    return s;
}

std::string Format(const std::vector<Bytes>& packets)
{
    std::string s;
    for (const auto& p : packets) s += "-> " + Hex(p) + '\n';
    return s;
}

}  // namespace quillon::sim
