// ListLocalPrefixes: one prefix per address-table row, in the table's order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/AddressText.h"
#include "core/LocalAddressTable.h"
#include "platform/fake/FakeForm1.h"
#include "platform/fake/FakeNetwork.h"
#include "tests/core/NetOrder.h"

namespace rm {
namespace {

using Items = std::vector<std::string>;

// The window's network choice, as the logic sees it.
struct Combo {
    FakeForm1 form;
    const Items& items() { return form[Control::Combo1].items; }
    int currentIndex() { return form.ListIndex(Control::Combo1); }
    std::string currentText() { return form.Text(Control::Combo1); }
    int count() { return form.ItemCount(Control::Combo1); }
    void addItems(std::initializer_list<const char*> items) {
        for (const char* s : items) form.AddItem(Control::Combo1, s);
    }
    std::string itemText(int i) { return form.ItemText(Control::Combo1, i); }
    void setCurrentIndex(int i) { form.SetListIndex(Control::Combo1, i); }
};

TEST(ListLocalPrefixes, KeepsTableOrderAndSelectsFirst) {
    FakeAddressTable table;
    Combo combo;
    table.SetAddresses({"192.168.1.20", "127.0.0.1"});
    ListLocalPrefixes(table, combo.form);
    EXPECT_EQ(combo.items(), (Items{"192.168.1.", "127.0.0."}));
    EXPECT_EQ(combo.currentIndex(), 0);

    table.SetAddresses({"127.0.0.1", "192.168.1.20"});
    ListLocalPrefixes(table, combo.form);
    EXPECT_EQ(combo.items(), (Items{"127.0.0.", "192.168.1."}));
    EXPECT_EQ(combo.currentText(), std::string("127.0.0."));
}

TEST(ListLocalPrefixes, NeitherFiltersNorMerges) {
    FakeAddressTable table;
    Combo combo;
    table.SetAddresses({"10.0.0.5", "10.0.0.9", "0.0.0.0"});
    ListLocalPrefixes(table, combo.form);
    EXPECT_EQ(combo.items(), (Items{"10.0.0.", "10.0.0.", "0.0.0."}));
}

TEST(ListLocalPrefixes, EmptyOrFailingTableLeavesNothingSelected) {
    FakeAddressTable table;
    Combo combo;
    combo.addItems({"old1.", "old2."});
    table.SetAddresses({});
    ListLocalPrefixes(table, combo.form);
    EXPECT_EQ(combo.count(), 0);
    EXPECT_EQ(combo.currentIndex(), -1);

    table.SetAddresses({"192.168.1.20"});
    table.failSecondCall = true;
    ListLocalPrefixes(table, combo.form);
    EXPECT_EQ(combo.count(), 0);
    EXPECT_EQ(combo.currentIndex(), -1);
}

TEST(ListLocalPrefixes, MoreRowsThanTheTableHoldsListsFirst256AndKeepsANetwork) {
    FakeAddressTable table;
    for (int i = 0; i < 300; ++i)
        table.addresses.push_back(test::NetOrder((10u << 24) | (uint32_t(i) << 8) | 1u));
    Combo combo;
    ListLocalPrefixes(table, combo.form);
    ASSERT_EQ(combo.count(), 256);
    EXPECT_EQ(combo.itemText(0), std::string("10.0.0."));
    EXPECT_EQ(combo.itemText(255), std::string("10.0.255."));
    EXPECT_EQ(combo.currentIndex(), 0);
}

TEST(ListLocalPrefixes, SecondCallReplacesTheUsersChoiceWithEntryZero) {
    FakeAddressTable table;
    table.SetAddresses({"192.168.1.20", "10.1.2.3", "172.16.5.6"});
    Combo combo;
    ListLocalPrefixes(table, combo.form);
    combo.setCurrentIndex(2);
    ListLocalPrefixes(table, combo.form);
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
        const uint32_t addr = InetAddr("192.168.7.9");
        std::memcpy(buffer + 4, &addr, 4);
        return 0;
    }
};

TEST(ListLocalPrefixes, RowCountBeyondTheBufferListsOnlyWhatIsThere) {
    LyingTable table;
    Combo combo;
    ListLocalPrefixes(table, combo.form);
    EXPECT_EQ(combo.items(), Items{"192.168.7."});
    EXPECT_EQ(combo.currentIndex(), 0);
}

}  // namespace
}  // namespace rm
