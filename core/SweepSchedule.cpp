// The schedules of a raw sweep and the memory of recent answers.
#include "core/SweepSchedule.h"

namespace rm {

std::string_view SweepModeWord(SweepMode mode) {
    switch (mode) {
        case SweepMode::Gentle:
            return "gentle";
        case SweepMode::Monitor:
            return "monitor";
        case SweepMode::Thorough:
            break;
    }
    return {};
}

std::optional<SweepMode> ParseSweepModeWord(std::string_view word) {
    if (word == "gentle") return SweepMode::Gentle;
    if (word == "monitor") return SweepMode::Monitor;
    return std::nullopt;
}

SweepTiming SweepTiming::For(SweepMode mode) {
    SweepTiming t;
    switch (mode) {
        case SweepMode::Thorough:
            break;
        case SweepMode::Gentle:
            t.attempts = Ms({0, 600});
            break;
        case SweepMode::Monitor:
            // A known device gets seven requests in all, as every address did
            // before; an unknown address gets two.
            t.attempts = Ms({0, 600});
            t.unicasts = Ms({50, 120, 220, 380, 850});
            break;
    }
    return t;
}

void SweepMemory::Heard(uint32_t ip, const MacAddress& mac, SweepClock::time_point when) {
    auto it = entries_.find(ip);
    if (it == entries_.end()) {
        if (entries_.size() >= kMaxEntries) Forget(when);
        if (entries_.size() >= kMaxEntries) return;
        entries_.emplace(ip, Entry{mac, when});
        return;
    }
    it->second.mac = mac;
    if (when > it->second.heard) it->second.heard = when;
}

void SweepMemory::Forget(SweepClock::time_point now) {
    std::erase_if(entries_, [&](const auto& e) { return now - e.second.heard >= keep_; });
}

std::optional<MacAddress> SweepMemory::MacOf(uint32_t ip, SweepClock::time_point now) const {
    auto it = entries_.find(ip);
    if (it == entries_.end() || now - it->second.heard >= keep_) return std::nullopt;
    return it->second.mac;
}

}  // namespace rm
