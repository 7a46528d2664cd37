// The schedules and the memory of recent answers on a simulated segment: how
// many frames a sweep sends, who gets unicasts, and what the monitor lists as
// devices join, leave, change their MAC and lose frames.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/SweepSchedule.h"
#include "scanner/SimulatedLan.h"

namespace rm {
namespace {

using std::chrono::milliseconds;
using std::chrono::minutes;

uint32_t Ip(int number) {
    return inet_addr(("10.77.0." + std::to_string(number)).c_str());
}

std::map<int, MacAddress> RunSweep(SimulatedLan& lan, SweepMode mode, SweepMemory* memory,
                                   int first = 0, int last = 255) {
    std::map<int, MacAddress> answers;
    const auto hosts = HostsOfRange("10.77.0.", first, last);
    std::atomic<bool> cancelled{false};
    RunArpSweep(
        lan, LabInterface(), hosts, SweepClock::now(), FastTiming(mode),
        [&](const SweepHost& h, const MacAddress& mac) {
            EXPECT_TRUE(answers.emplace(h.number, mac).second) << "twice: " << h.number;
        },
        cancelled, memory);
    return answers;
}

// Thirty devices at .11 .. .40 of a /24.
void AddThirty(SimulatedLan& lan) {
    for (int k = 11; k <= 40; ++k) lan.Add(("10.77.0." + std::to_string(k)).c_str(), uint8_t(k));
}

std::map<int, MacAddress> Expected(SimulatedLan& lan) {
    std::map<int, MacAddress> out{{2, LabInterface().mac}};
    for (auto& [ip, h] : lan.hosts) out[int(ntohl(ip) & 0xFF)] = h.mac;
    return out;
}

TEST(SweepMemory, RemembersTheLastMacAndForgetsTheSilent) {
    SweepMemory memory(minutes(3));
    const auto t0 = SweepClock::now();
    const MacAddress a{0x00, 0x1b, 0x21, 0, 0, 1}, b{0x00, 0x1b, 0x21, 0, 0, 2};
    EXPECT_FALSE(memory.MacOf(Ip(11), t0));
    memory.Heard(Ip(11), a, t0);
    memory.Heard(Ip(12), a, t0 + minutes(2));
    EXPECT_EQ(memory.MacOf(Ip(11), t0 + minutes(1)), a);
    memory.Heard(Ip(11), b, t0 + minutes(1));  // the device answers from a new MAC
    EXPECT_EQ(memory.MacOf(Ip(11), t0 + minutes(1)), b);
    // Three minutes after its last answer it is unknown, even before Forget.
    EXPECT_EQ(memory.MacOf(Ip(11), t0 + minutes(4) - milliseconds(1)), b);
    EXPECT_FALSE(memory.MacOf(Ip(11), t0 + minutes(4)));
    memory.Forget(t0 + minutes(4));
    EXPECT_EQ(memory.size(), 1u);
    EXPECT_EQ(memory.MacOf(Ip(12), t0 + minutes(4)), a);
    memory.Forget(t0 + minutes(5));
    EXPECT_EQ(memory.size(), 0u);
}

TEST(SweepMemory, HoldsNoMoreThanOneNetworksAddresses) {
    SweepMemory memory;
    const auto t0 = SweepClock::now();
    for (uint32_t n = 0; n < 1000; ++n) memory.Heard(n, MacAddress{0, 1, 2, 3, 4, 5}, t0);
    EXPECT_EQ(memory.size(), SweepMemory::kMaxEntries);
}

TEST(SweepMode, WordsOnTheHelpersLine) {
    for (SweepMode m : {SweepMode::Gentle, SweepMode::Monitor})
        EXPECT_EQ(ParseSweepModeWord(SweepModeWord(m)), m);
    EXPECT_TRUE(SweepModeWord(SweepMode::Thorough).empty());
    for (const char* bad : {"", "thorough", "Monitor", "gentle ", "loud"})
        EXPECT_FALSE(ParseSweepModeWord(bad)) << bad;
    // Every schedule keeps the deadline that the 1500 ms wait of a sweep expects.
    for (SweepMode m : {SweepMode::Thorough, SweepMode::Gentle, SweepMode::Monitor})
        EXPECT_EQ(SweepTiming::For(m).deadline, milliseconds(1150));
}

// No loss: each address once, the silent ones twice; nothing more, with or
// without a memory.
TEST(GentleSweep, AsksEveryAddressAtMostTwiceByBroadcast) {
    SimulatedLan lan;
    AddThirty(lan);
    SweepMemory memory;
    for (int i = 0; i < 3; ++i) {
        lan.asked.clear();
        EXPECT_EQ(RunSweep(lan, SweepMode::Gentle, &memory), Expected(lan));
        std::map<uint32_t, int> asks;
        for (uint32_t ip : lan.asked) ++asks[ip];
        EXPECT_EQ(asks[Ip(11)], 1);
        EXPECT_EQ(asks[Ip(200)], 2);
        EXPECT_EQ(asks.count(Ip(2)), 0u);
        EXPECT_EQ(lan.asked.size(), 30u + 2 * 225u);
        EXPECT_TRUE(lan.unicasts.empty());
    }
}

// A monitor's run of sweeps under a tenth of the frames lost each way: every
// known device in every sweep, under 2.2 frames per address, and the unicasts
// only to MACs that answered.
TEST(MonitorSweep, FindsEveryKnownDeviceUnderLossWithAboutTwoFramesPerAddress) {
    SimulatedLan lan{7};
    lan.requestLoss = lan.replyLoss = 0.10;
    AddThirty(lan);
    SweepMemory memory;
    // The first sweep knows nobody: found within two sweeps.
    RunSweep(lan, SweepMode::Monitor, &memory);
    RunSweep(lan, SweepMode::Monitor, &memory);
    lan.asked.clear();
    lan.unicasts.clear();
    const int sweeps = 40;
    int complete = 0;
    for (int i = 0; i < sweeps; ++i) {
        if (RunSweep(lan, SweepMode::Monitor, &memory) == Expected(lan)) ++complete;
    }
    EXPECT_EQ(complete, sweeps);
    const double perAddress = double(lan.asked.size()) / sweeps / 255;
    EXPECT_LE(perAddress, 2.2);
    EXPECT_GE(perAddress, 1.0);
    EXPECT_FALSE(lan.unicasts.empty());
    for (auto& [ip, mac] : lan.unicasts) {
        ASSERT_TRUE(lan.hosts.count(ip));
        EXPECT_EQ(mac, lan.hosts[ip].mac);
    }
}

// Where broadcasts do not arrive (a phone asleep), a device that answered
// before is still found, by unicast; one that never answered is not.
TEST(MonitorSweep, KnownDevicesAreAskedByUnicastToTheirLastMac) {
    SimulatedLan lan;
    AddThirty(lan);
    SweepMemory memory;
    RunSweep(lan, SweepMode::Monitor, &memory);
    EXPECT_TRUE(lan.unicasts.empty());  // nobody known, nobody silent: no unicast
    lan.broadcastLoss = 1.0;
    lan.Add("10.77.0.50", 0x50);  // joins now, unknown
    auto found = RunSweep(lan, SweepMode::Monitor, &memory);
    EXPECT_EQ(found.size(), 31u);  // the thirty and this machine
    EXPECT_EQ(found.count(50), 0u);
    std::set<uint32_t> unicastTargets;
    for (auto& [ip, mac] : lan.unicasts) {
        unicastTargets.insert(ip);
        EXPECT_EQ(mac, lan.hosts[ip].mac);
    }
    EXPECT_EQ(unicastTargets.size(), 30u);
    EXPECT_EQ(unicastTargets.count(Ip(50)), 0u);
    // A gentle sweep of the same helper never unicasts.
    lan.unicasts.clear();
    EXPECT_EQ(RunSweep(lan, SweepMode::Gentle, &memory).size(), 1u);
    EXPECT_TRUE(lan.unicasts.empty());
}

TEST(MonitorSweep, ForgedRepliesTeachTheMemoryNothing) {
    SimulatedLan lan;
    lan.Add("10.77.0.11", 0x11);
    const MacAddress rogue{0x00, 0x66, 0x66, 0x66, 0x66, 0x66};
    const auto request = BuildArpRequest(LabInterface().mac, LabInterface().ip, 0);
    auto otherAsker = BuildArpRequest(rogue, inet_addr("10.77.0.99"), 0);
    lan.strays = {
        // a reply to another machine's question, claiming a silent address
        SimulatedLan::Reply(rogue, Ip(13), otherAsker),
        // a reply to us whose Ethernet source is not the MAC it claims
        [&] {
            auto f = SimulatedLan::Reply(rogue, Ip(14), request);
            f[6] = 0x02;
            return f;
        }(),
    };
    SweepMemory memory;
    EXPECT_EQ(RunSweep(lan, SweepMode::Monitor, &memory, 10, 15).size(), 1u);
    lan.strays.clear();
    lan.unicasts.clear();
    RunSweep(lan, SweepMode::Monitor, &memory, 10, 15);
    EXPECT_EQ(memory.size(), 1u);
    EXPECT_FALSE(memory.MacOf(Ip(13), SweepClock::now()));
    EXPECT_FALSE(memory.MacOf(Ip(14), SweepClock::now()));
    EXPECT_TRUE(lan.unicasts.empty());
}

TEST(MonitorSweep, JoinsLeavesAndANewMac) {
    SimulatedLan lan;
    AddThirty(lan);
    SweepMemory memory;
    EXPECT_EQ(RunSweep(lan, SweepMode::Monitor, &memory), Expected(lan));
    // h12 leaves: not listed from the next sweep on, though it is asked by unicast.
    lan.hosts.erase(Ip(12));
    lan.unicasts.clear();
    auto found = RunSweep(lan, SweepMode::Monitor, &memory);
    EXPECT_EQ(found, Expected(lan));
    EXPECT_EQ(found.count(12), 0u);
    EXPECT_EQ(lan.unicasts.size(), SweepTiming::For(SweepMode::Monitor).unicasts.size());
    // A new device joins: found at once by broadcast, then known.
    lan.Add("10.77.0.60", 0x60);
    EXPECT_EQ(RunSweep(lan, SweepMode::Monitor, &memory), Expected(lan));
    EXPECT_EQ(memory.MacOf(Ip(60), SweepClock::now()), lan.hosts[Ip(60)].mac);
    // h13 changes its MAC (a new card, a phone's private address): listed with
    // the new one, and its unicasts follow it.
    const MacAddress fresh{0x06, 0xaa, 0xbb, 0xcc, 0xdd, 0x13};
    lan.hosts[Ip(13)].mac = fresh;
    found = RunSweep(lan, SweepMode::Monitor, &memory);
    EXPECT_EQ(found[13], fresh);
    EXPECT_EQ(memory.MacOf(Ip(13), SweepClock::now()), fresh);
    lan.broadcastLoss = 1.0;
    lan.unicasts.clear();
    found = RunSweep(lan, SweepMode::Monitor, &memory, 13, 13);
    EXPECT_EQ(found[13], fresh);
    ASSERT_EQ(lan.unicasts.size(), 1u);
    EXPECT_EQ(lan.unicasts[0].second, fresh);
}

// The memory forgets a device silent for its time: no unicast after that.
TEST(MonitorSweep, ForgottenDevicesGetNoUnicast) {
    SimulatedLan lan;
    lan.Add("10.77.0.11", 0x11);
    SweepMemory memory(milliseconds(300));
    RunSweep(lan, SweepMode::Monitor, &memory, 11, 11);
    lan.hosts.clear();
    lan.unicasts.clear();
    RunSweep(lan, SweepMode::Monitor, &memory, 11, 11);
    EXPECT_FALSE(lan.unicasts.empty());
    std::this_thread::sleep_for(milliseconds(300));
    lan.unicasts.clear();
    RunSweep(lan, SweepMode::Monitor, &memory, 11, 11);
    EXPECT_TRUE(lan.unicasts.empty());
    EXPECT_EQ(memory.size(), 0u);
}

// (The scans below run twice as squeezed as FastTiming: many sweeps.)

// A free network (the router and two devices the user excludes): ten sweeps
// cost at most 1.5 frames per address of the /24, at 0 % and 10 % loss each
// way, every sweep lists the known devices, and the later sweeps ask each
// empty address at most once per scan between them.
TEST(MonitorScan, AFreeScanStaysWithinItsBudget) {
    for (double loss : {0.0, 0.10}) {
        SimulatedLan lan{11};
        lan.requestLoss = lan.replyLoss = loss;
        for (int k : {1, 21, 22}) lan.Add(("10.77.0." + std::to_string(k)).c_str(), uint8_t(k));
        MonitorScans scans(lan, 2);
        for (int i = 0; i < kSweepsPerScan; ++i) scans.Next();  // learns who is there
        for (int scan = 0; scan < 2; ++scan) {
            lan.asked.clear();
            lan.unicasts.clear();
            int complete = 0;
            for (int i = 0; i < kSweepsPerScan; ++i) complete += scans.Next() == Expected(lan);
            EXPECT_EQ(complete, kSweepsPerScan) << loss;
            EXPECT_LE(double(lan.asked.size()), 1.5 * 255) << loss;
            std::map<uint32_t, int> broadcasts;
            for (uint32_t ip : lan.asked) ++broadcasts[ip];
            for (auto& [ip, mac] : lan.unicasts) --broadcasts[ip];
            size_t again = 0;
            for (auto& [ip, n] : broadcasts) {
                if (lan.hosts.count(ip)) continue;
                EXPECT_GE(n, 1) << "never asked: " << (ntohl(ip) & 0xFF);
                EXPECT_LE(n, 2) << "asked more than twice: " << (ntohl(ip) & 0xFF);
                again += n - 1;
            }
            EXPECT_GE(again, 50u) << "the later sweeps re-ask a slice each";
        }
        EXPECT_TRUE(scans.conflicts.empty());
        EXPECT_EQ(scans.duplicates, 0);
    }
}

// Thirty devices under a tenth lost each way: one that joins and announces
// itself is listed by the next sweep (found by unicast to the MAC it spoke
// from, as no later sweep broadcasts to it here), one that joins silently by
// the first sweep of the next scan, one that leaves no more; an announcement
// nobody stands behind lists nothing; an impostor answering for a known
// address is a conflict, and the entry keeps the known MAC; so is a MAC that
// flips back.
TEST(MonitorScan, JoinsLeavesAndConflicts) {
    SimulatedLan lan{5};
    AddThirty(lan);
    lan.Add("10.77.0.1", 0x01);
    MonitorScans scans(lan, 2);
    scans.Next();
    lan.requestLoss = lan.replyLoss = 0.10;
    int announcedListed = 0;
    const int trials = 20;
    for (int t = 0; t < trials; ++t) {
        // Addresses new to the memory in every trial.
        const int joins = 100 + t, silent = 150 + t;
        scans.NewScan();
        EXPECT_EQ(scans.Next(), Expected(lan));  // a first sweep
        lan.broadcastLoss = 1.0;                  // later sweeps reach it only by unicast
        lan.Add(("10.77.0." + std::to_string(joins)).c_str(), uint8_t(joins));
        // As RFC 5227 has it: a probe, an announcement, then the router's MAC asked.
        const MacAddress joiner = lan.hosts[Ip(joins)].mac;
        lan.Announce(0, joiner, Ip(joins));
        lan.Announce(Ip(joins), joiner);
        lan.Announce(Ip(joins), joiner, Ip(1));
        lan.Add(("10.77.0." + std::to_string(silent)).c_str(), uint8_t(silent));
        lan.Announce(Ip(99), MacAddress{0x02, 0xaa, 0, 0, 0, 0x99});  // a lie
        auto found = scans.Next();
        announcedListed += found.count(joins) && found[joins] == joiner;
        EXPECT_EQ(found.count(99) + found.count(silent), 0u);
        lan.hosts.erase(Ip(joins));  // leaves
        EXPECT_EQ(scans.Next().count(joins), 0u);
        lan.broadcastLoss = lan.requestLoss = lan.replyLoss = 0;
        scans.NewScan();
        EXPECT_EQ(scans.Next().count(silent), 1u);  // the next scan's first sweep
        lan.hosts.erase(Ip(silent));
        lan.requestLoss = lan.replyLoss = 0.10;
    }
    EXPECT_EQ(announcedListed, trials);
    // A neighbour announcing forty addresses that nobody holds gets at most
    // sixteen of them asked, five times each.
    lan.requestLoss = lan.replyLoss = 0;
    for (int k = 200; k < 240; ++k) lan.Announce(Ip(k), MacAddress{0x02, 0xbb, 0, 0, 0, uint8_t(k)});
    lan.unicasts.clear();
    const auto found = scans.Next();
    size_t toStrangers = 0;
    for (auto& [ip, mac] : lan.unicasts) toStrangers += mac[1] == 0xbb || mac[1] == 0xaa;  // .99's too
    EXPECT_EQ(toStrangers, 16u * 5u);
    for (int k = 200; k < 240; ++k) EXPECT_EQ(found.count(k), 0u);
    EXPECT_TRUE(scans.conflicts.empty());

    const MacAddress liar{0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0xee};
    lan.impostors[Ip(11)] = liar;
    lan.impostors[Ip(1)] = liar;
    scans.NewScan();
    for (int t = 0; t < 12; ++t) {
        scans.conflicts.clear();
        auto found = scans.Next();
        for (int k : {1, 11}) EXPECT_EQ(found[k], lan.hosts[Ip(k)].mac);
        if (scans.sweep % kSweepsPerScan == 1) {  // broadcasts only in first sweeps
            EXPECT_EQ(scans.conflicts,
                      (std::vector<std::pair<int, MacAddress>>{{1, liar}, {11, liar}}));
        }
        // The liar's MAC is never asked by unicast.
        for (auto& [ip, mac] : lan.unicasts) EXPECT_NE(mac, liar);
    }
    lan.impostors.clear();

    // The router's MAC flips to another and back: the change is taken, the
    // flip back is a conflict that keeps the MAC the memory holds.
    const MacAddress a = lan.hosts[Ip(1)].mac, b{0x02, 0x52, 0x4d, 0, 0xfe, 0x77};
    lan.hosts[Ip(1)].mac = b;
    scans.NewScan();
    scans.conflicts.clear();
    EXPECT_EQ(scans.Next()[1], b);
    EXPECT_TRUE(scans.conflicts.empty());
    lan.hosts[Ip(1)].mac = a;
    for (SweepMode mode : {SweepMode::Follow, SweepMode::Monitor}) {
        if (mode == SweepMode::Monitor) scans.NewScan();
        scans.conflicts.clear();
        EXPECT_EQ(scans.Next()[1], b);
        EXPECT_EQ(scans.conflicts, (std::vector<std::pair<int, MacAddress>>{{1, a}}));
    }
    EXPECT_EQ(scans.duplicates, 0);
}

}  // namespace
}  // namespace rm
