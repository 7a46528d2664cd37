// The program's sound output (sndPlaySoundW through PlaySoundFile), driven line
// by line from a test script that records the audio server (sound-sink.sh).
// Commands on stdin, one answer line each on stdout:
//   play PATH  -> "returned MICROSECONDS"   (PATH in UTF-8, a Windows path)
//   quit       -> "bye"
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "core/SoundPlayer.h"
#include "platform/windows/WindowsPlatform.h"

namespace {

void Say(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

int main() {
    auto output = rm::MakeWindowsSoundOutput();
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    Say("ready");
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("play ", 0) == 0) {
            LARGE_INTEGER start{}, end{};
            QueryPerformanceCounter(&start);
            rm::PlaySoundFile(*output, line.substr(5));
            QueryPerformanceCounter(&end);
            Say("returned " +
                std::to_string((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart));
        } else if (line == "quit") {
            break;
        } else {
            Say("unknown " + line);
        }
    }
    output.reset();
    Say("bye");
    return 0;
}
