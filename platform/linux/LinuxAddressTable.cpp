// GetIpAddrTable on Linux: this machine's IPv4 addresses as a MIB_IPADDRTABLE
// image. The addresses of the interface that carries the default route come
// first and loopback last, so that the network listed first, which the monitor
// scans, is the one the machine actually uses.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/DefaultRoute.h"
#include "platform/linux/LinuxPlatform.h"

namespace rm {

namespace {

struct Row {
    uint32_t addr = 0, index = 0, mask = 0;
    bool loopback = false;
    std::string interface;
};

std::vector<Row> KernelRows() {
    std::vector<Row> rows;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return rows;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        Row r;
        r.addr = reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr;
        if (a->ifa_netmask)
            r.mask = reinterpret_cast<sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr;
        r.index = if_nametoindex(a->ifa_name);
        r.loopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
        r.interface = a->ifa_name;
        rows.push_back(r);
    }
    freeifaddrs(list);
    return rows;
}

// Default-route interface first, then the rest in the kernel's order, loopback last.
std::vector<Row> OrderedRows() {
    std::vector<Row> rows = KernelRows();
    const auto route = FindDefaultRoute();
    auto rank = [&](const Row& r) {
        if (r.loopback) return 2;
        return route && r.interface == route->interface ? 0 : 1;
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const Row& a, const Row& b) { return rank(a) < rank(b); });
    return rows;
}

class LinuxAddressTable : public AddressTable {
  public:
    uint32_t GetIpAddrTable(uint8_t* buffer, uint32_t* size, bool sorted) override {
        constexpr uint32_t kInvalidParameter = 87;
        if (!size) return kInvalidParameter;
        std::vector<Row> rows = OrderedRows();
        const uint32_t need = 4 + kRowSize * uint32_t(rows.size());
        if (!buffer || *size < need) {
            *size = need;
            return kInsufficientBuffer;
        }
        if (sorted) {
            std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
                return ntohl(a.addr) < ntohl(b.addr);
            });
        }
        const uint32_t count = uint32_t(rows.size());
        std::memcpy(buffer, &count, 4);
        for (uint32_t i = 0; i < count; ++i) {
            // dwAddr, dwIndex, dwMask, dwBCastAddr, dwReasmSize, unused1, wType.
            const uint32_t fields[5] = {rows[i].addr, rows[i].index, rows[i].mask, 1, 65535};
            const uint16_t tail[2] = {0, 1};  // MIB_IPADDR_PRIMARY
            uint8_t* row = buffer + 4 + kRowSize * i;
            std::memcpy(row, fields, sizeof fields);
            std::memcpy(row + sizeof fields, tail, sizeof tail);
        }
        *size = need;
        return 0;
    }
};

}  // namespace

std::unique_ptr<AddressTable> MakeLinuxAddressTable() {
    return std::make_unique<LinuxAddressTable>();
}

}  // namespace rm
