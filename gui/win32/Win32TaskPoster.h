// Runs tasks handed in from any thread on the thread that made the poster (the
// window's): each is posted as a message to a message-only window of its own,
// so it runs from whichever message pump is serving, the main loop or a wait.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>

namespace rm {

class Win32TaskPoster {
  public:
    explicit Win32TaskPoster(HINSTANCE instance = nullptr);
    // Tasks still queued are dropped, not run.
    ~Win32TaskPoster();
    Win32TaskPoster(const Win32TaskPoster&) = delete;
    Win32TaskPoster& operator=(const Win32TaskPoster&) = delete;

    // From any thread. False when the task could not be queued (it is dropped).
    bool Post(std::function<void()> task);

  private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    HWND hwnd_ = nullptr;
};

}  // namespace rm
