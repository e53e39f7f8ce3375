#include "app/startup_resolution.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

#include "app/usage_text.h"
#include "settings/settings_file.h"
#include "settings/user_directories.h"

namespace fs = std::filesystem;

namespace {

constexpr char kStartUpPackage[] = "MRVStartup.mvk";
constexpr char kPackageExtension[] = ".mvk";

bool Contains(const std::string& text, const char* piece) {
  return text.find(piece) != std::string::npos;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// Directory strings from the directory rules may use "\"; the system wants "/".
std::string SystemPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return i == a.size() && b[i] == '\0';
}

// atoi's reading of a number, without its undefined behaviour on overflow:
// values beyond the 32-bit range are clamped.
int32_t ToInt(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

uint16_t LowBits(int32_t value) { return static_cast<uint16_t>(value); }

enum class OptionTarget {
  Width, Height, FullScreen, Failsafe, AntiAlias, Shadows, PostRenderEffects, Reflections,
  SmartCache, Config,
};

struct OptionKeys {
  OptionTarget target;
  const char* names[3];
};

// Tested in this order; keys ignore letter case except the exact "-F".
constexpr OptionKeys kOptionTable[] = {
    {OptionTarget::Width, {"-w", "--width", nullptr}},
    {OptionTarget::Height, {"-h", "--height", nullptr}},
    {OptionTarget::FullScreen, {"-f", "--fullscreen", nullptr}},
    {OptionTarget::Failsafe, {"-F", "--failsafe", "--forcefailsafe"}},
    {OptionTarget::AntiAlias, {"-a", "--antialias", "--appaalevel"}},
    {OptionTarget::Shadows, {"-s", "--shadows", "--appshadowlevel"}},
    {OptionTarget::PostRenderEffects, {"-p", "--post-render-effects", "--apppostrelevel"}},
    {OptionTarget::Reflections, {"-r", "--reflections", "--appreflectlevel"}},
    {OptionTarget::SmartCache, {"-d", "--smartcache", nullptr}},
    {OptionTarget::Config, {"-c", "--config", "--server"}},
};

bool KeyMatches(const std::string& key, const char* name) {
  // "-F" (failsafe) and "-f" (full screen) are told apart by letter case.
  const std::string capitalF = "-F";
  if (name == capitalF)
    return key == capitalF;
  return key != capitalF && EqualsIgnoringCase(key, name);
}

std::optional<OptionTarget> FindOption(const std::string& key) {
  for (const OptionKeys& row : kOptionTable) {
    for (const char* name : row.names) {
      if (name != nullptr && KeyMatches(key, name))
        return row.target;
    }
  }
  return std::nullopt;
}

void ApplyOption(const std::string& argument, PlayerOptions& options, StartUpResolution& result) {
  const size_t equals = argument.find('=');
  const std::string key = argument.substr(0, equals);
  const std::string value = argument.substr(equals + 1);
  const std::optional<OptionTarget> target = FindOption(key);
  if (!target)
    return;
  const int32_t number = ToInt(value);
  switch (*target) {
    case OptionTarget::Width: options.width = LowBits(number); break;
    case OptionTarget::Height: options.height = LowBits(number); break;
    case OptionTarget::FullScreen: result.fullScreen = number > 0; break;
    case OptionTarget::Failsafe: options.forceFailsafe = number > 0 ? 1 : 0; break;
    case OptionTarget::AntiAlias: options.appAALevel = LowBits(number); break;
    case OptionTarget::Shadows: options.appShadowLevel = LowBits(number); break;
    case OptionTarget::PostRenderEffects: options.appPostRELevel = LowBits(number); break;
    case OptionTarget::Reflections: options.appReflectLevel = LowBits(number); break;
    case OptionTarget::SmartCache: options.smartCache = LowBits(number); break;
    case OptionTarget::Config: result.configData = value; break;
  }
}

struct CommandLine {
  bool asksForUsage = false;
  std::string package;
};

// One pass over the arguments after the program's path. Options go to
// onOption as they come; the scan stops at a usage request or a quoted package.
CommandLine ScanCommandLine(const std::vector<std::string>& args,
                            const std::function<void(const std::string&)>& onOption) {
  CommandLine result;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& argument = args[i];
    if (argument == "-?" || argument == "--help") {
      result.asksForUsage = true;
      return result;
    }
    if (Contains(argument, "=")) {
      onOption(argument);
      continue;
    }
    if (!argument.empty() && argument.front() == '"') {
      // A quoted path with blanks arrives in pieces: put it back together.
      std::string joined;
      for (size_t piece = i; piece < args.size(); ++piece) {
        if (piece > i)
          joined += ' ';
        joined += args[piece];
      }
      joined.erase(std::remove(joined.begin(), joined.end(), '"'), joined.end());
      result.package = joined;
      return result;
    }
    if (i + 1 == args.size())
      result.package = argument;
  }
  return result;
}

// The candidate itself when a regular file exists at exactly that path
// (relative to the current directory), else empty.
std::string Lookup(const std::string& candidate) {
  if (candidate.empty())
    return {};
  std::error_code error;
  return fs::is_regular_file(SystemPath(candidate), error) ? candidate : std::string();
}

bool IsPackageName(const std::string& name) {
  const size_t extension = sizeof(kPackageExtension) - 1;
  return name.size() >= extension && name.compare(name.size() - extension, extension, kPackageExtension) == 0;
}

// The packages of a directory ("*.mvk", regular visible files, letter case counts),
// in byte order of their names so that the choice is the same on every run.
std::vector<std::string> PackagesIn(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator entry(directory.empty() ? fs::path(".") : fs::path(SystemPath(directory)), error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    std::error_code typeError;
    const std::string name = entry->path().filename().string();
    // Hidden files (such as "._Demo.mvk" left by other systems) are not packages.
    if (name[0] != '.' && IsPackageName(name) && entry->is_regular_file(typeError))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The first package of the directory (directory followed by its name), but
// the next one when the first is the start-up package; empty when none.
std::string SearchPackage(const std::string& directory) {
  const std::vector<std::string> names = PackagesIn(directory);
  if (names.empty())
    return {};
  const std::string first = directory + names[0];
  if (!Contains(first, kStartUpPackage))
    return first;
  return names.size() > 1 ? directory + names[1] : std::string();
}

// The URL forms are folded into one: "file:" + "//" + absolute path stays as it
// is, and an escaped colon is written plainly.
void NormaliseUrl(std::string& text) {
  ReplaceAll(text, "file://", "file:/");
  ReplaceAll(text, "file:/", "file://");
  ReplaceAll(text, "%3A", ":");
}

}  // namespace

std::string PathLocation(const std::string& path) {
  const std::string location = SystemPath(path);
  const size_t last = location.find_last_of("/:");
  return last == std::string::npos ? std::string() : location.substr(0, last + 1);
}

std::string LocalPathToUrl(const std::string& path) {
  fs::path absolute(SystemPath(path));
  if (absolute.is_relative()) {
    std::error_code error;
    fs::path base = fs::current_path(error);
    // Without a readable current directory the root is the only base left.
    if (error)
      base = "/";
    absolute = base / absolute;
  }
  std::string text = absolute.lexically_normal().string();
  ReplaceAll(text, "%", "%25");
  return "file://" + text;
}

bool AsksForUsage(const std::vector<std::string>& args) {
  return ScanCommandLine(args, [](const std::string&) {}).asksForUsage;
}

StartUpResolution ResolveStartUp(const std::vector<std::string>& args, const SettingsFile& settings,
                                 PlayerOptions& options,
                                 const std::function<void(const std::string&)>& print) {
  StartUpResolution result;
  if (!args.empty())
    result.programDir = PathLocation(args[0]);

  int32_t value = 1;
  settings.GetInt("Fullscreen", value);
  result.fullScreen = value == 1;
  value = 0;
  settings.GetInt("ResWidth", value);
  options.width = LowBits(value);
  value = 0;
  settings.GetInt("ResHeight", value);
  options.height = LowBits(value);

  const CommandLine commandLine = ScanCommandLine(
      args, [&](const std::string& argument) { ApplyOption(argument, options, result); });
  if (commandLine.asksForUsage) {
    result.outcome = StartUpResolution::Outcome::ShowUsage;
    result.usageText = UsageText(args.empty() ? std::string() : args[0]);
    return result;
  }

  result.gameData = commandLine.package;
  if (!Contains(result.gameData, kPackageExtension))
    result.gameData.clear();

  result.workPath = result.programDir;
  const bool remote = Contains(result.gameData, "://");
  if (!result.gameData.empty()) {
    if (!remote)
      result.workPath = PathLocation(result.gameData);
  } else {
    result.gameData = SearchPackage(result.programDir);
    if (result.gameData.empty()) {
      result.outcome = StartUpResolution::Outcome::NoPackage;
      return result;
    }
  }
  if (result.workPath.empty())
    result.workPath = "./";

  if (result.configData.empty() && !remote)
    result.configData = Lookup(result.gameData.substr(0, result.gameData.size() - 4) + ".xml");

  // The user data directory is asked for only when needed: asking may claim it.
  const std::function<std::string()> startUpCandidates[] = {
      [&] { return result.workPath + kStartUpPackage; },
      [&] { return result.programDir + "/" + kStartUpPackage; },
      [&] { return UserDataDirectory() + kStartUpPackage; },
  };
  for (const auto& candidate : startUpCandidates) {
    const std::string path = candidate();
    print("Searching for.. : " + path + "\n");
    result.loadingData = Lookup(path);
    if (!result.loadingData.empty())
      break;
  }

  if (!remote)
    result.gameData = LocalPathToUrl(result.gameData);
  if (!result.loadingData.empty())
    result.loadingData = LocalPathToUrl(result.loadingData);
  if (!result.configData.empty() && !Contains(result.configData, "://"))
    result.configData = LocalPathToUrl(result.configData);

  NormaliseUrl(result.configData);
  NormaliseUrl(result.loadingData);
  NormaliseUrl(result.gameData);

  print("Work path...... : " + result.workPath + "\n");
  print("Config data.... : " + result.configData + "\n");
  print("Loading data... : " + result.loadingData + "\n");
  print("Game data...... : " + result.gameData + "\n");
  result.outcome = StartUpResolution::Outcome::Ready;
  return result;
}
