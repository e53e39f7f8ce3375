// Drives windows from outside, as a user or window manager would: find the
// player's window, close it, resize it, answer a message box.
#pragma once

#include <sys/types.h>

#include <string>

namespace test {

class X11Driver {
 public:
  X11Driver();
  ~X11Driver();
  X11Driver(const X11Driver&) = delete;
  X11Driver& operator=(const X11Driver&) = delete;

  bool ok() const { return display_ != nullptr; }
  // A viewable top-level window of this process; 0 when none appears in time.
  unsigned long FindVisibleWindow(pid_t pid, int timeoutMs);
  // True when the process has any viewable window right now.
  bool HasVisibleWindow(pid_t pid);
  // A viewable window with exactly this title; 0 when none appears in time.
  unsigned long FindWindowNamed(const std::string& title, int timeoutMs);
  // The window manager's close request (WM_DELETE_WINDOW).
  void Close(unsigned long window);
  void Resize(unsigned long window, int width, int height);
  std::string WindowText(unsigned long window);
  void ScreenSize(int* width, int* height);
  // Focuses the window and presses Return, as a user answering a box.
  bool PressReturn(unsigned long window);

 private:
  void* display_ = nullptr;
};

}  // namespace test
