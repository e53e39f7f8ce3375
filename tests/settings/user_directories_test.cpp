// The directory rules and the file-system helpers, against temporary
// directories named through ProgramFiles and APPDATA.
#include "settings/user_directories.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "settings/settings_file.h"
#include "support/scratch.h"

namespace {

namespace fs = std::filesystem;

using test::ReadFile;
using test::ScopedCurrentDirectory;
using test::ScopedVariable;
using test::WriteFile;

// Every entry under root, relative, with its size for files.
std::set<std::string> Tree(const fs::path& root) {
  std::set<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string line = fs::relative(entry.path(), root).string();
    if (entry.is_regular_file()) line += " " + std::to_string(entry.file_size());
    if (entry.is_directory()) line += "/";
    entries.insert(line);
  }
  return entries;
}

// A sandbox: pf/ is ProgramFiles, ad/ is APPDATA, cwd/ the current directory.
// Places are pf/Ombrica/Player/ and ad/Ombrica/Player/.
class Sandbox {
 public:
  Sandbox()
      : programFiles_("ProgramFiles", (temp_.Path() / "pf").string()),
        appData_("APPDATA", (temp_.Path() / "ad").string()),
        cwd_((fs::create_directory(temp_.Path() / "cwd"), temp_.Path() / "cwd")) {}

  const fs::path& Root() const { return temp_.Path(); }
  std::string Place(const char* which) const { return (Root() / which / "Ombrica/Player/").string(); }
  // Unusable: a plain file stands where the place's first directory must be.
  void Block(const char* which) const { WriteFile(Root() / which / "Ombrica", "blocker"); }

 private:
  test::TempDir temp_{"user-dirs-"};
  ScopedVariable programFiles_;
  ScopedVariable appData_;
  ScopedCurrentDirectory cwd_;
};

enum class Rule { Settings, UserData };

struct DirectoryCase {
  const char* name;
  Rule rule;
  std::vector<std::string> existing;  // files to create, relative to the sandbox
  std::vector<const char*> blocked;   // "pf" and/or "ad"
  const char* expected;               // "pf", "ad", "./" or ".\\"
  std::vector<std::string> created;   // files the call must leave, empty
};

const std::vector<DirectoryCase> kDirectoryCases = {
    {"SettingsFirstStart", Rule::Settings, {}, {}, "pf", {"pf/Ombrica/Player/MRVClient.cfg"}},
    {"UserDataFirstStart", Rule::UserData, {}, {}, "pf", {"pf/Ombrica/Player/MRVStartup.mvk"}},
    {"SettingsProgramFilesUnusable", Rule::Settings, {}, {"pf"}, "ad",
     {"ad/Ombrica/Player/MRVClient.cfg"}},
    {"UserDataProgramFilesUnusable", Rule::UserData, {}, {"pf"}, "ad",
     {"ad/Ombrica/Player/MRVStartup.mvk"}},
    {"SettingsInCurrentDirectory", Rule::Settings, {"cwd/MRVClient.cfg"}, {}, "./", {}},
    {"SettingsInBothPlaces", Rule::Settings,
     {"pf/Ombrica/Player/MRVClient.cfg", "ad/Ombrica/Player/MRVClient.cfg"}, {}, "pf", {}},
    {"SettingsOnlyInAppData", Rule::Settings, {"ad/Ombrica/Player/MRVClient.cfg"}, {}, "ad", {}},
    {"UserDataIgnoresSettingsInAppData", Rule::UserData, {"ad/Ombrica/Player/MRVClient.cfg"}, {},
     "pf", {"pf/Ombrica/Player/MRVStartup.mvk"}},
    {"UserDataFoundInAppData", Rule::UserData, {"ad/Ombrica/Player/MRVStartup.mvk"}, {}, "pf",
     {"pf/Ombrica/Player/MRVStartup.mvk"}},
    {"UserDataCurrentDirectoryNotLookedAt", Rule::UserData, {"cwd/MRVStartup.mvk"}, {}, "pf",
     {"pf/Ombrica/Player/MRVStartup.mvk"}},
    {"SettingsNeitherUsable", Rule::Settings, {}, {"pf", "ad"}, ".\\", {}},
    {"UserDataNeitherUsable", Rule::UserData, {}, {"pf", "ad"}, ".\\", {}},
    // Letter case counts: the lower-case file is left alone and a new one made.
    {"SettingsCaseDiffers", Rule::Settings, {"pf/Ombrica/Player/mrvclient.cfg"}, {}, "pf",
     {"pf/Ombrica/Player/MRVClient.cfg"}},
};

std::string RunRule(Rule rule) {
  return rule == Rule::Settings ? SettingsDirectory() : UserDataDirectory();
}

class DirectoryRuleCases : public testing::TestWithParam<DirectoryCase> {};

TEST_P(DirectoryRuleCases, ChoosesAndClaims) {
  const DirectoryCase& c = GetParam();
  Sandbox box;
  for (const std::string& file : c.existing) WriteFile(box.Root() / file, "kept");
  for (const char* which : c.blocked) box.Block(which);
  std::set<std::string> expectedTree = Tree(box.Root());

  const std::string expected =
      c.expected[0] == '.' ? std::string(c.expected) : box.Place(c.expected);
  EXPECT_EQ(RunRule(c.rule), expected);

  for (const std::string& file : c.created) {
    EXPECT_EQ(ReadFile(box.Root() / file), "") << file;
    // The new file and any directory it needed are the only changes.
    fs::path walked;
    for (const auto& part : fs::path(file)) {
      walked /= part;
      expectedTree.insert(walked.string() + (walked == fs::path(file) ? " 0" : "/"));
    }
  }
  EXPECT_EQ(Tree(box.Root()), expectedTree);
}

INSTANTIATE_TEST_SUITE_P(, DirectoryRuleCases, testing::ValuesIn(kDirectoryCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DirectoryRules, SecondCallCreatesNothing) {
  for (Rule rule : {Rule::Settings, Rule::UserData}) {
    Sandbox box;
    const std::string first = RunRule(rule);
    const std::set<std::string> tree = Tree(box.Root());
    EXPECT_EQ(RunRule(rule), first);
    EXPECT_EQ(Tree(box.Root()), tree);
  }
}

TEST(DirectoryRules, DefaultSettingsPathNamesTheClaimedFile) {
  Sandbox box;
  const std::string expected = box.Place("pf") + "MRVClient.cfg";
  EXPECT_EQ(DefaultSettingsPath(), expected);
  SettingsFile store(true, "");
  EXPECT_EQ(store.Path(), expected);
  EXPECT_EQ(store.Count(), 0);
}

TEST(DirectoryRules, LastResortPathReachesTheCurrentDirectory) {
  Sandbox box;
  box.Block("pf");
  box.Block("ad");
  const std::string path = DefaultSettingsPath();
  EXPECT_EQ(path, ".\\MRVClient.cfg");
  SettingsFile store(true, "");
  EXPECT_TRUE(fs::is_regular_file(box.Root() / "cwd" / "MRVClient.cfg"));
}

struct PlaceCase {
  const char* name;
  std::optional<std::string> programFiles, appData, xdgDataHome, home;
  std::string programFilesPlace, appDataPlace;
};

TEST(DirectoryRules, PlacesFromEnvironment) {
  const std::vector<PlaceCase> cases = {
      {"Set", "/p", "/a", "/x", "/h", "/p/Ombrica/Player/", "/a/Ombrica/Player/"},
      {"SetEmpty", "", "", "/x", "/h", "/Ombrica/Player/", "/Ombrica/Player/"},
      {"Backslashes", "C:\\Prog", "/a\\b", std::nullopt, "/h", "C:/Prog/Ombrica/Player/",
       "/a/b/Ombrica/Player/"},
      {"UnsetUsesXdg", std::nullopt, std::nullopt, "/x", "/h", "/opt/Ombrica/Player/",
       "/x/Ombrica/Player/"},
      {"UnsetUsesHome", std::nullopt, std::nullopt, std::nullopt, "/h", "/opt/Ombrica/Player/",
       "/h/.local/share/Ombrica/Player/"},
      {"EmptyXdgUsesHome", std::nullopt, std::nullopt, "", "/h", "/opt/Ombrica/Player/",
       "/h/.local/share/Ombrica/Player/"},
  };
  for (const PlaceCase& c : cases) {
    ScopedVariable programFiles("ProgramFiles", c.programFiles);
    ScopedVariable appData("APPDATA", c.appData);
    ScopedVariable xdg("XDG_DATA_HOME", c.xdgDataHome);
    ScopedVariable home("HOME", c.home);
    EXPECT_EQ(ProgramFilesPlace(), c.programFilesPlace) << c.name;
    EXPECT_EQ(AppDataPlace(), c.appDataPlace) << c.name;
  }
}

// --- File-system helpers ----------------------------------------------------

class FileSystemHelpers : public testing::Test {
 protected:
  void SetUp() override {
    WriteFile(temp_.Path() / "Name.cfg", "x");
    WriteFile(temp_.Path() / "a[1].txt", "x");
    fs::create_directory(temp_.Path() / "sub");
  }
  std::string At(const std::string& relative) const { return temp_.Path().string() + "/" + relative; }

  test::TempDir temp_{"user-dirs-"};
};

TEST_F(FileSystemHelpers, FileExistsNeedsTheExactName) {
  const struct {
    std::string path;
    bool exists;
  } cases[] = {
      {At("Name.cfg"), true},   {At("name.cfg"), false},  {At("NAME.CFG"), false},
      {At("Name.c?g"), false},  {At("Name.*"), false},    {At("sub"), true},
      {At("sub/"), true},       {At("missing"), false},   {At("a[1].txt"), true},
      {At("sub\\..\\Name.cfg"), true}, {temp_.Path().string() + "\\Name.cfg", true},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(FileExists(c.path), c.exists) << c.path;
}

TEST_F(FileSystemHelpers, MatchExistsSearchesTheLastComponent) {
  const struct {
    std::string path;
    bool found;
  } cases[] = {
      {At("Name.cfg"), true}, {At("Name.*"), true},      {At("Na?e.cfg"), true},
      {At("*.xyz"), false},   {At("sub\\*"), true},      {At("missing/*"), false},
      {At("a[1].*"), true},   {At("a1.*"), false},       {At("name.cfg"), false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchExists(c.path), c.found) << c.path;
}

// root followed by directories of at most 200 characters, length characters
// in all; made receives each directory relative to root, as Tree lists it.
std::string LongPath(const std::string& root, size_t length, char letter,
                     std::vector<std::string>& made) {
  std::string relative;
  while (root.size() + 1 + relative.size() < length) {
    if (!relative.empty()) relative += '/';
    const size_t room = length - root.size() - 1 - relative.size();
    relative += std::string(std::min<size_t>(200, room), letter);
    made.push_back(relative + "/");
  }
  return root + "/" + relative;
}

TEST(CreateDirectoryTree, CreatesMissingPrefixes) {
  const test::TempDir temp("user-dirs-");
  ScopedCurrentDirectory cwd(temp.Path());
  const std::string root = temp.Path().string();
  WriteFile(temp.Path() / "file", "x");
  std::vector<std::string> made1023, made1024;
  const std::string long1023 = LongPath(root, 1023, 'n', made1023);
  const std::string long1024 = LongPath(root, 1024, 'm', made1024);
  ASSERT_EQ(long1023.size(), 1023u);
  ASSERT_EQ(long1024.size(), 1024u);
  const struct {
    std::string path;
    bool result;
    std::vector<std::string> made;  // relative to temp
  } cases[] = {
      {"", false, {}},
      {root + "/a/b/", true, {"a/", "a/b/"}},
      {root + "\\c\\d", true, {"c/", "c/d/"}},
      {"rel/x\\", true, {"rel/", "rel/x/"}},
      {root + "/a", true, {}},
      {root + "/file/x", true, {}},
      {"C:\\e\\f", true, {}},  // the drive prefix is never made, so nothing below it is
      {long1023, true, made1023},
      {long1024, false, {}},
  };
  for (const auto& c : cases) {
    std::set<std::string> expected = Tree(temp.Path());
    expected.insert(c.made.begin(), c.made.end());
    EXPECT_EQ(CreateDirectoryTree(c.path), c.result) << c.path;
    EXPECT_EQ(Tree(temp.Path()), expected) << c.path;
  }
}

}  // namespace
