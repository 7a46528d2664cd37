// The remote-control interfaces of download clients are spoken over plain
// HTTP: one request, one answer, bounded in time. libcurl on Linux, WinHTTP on
// Windows, fakes in the tests. Also the way a worker thread hands a result to
// the window's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rm {

// Header names compare without regard to ASCII letter case.
inline bool SameHeaderName(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

struct HttpHeader {
    std::string name;
    std::string value;
};

struct HttpRequest {
    std::string method;  // "GET" or "POST"
    std::string host;    // a name, IPv4 text or IPv6 text (without brackets)
    uint16_t port = 80;
    std::string path;  // from the first "/", query included
    std::vector<HttpHeader> headers;
    std::string body;
    std::chrono::milliseconds timeout{2000};  // the whole exchange, connecting included
};

// Why no answer came.
enum class HttpFailure { None, Refused, TimedOut, NoSuchHost, Other };

struct HttpResponse {
    HttpFailure failure = HttpFailure::Other;  // None: `status` and the rest hold the answer
    int status = 0;
    std::vector<HttpHeader> headers;
    std::string body;

    // The first value of the header.
    std::optional<std::string> Header(std::string_view name) const {
        for (const HttpHeader& h : headers)
            if (SameHeaderName(h.name, name)) return h.value;
        return std::nullopt;
    }
};

// Plain HTTP to exactly the host and port asked: no proxy, no redirect
// followed, no cookie or credential kept or added, answers of more than a few
// megabytes cut off as failures. Called from worker threads.
class HttpClient {
  public:
    virtual ~HttpClient() = default;
    virtual HttpResponse Send(const HttpRequest& request) = 0;
};

// Runs tasks handed in from any thread on the window's thread, from whichever
// event loop or wait is serving it.
class TaskPoster {
  public:
    virtual ~TaskPoster() = default;
    virtual void Post(std::function<void()> task) = 0;
};

}  // namespace rm
