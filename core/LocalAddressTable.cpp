// The local address table: the machine's IPv4 addresses turned into the
// network prefixes that the user chooses among.
#include "core/LocalAddressTable.h"

#include <cstring>
#include <vector>

#include "core/AddressText.h"

namespace rm {

void ListLocalPrefixes(AddressTable& table, Form1Controls& form) {
    form.ClearItems(Control::Combo1);

    uint32_t size = 0;
    table.GetIpAddrTable(nullptr, &size, true);
    if (size == 0) return;

    std::vector<uint8_t> buffer(size, 0);
    table.GetIpAddrTable(buffer.data(), &size, false);
    if (buffer.size() < 4) return;

    uint32_t count = 0;
    std::memcpy(&count, buffer.data(), 4);
    for (uint32_t i = 0; i < count; ++i) {
        // The working table holds 256 rows. Past them listing stops, but entry 0
        // is still selected below so that the monitor keeps a network to scan.
        if (i >= kMaxAddressRows) break;
        const size_t offset = 4 + size_t(AddressTable::kRowSize) * i;
        // A count larger than the buffer would read past it: those rows are not there.
        if (offset + AddressTable::kRowSize > buffer.size()) break;
        uint8_t row[AddressTable::kRowSize];
        std::memcpy(row, buffer.data() + offset, sizeof row);
        const std::string ip = Ipv4ToText(row);
        form.AddItem(Control::Combo1, ip.substr(0, ip.rfind('.') + 1));
    }
    if (form.ItemCount(Control::Combo1) > 0) form.SetListIndex(Control::Combo1, 0);
}

}  // namespace rm
