// Process entry: answers "-?"/"--help" even without a display, keeps the raw
// arguments, then hands over to the toolkit.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <wx/app.h>

#include "app/player_app.h"
#include "app/process_arguments.h"
#include "app/startup_resolution.h"
#include "app/usage_text.h"

wxIMPLEMENT_APP_NO_MAIN(PlayerApp);

namespace {

std::vector<std::string> arguments;

bool DisplayAvailable() {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland != nullptr && *wayland != '\0') return true;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  XCloseDisplay(display);
  return true;
}

}  // namespace

void SetProcessArguments(int argc, char** argv) { arguments.assign(argv, argv + argc); }
const std::vector<std::string>& ProcessArguments() { return arguments; }

// "--version" has no "=": like "-?" and "--help" it is a word of its own,
// answered before anything else starts; the first of them wins, and a
// package path that begins with a quote takes in the rest.
static bool AsksForVersion(const std::vector<std::string>& args) {
  for (size_t i = 1; i < args.size(); ++i) {
    if (!args[i].empty() && args[i][0] == '"') return false;
    if (args[i] == "-?" || args[i] == "--help") return false;
    if (args[i] == "--version") return true;
  }
  return false;
}

int main(int argc, char** argv) {
  SetProcessArguments(argc, argv);
  if (AsksForVersion(arguments)) {
    const std::string line = VersionLine();
    std::fwrite(line.data(), 1, line.size(), stdout);
    return 0;
  }
  if (AsksForUsage(arguments) && !DisplayAvailable()) {
    const std::string text = UsageText(arguments.empty() ? std::string() : arguments[0]);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  const int status = wxEntry(argc, argv);
  return PlayerApp::ExitStatus() != 0 ? PlayerApp::ExitStatus() : status;
}
