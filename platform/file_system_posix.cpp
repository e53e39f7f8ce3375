#include "platform/file_system.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>

namespace {

// The longest path whose prefixes are walked; a longer one is refused whole
// rather than cut, so no directory is made for a path that cannot be finished.
constexpr size_t kMaxTreePath = 1023;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool HasWildcard(const std::string& text) {
  return text.find_first_of("*?") != std::string::npos;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Splits a system path into its directory (for opendir) and last component.
void SplitLast(const std::string& path, std::string& dir, std::string& name) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    dir = ".";
    name = path;
    return;
  }
  dir = slash == 0 ? "/" : path.substr(0, slash);
  name = path.substr(slash + 1);
}

// True when some entry of dir satisfies match(name).
template <typename Match>
bool AnyEntry(const std::string& dir, Match match) {
  DirHandle handle(::opendir(dir.c_str()));
  if (!handle) return false;
  while (const dirent* entry = ::readdir(handle.get())) {
    if (match(entry->d_name)) return true;
  }
  return false;
}

// fnmatch pattern for a name in which only "*" and "?" are wildcards.
std::string WildcardPattern(const std::string& name) {
  std::string pattern;
  for (char c : name) {
    if (c == '[' || c == ']') pattern += '\\';
    pattern += c;
  }
  return pattern;
}

bool EntryExists(const std::string& systemPath) {
  struct stat info;
  return ::stat(systemPath.c_str(), &info) == 0;
}

}  // namespace

std::string ToSystemPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

bool FileExists(const std::string& path) {
  if (path.empty() || HasWildcard(path)) return false;
  std::string system = ToSystemPath(path);
  if (!EntryExists(system)) return false;
  // A trailing separator names the directory before it.
  while (system.size() > 1 && system.back() == '/') system.pop_back();
  if (system == "/") return true;
  // The name must stand in its directory exactly as written, so that a
  // case-folding file system cannot make "mrvclient.cfg" pass for another case.
  std::string dir, name;
  SplitLast(system, dir, name);
  return AnyEntry(dir, [&name](const char* entry) { return name == entry; });
}

bool MatchExists(const std::string& path) {
  if (path.empty()) return false;
  const std::string system = ToSystemPath(path);
  std::string dir, name;
  SplitLast(system, dir, name);
  if (!HasWildcard(name)) return EntryExists(system);
  const std::string pattern = WildcardPattern(name);
  return AnyEntry(dir, [&pattern](const char* entry) {
    return ::fnmatch(pattern.c_str(), entry, 0) == 0;
  });
}

bool CreateDirectoryTree(const std::string& path) {
  if (path.empty() || path.size() > kMaxTreePath) return false;
  if (MatchExists(path)) return true;
  size_t start = 0;
  if (path.size() >= 2 && path[1] == ':') {
    start = 3;
  } else if (IsSeparator(path[0])) {
    start = 1;
  }
  for (size_t i = start; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    const std::string prefix = path.substr(0, i);
    if (prefix.empty() || MatchExists(prefix)) continue;
    // A directory that cannot be made is skipped; the caller's probe decides.
    ::mkdir(ToSystemPath(prefix).c_str(), 0777);
  }
  return true;
}
