// Settles what the player runs and how: display preferences from the settings
// file, the command line on top of them, then the package, the engine's work
// path, the configuration document and the start-up package, with local
// paths turned into "file://" URLs. Plain strings in and out, no toolkit, so
// the whole start-up decision can be tested without a display.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/player_options.h"

class SettingsFile;

struct StartUpResolution {
  enum class Outcome {
    Ready,      // a package was found; the engine can be brought up
    ShowUsage,  // "-?" or "--help": show usageText and end the process
    NoPackage,  // none given and none found; nothing was printed
  };
  Outcome outcome = Outcome::NoPackage;
  bool fullScreen = true;
  std::string gameData;     // package: "file://" URL, or the remote URL as given
  std::string workPath;     // the engine's work path, a plain directory ending in "/"
  std::string configData;   // configuration document URL, or empty
  std::string loadingData;  // "MRVStartup.mvk" as a "file://" URL, or empty
  std::string programDir;   // location part of the program's own path, or empty
  std::string usageText;    // filled for ShowUsage only
};

// args[0] is the program's own path as the process received it. Reads
// "Fullscreen", "ResWidth" and "ResHeight" from settings, applies the command
// line to options and the result, and hands each line meant for standard
// output (with its "\n") to print, in order.
StartUpResolution ResolveStartUp(const std::vector<std::string>& args, const SettingsFile& settings,
                                 PlayerOptions& options,
                                 const std::function<void(const std::string&)>& print);

// True when the command line asks for the usage text, scanned exactly as
// ResolveStartUp scans it (a quoted package ends the scan). Lets main()
// answer "--help" before the toolkit needs a display.
bool AsksForUsage(const std::vector<std::string>& args);

// The location part of a path: everything up to and including the last "/"
// or ":", with "\" written as "/"; empty when there is no separator.
std::string PathLocation(const std::string& path);

// A local path as a "file://" URL: made absolute against the current
// directory and normalised ("." and ".." folded), "\" written as "/" and "%"
// as "%25"; nothing else is escaped. "/a/b.mvk" gives "file:///a/b.mvk".
std::string LocalPathToUrl(const std::string& path);
