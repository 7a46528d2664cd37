// The socket control's LocalIP on Windows: the source address the system picks
// for the default route, else the first address that is not loopback, as the
// Linux build answers.
// The Windows headers need this order.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <optional>
#include <string>
#include <vector>

#include "platform/windows/WindowsPlatform.h"

namespace rm {

namespace {

std::string TextOf(uint32_t ip) {
    const uint32_t h = ntohl(ip);
    return std::to_string(h >> 24) + "." + std::to_string((h >> 16) & 255) + "." +
           std::to_string((h >> 8) & 255) + "." + std::to_string(h & 255);
}

// Connecting a UDP socket only looks up the route and fixes the source address;
// nothing is sent.
std::optional<uint32_t> SourceFor(uint32_t dest) {
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return std::nullopt;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = dest;
    std::optional<uint32_t> source;
    sockaddr_in local{};
    int len = sizeof local;
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&local), &len) == 0 &&
        local.sin_addr.s_addr != 0)
        source = local.sin_addr.s_addr;
    closesocket(s);
    return source;
}

std::optional<uint32_t> FirstNonLoopback() {
    ULONG size = 0;
    if (GetIpAddrTable(nullptr, &size, TRUE) != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return std::nullopt;
    std::vector<unsigned char> buffer(size);
    auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data());
    if (GetIpAddrTable(table, &size, TRUE) != NO_ERROR) return std::nullopt;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const uint32_t a = table->table[i].dwAddr;
        if (a != 0 && (ntohl(a) >> 24) != 127) return a;
    }
    return std::nullopt;
}

class WindowsLocalAddress : public LocalAddress {
  public:
    std::string LocalIp() override {
        WSADATA data;
        const bool started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        std::optional<uint32_t> found;
        // TEST-NET-2 stands for everything off-net: its best route is the
        // default one, through its gateway when it has one.
        const uint32_t offNet = htonl(0xC6336401u);  // 198.51.100.1
        MIB_IPFORWARDROW route{};
        if (started && GetBestRoute(offNet, 0, &route) == NO_ERROR) {
            const uint32_t hop = route.dwForwardNextHop;
            found = SourceFor(hop != 0 && hop != offNet ? hop : offNet);
        }
        if (!found) found = FirstNonLoopback();
        if (started) WSACleanup();
        return found ? TextOf(*found) : std::string();
    }
};

}  // namespace

std::unique_ptr<LocalAddress> MakeWindowsLocalAddress() {
    return std::make_unique<WindowsLocalAddress>();
}

}  // namespace rm
