// Where the engine library and its companions are loaded from, what a missing
// one or a missing entry does, and the options record as the engine gets it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/player_run.h"
#include "support/x11_driver.h"

namespace {

using test::IndexOf;
using test::LinesStartingWith;
using test::PlayerRun;

const std::string kStandin = MERVANE_STANDIN_BUILD_DIR;

void Move(const std::string& from, const std::string& to) { ASSERT_EQ(std::rename(from.c_str(), to.c_str()), 0) << from; }

void Copy(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  ASSERT_TRUE(in) << from;
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
}

// The per-user data directory the player claims: the program-files place.
std::string UserDir(const PlayerRun& run) {
  const std::string dir = run.Path("programfiles/Ombrica/Player");
  mkdir(run.Path("programfiles").c_str(), 0755);
  mkdir(run.Path("programfiles/Ombrica").c_str(), 0755);
  mkdir(dir.c_str(), 0755);
  return dir + "/";
}

struct LoadCase {
  const char* name;
  std::vector<std::string> toUserDir;  // libraries moved out of the current directory
  std::vector<std::string> removed;    // libraries in neither place
  const char* engineVariant;           // a build without one entry, or null
  bool runs;
  const char* stderrNames;             // what the not-ready message must name
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class Loading : public ::testing::TestWithParam<LoadCase> {};

TEST_P(Loading, LoadsFromBothPlacesAndRefusesWhatIsMissing) {
  test::X11Driver x11;
  if (!x11.ok()) GTEST_SKIP() << "no display";
  const LoadCase& c = GetParam();
  PlayerRun run;
  const std::string user = UserDir(run);
  for (const auto& lib : c.toUserDir) Move(run.Path(lib), user + lib);
  for (const auto& lib : c.removed) std::remove(run.Path(lib).c_str());
  if (c.engineVariant != nullptr) {
    Copy(kStandin + "/variants/" + c.engineVariant + "/MRVClient.DLL", run.Path("MRVClient.DLL"));
  }
  run.Script("at 5 stop\n");
  run.Start({"-f=0", "-w=200", "-h=100", "Game.mvk"});
  ASSERT_TRUE(run.WaitExit());
  const auto journal = run.Journal();
  if (c.runs) {
    EXPECT_EQ(run.exitStatus(), 0) << run.Stderr();
    EXPECT_GE(IndexOf(journal, "ClientEngine_RunOneFrame 5"), 0);
    EXPECT_EQ(LinesStartingWith(journal, "lib-load").size(), 3u);
  } else {
    EXPECT_EQ(run.exitStatus(), 1);
    EXPECT_NE(run.Stderr().find(c.stderrNames), std::string::npos) << run.Stderr();
    EXPECT_EQ(IndexOf(journal, "ClientEngine_Create"), -1);
  }
  // Whatever was loaded is released, engine library first.
  const auto loads = LinesStartingWith(journal, "lib-load");
  const auto unloads = LinesStartingWith(journal, "lib-unload");
  EXPECT_EQ(loads.size(), unloads.size());
  std::vector<std::string> expectedUnloads;
  for (const char* lib : {"MRVClient.DLL", "OpenAL32.DLL", "wrap_oal.DLL"}) {
    if (IndexOf(loads, std::string("lib-load ") + lib) >= 0) expectedUnloads.push_back(std::string("lib-unload ") + lib);
  }
  EXPECT_EQ(unloads, expectedUnloads);
}

INSTANTIATE_TEST_SUITE_P(
    Places, Loading,
    ::testing::Values(
        LoadCase{"AllFromCurrentDirectory", {}, {}, nullptr, true, ""},
        LoadCase{"AllFromUserDirectory", {"OpenAL32.DLL", "wrap_oal.DLL", "MRVClient.DLL"}, {}, nullptr, true, ""},
        LoadCase{"CompanionsFromUserDirectory", {"OpenAL32.DLL", "wrap_oal.DLL"}, {}, nullptr, true, ""},
        LoadCase{"WrapOalNowhere", {}, {"wrap_oal.DLL"}, nullptr, false, "wrap_oal.DLL"},
        LoadCase{"EngineWithoutDrawErrorDraw", {}, {}, "no-DrawError_Draw", false, "DrawError_Draw"},
        LoadCase{"EngineWithoutSetRootURL", {}, {}, "no-ConnectionManager_SetRootURL", true, ""},
        LoadCase{"EngineWithoutOpenUrlCallback", {}, {}, "no-ConnectionManager_SetOpenUrlTargetCallback", true, ""}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

TEST(Loading, OpenUrlCallbackIsNotRegisteredWithoutItsEntry) {
  test::X11Driver x11;
  if (!x11.ok()) GTEST_SKIP() << "no display";
  PlayerRun run;
  Copy(kStandin + "/variants/no-ConnectionManager_SetOpenUrlTargetCallback/MRVClient.DLL",
       run.Path("MRVClient.DLL"));
  run.Script("at 3 stop\n");
  run.Start({"-f=0", "Game.mvk"});
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 0);
  const auto journal = run.Journal();
  EXPECT_GE(IndexOf(journal, "ConnectionManager_SetConnectionCallbacks"), 0);
  EXPECT_EQ(IndexOf(journal, "ConnectionManager_SetOpenUrlTargetCallback"), -1);
}

// The record's 20 bytes in hex, as the stand-in journals them.
std::string RecordHex(uint16_t width, uint16_t height, uint8_t failsafe = 0, uint16_t aa = 0,
                      uint16_t shadows = 0, uint16_t post = 0, uint16_t reflect = 0, uint16_t cache = 1) {
  const uint8_t bytes[20] = {0, 0, 0, 0,
                             uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8),
                             1, failsafe,
                             uint8_t(aa), uint8_t(aa >> 8), uint8_t(shadows), uint8_t(shadows >> 8),
                             uint8_t(post), uint8_t(post >> 8), uint8_t(reflect), uint8_t(reflect >> 8),
                             uint8_t(cache), uint8_t(cache >> 8)};
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += hex[b >> 4];
    out += hex[b & 15];
  }
  return out;
}

struct RecordCase {
  const char* name;
  const char* settings;  // MRVClient.cfg in the current directory
  std::vector<std::string> args;
  bool displaySize;      // both fields take the display's size
  uint16_t width, height;
};

void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }

class Record : public ::testing::TestWithParam<RecordCase> {};

TEST_P(Record, EngineReceivesTheRecordOnceWithItsMask) {
  test::X11Driver x11;
  if (!x11.ok()) GTEST_SKIP() << "no display";
  int screenWidth = 0;
  int screenHeight = 0;
  x11.ScreenSize(&screenWidth, &screenHeight);

  const RecordCase& c = GetParam();
  PlayerRun run;
  run.WriteFile("MRVClient.cfg", c.settings);
  run.Script("at 2 stop\n");
  std::vector<std::string> args = c.args;
  args.push_back("Game.mvk");
  run.Start(args);
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 0) << run.Stderr();
  const auto sent = LinesStartingWith(run.Journal(), "OptionsManager_SetOptions");
  ASSERT_EQ(sent.size(), 1u);
  const uint16_t width = c.displaySize ? uint16_t(screenWidth) : c.width;
  const uint16_t height = c.displaySize ? uint16_t(screenHeight) : c.height;
  EXPECT_EQ(sent[0], "OptionsManager_SetOptions manager-ok " + RecordHex(width, height) + " 65535 tail-zero");
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Record,
    ::testing::Values(
        RecordCase{"NoSizeAnywhere", "Fullscreen=0\n", {}, true, 0, 0},
        RecordCase{"SettingsSizeLow16Bits", "Fullscreen=0\nResWidth=70000\nResHeight=600\n", {}, false, 4464, 600},
        RecordCase{"WidthWithoutHeight", "Fullscreen=0\nResWidth=800\n", {}, true, 0, 0},
        RecordCase{"CommandLineWins", "Fullscreen=0\nResWidth=800\nResHeight=600\n", {"-w=640", "--HEIGHT=70000"},
                   false, 640, 4464}),
    [](const ::testing::TestParamInfo<RecordCase>& info) { return std::string(info.param.name); });

}  // namespace
