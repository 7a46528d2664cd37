// The sweep loop on a simulated segment: who is listed, what is asked and how
// often, and which frames are not taken for answers.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "scanner/SimulatedLan.h"
#include "scanner/SweepEngine.h"

namespace rm {
namespace {

using std::chrono::milliseconds;

// Short rounds in one burst each, so that many sweeps fit in a test; the
// simulated hosts answer in 1 ms.
SweepTiming FastTiming() {
    SweepTiming t;
    t.attempts = SweepTiming::Ms({0, 10, 20, 30, 40, 50, 60});
    t.deadline = milliseconds(200);
    t.burst = 64;
    return t;
}

struct Sweep {
    std::map<int, MacAddress> answers;
    int duplicates = 0;

    void Run(ArpLink& lan, int first, int last, const SweepTiming& timing = FastTiming()) {
        const auto hosts = HostsOfRange("10.77.0.", first, last);
        std::atomic<bool> cancelled{false};
        RunArpSweep(
            lan, LabInterface(), hosts, SweepClock::now(), timing,
            [this](const SweepHost& h, const MacAddress& mac) {
                if (!answers.emplace(h.number, mac).second) ++duplicates;
            },
            cancelled);
    }
};

TEST(HostsOfRange, ClampsAndOrdersHostNumbers) {
    auto hosts = HostsOfRange("10.77.0.", -5, 3);
    ASSERT_EQ(hosts.size(), 4u);
    EXPECT_EQ(hosts.front().number, 0);
    EXPECT_EQ(hosts.front().ip, inet_addr("10.77.0.0"));
    hosts = HostsOfRange("10.77.0.", 250, 100000);
    ASSERT_EQ(hosts.size(), 6u);
    EXPECT_EQ(hosts.back().ip, inet_addr("10.77.0.255"));
    EXPECT_TRUE(HostsOfRange("10.77.0.", 9, 8).empty());
    EXPECT_TRUE(HostsOfRange("10.77.0.", INT32_MAX, INT32_MIN).empty());
}

TEST(HostsOfRange, PrefixThatMakesNoAddressGivesHostsWithoutAddress) {
    // "10.77." + 5 would be the short form of 10.77.0.5 for inet_aton; it is not
    // the network the user chose, so nothing is asked for it.
    for (const char* prefix : {"10.77.", "", "abc.", "300.1.1."}) {
        const auto hosts = HostsOfRange(prefix, 1, 3);
        ASSERT_EQ(hosts.size(), 3u) << prefix;
        for (const auto& h : hosts) EXPECT_EQ(h.ip, 0u) << prefix;
    }
}

TEST(ArpSweep, ListsExactlyThePresentHostsAndThisMachine) {
    SimulatedLan lan;
    lan.Add("10.77.0.1", 0x01);
    for (int k = 11; k <= 14; ++k) lan.Add(("10.77.0." + std::to_string(k)).c_str(), uint8_t(k));
    Sweep sweep;
    sweep.Run(lan, 0, 20);

    std::map<int, MacAddress> expected{{2, LabInterface().mac}};
    expected[1] = lan.hosts[inet_addr("10.77.0.1")].mac;
    for (int k = 11; k <= 14; ++k)
        expected[k] = lan.hosts[inet_addr(("10.77.0." + std::to_string(k)).c_str())].mac;
    EXPECT_EQ(sweep.answers, expected);
    EXPECT_EQ(sweep.duplicates, 0);
    EXPECT_EQ(lan.drains, 1);
    // This machine is never asked on the wire; the silent hosts are asked once per attempt.
    std::map<uint32_t, int> asks;
    for (uint32_t ip : lan.asked) ++asks[ip];
    EXPECT_EQ(asks.count(inet_addr("10.77.0.2")), 0u);
    EXPECT_EQ(asks[inet_addr("10.77.0.0")], 7);
    EXPECT_EQ(asks[inet_addr("10.77.0.20")], 7);
    EXPECT_EQ(asks[inet_addr("10.77.0.11")], 1);
}

TEST(ArpSweep, StopsAskingOnceEveryHostHasAnswered) {
    SimulatedLan lan;
    for (int k = 1; k <= 30; ++k)
        if (k != 2) lan.Add(("10.77.0." + std::to_string(k)).c_str(), uint8_t(k));
    Sweep sweep;
    sweep.Run(lan, 1, 30, SweepTiming{});  // the real schedule: one round is enough
    EXPECT_EQ(sweep.answers.size(), 30u);
    EXPECT_EQ(lan.asked.size(), 29u);
}

TEST(ArpSweep, RequestsGoOutInPacedBursts) {
    // A silent /24: each round goes out four requests per millisecond, never in one burst.
    std::vector<SweepClock::time_point> sentAt;
    struct Recording : SimulatedLan {
        std::vector<SweepClock::time_point>* at;
        bool Send(std::span<const uint8_t> f) override {
            at->push_back(SweepClock::now());
            return SimulatedLan::Send(f);
        }
    } rec;
    rec.at = &sentAt;
    SweepTiming one;
    one.attempts = SweepTiming::Ms({0});
    one.deadline = milliseconds(300);
    Sweep sweep;
    sweep.Run(rec, 0, 255, one);
    ASSERT_EQ(sentAt.size(), 255u);  // every number but this machine's
    for (size_t i = 4; i < sentAt.size(); i += 4)
        EXPECT_GE(sentAt[i] - sentAt[i - 4], std::chrono::microseconds(900)) << i;
}

TEST(ArpSweep, StrayAndSpoofedFramesAreNotAnswers) {
    SimulatedLan lan;
    lan.Add("10.77.0.11", 0x11);
    lan.Add("10.77.0.12", 0x12);
    const auto request = BuildArpRequest(LabInterface().mac, LabInterface().ip, 0);
    const MacAddress rogue{0x00, 0x66, 0x66, 0x66, 0x66, 0x66};
    auto otherAsker = BuildArpRequest(rogue, inet_addr("10.77.0.99"), 0);
    lan.strays = {
        // out of the range asked
        SimulatedLan::Reply(rogue, inet_addr("10.77.0.200"), request),
        // a reply to another machine's question, claiming a host of the range
        SimulatedLan::Reply(rogue, inet_addr("10.77.0.13"), otherAsker),
        // a gratuitous announcement (addressed to the announcer itself)
        SimulatedLan::Reply(rogue, inet_addr("10.77.0.14"),
                            BuildArpRequest(rogue, inet_addr("10.77.0.14"), 0)),
        // requests, including this machine's own as the wire echoes them
        std::vector<uint8_t>(request.begin(), request.end()),
        // garbage
        std::vector<uint8_t>(20, 0xAB),
    };
    Sweep sweep;
    sweep.Run(lan, 10, 15);
    EXPECT_EQ(sweep.answers.size(), 2u);
    EXPECT_EQ(sweep.answers[11], lan.hosts[inet_addr("10.77.0.11")].mac);
    EXPECT_EQ(sweep.answers[12], lan.hosts[inet_addr("10.77.0.12")].mac);
}

TEST(ArpSweep, RepeatedRepliesGiveOneAnswer) {
    SimulatedLan lan;
    lan.Add("10.77.0.11", 0x11);
    const auto request = BuildArpRequest(LabInterface().mac, LabInterface().ip, 0);
    // The host answers twice (some devices do, and proxies add their own).
    lan.strays = {
        SimulatedLan::Reply(lan.hosts.begin()->second.mac, inet_addr("10.77.0.11"), request)};
    Sweep sweep;
    sweep.Run(lan, 11, 12);
    EXPECT_EQ(sweep.answers.size(), 1u);
    EXPECT_EQ(sweep.duplicates, 0);
}

// A tenth of the requests and a tenth of the replies lost: one attempt misses a
// host in five, the rounds of one sweep must still find everybody.
TEST(ArpSweep, RetryRoundsFindEveryHostUnderLossBothWays) {
    int complete = 0;
    const int sweeps = 60;
    for (int seed = 1; seed <= sweeps; ++seed) {
        SimulatedLan lan{uint32_t(seed)};
        lan.requestLoss = lan.replyLoss = 0.10;
        for (int k = 11; k <= 40; ++k)
            lan.Add(("10.77.0." + std::to_string(k)).c_str(), uint8_t(k));
        Sweep sweep;
        sweep.Run(lan, 11, 40);
        if (sweep.answers.size() == 30u) ++complete;
        std::map<uint32_t, int> asks;
        for (uint32_t ip : lan.asked) ++asks[ip];
        for (auto& [ip, n] : asks) ASSERT_LE(n, 7);
    }
    EXPECT_EQ(complete, sweeps);
}

TEST(ArpSweep, CancelledSweepAsksNothingMoreAndReturns) {
    SimulatedLan lan;
    std::atomic<bool> cancelled{true};
    const auto hosts = HostsOfRange("10.77.0.", 0, 255);
    RunArpSweep(
        lan, LabInterface(), hosts, SweepClock::now(), SweepTiming{},
        [](const SweepHost&, const MacAddress&) {}, cancelled);
    EXPECT_TRUE(lan.asked.empty());

    // Cancelled while waiting for silent hosts: returns long before the deadline.
    cancelled = false;
    std::thread canceller([&] {
        std::this_thread::sleep_for(milliseconds(30));
        cancelled = true;
    });
    SweepTiming slow;
    slow.deadline = milliseconds(60000);
    const auto t0 = SweepClock::now();
    RunArpSweep(
        lan, LabInterface(), hosts, t0, slow, [](const SweepHost&, const MacAddress&) {},
        cancelled);
    canceller.join();
    EXPECT_LT(SweepClock::now() - t0, milliseconds(5000));
}

}  // namespace
}  // namespace rm
