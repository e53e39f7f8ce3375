// The stand-in engine as the tests and the demo rely on it: its journal lines
// and its script actions, driven through the exported entry points with fake
// player callbacks.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch.h"

namespace {

const std::string kEngine = std::string(MERVANE_RUN_DIR) + "/MRVClient.DLL";

// What the fake player saw.
struct FakePlayer {
  int stops = 0;
  std::vector<std::string> calls;
  int queries = 0;
} player;

extern "C" void FakeStop(void* userData) { ++static_cast<FakePlayer*>(userData)->stops; }
extern "C" void FakeLog(int32_t first, const char* text) {
  player.calls.push_back("log " + std::to_string(first) + " " + (text ? text : "(null)"));
}
extern "C" bool FakeGet(int32_t key, const char* url, const char* header) {
  player.calls.push_back("get " + std::to_string(key) + " " + url + " " + header);
  return true;
}
extern "C" bool FakePost(int32_t key, const char* url, const void* body, uint32_t size, uint32_t,
                         const char*) {
  player.calls.push_back("post " + std::to_string(key) + " " + url + " " +
                         std::string(static_cast<const char*>(body), size));
  return true;
}
// Key 7 is under way for two queries, then complete with "hello"; other
// keys are unknown (false, nothing written).
const char kHeader[] = "Content-Length: 5\n";
const uint8_t kBody[] = {'h', 'e', 'l', 'l', 'o'};
extern "C" bool FakeQuery(int32_t key, uint32_t* size, int32_t* length, bool* finished,
                          const uint8_t** body, const char** header) {
  if (key != 7) return false;
  const bool done = ++player.queries > 2;
  if (size) *size = done ? 5 : 2;
  if (length) *length = 5;
  if (finished) *finished = done;
  if (body) *body = kBody;
  if (header) *header = kHeader;
  return !done;
}
extern "C" bool FakeRelease(int32_t key) { return key == 7; }
extern "C" void FakeOpenUrl(const char* url) { player.calls.push_back(std::string("open ") + url); }

template <typename F>
F Entry(void* library, const char* name) {
  return reinterpret_cast<F>(dlsym(library, name));
}

class StandinEngine : public ::testing::Test {
 protected:
  void SetUp() override { player = FakePlayer{}; }
  // The library goes before the members below put the environment back.
  void TearDown() override { Unload(); }

  void Load(const std::string& script) {
    test::WriteFile(dir_ + "/script", script);
    library_ = dlopen(kEngine.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
  }
  void Unload() {
    if (library_ != nullptr) dlclose(library_);
    library_ = nullptr;
  }

  // The player's start sequence with the fake callbacks; returns the engine.
  void* Start() {
    void* engine = Entry<void* (*)()>(library_, "ClientEngine_Create")();
    Entry<void (*)(void*, const char*)>(library_, "ClientEngine_SetWorkPath")(engine, "/w");
    if (!Entry<bool (*)(void*)>(library_, "ClientEngine_Init")(engine)) return engine;
    void* connections = Entry<void* (*)(void*)>(library_, "ClientEngine_GetConnectionManager")(engine);
    Entry<void* (*)(void*)>(library_, "ClientEngine_GetGameManager")(engine);
    void* options = Entry<void* (*)(void*)>(library_, "ClientEngine_GetOptionsManager")(engine);
    Entry<void (*)(void*, void (*)(void*), void*)>(library_, "ClientEngine_SetClientStopCallback")(
        engine, FakeStop, &player);
    uint8_t record[256] = {0, 0, 0, 0, 0x20, 0x03, 0x58, 0x02, 1};
    Entry<void (*)(void*, const void*, uint32_t)>(library_, "OptionsManager_SetOptions")(
        options, record, 0xffff);
    Entry<void (*)(void*, int32_t, void (*)(int32_t, const char*))>(
        library_, "OptionsManager_SetLogCallback")(nullptr, 0, FakeLog);
    Entry<void (*)(void*, decltype(&FakeGet), decltype(&FakePost), decltype(&FakeQuery),
                   decltype(&FakeRelease), int32_t)>(
        library_, "ConnectionManager_SetConnectionCallbacks")(connections, FakeGet, FakePost,
                                                              FakeQuery, FakeRelease, 0);
    Entry<void (*)(void*, void (*)(const char*))>(
        library_, "ConnectionManager_SetOpenUrlTargetCallback")(connections, FakeOpenUrl);
    Entry<void (*)(void*, const char*)>(library_, "ClientEngine_SetStartUpEnv")(
        engine, "<MRVStartUp>\n<VE i=\"0\" n=\"Startup\">\n</VE>\n</MRVStartUp>");
    return engine;
  }
  void Frames(void* engine, int count) {
    auto frame = Entry<bool (*)(void*)>(library_, "ClientEngine_RunOneFrame");
    for (int i = 0; i < count; ++i) frame(engine);
  }
  void Destroy(void* engine) { Entry<void (*)(void*)>(library_, "ClientEngine_Destroy")(engine); }

  std::vector<std::string> Journal() const {
    std::ifstream in(dir_ + "/journal");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The journal without the entry-point and library lines: what the actions wrote.
  std::vector<std::string> ActionLines() const {
    std::vector<std::string> out;
    for (const auto& line : Journal()) {
      if (line.rfind("ClientEngine_", 0) == 0 || line.rfind("lib-", 0) == 0 ||
          line.rfind("OptionsManager_", 0) == 0 || line.rfind("ConnectionManager_", 0) == 0) {
        continue;
      }
      out.push_back(line);
    }
    return out;
  }

  const test::TempDir temp_{"standin-test-"};
  const std::string dir_ = temp_.Path().string();
  const test::ScopedVariable journal_{"MERVANE_STANDIN_JOURNAL", dir_ + "/journal"};
  const test::ScopedVariable script_{"MERVANE_STANDIN_SCRIPT", dir_ + "/script"};
  const test::ScopedVariable noDraw_{"MERVANE_STANDIN_NODRAW", "1"};
  void* library_ = nullptr;
};

TEST_F(StandinEngine, JournalsEveryCallWithItsArguments) {
  Load("");
  void* engine = Entry<void* (*)()>(library_, "ClientEngine_Create")();
  Entry<void (*)(void*, const char*)>(library_, "ClientEngine_SetWorkPath")(engine,
                                                                             "a\"b\\c\n\r\t\x01\xff");
  EXPECT_TRUE(Entry<bool (*)(void*)>(library_, "ClientEngine_Init")(engine));
  void* options = Entry<void* (*)(void*)>(library_, "ClientEngine_GetOptionsManager")(engine);
  Entry<void (*)(void*, int32_t)>(library_, "ClientEngine_SetClientType")(engine, 1);
  Entry<void (*)(void*, void (*)(void*), void*)>(library_, "ClientEngine_SetClientStopCallback")(
      engine, FakeStop, nullptr);
  uint8_t record[256] = {0, 0, 0, 0, 0x20, 0x03, 0x58, 0x02, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
  auto setOptions = Entry<void (*)(void*, const void*, uint32_t)>(library_, "OptionsManager_SetOptions");
  setOptions(options, record, 0xffff);
  record[100] = 1;
  setOptions(engine, record, 7);
  auto graphic = Entry<void (*)(void*, void*, int32_t, int32_t, int32_t, int32_t)>(
      library_, "ClientEngine_SetGraphicContainer");
  graphic(engine, &record, 0, 0, 599, 799);
  graphic(engine, nullptr, 3, 4, 2, -1);
  Entry<void (*)(void*, void*, int32_t, int32_t, int32_t, int32_t)>(
      library_, "ClientEngine_SetInputContainer")(engine, &record, 0, 0, 599, 799);
  Entry<void (*)(void*, int32_t)>(library_, "ClientEngine_SetFullScreenState")(engine, 1);
  auto setLog = Entry<void (*)(void*, int32_t, void (*)(int32_t, const char*))>(
      library_, "OptionsManager_SetLogCallback");
  setLog(nullptr, 0, FakeLog);
  setLog(&record, 3, nullptr);
  Entry<void (*)(void*, const char*)>(library_, "ClientEngine_SetLoadingData")(engine, nullptr);
  Entry<void (*)(void*, const char*)>(library_, "ClientEngine_SetStartUpEnv")(engine, "<a>\n</a>");
  Frames(engine, 2);
  Entry<void (*)(void*)>(library_, "ClientEngine_Stop")(engine);
  Entry<void (*)()>(library_, "DrawError_Draw")();
  Destroy(engine);
  Unload();

  const std::vector<std::string> expected = {
      "lib-load MRVClient.DLL",
      "ClientEngine_Create",
      "ClientEngine_SetWorkPath \"a\\\"b\\\\c\\n\\r\\t\\x01\\xff\"",
      "ClientEngine_Init -> 1",
      "ClientEngine_GetOptionsManager",
      "ClientEngine_SetClientType 1",
      "ClientEngine_SetClientStopCallback set null",
      "OptionsManager_SetOptions manager-ok 0000000020035802010000000000000000000100 65535 tail-zero",
      "OptionsManager_SetOptions manager-bad 0000000020035802010000000000000000000100 7 tail-nonzero",
      "ClientEngine_SetGraphicContainer set 0 0 599 799",
      "ClientEngine_SetGraphicContainer null 3 4 2 -1",
      "ClientEngine_SetInputContainer set 0 0 599 799",
      "ClientEngine_SetFullScreenState 1",
      "OptionsManager_SetLogCallback 0 0 set",
      "OptionsManager_SetLogCallback set 3 null",
      "ClientEngine_SetLoadingData null",
      "ClientEngine_SetStartUpEnv \"<a>\\n</a>\"",
      "ClientEngine_RunOneFrame 1",
      "ClientEngine_RunOneFrame 2",
      "ClientEngine_Stop",
      "unexpected-call DrawError_Draw",
      "ClientEngine_Destroy",
      "lib-unload MRVClient.DLL",
  };
  EXPECT_EQ(Journal(), expected);
}

TEST_F(StandinEngine, JournalsAnomalies) {
  Load("");
  void* engine = Entry<void* (*)()>(library_, "ClientEngine_Create")();
  auto stop = Entry<void (*)(void*)>(library_, "ClientEngine_Stop");
  stop(&engine);                                      // not the engine
  std::thread([&] { stop(engine); }).join();          // not the creating thread
  Destroy(engine);
  Frames(engine, 1);                                  // after destroy
  const std::vector<std::string> expected = {
      "lib-load MRVClient.DLL",
      "ClientEngine_Create",
      "bad-engine ClientEngine_Stop",
      "wrong-thread ClientEngine_Stop",
      "ClientEngine_Stop",
      "ClientEngine_Destroy",
      "after-destroy ClientEngine_RunOneFrame",
  };
  EXPECT_EQ(Journal(), expected);
}

TEST_F(StandinEngine, InitFailsWhenScripted) {
  Load("# comment\n\ninit-fail\n");
  void* engine = Start();
  EXPECT_EQ(Journal().back(), "ClientEngine_Init -> 0");
  Destroy(engine);
}

TEST_F(StandinEngine, ActsOutTheScriptAtItsFrames) {
  Load("stop-in-start\n"
       "at 1 get 7 \"http://h/a\" \"Content-Type: x\\r\\n\"\n"
       "at 1 post 8 \"http://h/b\" \"H\" \"b\\x00dy\"\n"
       "at 2 watch 7\n"
       "at 2 query 9\n"
       "at 2 query-null 7\n"
       "at 3 log 4 \"hi\"\n"
       "at 3 log 0 null\n"
       "at 6 release 7\n"
       "at 6 release 9\n"
       "at 6 openurl \"www.x\"\n"
       "at 6 stop\n");
  void* engine = Start();
  Frames(engine, 6);
  Destroy(engine);
  const std::vector<std::string> expected = {
      "StopRequested",
      "GetStream 7 -> 1",
      "PostStream 8 -> 1",
      "query 7 -> 1 finished=0 size=2 length=5 header=\"Content-Length: 5\\n\" body=\"he\" bodylen=2",
      "query 9 -> 0 finished=untouched size=0 length=0 header=null body=null bodylen=0",
      "query-null 7 -> 1",
      "query 7 -> 0 finished=1 size=5 length=5 header=\"Content-Length: 5\\n\" body=\"hello\" "
      "bodylen=5 body-fnv=a430d84680aabd0b",
      "Log \"hi\" done",
      "Log null done",
      "ReleaseStream 7 -> 1",
      "ReleaseStream 9 -> 0",
      "OpenUrl \"www.x\"",
      "StopRequested",
  };
  EXPECT_EQ(ActionLines(), expected);
  EXPECT_EQ(player.stops, 2);
  EXPECT_EQ(player.calls, (std::vector<std::string>{
                              "get 7 http://h/a Content-Type: x\r\n", std::string("post 8 http://h/b b\0dy", 22),
                              "log 4 hi", "log 0 (null)", "open www.x"}));
}

TEST_F(StandinEngine, RunsThreadCommandsInOrderOnItsOwnThread) {
  Load("at 1 thread get 7 \"u\" \"h\"\n"
       "at 1 thread watch 7\n"
       "at 1 thread release 7\n");
  void* engine = Start();
  Frames(engine, 1);
  for (int i = 0; i < 400 && ActionLines().size() < 4; ++i) usleep(5000);
  Destroy(engine);
  const auto lines = ActionLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "GetStream 7 -> 1");
  EXPECT_EQ(lines[1].rfind("query 7 -> 1 finished=0", 0), 0u) << lines[1];
  EXPECT_NE(lines[2].find("body-fnv=a430d84680aabd0b"), std::string::npos) << lines[2];
  EXPECT_EQ(lines[3], "ReleaseStream 7 -> 1");
  for (const auto& line : Journal()) EXPECT_EQ(line.rfind("wrong-thread", 0), std::string::npos);
}

TEST_F(StandinEngine, RejectsMalformedScriptLines) {
  struct Case {
    const char* line;
    const char* error;
  };
  const Case cases[] = {
      {"at 0 stop", "1 bad frame number"},
      {"at 1 jump", "1 unknown command jump"},
      {"at 1 get x \"u\" \"h\"", "1 get wants <key> \"<url>\" \"<header>\""},
      {"at 1 openurl \"unclosed", "1 unclosed quote"},
      {"at 1 openurl \"\\q\"", "1 bad escape"},
      {"at 1 query 7 8", "1 query takes 1 arguments"},
      {"init-fail now", "1 unknown line"},
  };
  for (const Case& c : cases) {
    Load(std::string(c.line) + "\n");
    void* engine = Entry<void* (*)()>(library_, "ClientEngine_Create")();
    Destroy(engine);
    Unload();
    EXPECT_EQ(ActionLines(), std::vector<std::string>{std::string("script-error ") + c.error})
        << c.line;
    std::remove((dir_ + "/journal").c_str());
  }
}

}  // namespace
