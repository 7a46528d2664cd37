// The raw ARP transport: AF_PACKET sockets for ETH_P_ARP. They are opened once at
// start-up while the process still has CAP_NET_RAW (after which every capability
// is dropped). The single-address probe and the range scanner each get a socket of
// their own, so that neither reads the replies the other is waiting for.
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

// The interface whose IPv4 network contains `ip` (network byte order), if any:
// up, able to do ARP, the most specific network first. Needs no privilege.
std::optional<InterfaceInfo> InterfaceFor(uint32_t ip);

class RawArpSocket {
  public:
    // Opens a socket; nothing when the process lacks CAP_NET_RAW. The socket is
    // not bound to an interface: it sends and receives on any of them, and only
    // ARP replies reach it (a kernel filter drops the rest).
    static std::shared_ptr<RawArpSocket> Open();
    // The socket of the single-address probe opened by OpenShared(), or null.
    static std::shared_ptr<RawArpSocket> Shared();
    // The socket of the range scanner opened by OpenShared(), or null.
    static std::shared_ptr<RawArpSocket> SharedForScanner();
    // Opens the process-wide sockets (call once, before DropAllCapabilities()).
    static void OpenShared();

    ~RawArpSocket();
    RawArpSocket(const RawArpSocket&) = delete;
    RawArpSocket& operator=(const RawArpSocket&) = delete;

    // Sends one frame out of `ifc` to the Ethernet broadcast address.
    bool Send(const InterfaceInfo& ifc, std::span<const uint8_t> frame);
    // Waits up to `timeout` for one frame received on interface `ifindex` (frames
    // of other interfaces and this machine's own outgoing frames are skipped);
    // returns its bytes, or nothing on time-out.
    std::optional<std::vector<uint8_t>> Receive(int ifindex, std::chrono::milliseconds timeout);
    // Discards every frame already queued: replies to earlier requests must not
    // be taken for answers to the next ones.
    void Drain();
    int fd() const { return fd_; }

  private:
    explicit RawArpSocket(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Drops every capability of the process for good (no-op when it has none).
void DropAllCapabilities();

}  // namespace rm
