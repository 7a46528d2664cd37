// SendARP on Linux. With CAP_NET_RAW (or the raw socket opened at start-up) it
// asks on the wire with its own ARP requests, so the answer is always fresh;
// without, it lets the kernel resolve the address and reads the neighbour table.
// Either way it gives up after a bounded time.
#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include "platform/NetworkApi.h"
#include "platform/linux/ArpFrame.h"

namespace rm {

class RawArpSocket;

class LinuxArpResolver : public ArpResolver {
  public:
    // Auto: the raw socket when one can be had, else the kernel's table.
    enum class Path { Auto, Raw, Kernel };
    // Error codes as the original resolver reports them.
    static constexpr uint32_t kInvalidParameter = 87;
    static constexpr uint32_t kNoAnswer = 67;  // ERROR_BAD_NET_NAME

    explicit LinuxArpResolver(Path path = Path::Auto,
                              std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
    ~LinuxArpResolver() override;

    uint32_t SendArp(uint32_t dest, uint32_t src, uint8_t* mac, uint32_t* len) override;
    // Which path the next request takes (Raw or Kernel), once decided.
    Path ActivePath();

  private:
    std::optional<MacAddress> ResolveRaw(uint32_t dest);

    Path path_;
    std::chrono::milliseconds timeout_;
    bool decided_ = false;
    std::shared_ptr<RawArpSocket> socket_;
};

}  // namespace rm
