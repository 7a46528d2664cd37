// Playing a wave file in the background: the output does the asynchronous
// part and stays silent on every failure, so there is nothing to report here.
#include "core/SoundPlayer.h"

namespace rm {

void PlaySoundFile(SoundOutput& sound, const std::string& path) {
    sound.PlayAsync(path);
}

}  // namespace rm
