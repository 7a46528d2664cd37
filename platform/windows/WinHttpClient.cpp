// HttpClient over WinHTTP: plain HTTP only, no proxy (it would see the
// credentials), no redirect followed, no cookies or credentials of WinHTTP's
// own, each step of the exchange bounded by the request's time limit.
#include <windows.h>
#include <winhttp.h>

#include "platform/windows/WideText.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {
namespace {

constexpr size_t kMostBodyBytes = 8 << 20;

struct Handle {
    HINTERNET h = nullptr;
    ~Handle() {
        if (h) WinHttpCloseHandle(h);
    }
};

HttpFailure FailureOf(DWORD error) {
    switch (error) {
        case ERROR_WINHTTP_CANNOT_CONNECT:
            return HttpFailure::Refused;
        case ERROR_WINHTTP_TIMEOUT:
            return HttpFailure::TimedOut;
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
            return HttpFailure::NoSuchHost;
        default:
            return HttpFailure::Other;
    }
}

// "Name: value" lines after the status line.
std::vector<HttpHeader> ReadHeaders(HINTERNET request) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        nullptr, &size, WINHTTP_NO_HEADER_INDEX);
    std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                             raw.data(), &size, WINHTTP_NO_HEADER_INDEX))
        return {};
    raw.resize(size / sizeof(wchar_t));
    std::vector<HttpHeader> headers;
    size_t start = raw.find(L"\r\n");
    while (start != std::wstring::npos && start + 2 < raw.size()) {
        start += 2;
        const size_t end = raw.find(L"\r\n", start);
        const std::wstring line = raw.substr(start, end - start);
        const size_t colon = line.find(L':');
        if (colon != std::wstring::npos) {
            size_t value = colon + 1;
            while (value < line.size() && line[value] == L' ') ++value;
            headers.push_back(
                {Utf8FromWide(line.substr(0, colon)), Utf8FromWide(line.substr(value))});
        }
        start = end;
    }
    return headers;
}

class WinHttpClient : public HttpClient {
  public:
    WinHttpClient() {
        session_.h = WinHttpOpen(L"router-monitor", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    }

    HttpResponse Send(const HttpRequest& request) override {
        HttpResponse response;
        if (!session_.h) return response;
        Handle connection, handle;
        connection.h = WinHttpConnect(session_.h, WideFromUtf8(request.host).c_str(),
                                      INTERNET_PORT(request.port), 0);
        if (!connection.h) return Failed(response);
        handle.h = WinHttpOpenRequest(connection.h, WideFromUtf8(request.method).c_str(),
                                      WideFromUtf8(request.path).c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
        if (!handle.h) return Failed(response);
        const int ms = int(request.timeout.count());
        WinHttpSetTimeouts(handle.h, ms, ms, ms, ms);
        DWORD features =
            WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_AUTHENTICATION;
        WinHttpSetOption(handle.h, WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);

        std::wstring headers;
        for (const HttpHeader& h : request.headers)
            headers += WideFromUtf8(h.name) + L": " + WideFromUtf8(h.value) + L"\r\n";
        const DWORD length = DWORD(request.body.size());
        if (!WinHttpSendRequest(
                handle.h, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                DWORD(-1), const_cast<char*>(request.body.data()), length, length, 0) ||
            !WinHttpReceiveResponse(handle.h, nullptr))
            return Failed(response);

        DWORD status = 0, size = sizeof status;
        if (!WinHttpQueryHeaders(handle.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                                 WINHTTP_NO_HEADER_INDEX))
            return Failed(response);
        response.headers = ReadHeaders(handle.h);
        for (;;) {
            DWORD available = 0;
            if (!WinHttpQueryDataAvailable(handle.h, &available)) return Failed(response);
            if (available == 0) break;
            if (response.body.size() + available > kMostBodyBytes) {
                response = HttpResponse{};
                return response;
            }
            const size_t at = response.body.size();
            response.body.resize(at + available);
            DWORD read = 0;
            if (!WinHttpReadData(handle.h, response.body.data() + at, available, &read))
                return Failed(response);
            response.body.resize(at + read);
        }
        response.failure = HttpFailure::None;
        response.status = int(status);
        return response;
    }

  private:
    static HttpResponse Failed(HttpResponse& response) {
        const DWORD error = GetLastError();
        response = HttpResponse{};
        response.failure = FailureOf(error);
        return response;
    }

    Handle session_;
};

}  // namespace

std::unique_ptr<HttpClient> MakeWinHttpClient() {
    return std::make_unique<WinHttpClient>();
}

}  // namespace rm
