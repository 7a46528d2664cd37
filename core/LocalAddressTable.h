// ListLocalPrefixes: fills the network choice Combo1 with the prefix (a.b.c.)
// of every IPv4 address of this machine, in the order the system reports them.
#pragma once

#include "core/Form1Controls.h"
#include "core/NetworkApi.h"

namespace rm {

// Rows the working table can hold; rows past these are not listed.
constexpr uint32_t kMaxAddressRows = 256;

// Replaces Combo1's items with one prefix per address-table row (no filtering,
// no merging) and selects the first. Any error ends it quietly, leaving what has
// been listed so far.
void ListLocalPrefixes(AddressTable& table, Form1Controls& form);

}  // namespace rm
