// The path-to-URL conversion, the location part of a path and the URL
// normalisation, over arbitrary text. Properties, not a second copy of the
// code: a URL is "file:///" and an absolute path without "\", "." or ".."
// parts, with every "%" escaped; converting is stable (the URL's own path
// converts to the same URL), a relative path is taken against the current
// directory, "\" and "/" are the same separator; and the normalisation,
// reached through the "-c=" option, leaves no escaped colon.
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/startup_resolution.h"
#include "engine/player_options.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "settings/settings_file.h"

namespace {

constexpr char kScheme[] = "file://";

bool Contains(const std::string& text, const char* piece) { return text.find(piece) != std::string::npos; }

std::string Unescaped(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '%') i += 2;  // "%25" stands for "%"
  }
  return out;
}

void CheckUrl(const std::string& path, const std::string& url) {
  const std::string detail = "[" + path + "] -> [" + url + "]";
  FUZZ_CHECK(url.compare(0, sizeof kScheme, std::string(kScheme) + "/") == 0, detail);
  FUZZ_CHECK(!Contains(url, "\\"), detail);
  for (size_t at = url.find('%'); at != std::string::npos; at = url.find('%', at + 1))
    FUZZ_CHECK(url.compare(at, 3, "%25") == 0, detail);
  const std::string local = url.substr(sizeof kScheme - 1);
  size_t begin = 1;
  while (begin <= local.size()) {
    const size_t end = std::min(local.find('/', begin), local.size());
    const std::string part = local.substr(begin, end - begin);
    FUZZ_CHECK(part != "." && part != "..", detail);
    begin = end + 1;
  }
  FUZZ_CHECK(LocalPathToUrl(Unescaped(local)) == url, detail + " is not stable");
}

void CheckLocation(const std::string& path) {
  std::string system = path;
  std::replace(system.begin(), system.end(), '\\', '/');
  const std::string location = PathLocation(path);
  const std::string detail = "[" + path + "] -> [" + location + "]";
  FUZZ_CHECK(system.compare(0, location.size(), location) == 0, detail);
  FUZZ_CHECK(system.find_first_of("/:", location.size()) == std::string::npos, detail);
  FUZZ_CHECK(location.empty() || location.back() == '/' || location.back() == ':', detail);
}

void CheckNormalised(const std::string& text) {
  const std::vector<std::string> args{fuzz::ScratchRoot() + "empty/mervane-player", "-c=" + text,
                                      "http://example.invalid/a.mvk"};
  SettingsFile settings(false, "");
  PlayerOptions options;
  const StartUpResolution result = ResolveStartUp(args, settings, options, [](const std::string&) {});
  const std::string detail = "[" + text + "] -> [" + result.configData + "]";
  FUZZ_CHECK(result.outcome == StartUpResolution::Outcome::Ready, detail);
  FUZZ_CHECK(result.gameData == args[2], result.gameData);
  FUZZ_CHECK(!Contains(result.configData, "%3A"), detail);
  if (!Contains(text, "://")) {
    // A local document is its "file://" URL, unless a "file:" directory in
    // it is folded as the scheme would be.
    const std::string url = text.empty() ? std::string() : LocalPathToUrl(text);
    if (url.find("file:", 1) == std::string::npos) FUZZ_CHECK(result.configData == url, detail);
    return;
  }
  // Every "file:/" is followed by a second "/" once no escaped colon can
  // make a new one.
  if (Contains(text, "%3A")) return;
  for (size_t at = result.configData.find("file:/"); at != std::string::npos;
       at = result.configData.find("file:/", at + 1))
    FUZZ_CHECK(result.configData.compare(at, 7, "file://") == 0, detail);
}

}  // namespace

int FuzzUrlConversion(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string& root = fuzz::ScratchRoot();

  const std::string url = LocalPathToUrl(text);
  CheckUrl(text, url);
  std::string slashes = text;
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  FUZZ_CHECK(LocalPathToUrl(slashes) == url, "\"\\\" and \"/\" differ for [" + text + "]");
  if (!slashes.empty() && slashes.front() != '/')
    FUZZ_CHECK(LocalPathToUrl(root + "cwd/" + slashes) == url, "relative [" + text + "] not taken from cwd/");

  CheckLocation(text);
  CheckNormalised(text);
  return 0;
}
