#include "platform/windows/WindowsArpResolver.h"

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
#include <memory>
#include <mutex>
#include <thread>

#include "core/BoundedCall.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {

namespace {

using SteadyClock = std::chrono::steady_clock;

std::vector<MIB_IPADDRROW> AddressRows() {
    std::vector<MIB_IPADDRROW> rows;
    ULONG size = 0;
    if (::GetIpAddrTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) return rows;
    std::vector<unsigned char> image(size + sizeof(MIB_IPADDRROW));
    size = ULONG(image.size());
    auto* table = reinterpret_cast<PMIB_IPADDRTABLE>(image.data());
    if (::GetIpAddrTable(table, &size, FALSE) != NO_ERROR) return rows;
    const size_t fits = (image.size() - offsetof(MIB_IPADDRTABLE, table)) / sizeof(MIB_IPADDRROW);
    rows.assign(table->table, table->table + std::min<size_t>(table->dwNumEntries, fits));
    return rows;
}

bool IsUnicast(uint32_t ip) {
    const uint32_t h = ntohl(ip);
    return h != 0 && h != 0xFFFFFFFFu && (h >> 28) != 0xE && (h >> 24) != 0 && (h >> 24) != 127;
}

// Winsock for the calling thread, as long as this lives.
class WinsockUse {
  public:
    WinsockUse() {
        WSADATA wsa{};
        ok_ = ::WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    }
    ~WinsockUse() {
        if (ok_) ::WSACleanup();
    }
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;
    bool ok() const { return ok_; }

  private:
    bool ok_ = false;
};

enum class Entry { None, Pending, Reachable };

// The neighbour entry of `dest`, its address written to `mac` when REACHABLE.
// Other states (STALE, DELAY, PROBE) hold an address nobody has confirmed
// lately: a device gone since would still count as present.
Entry FindNeighbour(uint32_t dest, std::vector<uint8_t>* mac) {
    PMIB_IPNET_TABLE2 table = nullptr;
    if (::GetIpNetTable2(AF_INET, &table) != NO_ERROR || !table) return Entry::None;
    Entry found = Entry::None;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPNET_ROW2& row = table->Table[i];
        if (row.Address.si_family != AF_INET || row.Address.Ipv4.sin_addr.s_addr != dest) continue;
        if (row.State == NlnsReachable || row.State == NlnsPermanent) {
            const ULONG n = std::min<ULONG>(row.PhysicalAddressLength, 8);
            if (n == 0) continue;
            mac->assign(row.PhysicalAddress, row.PhysicalAddress + n);
            found = Entry::Reachable;
            break;
        }
        found = Entry::Pending;
    }
    ::FreeMibTable(table);
    return found;
}

}  // namespace

LocalAddresses LocalAddresses::Read() {
    LocalAddresses local;
    for (const MIB_IPADDRROW& r : AddressRows())
        local.addresses_.push_back({r.dwAddr, r.dwMask, r.dwIndex});
    return local;
}

bool LocalAddresses::OnLocalNetwork(uint32_t ip) const {
    for (const Address& a : addresses_) {
        if ((ntohl(a.ip) >> 24) == 127 || a.mask == 0) continue;
        if ((a.ip & a.mask) == (ip & a.mask)) return true;
    }
    return false;
}

uint32_t LocalAddresses::AddressOnNetworkOf(uint32_t ip) const {
    for (const Address& a : addresses_) {
        if ((ntohl(a.ip) >> 24) == 127 || a.mask == 0) continue;
        if ((a.ip & a.mask) == (ip & a.mask)) return a.ip;
    }
    return 0;
}

SendArpFn SystemSendArp() {
    return [](uint32_t dest, uint32_t src, uint8_t* mac, uint32_t* len) -> uint32_t {
        ULONG words[2] = {0, 0};
        ULONG n = std::min<uint32_t>(*len, 8);
        const DWORD rc = ::SendARP(dest, src, words, &n);
        if (rc == NO_ERROR) {
            *len = std::min<uint32_t>(n, 8);
            std::memcpy(mac, words, *len);
        }
        return rc;
    };
}

bool SendArpSupported(uint32_t ownIp) {
    static std::atomic<int> known{-1};
    if (known.load() < 0) {
        ULONG mac[2] = {0, 0};
        ULONG len = 6;
        known = ::SendARP(ownIp, 0, mac, &len) == ERROR_NOT_SUPPORTED ? 0 : 1;
    }
    return known.load() == 1;
}

std::optional<std::vector<uint8_t>> LocalAddresses::OwnHardwareAddress(uint32_t ip) const {
    for (const Address& a : addresses_) {
        if (a.ip != ip) continue;
        MIB_IF_ROW2 row{};
        row.InterfaceIndex = a.index;
        if (::GetIfEntry2(&row) != NO_ERROR) return std::nullopt;
        const ULONG n = std::min<ULONG>(row.PhysicalAddressLength, 8);
        if (n == 0) return std::nullopt;  // loopback and tunnels have no hardware address
        return std::vector<uint8_t>(row.PhysicalAddress, row.PhysicalAddress + n);
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> ResolveThroughNeighbourTable(
    uint32_t dest, std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    std::vector<uint8_t> mac;
    if (FindNeighbour(dest, &mac) == Entry::Reachable) return mac;

    // The datagram only makes the system resolve the address: port 9 is the
    // discard service, and nothing waits for a reply.
    WinsockUse winsock;
    if (!winsock.ok()) return std::nullopt;
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return std::nullopt;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = dest;
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    ::sendto(s, "", 0, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ::closesocket(s);

    // The table has no change notification under Wine: it is read every 20 ms.
    // A read takes Wine up to half a second on a full /24; one that might end
    // past the deadline is not started.
    auto lastRead = std::chrono::milliseconds(0);
    for (;;) {
        const auto readStart = SteadyClock::now();
        if (FindNeighbour(dest, &mac) == Entry::Reachable) return mac;
        lastRead =
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - readStart);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (left.count() <= 0 || left < lastRead) return std::nullopt;
        ::Sleep(DWORD(std::min<int64_t>((left - lastRead).count(), 20)));
    }
}

WindowsArpResolver::WindowsArpResolver(Path path, std::chrono::milliseconds timeout,
                                       SendArpFn sendArp)
    : path_(path),
      last_(path == Path::NeighbourTable ? path : Path::SendArp),
      timeout_(timeout),
      sendArp_(std::move(sendArp)) {}

// SendARP waits about 3 s for a silent host; it cannot be interrupted, so it
// finishes on a thread of its own and a late answer counts as none. While a few
// such calls are still out, no new one is started.
std::optional<std::vector<uint8_t>> WindowsArpResolver::ThroughSendArp(uint32_t dest, uint32_t src,
                                                                       uint32_t* err) {
    static std::atomic<int> stragglers{0};
    constexpr int kMaxStragglers = 64;
    struct Answer {
        DWORD err = kNoAnswer;
        std::vector<uint8_t> mac;
    };
    const std::optional<Answer> answer =
        CallBounded<Answer>(stragglers, kMaxStragglers, timeout_, [dest, src, fn = sendArp_] {
            Answer a;
            uint8_t mac[8] = {};
            uint32_t len = 6;
            a.err = fn(dest, src, mac, &len);
            if (a.err == NO_ERROR) a.mac.assign(mac, mac + std::min<uint32_t>(len, 8));
            return a;
        });
    *err = answer ? answer->err : kNoAnswer;
    if (!answer || answer->err != NO_ERROR) return std::nullopt;
    return answer->mac;
}

uint32_t WindowsArpResolver::SendArp(uint32_t dest, uint32_t src, uint8_t* mac, uint32_t* len) {
    if (!mac || !len || *len == 0) return kInvalidParameter;

    const LocalAddresses local = LocalAddresses::Read();
    auto answer = local.OwnHardwareAddress(dest);
    if (!answer) {
        if (!IsUnicast(dest)) return kInvalidParameter;
        // Only neighbours on one of our networks can answer; for anything else
        // the system would route the datagram out through the gateway.
        if (!local.OnLocalNetwork(dest)) return kNoAnswer;
        uint32_t err = kNoAnswer;
        if (path_ != Path::NeighbourTable && !sendArpMissing_.load()) {
            last_ = Path::SendArp;
            answer = ThroughSendArp(dest, src, &err);
            if (!answer && err == kNotSupported && path_ == Path::Auto) sendArpMissing_ = true;
            if (!answer && !sendArpMissing_.load()) return err;
        }
        if (!answer) {
            if (path_ == Path::SendArp) return kNotSupported;
            last_ = Path::NeighbourTable;
            answer = ResolveThroughNeighbourTable(dest, timeout_);
            if (!answer) return kNoAnswer;
        }
    }
    const uint32_t n = std::min<uint32_t>(*len, uint32_t(answer->size()));
    std::memcpy(mac, answer->data(), n);
    *len = n;
    return 0;
}

std::unique_ptr<ArpResolver> MakeWindowsArpResolver() {
    return std::make_unique<WindowsArpResolver>();
}

}  // namespace rm
