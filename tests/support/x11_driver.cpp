#include "support/x11_driver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <vector>

#include "support/player_run.h"

namespace test {
namespace {

Display* D(void* d) { return static_cast<Display*>(d); }

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

long WindowPid(Display* d, Window w) {
  static Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
  Atom type;
  int format;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  long pid = -1;
  if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                         &data) == Success &&
      data != nullptr) {
    if (count == 1) pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
    XFree(data);
  }
  return pid;
}

bool Viewable(Display* d, Window w) {
  XWindowAttributes a;
  if (XGetWindowAttributes(d, w, &a) == 0) return false;
  return a.map_state == IsViewable;
}

std::string Name(Display* d, Window w) {
  char* name = nullptr;
  std::string out;
  if (XFetchName(d, w, &name) != 0 && name != nullptr) {
    out = name;
    XFree(name);
  }
  XTextProperty prop;
  static Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
  if (out.empty() && XGetTextProperty(d, w, &prop, netName) != 0 && prop.value != nullptr) {
    out.assign(reinterpret_cast<char*>(prop.value), prop.nitems);
    XFree(prop.value);
  }
  return out;
}

// Top-level windows (direct children of the root) that satisfy pred.
Window FindTopLevel(Display* d, const std::function<bool(Window)>& pred) {
  Window root = DefaultRootWindow(d);
  Window parent;
  Window* children = nullptr;
  unsigned int count = 0;
  Window found = 0;
  if (XQueryTree(d, root, &root, &parent, &children, &count) == 0) return 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    if (pred(children[i])) found = children[i];
  }
  if (children != nullptr) XFree(children);
  return found;
}

Window Poll(const std::function<Window()>& find, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    if (Window w = find()) return w;
    SleepMs(20);
  } while (std::chrono::steady_clock::now() < deadline);
  return 0;
}

}  // namespace

X11Driver::X11Driver() {
  // A busy server can turn a connection away now and then: try for a while.
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return;
  for (int attempt = 0; attempt < 50 && display_ == nullptr; ++attempt) {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) SleepMs(100);
  }
  if (display_ != nullptr) XSetErrorHandler(IgnoreErrors);
}

X11Driver::~X11Driver() {
  if (display_ != nullptr) XCloseDisplay(D(display_));
}

unsigned long X11Driver::FindVisibleWindow(pid_t pid, int timeoutMs) {
  Display* d = D(display_);
  return Poll([&] {
    return FindTopLevel(d, [&](Window w) { return WindowPid(d, w) == pid && Viewable(d, w); });
  }, timeoutMs);
}

bool X11Driver::HasVisibleWindow(pid_t pid) { return FindVisibleWindow(pid, 0) != 0; }

unsigned long X11Driver::FindWindowNamed(const std::string& title, int timeoutMs) {
  Display* d = D(display_);
  return Poll([&] {
    return FindTopLevel(d, [&](Window w) { return Viewable(d, w) && Name(d, w) == title; });
  }, timeoutMs);
}

void X11Driver::Close(unsigned long window) {
  Display* d = D(display_);
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, window, False, NoEventMask, &event);
  XFlush(d);
}

void X11Driver::Resize(unsigned long window, int width, int height) {
  XResizeWindow(D(display_), window, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XFlush(D(display_));
}

void X11Driver::ScreenSize(int* width, int* height) {
  Display* d = D(display_);
  *width = DisplayWidth(d, DefaultScreen(d));
  *height = DisplayHeight(d, DefaultScreen(d));
}

std::string X11Driver::WindowText(unsigned long window) { return Name(D(display_), window); }

bool X11Driver::PressReturn(unsigned long window) {
  // GTK ignores synthetic key events; xdotool goes through XTEST like a real key.
  const std::string id = std::to_string(window);
  const std::string command = "xdotool windowfocus --sync " + id + " key Return >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

}  // namespace test
