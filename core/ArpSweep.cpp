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

void RunArpSweep(ArpLink& link, const InterfaceInfo& ifc, std::span<const SweepHost> hosts,
                 SweepClock::time_point start, const SweepTiming& timing, const AnswerFn& answer,
                 const std::atomic<bool>& cancelled, SweepMemory* memory) {
    HostIndex index(hosts);
    std::vector<bool> answered(hosts.size(), false);
    std::vector<std::optional<MacAddress>> known(hosts.size());
    if (memory) memory->Forget(start);
    size_t left = 0;
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (hosts[i].ip == 0) continue;
        if (hosts[i].ip == ifc.ip) {
            answered[i] = true;
            answer(hosts[i], ifc.mac);
        } else {
            ++left;
            if (memory) known[i] = memory->MacOf(hosts[i].ip, start);
        }
    }
    if (left == 0) return;
    // Replies still queued from an earlier sweep say nothing about now.
    link.Drain();

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
    bool unicast = false;          // kind of the round in progress
    size_t sendAt = hosts.size();  // position of the round in progress; none yet
    auto nextBurst = start;
    const auto deadline = start + timing.deadline;
    while (left > 0 && !cancelled) {
        const auto now = SweepClock::now();
        if (now >= deadline) break;
        if (sendAt >= hosts.size() && nextRound < rounds.size() &&
            now >= start + rounds[nextRound].at) {
            sendAt = 0;  // a new round for every host still silent
            unicast = rounds[nextRound].unicast;
            ++nextRound;
        }
        auto wakeAt = deadline;
        if (sendAt < hosts.size() && now >= nextBurst) {
            for (size_t sent = 0; sendAt < hosts.size() && sent < timing.burst; ++sendAt) {
                if (answered[sendAt] || hosts[sendAt].ip == 0) continue;
                if (!unicast) {
                    link.Send(BuildArpRequest(ifc.mac, ifc.ip, hosts[sendAt].ip));
                } else if (known[sendAt]) {
                    link.Send(
                        BuildUnicastArpRequest(ifc.mac, ifc.ip, hosts[sendAt].ip, *known[sendAt]));
                } else {
                    continue;
                }
                ++sent;
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
            const auto reply = ProvenArpReply(frame->bytes, frame->pktType, ifc.mac, ifc.ip);
            if (!reply) continue;
            auto it = index.byIp.find(reply->senderIp);
            if (it == index.byIp.end() || answered[it->second]) continue;
            answered[it->second] = true;
            --left;
            // A device that now answers from another MAC is taken with it, and
            // its next unicasts go there.
            if (memory) memory->Heard(reply->senderIp, reply->senderMac, SweepClock::now());
            answer(hosts[it->second], reply->senderMac);
        }
    }
}

}  // namespace rm
