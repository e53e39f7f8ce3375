// The settings file: a fixed 64-slot store of key/value text pairs, read once
// at start and never written back.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct SettingsEntry {
  std::string key;
  std::string value;
};

class SettingsFile {
 public:
  static constexpr int kCapacity = 64;

  // With loadNow the file is read at once; an empty path then stands for
  // DefaultSettingsPath(), which may claim the settings directory.
  SettingsFile(bool loadNow, const std::string& path);

  // Replaces the store's entries with those of the file; returns their count.
  // A file that cannot be read is created empty (never truncated) and gives 0.
  // The path may use "\" as a separator.
  int32_t Load(const std::string& path);

  // First entry with exactly this key: its value as atoi converts it, into
  // value, and true. Otherwise false and value untouched.
  bool GetInt(const std::string& key, int32_t& value) const;

  int32_t Count() const { return count_; }
  const SettingsEntry& Entry(int index) const { return entries_[static_cast<size_t>(index)]; }
  const std::string& Path() const { return path_; }

 private:
  void ReadLines(const std::string& contents);
  void ReadPairs(const std::string& contents);
  void Store(std::string key, std::string value);

  std::string path_;
  int32_t count_ = 0;
  std::array<SettingsEntry, kCapacity> entries_;
};
