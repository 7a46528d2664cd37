// The sound output of the Linux build: WAV files played in the background
// through Qt Multimedia (PulseAudio or PipeWire).
#pragma once

#include <QObject>
#include <QString>
#include <map>

#include "core/DesktopApi.h"

class QSoundEffect;

namespace rm {

class QtSoundOutput : public QObject, public SoundOutput {
  public:
    QtSoundOutput();
    // Starts the file and returns at once; silence on any failure.
    void PlayAsync(const std::string& path) override;
    // Effects still held: loading or playing. Zero once everything has ended.
    int EffectsAlive() const { return int(effects_.size()); }

  private:
    void Release(const QString& path, QSoundEffect* effect);

    // One effect per file, alive while it loads and plays; playing a file that
    // is still sounding starts it again from the beginning.
    std::map<QString, QSoundEffect*> effects_;
};

}  // namespace rm
