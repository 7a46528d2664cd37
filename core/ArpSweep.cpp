// The raw sweep loop and the host list of a range.
#include "core/ArpSweep.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "core/AddressText.h"

namespace rm {

using std::chrono::milliseconds;

milliseconds Until(SweepClock::time_point t) {
    return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(t - SweepClock::now()));
}

HostIndex::HostIndex(std::span<const SweepHost> hosts) {
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (hosts[i].ip != 0) byIp.emplace(hosts[i].ip, i);
    }
}

std::vector<SweepHost> HostsOfRange(const char* prefix, int32_t first, int32_t last) {
    first = std::clamp<int32_t>(first, 0, 255);
    last = std::clamp<int32_t>(last, 0, 255);
    std::vector<SweepHost> hosts;
    for (int32_t n = first; n <= last; ++n) {
        SweepHost h;
        h.number = n;
        // Strict dotted quads only: a prefix such as "10." would otherwise make
        // the short inet_aton forms of some other address.
        if (!ParseDottedQuad(std::string(prefix) + std::to_string(n), h.ip)) h.ip = 0;
        hosts.push_back(h);
    }
    return hosts;
}

namespace {

// One host's part in a sweep.
struct HostState {
    bool inSlice = false;  // gets the broadcast rounds
    bool answered = false;
    std::optional<MacAddress> known, sighted;
    std::optional<MacAddress> entry;    // the MAC listed
    std::optional<MacAddress> pending;  // an unknown MAC that answered first
    int sightingAsks = 0;               // unicasts to the sighted MAC so far
    bool conflictTold = false;
};

// What anybody on the LAN can make the helper send by announcing addresses
// stays small: so many sightings a sweep, each asked so many times.
constexpr size_t kSightingsPerSweep = 16;
constexpr int kAsksPerSighting = 5;

}  // namespace

void RunArpSweep(ArpLink& link, const InterfaceInfo& ifc, std::span<const SweepHost> hosts,
                 SweepClock::time_point start, const SweepTiming& timing, const AnswerFn& answer,
                 const std::atomic<bool>& cancelled, SweepMemory* memory,
                 const ConflictFn& conflict) {
    HostIndex index(hosts);
    std::vector<HostState> state(hosts.size());
    if (memory) memory->Forget(start);
    size_t left = 0, addresses = 0, known = 0, sightings = 0;
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (hosts[i].ip == 0) continue;
        if (hosts[i].ip == ifc.ip) {
            state[i].answered = true;
            answer(hosts[i], ifc.mac);
            continue;
        }
        ++left;
        ++addresses;
        state[i].inSlice = !timing.sliceOnly;
        if (memory) {
            state[i].known = memory->MacOf(hosts[i].ip, start);
            state[i].sighted = memory->SightingOf(hosts[i].ip, start);
            if (state[i].sighted == state[i].known || sightings >= kSightingsPerSweep)
                state[i].sighted.reset();
            if (state[i].sighted) ++sightings;
            if (state[i].known) ++known;
        }
    }
    if (left == 0) return;
    if (memory) memory->BeginSweep(!timing.sliceOnly, addresses);
    if (timing.sliceOnly && memory) {
        // A different slice of the addresses nobody answers from each sweep.
        size_t quota = memory->SliceFor(known);
        size_t i = memory->sliceCursor() % hosts.size();
        for (size_t seen = 0; seen < hosts.size() && quota > 0; ++seen, i = (i + 1) % hosts.size()) {
            const HostState& h = state[i];
            if (h.answered || hosts[i].ip == 0 || h.known || h.sighted) continue;
            state[i].inSlice = true;
            --quota;
        }
        memory->MoveSliceCursor(i);
    }
    // Replies still queued from an earlier sweep say nothing about now.
    link.Drain();

    size_t sent = 0;
    auto send = [&](std::span<const uint8_t> frame) {
        if (link.Send(frame)) ++sent;
    };
    auto unicast = [&](size_t i, const MacAddress& to) {
        send(BuildUnicastArpRequest(ifc.mac, ifc.ip, hosts[i].ip, to));
    };
    auto askSighted = [&](size_t i) {
        HostState& h = state[i];
        if (h.sighted && h.sightingAsks < kAsksPerSighting) {
            ++h.sightingAsks;
            unicast(i, *h.sighted);
        }
    };
    auto tell = [&](size_t i, const MacAddress& kept, const MacAddress& other) {
        if (state[i].conflictTold) return;  // one line per address and sweep
        state[i].conflictTold = true;
        if (conflict) conflict(hosts[i], kept, other);
    };
    auto list = [&](size_t i, const MacAddress& mac, bool learn) {
        state[i].answered = true;
        state[i].entry = mac;
        --left;
        if (memory && learn) memory->Heard(hosts[i].ip, mac, SweepClock::now());
        if (memory) memory->DropSighting(hosts[i].ip);
        answer(hosts[i], mac);
    };
    auto take = [&](size_t i, const MacAddress& mac) {
        HostState& h = state[i];
        if (h.answered) {
            if (mac != *h.entry) tell(i, *h.entry, mac);
            return;
        }
        if (h.known && mac != *h.known) {
            // The known device may still answer: the stranger waits.
            if (h.pending && *h.pending != mac) tell(i, *h.pending, mac);
            if (!h.pending) h.pending = mac;
            return;
        }
        if (h.pending) tell(i, mac, *h.pending);
        list(i, mac, true);
    };

    // Broadcast and unicast rounds in the order of their times.
    struct Round {
        std::chrono::milliseconds at;
        bool unicast;
    };
    std::vector<Round> rounds;
    for (auto at : timing.attempts) rounds.push_back({at, false});
    for (auto at : timing.unicasts) rounds.push_back({at, true});
    std::stable_sort(rounds.begin(), rounds.end(),
                     [](const Round& a, const Round& b) { return a.at < b.at; });

    size_t nextRound = 0;
    bool unicastRound = false;     // kind of the round in progress
    int broadcastRounds = 0;       // begun so far
    size_t sendAt = hosts.size();  // position of the round in progress; none yet
    auto nextBurst = start;
    const auto deadline = start + timing.deadline;
    while (left > 0 && !cancelled) {
        const auto now = SweepClock::now();
        if (now >= deadline) break;
        if (sendAt >= hosts.size() && nextRound < rounds.size() &&
            now >= start + rounds[nextRound].at) {
            sendAt = 0;  // a new round for every host still silent
            unicastRound = rounds[nextRound].unicast;
            if (!unicastRound) ++broadcastRounds;
            ++nextRound;
        }
        auto wakeAt = deadline;
        if (sendAt < hosts.size() && now >= nextBurst) {
            for (size_t burst = 0; sendAt < hosts.size() && burst < timing.burst; ++sendAt) {
                HostState& h = state[sendAt];
                if (h.answered || hosts[sendAt].ip == 0) continue;
                if (!unicastRound) {
                    const bool due = !timing.sliceOnly || (broadcastRounds == 1 ? h.inSlice
                                                                                 : h.known.has_value());
                    if (!due) continue;
                    send(BuildArpRequest(ifc.mac, ifc.ip, hosts[sendAt].ip));
                    ++burst;
                    continue;
                }
                if (!h.known && !(h.sighted && h.sightingAsks < kAsksPerSighting)) continue;
                if (h.known) unicast(sendAt, *h.known);
                askSighted(sendAt);
                ++burst;
            }
            nextBurst = now + milliseconds(1);
        }
        if (sendAt < hosts.size()) {
            wakeAt = std::min(wakeAt, nextBurst);
        } else if (nextRound < rounds.size()) {
            wakeAt = std::min(wakeAt, start + rounds[nextRound].at);
        }
        // Every frame already queued is read before the next burst goes out (or
        // the next round starts): a host whose reply waits in the queue is not
        // asked again, and on a large range the replies do not pile up behind
        // the requests.
        for (auto frame = link.Receive(std::min(kSweepSlice, Until(wakeAt)));
             // A steady stream of stray frames must not hold the sweep past its end.
             frame && left > 0 && !cancelled && SweepClock::now() < deadline;
             frame = link.Receive(milliseconds(0))) {
            if (const auto reply = ProvenArpReply(frame->bytes, frame->pktType, ifc.mac, ifc.ip)) {
                auto it = index.byIp.find(reply->senderIp);
                if (it != index.byIp.end()) take(it->second, reply->senderMac);
                continue;
            }
            const auto heard = ArpSightingOf(frame->bytes, frame->pktType, ifc.mac, ifc.ip);
            if (!heard || !memory) continue;
            memory->Sighted(heard->ip, heard->mac, SweepClock::now());
            auto it = index.byIp.find(heard->ip);
            if (it == index.byIp.end()) continue;
            HostState& h = state[it->second];
            if (h.answered || h.known == heard->mac || h.sighted == heard->mac) continue;
            if (!h.sighted && sightings >= kSightingsPerSweep) continue;
            if (!h.sighted) ++sightings;
            // Asked at once and in the unicast rounds still to come.
            h.sighted = heard->mac;
            h.sightingAsks = 0;
            askSighted(it->second);
        }
    }
    // Strangers that answered alone: a device with a new MAC, unless it is the
    // MAC the address had before (a flip back), which the entry does not follow.
    for (size_t i = 0; i < hosts.size() && !cancelled; ++i) {
        HostState& h = state[i];
        if (h.answered || !h.pending) continue;
        if (memory && memory->WasBefore(hosts[i].ip, *h.pending)) {
            tell(i, *h.known, *h.pending);
            list(i, *h.known, false);
        } else {
            list(i, *h.pending, !h.conflictTold);
        }
    }
    if (memory) memory->Spent(sent);
}

}  // namespace rm
