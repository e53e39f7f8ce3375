// The engine's network and desktop requests served by the real player: a GET
// and a POST fetched over loopback, and web pages handed to the desktop.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <mutex>
#include <string>

#include "support/loopback_server.h"
#include "support/player_run.h"
#include "support/x11_driver.h"

namespace {

using test::IndexOf;
using test::PlayerRun;

// Answers every connection with one fixed response and keeps what each
// request sent.
class FixedResponseServer {
 public:
  explicit FixedResponseServer(std::string response)
      : response_(std::move(response)), server_([this](int fd, const std::atomic<bool>&) {
          const std::string request = test::ReadRequest(fd);
          {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_ += request;
          }
          test::SendAll(fd, response_);
        }) {}
  std::string Url(const std::string& path) const { return server_.Url(path); }
  std::string requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  const std::string response_;
  std::mutex mutex_;
  std::string requests_;
  test::LoopbackServer server_;
};

TEST(Streams, EngineFetchesAndPostsThroughThePlayer) {
  test::X11Driver x11;
  if (!x11.ok()) GTEST_SKIP() << "no display";
  FixedResponseServer server("HTTP/1.0 200 OK\r\nContent-Length: 11\r\nETag: \"v1\"\r\n\r\nhello world");
  const std::string base = server.Url("");
  PlayerRun run;
  run.Script("at 2 get 5 \"" + base + "/data?x=1\" \"Content-Type: text/plain\\r\\n\"\n"
             "at 2 watch 5\n"
             "at 3 thread post 6 \"" + base + "/form\" \"Content-Type: application/x-www-form-urlencoded\\r\\n\" \"a=1&b=2\"\n"
             "at 3 thread watch 6\n");
  run.Start({"-f=0", "-w=200", "-h=100", "Game.mvk"});
  const auto done = [](const std::string& key) {
    return [key](const std::string& l) {
      return l.rfind("query " + key + " -> 0 finished=1", 0) == 0 && l.find("body-fnv=") != std::string::npos;
    };
  };
  ASSERT_TRUE(run.WaitForJournal(done("5"), 20000)) << run.Stderr();
  ASSERT_TRUE(run.WaitForJournal(done("6"), 20000)) << run.Stderr();
  x11.Close(x11.FindVisibleWindow(run.pid(), 5000));
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 0);

  const auto journal = run.Journal();
  const int final5 = IndexOf(journal, "query 5 -> 0 finished=1");
  ASSERT_GE(final5, 0);
  EXPECT_NE(journal[final5].find("size=11 length=11 header=\"Content-Length: 11\\nETag: \\\"v1\\\"\\n\" "
                                 "body=\"hello world\""),
            std::string::npos)
      << journal[final5];
  const std::string requests = server.requests();
  EXPECT_NE(requests.find("GET /data?x=1 HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\n"
                          "User-Agent: wxWidgets 2.x\r\nKeep-Alive: 300\r\n\r\n"),
            std::string::npos)
      << requests;
  EXPECT_NE(requests.find("POST /form HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                          "Content-Type: application/x-www-form-urlencoded\r\n"
                          "User-Agent: wxWidgets 2.x\r\nKeep-Alive: 300\r\n\r\na=1&b=2"),
            std::string::npos)
      << requests;
  const std::string trace = run.Trace();
  EXPECT_EQ(trace.rfind("GetStream : " + base + "/data?x=1\nContent-Type: text/plain\r\n\n", 0), 0u) << trace;
  EXPECT_NE(trace.find("Downloading " + base + "/data?x=1\n"), std::string::npos);
  EXPECT_NE(trace.find("PostStream : " + base + "/form\n"), std::string::npos);
}

TEST(Streams, WebPagesGoToTheBrowserAndOtherUrlsDoNot) {
  test::X11Driver x11;
  if (!x11.ok()) GTEST_SKIP() << "no display";
  PlayerRun run;
  mkdir(run.Path("bin").c_str(), 0755);
  run.WriteFile("bin/xdg-open", "#!/bin/sh\necho \"$*\" >> \"$(dirname \"$0\")/../opened.txt\"\n");
  chmod(run.Path("bin/xdg-open").c_str(), 0755);
  run.SetEnv("PATH", run.Path("bin") + ":/usr/bin:/bin");
  run.Script("at 2 openurl \"http://example.invalid/page?a=1\"\n"
             "at 2 openurl \"file:///etc/passwd\"\n"
             "at 2 thread openurl \"www.example.invalid/x\"\n"
             "at 60 stop\n");
  run.Start({"-f=0", "-w=200", "-h=100", "Game.mvk"});
  ASSERT_TRUE(run.WaitExit());
  EXPECT_EQ(run.exitStatus(), 0);
  for (int i = 0; i < 100 && test::ReadFile(run.Path("opened.txt")).find("www.") == std::string::npos; ++i) {
    test::SleepMs(20);
  }
  const std::string opened = test::ReadFile(run.Path("opened.txt"));
  EXPECT_NE(opened.find("http://example.invalid/page?a=1\n"), std::string::npos) << opened;
  EXPECT_NE(opened.find("http://www.example.invalid/x\n"), std::string::npos) << opened;
  EXPECT_EQ(opened.find("passwd"), std::string::npos) << opened;
  EXPECT_NE(run.Trace().find("OpenUrlTargetCallback refused : file:///etc/passwd\n"), std::string::npos);
}

}  // namespace
