// The reverse host-name lookup and the start and release of the socket library
// around it, with the socket library's English messages.
#pragma once

#include <string>
#include <string_view>

#include "core/DesktopApi.h"
#include "core/NetworkApi.h"

namespace rm {

// Starts the socket library and checks it is usable (version 1.1 or later, at
// least one socket); says why in a message box and returns false when it is not.
bool StartSockets(SocketLibrary& sockets, MessageBoxes& messages);

// Releases the socket library; a message box and false when that fails.
bool StopSockets(SocketLibrary& sockets, MessageBoxes& messages);

// The name service's host name for `ipText` with surrounding blanks removed, or
// empty text, in UTF-8 as the socket library gives it, at most 255 bytes of whole
// characters. Starts and stops the socket library around the lookup.
std::string LookupHostName(SocketLibrary& sockets, MessageBoxes& messages, std::string_view ipText);

}  // namespace rm
