// HttpClient over libcurl: one easy handle per request, plain HTTP only, no
// proxy from the environment (it would see the credentials), no redirect
// followed, no netrc or cookie engine, and a bound on the whole exchange.
#include <curl/curl.h>

#include <cerrno>
#include <mutex>

#include "platform/linux/LinuxPlatform.h"

namespace rm {
namespace {

constexpr size_t kMostBodyBytes = 8 << 20;

struct Exchange {
    HttpResponse response;
    bool tooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* x = static_cast<Exchange*>(user);
    const size_t n = size * count;
    if (x->response.body.size() + n > kMostBodyBytes) {
        x->tooLarge = true;
        return 0;  // ends the transfer with CURLE_WRITE_ERROR
    }
    x->response.body.append(data, n);
    return n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* x = static_cast<Exchange*>(user);
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.starts_with("HTTP/")) {
        x->response.headers.clear();  // a new answer (after "100 Continue", say)
    } else if (const size_t colon = line.find(':'); colon != std::string::npos) {
        size_t start = colon + 1;
        while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
        x->response.headers.push_back({line.substr(0, colon), line.substr(start)});
    }
    return size * count;
}

HttpFailure FailureOf(CURLcode code, long osErrno) {
    switch (code) {
        case CURLE_COULDNT_CONNECT:
            return osErrno == ECONNREFUSED ? HttpFailure::Refused : HttpFailure::Other;
        case CURLE_OPERATION_TIMEDOUT:
            return HttpFailure::TimedOut;
        case CURLE_COULDNT_RESOLVE_HOST:
            return HttpFailure::NoSuchHost;
        default:
            return HttpFailure::Other;
    }
}

class CurlHttpClient : public HttpClient {
  public:
    CurlHttpClient() {
        static std::once_flag once;
        std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    }

    HttpResponse Send(const HttpRequest& request) override {
        Exchange x;
        CURL* curl = curl_easy_init();
        if (!curl) return x.response;
        const std::string host =
            request.host.find(':') != std::string::npos ? "[" + request.host + "]" : request.host;
        const std::string url =
            "http://" + host + ":" + std::to_string(request.port) + request.path;
        curl_slist* headers = curl_slist_append(nullptr, "Expect:");
        for (const HttpHeader& h : request.headers)
            headers = curl_slist_append(headers, (h.name + ": " + h.value).c_str());
        const long ms = long(request.timeout.count());

        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
        curl_easy_setopt(curl, CURLOPT_PROXY, "");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, ms);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, ms);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        if (request.method == "POST") {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(request.body.size()));
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.c_str());
        }
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &x);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &x);

        const CURLcode code = curl_easy_perform(curl);
        if (code == CURLE_OK) {
            long status = 0;
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
            x.response.failure = HttpFailure::None;
            x.response.status = int(status);
        } else {
            long osErrno = 0;
            curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osErrno);
            x.response = HttpResponse{};
            x.response.failure = x.tooLarge ? HttpFailure::Other : FailureOf(code, osErrno);
        }
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
        return x.response;
    }
};

}  // namespace

std::unique_ptr<HttpClient> MakeCurlHttpClient() {
    return std::make_unique<CurlHttpClient>();
}

}  // namespace rm
