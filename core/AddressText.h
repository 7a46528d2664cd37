// The two shared text forms of the network code: IPv4 text (a.b.c.d) and MAC
// text (upper-case hex pairs joined by "-"), and the conversion of dotted text
// back to an IPv4 value with the classic inet_addr rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rm {

// Dotted text of a 4-byte IPv4 value in network byte order (the bytes in memory order).
std::string Ipv4ToText(const uint8_t value[4]);

// MAC text of `count` hardware-address bytes in the order received: "02-1F-3A-00-C4-5B".
std::string MacBytesToText(const uint8_t* bytes, uint32_t count);

// inet_addr: dotted text (also the short, octal and hexadecimal forms) to an IPv4
// value in network byte order; 0xFFFFFFFF (INADDR_NONE) for anything else.
uint32_t InetAddr(std::string_view text);

// Strict dotted-quad text (four decimal numbers 0..255, no leading zeros, nothing
// else) to an IPv4 value in network byte order. Where a prefix and a host number
// are joined, the short inet_addr forms would name some other address.
bool ParseDottedQuad(std::string_view text, uint32_t& value);

// The MAC text of a device that is absent: a host that did not answer a sweep.
inline constexpr std::string_view kAbsentMac = "00-00-00-00-00-00";

// The value InetAddr gives text that is no address.
constexpr uint32_t kInaddrNone = 0xFFFFFFFFu;

}  // namespace rm
