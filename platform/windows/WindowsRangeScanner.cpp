#include "platform/windows/WindowsRangeScanner.h"

// The Windows headers need this order.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

#include "core/AddressText.h"
#include "core/ArpSweep.h"
#include "platform/windows/WindowsArpResolver.h"

namespace rm {

namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// "10.77.0.11       02-52-4D-00-00-01": the address padded so that the MAC
// texts line up, as the Linux scanner writes it (no vendor: Windows ships no
// OUI list).
std::string EntryLine(const std::string& address, const std::optional<std::vector<uint8_t>>& mac) {
    std::string line = address;
    if (line.size() < 15) line.resize(15, ' ');
    line += "  ";
    if (!mac) return line + std::string(kAbsentMac);
    return line + MacBytesToText(mac->data(), uint32_t(mac->size()));
}

// The answers of one sweep, shared with the SendARP threads that may outlive it.
struct Answers {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::optional<std::vector<uint8_t>>> macs;
    std::vector<bool> done;
    bool notSupported = false;
    bool closed = false;  // past the deadline: late answers are dropped
};

}  // namespace

// The SendARP calls still out, by address: the sweep their answer goes to and
// the host's place in it.
struct WindowsRangeScanner::Calls {
    std::mutex m;
    std::map<uint32_t, std::pair<std::weak_ptr<Answers>, size_t>> out;
};

WindowsRangeScanner::WindowsRangeScanner(UiPoster post, Path path, milliseconds deadline,
                                         SendArpFn sendArp)
    : post_(std::move(post)),
      path_(path),
      deadline_(deadline),
      sendArp_(sendArp ? std::move(sendArp) : SystemSendArp()),
      systemSendArp_(!sendArp),
      calls_(std::make_shared<Calls>()) {}

WindowsRangeScanner::~WindowsRangeScanner() {
    ++shared_->generation;  // the running sweeps stop at their next look
    std::lock_guard lock(threadsMutex_);
    for (auto& t : sweeps_)
        if (t.joinable()) t.join();
}

void WindowsRangeScanner::Therad(const std::string& prefix, HostList& list, int32_t first,
                                 int32_t last) {
    const uint64_t generation = ++shared_->generation;
    const auto start = SteadyClock::now();
    std::lock_guard lock(threadsMutex_);
    // Finished sweeps are joined as new ones start, so threads do not pile up.
    std::erase_if(sweeps_, [](std::thread& t) { return !t.joinable(); });
    sweeps_.emplace_back(&WindowsRangeScanner::Sweep, this, generation, prefix, &list, first, last,
                         start);
}

void WindowsRangeScanner::Sweep(uint64_t generation, std::string prefix, HostList* list,
                                int32_t first, int32_t last, SteadyClock::time_point start) {
    const std::vector<SweepHost> hosts = HostsOfRange(prefix.c_str(), first, last);
    const auto deadline = start + deadline_;
    auto shared = shared_;
    auto current = [&] { return shared->generation.load() == generation; };
    auto post = [&](int number, std::string line) {
        post_([shared, generation, list, number, line = std::move(line)] {
            if (shared->generation.load() == generation) list->AddHostEntry(number, line);
        });
    };
    auto address = [&](const SweepHost& h) { return prefix + std::to_string(h.number); };

    auto answers = std::make_shared<Answers>();
    answers->macs.resize(hosts.size());
    answers->done.resize(hosts.size(), false);
    std::vector<size_t> asked;
    const LocalAddresses local = LocalAddresses::Read();
    for (size_t i = 0; i < hosts.size(); ++i) {
        const uint32_t ip = hosts[i].ip;
        if (ip == 0) continue;
        if (auto own = local.OwnHardwareAddress(ip)) {
            answers->macs[i] = std::move(own);
            answers->done[i] = true;
            post(hosts[i].number, EntryLine(address(hosts[i]), answers->macs[i]));
        } else if (local.OnLocalNetwork(ip)) {
            // Addresses off every local network would only be routed away.
            asked.push_back(i);
        }
    }

    // Starting a thread per host only to learn that SendARP is a stub would
    // cost Wine more than the whole sweep may take.
    bool useTable = path_ == Path::NeighbourTable ||
                    (path_ == Path::Auto && !asked.empty() &&
                     (sendArpMissing_ ||
                      (systemSendArp_ &&
                       !SendArpSupported(local.AddressOnNetworkOf(hosts[asked.front()].ip)))));
    if (!useTable && !asked.empty()) {
        last_ = Path::SendArp;
        for (size_t i : asked) {
            const uint32_t ip = hosts[i].ip;
            std::lock_guard callsLock(calls_->m);
            auto [call, fresh] = calls_->out.insert_or_assign(ip, std::make_pair(answers, i));
            if (!fresh) continue;  // the call still out answers this sweep instead
            try {
                std::thread([calls = calls_, fn = sendArp_, ip] {
                    uint8_t mac[8] = {};
                    uint32_t len = 6;
                    const uint32_t rc = fn(ip, 0, mac, &len);
                    std::shared_ptr<Answers> to;
                    size_t at = 0;
                    {
                        std::lock_guard callsLock(calls->m);
                        auto it = calls->out.find(ip);
                        if (it == calls->out.end()) return;
                        to = it->second.first.lock();
                        at = it->second.second;
                        calls->out.erase(it);
                    }
                    if (!to) return;
                    std::lock_guard lock(to->m);
                    if (to->closed) return;  // late: its sweep has given its lines
                    if (rc == ERROR_NOT_SUPPORTED) to->notSupported = true;
                    if (rc == NO_ERROR && len > 0)
                        to->macs[at].emplace(mac, mac + std::min(len, 8u));
                    to->done[at] = true;
                    to->cv.notify_all();
                }).detach();
            } catch (const std::system_error&) {
                // No thread for this host: it stays silent in this sweep.
                calls_->out.erase(call);
            }
        }
        std::vector<bool> posted(hosts.size(), false);
        std::unique_lock lock(answers->m);
        for (;;) {
            for (size_t i : asked) {
                if (posted[i] || !answers->done[i] || !answers->macs[i]) continue;
                posted[i] = true;
                post(hosts[i].number, EntryLine(address(hosts[i]), answers->macs[i]));
            }
            if (answers->notSupported || !current()) break;
            const bool all =
                std::all_of(asked.begin(), asked.end(), [&](size_t i) { return answers->done[i]; });
            if (all || SteadyClock::now() >= deadline) break;
            answers->cv.wait_until(lock, std::min(deadline, SteadyClock::now() + milliseconds(40)));
        }
        if (answers->notSupported && path_ == Path::Auto) {
            sendArpMissing_ = true;
            useTable = true;
        }
        answers->closed = true;
    }

    if (useTable && !asked.empty() && current()) {
        last_ = Path::NeighbourTable;
        std::vector<uint32_t> ips;
        for (size_t i : asked) ips.push_back(hosts[i].ip);
        {
            WSADATA wsa{};
            if (::WSAStartup(MAKEWORD(2, 2), &wsa) == 0) {
                const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
                if (s != INVALID_SOCKET) {
                    u_long nonBlocking = 1;
                    ::ioctlsocket(s, FIONBIO, &nonBlocking);
                    for (uint32_t ip : ips) {
                        sockaddr_in to{};
                        to.sin_family = AF_INET;
                        to.sin_port = htons(9);  // discard: only the resolution matters
                        to.sin_addr.s_addr = ip;
                        ::sendto(s, "", 0, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
                    }
                    ::closesocket(s);
                }
                ::WSACleanup();
            }
        }
        // The table is read a few times so that present hosts show early; the
        // last read comes after the system's own retry of a lost reply.
        // A read of a full /24's table takes Wine about half a second, longer
        // while another sweep reads too: a read that might end after the
        // deadline (twice the last one's time) is left out, so that the silent
        // hosts' lines are never late.
        const milliseconds reads[] = {milliseconds(150), milliseconds(400), milliseconds(750),
                                      deadline_ - milliseconds(50)};
        size_t left = asked.size();
        auto lastRead = milliseconds(0);
        for (milliseconds at : reads) {
            while (current() && SteadyClock::now() < start + at) ::Sleep(20);
            if (!current()) break;
            if (SteadyClock::now() + 2 * lastRead > deadline) break;
            const auto readStart = SteadyClock::now();
            PMIB_IPNET_TABLE2 table = nullptr;
            const DWORD rc = ::GetIpNetTable2(AF_INET, &table);
            lastRead = std::chrono::duration_cast<milliseconds>(SteadyClock::now() - readStart);
            if (rc != NO_ERROR || !table) continue;
            for (ULONG r = 0; r < table->NumEntries; ++r) {
                const MIB_IPNET_ROW2& row = table->Table[r];
                if (row.Address.si_family != AF_INET || row.State != NlnsReachable ||
                    row.PhysicalAddressLength == 0)
                    continue;
                for (size_t i : asked) {
                    if (hosts[i].ip != row.Address.Ipv4.sin_addr.s_addr || answers->macs[i])
                        continue;
                    const ULONG n = std::min<ULONG>(row.PhysicalAddressLength, 8);
                    answers->macs[i].emplace(row.PhysicalAddress, row.PhysicalAddress + n);
                    post(hosts[i].number, EntryLine(address(hosts[i]), answers->macs[i]));
                    --left;
                }
            }
            ::FreeMibTable(table);
            if (left == 0) break;
        }
    }

    // The silent hosts' lines, in place before the window stops waiting.
    while (current() && SteadyClock::now() < deadline) ::Sleep(20);
    if (!current()) return;
    std::lock_guard lock(answers->m);
    for (size_t i = 0; i < hosts.size(); ++i)
        if (!answers->macs[i]) post(hosts[i].number, EntryLine(address(hosts[i]), std::nullopt));
}

}  // namespace rm
