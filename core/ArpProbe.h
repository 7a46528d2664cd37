// ProbeMac: the hardware address of one IPv4 address on the local network, as
// MAC text, through the system's ARP resolver.
#pragma once

#include <string>
#include <string_view>

#include "core/NetworkApi.h"

namespace rm {

// The text of the no-answer value; callers compare the probe's result with it.
inline constexpr std::string_view kNoAnswer = "False";

// MAC text of `ipText`'s hardware address, or "False" when nothing usable answers
// (the address reads as 0, the resolver fails, or the answer is empty or starts
// with four zero bytes). Blocks for as long as the resolver waits (at most ~1 s).
std::string ProbeMac(ArpResolver& resolver, std::string_view ipText);

}  // namespace rm
