#include "settings/user_directories.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/file_system.h"

namespace {

constexpr char kPlaceSuffix[] = "\\Ombrica\\Player\\";
constexpr char kSettingsFileName[] = "MRVClient.cfg";
constexpr char kStartupPackageName[] = "MRVStartup.mvk";
constexpr char kCurrentDirectory[] = "./";
constexpr char kLastResort[] = ".\\";

// Set (even empty) gives its value; unset gives nullptr.
const char* Variable(const char* name) { return std::getenv(name); }

std::string HomeDirectory() {
  if (const char* home = Variable("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) {
    return user->pw_dir;
  }
  return std::string();
}

// The places are returned with "/" only, so that printing them or turning
// them into URLs shows the directories the system really uses.
std::string Place(const std::string& base) { return ToSystemPath(base + kPlaceSuffix); }

// Creates the place and opens the probe for writing without truncating it;
// only the probe decides whether the place is usable.
bool Claim(const std::string& place, const char* probe) {
  CreateDirectoryTree(place);
  const std::string path = ToSystemPath(place + probe);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

std::string ProgramFilesPlace() {
  const char* value = Variable("ProgramFiles");
  return Place(value != nullptr ? value : "/opt");
}

std::string AppDataPlace() {
  if (const char* value = Variable("APPDATA")) return Place(value);
  // Only an absolute XDG_DATA_HOME counts, as the XDG rules say.
  if (const char* data = Variable("XDG_DATA_HOME"); data != nullptr && *data == '/') {
    return Place(data);
  }
  return Place(HomeDirectory() + "/.local/share");
}

std::string SettingsDirectory() {
  if (FileExists(std::string(kCurrentDirectory) + kSettingsFileName)) return kCurrentDirectory;
  const std::string programFiles = ProgramFilesPlace();
  const std::string appData = AppDataPlace();
  if (FileExists(programFiles + kSettingsFileName)) return programFiles;
  if (FileExists(appData + kSettingsFileName)) return appData;
  if (Claim(programFiles, kSettingsFileName)) return programFiles;
  if (Claim(appData, kSettingsFileName)) return appData;
  return kLastResort;
}

std::string DefaultSettingsPath() { return SettingsDirectory() + kSettingsFileName; }

std::string UserDataDirectory() {
  const std::string programFiles = ProgramFilesPlace();
  if (FileExists(programFiles + kStartupPackageName)) return programFiles;
  if (Claim(programFiles, kStartupPackageName)) return programFiles;
  const std::string appData = AppDataPlace();
  if (FileExists(appData + kStartupPackageName)) return appData;
  if (Claim(appData, kStartupPackageName)) return appData;
  return kLastResort;
}
