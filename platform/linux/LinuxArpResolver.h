// SendARP on Linux. Where router-monitor-arp can serve the address's /24 it
// asks on the wire with its own ARP requests, so the answer is always fresh;
// otherwise it lets the kernel resolve the address and reads the neighbour
// table. Either way it gives up after a bounded time.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "core/ArpFrame.h"
#include "core/NetworkApi.h"

namespace rm {

class ArpHelperClient;

class LinuxArpResolver : public ArpResolver {
  public:
    // Auto: the helper when it can serve the address's /24, else the kernel's
    // table. Raw: the helper only (no answer without it).
    enum class Path { Auto, Raw, Kernel };
    // Error codes as the original resolver reports them.
    static constexpr uint32_t kInvalidParameter = 87;
    static constexpr uint32_t kNoAnswer = 67;  // ERROR_BAD_NET_NAME

    // `helperPath` empty: router-monitor-arp beside this program.
    explicit LinuxArpResolver(Path path = Path::Auto,
                              std::chrono::milliseconds timeout = std::chrono::milliseconds(1000),
                              std::string helperPath = {});
    // Through `helper`, a client that others (the range scanner) may share.
    LinuxArpResolver(std::shared_ptr<ArpHelperClient> helper, Path path = Path::Auto,
                     std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
    ~LinuxArpResolver() override;

    uint32_t SendArp(uint32_t dest, uint32_t src, uint8_t* mac, uint32_t* len) override;
    // The path of the last request (Raw or Kernel); for Auto, Kernel until a
    // request went through the helper.
    Path ActivePath() const;

  private:
    Path path_;
    Path last_ = Path::Kernel;
    std::chrono::milliseconds timeout_;
    std::shared_ptr<ArpHelperClient> helper_;
};

}  // namespace rm
