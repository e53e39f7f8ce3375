// The settings file reader over arbitrary file contents. The same bytes go
// through both ways of reading (Load on an empty store, and the loading
// constructor) and through a path written with "\" separators; all three
// must agree, and every entry must be one that GetInt finds.
#include <algorithm>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "settings/settings_file.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool SameEntries(const SettingsFile& a, const SettingsFile& b) {
  if (a.Count() != b.Count()) return false;
  for (int i = 0; i < a.Count(); ++i) {
    if (a.Entry(i).key != b.Entry(i).key || a.Entry(i).value != b.Entry(i).value) return false;
  }
  return true;
}

}  // namespace

int FuzzSettingsFile(const uint8_t* data, size_t size) {
  const std::string contents(reinterpret_cast<const char*>(data), size);
  const std::string path = fuzz::ScratchRoot() + "MRVClient.cfg";
  fuzz::WriteFile(path, contents);

  SettingsFile loaded(false, "");
  const int32_t count = loaded.Load(path);
  FUZZ_CHECK(count == loaded.Count(), "Load returned " + std::to_string(count));
  FUZZ_CHECK(count >= 0 && count <= SettingsFile::kCapacity, "count " + std::to_string(count));
  FUZZ_CHECK(loaded.Path() == path, loaded.Path());

  for (int i = 0; i < count; ++i) {
    const SettingsEntry& entry = loaded.Entry(i);
    // Both forms drop the blanks around a key and a value.
    for (const std::string* text : {&entry.key, &entry.value}) {
      FUZZ_CHECK(text->size() <= contents.size(), "entry " + std::to_string(i));
      FUZZ_CHECK(text->empty() || (!IsBlank(text->front()) && !IsBlank(text->back())),
                 "entry " + std::to_string(i) + " not trimmed: [" + *text + "]");
    }
    int32_t value = 0;
    FUZZ_CHECK(loaded.GetInt(entry.key, value), "GetInt misses entry " + std::to_string(i) + ": " + entry.key);
  }
  // No form can give a key holding both "=" and a tab: a lookup of one
  // must fail and leave the value alone.
  int32_t untouched = 12345;
  FUZZ_CHECK(!loaded.GetInt("=\t=", untouched) && untouched == 12345, "impossible key found");
  for (const char* key : {"Fullscreen", "ResWidth", "ResHeight", "", "Fullscreen "}) {
    int32_t value = 0;
    loaded.GetInt(key, value);
  }

  SettingsFile direct(true, path);
  FUZZ_CHECK(SameEntries(loaded, direct), "the loading constructor reads differently");

  std::string backslashed = path;
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  SettingsFile viaBackslashes(false, "");
  viaBackslashes.Load(backslashed);
  FUZZ_CHECK(SameEntries(loaded, viaBackslashes), "a \"\\\" path reads differently");

  // Loading again replaces the entries rather than adding to them.
  FUZZ_CHECK(loaded.Load(path) == count && SameEntries(loaded, direct), "a second Load differs");
  return 0;
}
