#include "settings/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <limits>
#include <memory>
#include <utility>

#include "platform/file_system.h"
#include "settings/user_directories.h"

namespace {

// A token of the pair form was read into a 512-byte buffer.
constexpr size_t kMaxTokenLength = 511;

// Exactly the C locale's white space; bytes 127 and above never count.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// A settings file of a few lines is the norm; more than this is not one.
constexpr size_t kMaxSettingsBytes = 1 << 20;

struct DescriptorCloser {
  int fd;
  ~DescriptorCloser() { ::close(fd); }
};

enum class ReadResult { Read, Missing, NotAFile };

// Reads a regular file only: a FIFO or a device under the settings file's
// name must neither block the start nor fill the memory.
ReadResult ReadWhole(const std::string& path, std::string& contents) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::NotAFile;
  const DescriptorCloser closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return ReadResult::NotAFile;
  char buffer[4096];
  ssize_t n;
  while (contents.size() < kMaxSettingsBytes && (n = ::read(fd, buffer, sizeof buffer)) > 0) {
    contents.append(buffer, static_cast<size_t>(n));
  }
  if (contents.size() > kMaxSettingsBytes) contents.resize(kMaxSettingsBytes);
  return ReadResult::Read;
}

// As atoi converts, but saturating instead of overflowing.
int32_t ToInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()}
                                 : int64_t{std::numeric_limits<int32_t>::max()};
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > limit) magnitude = limit;
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace

SettingsFile::SettingsFile(bool loadNow, const std::string& path) : path_(path) {
  if (!loadNow) return;
  Load(path.empty() ? DefaultSettingsPath() : path);
}

int32_t SettingsFile::Load(const std::string& path) {
  path_ = path;
  count_ = 0;
  const std::string systemPath = ToSystemPath(path);
  std::string contents;
  switch (ReadWhole(systemPath, contents)) {
    case ReadResult::Read:
      break;
    case ReadResult::Missing:
    case ReadResult::NotAFile: {
      // Leave an empty file for the user to fill; never truncate one. Opening
      // for appending without blocking leaves anything but a file alone.
      const int fd = ::open(systemPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644);
      if (fd >= 0) ::close(fd);
      return 0;
    }
  }
  ReadLines(contents);
  if (count_ == 0) ReadPairs(contents);
  return count_;
}

void SettingsFile::ReadLines(const std::string& contents) {
  std::string line;
  for (char c : contents) {
    // A line feed with nothing collected is collected itself; trimming later
    // removes it from the front of the next key.
    if (c != '\n' || line.empty()) {
      line += c;
      continue;
    }
    const size_t equals = line.find('=');
    if (line[0] != '[' && equals != std::string::npos) {
      Store(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
    }
    line.clear();
  }
  // Text after the last line feed is not an entry.
}

void SettingsFile::ReadPairs(const std::string& contents) {
  std::string tokens[2];
  bool tooLong[2] = {false, false};
  int filled = 0;
  size_t i = 0;
  while (true) {
    while (i < contents.size() && IsBlank(contents[i])) ++i;
    if (i == contents.size()) break;
    const size_t begin = i;
    while (i < contents.size() && !IsBlank(contents[i])) ++i;
    // An over-long token keeps its place in the pairing but its pair is not
    // stored: cutting it would make the rest of the file pair up differently.
    tooLong[filled] = i - begin > kMaxTokenLength;
    tokens[filled] = contents.substr(begin, i - begin);
    if (++filled < 2) continue;
    filled = 0;
    if (!tooLong[0] && !tooLong[1]) Store(tokens[0], tokens[1]);
  }
  // A last key without a value is not an entry.
}

void SettingsFile::Store(std::string key, std::string value) {
  // Entries past the last slot are dropped.
  if (count_ >= kCapacity) return;
  SettingsEntry& entry = entries_[static_cast<size_t>(count_++)];
  entry.key = std::move(key);
  entry.value = std::move(value);
}

bool SettingsFile::GetInt(const std::string& key, int32_t& value) const {
  for (int32_t i = 0; i < count_; ++i) {
    const SettingsEntry& entry = entries_[static_cast<size_t>(i)];
    if (entry.key != key) continue;
    value = ToInt(entry.value);
    return true;
  }
  return false;
}
