// Playing one of the program's wave files in the background.
#pragma once

#include <string>

#include "core/DesktopApi.h"

namespace rm {

// Starts playing the WAV file at `path` and returns at once. A missing,
// unreadable or invalid file, or no audio server, gives silence: no fallback
// sound and no message.
void PlaySoundFile(SoundOutput& sound, const std::string& path);

}  // namespace rm
