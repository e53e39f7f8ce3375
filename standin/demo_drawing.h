// Paints the demo view into the window the player hands over: an animated
// background, what the engine was asked to run and the frame count.
//
// GTK is looked up at run time among the libraries the host already loaded,
// never loaded by the stand-in itself: a host without GTK (a unit-test
// process) then loads and unloads the stand-in without dragging GTK in.
// Every method runs on the GUI thread; the handle is used only after it was
// found among GTK's live toplevel windows, so a stray or null handle is
// never dereferenced.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace standin {

struct DemoScene {
  std::string packUri;
  std::string configUri;
  std::string loadingData;
  int64_t frame = 0;
};

class DemoDrawing {
 public:
  // `scene` is asked for the values to show at every paint.
  explicit DemoDrawing(std::function<DemoScene()> scene);
  ~DemoDrawing();
  DemoDrawing(const DemoDrawing&) = delete;
  DemoDrawing& operator=(const DemoDrawing&) = delete;

  // Starts painting into `window` (a GtkWindow*); a second call for the same
  // window changes nothing, one for another window moves the painting there.
  void Attach(void* window);
  // Stops painting; the window may outlive the engine.
  void Detach();
  // Asks GTK for a repaint, at most once per ~33 ms.
  void Tick();
  // Shows `window` full screen (only for scripts that ask for it).
  void ShowFullScreen(void* window);

 private:
  struct Gtk;
  static int OnDraw(void* widget, void* cairo, void* self);
  bool IsLiveToplevel(void* window) const;
  void Paint(void* cairo) const;

  std::function<DemoScene()> scene_;
  std::unique_ptr<Gtk> gtk_;
  void* window_ = nullptr;
  void* widget_ = nullptr;  // GObject weak pointer: nulled when the widget dies
  unsigned long handler_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastRedraw_;
};

// Reads the PackURI and ConfigURI values out of a start-up document.
std::string StartUpValue(const std::string& document, const std::string& name);

}  // namespace standin
