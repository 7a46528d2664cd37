// ListLocalPrefixes: one prefix per address-table row, in the table's order.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QStringList>

#include "net/LocalAddressTable.h"
#include "platform/fake/FakeNetwork.h"

namespace rm {
namespace {

QStringList Items(const QComboBox& c) {
    QStringList out;
    for (int i = 0; i < c.count(); ++i) out << c.itemText(i);
    return out;
}

TEST(ListLocalPrefixes, KeepsTableOrderAndSelectsFirst) {
    FakeAddressTable table;
    QComboBox combo;
    table.SetAddresses({"192.168.1.20", "127.0.0.1"});
    ListLocalPrefixes(table, &combo);
    EXPECT_EQ(Items(combo), (QStringList{"192.168.1.", "127.0.0."}));
    EXPECT_EQ(combo.currentIndex(), 0);

    table.SetAddresses({"127.0.0.1", "192.168.1.20"});
    ListLocalPrefixes(table, &combo);
    EXPECT_EQ(Items(combo), (QStringList{"127.0.0.", "192.168.1."}));
    EXPECT_EQ(combo.currentText(), QStringLiteral("127.0.0."));
}

TEST(ListLocalPrefixes, NeitherFiltersNorMerges) {
    FakeAddressTable table;
    QComboBox combo;
    table.SetAddresses({"10.0.0.5", "10.0.0.9", "0.0.0.0"});
    ListLocalPrefixes(table, &combo);
    EXPECT_EQ(Items(combo), (QStringList{"10.0.0.", "10.0.0.", "0.0.0."}));
}

TEST(ListLocalPrefixes, EmptyOrFailingTableLeavesNothingSelected) {
    FakeAddressTable table;
    QComboBox combo;
    combo.addItems({"old1.", "old2."});
    table.SetAddresses({});
    ListLocalPrefixes(table, &combo);
    EXPECT_EQ(combo.count(), 0);
    EXPECT_EQ(combo.currentIndex(), -1);

    table.SetAddresses({"192.168.1.20"});
    table.failSecondCall = true;
    ListLocalPrefixes(table, &combo);
    EXPECT_EQ(combo.count(), 0);
    EXPECT_EQ(combo.currentIndex(), -1);
}

TEST(ListLocalPrefixes, MoreRowsThanTheTableHoldsListsFirst256AndKeepsANetwork) {
    FakeAddressTable table;
    for (int i = 0; i < 300; ++i)
        table.addresses.push_back(htonl((10u << 24) | (uint32_t(i) << 8) | 1u));
    QComboBox combo;
    ListLocalPrefixes(table, &combo);
    ASSERT_EQ(combo.count(), 256);
    EXPECT_EQ(combo.itemText(0), QStringLiteral("10.0.0."));
    EXPECT_EQ(combo.itemText(255), QStringLiteral("10.0.255."));
    EXPECT_EQ(combo.currentIndex(), 0);
}

TEST(ListLocalPrefixes, SecondCallReplacesTheUsersChoiceWithEntryZero) {
    FakeAddressTable table;
    table.SetAddresses({"192.168.1.20", "10.1.2.3", "172.16.5.6"});
    QComboBox combo;
    ListLocalPrefixes(table, &combo);
    combo.setCurrentIndex(2);
    ListLocalPrefixes(table, &combo);
    EXPECT_EQ(combo.count(), 3);
    EXPECT_EQ(combo.currentIndex(), 0);
    // Asked once for the size (sorted) and once for the rows (unsorted), every time.
    EXPECT_EQ(table.calls, 4);
}

// A table whose row count claims more rows than its buffer holds.
class LyingTable : public AddressTable {
  public:
    uint32_t GetIpAddrTable(uint8_t* buffer, uint32_t* size, bool) override {
        const uint32_t need = 4 + kRowSize;  // room for one row only
        if (!buffer || *size < need) {
            *size = need;
            return kInsufficientBuffer;
        }
        const uint32_t count = 1000;
        std::memcpy(buffer, &count, 4);
        const uint32_t addr = inet_addr("192.168.7.9");
        std::memcpy(buffer + 4, &addr, 4);
        return 0;
    }
};

TEST(ListLocalPrefixes, RowCountBeyondTheBufferListsOnlyWhatIsThere) {
    LyingTable table;
    QComboBox combo;
    ListLocalPrefixes(table, &combo);
    EXPECT_EQ(Items(combo), QStringList{"192.168.7."});
    EXPECT_EQ(combo.currentIndex(), 0);
}

}  // namespace
}  // namespace rm
