// What the player settles before the engine starts, as a user and the engine
// see it: the lines on standard output and the values the engine receives.
#include <gtest/gtest.h>

#include <string>

#include "support/player_run.h"
#include "support/x11_driver.h"

namespace {

using test::IndexOf;
using test::PlayerRun;

// The journal's quoting of a text.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c > 0x7e) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02x", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

TEST(StartUp, ReportLinesAndWhatTheEngineReceives) {
  test::X11Driver x11;
  if (!x11.ok()) GTEST_SKIP() << "no display";
  PlayerRun run;
  run.Script("at 2 stop\n");
  const std::string config = "http://cfg.example.invalid/c.php?a=1&b=2";
  run.Start({"-f=0", "-w=300", "-h=200", "--Server=" + config, "Game.mvk"});
  ASSERT_TRUE(run.WaitExit());
  ASSERT_EQ(run.exitStatus(), 0) << run.Stderr();

  const std::string programDir = std::string(MERVANE_PLAYER).substr(0, std::string(MERVANE_PLAYER).rfind('/') + 1);
  const std::string startup = run.dir() + "/programfiles/Ombrica/Player/MRVStartup.mvk";
  EXPECT_EQ(run.Stdout(),
            "Searching for.. : ./MRVStartup.mvk\n"
            "Searching for.. : " + programDir + "/MRVStartup.mvk\n"
            "Searching for.. : " + startup + "\n"
            "Work path...... : ./\n"
            "Config data.... : " + config + "\n"
            "Loading data... : file://" + startup + "\n"
            "Game data...... : file://" + run.dir() + "/Game.mvk\n");

  const auto journal = run.Journal();
  EXPECT_GE(IndexOf(journal, "ClientEngine_SetWorkPath \"./\""), 0);
  EXPECT_GE(IndexOf(journal, "ClientEngine_SetLoadingData \"file://" + startup + "\""), 0);
  const std::string document =
      "<MRVStartUp>\n<VE i=\"0\" n=\"Startup\">\n"
      "<V t=\"2\" n=\"MRVStartUpOptions.PackURI\">file://" + run.dir() + "/Game.mvk</V>\n"
      "<V t=\"2\" n=\"MRVStartUpOptions.ConfigURI\">" + config + "</V>\n"
      "</VE>\n</MRVStartUp>";
  EXPECT_GE(IndexOf(journal, "ClientEngine_SetStartUpEnv " + Quoted(document)), 0);
  const int loading = IndexOf(journal, "ClientEngine_SetLoadingData");
  const int env = IndexOf(journal, "ClientEngine_SetStartUpEnv");
  EXPECT_LT(loading, env);
}

TEST(StartUp, HelpAndVersionAnswerWithoutADisplay) {
  for (const char* word : {"--help", "-?", "--version"}) {
    PlayerRun run;
    run.SetEnv("DISPLAY", "");
    run.SetEnv("WAYLAND_DISPLAY", "");
    run.Start({"-w=800", word});
    ASSERT_TRUE(run.WaitExit());
    EXPECT_EQ(run.exitStatus(), 0) << word;
    const std::string out = run.Stdout();
    EXPECT_NE(out.find("Mervane Standalone Engine 1.5.1.0\n"), std::string::npos) << word;
    EXPECT_EQ(out.find("Usage : ") != std::string::npos, std::string(word) != "--version") << word;
  }
}

TEST(StartUp, NoPackageFoundSaysWhereItLookedAndExitsWithOne) {
  test::X11Driver x11;
  if (!x11.ok()) GTEST_SKIP() << "no display";
  PlayerRun run;
  run.Start({"-f=0"});  // the program's directory holds no package
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 1);
  EXPECT_NE(run.Stderr().find("no package"), std::string::npos) << run.Stderr();
  EXPECT_EQ(run.Stdout(), "");
  EXPECT_EQ(IndexOf(run.Journal(), "lib-load"), -1);
}

}  // namespace

namespace {

TEST(FirstRun, MissingEngineLibraryNamesBothPlacesAndTheRemedy) {
  test::X11Driver x11;
  if (!x11.ok()) GTEST_SKIP() << "no display";
  PlayerRun run;
  std::remove(run.Path("MRVClient.DLL").c_str());
  run.Start({"-f=0", "Game.mvk"});
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 1);
  const std::string err = run.Stderr();
  EXPECT_NE(err.find("cannot load MRVClient.DLL"), std::string::npos) << err;
  EXPECT_NE(err.find(run.Path("MRVClient.DLL")), std::string::npos) << err;
  EXPECT_NE(err.find(run.Path("programfiles/Ombrica/Player/MRVClient.DLL")), std::string::npos) << err;
  EXPECT_NE(err.find("Put MRVClient.DLL, OpenAL32.DLL and wrap_oal.DLL in the current directory or in " +
                     run.Path("programfiles/Ombrica/Player/")),
            std::string::npos)
      << err;
  // Nothing of the engine ran, and the companions loaded meanwhile were released.
  const auto journal = run.Journal();
  EXPECT_EQ(IndexOf(journal, "ClientEngine_Create"), -1);
  EXPECT_GE(IndexOf(journal, "lib-unload wrap_oal.DLL"), 0);
}

TEST(FirstRun, HelpWithADisplayShowsTheBoxAndPrintsTheText) {
  test::X11Driver x11;
  if (!x11.ok()) GTEST_SKIP() << "no display";
  PlayerRun run;
  run.Start({"-w=800", "-?"});
  const unsigned long box = x11.FindWindowNamed("Mervane help", 10000);
  ASSERT_NE(box, 0u) << run.Stderr();
  ASSERT_TRUE(x11.PressReturn(box));
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 0);
  EXPECT_EQ(run.Stdout().rfind("\nMervane Standalone Engine 1.5.1.0\n\nUsage : " + std::string(MERVANE_PLAYER), 0), 0u);
  EXPECT_EQ(IndexOf(run.Journal(), "lib-load"), -1);
}

}  // namespace
