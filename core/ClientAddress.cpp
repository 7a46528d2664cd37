// Strict reading of a download client's address: what is not plainly one of
// the three forms is refused, since the parts end up in request lines, headers
// and JSON, and the credentials must reach only the host the user named.
#include "core/ClientAddress.h"

#include <array>
#include <cstring>

namespace rm {
namespace {

struct Scheme {
    std::string_view prefix;
    ClientKind kind;
    uint16_t port;
};
constexpr std::array<Scheme, 3> kSchemes = {{{"transmission://", ClientKind::Transmission, 9091},
                                             {"qbittorrent://", ClientKind::QBittorrent, 8080},
                                             {"aria2://", ClientKind::Aria2, 6800}}};
constexpr size_t kMaxLength = 2048;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAlnum(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

const Scheme* SchemeOf(std::string_view text) {
    for (const Scheme& s : kSchemes) {
        if (text.size() < s.prefix.size()) continue;
        bool same = true;
        for (size_t i = 0; i < s.prefix.size() && same; ++i) same = Lower(text[i]) == s.prefix[i];
        if (same) return &s;
    }
    return nullptr;
}

// Percent-decodes one part of the user information; raw characters are those
// RFC 3986 allows there, and nothing may decode to a control character.
std::optional<std::string> DecodeUserPart(std::string_view raw) {
    static constexpr std::string_view kRaw = "-._~!$&'()*+,;=";
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '%') {
            if (i + 2 >= raw.size()) return std::nullopt;
            const int hi = HexValue(raw[i + 1]), lo = HexValue(raw[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            const auto byte = static_cast<unsigned char>(hi * 16 + lo);
            if (byte < 0x20 || byte == 0x7F) return std::nullopt;
            out.push_back(static_cast<char>(byte));
            i += 2;
        } else if (IsAlnum(c) || kRaw.find(c) != std::string_view::npos) {
            out.push_back(c);
        } else {
            return std::nullopt;
        }
    }
    return out;
}

bool IsDottedQuad(std::string_view text) {
    int parts = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('.', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view part = text.substr(start, end - start);
        if (part.empty() || part.size() > 3 || ++parts > 4) return false;
        int value = 0;
        for (char c : part) {
            if (!IsDigit(c)) return false;
            value = value * 10 + (c - '0');
        }
        if (value > 255 || (part.size() > 1 && part[0] == '0')) return false;
        start = end + 1;
    }
    return parts == 4;
}

// Eight groups of one to four hexadecimal digits, at most one "::" standing
// for one or more groups of zeros, the last two groups optionally as IPv4.
bool IsIpv6(std::string_view text) {
    if (text.size() < 2 || text.size() > 45) return false;
    const size_t gap = text.find("::");
    if (gap != std::string_view::npos && text.find("::", gap + 1) != std::string_view::npos)
        return false;
    auto countGroups = [](std::string_view part, bool mayEndInQuad, int* groups) {
        *groups = 0;
        if (part.empty()) return true;
        size_t start = 0;
        for (;;) {
            size_t end = part.find(':', start);
            const bool last = end == std::string_view::npos;
            if (last) end = part.size();
            const std::string_view group = part.substr(start, end - start);
            if (last && mayEndInQuad && group.find('.') != std::string_view::npos) {
                if (!IsDottedQuad(group)) return false;
                *groups += 2;
                return true;
            }
            if (group.empty() || group.size() > 4) return false;
            for (char c : group)
                if (HexValue(c) < 0) return false;
            ++*groups;
            if (last) return true;
            start = end + 1;
        }
    };
    int head = 0, tail = 0;
    if (gap == std::string_view::npos) return countGroups(text, true, &head) && head == 8;
    return countGroups(text.substr(0, gap), false, &head) &&
           countGroups(text.substr(gap + 2), true, &tail) && head + tail <= 7;
}

// A host name of letters, digits and hyphens in dot-separated labels, or an
// IPv4 address when it is all digits and dots.
bool IsHostName(std::string_view text) {
    if (text.empty() || text.size() > 253) return false;
    bool allNumeric = true;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('.', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view label = text.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (char c : label) {
            if (!IsAlnum(c) && c != '-') return false;
            if (!IsDigit(c)) allNumeric = false;
        }
        start = end + 1;
    }
    return !allNumeric || IsDottedQuad(text);
}

std::optional<uint16_t> ReadPort(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + unsigned(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

}  // namespace

std::string ClientAddress::UrlHost() const {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

std::string ClientAddress::Origin() const {
    return "http://" + UrlHost() + ":" + std::to_string(port);
}

std::string ClientAddress::DaemonKey() const {
    return std::to_string(int(kind)) + " " + Origin();
}

bool IsClientAddress(std::string_view text) {
    return SchemeOf(text) != nullptr;
}

std::optional<ClientAddress> ParseClientAddress(std::string_view text) {
    const Scheme* scheme = SchemeOf(text);
    if (!scheme || text.size() > kMaxLength) return std::nullopt;
    ClientAddress address;
    address.kind = scheme->kind;
    address.port = scheme->port;

    std::string_view rest = text.substr(scheme->prefix.size());
    if (rest.ends_with('/')) rest.remove_suffix(1);  // "host:port/" as browsers write it

    const size_t at = rest.find('@');
    if (at != std::string_view::npos) {
        const std::string_view info = rest.substr(0, at);
        rest = rest.substr(at + 1);
        if (rest.find('@') != std::string_view::npos) return std::nullopt;
        const size_t colon = info.find(':');
        std::string_view user = info, password;
        if (colon != std::string_view::npos) {
            // aria2 has a secret and no user: a colon would only be a mistyped "token:".
            if (address.kind == ClientKind::Aria2) return std::nullopt;
            user = info.substr(0, colon);
            password = info.substr(colon + 1);
        }
        auto decodedUser = DecodeUserPart(user);
        auto decodedPassword = DecodeUserPart(password);
        if (!decodedUser || !decodedPassword || decodedUser->empty()) return std::nullopt;
        address.hasUser = true;
        if (address.kind == ClientKind::Aria2) {
            address.password = std::move(*decodedUser);
        } else {
            // Basic authentication cannot carry a colon in the user name.
            if (decodedUser->find(':') != std::string::npos) return std::nullopt;
            address.user = std::move(*decodedUser);
            address.password = std::move(*decodedPassword);
        }
    }

    std::string_view portText;
    bool hasPort = false;
    if (rest.starts_with('[')) {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        const std::string_view v6 = rest.substr(1, close - 1);
        if (!IsIpv6(v6)) return std::nullopt;
        address.host = std::string(v6);
        rest = rest.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            portText = rest.substr(1);
            hasPort = true;
        }
    } else {
        const size_t colon = rest.find(':');
        const std::string_view host = rest.substr(0, colon);
        if (!IsHostName(host)) return std::nullopt;
        address.host = std::string(host);
        if (colon != std::string_view::npos) {
            portText = rest.substr(colon + 1);
            hasPort = true;
        }
    }
    if (hasPort) {
        const auto port = ReadPort(portText);
        if (!port) return std::nullopt;
        address.port = *port;
    }
    return address;
}

}  // namespace rm
