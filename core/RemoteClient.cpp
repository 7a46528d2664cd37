// What the three protocols share: the answers shown for failed exchanges,
// Basic credentials, form encoding and the requests' common frame.
#include "core/RemoteClient.h"

namespace rm {
namespace remote {

std::string FailureText(const HttpResponse& response) {
    switch (response.failure) {
        case HttpFailure::Refused:
            return "连接被拒绝";
        case HttpFailure::TimedOut:
            return "连接超时";
        case HttpFailure::NoSuchHost:
            return "找不到主机";
        case HttpFailure::Other:
            return "无法连接";
        case HttpFailure::None:
            break;
    }
    switch (response.status) {
        case 401:
            return "401 未授权";
        case 403:
            return "403 禁止访问";
        case 404:
            return "404 未找到";
        default:
            return "HTTP " + std::to_string(response.status);
    }
}

std::string Base64(const std::string& bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 |
                           uint32_t(uint8_t(bytes[i + 1])) << 8 | uint8_t(bytes[i + 2]);
        for (int shift : {18, 12, 6, 0}) out.push_back(kDigits[(v >> shift) & 63]);
    }
    if (i < bytes.size()) {
        const bool two = i + 1 < bytes.size();
        const uint32_t v =
            uint32_t(uint8_t(bytes[i])) << 16 | (two ? uint32_t(uint8_t(bytes[i + 1])) << 8 : 0u);
        out.push_back(kDigits[(v >> 18) & 63]);
        out.push_back(kDigits[(v >> 12) & 63]);
        out.push_back(two ? kDigits[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

std::string FormEncode(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
        }
    }
    return out;
}

bool IsHeaderToken(const std::string& text) {
    if (text.empty() || text.size() > 256) return false;
    for (char c : text)
        if (c < 0x21 || c > 0x7E) return false;
    return true;
}

HttpRequest RequestTo(const ClientAddress& address, std::string method, std::string path) {
    HttpRequest r;
    r.method = std::move(method);
    r.host = address.host;
    r.port = address.port;
    r.path = std::move(path);
    return r;
}

}  // namespace remote

std::unique_ptr<RemoteClient> MakeRemoteClient(const ClientAddress& address, HttpClient& http) {
    switch (address.kind) {
        case ClientKind::Transmission:
            return MakeTransmissionClient(address, http);
        case ClientKind::QBittorrent:
            return MakeQBittorrentClient(address, http);
        case ClientKind::Aria2:
            return MakeAria2Client(address, http);
    }
    return nullptr;
}

}  // namespace rm
