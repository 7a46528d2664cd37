// Host-name lookup: order of start, lookup and stop; the socket library's checks
// and their messages; what is taken of the name.
#include <gtest/gtest.h>

#include "core/AddressText.h"
#include "core/HostName.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeNetwork.h"
#include "tests/support/TextRepeat.h"

namespace rm {
namespace {

using test::Repeat;

const std::string kNotResponding =
    std::string("Windows Sockets for 32 bit Windows environments is not successfully responding.");

std::string VersionMessage(const char* version) {
    return std::string("Windows Sockets Version ") + std::string(version) +
           std::string(" is not supported by Windows Sockets for 32 bit Windows environments.");
}

TEST(StartSockets, AcceptsVersion11AndLater) {
    for (uint16_t version : {uint16_t(0x0101), uint16_t(0x0002), uint16_t(0x0202)}) {
        FakeSocketLibrary lib;
        FakeMessageBoxes boxes;
        lib.reported.wVersion = version;
        EXPECT_TRUE(StartSockets(lib, boxes)) << version;
        EXPECT_TRUE(boxes.shown.empty());
    }
}

TEST(StartSockets, OlderVersionsGetTheVersionMessage) {
    const struct {
        uint16_t word;
        const char* text;
    } cases[] = {{0x0001, "1.0"}, {0x0900, "0.9"}, {0x0000, "0.0"}};
    for (const auto& c : cases) {
        FakeSocketLibrary lib;
        FakeMessageBoxes boxes;
        lib.reported.wVersion = c.word;
        EXPECT_FALSE(StartSockets(lib, boxes));
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, VersionMessage(c.text));
        EXPECT_EQ(boxes.shown[0].style, 48);
    }
}

TEST(StartSockets, ChecksStopAtTheFirstFailure) {
    FakeSocketLibrary lib;
    FakeMessageBoxes boxes;
    lib.startupResult = 10091;   // WSASYSNOTREADY
    lib.reported = {0x0001, 0};  // would fail both later checks too
    EXPECT_FALSE(StartSockets(lib, boxes));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kNotResponding);
    EXPECT_EQ(boxes.shown[0].style, 0);

    FakeMessageBoxes more;
    lib.startupResult = 0;
    lib.reported = {0x0101, 0};
    EXPECT_FALSE(StartSockets(lib, more));
    ASSERT_EQ(more.shown.size(), 1u);
    EXPECT_EQ(more.shown[0].text,
              std::string("This application requires a minimum of 1 supported sockets."));
    EXPECT_EQ(more.shown[0].style, 48);
    EXPECT_EQ(lib.cleanups, 0);  // a failed start is never closed
}

TEST(StopSockets, ReportsCleanupErrorsWithTheirSign) {
    FakeSocketLibrary lib;
    FakeMessageBoxes boxes;
    EXPECT_TRUE(StopSockets(lib, boxes));
    lib.cleanupResult = -1;
    EXPECT_FALSE(StopSockets(lib, boxes));
    lib.cleanupResult = 10093;
    EXPECT_FALSE(StopSockets(lib, boxes));
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, std::string("Windows Sockets error -1 occurred in Cleanup."));
    EXPECT_EQ(boxes.shown[1].text, std::string("Windows Sockets error 10093 occurred in Cleanup."));
    EXPECT_EQ(boxes.shown[1].style, 48);
}

TEST(LookupHostName, StartsLooksUpAndStopsOnce) {
    FakeSocketLibrary lib;
    FakeMessageBoxes boxes;
    lib.names[InetAddr("192.168.1.5")] = "  kitchen-pc  ";
    EXPECT_EQ(LookupHostName(lib, boxes, std::string("192.168.1.5")), std::string("kitchen-pc"));
    EXPECT_EQ(lib.startups, 1);
    EXPECT_EQ(lib.lookups, 1);
    EXPECT_EQ(lib.cleanups, 1);
    EXPECT_TRUE(boxes.shown.empty());

    EXPECT_EQ(LookupHostName(lib, boxes, std::string("192.168.1.6")), std::string());
    EXPECT_EQ(lib.cleanups, 2);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(LookupHostName, OnlySpacesAreTrimmed) {
    FakeSocketLibrary lib;
    FakeMessageBoxes boxes;
    lib.names[InetAddr("10.0.0.1")] = std::string("\tname\t ");
    EXPECT_EQ(LookupHostName(lib, boxes, std::string("10.0.0.1")), std::string("\tname\t"));
}

TEST(LookupHostName, NameIsCutAt255BytesAndAtTheFirstNul) {
    FakeSocketLibrary lib;
    FakeMessageBoxes boxes;
    lib.names[InetAddr("10.0.0.1")] = std::string(300, 'a');
    EXPECT_EQ(LookupHostName(lib, boxes, std::string("10.0.0.1")), std::string(255, 'a'));
    lib.names[InetAddr("10.0.0.2")] = std::string("host\0junk", 9);
    EXPECT_EQ(LookupHostName(lib, boxes, std::string("10.0.0.2")), std::string("host"));
    // 85 Chinese characters fill 255 bytes; the 86th does not fit and goes whole.
    lib.names[InetAddr("10.0.0.3")] = "客厅电视";
    EXPECT_EQ(LookupHostName(lib, boxes, std::string("10.0.0.3")), std::string("客厅电视"));
    lib.names[InetAddr("10.0.0.4")] = "a" + Repeat("视", 90);
    EXPECT_EQ(LookupHostName(lib, boxes, std::string("10.0.0.4")), "a" + Repeat("视", 84));
}

TEST(LookupHostName, TextThatIsNoAddressIsLookedUpAsAllOnes) {
    FakeSocketLibrary lib;
    FakeMessageBoxes boxes;
    lib.names[0xFFFFFFFFu] = "broadcasthost";
    for (const std::string& t :
         {std::string("192.168."), std::string("abc"), std::string(), Repeat("网", 100 * 1024)})
        EXPECT_EQ(LookupHostName(lib, boxes, t), std::string("broadcasthost"));
    EXPECT_EQ(lib.lookups, 4);
}

TEST(LookupHostName, FailedStartSkipsLookupAndCleanupEveryTime) {
    FakeSocketLibrary lib;
    FakeMessageBoxes boxes;
    lib.reported.wVersion = 0x0001;
    lib.names[InetAddr("10.0.0.1")] = "x";
    EXPECT_EQ(LookupHostName(lib, boxes, std::string("10.0.0.1")), std::string());
    EXPECT_EQ(LookupHostName(lib, boxes, std::string("10.0.0.1")), std::string());
    EXPECT_EQ(lib.lookups, 0);
    EXPECT_EQ(lib.cleanups, 0);
    EXPECT_EQ(boxes.shown.size(), 2u);  // nothing remembers the earlier failure
}

TEST(LookupHostName, CleanupErrorStillReturnsTheName) {
    FakeSocketLibrary lib;
    FakeMessageBoxes boxes;
    lib.cleanupResult = 10093;
    lib.names[InetAddr("10.0.0.1")] = "printer";
    EXPECT_EQ(LookupHostName(lib, boxes, std::string("10.0.0.1")), std::string("printer"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, std::string("Windows Sockets error 10093 occurred in Cleanup."));
}

}  // namespace
}  // namespace rm
