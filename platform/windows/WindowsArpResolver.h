// SendARP on Windows, bounded at 1 s like every resolver of the program. Where
// the system has no SendARP (Wine answers ERROR_NOT_SUPPORTED) the system is
// made to resolve the address itself, with one UDP datagram, and its neighbour
// table is read, trusting REACHABLE entries only.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "core/NetworkApi.h"

namespace rm {

// SendARP without the Windows headers: destination and source in network byte
// order, a buffer of 8 bytes for the hardware address and its length in bytes
// (in: the room, out: the length); the system's error code. Replaceable, so
// that the path real Windows takes can be run where SendARP is a stub (Wine).
using SendArpFn = std::function<uint32_t(uint32_t dest, uint32_t src, uint8_t* mac, uint32_t* len)>;
SendArpFn SystemSendArp();

class WindowsArpResolver : public ArpResolver {
  public:
    enum class Path { Auto, SendArp, NeighbourTable };
    static constexpr uint32_t kInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
    static constexpr uint32_t kNoAnswer = 67;          // ERROR_BAD_NET_NAME
    static constexpr uint32_t kNotSupported = 50;      // ERROR_NOT_SUPPORTED

    explicit WindowsArpResolver(Path path = Path::Auto,
                                std::chrono::milliseconds timeout = std::chrono::milliseconds(1000),
                                SendArpFn sendArp = SystemSendArp());

    uint32_t SendArp(uint32_t dest, uint32_t src, uint8_t* mac, uint32_t* len) override;
    // The path the last request went (SendArp or NeighbourTable).
    Path ActivePath() const { return last_; }

  private:
    std::optional<std::vector<uint8_t>> ThroughSendArp(uint32_t dest, uint32_t src, uint32_t* err);

    Path path_;
    Path last_ = Path::SendArp;
    std::chrono::milliseconds timeout_;
    SendArpFn sendArp_;
    std::atomic<bool> sendArpMissing_{false};
};

// The neighbour-table path on its own (the range scanner uses it too): one
// datagram to `dest` (network byte order), then GetIpNetTable2 until the entry
// is REACHABLE or `timeout` has passed.
std::optional<std::vector<uint8_t>> ResolveThroughNeighbourTable(uint32_t dest,
                                                                 std::chrono::milliseconds timeout);
// This machine's IPv4 addresses, read once: a sweep asks about every host, and
// each reading of the table is a round trip through the system.
class LocalAddresses {
  public:
    static LocalAddresses Read();
    // The hardware address of this machine's interface holding `ip`, if it is ours.
    std::optional<std::vector<uint8_t>> OwnHardwareAddress(uint32_t ip) const;
    // True when `ip` lies in the network of one of the non-loopback addresses.
    bool OnLocalNetwork(uint32_t ip) const;
    // This machine's address on the network of `ip` (0 when none).
    uint32_t AddressOnNetworkOf(uint32_t ip) const;

  private:
    struct Address {
        uint32_t ip, mask, index;
    };
    std::vector<Address> addresses_;
};

// Whether this system has a working SendARP, found out once with a request
// for this machine's own address `ownIp`, which never waits for the wire.
bool SendArpSupported(uint32_t ownIp);

inline std::optional<std::vector<uint8_t>> OwnHardwareAddress(uint32_t ip) {
    return LocalAddresses::Read().OwnHardwareAddress(ip);
}
inline bool OnLocalNetwork(uint32_t ip) {
    return LocalAddresses::Read().OnLocalNetwork(ip);
}

}  // namespace rm
