// Fakes of the network interfaces for the tests: scripted ARP answers, a
// scripted address table, a socket library with settable version and results.
#pragma once

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/AddressText.h"
#include "core/NetworkApi.h"

namespace rm {

// Answers from a table keyed by IPv4 value (network byte order); every call is recorded.
class FakeArpResolver : public ArpResolver {
  public:
    struct Answer {
        uint32_t result = 0;
        std::vector<uint8_t> mac;
    };
    std::map<uint32_t, Answer> answers;  // missing: error 31 (no answer)
    std::vector<uint32_t> requests;

    void Set(const char* ip, std::vector<uint8_t> mac) {
        answers[InetAddr(ip)] = {0, std::move(mac)};
    }
    void Remove(const char* ip) { answers.erase(InetAddr(ip)); }

    uint32_t SendArp(uint32_t dest, uint32_t, uint8_t* mac, uint32_t* len) override {
        requests.push_back(dest);
        auto it = answers.find(dest);
        if (it == answers.end()) return 31;
        if (it->second.result != 0) return it->second.result;
        uint32_t n = std::min<uint32_t>(*len, uint32_t(it->second.mac.size()));
        std::memcpy(mac, it->second.mac.data(), n);
        *len = n;
        return 0;
    }
};

// A MIB_IPADDRTABLE image built from a list of addresses (network byte order).
class FakeAddressTable : public AddressTable {
  public:
    std::vector<uint32_t> addresses;
    bool failSecondCall = false;
    int calls = 0;

    void SetAddresses(std::initializer_list<const char*> ips) {
        addresses.clear();
        for (const char* ip : ips) addresses.push_back(InetAddr(ip));
    }

    uint32_t GetIpAddrTable(uint8_t* buffer, uint32_t* size, bool) override {
        ++calls;
        const uint32_t need = 4 + kRowSize * uint32_t(addresses.size());
        if (buffer == nullptr || *size < need) {
            *size = need;
            return kInsufficientBuffer;
        }
        if (failSecondCall) return 1;
        uint32_t count = uint32_t(addresses.size());
        std::memcpy(buffer, &count, 4);
        for (size_t i = 0; i < addresses.size(); ++i) {
            uint8_t* row = buffer + 4 + kRowSize * i;
            std::memset(row, 0, kRowSize);
            std::memcpy(row, &addresses[i], 4);
        }
        return 0;
    }
};

class FakeSocketLibrary : public SocketLibrary {
  public:
    int startupResult = 0;
    WsaData reported{0x0101, 256};
    int cleanupResult = 0;
    std::map<uint32_t, std::string> names;  // by IPv4 value, network byte order
    int startups = 0, cleanups = 0, lookups = 0;

    int WsaStartup(uint16_t, WsaData* data) override {
        ++startups;
        *data = reported;
        return startupResult;
    }
    int WsaCleanup() override {
        ++cleanups;
        return cleanupResult;
    }
    std::optional<std::string> GetHostByAddr(const uint8_t addr[4]) override {
        ++lookups;
        uint32_t v;
        std::memcpy(&v, addr, 4);
        auto it = names.find(v);
        if (it == names.end()) return std::nullopt;
        return it->second;
    }
};

class FakeLocalAddress : public LocalAddress {
  public:
    std::string ip = "192.168.1.20";
    std::string LocalIp() override { return ip; }
};

}  // namespace rm
