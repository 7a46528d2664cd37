// Texts and small steps shared by the scan and its reactions: the messages of
// the status line and the router guess of the selected network.
#pragma once

#include <string>
#include <string_view>

#include "core/Form1Controls.h"

namespace rm {

inline constexpr std::string_view kRouterChangedText = "检测到AP已更换，扫描新AP";
inline constexpr std::string_view kNoNetworkText = "未找到本机网络";
inline constexpr std::string_view kUnknownVerdict = "未知";

// The router is taken to be host 1 of the selected network; empty when no
// network is selected (the machine has no IPv4 address).
inline std::string RouterGuess(Form1Controls& form) {
    if (form.ListIndex(Control::Combo1) < 0) return {};
    return form.Text(Control::Combo1) + "1";
}

}  // namespace rm
