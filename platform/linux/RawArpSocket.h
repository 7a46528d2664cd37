// The raw ARP transport of router-monitor-arp, the only program that holds
// CAP_NET_RAW: an AF_PACKET socket bound to one interface, behind a locked
// kernel filter that lets through only replies proving themselves answers to
// this machine and the requests and announcements of its /24's devices. Also the lookup of the interface that carries an address and
// the capability drops. Free of Qt: the helper links it.
#pragma once

#include <linux/filter.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/ArpFrame.h"
#include "core/ArpSweep.h"

namespace rm {

// The interface whose IPv4 network contains `ip` (network byte order), if any:
// up, able to do ARP, the most specific network first. Needs no privilege.
std::optional<InterfaceInfo> InterfaceFor(uint32_t ip);

// The interface holding an address of its own inside the /24 of `ip` (network
// byte order; its last byte is ignored): up, able to do ARP, with a hardware
// address. Nothing when none does, or when several do (which one would be asked
// is then no longer the user's choice).
std::optional<InterfaceInfo> InterfaceOn24(uint32_t ip);

// The classic BPF program of the helper's socket. It passes Ethernet/IPv4 ARP
// whose Ethernet source equals its sender MAC, and of that only: replies
// delivered as PACKET_HOST to `mac`, with ARP target `mac` and `ip` (network
// byte order); and requests or broadcast announcements of a sender on the /24
// of `ip` (or address probes, sender zero, for an address of it), which tell
// of devices that join. Everything else is dropped in the kernel. It passes
// exactly what ProvenArpReply or ArpSightingOf take (but for the ends of the
// range and group sender MACs, which those refuse).
std::vector<sock_filter> ReplyFilterCode(const MacAddress& mac, uint32_t ip);

class RawArpSocket {
  public:
    // A socket bound to `ifc` for ETH_P_ARP with ReplyFilterCode attached and
    // locked. Nothing on failure, with errno kept (EPERM: no CAP_NET_RAW).
    static std::unique_ptr<RawArpSocket> OpenBound(const InterfaceInfo& ifc);

    ~RawArpSocket();
    RawArpSocket(const RawArpSocket&) = delete;
    RawArpSocket& operator=(const RawArpSocket&) = delete;

    // Sends one frame to the Ethernet broadcast address of the bound interface.
    bool Send(std::span<const uint8_t> frame);
    // One queued frame, without waiting; nothing when none is queued.
    std::optional<ReceivedFrame> TryReceive();
    // Discards what is queued: replies to earlier requests must not be taken
    // for answers to the next ones. Bounded in frames and time, so that a flood
    // cannot hold the caller here.
    void Drain();
    int fd() const { return fd_; }

  private:
    RawArpSocket(int fd, int ifindex) : fd_(fd), ifindex_(ifindex) {}
    int fd_ = -1;
    int ifindex_ = 0;
};

// Drops every capability for good: ambient, bounding (when permitted),
// inheritable, permitted and effective sets, then sets no_new_privs. True only
// when reading the sets back shows nothing left.
bool DropCapabilitiesForGood();

// Empties the process's own capability sets (effective, permitted,
// inheritable, ambient) but keeps the bounding set and grants no no_new_privs:
// the window starts router-monitor-arp, whose file capability must still take
// effect. True when nothing is left in them.
bool DropOwnCapabilities();

}  // namespace rm
