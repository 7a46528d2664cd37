// Sweeps in the network lab (run inside its scanner namespace by netlab.sh):
// exact entries for present, absent and departed hosts on the raw path, the
// unprivileged path, a sweep racing the one before it, loss, and the command.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <map>

#include "helper/LabForger.h"
#include "scanner/ArpRangeScanner.h"
#include "scanner/RecordedList.h"

namespace rm {
namespace {

QString Env(const char* name) {
    return qEnvironmentVariable(name);
}

// Expected MAC text by host number: the router, this machine and the lab's hosts.
std::map<int, QString> LabMacs() {
    std::map<int, QString> macs;
    auto number = [](const QString& ip) { return ip.section('.', 3).toInt(); };
    macs[number(Env("RM_LAB_ROUTER_IP"))] = Env("RM_LAB_ROUTER_MAC");
    macs[number(Env("RM_LAB_SCANNER_IP"))] = Env("RM_LAB_SCANNER_MAC");
    for (const QString& pair : Env("RM_LAB_HOSTS").split(' ', Qt::SkipEmptyParts))
        macs[number(pair.section('=', 0, 0))] = pair.section('=', 1);
    return macs;
}

int Lab(const QStringList& args) {
    return QProcess::execute(Env("RM_LAB_SCRIPT"),
                             QStringList{args[0], Env("RM_LAB_NAME")} + args.mid(1));
}

QStringList Lines(const RecordedList& list) {
    return list.Lines();
}

class ScanLab : public ::testing::Test {
  protected:
    void SetUp() override {
        if (Env("RM_LAB_NAME").isEmpty()) GTEST_SKIP() << "not inside the network lab";
        prefix_ = Env("RM_LAB_PREFIX").toLatin1();
    }
    void TearDown() override {
        if (Env("RM_LAB_NAME").isEmpty()) return;
        Lab({"loss", "0"});
        for (const char* h : {"h1", "h2", "h3", "h4"}) Lab({"join", h});
        // Host 3's own MAC back, where a test gave it another.
        Lab({"in", "h3", "ip", "link", "set", "eth0", "address", "02:52:4d:00:00:03"});
    }

    // Raw ARP through router-monitor-arp beside this test (the lab runs as
    // root, so the helper gets its capability).
    static std::unique_ptr<ArpRangeScanner> RawScanner() {
        return std::make_unique<ArpRangeScanner>(MakeArpSweep());
    }
    // As the window sweeps: twice by broadcast, known devices by unicast.
    static std::unique_ptr<ArpRangeScanner> MonitorScanner() {
        return std::make_unique<ArpRangeScanner>(MakeArpSweep({}, {}, SweepMode::Monitor));
    }

    // One sweep as the monitor makes it: clear, call, let events run for 1500 ms.
    QStringList Sweep(ArpRangeScanner& scanner, int first, int last) {
        list_.clear();
        scanner.Therad(prefix_.toStdString(), list_, first, last);
        QTest::qWait(1500);
        return Lines(list_);
    }

    // Every number first..last exactly once, in order, with the expected MAC
    // text (the all-zero one for the numbers nobody holds, and for `gone`).
    void ExpectExact(const QStringList& lines, int first, int last, std::set<int> gone = {},
                     std::map<int, QString> changed = {}) {
        auto macs = LabMacs();
        for (auto& [n, mac] : changed) macs[n] = mac;
        ASSERT_EQ(lines.size(), last - first + 1) << lines.join('\n').toStdString();
        for (int n = first; n <= last; ++n) {
            const QString& line = lines[n - first];
            EXPECT_TRUE(line.startsWith(prefix_ + QByteArray::number(n) + ' '))
                << line.toStdString();
            auto it = macs.find(n);
            const QString want = it == macs.end() || gone.count(n)
                                     ? QStringLiteral("00-00-00-00-00-00")
                                     : it->second;
            EXPECT_TRUE(line.contains(want))
                << line.toStdString() << " wanted " << want.toStdString();
        }
    }

    QByteArray prefix_;
    RecordedList list_;
};

TEST_F(ScanLab, RawSweepListsPresentAbsentAndDepartedHostsExactly) {
    auto scanner = RawScanner();
    ExpectExact(Sweep(*scanner, 0, 20), 0, 20);
    EXPECT_STREQ(scanner->MethodName(), "raw ARP");
    ASSERT_EQ(Lab({"leave", "h2"}), 0);
    ExpectExact(Sweep(*scanner, 0, 20), 0, 20, {12});
    ASSERT_EQ(Lab({"join", "h2"}), 0);
    ExpectExact(Sweep(*scanner, 0, 20), 0, 20);
}

TEST_F(ScanLab, SweepRacingTheOneBeforeItKeepsOnlyItsOwnEntries) {
    auto scanner = RawScanner();
    // The whole /24 (its silent hosts keep the first sweep busy), then at once a
    // narrower sweep after h3 left: nothing of the first may show.
    list_.clear();
    scanner->Therad(prefix_.toStdString(), list_, 0, 255);
    QTest::qWait(30);
    ASSERT_EQ(Lab({"leave", "h3"}), 0);
    ExpectExact(Sweep(*scanner, 10, 15), 10, 15, {13});
}

TEST_F(ScanLab, EverySweepCompleteUnderLossBothWays) {
    auto scanner = RawScanner();
    ASSERT_EQ(Lab({"loss", "10"}), 0);
    for (int i = 0; i < 4; ++i) ExpectExact(Sweep(*scanner, 1, 14), 1, 14);
}

// The window's schedule against real kernels: a host that leaves is gone from
// the next sweep although its last MAC is still asked, one that comes back is
// listed again, and one that takes another MAC is listed with it.
TEST_F(ScanLab, MonitorSweepsFollowLeavesJoinsAndANewMac) {
    auto scanner = MonitorScanner();
    ExpectExact(Sweep(*scanner, 0, 20), 0, 20);
    EXPECT_STREQ(scanner->MethodName(), "raw ARP");
    ASSERT_EQ(Lab({"leave", "h2"}), 0);
    ExpectExact(Sweep(*scanner, 0, 20), 0, 20, {12});
    ExpectExact(Sweep(*scanner, 0, 20), 0, 20, {12});
    ASSERT_EQ(Lab({"join", "h2"}), 0);
    ExpectExact(Sweep(*scanner, 0, 20), 0, 20);
    ASSERT_EQ(Lab({"in", "h3", "ip", "link", "set", "eth0", "address", "02:52:4d:00:aa:03"}), 0);
    ExpectExact(Sweep(*scanner, 0, 20), 0, 20, {}, {{13, "02-52-4D-00-AA-03"}});
    ExpectExact(Sweep(*scanner, 0, 20), 0, 20, {}, {{13, "02-52-4D-00-AA-03"}});
}

TEST_F(ScanLab, MonitorSweepsListEveryKnownHostUnderLossBothWays) {
    auto scanner = MonitorScanner();
    ExpectExact(Sweep(*scanner, 1, 14), 1, 14);  // learns who is there
    ASSERT_EQ(Lab({"loss", "10"}), 0);
    for (int i = 0; i < 6; ++i) ExpectExact(Sweep(*scanner, 1, 14), 1, 14);
}

// A liar in host 2's namespace answers the sweep's requests for absent numbers
// and claims host 1's address with the router's MAC; none of its replies
// proves itself.
TEST_F(ScanLab, ForgedRepliesAddNoHostAndChangeNoMac) {
    const uint32_t me = inet_addr(Env("RM_LAB_SCANNER_IP").toLatin1().constData());
    const MacAddress myMac = *ParseMacText(Env("RM_LAB_SCANNER_MAC").toStdString());
    const MacAddress routerMac = *ParseMacText(Env("RM_LAB_ROUTER_MAC").toStdString());
    const MacAddress liar{0x02, 0x52, 0x4d, 0x00, 0xAA, 0x99};
    const MacAddress stranger{0x02, 0x52, 0x4d, 0x00, 0xBB, 0xBB};  // unknown to the bridge
    auto ip = [this](int n) { return inet_addr((prefix_ + QByteArray::number(n)).constData()); };
    const std::vector<std::vector<uint8_t>> forged = {
        // Ethernet source is not the sender MAC
        lab::ForgedFrame{myMac, liar, stranger, ip(5), me}.Bytes(),
        // for another machine: the bridge floods it to every port
        lab::ForgedFrame{stranger, liar, liar, ip(6), me}.Bytes(),
        // meant for another address
        lab::ForgedFrame{myMac, liar, liar, ip(7), ip(3)}.Bytes(),
        // host 1 (.11) claimed with the router's MAC, before host 1 answers
        lab::ForgedFrame{myMac, liar, routerMac, ip(11), me}.Bytes(),
    };
    auto scanner = RawScanner();
    const pid_t child =
        lab::SendFrom(Env("RM_LAB_NAME").toStdString() + "-h2", forged, 4 * 1500 + 500);
    for (int i = 0; i < 4; ++i) ExpectExact(Sweep(*scanner, 0, 20), 0, 20);
    EXPECT_EQ(lab::Reap(child), 0);
}

TEST_F(ScanLab, WithoutTheHelperTheWindowsScannerUsesTheKernelTable) {
    ArpRangeScanner scanner(MakeArpSweep("/nonexistent/router-monitor-arp"));
    ExpectExact(Sweep(scanner, 0, 20), 0, 20);
    EXPECT_STREQ(scanner.MethodName(), "kernel neighbour table");
}

TEST_F(ScanLab, UnprivilegedSweepListsEveryPresentHost) {
    ArpRangeScanner scanner(MakeKernelSweep());
    ExpectExact(Sweep(scanner, 0, 20), 0, 20);
}

class ScanCommand : public ScanLab {
  protected:
    struct Result {
        int status;
        QStringList out;
        QString err;
    };
    // `asUser`: run as nobody, without any capability, from `folder` (default:
    // the build folder).
    static Result Run(const QStringList& args, bool dropRaw = false, bool asUser = false,
                      const QString& folder = {}) {
        const QString exe =
            (folder.isEmpty() ? Env("RM_BUILD_DIR") : folder) + "/router-monitor-scan";
        QProcess p;
        if (asUser) {
            p.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                           "--inh-caps=-all", "--", exe} +
                                   args);
        } else if (dropRaw) {
            p.start(
                "capsh",
                QStringList{"--drop=cap_net_raw", "--", "-c", "exec \"$0\" \"$@\"", exe} + args);
        } else {
            p.start(exe, args);
        }
        p.waitForFinished(10000);
        return {p.exitCode(),
                QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }
};

TEST_F(ScanCommand, PrintsTheListsLinesThenASummary) {
    const Result r = Run({prefix_, "0", "20"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    ASSERT_EQ(r.out.size(), 22);
    ExpectExact(r.out.mid(0, 21), 0, 20);
    EXPECT_TRUE(r.out.last().startsWith("6 of 21 answered in ")) << r.out.last().toStdString();
    EXPECT_TRUE(r.out.last().contains("raw ARP"));
    // The same lines as the window's list gets.
    auto scanner = RawScanner();
    EXPECT_EQ(Sweep(*scanner, 0, 20), r.out.mid(0, 21));
}

TEST_F(ScanCommand, WithoutRawCapabilityFallsBackToTheKernelTable) {
    const Result r = Run({prefix_, "10", "14"}, true);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    ASSERT_EQ(r.out.size(), 6);
    ExpectExact(r.out.mid(0, 5), 10, 14);
    EXPECT_TRUE(r.out.last().contains("kernel neighbour table")) << r.out.last().toStdString();
}

TEST_F(ScanCommand, OrdinaryUserWithoutHelperCapabilityUsesTheKernelTable) {
    // The build folder's helper carries no file capability: for nobody it is
    // unavailable, and the sweep still finds every host.
    const Result r = Run({prefix_, "0", "20"}, false, true);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    ASSERT_EQ(r.out.size(), 22);
    ExpectExact(r.out.mid(0, 21), 0, 20);
    EXPECT_TRUE(r.out.last().contains("kernel neighbour table")) << r.out.last().toStdString();
}

TEST_F(ScanCommand, OrdinaryUserSweepsRawThroughTheHelpersFileCapability) {
    // Copies in a folder owned by root, as an installation has them: the helper
    // with cap_net_raw, the scanner with nothing.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path();
    ASSERT_EQ(QProcess::execute("chmod", {"0755", folder}), 0);
    for (const char* name : {"router-monitor-scan", "router-monitor-arp"})
        ASSERT_TRUE(QFile::copy(Env("RM_BUILD_DIR") + "/" + name, folder + "/" + name)) << name;
    if (QProcess::execute("setcap", {"cap_net_raw+ep", folder + "/router-monitor-arp"}) != 0)
        GTEST_SKIP() << "setcap is not available or not permitted here";
    const Result r = Run({prefix_, "0", "20"}, false, true, folder);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    ASSERT_EQ(r.out.size(), 22);
    ExpectExact(r.out.mid(0, 21), 0, 20);
    EXPECT_TRUE(r.out.last().contains("raw ARP")) << r.out.last().toStdString();
}

TEST_F(ScanCommand, GentleAndMonitorModesRepeatedThroughOneHelper) {
    for (const char* mode : {"--gentle", "--monitor"}) {
        const Result r = Run({mode, "--repeat", "3", prefix_, "0", "20"});
        ASSERT_EQ(r.status, 0) << mode << r.err.toStdString();
        ASSERT_EQ(r.out.size(), 3 * 22) << mode;
        for (int i = 0; i < 3; ++i) {
            ExpectExact(r.out.mid(22 * i, 21), 0, 20);
            EXPECT_TRUE(r.out[22 * i + 21].startsWith("6 of 21 answered in "))
                << r.out[22 * i + 21].toStdString();
            EXPECT_TRUE(r.out[22 * i + 21].contains("raw ARP"));
        }
    }
}

TEST_F(ScanCommand, BadArgumentsAndForeignNetworks) {
    for (const QStringList& args :
         {QStringList{}, QStringList{prefix_, "1"}, QStringList{prefix_, "1", "x"},
          QStringList{"10.77.0", "1", "2"}, QStringList{"10.77.", "1", "2"},
          QStringList{prefix_, "1", "99999999999"}, QStringList{prefix_, "1", "2", "3"},
          QStringList{"--loud", prefix_, "1", "2"},
          QStringList{"--gentle", "--monitor", prefix_, "1", "2"},
          QStringList{"--repeat", "0", prefix_, "1", "2"},
          QStringList{"--repeat", prefix_, "1", "2"},
          QStringList{"--repeat", "10001", prefix_, "1", "2"},
          QStringList{prefix_, "1", "2", "--gentle"}}) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("usage: router-monitor-scan")) << r.err.toStdString();
    }
    const Result foreign = Run({"10.99.0.", "1", "4"});
    EXPECT_EQ(foreign.status, 1);
    EXPECT_TRUE(foreign.err.contains("no interface")) << foreign.err.toStdString();
    const Result empty = Run({prefix_, "9", "8"});
    EXPECT_EQ(empty.status, 0);
    ASSERT_EQ(empty.out.size(), 1);
    EXPECT_TRUE(empty.out[0].startsWith("0 of 0 answered in 0.0 ms")) << empty.out[0].toStdString();
}

// A run of eleven monitor-style sweeps (a scan of ten, then the first of the
// next) while the lab changes: host 3 joins and sends its first packet (listed
// from the sweep after next at the latest), host 4 joins silently (listed by
// the next scan's first sweep, not before), host 3 leaves again (gone from the
// sweep after next), and a neighbour in host 2's namespace forges replies for
// host 1 from a MAC of its own (a conflict line in every sweep, host 1 listed
// with its own MAC throughout).
TEST_F(ScanCommand, MonitorScansHearJoinsDropLeavesAndReportConflicts) {
    ASSERT_EQ(Lab({"leave", "h3"}), 0);
    ASSERT_EQ(Lab({"leave", "h4"}), 0);
    const uint32_t me = inet_addr(Env("RM_LAB_SCANNER_IP").toLatin1().constData());
    const MacAddress myMac = *ParseMacText(Env("RM_LAB_SCANNER_MAC").toStdString());
    const MacAddress liar{0x02, 0x52, 0x4d, 0x00, 0xAA, 0x99};
    lab::ForgedFrame forged{myMac, liar, liar, inet_addr((prefix_ + "11").constData()), me};
    forged.targetMac = myMac;
    const pid_t child =
        lab::SendFrom(Env("RM_LAB_NAME").toStdString() + "-h2", {forged.Bytes()}, 15000);

    QProcess p;
    p.start(Env("RM_BUILD_DIR") + "/router-monitor-scan",
            {"--monitor", "--repeat", "11", prefix_, "0", "20"});
    struct Block {
        std::map<int, QString> macs;
        QStringList conflicts;
    };
    std::vector<Block> blocks(1);
    QByteArray pending;
    while (blocks.size() <= 11 && p.waitForReadyRead(5000)) {
        pending += p.readAllStandardOutput();
        for (int nl = pending.indexOf('\n'); nl >= 0; nl = pending.indexOf('\n')) {
            const QString line = QString::fromLocal8Bit(pending.left(nl));
            pending.remove(0, nl + 1);
            if (line.startsWith("conflict ")) {
                blocks.back().conflicts << line;
            } else if (line.contains(" answered in ")) {
                // The lab changes between sweeps; a change may still race the sweep after.
                const size_t done = blocks.size();
                if (done == 1) {
                    for (const char* h : {"h3", "h4"}) {
                        Lab({"join", h});
                        Lab({"in", h, "ip", "neigh", "flush", "dev", "eth0"});
                    }
                    Lab({"in", "h3", "bash", "-c",
                         "echo > /dev/udp/" + Env("RM_LAB_ROUTER_IP") + "/9"});
                } else if (done == 4) {
                    Lab({"leave", "h3"});
                }
                blocks.emplace_back();
            } else {
                const QStringList words = line.split(' ', Qt::SkipEmptyParts);
                if (words.size() >= 2) blocks.back().macs[words[0].section('.', 3).toInt()] = words[1];
            }
        }
    }
    p.waitForFinished(5000);
    EXPECT_EQ(lab::Reap(child), 0);
    ASSERT_EQ(blocks.size(), 12u);
    const QString absent = "00-00-00-00-00-00";
    const QString h1 = LabMacs()[11], h3 = "02-52-4D-00-00-03", h4 = "02-52-4D-00-00-04";
    for (size_t b = 0; b < 11; ++b) {
        const Block& block = blocks[b];
        const std::string at = "sweep " + std::to_string(b + 1);
        ASSERT_EQ(block.macs.size(), 21u) << at;
        EXPECT_EQ(block.macs.at(11), h1) << at;
        EXPECT_EQ(block.conflicts,
                  QStringList{"conflict " + prefix_ + "11 listed " + h1 + " also 02-52-4D-00-AA-99"})
            << at;
        if (b == 0 || (b >= 5 && b < 10)) EXPECT_EQ(block.macs.at(13), absent) << at;
        if (b >= 2 && b < 4) EXPECT_EQ(block.macs.at(13), h3) << at;
        if (b < 10) EXPECT_EQ(block.macs.at(14), absent) << at;
    }
    EXPECT_EQ(blocks[10].macs.at(14), h4);
}

}  // namespace
}  // namespace rm
