// The program's sound output (sndPlaySoundW through PlaySoundFile), driven line
// by line from a test script that records the audio server (sound-sink.sh).
// Commands on stdin, one answer line each on stdout; paths are Windows paths
// in UTF-8:
//   play PATH     -> "returned MICROSECONDS"  (the program's way)
//   bare PATH     -> "returned MICROSECONDS"  (SND_ASYNC alone: what the
//                                              program would do without SND_NODEFAULT)
//   default PATH  -> "default 1|0"            (the user's system default sound)
//   quit          -> "bye"
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <cstdio>
#include <functional>
#include <iostream>
#include <string>

#include "core/SoundPlayer.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsPlatform.h"

namespace {

void Say(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

long long Microseconds(const std::function<void()>& call) {
    LARGE_INTEGER frequency{}, start{}, end{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    call();
    QueryPerformanceCounter(&end);
    return (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
}

// The user's default sound: winmm plays it for a name it cannot find unless
// told SND_NODEFAULT.
bool SetDefaultSound(const std::wstring& path) {
    return WriteProfileStringW(L"Sounds", L"Default", path.c_str()) != FALSE;
}

}  // namespace

int main() {
    auto output = rm::MakeWindowsSoundOutput();
    Say("ready");
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string command = line.substr(0, line.find(' '));
        const std::string path =
            line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
        if (command == "play") {
            Say("returned " +
                std::to_string(Microseconds([&] { rm::PlaySoundFile(*output, path); })));
        } else if (command == "bare") {
            const std::wstring wide = rm::WideFromUtf8(path);
            Say("returned " +
                std::to_string(Microseconds([&] { sndPlaySoundW(wide.c_str(), SND_ASYNC); })));
        } else if (command == "default") {
            Say(std::string("default ") + (SetDefaultSound(rm::WideFromUtf8(path)) ? "1" : "0"));
        } else if (command == "quit") {
            break;
        } else {
            Say("unknown " + line);
        }
    }
    output.reset();
    Say("bye");
    return 0;
}
