// Therad on the window's side: entries reach the list through the event loop,
// one per host in host order, and never from a sweep that a newer one replaced.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <QTemporaryFile>
#include <QTest>
#include <map>
#include <thread>

#include "scanner/ArpRangeScanner.h"
#include "scanner/RecordedList.h"

namespace rm {
namespace {

using std::chrono::milliseconds;

// Answers from a script per call (the last one repeats): host number -> (MAC,
// delay after the call). With
// `heedCancel` false it keeps answering after a newer sweep replaced it, as a
// slow reply would.
class ScriptedMethod : public SweepMethod {
  public:
    struct Answer {
        MacAddress mac;
        milliseconds delay;
    };
    std::vector<std::map<int, Answer>> scripts{{}};  // set before the first call
    bool heedCancel = true;
    std::atomic<int> runs{0};

    void Run(const InterfaceInfo&, std::span<const SweepHost> hosts, SweepClock::time_point start,
             const AnswerFn& answer, const std::atomic<bool>& cancelled) override {
        const auto& script = scripts[std::min<size_t>(size_t(runs++), scripts.size() - 1)];
        std::multimap<milliseconds, std::pair<const SweepHost*, MacAddress>> order;
        for (const SweepHost& h : hosts) {
            auto it = script.find(h.number);
            if (it != script.end()) order.emplace(it->second.delay, std::pair(&h, it->second.mac));
        }
        for (auto& [delay, hostMac] : order) {
            while (SweepClock::now() < start + delay) {
                if (heedCancel && cancelled) return;
                std::this_thread::sleep_for(milliseconds(2));
            }
            answer(*hostMac.first, hostMac.second);
        }
    }
    const char* Name() const override { return "scripted"; }
};

std::optional<InterfaceInfo> LabInterface(uint32_t) {
    InterfaceInfo ifc;
    ifc.index = 3;
    ifc.ip = inet_addr("10.77.0.2");
    ifc.netmask = inet_addr("255.255.255.0");
    return ifc;
}

// Lets the event loop run until `count` entries are listed or `ms` pass. (The
// QTRY_ macros report to QtTest, not to GoogleTest, so they are not used here.)
bool WaitForCount(const RecordedList& list, int count, int ms = 1500) {
    return QTest::qWaitFor([&] { return list.count() >= count; }, ms) && list.count() == count;
}

QStringList Lines(const RecordedList& list) {
    return list.Lines();
}

class ScannerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(oui_.open());
        oui_.write(
            "00-1B-21   (hex)\t\tIntel Corporate\n"
            "001B21     (base 16)\t\tIntel Corporate\n");
        oui_.flush();
        vendors_ = OuiVendors::Load(oui_.fileName());
    }
    std::unique_ptr<ArpRangeScanner> Make(ScriptedMethod*& method,
                                          ArpRangeScanner::InterfaceLookup lookup = LabInterface) {
        auto m = std::make_unique<ScriptedMethod>();
        method = m.get();
        return std::make_unique<ArpRangeScanner>(
            std::move(m), [this] { return &vendors_; }, std::move(lookup));
    }
    QTemporaryFile oui_;
    OuiVendors vendors_;
};

TEST_F(ScannerTest, OneEntryPerHostInHostOrderThroughTheEventLoop) {
    ScriptedMethod* method;
    auto scanner = Make(method);
    method->scripts[0] = {{11, {{0x00, 0x1B, 0x21, 0x0A, 0x0B, 0x0C}, milliseconds(5)}},
                          {1, {{0x02, 0x52, 0x4D, 0x00, 0xFE, 0x01}, milliseconds(30)}},
                          {5, {{0xA4, 0x5E, 0x60, 0x00, 0x00, 0x05}, milliseconds(15)}}};
    RecordedList list;
    scanner->Therad("10.77.0.", list, 0, 12);
    EXPECT_EQ(list.count(), 0) << "entries must arrive through the event loop, not inside the call";
    ASSERT_TRUE(WaitForCount(list, 13)) << Lines(list).join('\n').toStdString();
    QTest::qWait(50);
    const QStringList lines = Lines(list);
    ASSERT_EQ(lines.size(), 13);
    for (int i = 0; i <= 12; ++i) {
        const QString address = QStringLiteral("10.77.0.%1 ").arg(i);
        EXPECT_TRUE(lines[i].startsWith(address)) << lines[i].toStdString();
        EXPECT_EQ(list.entry(i).host, i) << "the list orders its lines by this number";
        const bool answered = i == 1 || i == 5 || i == 11;
        EXPECT_EQ(lines[i].contains("00-00-00-00-00-00"), !answered) << lines[i].toStdString();
    }
    EXPECT_TRUE(lines[11].contains("00-1B-21-0A-0B-0C  Intel Corporate"));
    EXPECT_TRUE(lines[1].contains("02-52-4D-00-FE-01"));
    EXPECT_TRUE(lines[5].contains("A4-5E-60-00-00-05"));
}

TEST_F(ScannerTest, LateAnswersOfAReplacedSweepNeverLand) {
    ScriptedMethod* method;
    auto scanner = Make(method);
    method->heedCancel = false;
    method->scripts = {{{20, {{0x00, 0x1B, 0x21, 0, 0, 0x20}, milliseconds(120)}}}, {}};
    RecordedList list;
    scanner->Therad("10.77.0.", list, 20, 22);
    QTest::qWait(20);
    // The next sweep: the cycle clears the list and calls again. The first
    // sweep's answer for .20 comes after that and must not show.
    list.clear();
    scanner->Therad("10.77.0.", list, 20, 22);
    ASSERT_TRUE(WaitForCount(list, 3)) << Lines(list).join('\n').toStdString();
    QTest::qWait(250);
    const QStringList lines = Lines(list);
    ASSERT_EQ(lines.size(), 3) << lines.join('\n').toStdString();
    for (const QString& l : lines) EXPECT_TRUE(l.contains("00-00-00-00-00-00")) << l.toStdString();
}

TEST_F(ScannerTest, ListThatGoesAwayMidSweepIsLeftAlone) {
    ScriptedMethod* method;
    auto scanner = Make(method);
    method->scripts[0] = {{3, {{0x00, 0x1B, 0x21, 0, 0, 3}, milliseconds(40)}}};
    auto* doomed = new RecordedList;
    scanner->Therad("10.77.0.", *doomed, 1, 4);
    delete doomed;
    QTest::qWait(100);
    RecordedList list;
    scanner->Therad("10.77.0.", list, 1, 4);
    ASSERT_TRUE(WaitForCount(list, 4)) << Lines(list).join('\n').toStdString();
}

TEST_F(ScannerTest, NoInterfaceForThePrefixListsEveryHostAsSilent) {
    ScriptedMethod* method;
    auto scanner = Make(method, [](uint32_t) { return std::optional<InterfaceInfo>(); });
    RecordedList list;
    scanner->Therad("10.99.0.", list, 250, 300);  // clamped to 250..255
    ASSERT_TRUE(WaitForCount(list, 6)) << Lines(list).join('\n').toStdString();
    EXPECT_EQ(method->runs, 0);
    EXPECT_TRUE(list.entry(5).line.startsWith("10.99.0.255 "));
    for (const QString& l : Lines(list)) EXPECT_TRUE(l.contains("00-00-00-00-00-00"));
}

TEST_F(ScannerTest, FirstAboveLastProbesNothing) {
    ScriptedMethod* method;
    auto scanner = Make(method);
    RecordedList list;
    scanner->Therad("10.77.0.", list, 9, 8);
    QTest::qWait(100);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(method->runs, 0);
}

TEST(EntryText, LineHoldsAddressMacTextAndShortVendor) {
    const MacAddress mac{0x02, 0x1F, 0x3A, 0x00, 0xC4, 0x5B};
    EXPECT_EQ(EntryText("192.168.1.100", mac), "192.168.1.100    02-1F-3A-00-C4-5B");
    EXPECT_EQ(EntryText("10.0.0.5", std::nullopt), "10.0.0.5         00-00-00-00-00-00");
    const QString line = EntryText("10.0.0.5", mac, "Hon Hai Precision Ind. Co.,Ltd.");
    EXPECT_TRUE(line.startsWith("10.0.0.5         02-1F-3A-00-C4-5B  Hon Hai Precision"));
    EXPECT_LE(line.size(), 15 + 2 + 17 + 2 + 22);
}

TEST(OuiVendors, ReadsTheIeeeListAndSkipsLocalAddresses) {
    QTemporaryFile f;
    ASSERT_TRUE(f.open());
    f.write(
        "OUI/MA-L                 Organization\n"
        "00-0B-6B   (hex)\t\tWistron Neweb Corporation\n"
        "000B6B     (base 16)\t\tWistron Neweb Corporation\n"
        "\t\t\t\t20 Park Avenue II\n"
        "02524D     (base 16)\t\tNot Assignable\n");
    f.flush();
    const OuiVendors v = OuiVendors::Load(f.fileName());
    EXPECT_EQ(v.Lookup({0x00, 0x0B, 0x6B, 0x9A, 0x63, 0x5E}), "Wistron Neweb Corporation");
    EXPECT_EQ(v.Lookup({0x00, 0x0B, 0x6C, 0, 0, 0}), "");
    EXPECT_EQ(v.Lookup({0x02, 0x52, 0x4D, 0, 0, 1}), "") << "locally administered";
    EXPECT_EQ(OuiVendors::Load("/nonexistent/oui.txt").size(), 0u);
    if (QFile::exists(OuiVendors::kDefaultPath)) EXPECT_GT(OuiVendors::System().size(), 10000u);
}

}  // namespace
}  // namespace rm
