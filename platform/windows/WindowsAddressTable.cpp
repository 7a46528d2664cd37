// GetIpAddrTable itself. Its MIB_IPADDRTABLE is the image the core reads; the
// only change is that loopback rows move to the end (in their order), since the
// network listed first is the one the monitor scans. Windows usually lists
// loopback last already; Wine lists the namespace's interfaces in the kernel's
// order, loopback first.
// The Windows headers need this order.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/windows/WindowsPlatform.h"

namespace rm {

namespace {

static_assert(sizeof(MIB_IPADDRROW) == AddressTable::kRowSize, "row image of the core");

bool IsLoopback(const MIB_IPADDRROW& row) {
    return (ntohl(row.dwAddr) >> 24) == 127;
}

class WindowsAddressTable : public AddressTable {
  public:
    uint32_t GetIpAddrTable(uint8_t* buffer, uint32_t* size, bool sorted) override {
        if (!size) return ERROR_INVALID_PARAMETER;
        std::vector<MIB_IPADDRROW> rows;
        if (const DWORD err = SystemRows(sorted, &rows); err != NO_ERROR) return err;
        std::stable_partition(rows.begin(), rows.end(),
                              [](const MIB_IPADDRROW& r) { return !IsLoopback(r); });
        const uint32_t need = 4 + kRowSize * uint32_t(rows.size());
        if (!buffer || *size < need) {
            *size = need;
            return kInsufficientBuffer;
        }
        const uint32_t count = uint32_t(rows.size());
        std::memcpy(buffer, &count, 4);
        if (count) std::memcpy(buffer + 4, rows.data(), kRowSize * count);
        *size = need;
        return 0;
    }

  private:
    // The table may grow between asking its size and reading it: ask again.
    static DWORD SystemRows(bool sorted, std::vector<MIB_IPADDRROW>* rows) {
        std::vector<unsigned char> image(sizeof(MIB_IPADDRTABLE) + 8 * sizeof(MIB_IPADDRROW));
        for (int attempt = 0; attempt < 4; ++attempt) {
            ULONG size = ULONG(image.size());
            const DWORD err = ::GetIpAddrTable(reinterpret_cast<PMIB_IPADDRTABLE>(image.data()),
                                               &size, sorted ? TRUE : FALSE);
            if (err == ERROR_INSUFFICIENT_BUFFER) {
                image.resize(std::max<size_t>(size, image.size() * 2));
                continue;
            }
            if (err != NO_ERROR) return err;
            DWORD count = 0;
            std::memcpy(&count, image.data(), sizeof count);
            const size_t offset = offsetof(MIB_IPADDRTABLE, table);
            const size_t fits = (image.size() - offset) / sizeof(MIB_IPADDRROW);
            count = DWORD(std::min<size_t>(count, fits));
            rows->resize(count);
            if (count)
                std::memcpy(rows->data(), image.data() + offset, count * sizeof(MIB_IPADDRROW));
            return NO_ERROR;
        }
        return ERROR_INSUFFICIENT_BUFFER;
    }
};

}  // namespace

std::unique_ptr<AddressTable> MakeWindowsAddressTable() {
    return std::make_unique<WindowsAddressTable>();
}

}  // namespace rm
