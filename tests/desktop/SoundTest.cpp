// The program's sounds on a real audio server: what PlaySoundFile puts on a
// PulseAudio null sink (recorded from its monitor), what is left behind, and
// the behaviour with no audio server at all. Also the shipped WAV files.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest/QTest>
#include <cmath>

#include "Eventually.h"
#include "core/SoundPlayer.h"
#include "gui/qt/QtSoundOutput.h"

namespace rm {
namespace {

QString ProgramFolderFile(const QString& name) {
    return QDir(qEnvironmentVariable("RM_BUILD_DIR")).filePath(name);
}

// Records the null sink's monitor as 16-bit mono for as long as it lives.
class SinkRecorder {
  public:
    SinkRecorder() {
        parec_.start("parec", {"--device=rm_null.monitor", "--format=s16le", "--rate=44100",
                               "--channels=1", "--latency-msec=20"});
        parec_.waitForStarted(5000);
        QTest::qWait(150);  // the stream is connected before anything plays
    }
    ~SinkRecorder() { Stop(); }
    // Root mean square of everything recorded, 1.0 = full scale.
    double StopAndMeasureRms() {
        Stop();
        QByteArray pcm = parec_.readAllStandardOutput();
        qsizetype n = pcm.size() / 2;
        if (n == 0) return 0;
        double sum = 0;
        qsizetype first = -1, last = -1;
        for (qsizetype i = 0; i < n; ++i) {
            double s = qFromLittleEndian<qint16>(pcm.constData() + 2 * i) / 32768.0;
            sum += s * s;
            if (std::abs(s) > 0.05) {
                if (first < 0) first = i;
                last = i;
            }
        }
        audibleSeconds = first < 0 ? 0 : double(last - first) / 44100.0;
        return std::sqrt(sum / double(n));
    }
    // From the first to the last clearly audible sample of the recording.
    double audibleSeconds = 0;

  private:
    void Stop() {
        if (parec_.state() == QProcess::NotRunning) return;
        parec_.terminate();
        if (!parec_.waitForFinished(3000)) {
            parec_.kill();
            parec_.waitForFinished(3000);
        }
    }
    QProcess parec_;
};

class SoundOnNullSink : public ::testing::Test {
  protected:
    void SetUp() override {
        if (qEnvironmentVariable("PULSE_SINK") != "rm_null")
            GTEST_SKIP() << "needs the private audio server of with-pulse.sh";
    }
    QtSoundOutput output;
};

TEST_F(SoundOnNullSink, WarningReachesTheSinkAndTheCallReturnsAtOnce) {
    // The file sits in a folder with a Chinese name and a space, too.
    QTemporaryDir dir(QDir::tempPath() + "/程序 文件夹 XXXXXX");
    QString path = dir.filePath("警告.wav");
    ASSERT_TRUE(QFile::copy(ProgramFolderFile("警告.wav"), path));

    SinkRecorder recorder;
    QElapsedTimer clock;
    clock.start();
    PlaySoundFile(output, QString(path).toStdString());
    qint64 returnedUs = clock.nsecsElapsed() / 1000;
    // The sound lasts 820 ms; returning well before that means it plays in the background.
    EXPECT_LT(returnedUs, 200000);
    EXPECT_EQ(output.EffectsAlive(), 1);
    EXPECT_EVENTUALLY_EQ(output.EffectsAlive(), 0, 5000);
    double rms = recorder.StopAndMeasureRms();
    std::printf("PlaySoundFile returned after %lld us; recorded RMS %.4f, audible for %.3f s\n",
                static_cast<long long>(returnedUs), rms, recorder.audibleSeconds);
    ::testing::Test::RecordProperty("return_us", int(returnedUs));
    ::testing::Test::RecordProperty("rms_x10000", int(rms * 10000));
    EXPECT_GT(rms, 0.02);
    // Four beeps from 0 to 0.57 s: the trailing silence absorbs the clipped tail.
    EXPECT_GT(recorder.audibleSeconds, 0.5);
    EXPECT_LT(recorder.audibleSeconds, 1.0);
}

TEST_F(SoundOnNullSink, MissingOrBrokenFilesGiveSilenceAndLeaveNothingBehind) {
    QTemporaryDir dir;
    QString garbage = dir.filePath("安全.wav");
    QFile f(garbage);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("RIFF\x10\x00\x00\x00WAVEjunk", 16) + QByteArray(4000, '\x7f'));
    f.close();

    SinkRecorder recorder;
    PlaySoundFile(output, QString(dir.filePath("警告.wav")).toStdString());  // missing
    EXPECT_EQ(output.EffectsAlive(), 0);
    PlaySoundFile(output, QString(garbage).toStdString());
    PlaySoundFile(output, QString(dir.path()).toStdString());  // a folder, not a file
    EXPECT_EVENTUALLY_EQ(output.EffectsAlive(), 0, 5000);
    QTest::qWait(300);
    EXPECT_LT(recorder.StopAndMeasureRms(), 0.001);

    // The output still plays a good file afterwards.
    SinkRecorder after;
    PlaySoundFile(output, QString(ProgramFolderFile("安全.wav")).toStdString());
    EXPECT_EVENTUALLY_EQ(output.EffectsAlive(), 0, 5000);
    EXPECT_GT(after.StopAndMeasureRms(), 0.02);
}

TEST(NoAudioServer, PlayingReturnsAndNothingHangs) {
    if (qEnvironmentVariable("RM_EXPECT_NO_AUDIO") != "1")
        GTEST_SKIP() << "runs with PULSE_SERVER pointing nowhere";
    QtSoundOutput output;
    QElapsedTimer clock;
    clock.start();
    PlaySoundFile(output, QString(ProgramFolderFile("警告.wav")).toStdString());
    PlaySoundFile(output, QString(ProgramFolderFile("安全.wav")).toStdString());
    EXPECT_LT(clock.elapsed(), 2000);
    // Nothing is started that could wait for a server forever.
    EXPECT_EQ(output.EffectsAlive(), 0);
    QTest::qWait(200);
    EXPECT_EQ(output.EffectsAlive(), 0);
}

// The shipped sounds: 16-bit PCM, under a second, ending in silence so that
// QSoundEffect's clipping of the tail costs nothing audible.
TEST(ShippedSounds, AreShortPcmWithSilentTails) {
    for (const char* name : {"警告.wav", "安全.wav"}) {
        SCOPED_TRACE(name);
        QFile f(ProgramFolderFile(QString::fromUtf8(name)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray w = f.readAll();
        ASSERT_GE(w.size(), 44);
        ASSERT_EQ(w.left(4), "RIFF");
        ASSERT_EQ(w.mid(8, 8), "WAVEfmt ");
        auto u16 = [&](int at) { return qFromLittleEndian<quint16>(w.constData() + at); };
        auto u32 = [&](int at) { return qFromLittleEndian<quint32>(w.constData() + at); };
        EXPECT_EQ(u16(20), 1) << "PCM";
        EXPECT_EQ(u16(34), 16) << "bits per sample";
        ASSERT_EQ(w.mid(36, 4), "data");
        quint32 bytes = u32(40), rate = u32(24), channels = u16(22);
        ASSERT_LE(44 + qsizetype(bytes), w.size());
        double seconds = double(bytes) / (2.0 * channels * rate);
        EXPECT_LT(seconds, 1.0);
        EXPECT_GT(seconds, 0.3);
        // The last 0.2 s are silent, the rest is not.
        qsizetype tail = qsizetype(0.2 * rate) * channels * 2;
        QByteArray data = w.mid(44, bytes);
        EXPECT_EQ(data.right(tail), QByteArray(tail, '\0'));
        EXPECT_NE(data.left(data.size() - tail).count('\0'), data.size() - tail);
    }
}

}  // namespace
}  // namespace rm
