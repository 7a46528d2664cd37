// Starting router-monitor-arp, talking its line protocol, and checking every
// line it prints.
#include "platform/linux/ArpHelperClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <vector>

namespace rm {

namespace {

constexpr uint32_t kMask24 = 0x00FFFFFF;  // network byte order
constexpr size_t kMaxLine = 128;
// A helper starts in a few milliseconds; the wait stays well inside the time
// limits of a probe (1 s) and a sweep (1150 ms).
constexpr std::chrono::milliseconds kReadyWait{400};

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t at = 0;
    while (at <= line.size()) {
        const size_t sp = line.find(' ', at);
        const size_t end = sp == std::string_view::npos ? line.size() : sp;
        out.push_back(line.substr(at, end - at));
        if (sp == std::string_view::npos) break;
        at = sp + 1;
    }
    return out;
}

bool ParseNumber(std::string_view text, uint32_t max, uint32_t& out) {
    if (text.empty() || text.size() > 10) return false;
    if (text.size() > 1 && text[0] == '0') return false;
    uint64_t v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || p != text.data() + text.size() || v > max) return false;
    out = uint32_t(v);
    return true;
}

std::optional<uint32_t> ParseIp(std::string_view text) {
    if (text.size() > 15) return std::nullopt;
    const std::string s(text);
    in_addr a{};
    if (inet_pton(AF_INET, s.c_str(), &a) != 1) return std::nullopt;
    return a.s_addr;
}

std::string IpText(uint32_t ip) {
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &ip, buf, sizeof buf);
    return buf;
}

// A MAC some device may own: not zero, not a group address.
std::optional<MacAddress> ParseDeviceMac(std::string_view text) {
    auto mac = ParseMacText(text);
    if (!mac || ((*mac)[0] & 0x01)) return std::nullopt;
    bool zero = true;
    for (uint8_t b : *mac) zero = zero && b == 0;
    if (zero) return std::nullopt;
    return mac;
}

bool InterfaceNameOk(std::string_view name) {
    if (name.empty() || name.size() > 15) return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-' || c == '@' ||
                        c == ':';
        if (!ok) return false;
    }
    return true;
}

// A write to a helper that has died raises SIGPIPE, which would end the whole
// program: it is held back on this thread and taken off again.
bool WriteAll(int fd, const std::string& text) {
    sigset_t pipeSet, old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    bool ok = true;
    for (size_t off = 0; off < text.size();) {
        const ssize_t n = write(fd, text.data() + off, text.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        off += size_t(n);
    }
    if (!ok) {
        const timespec zero{};
        sigtimedwait(&pipeSet, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

}  // namespace

ArpHelperClient::ArpHelperClient(std::string helperPath)
    : path_(helperPath.empty() ? BesideThisProgram() : std::move(helperPath)) {}

ArpHelperClient::~ArpHelperClient() {
    Stop();
}

std::string ArpHelperClient::BesideThisProgram() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string self(buf, size_t(n));
    const size_t slash = self.rfind('/');
    if (slash == std::string::npos) return {};
    return self.substr(0, slash + 1) + kHelperName;
}

pid_t ArpHelperClient::pid() const {
    std::lock_guard lock(mutex_);
    return pid_;
}

std::string ArpHelperClient::lastRefusal() const {
    std::lock_guard lock(mutex_);
    return refusal_;
}

bool ArpHelperClient::ServeNetworkOf(uint32_t ip) {
    std::lock_guard lock(mutex_);
    const uint32_t network = ip & kMask24;
    if (pid_ != 0 && network_ == network) return true;
    if (failedNetwork_ && *failedNetwork_ == network) return false;
    Stop();
    if (Start(network)) {
        failedNetwork_.reset();
        return true;
    }
    Stop();
    failedNetwork_ = network;
    return false;
}

bool ArpHelperClient::Start(uint32_t network) {
    refusal_.clear();
    if (path_.empty() || access(path_.c_str(), X_OK) != 0) {
        refusal_ = "no helper at " + path_;
        return false;
    }
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return false;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return false;
    }
    std::string prefix = IpText(network);
    prefix.resize(prefix.rfind('.') + 1);  // "10.77.0.0" -> "10.77.0."

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, in[0], 0);
    posix_spawn_file_actions_adddup2(&files, out[1], 1);
    // Whatever else this process holds open (a library may have left a
    // descriptor without O_CLOEXEC) stays out of the privileged helper.
    posix_spawn_file_actions_addclosefrom_np(&files, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::string arg0 = kHelperName;
    char* argv[] = {arg0.data(), prefix.data(), nullptr};
    char* envp[] = {nullptr};
    pid_t pid = 0;
    const int r = posix_spawn(&pid, path_.c_str(), &files, &attr, argv, envp);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attr);
    close(in[0]);
    close(out[1]);
    if (r != 0) {
        close(in[1]);
        close(out[0]);
        refusal_ = "could not start " + path_;
        return false;
    }
    pid_ = pid;
    toHelper_ = in[1];
    fromHelper_ = out[0];
    buffer_.clear();
    network_ = network;

    std::string line;
    if (ReadLine(line, Clock::now() + kReadyWait) != Read::Line) {
        refusal_ = "no answer from " + path_;
        return false;
    }
    // "ready IFNAME MAC IP", the address inside the asked /24.
    const auto w = Words(line);
    if (w.size() >= 1 && w[0] != "ready") {
        refusal_ = line;
        return false;
    }
    const auto ip = w.size() == 4 ? ParseIp(w[3]) : std::nullopt;
    if (w.size() != 4 || !InterfaceNameOk(w[1]) || !ParseDeviceMac(w[2]) || !ip ||
        (*ip & kMask24) != network) {
        refusal_ = "malformed: " + line;
        return false;
    }
    ownIp_ = *ip;
    return true;
}

void ArpHelperClient::Stop() {
    if (toHelper_ >= 0) close(toHelper_);  // end of input: the helper exits
    if (fromHelper_ >= 0) close(fromHelper_);
    toHelper_ = fromHelper_ = -1;
    if (pid_ == 0) return;
    for (int i = 0; i < 50; ++i) {
        const pid_t r = waitpid(pid_, nullptr, WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD)) {
            pid_ = 0;
            return;
        }
        usleep(2000);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
}

bool ArpHelperClient::WriteLine(const std::string& line) {
    return toHelper_ >= 0 && WriteAll(toHelper_, line + "\n");
}

ArpHelperClient::Read ArpHelperClient::ReadLine(std::string& line, Clock::time_point deadline) {
    for (;;) {
        const size_t nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            if (line.size() > kMaxLine) return Read::Dead;
            return Read::Line;
        }
        if (buffer_.size() > kMaxLine || fromHelper_ < 0) return Read::Dead;
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Read::Timeout;
        pollfd p{fromHelper_, POLLIN, 0};
        const int r = poll(&p, 1, int(std::min<int64_t>(left, 40)));
        if (r < 0 && errno != EINTR) return Read::Dead;
        if (r <= 0) continue;
        char buf[512];
        const ssize_t n = read(fromHelper_, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return Read::Dead;
        buffer_.append(buf, size_t(n));
    }
}

std::optional<MacAddress> ArpHelperClient::Probe(uint32_t ip, Clock::time_point deadline) {
    std::unique_lock lock(mutex_, std::defer_lock);
    if (!lock.try_lock_until(deadline)) return std::nullopt;
    if (pid_ == 0 || (ip & kMask24) != network_) return std::nullopt;
    const std::string tag = std::to_string(++nextTag_);
    const std::string address = IpText(ip);
    if (!WriteLine("probe " + tag + " " + address)) {
        Stop();
        return std::nullopt;
    }
    std::string line;
    for (;;) {
        const Read r = ReadLine(line, deadline);
        if (r == Read::Timeout) return std::nullopt;
        if (r == Read::Dead) {
            Stop();
            return std::nullopt;
        }
        const auto w = Words(line);
        if (w.size() < 2 || w[1] != tag) continue;  // an answer to an earlier request
        if (w.size() == 4 && w[0] == "conflict") continue;  // the mac line follows
        if (w.size() == 4 && w[0] == "mac" && w[2] == address) {
            if (auto mac = ParseDeviceMac(w[3])) return mac;
        }
        return std::nullopt;  // none, refused, or nonsense: no answer
    }
}

bool ArpHelperClient::Sweep(int first, int last, Clock::time_point deadline, const HostFn& host,
                            const std::atomic<bool>& cancelled, std::string_view modeWord,
                            const HostFn& conflict) {
    std::unique_lock lock(mutex_, std::defer_lock);
    if (!lock.try_lock_until(deadline)) return true;  // nothing heard in time
    if (pid_ == 0 || first < 0 || last > 255 || first > last) return false;
    for (char c : modeWord) {
        if (c < 'a' || c > 'z') return false;  // one word, never a second request
    }
    const std::string tag = std::to_string(++nextTag_);
    std::string prefix = IpText(network_);
    prefix.resize(prefix.rfind('.') + 1);
    std::string request =
        "sweep " + tag + " " + prefix + " " + std::to_string(first) + " " + std::to_string(last);
    if (!modeWord.empty()) request += " " + std::string(modeWord);
    if (!WriteLine(request)) {
        Stop();
        return false;
    }
    std::vector<bool> heard(size_t(last - first + 1), false);
    std::string line;
    while (!cancelled) {
        // Short reads, so that cancellation is seen within a slice.
        const auto until = std::min(deadline, Clock::now() + std::chrono::milliseconds(40));
        const Read r = ReadLine(line, until);
        if (r == Read::Dead) {
            Stop();
            return false;
        }
        if (r == Read::Timeout) {
            if (Clock::now() >= deadline) return true;
            continue;
        }
        const auto w = Words(line);
        if (w.size() < 2 || w[1] != tag) continue;  // late lines of an earlier request
        if (w[0] == "done" && w.size() == 2) return true;
        uint32_t number = 0;
        if ((w[0] != "host" && w[0] != "conflict") || w.size() != 4 ||
            !ParseNumber(w[2], 255, number))
            continue;
        const auto mac = ParseDeviceMac(w[3]);
        if (!mac || int(number) < first || int(number) > last) continue;
        if (w[0] == "conflict") {
            if (conflict) conflict(int(number), *mac);
            continue;
        }
        if (heard[number - first]) continue;
        heard[number - first] = true;
        host(int(number), *mac);
    }
    return true;
}

}  // namespace rm
