// IPv4 values in network byte order for the tests, made without the system's
// socket headers: the core uses none, and they differ between systems.
#pragma once

#include <cstdint>
#include <cstring>

namespace rm::test {

// a.b.c.d written 0xAABBCCDD, as the bytes a, b, c, d in memory.
inline uint32_t NetOrder(uint32_t host) {
    const uint8_t bytes[4] = {uint8_t(host >> 24), uint8_t(host >> 16), uint8_t(host >> 8),
                              uint8_t(host)};
    uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

}  // namespace rm::test
