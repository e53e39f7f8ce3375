// The start-up resolution over arbitrary settings text and arguments. It runs
// in the scratch tree, so the files it looks for are the tree's and the
// directories it may claim are the tree's too. The checks are the promises
// the resolution makes to the frame: the outcome matches AsksForUsage, the
// report lines come only for a ready start and in their fixed order, local
// locations are "file:///" URLs, and the options record's fixed fields are
// never touched.
#include <string>
#include <vector>

#include "app/startup_resolution.h"
#include "engine/player_options.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "settings/settings_file.h"

namespace {

using Outcome = StartUpResolution::Outcome;

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }
bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}
bool Contains(const std::string& text, const char* piece) { return text.find(piece) != std::string::npos; }

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

// Program paths as a process may receive them: in a directory with packages,
// in one without, bare, and with "\" separators.
std::string ProgramPath(uint8_t choice) {
  const std::string& root = fuzz::ScratchRoot();
  switch (choice % 4) {
    case 0: return root + "program/mervane-player";
    case 1: return root + "empty/mervane-player";
    case 2: return "mervane-player";
    default: {
      std::string path = root + "program/mervane-player";
      for (char& c : path) c = c == '/' ? '\\' : c;
      return path;
    }
  }
}

void CheckLocalUrl(const std::string& url, const char* what) {
  FUZZ_CHECK(StartsWith(url, "file:///"), std::string(what) + ": " + url);
  FUZZ_CHECK(!Contains(url, "\\"), std::string(what) + ": " + url);
}

}  // namespace

int FuzzCommandLine(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<std::string> pieces(1);
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == '\0')
      pieces.emplace_back();
    else
      pieces.back() += static_cast<char>(data[i]);
  }
  std::vector<std::string> args{ProgramPath(data[0])};
  args.insert(args.end(), pieces.begin() + 1, pieces.end());

  const std::string settingsPath = fuzz::ScratchRoot() + "MRVClient.cfg";
  fuzz::WriteFile(settingsPath, pieces[0]);
  SettingsFile settings(false, "");
  settings.Load(settingsPath);

  PlayerOptions options;
  std::vector<std::string> printed;
  const StartUpResolution result =
      ResolveStartUp(args, settings, options, [&](const std::string& line) { printed.push_back(line); });

  FUZZ_CHECK((result.outcome == Outcome::ShowUsage) == AsksForUsage(args), "AsksForUsage disagrees");
  FUZZ_CHECK(result.programDir == PathLocation(args[0]), result.programDir);
  FUZZ_CHECK(options.firstWord == 0 && options.secondWord == 0 && options.fixedFlag == 1, "fixed fields changed");

  switch (result.outcome) {
    case Outcome::ShowUsage:
      FUZZ_CHECK(printed.empty(), Joined(printed));
      FUZZ_CHECK(Contains(result.usageText, "MRVStartup.mvk"), result.usageText);
      return 0;
    case Outcome::NoPackage:
      FUZZ_CHECK(printed.empty(), Joined(printed));
      FUZZ_CHECK(result.gameData.empty(), result.gameData);
      return 0;
    case Outcome::Ready:
      break;
  }

  FUZZ_CHECK(result.usageText.empty(), "usage text for a ready start");
  FUZZ_CHECK(printed.size() >= 5 && printed.size() <= 7, Joined(printed));
  const size_t searches = printed.size() - 4;
  for (size_t i = 0; i < searches; ++i)
    FUZZ_CHECK(StartsWith(printed[i], "Searching for.. : ") && EndsWith(printed[i], "MRVStartup.mvk\n"), printed[i]);
  const char* const reportLines[] = {"Work path...... : ", "Config data.... : ", "Loading data... : ",
                                     "Game data...... : "};
  const std::string* const reported[] = {&result.workPath, &result.configData, &result.loadingData,
                                         &result.gameData};
  for (size_t i = 0; i < 4; ++i)
    FUZZ_CHECK(printed[searches + i] == reportLines[i] + *reported[i] + "\n", printed[searches + i]);
  // Only the last search may have found the start-up package.
  FUZZ_CHECK(searches == 3 || !result.loadingData.empty(), Joined(printed));

  FUZZ_CHECK(!result.workPath.empty(), "empty work path");
  FUZZ_CHECK(EndsWith(result.workPath, "/") || EndsWith(result.workPath, ":"), result.workPath);
  // A local package becomes a "file://" URL and a remote one kept its "://".
  FUZZ_CHECK(Contains(result.gameData, "://"), result.gameData);
  if (!result.loadingData.empty()) CheckLocalUrl(result.loadingData, "loading data");
  for (const std::string* url : {&result.gameData, &result.configData, &result.loadingData})
    FUZZ_CHECK(!Contains(*url, "%3A"), "an escaped colon was left: " + *url);
  return 0;
}
