// WAV playback through QSoundEffect. An effect is created per file when it is
// played and released when it stops or fails, so nothing lingers between
// verdicts and a broken file leaves nothing behind.
#include "gui/qt/QtSoundOutput.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

#include "gui/qt/QtFrontEnd.h"

namespace rm {

namespace {
// A sample that neither ends nor fails (an audio server gone while playing)
// is given up after this long; our sounds last under a second.
constexpr int kGiveUpMs = 30000;
}  // namespace

// Qt connects to the audio server on first use, which takes some 15 ms; done
// here, at start-up, the first sound of a scan does not pay for it.
QtSoundOutput::QtSoundOutput() {
    QMediaDevices::audioOutputs();
}

void QtSoundOutput::PlayAsync(const std::string& utf8Path) {
    const QString path = QString::fromStdString(utf8Path);
    // Checked here so a missing file costs nothing: no effect, no audio stream.
    QFileInfo file(path);
    if (!file.isFile() || !file.isReadable()) return;
    // Without an audio server Qt still "plays" on a null device and, in 6.4,
    // never reports the end; there is nothing to hear, so nothing is started.
    if (QMediaDevices::audioOutputs().isEmpty()) return;

    if (auto it = effects_.find(path); it != effects_.end()) {
        it->second->play();
        return;
    }
    auto* effect = new QSoundEffect(this);
    effects_[path] = effect;
    connect(effect, &QSoundEffect::statusChanged, this, [this, path, effect] {
        if (effect->status() == QSoundEffect::Error) Release(path, effect);
    });
    connect(effect, &QSoundEffect::playingChanged, this, [this, path, effect] {
        if (!effect->isPlaying()) Release(path, effect);
    });
    QTimer::singleShot(kGiveUpMs, effect, [this, path, effect] { Release(path, effect); });
    // Loading happens on Qt's sample-cache thread; play() before it is ready
    // queues the start, so this call does not wait for the file.
    effect->setSource(QUrl::fromLocalFile(path));
    effect->play();
}

void QtSoundOutput::Release(const QString& path, QSoundEffect* effect) {
    auto it = effects_.find(path);
    if (it == effects_.end() || it->second != effect) return;
    effects_.erase(it);
    effect->disconnect(this);
    effect->deleteLater();
}

std::unique_ptr<SoundOutput> MakeQtSoundOutput() {
    return std::make_unique<QtSoundOutput>();
}

}  // namespace rm
