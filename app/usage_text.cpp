#include "app/usage_text.h"

namespace {

constexpr char kStartUpPackage[] = "MRVStartup.mvk";
// Host of the second example; any reserved example name will do.
constexpr char kExampleConfigHost[] = "config.example.com";

}  // namespace

std::string UsageText(const std::string& programPath) {
  std::string text;
  text += "\n";
  text += VersionLine();
  text += "\n";
  text += "Usage : " + programPath + " [OPTIONS] [MVKfile]\n";
  text += "\n";
  text += "\n";
  text += "-c=PATH/URL, --Server=PATH/URL\n";
  text += "  set the path or the url to retrieve the start environnement xml.\n";
  text += "\n";
  text += "-w=NUM, --Width=NUM\n";
  text += "  set the width of window engine\n";
  text += "\n";
  text += "-h=NUM, --Height=NUM\n";
  text += "  set the height of window engine\n";
  text += "\n";
  text += "-f=0-1, --Fullscreen=0-1\n";
  text += "  set 0 to force windowed mode at start\n";
  text += "  set 1 to force fullscreen mode at start (default)\n";
  text += "\n";
  text += "-F=0-1, --ForceFailsafe=0-1\n";
  text += "  set 0 to start the application normally (default)\n";
  text += "  set 1 to force failsafe mode at start\n";
  text += "\n";
  text += "-a=0-3, --AppAALevel=0-3\n";
  text += "  set antialias level\n";
  text += "  \t- set 0 to use user settings for antialias (default)\n";
  text += "  \t- set 1 for antialias to None\n";
  text += "  \t- set 2 for antialias to 2x\n";
  text += "  \t- set 3 for antialias to 4x\n";
  text += "\n";
  text += "-s=0-1, --AppShadowLevel=0-1\n";
  text += "  set the use of shadows\n";
  text += "  \t- set 0 to use user settings for shadows (default)\n";
  text += "  \t- set 1 not to use shadows\n";
  text += "\n";
  text += "-p=0-1, --AppPostRELevel=0-1\n";
  text += "  set the use of post render effects\n";
  text += "  \t- set 0 to use user settings for post render effects (default)\n";
  text += "  \t- set 1 not to use post render effects\n";
  text += "\n";
  text += "-r=0-1, --AppReflectLevel=0-1\n";
  text += "  set the use of reflections\n";
  text += "  \t- set 0 to use user settings for reflections (default)\n";
  text += "  \t- set 1 not to use reflections\n";
  text += "\n";
  text += "-d=0-1, --SmartCache=x\n";
  text += "  set the use of smart cache\n";
  text += "  \t- set 0 not to use smart cache\n";
  text += "  \t- set 1 to use smart cache(default)\n";
  text += "\n";
  text += "Note: if MVKfile is not specified, Mervane Engine will launch the first .mvk file found different from ";
  text += kStartUpPackage;
  text += " .\n";
  text += "\n";
  text += "Example: " + programPath + " -w=800 -h=600 -f=0 Demo-1.0.mvk\n";
  text += "\n";
  text += "Example: " + programPath + " --config=http://" + kExampleConfigHost +
          "/config.php --width=800 --height=600 --fullscreen=0 Demo-2.0.mvk\n";
  return text;
}

std::string VersionLine() { return "Mervane Standalone Engine 1.5.1.0\n"; }
