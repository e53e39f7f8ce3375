// The settings store: both file forms, the slot limit and the atoi lookup.
#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/scratch.h"

namespace {

namespace fs = std::filesystem;

using test::ReadFile;
using test::WriteFile;

// Lines "K0=0" .. "K<n-1>=<n-1>" or pairs "K0 0" .. in one file.
std::string ManyEntries(int n, const char* separator, const char* lineEnd) {
  std::string text;
  for (int i = 0; i < n; ++i) {
    text += "K" + std::to_string(i) + separator + std::to_string(i) + lineEnd;
  }
  return text;
}

using Lookup = std::pair<std::string, std::optional<int32_t>>;  // nullopt: absent

struct FormCase {
  const char* name;
  std::string contents;
  int32_t count;
  std::vector<Lookup> lookups;
};

const std::string kLong511(511, 'x');
const std::string kLong512(512, 'y');

const std::vector<FormCase> kFormCases = {
    {"Plain", "Fullscreen=0\nResWidth=800\nResHeight=600\n", 3,
     {{"Fullscreen", 0}, {"ResWidth", 800}, {"ResHeight", 600}}},
    {"SpacesAroundKeyAndValue", " \tFullscreen  =  1 \n", 1, {{"Fullscreen", 1}}},
    {"CrLfReadsLikeLf", "Fullscreen=0\r\nResWidth=1024\r\n", 2,
     {{"Fullscreen", 0}, {"ResWidth", 1024}}},
    {"LowerCaseKeyIsAnotherKey", "fullscreen=0\n", 1, {{"Fullscreen", std::nullopt}, {"fullscreen", 0}}},
    {"FirstDuplicateWins", "ResWidth=800\nResWidth=1024\n", 2, {{"ResWidth", 800}}},
    {"SectionHeaderIgnored", "[Display]\nResWidth=800\n", 1, {{"ResWidth", 800}}},
    {"LinesWithoutEqualsSkipped", "comment\nResWidth=800\n", 1, {{"ResWidth", 800}}},
    {"BlankLinesTrimmedFromKey", "\n\nResWidth=640\n\n", 1, {{"ResWidth", 640}}},
    // After a blank line the "[" is no longer the line's first character.
    {"HeaderAfterBlankLineIsALine", "A=1\n\n[B=2]\n", 2, {{"A", 1}, {"[B", 2}}},
    {"EmptyKeyAndValueStored", "=5\nEmpty=\n", 2, {{"", 5}, {"Empty", 0}}},
    {"HighBytesAreNotWhiteSpace", "\xa0Key=1\n", 1, {{"Key", std::nullopt}, {"\xa0Key", 1}}},
    {"LastLineNeedsLineFeed", "Fullscreen=0\nResWidth=800", 1,
     {{"Fullscreen", 0}, {"ResWidth", std::nullopt}}},
    // The lone unterminated line is one token of the pair form, with no partner.
    {"OnlyLineUnterminated", "ResWidth=800", 0, {{"ResWidth", std::nullopt}}},
    {"PairForm", "Fullscreen 0\nResWidth\t1024\n", 2, {{"Fullscreen", 0}, {"ResWidth", 1024}}},
    {"PairFormAcrossLines", "Fullscreen\n0 ResWidth 1024", 2, {{"Fullscreen", 0}, {"ResWidth", 1024}}},
    {"PairFormLastTokenAlone", "Fullscreen 0 ResWidth", 1,
     {{"Fullscreen", 0}, {"ResWidth", std::nullopt}}},
    {"OneKeyValueLineBlocksPairForm", "Fullscreen 0\nResWidth=800\nResHeight 600\n", 1,
     {{"ResWidth", 800}, {"Fullscreen", std::nullopt}, {"ResHeight", std::nullopt}}},
    {"PairFormTokenOf511Kept", kLong511 + " 5\nA 1\n", 2, {{kLong511, 5}, {"A", 1}}},
    {"PairFormOverLongTokenDropsItsPair", "A 1\n" + kLong512 + " 5\nB 2\n", 2,
     {{"A", 1}, {kLong512, std::nullopt}, {"B", 2}, {"5", std::nullopt}}},
    {"Empty", "", 0, {{"Fullscreen", std::nullopt}}},
    {"SlotLimitLines", ManyEntries(70, "=", "\n"), 64, {{"K63", 63}, {"K64", std::nullopt}}},
    {"SlotLimitPairs", ManyEntries(70, " ", "\n"), 64, {{"K63", 63}, {"K64", std::nullopt}}},
};

class SettingsForms : public testing::TestWithParam<FormCase> {};

TEST_P(SettingsForms, ReadsEntries) {
  const FormCase& c = GetParam();
  const test::TempDir dir("settings-file-");
  const fs::path file = dir.Path() / "MRVClient.cfg";
  WriteFile(file, c.contents);

  SettingsFile store(false, file.string());
  EXPECT_EQ(store.Load(file.string()), c.count);
  EXPECT_EQ(store.Count(), c.count);
  for (const auto& [key, expected] : c.lookups) {
    int32_t value = -7;
    EXPECT_EQ(store.GetInt(key, value), expected.has_value()) << key;
    EXPECT_EQ(value, expected.value_or(-7)) << key;
  }
  EXPECT_EQ(ReadFile(file), c.contents) << "the file is never written";
}

INSTANTIATE_TEST_SUITE_P(, SettingsForms, testing::ValuesIn(kFormCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsFile, ValueKeepsEverythingAfterFirstEquals) {
  const test::TempDir dir("settings-file-");
  const fs::path file = dir.Path() / "a.cfg";
  WriteFile(file, "Url = http://x/?a=b \n");
  SettingsFile store(true, file.string());
  ASSERT_EQ(store.Count(), 1);
  EXPECT_EQ(store.Entry(0).key, "Url");
  EXPECT_EQ(store.Entry(0).value, "http://x/?a=b");
}

struct ConversionCase {
  const char* text;
  int32_t value;
};

class SettingsConversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(SettingsConversion, ConvertsAsAtoi) {
  const test::TempDir dir("settings-file-");
  const fs::path file = dir.Path() / "a.cfg";
  WriteFile(file, std::string("Key=") + GetParam().text + "\n");
  SettingsFile store(true, file.string());
  int32_t value = -7;
  ASSERT_TRUE(store.GetInt("Key", value));
  EXPECT_EQ(value, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(, SettingsConversion,
                         testing::Values(ConversionCase{"0", 0}, ConversionCase{"1", 1},
                                         ConversionCase{"2", 2}, ConversionCase{"yes", 0},
                                         ConversionCase{"70000", 70000},
                                         ConversionCase{"-12px", -12}, ConversionCase{"+7", 7},
                                         ConversionCase{"1 2", 1}, ConversionCase{"0x10", 0},
                                         ConversionCase{"99999999999", 2147483647},
                                         ConversionCase{"-99999999999", -2147483647 - 1}));

TEST(SettingsFile, MissingFileIsCreatedEmpty) {
  const test::TempDir dir("settings-file-");
  const fs::path file = dir.Path() / "MRVClient.cfg";
  SettingsFile store(true, file.string());
  EXPECT_EQ(store.Count(), 0);
  EXPECT_EQ(store.Path(), file.string());
  ASSERT_TRUE(fs::is_regular_file(file));
  EXPECT_EQ(fs::file_size(file), 0u);
  int32_t fullscreen = 1;
  EXPECT_FALSE(store.GetInt("Fullscreen", fullscreen));
  EXPECT_EQ(fullscreen, 1);
}

TEST(SettingsFile, UncreatableFileGivesNoEntries) {
  const test::TempDir dir("settings-file-");
  const fs::path file = dir.Path() / "missing" / "MRVClient.cfg";
  SettingsFile store(false, "");
  EXPECT_EQ(store.Load(file.string()), 0);
  EXPECT_FALSE(fs::exists(dir.Path() / "missing"));
}

// Anything but a regular file under the settings file's name is read as an
// empty store: a FIFO must not block the start, a device must not fill memory.
TEST(SettingsFile, OnlyRegularFilesAreRead) {
  const test::TempDir dir("settings-file-");
  const fs::path fifo = dir.Path() / "fifo.cfg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const fs::path device = dir.Path() / "zero.cfg";
  fs::create_symlink("/dev/zero", device);
  for (const fs::path& path : {fifo, device}) {
    SettingsFile store(false, "");
    EXPECT_EQ(store.Load(path.string()), 0) << path;
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(SettingsFile, ReloadReplacesEntries) {
  const test::TempDir dir("settings-file-");
  const fs::path first = dir.Path() / "first.cfg";
  WriteFile(first, "A=1\n");
  SettingsFile store(true, first.string());
  ASSERT_EQ(store.Count(), 1);
  EXPECT_EQ(store.Load((dir.Path() / "second.cfg").string()), 0);
  int32_t value = 0;
  EXPECT_FALSE(store.GetInt("A", value));
}

TEST(SettingsFile, BackslashPathsReachTheFile) {
  const test::TempDir dir("settings-file-");
  fs::create_directory(dir.Path() / "sub");
  WriteFile(dir.Path() / "sub" / "a.cfg", "A=3\n");
  SettingsFile store(true, dir.Path().string() + "\\sub\\a.cfg");
  int32_t value = 0;
  EXPECT_TRUE(store.GetInt("A", value));
  EXPECT_EQ(value, 3);
}

}  // namespace
