// The player's life from start to stop, seen from the stand-in engine's
// journal, the trace and the windows on the display.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/player_run.h"
#include "support/x11_driver.h"

namespace {

using test::IndexOf;
using test::LinesStartingWith;
using test::PlayerRun;
using test::X11Driver;

// Entry names of the journal lines, in order, without their arguments.
std::vector<std::string> Names(const std::vector<std::string>& lines) {
  std::vector<std::string> names;
  for (const auto& l : lines) names.push_back(l.substr(0, l.find(' ')));
  return names;
}

int FrameCount(const std::vector<std::string>& journal) {
  return static_cast<int>(LinesStartingWith(journal, "ClientEngine_RunOneFrame ").size());
}

void ExpectNoAnomalies(const std::vector<std::string>& journal) {
  for (const char* anomaly : {"reentered", "wrong-thread", "after-destroy", "bad-engine"}) {
    EXPECT_TRUE(LinesStartingWith(journal, anomaly).empty()) << anomaly;
  }
}

// The stop sequence's tail: stop, one last frame, log callback removed,
// destroy, then the libraries released engine first.
void ExpectStopOrder(const std::vector<std::string>& journal) {
  const int stop = IndexOf(journal, "ClientEngine_Stop");
  ASSERT_GE(stop, 0);
  const std::vector<std::string> tail(journal.begin() + stop, journal.end());
  EXPECT_EQ(Names(tail), (std::vector<std::string>{
                             "ClientEngine_Stop", "ClientEngine_RunOneFrame", "OptionsManager_SetLogCallback",
                             "ClientEngine_Destroy", "lib-unload", "lib-unload", "lib-unload"}));
  EXPECT_EQ(tail[2], "OptionsManager_SetLogCallback 0 0 null");
  EXPECT_EQ(tail[4], "lib-unload MRVClient.DLL");
  EXPECT_EQ(tail[5], "lib-unload OpenAL32.DLL");
  EXPECT_EQ(tail[6], "lib-unload wrap_oal.DLL");
}

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!x11.ok()) GTEST_SKIP() << "no display";
  }
  X11Driver x11;
  PlayerRun run;
};

TEST_F(Lifecycle, WindowedStartSendsEverythingInOrderAndCloseStopsInOrder) {
  run.Start({"-f=0", "-w=640", "-h=480", "Game.mvk"});
  const unsigned long window = x11.FindVisibleWindow(run.pid(), 10000);
  ASSERT_NE(window, 0u) << run.Stderr();
  ASSERT_TRUE(run.WaitForLine("ClientEngine_RunOneFrame 3"));
  x11.Close(window);
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 0) << run.Stderr();

  const auto journal = run.Journal();
  ExpectNoAnomalies(journal);
  const int firstFrame = IndexOf(journal, "ClientEngine_RunOneFrame");
  ASSERT_GT(firstFrame, 0);
  std::vector<std::string> start(journal.begin(), journal.begin() + firstFrame);
  // The resizing before the options already reached the engine through the
  // size handler; drop those pairs to compare the fixed order.
  const int options = IndexOf(start, "OptionsManager_SetOptions");
  ASSERT_GT(options, 0);
  const auto early = Names(std::vector<std::string>(start.begin(), start.begin() + options));
  EXPECT_NE(std::find(early.begin(), early.end(), "ClientEngine_SetGraphicContainer"), early.end());
  start.erase(std::remove_if(start.begin(), start.begin() + options,
                             [](const std::string& l) {
                               return l.rfind("ClientEngine_SetGraphicContainer", 0) == 0 ||
                                      l.rfind("ClientEngine_SetInputContainer", 0) == 0;
                             }),
              start.begin() + options);
  EXPECT_EQ(Names(start), (std::vector<std::string>{
                              "lib-load", "lib-load", "lib-load", "ClientEngine_Create",
                              "ClientEngine_SetWorkPath", "ClientEngine_Init",
                              "ClientEngine_GetConnectionManager", "ClientEngine_GetGameManager",
                              "ClientEngine_GetOptionsManager", "ClientEngine_SetClientType",
                              "ClientEngine_SetClientStopCallback", "OptionsManager_SetOptions",
                              "ClientEngine_SetGraphicContainer", "ClientEngine_SetInputContainer",
                              "ClientEngine_SetFullScreenState", "OptionsManager_SetLogCallback",
                              "ConnectionManager_SetConnectionCallbacks",
                              "ConnectionManager_SetOpenUrlTargetCallback", "ClientEngine_SetLoadingData",
                              "ClientEngine_SetStartUpEnv"}));
  EXPECT_EQ(start[0], "lib-load OpenAL32.DLL");
  EXPECT_EQ(start[1], "lib-load wrap_oal.DLL");
  EXPECT_EQ(start[2], "lib-load MRVClient.DLL");
  EXPECT_EQ(start[5], "ClientEngine_Init -> 1");
  EXPECT_EQ(start[9], "ClientEngine_SetClientType 1");
  EXPECT_EQ(start[10], "ClientEngine_SetClientStopCallback set set");
  // Without a window manager the outer size is the client size.
  EXPECT_EQ(start[12], "ClientEngine_SetGraphicContainer set 0 0 479 639");
  EXPECT_EQ(start[13], "ClientEngine_SetInputContainer set 0 0 479 639");
  EXPECT_EQ(start[14], "ClientEngine_SetFullScreenState 0");
  EXPECT_EQ(start[15], "OptionsManager_SetLogCallback 0 0 set");
  EXPECT_EQ(start[16], "ConnectionManager_SetConnectionCallbacks manager-ok set set set set 0");
  ExpectStopOrder(journal);
  EXPECT_EQ(run.Trace(), "Stop\nDestroy window\n");
}

TEST_F(Lifecycle, ResizeFromOutsideSendsNewContainers) {
  run.Start({"-f=0", "-w=640", "-h=480", "Game.mvk"});
  const unsigned long window = x11.FindVisibleWindow(run.pid(), 10000);
  ASSERT_NE(window, 0u) << run.Stderr();
  ASSERT_TRUE(run.WaitForLine("ClientEngine_RunOneFrame 2"));
  x11.Resize(window, 500, 300);
  EXPECT_TRUE(run.WaitForLine("ClientEngine_SetGraphicContainer set 0 0 299 499"));
  EXPECT_TRUE(run.WaitForLine("ClientEngine_SetInputContainer set 0 0 299 499"));
  x11.Close(window);
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 0);
}

TEST_F(Lifecycle, FullScreenStartNeverShowsTheWindowAndEngineStopEndsIt) {
  run.Script("at 40 stop\n");
  run.Start({"Game.mvk"});  // no settings file: full screen by default
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 0) << run.Stderr();
  const auto journal = run.Journal();
  ExpectNoAnomalies(journal);
  EXPECT_GE(IndexOf(journal, "ClientEngine_SetFullScreenState 1"), 0);
  EXPECT_EQ(IndexOf(journal, "ClientEngine_SetFullScreenState 0"), -1);
  EXPECT_FALSE(x11.HasVisibleWindow(run.pid()));
  // The stop request during frame 40 lets no further frame run but the last.
  const int stop = IndexOf(journal, "ClientEngine_Stop");
  ASSERT_GE(stop, 0);
  EXPECT_EQ(FrameCount(std::vector<std::string>(journal.begin(), journal.begin() + stop)), 40);
  ExpectStopOrder(journal);
  EXPECT_EQ(run.Trace(), "Stop\nDestroy window\n");
}

TEST_F(Lifecycle, FullScreenWindowStaysHiddenWhileFramesRun) {
  run.Script("at 60 stop\n");
  run.Start({"-f=1", "Game.mvk"});
  ASSERT_TRUE(run.WaitForLine("ClientEngine_RunOneFrame 20"));
  EXPECT_FALSE(x11.HasVisibleWindow(run.pid()));
  ASSERT_TRUE(run.WaitExit());
}

TEST_F(Lifecycle, SecondCloseChangesNothing) {
  run.Start({"-f=0", "-w=320", "-h=200", "Game.mvk"});
  const unsigned long window = x11.FindVisibleWindow(run.pid(), 10000);
  ASSERT_NE(window, 0u);
  ASSERT_TRUE(run.WaitForLine("ClientEngine_RunOneFrame 2"));
  x11.Close(window);
  x11.Close(window);
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 0);
  const auto journal = run.Journal();
  EXPECT_EQ(LinesStartingWith(journal, "ClientEngine_Stop").size(), 1u);
  EXPECT_EQ(LinesStartingWith(journal, "ClientEngine_Destroy").size(), 1u);
  EXPECT_EQ(run.Trace(), "Stop\nDestroy window\n");
}

TEST_F(Lifecycle, StopRequestDuringStartRunsNoFrameBeforeTheStop) {
  run.Script("stop-in-start\n");
  run.Start({"-f=0", "Game.mvk"});
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 0);
  const auto journal = run.Journal();
  EXPECT_LT(IndexOf(journal, "ClientEngine_Stop"), IndexOf(journal, "ClientEngine_RunOneFrame"));
  EXPECT_EQ(FrameCount(journal), 1);
  ExpectStopOrder(journal);
}

TEST_F(Lifecycle, LongFrameIsNeverReentered) {
  run.Script("at 3 sleep 300\nat 10 sleep 200\nat 30 stop\n");
  run.Start({"-f=0", "Game.mvk"});
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 0);
  const auto journal = run.Journal();
  ExpectNoAnomalies(journal);
  EXPECT_EQ(FrameCount(journal), 31);
}

TEST_F(Lifecycle, FailedInitialisationExitsWithStatusOneAndNoWindow) {
  run.Script("init-fail\n");
  run.Start({"-f=0", "Game.mvk"});
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 1);
  EXPECT_NE(run.Stderr().find("initialise"), std::string::npos) << run.Stderr();
  EXPECT_FALSE(x11.HasVisibleWindow(run.pid()));
  const auto journal = run.Journal();
  EXPECT_GE(IndexOf(journal, "ClientEngine_Init -> 0"), 0);
  EXPECT_EQ(IndexOf(journal, "ClientEngine_SetClientType"), -1);
  EXPECT_EQ(FrameCount(journal), 0);
  // The instance whose initialisation failed is destroyed, then everything unloaded.
  const int destroy = IndexOf(journal, "ClientEngine_Destroy");
  ASSERT_GE(destroy, 0);
  EXPECT_EQ(Names(std::vector<std::string>(journal.begin() + destroy, journal.end())),
            (std::vector<std::string>{"ClientEngine_Destroy", "lib-unload", "lib-unload", "lib-unload"}));
}

TEST_F(Lifecycle, EngineMessageShowsABoxAndNoFrameRunsWhileItIsOpen) {
  run.Script("at 3 log 7 \"Hello from the engine\"\n");
  run.Start({"-f=0", "-w=320", "-h=200", "Game.mvk"});
  const unsigned long box = x11.FindWindowNamed("Mervane help", 10000);
  ASSERT_NE(box, 0u) << run.Stderr();
  const int framesWhileOpen = FrameCount(run.Journal());
  test::SleepMs(400);
  EXPECT_EQ(FrameCount(run.Journal()), framesWhileOpen);
  EXPECT_EQ(framesWhileOpen, 3);
  ASSERT_TRUE(x11.PressReturn(box));
  ASSERT_TRUE(run.WaitForLine("Log \"Hello from the engine\" done"));
  ASSERT_TRUE(run.WaitForLine("ClientEngine_RunOneFrame 6"));
  const unsigned long window = x11.FindVisibleWindow(run.pid(), 5000);
  ASSERT_NE(window, 0u);
  x11.Close(window);
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 0);
  ExpectNoAnomalies(run.Journal());
}

}  // namespace
