// The line the range scanner adds to the host list for one host, and the vendor
// names of Debian's ieee-data OUI list shown in it.
#pragma once

#include <QString>
#include <optional>
#include <unordered_map>

#include "core/AddressText.h"
#include "core/ArpFrame.h"

namespace rm {

// "10.77.0.11       02-52-4D-00-00-01  Vendor": the address padded so that the
// MAC texts line up, the MAC text (the all-zero text when nobody answered), and
// the vendor cut short to keep the line inside the list's width.
QString EntryText(const QString& address, const std::optional<MacAddress>& mac,
                  const QString& vendor = {});

// Organisation names by the first three bytes of a MAC address (IEEE MA-L).
class OuiVendors {
  public:
    static constexpr const char* kDefaultPath = "/usr/share/ieee-data/oui.txt";
    // Reads the "(base 16)" lines of an oui.txt; an empty table when it is missing.
    static OuiVendors Load(const QString& path);
    // The table of kDefaultPath, read once by the first caller.
    static const OuiVendors& System();

    // Empty for unknown and for locally administered addresses.
    QString Lookup(const MacAddress& mac) const;
    size_t size() const { return names_.size(); }

  private:
    std::unordered_map<uint32_t, QString> names_;
};

}  // namespace rm
