// Whether another user of this PC could have chosen what a settings file or
// folder holds: the same rule as the Linux build's owner and mode check, read
// from the object's owner and access list.
#pragma once

#include <windows.h>

#include <string>

namespace rm {

// Empty when only this user (and the system and administrators, who may change
// anything anyway) owns and may write the open file or folder `h`, else the
// reason in words. `h` needs READ_CONTROL.
std::string UntrustedReason(HANDLE h);

// The same for a folder by its path; a folder that cannot be opened is untrusted.
std::string UntrustedFolderReason(const std::wstring& folder);

}  // namespace rm
