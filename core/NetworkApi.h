// The operating-system calls of the network probing subsystem, behind small
// interfaces: the ARP resolver, the IPv4 address table, the socket library with
// its reverse lookup, and the local address of the socket control. Linux versions
// live in platform/linux, fakes for the tests in platform/fake. Text is UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rm {

// SendARP: resolves the IPv4 address `dest` (network byte order) to a hardware
// address. On success returns 0 and writes the address into `mac` (room for
// *len bytes, *len set to the bytes written); any other value is an error code.
// Returns within a bounded time (at most about 1 s).
class ArpResolver {
  public:
    virtual ~ArpResolver() = default;
    virtual uint32_t SendArp(uint32_t dest, uint32_t src, uint8_t* mac, uint32_t* len) = 0;
};

// GetIpAddrTable: the machine's IPv4 address table as a MIB_IPADDRTABLE byte image
// (uint32 row count, then 24-byte rows whose first field is dwAddr in network byte
// order). With a null or too small buffer it writes the needed size to *size and
// returns ERROR_INSUFFICIENT_BUFFER (122); otherwise fills the buffer and returns 0.
class AddressTable {
  public:
    static constexpr uint32_t kRowSize = 24;
    static constexpr uint32_t kInsufficientBuffer = 122;
    virtual ~AddressTable() = default;
    virtual uint32_t GetIpAddrTable(uint8_t* buffer, uint32_t* size, bool sorted) = 0;
};

// The part of WSADATA that callers read.
struct WsaData {
    uint16_t wVersion = 0;  // low byte major, high byte minor
    uint16_t iMaxSockets = 0;
};

// The socket library (WSAStartup / WSACleanup) and its reverse lookup.
class SocketLibrary {
  public:
    virtual ~SocketLibrary() = default;
    virtual int WsaStartup(uint16_t requested, WsaData* data) = 0;
    virtual int WsaCleanup() = 0;
    // The reverse lookup of a 4-byte IPv4 address in network byte order: the
    // host record's name in UTF-8, or nothing when there is no host record.
    virtual std::optional<std::string> GetHostByAddr(const uint8_t addr[4]) = 0;
};

// The socket control's LocalIP: the IPv4 text of the address through which this
// machine reaches its network (empty when it has none).
class LocalAddress {
  public:
    virtual ~LocalAddress() = default;
    virtual std::string LocalIp() = 0;
};

}  // namespace rm
