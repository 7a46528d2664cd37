// Playing a wave file in the background: the output does the asynchronous
// part and stays silent on every failure, so there is nothing to report here.
#include "desktop/SoundPlayer.h"

namespace rm {

void PlaySoundFile(SoundOutput& sound, const QString& path) {
    sound.PlayAsync(path);
}

}  // namespace rm
