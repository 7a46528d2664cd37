// The single-address ARP probe used for this machine and the router guess.
#include "core/ArpProbe.h"

#include <algorithm>
#include <cstring>

#include "core/AddressText.h"

namespace rm {

std::string ProbeMac(ArpResolver& resolver, std::string_view ipText) {
    const uint32_t dest = InetAddr(ipText);
    // Only 0 is refused here; INADDR_NONE from text that is no address is asked for.
    if (dest == 0) return std::string(kNoAnswer);

    constexpr uint32_t kBufferSize = 6;
    uint8_t mac[kBufferSize] = {};
    uint32_t len = kBufferSize;
    if (resolver.SendArp(dest, 0, mac, &len) != 0) return std::string(kNoAnswer);

    // A resolver must not claim more bytes than the buffer holds; never read past it.
    len = std::min(len, kBufferSize);
    const bool leadingZeros = mac[0] == 0 && mac[1] == 0 && mac[2] == 0 && mac[3] == 0;
    if (leadingZeros || len == 0) return std::string(kNoAnswer);
    return MacBytesToText(mac, len);
}

}  // namespace rm
