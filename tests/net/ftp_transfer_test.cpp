// ftp URLs against a small FTP peer: the commands sent, the body as a plain
// stream, failures, and a close while the data connection stalls.
#include <gtest/gtest.h>

#include "ftp_peer.h"
#include "net/stream_callbacks.h"
#include "stream_fixture.h"

namespace {

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 37 % 256);
  return s;
}

struct FtpCase {
  const char* name;
  FtpScript script;
  const char* path;      // URL path, percent-encoded
  const char* userInfo;  // before the host
  bool completes;        // else fails
  std::vector<std::string> commands;
};

void PrintTo(const FtpCase& c, std::ostream* os) { *os << c.name; }

class FtpTransfer : public ::testing::TestWithParam<FtpCase> {};

TEST_P(FtpTransfer, IsReadAsAPlainStream) {
  const FtpCase& c = GetParam();
  FtpPeer peer(c.script);
  {
    StreamService service;
    ASSERT_TRUE(GetStream(1, peer.Url(c.path, c.userInfo).c_str(), "Content-Type: a\r\n"));
    const Poll p = WaitForOutcome(1);
    EXPECT_FALSE(p.result);
    if (c.completes) {
      ASSERT_TRUE(p.finished);
      EXPECT_EQ(p.Data(), c.script.file);
      EXPECT_EQ(p.length, 0);
      EXPECT_EQ(p.header, nullptr);
    } else {
      EXPECT_FALSE(p.finished);
      EXPECT_TRUE(p.Untouched());
    }
  }
  EXPECT_EQ(peer.Commands(), c.commands);
}

const std::vector<std::string> kAnonymous = {"USER anonymous", "PASS anonymous@", "TYPE I", "PASV"};

std::vector<std::string> Anonymous(const std::string& retr) {
  std::vector<std::string> commands = kAnonymous;
  commands.push_back(retr);
  return commands;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FtpTransfer,
    ::testing::Values(
        // More than one block; the path is decoded into bytes.
        FtpCase{"twoBlocks", {Pattern(300000)}, "/dir/a%20b%E9", "", true, Anonymous("RETR /dir/a b\xe9")},
        FtpCase{"emptyFile", {""}, "/empty", "", true, Anonymous("RETR /empty")},
        FtpCase{"userInfo", {"x"}, "/f", "u%3A:p%40w@", true,
                {"USER u:", "PASS p@w", "TYPE I", "PASV", "RETR /f"}},
        // An aborted transfer is a failure, not a short file.
        FtpCase{"abortedTransfer", {Pattern(1000), std::string::npos, true}, "/f", "", false, Anonymous("RETR /f")},
        // A line break in the path never becomes a command of its own.
        FtpCase{"lineBreakInPath", {"x"}, "/a%0D%0ADELE%20b", "", false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Closing never waits for a stalled data connection, even with the full
// socket time-out.
TEST(FtpTransferClose, InterruptsAStalledDataConnection) {
  FtpScript script{Pattern(1000)};
  script.stallAt = 10;
  FtpPeer peer(script);
  StreamService service(/*runWorker=*/true, /*socketTimeoutMs=*/600 * 1000);
  ASSERT_TRUE(GetStream(1, peer.Url("/f").c_str(), "Content-Type: a\r\n"));
  ASSERT_TRUE(Eventually([&] { return peer.Commands().size() == 5; }));
  service.host.closeRequested = true;
  EXPECT_TRUE(Eventually([&] { return service.TryStop(); }, std::chrono::seconds(30)));
  service.worker.Join();
}

}  // namespace
