#include "fuzz/fuzz_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "settings/user_directories.h"

namespace fs = std::filesystem;

namespace fuzz {
namespace {

class Scratch {
 public:
  Scratch() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/mervane-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) Die("cannot create the scratch directory", pattern);
    std::error_code error;
    root_ = fs::canonical(pattern, error).string() + "/";
    if (error) Die("cannot resolve the scratch directory", pattern);

    for (const char* directory : {"cwd/sub", "cwd/with space", "program", "empty", "programfiles", "appdata"})
      fs::create_directories(root_ + directory);
    for (const char* file : {"cwd/game.mvk", "cwd/game.xml", "cwd/MRVStartup.mvk", "cwd/sub/c.mvk",
                             "cwd/with space/b.mvk", "program/mervane-player", "program/MRVStartup.mvk",
                             "program/zz.mvk", "program/zz.xml", "empty/mervane-player"})
      WriteFile(root_ + file, "");

    ::setenv("ProgramFiles", (root_ + "programfiles").c_str(), 1);
    ::setenv("APPDATA", (root_ + "appdata").c_str(), 1);
    if (::chdir((root_ + "cwd").c_str()) != 0) Die("cannot enter the scratch directory", root_);
    // Claim the per-user place now, so that the first input does not see a
    // different tree from every later one.
    UserDataDirectory();
  }

  ~Scratch() {
    if (::chdir("/") != 0) return;
    std::error_code error;
    fs::remove_all(root_, error);
  }

  const std::string& Root() const { return root_; }

 private:
  [[noreturn]] static void Die(const char* what, const std::string& path) {
    std::fprintf(stderr, "fuzz: %s: %s\n", what, path.c_str());
    std::abort();
  }

  std::string root_;
};

}  // namespace

const std::string& ScratchRoot() {
  static const Scratch scratch;
  return scratch.Root();
}

void WriteFile(const std::string& path, std::string_view contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!out) Fail(__FILE__, __LINE__, "write", "cannot write " + path);
}

void Fail(const char* file, int line, const char* condition, const std::string& detail) {
  std::fprintf(stderr, "%s:%d: broken: %s\n  %s\n", file, line, condition, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace fuzz
