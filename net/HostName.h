// The reverse host-name lookup and the start and release of the socket library
// around it, with the socket library's English messages.
#pragma once

#include <QString>

#include "platform/DesktopApi.h"
#include "platform/NetworkApi.h"

namespace rm {

// Starts the socket library and checks it is usable (version 1.1 or later, at
// least one socket); says why in a message box and returns false when it is not.
bool StartSockets(SocketLibrary& sockets, MessageBoxes& messages);

// Releases the socket library; a message box and false when that fails.
bool StopSockets(SocketLibrary& sockets, MessageBoxes& messages);

// The name service's host name for `ipText` with surrounding blanks removed, or
// empty text. Starts and stops the socket library around the lookup.
QString LookupHostName(SocketLibrary& sockets, MessageBoxes& messages, const QString& ipText);

}  // namespace rm
