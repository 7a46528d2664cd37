// router-monitor-arp for real inside the network lab: what it links, what it
// keeps of its privilege, what it refuses, that it serves what it should, and
// tells of a neighbour that forges replies.
// Started as its clients start it: an empty environment, pipes, no shell.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "helper/LabForger.h"

namespace rm {
namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string HelperPath() {
    return Env("RM_BUILD_DIR") + "/router-monitor-arp";
}

std::string Shell(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

// One running helper with its stdin and stdout.
class Helper {
  public:
    // `wrapper`: words put before the helper (e.g. setpriv ... --).
    explicit Helper(const std::vector<std::string>& args,
                    const std::vector<std::string>& wrapper = {}) {
        int in[2], out[2];
        EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        std::vector<std::string> words = wrapper;
        words.push_back(HelperPath());
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        char* envp[] = {nullptr};
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), envp), 0) << argv[0];
        posix_spawn_file_actions_destroy(&fa);
        close(in[0]);
        close(out[1]);
        in_ = in[1];
        out_ = out[0];
    }
    ~Helper() {
        CloseInput();
        if (out_ >= 0) close(out_);
        if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    void Send(const std::string& text) {
        ASSERT_EQ(write(in_, text.data(), text.size()), ssize_t(text.size()));
    }
    void CloseInput() {
        if (in_ >= 0) close(in_);
        in_ = -1;
    }
    // The next line, or "<none>" after `ms` milliseconds, "<eof>" at the end.
    std::string Line(int ms = 3000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            const size_t nl = buf_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buf_.substr(0, nl);
                buf_.erase(0, nl + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return "<none>";
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, int(left)) <= 0) continue;
            char b[512];
            const ssize_t n = read(out_, b, sizeof b);
            if (n <= 0) return "<eof>";
            buf_.append(b, size_t(n));
        }
    }
    // Exit status, waiting up to `ms`; -1 when it still runs.
    int Exit(int ms = 3000) {
        for (int waited = 0; waited <= ms; waited += 10) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }

  private:
    pid_t pid_ = 0;
    int in_ = -1, out_ = -1;
    std::string buf_;
};

class HelperLab : public ::testing::Test {
  protected:
    void SetUp() override {
        if (Env("RM_LAB_NAME").empty()) GTEST_SKIP() << "not inside the network lab";
        prefix = Env("RM_LAB_PREFIX");
    }
    std::string Ready() const {
        return "ready " + Env("RM_LAB_IFACE") + " " + Env("RM_LAB_SCANNER_MAC") + " " +
               Env("RM_LAB_SCANNER_IP");
    }
    std::string prefix;
};

TEST_F(HelperLab, LinksNoQtAndKeepsNoCapabilityOnceReady) {
    const std::string libs = Shell("ldd " + HelperPath());
    ASSERT_NE(libs.find("libc.so"), std::string::npos) << libs;
    EXPECT_EQ(libs.find("Qt"), std::string::npos) << libs;
    std::istringstream lines(libs);
    for (std::string l; std::getline(lines, l);) {
        const bool allowed =
            l.find("libc.so") != std::string::npos || l.find("libstdc++") != std::string::npos ||
            l.find("libcap.so") != std::string::npos || l.find("libgcc_s") != std::string::npos ||
            l.find("libm.so") != std::string::npos || l.find("vdso") != std::string::npos ||
            l.find("ld-linux") != std::string::npos;
        EXPECT_TRUE(allowed) << l;
    }

    Helper h({prefix});
    ASSERT_EQ(h.Line(), Ready());
    std::ifstream status("/proc/" + std::to_string(h.pid()) + "/status");
    std::map<std::string, std::string> fields;
    for (std::string l; std::getline(status, l);) {
        const size_t colon = l.find(':');
        if (colon == std::string::npos) continue;
        std::string v = l.substr(colon + 1);
        v.erase(0, v.find_first_not_of(" \t"));
        fields[l.substr(0, colon)] = v;
    }
    for (const char* set : {"CapEff", "CapPrm", "CapInh", "CapAmb", "CapBnd"})
        EXPECT_EQ(fields[set], "0000000000000000") << set;
    EXPECT_EQ(fields["NoNewPrivs"], "1");
    // Its environment is empty, as its clients start it.
    std::ifstream environ("/proc/" + std::to_string(h.pid()) + "/environ");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(environ), {}), "");
}

TEST_F(HelperLab, RefusesNetworksItIsNotOnAtStart) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"10.99.0."},
                                               {prefix.substr(0, prefix.size() - 1)},
                                               {"10.77.00."},
                                               {"10.77."},
                                               {""},
                                               {},
                                               {prefix, prefix}}) {
        Helper h(args);
        const std::string line = h.Line();
        EXPECT_EQ(line.rfind("refused ", 0), 0u) << line;
        EXPECT_EQ(h.Exit(), 2) << line;
    }
}

TEST_F(HelperLab, RefusesBadRequestsAndKeepsServing) {
    Helper h({prefix});
    ASSERT_EQ(h.Line(), Ready());
    const std::string other = "10.99.0.";
    const std::map<std::string, std::string> refusals = {
        {"sweep 1 " + other + " 1 20", "refused 1 not on this network"},
        {"sweep 2 " + prefix + " 0 256", "refused 2 malformed"},
        {"sweep 3 " + prefix + " 20 10", "refused 3 malformed"},
        {"sweep 4 " + prefix + " -1 10", "refused 4 malformed"},
        {"sweep 5 " + prefix + " 010 20", "refused 5 malformed"},
        {"sweep 6 " + prefix + " 1", "refused 6 malformed"},
        {"probe 7 10.99.0.1", "refused 7 not on this network"},
        {"probe 8 " + Env("RM_LAB_SCANNER_IP"), "refused 8 own address"},
        {"probe 9 " + prefix + "300", "refused 9 malformed"},
        {"send 10 anything", "refused 10 unknown request"},
        {"probe x " + prefix + "11", "error malformed request"},
        {"hello", "error malformed request"},
        {"", "error malformed request"},
        {"probe  11 " + prefix + "11", "error malformed request"},
        {"probe 1234567890 " + prefix + "11", "error malformed request"},
    };
    for (const auto& [request, answer] : refusals) {
        h.Send(request + "\n");
        EXPECT_EQ(h.Line(), answer) << request;
    }
    // Still serving: a probe and a sweep of the lab's hosts.
    const std::string h1 = Env("RM_LAB_HOSTS").substr(0, Env("RM_LAB_HOSTS").find(' '));
    const std::string ip = h1.substr(0, h1.find('=')), mac = h1.substr(h1.find('=') + 1);
    h.Send("probe 20 " + ip + "\n");
    EXPECT_EQ(h.Line(), "mac 20 " + ip + " " + mac);
    h.Send("probe 21 " + prefix + "99\n");
    EXPECT_EQ(h.Line(), "none 21 " + prefix + "99");
    h.Send("sweep 22 " + prefix + " 10 11\n");
    EXPECT_EQ(h.Line(), "host 22 11 " + mac);
    EXPECT_EQ(h.Line(), "done 22");
}

TEST_F(HelperLab, RefusesModeWordsItDoesNotKnow) {
    Helper h({prefix});
    ASSERT_EQ(h.Line(), Ready());
    const std::vector<std::pair<std::string, std::string>> refusals = {
        {"sweep 1 " + prefix + " 1 20 loud", "refused 1 unknown mode"},
        {"sweep 2 " + prefix + " 1 20 Monitor", "refused 2 unknown mode"},
        {"sweep 3 " + prefix + " 1 20 ", "refused 3 unknown mode"},
        {"sweep 4 " + prefix + " 1 20 monitor gentle", "refused 4 malformed"},
        {"sweep 5 " + prefix + " 1 20 thorough", "refused 5 unknown mode"},
        {"sweep 6 10.99.0. 1 20 gentle", "refused 6 not on this network"},
    };
    for (const auto& [request, answer] : refusals) {
        h.Send(request + "\n");
        EXPECT_EQ(h.Line(), answer) << request;
    }
    const std::string h1 = Env("RM_LAB_HOSTS").substr(0, Env("RM_LAB_HOSTS").find(' '));
    const std::string mac = h1.substr(h1.find('=') + 1);
    for (const char* mode : {"gentle", "monitor"}) {
        h.Send("sweep 7 " + prefix + " 10 11 " + mode + "\n");
        EXPECT_EQ(h.Line(), "host 7 11 " + mac) << mode;
        EXPECT_EQ(h.Line(), "done 7") << mode;
    }
}

// Broadcasts no longer reach host 1 (the bridge drops them on its port, as a
// sleeping phone misses them): the monitor's sweep still finds it by unicast to
// the MAC it answered from, the other schedules do not; unicasts go to that MAC
// alone, never to an address that did not answer.
class HelperUnicastLab : public HelperLab {
  protected:
    void TearDown() override {
        if (!Env("RM_LAB_NAME").empty()) Nft("delete table bridge unicast_test");
    }
    static std::string Nft(const std::string& args) {
        return Shell(Env("RM_LAB_SCRIPT") + " in " + Env("RM_LAB_NAME") + " br nft " + args +
                     " 2>&1");
    }
    // Loads `rules` into the lab's bridge: "" when it took them, else nft's complaint.
    static std::string Load(const std::string& rules) {
        const std::string file = "/tmp/unicast_test.nft." + std::to_string(getpid());
        std::ofstream(file) << rules;
        const std::string loaded = Nft("-f " + file);
        std::remove(file.c_str());
        return loaded;
    }
    static long Counter(const std::string& chain) {
        const std::string out = Nft("list chain bridge unicast_test " + chain);
        const size_t at = out.find("packets ");
        return at == std::string::npos ? -1 : std::atol(out.c_str() + at + 8);
    }
};

TEST_F(HelperUnicastLab, KnownDevicesAreFoundByUnicastToTheirProvenMac) {
    const std::string h1 = Env("RM_LAB_HOSTS").substr(0, Env("RM_LAB_HOSTS").find(' '));
    const std::string mac = h1.substr(h1.find('=') + 1);
    std::string colons = mac;
    for (char& c : colons) c = c == '-' ? ':' : char(std::tolower(c));
    Helper h({prefix});
    ASSERT_EQ(h.Line(), Ready());
    // The first sweep learns host 1 (.11); .15 .. .20 nobody holds.
    h.Send("sweep 1 " + prefix + " 11 20 monitor\n");
    std::vector<std::string> lines;
    for (std::string l = h.Line(); l != "done 1" && l != "<none>"; l = h.Line()) lines.push_back(l);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "host 1 11 " + mac), lines.end());

    const std::string rules =
        "add table bridge unicast_test\n"
        "add chain bridge unicast_test passing { type filter hook forward priority -10; }\n"
        "add rule bridge unicast_test passing oifname \"p-h1\" ether daddr ff:ff:ff:ff:ff:ff "
        "drop\n"
        "add chain bridge unicast_test uni\n"
        "add chain bridge unicast_test other\n"
        "add rule bridge unicast_test passing iifname \"p-scan\" ether daddr " +
        colons + " jump uni\n" +
        "add rule bridge unicast_test passing iifname \"p-scan\" ether daddr != { " + colons +
        ", ff:ff:ff:ff:ff:ff } jump other\n"
        "add rule bridge unicast_test uni counter\n"
        "add rule bridge unicast_test other counter\n";
    const std::string loaded = Load(rules);
    ASSERT_EQ(loaded, "") << loaded;

    for (const char* mode : {"", " gentle"}) {
        h.Send(std::string("sweep 2 ") + prefix + " 11 11" + mode + "\n");
        EXPECT_EQ(h.Line(), "done 2") << "mode:" << mode;
    }
    EXPECT_EQ(Counter("uni"), 0);
    h.Send("sweep 3 " + prefix + " 11 20 monitor\n");
    lines.clear();
    for (std::string l = h.Line(); l != "done 3" && l != "<none>"; l = h.Line()) lines.push_back(l);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "host 3 11 " + mac), lines.end());
    EXPECT_GE(Counter("uni"), 1);
    EXPECT_EQ(Counter("other"), 0);
}

TEST_F(HelperLab, ANewRequestAbandonsTheRunningSweep) {
    Helper h({prefix});
    ASSERT_EQ(h.Line(), Ready());
    // The whole /24: its silent numbers would keep the sweep busy for 1150 ms.
    h.Send("sweep 1 " + prefix + " 0 255\nprobe 2 " + prefix + "99\n");
    std::vector<std::string> lines;
    for (std::string l = h.Line(); l != "<none>" && l.rfind("none 2", 0) != 0; l = h.Line())
        lines.push_back(l);
    for (const std::string& l : lines) EXPECT_NE(l, "done 1");
    EXPECT_EQ(h.Line(500), "<none>");
}

TEST_F(HelperLab, OverLongLineEndsIt) {
    Helper h({prefix});
    ASSERT_EQ(h.Line(), Ready());
    h.Send("probe 1 " + std::string(200, '1'));  // no newline yet: the length alone decides
    EXPECT_EQ(h.Line(), "error line too long");
    EXPECT_EQ(h.Exit(), 2);
}

TEST_F(HelperLab, EndOfInputEndsIt) {
    Helper h({prefix});
    ASSERT_EQ(h.Line(), Ready());
    h.Send("sweep 1 " + prefix + " 0 255\n");
    h.CloseInput();
    EXPECT_EQ(h.Exit(1000), 0);
}

TEST_F(HelperLab, WithoutTheCapabilityItIsUnavailable) {
    Helper h({prefix}, {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                        "--inh-caps=-all", "--"});
    EXPECT_EQ(h.Line(), "unavailable no CAP_NET_RAW");
    EXPECT_EQ(h.Exit(), 0);
}

// Sweep `tag` ("first last mode" in `args`): its lines up to its "done" (or
// nothing more within 3 s).
std::vector<std::string> Sweep(Helper& h, const std::string& tag, const std::string& args) {
    h.Send("sweep " + tag + " " + args + "\n");
    std::vector<std::string> lines;
    for (std::string l = h.Line(); l != "done " + tag && l != "<none>"; l = h.Line())
        lines.push_back(l);
    return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string HostMac(int k) {  // host k's MAC text, as netlab.sh gives it
    char text[18];
    std::snprintf(text, sizeof text, "02-52-4D-00-00-%02X", k);
    return text;
}

// A neighbour (host 2's namespace) floods replies that pass every check, for
// the router's address and host 1's, from a MAC of its own. The probe of the
// router still gives the router's MAC, every time; a sweep lists the known
// MACs and says "conflict" for both addresses; no unicast goes to the liar.
TEST_F(HelperUnicastLab, ForgedRouterAndHostRepliesAreConflictsThatChangeNothing) {
    const uint32_t me = inet_addr(Env("RM_LAB_SCANNER_IP").c_str());
    const MacAddress myMac = *ParseMacText(Env("RM_LAB_SCANNER_MAC"));
    const MacAddress liar{0x02, 0x52, 0x4d, 0x00, 0xAA, 0x99};
    const std::string router = Env("RM_LAB_ROUTER_IP"), routerMac = Env("RM_LAB_ROUTER_MAC");
    auto forged = [&](const std::string& ip) {
        lab::ForgedFrame f{myMac, liar, liar, inet_addr(ip.c_str()), me};
        f.targetMac = myMac;
        return f.Bytes();
    };
    const std::string loaded = Load(
        "add table bridge unicast_test\n"
        "add chain bridge unicast_test passing { type filter hook forward priority -10; }\n"
        "add rule bridge unicast_test passing iifname \"p-scan\" ether daddr "
        "02:52:4d:00:aa:99 counter\n");
    ASSERT_EQ(loaded, "") << loaded;

    Helper h({prefix});
    ASSERT_EQ(h.Line(), Ready());
    auto lines = Sweep(h, "1", prefix + " 0 20 monitor");  // known before the liar speaks
    ASSERT_TRUE(Has(lines, "host 1 1 " + routerMac));
    ASSERT_TRUE(Has(lines, "host 1 11 " + HostMac(1)));

    const pid_t child = lab::SendFrom(Env("RM_LAB_NAME") + "-h2",
                                      {forged(router), forged(prefix + "11")}, 5000);
    usleep(50 * 1000);
    for (int i = 0; i < 5; ++i) {
        const std::string tag = std::to_string(10 + i);
        h.Send("probe " + tag + " " + router + "\n");
        std::string line = h.Line();
        if (line.rfind("conflict ", 0) == 0) {
            EXPECT_EQ(line, "conflict " + tag + " " + router + " 02-52-4D-00-AA-99");
            line = h.Line();
        }
        EXPECT_EQ(line, "mac " + tag + " " + router + " " + routerMac);
    }
    for (const char* mode : {"monitor", "follow"}) {
        lines = Sweep(h, "2", prefix + " 0 20 " + mode);
        for (const std::string& want : {"host 2 1 " + routerMac, "host 2 11 " + HostMac(1),
                                        std::string("conflict 2 1 02-52-4D-00-AA-99"),
                                        std::string("conflict 2 11 02-52-4D-00-AA-99")})
            EXPECT_TRUE(Has(lines, want)) << mode << ": " << want;
    }
    EXPECT_EQ(lab::Reap(child), 0);
    EXPECT_EQ(Counter("passing"), 0) << "a unicast went to the liar";
}

}  // namespace
}  // namespace rm
