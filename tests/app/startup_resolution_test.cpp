#include "app/startup_resolution.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/startup_environment.h"
#include "app/usage_text.h"
#include "settings/settings_file.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

using Outcome = StartUpResolution::Outcome;

// A case runs in a fresh tree: {root}/prog holds the program, {root}/cwd is
// the current directory, {root}/pf and {root}/appdata are the program-files
// and application-data places.
constexpr char kProgram[] = "{root}/prog/mervane-player";
constexpr char kWorkCandidate[] = "{root}/prog/MRVStartup.mvk";
constexpr char kProgramCandidate[] = "{root}/prog//MRVStartup.mvk";
constexpr char kUserCandidate[] = "{root}/pf/Ombrica/Player/MRVStartup.mvk";
constexpr char kUserStartUpUrl[] = "file://{root}/pf/Ombrica/Player/MRVStartup.mvk";

struct Case {
  explicit Case(std::string caseName) : name(std::move(caseName)) {}
  Case& Args(std::vector<std::string> value) { args = std::move(value); return *this; }
  Case& Files(std::vector<std::string> value) { files = std::move(value); return *this; }
  Case& Settings(std::string value) { settings = std::move(value); return *this; }
  Case& UserDirectoryUnusable() { userDirectoryUnusable = true; return *this; }
  Case& Gives(Outcome value) { outcome = value; return *this; }
  Case& FullScreen(bool value) { fullScreen = value; return *this; }
  Case& Options(std::function<void(PlayerOptions&)> value) { options = std::move(value); return *this; }
  Case& Game(std::string value) { gameData = std::move(value); return *this; }
  Case& Work(std::string value) { workPath = std::move(value); return *this; }
  Case& Config(std::string value) { configData = std::move(value); return *this; }
  Case& Loading(std::string value) { loadingData = std::move(value); return *this; }
  Case& Searched(std::vector<std::string> value) { searched = std::move(value); return *this; }

  std::string name;
  std::vector<std::string> args{kProgram};
  std::vector<std::string> files;  // created empty under {root}; a trailing "/" makes a directory
  std::string settings;            // text of the settings file
  bool userDirectoryUnusable = false;
  Outcome outcome = Outcome::Ready;
  bool fullScreen = true;
  std::function<void(PlayerOptions&)> options = [](PlayerOptions&) {};
  std::string gameData, workPath, configData, loadingData;
  std::vector<std::string> searched;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::array<int, 11> Fields(const PlayerOptions& o) {
  return {o.firstWord, o.secondWord, o.width, o.height, o.fixedFlag, o.forceFailsafe,
          o.appAALevel, o.appShadowLevel, o.appPostRELevel, o.appReflectLevel, o.smartCache};
}

// A temporary tree, entered as the current directory for one test.
class TempTree {
 public:
  TempTree() : root_(MakeLayout(dir_.Path())), cwd_(dir_.Path() / "cwd") {}

  const std::string& Root() const { return root_; }

  std::string Expand(std::string text) const {
    const std::string marker = "{root}";
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + root_.size()))
      text.replace(at, marker.size(), root_);
    return text;
  }

  void Write(const std::string& relative, const std::string& content = "") const {
    const fs::path path = dir_.Path() / relative;
    if (!relative.empty() && relative.back() == '/') {
      fs::create_directories(path);
      return;
    }
    test::WriteFile(path, content);
  }

 private:
  static std::string MakeLayout(const fs::path& root) {
    for (const char* dir : {"prog", "cwd", "pf", "appdata", "pkgs"})
      fs::create_directory(root / dir);
    return root.string();
  }

  // In this order: the tree is made before it is entered and left before it goes.
  test::TempDir dir_{"mervane-app-"};
  std::string root_;
  test::ScopedCurrentDirectory cwd_;
};

struct Resolved {
  StartUpResolution result;
  PlayerOptions options;
  std::vector<std::string> printed;
};

Resolved Resolve(const TempTree& tree, const std::vector<std::string>& args, const std::string& settingsText) {
  tree.Write("MRVClient.cfg", settingsText);
  const SettingsFile settings(true, tree.Root() + "/MRVClient.cfg");
  std::vector<std::string> expanded;
  for (const std::string& arg : args)
    expanded.push_back(tree.Expand(arg));
  Resolved run;
  run.result = ResolveStartUp(expanded, settings, run.options,
                              [&](const std::string& line) { run.printed.push_back(line); });
  return run;
}

class StartUpResolutionTest : public testing::TestWithParam<Case> {};

TEST_P(StartUpResolutionTest, Resolves) {
  const Case& c = GetParam();
  TempTree tree;
  // Under a regular file no directory can be made, so no user place can be claimed.
  const std::string userBase = c.userDirectoryUnusable ? tree.Root() + "/blocker/sub" : tree.Root() + "/pf";
  if (c.userDirectoryUnusable)
    tree.Write("blocker");
  const test::ScopedVariable programFiles("ProgramFiles", userBase);
  const test::ScopedVariable appData("APPDATA", c.userDirectoryUnusable ? userBase : tree.Root() + "/appdata");
  for (const std::string& file : c.files)
    tree.Write(file);

  const Resolved run = Resolve(tree, c.args, c.settings);
  const StartUpResolution& r = run.result;

  ASSERT_EQ(r.outcome, c.outcome);
  PlayerOptions expectedOptions;
  c.options(expectedOptions);
  EXPECT_EQ(Fields(run.options), Fields(expectedOptions));
  EXPECT_EQ(r.fullScreen, c.fullScreen);
  if (c.outcome == Outcome::ShowUsage) {
    EXPECT_EQ(r.usageText, UsageText(tree.Expand(c.args[0])));
    EXPECT_TRUE(run.printed.empty());
    return;
  }
  if (c.outcome == Outcome::NoPackage) {
    EXPECT_TRUE(run.printed.empty());
    return;
  }
  EXPECT_EQ(r.gameData, tree.Expand(c.gameData));
  EXPECT_EQ(r.workPath, tree.Expand(c.workPath));
  EXPECT_EQ(r.configData, tree.Expand(c.configData));
  EXPECT_EQ(r.loadingData, tree.Expand(c.loadingData));

  std::vector<std::string> expectedLines;
  for (const std::string& candidate : c.searched)
    expectedLines.push_back("Searching for.. : " + tree.Expand(candidate) + "\n");
  expectedLines.push_back("Work path...... : " + tree.Expand(c.workPath) + "\n");
  expectedLines.push_back("Config data.... : " + tree.Expand(c.configData) + "\n");
  expectedLines.push_back("Loading data... : " + tree.Expand(c.loadingData) + "\n");
  expectedLines.push_back("Game data...... : " + tree.Expand(c.gameData) + "\n");
  EXPECT_EQ(run.printed, expectedLines);
}

// Most cases name a local package; this one resolves to the start-up package
// claimed in the program-files place.
Case WithPackage(std::string name) {
  return Case(std::move(name))
      .Files({"pkgs/Demo.mvk"})
      .Game("file://{root}/pkgs/Demo.mvk")
      .Work("{root}/pkgs/")
      .Searched({"{root}/pkgs/MRVStartup.mvk", kProgramCandidate, kUserCandidate})
      .Loading(kUserStartUpUrl);
}

const Case kCases[] = {
    // Options.
    Case("CapitalisedKeyAndBarePackageName")
        .Args({kProgram, "--WIDTH=800", "Demo-1.0.mvk"})
        .Files({"cwd/Demo-1.0.mvk"})
        .Options([](PlayerOptions& o) { o.width = 800; })
        .Game("file://{root}/cwd/Demo-1.0.mvk")
        .Work("./")
        .Searched({"./MRVStartup.mvk", kProgramCandidate, kUserCandidate})
        .Loading(kUserStartUpUrl),
    WithPackage("CapitalFIsFailsafeAndLeavesFullScreen")
        .Args({kProgram, "-F=1", "{root}/pkgs/Demo.mvk"})
        .Settings("Fullscreen=0\n")
        .Options([](PlayerOptions& o) { o.forceFailsafe = 1; })
        .FullScreen(false),
    WithPackage("SmallFSelectsFullScreen")
        .Args({kProgram, "-f=1", "{root}/pkgs/Demo.mvk"})
        .Settings("Fullscreen=0\n"),
    WithPackage("FullScreenOptionTwoIsFullScreen")
        .Args({kProgram, "--FullScreen=2", "{root}/pkgs/Demo.mvk"})
        .Settings("Fullscreen=0\n"),
    WithPackage("FullScreenSettingTwoIsWindowed")
        .Args({kProgram, "{root}/pkgs/Demo.mvk"})
        .Settings("Fullscreen=2\n")
        .FullScreen(false),
    WithPackage("FullScreenOptionNotANumberIsWindowed")
        .Args({kProgram, "-f=yes", "{root}/pkgs/Demo.mvk"})
        .FullScreen(false),
    WithPackage("EveryOptionByItsOtherNamesLastValueWins")
        .Args({kProgram, "-w=800", "--Width=1024", "-h=600", "--FORCEFAILSAFE=1", "--failsafe=0",
               "--antialias=3", "--AppShadowLevel=1", "--post-render-effects=1", "--REFLECTIONS=1",
               "--smartcache=0", "--unknown=5", "-x=1", "{root}/pkgs/Demo.mvk"})
        .Options([](PlayerOptions& o) {
          o.width = 1024;
          o.height = 600;
          o.appAALevel = 3;
          o.appShadowLevel = 1;
          o.appPostRELevel = 1;
          o.appReflectLevel = 1;
          o.smartCache = 0;
        }),
    WithPackage("ShortNames")
        .Args({kProgram, "-F=2", "-a=2", "-s=1", "-p=1", "-r=1", "-d=0", "{root}/pkgs/Demo.mvk"})
        .Options([](PlayerOptions& o) {
          o.forceFailsafe = 1;
          o.appAALevel = 2;
          o.appShadowLevel = 1;
          o.appPostRELevel = 1;
          o.appReflectLevel = 1;
          o.smartCache = 0;
        }),
    WithPackage("LowSixteenBitsOfOptionsAndSettings")
        .Args({kProgram, "-w=70000", "-a=-1", "{root}/pkgs/Demo.mvk"})
        .Settings("ResWidth=1024\nResHeight=70000\n")
        .Options([](PlayerOptions& o) {
          o.width = 4464;
          o.height = 4464;
          o.appAALevel = 65535;
        }),
    WithPackage("QuestionMarkWithValueIsAnUnknownOption")
        .Args({kProgram, "-?=1", "{root}/pkgs/Demo.mvk"}),

    // The configuration document.
    WithPackage("ConfigUrlWithQueryIsKeptWhole")
        .Args({kProgram, "--config=http://cfg.example.com/c.php?a=1&b=x=y&c=%3A3", "{root}/pkgs/Demo.mvk"})
        .Files({"pkgs/Demo.mvk", "pkgs/Demo.xml"})
        .Config("http://cfg.example.com/c.php?a=1&b=x=y&c=:3"),
    WithPackage("EmptyConfigFallsBackToTheXmlBesideThePackage")
        .Args({kProgram, "-c=", "{root}/pkgs/Demo.mvk"})
        .Files({"pkgs/Demo.mvk", "pkgs/Demo.xml"})
        .Config("file://{root}/pkgs/Demo.xml"),
    WithPackage("ConfigPathIsMadeAbsoluteAndNormalised")
        .Args({kProgram, "--Server=../pkgs/./Cfg.xml", "{root}/pkgs/Demo.mvk"})
        .Config("file://{root}/pkgs/Cfg.xml"),
    WithPackage("ConfigNoneIsAFileNamedNone")
        .Args({kProgram, "-c=none", "{root}/pkgs/Demo.mvk"})
        .Config("file://{root}/cwd/none"),

    // The package argument.
    Case("PackageNotLastIsIgnoredAndSearched")
        .Args({kProgram, "Demo-1.0.mvk", "-w=640"})
        .Files({"cwd/Demo-1.0.mvk", "prog/b.mvk"})
        .Options([](PlayerOptions& o) { o.width = 640; })
        .Game("file://{root}/prog/b.mvk")
        .Work("{root}/prog/")
        .Searched({kWorkCandidate, kProgramCandidate, kUserCandidate})
        .Loading(kUserStartUpUrl),
    Case("CapitalExtensionIsDroppedAndSearched")
        .Args({kProgram, "{root}/pkgs/DEMO.MVK"})
        .Files({"pkgs/DEMO.MVK", "prog/b.mvk", "prog/b.xml"})
        .Game("file://{root}/prog/b.mvk")
        .Work("{root}/prog/")
        .Config("file://{root}/prog/b.xml")
        .Searched({kWorkCandidate, kProgramCandidate, kUserCandidate})
        .Loading(kUserStartUpUrl),
    Case("HiddenPackageFilesAreNotPackages")
        .Files({"prog/._b.mvk", "prog/.a.mvk", "prog/b.mvk"})
        .Game("file://{root}/prog/b.mvk")
        .Work("{root}/prog/")
        .Searched({kWorkCandidate, kProgramCandidate, kUserCandidate})
        .Loading(kUserStartUpUrl),
    Case("OptionWithBlankGivesTwoPackageCandidates")
        .Args({kProgram, "-w", "800"})
        .Files({"prog/b.mvk"})
        .Game("file://{root}/prog/b.mvk")
        .Work("{root}/prog/")
        .Searched({kWorkCandidate, kProgramCandidate, kUserCandidate})
        .Loading(kUserStartUpUrl),
    Case("RemotePackageIsOnlyNormalised")
        .Args({kProgram, "http://games.example.com/Demo.mvk?12%3A30&v2"})
        .Files({"prog/MRVStartup.mvk"})
        .Game("http://games.example.com/Demo.mvk?12:30&v2")
        .Work("{root}/prog/")
        .Searched({kWorkCandidate})
        .Loading("file://{root}/prog/MRVStartup.mvk"),
    Case("RemoteUrlWithEqualsIsAnOption")
        .Args({kProgram, "http://games.example.com/get.php?name=Demo.mvk"})
        .Files({"prog/b.mvk"})
        .Game("file://{root}/prog/b.mvk")
        .Work("{root}/prog/")
        .Searched({kWorkCandidate, kProgramCandidate, kUserCandidate})
        .Loading(kUserStartUpUrl),
    Case("FullPathWithStartUpPackageBesideIt")
        .Args({kProgram, "{root}/pkgs/Demo.mvk"})
        .Files({"pkgs/Demo.mvk", "pkgs/MRVStartup.mvk", "pkgs/Demo.xml"})
        .Game("file://{root}/pkgs/Demo.mvk")
        .Work("{root}/pkgs/")
        .Config("file://{root}/pkgs/Demo.xml")
        .Searched({"{root}/pkgs/MRVStartup.mvk"})
        .Loading("file://{root}/pkgs/MRVStartup.mvk"),
    Case("QuotedPathWithBlanksIsJoined")
        .Args({kProgram, "-w=800", "\"{root}/my", "games/Demo", "1%3A.mvk\""})
        .Files({"my games/Demo 1%3A.mvk"})
        .Options([](PlayerOptions& o) { o.width = 800; })
        .Game("file://{root}/my games/Demo 1%253A.mvk")
        .Work("{root}/my games/")
        .Searched({"{root}/my games/MRVStartup.mvk", kProgramCandidate, kUserCandidate})
        .Loading(kUserStartUpUrl),

    // The search in the program's directory.
    Case("SearchSkipsTheStartUpPackage")
        .Files({"prog/MRVStartup.mvk", "prog/b.mvk", "prog/Zeta.mvk", "prog/A.mvk/", "prog/a.MVK"})
        .Game("file://{root}/prog/Zeta.mvk")
        .Work("{root}/prog/")
        .Searched({kWorkCandidate})
        .Loading("file://{root}/prog/MRVStartup.mvk"),
    Case("OnlyTheStartUpPackageMeansNoPackage")
        .Files({"prog/MRVStartup.mvk"})
        .Gives(Outcome::NoPackage),
    Case("NothingAnywhereMeansNoPackage")
        .Files({"cwd/Demo.mvk"})
        .Gives(Outcome::NoPackage),
    Case("EmptyProgramDirectorySearchesTheCurrentDirectory")
        .Args({"mervane-player"})
        .Files({"cwd/Demo.mvk"})
        .Game("file://{root}/cwd/Demo.mvk")
        .Work("./")
        .Searched({"./MRVStartup.mvk", "/MRVStartup.mvk", kUserCandidate})
        .Loading(kUserStartUpUrl),
    Case("NoUsablePlaceLeavesLoadingDataEmpty")
        .Args({kProgram, "{root}/pkgs/Demo.mvk"})
        .Files({"pkgs/Demo.mvk"})
        .UserDirectoryUnusable()
        .Game("file://{root}/pkgs/Demo.mvk")
        .Work("{root}/pkgs/")
        .Searched({"{root}/pkgs/MRVStartup.mvk", kProgramCandidate, ".\\MRVStartup.mvk"}),

    // Usage.
    Case("QuestionMarkAfterOptions")
        .Args({kProgram, "-w=800", "-?", "{root}/pkgs/Demo.mvk"})
        .Options([](PlayerOptions& o) { o.width = 800; })
        .Gives(Outcome::ShowUsage),
    Case("Help").Args({kProgram, "--help"}).Gives(Outcome::ShowUsage),
};

INSTANTIATE_TEST_SUITE_P(CommandLines, StartUpResolutionTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

struct UsageCase {
  std::vector<std::string> args;
  bool asks;
};

TEST(AsksForUsage, ScansLikeTheResolution) {
  const UsageCase cases[] = {
      {{"player"}, false},
      {{"player", "-?"}, true},
      {{"player", "-w=800", "--help", "Demo.mvk"}, true},
      {{"player", "Demo.mvk", "-?"}, true},
      {{"player", "-?=1"}, false},
      {{"player", "--HELP"}, false},
      {{"player", "-help"}, false},
      {{"player", "\"my", "-?"}, false},  // part of a quoted package
  };
  for (const UsageCase& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args)
      joined += arg + " ";
    EXPECT_EQ(AsksForUsage(c.args), c.asks) << joined;
  }
}

TEST(PathLocation, KeepsEverythingUpToTheLastSeparator) {
  const std::pair<std::string, std::string> cases[] = {
      {"./build/prog", "./build/"}, {"prog", ""},        {"/prog", "/"},
      {"/tmp/a/", "/tmp/a/"},       {"", ""},            {"C:\\a\\b.mvk", "C:/a/"},
      {"dir\\sub\\p.exe", "dir/sub/"}, {"C:prog", "C:"}, {"http://host/dir/p.mvk", "http://host/dir/"},
  };
  for (const auto& [path, location] : cases)
    EXPECT_EQ(PathLocation(path), location) << path;
}

TEST(LocalPathToUrl, GivesAbsoluteFileUrls) {
  TempTree tree;
  const std::string cwd = tree.Root() + "/cwd";
  const std::pair<std::string, std::string> cases[] = {
      {"/a/b.mvk", "file:///a/b.mvk"},
      {"/tmp/a b/c%d:e#f.mvk", "file:///tmp/a b/c%25d:e#f.mvk"},
      {"/a/./b/../c.mvk", "file:///a/c.mvk"},
      {"/opt\\Ombrica\\Player\\MRVStartup.mvk", "file:///opt/Ombrica/Player/MRVStartup.mvk"},
      {"x.mvk", "file://" + cwd + "/x.mvk"},
      {"./x.mvk", "file://" + cwd + "/x.mvk"},
      {"../up.mvk", "file://" + tree.Root() + "/up.mvk"},
  };
  for (const auto& [path, url] : cases)
    EXPECT_EQ(LocalPathToUrl(path), url) << path;
}

TEST(StartUpDocument, ConfigNoneOnTheCommandLineBecomesAFileUrl) {
  TempTree tree;
  const test::ScopedVariable programFiles("ProgramFiles", tree.Root() + "/pf");
  const test::ScopedVariable appData("APPDATA", tree.Root() + "/appdata");
  tree.Write("pkgs/Demo.mvk");
  const Resolved run = Resolve(tree, {kProgram, "-c=none", "{root}/pkgs/Demo.mvk"}, "");
  ASSERT_EQ(run.result.outcome, Outcome::Ready);
  EXPECT_EQ(BuildStartUpEnvironment(run.result.gameData, run.result.configData),
            tree.Expand("<MRVStartUp>\n"
                        "<VE i=\"0\" n=\"Startup\">\n"
                        "<V t=\"2\" n=\"MRVStartUpOptions.PackURI\">file://{root}/pkgs/Demo.mvk</V>\n"
                        "<V t=\"2\" n=\"MRVStartUpOptions.ConfigURI\">file://{root}/cwd/none</V>\n"
                        "</VE>\n"
                        "</MRVStartUp>"));
}

}  // namespace
