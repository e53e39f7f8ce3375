#include "standin/demo_drawing.h"

#include <dlfcn.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace standin {

// The GTK, GObject and cairo functions used, resolved from the host's GTK.
struct DemoDrawing::Gtk {
  void* library = nullptr;
#define STANDIN_GTK_FUNCTIONS(X)                                               \
  X(gtk_window_list_toplevels) X(g_list_find) X(g_list_free)                  \
  X(gtk_bin_get_child) X(g_signal_connect_data) X(g_signal_handler_disconnect) \
  X(g_signal_handler_is_connected) X(g_object_add_weak_pointer)               \
  X(g_object_remove_weak_pointer) X(gtk_widget_queue_draw)                    \
  X(gtk_widget_get_allocated_width) X(gtk_widget_get_allocated_height)        \
  X(gtk_window_fullscreen) X(gtk_widget_show) X(cairo_save) X(cairo_restore)  \
  X(cairo_set_source_rgb) X(cairo_paint) X(cairo_new_path) X(cairo_arc)       \
  X(cairo_fill) X(cairo_rectangle) X(cairo_move_to) X(cairo_show_text)        \
  X(cairo_select_font_face) X(cairo_set_font_size)
#define STANDIN_DECLARE(name) decltype(&::name) name = nullptr;
  STANDIN_GTK_FUNCTIONS(STANDIN_DECLARE)
#undef STANDIN_DECLARE

  // Only a GTK that the host loaded counts; RTLD_NOLOAD never loads one.
  bool Load() {
    library = ::dlopen("libgtk-3.so.0", RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
    if (library == nullptr) return false;
#define STANDIN_RESOLVE(name)                                             \
  name = reinterpret_cast<decltype(&::name)>(::dlsym(library, #name)); \
  if (name == nullptr) return false;
    STANDIN_GTK_FUNCTIONS(STANDIN_RESOLVE)
#undef STANDIN_RESOLVE
    return true;
  }

  ~Gtk() {
    if (library != nullptr) ::dlclose(library);
  }
};

namespace {

bool DrawingDisabled() {
  const char* value = std::getenv("MERVANE_STANDIN_NODRAW");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

// cairo's toy text API wants UTF-8 and puts the whole context in an error
// state on anything else, so only printable ASCII is shown.
std::string Printable(const std::string& text, size_t max) {
  std::string out;
  for (char c : text) {
    if (out.size() >= max) {
      out += "...";
      break;
    }
    unsigned char u = static_cast<unsigned char>(c);
    out += (u >= 0x20 && u <= 0x7e) ? c : '?';
  }
  return out;
}

}  // namespace

DemoDrawing::DemoDrawing(std::function<DemoScene()> scene)
    : scene_(std::move(scene)), start_(std::chrono::steady_clock::now()), lastRedraw_(start_) {}

DemoDrawing::~DemoDrawing() { Detach(); }

bool DemoDrawing::IsLiveToplevel(void* window) const {
  if (window == nullptr || !gtk_) return false;
  GList* toplevels = gtk_->gtk_window_list_toplevels();
  const bool found = gtk_->g_list_find(toplevels, window) != nullptr;
  gtk_->g_list_free(toplevels);
  return found;
}

void DemoDrawing::Attach(void* window) {
  if (DrawingDisabled() || window == nullptr) return;
  if (window == window_ && widget_ != nullptr) return;
  if (!gtk_) {
    auto gtk = std::make_unique<Gtk>();
    if (!gtk->Load()) return;
    gtk_ = std::move(gtk);
  }
  if (!IsLiveToplevel(window)) return;
  Detach();
  GtkWidget* child = gtk_->gtk_bin_get_child(reinterpret_cast<GtkBin*>(window));
  GtkWidget* target = child != nullptr ? child : reinterpret_cast<GtkWidget*>(window);
  handler_ = gtk_->g_signal_connect_data(target, "draw", reinterpret_cast<GCallback>(&OnDraw),
                                         this, nullptr, G_CONNECT_AFTER);
  if (handler_ == 0) return;
  window_ = window;
  widget_ = target;
  gtk_->g_object_add_weak_pointer(reinterpret_cast<GObject*>(target), &widget_);
  gtk_->gtk_widget_queue_draw(target);
}

void DemoDrawing::Detach() {
  if (gtk_ && widget_ != nullptr) {
    if (gtk_->g_signal_handler_is_connected(widget_, handler_)) {
      gtk_->g_signal_handler_disconnect(widget_, handler_);
    }
    gtk_->g_object_remove_weak_pointer(reinterpret_cast<GObject*>(widget_), &widget_);
    gtk_->gtk_widget_queue_draw(reinterpret_cast<GtkWidget*>(widget_));
  }
  widget_ = nullptr;
  window_ = nullptr;
  handler_ = 0;
}

void DemoDrawing::Tick() {
  if (widget_ == nullptr) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastRedraw_ < std::chrono::milliseconds(33)) return;
  lastRedraw_ = now;
  gtk_->gtk_widget_queue_draw(reinterpret_cast<GtkWidget*>(widget_));
}

void DemoDrawing::ShowFullScreen(void* window) {
  if (window == nullptr) return;
  if (!gtk_) {
    auto gtk = std::make_unique<Gtk>();
    if (!gtk->Load()) return;
    gtk_ = std::move(gtk);
  }
  if (!IsLiveToplevel(window)) return;
  gtk_->gtk_window_fullscreen(reinterpret_cast<GtkWindow*>(window));
  gtk_->gtk_widget_show(reinterpret_cast<GtkWidget*>(window));
}

int DemoDrawing::OnDraw(void* widget, void* cairo, void* self) {
  auto* drawing = static_cast<DemoDrawing*>(self);
  if (drawing == nullptr || widget == nullptr || cairo == nullptr) return FALSE;
  try {
    drawing->Paint(cairo);
  } catch (...) {
    // Nothing may leave a GTK signal handler.
  }
  return FALSE;
}

void DemoDrawing::Paint(void* cairoContext) const {
  const Gtk& g = *gtk_;
  auto* cr = static_cast<cairo_t*>(cairoContext);
  auto* widget = static_cast<GtkWidget*>(widget_);
  if (widget == nullptr) return;
  const DemoScene scene = scene_();
  const double w = g.gtk_widget_get_allocated_width(widget);
  const double h = g.gtk_widget_get_allocated_height(widget);
  const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();

  g.cairo_save(cr);
  g.cairo_set_source_rgb(cr, 0.10 + 0.10 * std::sin(t * 0.7), 0.15 + 0.10 * std::sin(t * 0.9 + 2.0),
                         0.30 + 0.15 * std::sin(t * 1.1 + 4.0));
  g.cairo_paint(cr);

  // A ball on a Lissajous path and a sweeping bar: visibly alive.
  const double radius = std::max(6.0, std::min(w, h) / 10.0);
  g.cairo_new_path(cr);
  g.cairo_arc(cr, w / 2 + (w / 3) * std::cos(t * 1.3), h / 2 + (h / 3) * std::sin(t * 1.7), radius,
              0, 2 * M_PI);
  g.cairo_set_source_rgb(cr, 0.95, 0.60, 0.15);
  g.cairo_fill(cr);
  const double sweep = std::fmod(t * 0.5, 1.0);
  g.cairo_rectangle(cr, 0, h - 8, w * sweep, 8);
  g.cairo_set_source_rgb(cr, 0.30, 0.85, 0.45);
  g.cairo_fill(cr);

  g.cairo_select_font_face(cr, "monospace", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  g.cairo_set_font_size(cr, 14);
  g.cairo_set_source_rgb(cr, 1, 1, 1);
  const std::string lines[] = {
      "Mervane stand-in engine",
      "package: " + Printable(scene.packUri, 200),
      "config:  " + Printable(scene.configUri, 200),
      "loading: " + Printable(scene.loadingData, 200),
      "frame:   " + std::to_string(scene.frame),
  };
  double y = 28;
  for (const std::string& line : lines) {
    g.cairo_move_to(cr, 16, y);
    g.cairo_show_text(cr, line.c_str());
    y += 22;
  }
  g.cairo_restore(cr);
}

std::string StartUpValue(const std::string& document, const std::string& name) {
  const std::string open = "n=\"" + name + "\">";
  const size_t begin = document.find(open);
  if (begin == std::string::npos) return {};
  const size_t valueBegin = begin + open.size();
  const size_t end = document.find("</V>", valueBegin);
  if (end == std::string::npos) return {};
  return document.substr(valueBegin, end - valueBegin);
}

}  // namespace standin
