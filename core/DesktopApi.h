// The desktop calls of the program behind small interfaces: top-level windows,
// sound, starting programs, message boxes, the file dialog, the program folder,
// the millisecond clock and the event pump. Linux versions in platform/linux,
// fakes in platform/fake. Text (titles, paths, messages) is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rm {

// Top-level client windows of the desktop (X11 on Linux).
class WindowSystem {
  public:
    using WindowId = uint64_t;
    virtual ~WindowSystem() = default;
    // Every top-level client window, in stacking or listing order.
    virtual std::vector<WindowId> TopLevelWindows() = 0;
    // The window's title as the window manager shows it (empty when untitled or gone).
    virtual std::string TitleOf(WindowId w) = 0;
    // A polite close request; returns after the server has processed it.
    virtual void RequestClose(WindowId w) = 0;
    // Iconify; returns after the server has processed it.
    virtual void Minimize(WindowId w) = 0;
};

// Plays a WAV file in the background; silence on any failure.
class SoundOutput {
  public:
    virtual ~SoundOutput() = default;
    virtual void PlayAsync(const std::string& path) = 0;
};

// Starts a program by path, detached, no shell, nothing in the path interpreted.
class ProgramLauncher {
  public:
    virtual ~ProgramLauncher() = default;
    // True when the program was started.
    virtual bool StartMinimized(const std::string& path) = 0;
};

// Modal message boxes captioned with the application title "Orla网监视".
// `style` is the original style word: 0 = OK only, 48 = exclamation icon + OK,
// 16 = stop icon + OK.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    virtual void Show(const std::string& text, int style) = 0;
};

// The open-file dialog of the browse button: shows it modally and returns the
// current file name afterwards (the previous one when cancelled, empty at first).
class FileDialog {
  public:
    virtual ~FileDialog() = default;
    virtual std::string ShowOpen() = 0;
};

// The folder of the running program, no trailing separator: its sounds and the
// settings files it ships with.
class ProgramFolder {
  public:
    virtual ~ProgramFolder() = default;
    virtual std::string Path() = 0;
};

// timeGetTime, Sleep, "let pending window events run", and the end of the
// event loop.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual uint32_t TimeGetTime() = 0;  // milliseconds, 32 bits, wraps
    virtual void Sleep(uint32_t ms) = 0;
    virtual void DoEvents() = 0;
    // Ends the program: through the event loop, or at once (the process ends
    // inside this call) when a caller further up must not carry on.
    virtual void EndProgram(bool atOnce) = 0;
};

}  // namespace rm
