// The raw ARP transport: one AF_PACKET socket for ETH_P_ARP. It is opened once at
// start-up while the process still has CAP_NET_RAW (after which every capability
// is dropped), and shared by the range scanner and the single-address probe.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/ArpFrame.h"

namespace rm {

// What the sender needs to know about the interface that carries an address.
struct InterfaceInfo {
    int index = 0;
    std::string name;
    MacAddress mac{};
    uint32_t ip = 0;       // this machine's address there, network byte order
    uint32_t netmask = 0;  // network byte order
};

// The interface whose IPv4 network contains `ip` (network byte order), if any.
std::optional<InterfaceInfo> InterfaceFor(uint32_t ip);

class RawArpSocket {
public:
    // Opens the socket; nothing when the process lacks CAP_NET_RAW.
    static std::shared_ptr<RawArpSocket> Open();
    // The socket opened by OpenShared() at start-up, or null.
    static std::shared_ptr<RawArpSocket> Shared();
    // Opens the process-wide socket (call once, before DropAllCapabilities()).
    static void OpenShared();

    ~RawArpSocket();
    RawArpSocket(const RawArpSocket&) = delete;
    RawArpSocket& operator=(const RawArpSocket&) = delete;

    bool Send(const InterfaceInfo& ifc, std::span<const uint8_t> frame);
    // Waits up to `timeout` for one frame received on interface `ifindex`;
    // returns its bytes, or nothing on time-out.
    std::optional<std::vector<uint8_t>> Receive(int ifindex, std::chrono::milliseconds timeout);
    int fd() const { return fd_; }

private:
    explicit RawArpSocket(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Drops every capability of the process for good (no-op when it has none).
void DropAllCapabilities();

}  // namespace rm
