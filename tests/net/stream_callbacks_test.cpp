// The connection callbacks as the engine sees them: results, out-parameters,
// the states of a request, keys, and the trace pieces.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <wx/log.h>

#include "net/stream_callbacks.h"
#include "raw_peer.h"
#include "stream_fixture.h"

namespace {

TEST(StreamCallbacks, ReportFailureWhileTheServiceIsNotRunning) {
  ASSERT_EQ(activeFrame.load(), nullptr);
  const TraceCapture trace;
  EXPECT_FALSE(GetStream(1, "http://127.0.0.1/x", "Content-Type: a\r\n"));
  EXPECT_FALSE(PostStream(1, "http://127.0.0.1/x", "b", 1, 0, "Content-Type: a\r\n"));
  const Poll p = Query(1);
  EXPECT_FALSE(p.result);
  EXPECT_TRUE(p.Untouched());
  EXPECT_FALSE(ReleaseStream(1));
  EXPECT_EQ(trace.Text(), "");
}

TEST(StreamCallbacks, RegisteredRequestBeforeTheWorkerOpensIt) {
  StreamService service(/*runWorker=*/false);
  ASSERT_TRUE(GetStream(7, "http://127.0.0.1:1/x", "Content-Type: text/plain\r\n"));
  const Poll p = Query(7);
  EXPECT_TRUE(p.result);
  EXPECT_EQ(p.size, 0u);
  EXPECT_EQ(p.length, 0);
  EXPECT_FALSE(p.finished);
  EXPECT_EQ(p.body, nullptr);
  EXPECT_EQ(p.header, nullptr);
  // Null out-pointers: same answer, nothing written.
  EXPECT_TRUE(QueryStream(7, nullptr, nullptr, nullptr, nullptr, nullptr));
}

TEST(StreamCallbacks, UnknownKeyAnswersFalseAndReleaseStillSucceeds) {
  StreamService service(/*runWorker=*/false);
  const Poll p = Query(99);
  EXPECT_FALSE(p.result);
  EXPECT_TRUE(p.Untouched());
  EXPECT_TRUE(ReleaseStream(99));
}

TEST(StreamCallbacks, TwoLiveRequestsWithOneKeyActOnTheFirst) {
  StreamService service(/*runWorker=*/false);
  ASSERT_TRUE(GetStream(5, "http://127.0.0.1:1/first", "Content-Type: a\r\n"));
  ASSERT_TRUE(GetStream(5, "https://127.0.0.1/second", "Content-Type: a\r\n"));
  // The first (registered, fine) answers, not the second (no protocol).
  EXPECT_TRUE(Query(5).result);
  EXPECT_TRUE(ReleaseStream(5));
  service.Inspect(0, [](const StreamRequest& r) { EXPECT_TRUE(r.discard); });
  service.Inspect(1, [](const StreamRequest& r) { EXPECT_FALSE(r.discard); });
  // Now the first is discarded and still found first.
  const Poll p = Query(5);
  EXPECT_FALSE(p.result);
  EXPECT_TRUE(p.Untouched());
}

TEST(StreamCallbacks, TraceEveryRegistrationInPieces) {
  StreamService service(/*runWorker=*/false);
  const TraceCapture trace;
  GetStream(1, "http://h/g", "Content-Type: a\r\n");
  PostStream(2, "http://h/p", "body\0tail", 9, 0, "Content-Type: b\r\n");
  EXPECT_EQ(trace.Text(),
            "GetStream : http://h/g\nContent-Type: a\r\n\n"
            "PostStream : http://h/p\nContent-Type: b\r\n\nbody\n");
}

TEST(StreamCallbacks, UrlWithoutSchemeStaysRegistered) {
  RawPeer peer;
  peer.Serve("/done", {HttpHead("200 OK", {"Content-Length: 2"}) + "ok"});
  StreamService service;
  ASSERT_TRUE(GetStream(1, "foo/bar.txt", "Content-Type: a\r\n"));
  ASSERT_TRUE(GetStream(2, peer.Url("/done").c_str(), "Content-Type: a\r\n"));
  // Several passes later (the second request was opened and finished).
  EXPECT_TRUE(WaitForOutcome(2).finished);
  const Poll p = Query(1);
  EXPECT_TRUE(p.result);
  EXPECT_EQ(p.size, 0u);
  EXPECT_EQ(p.body, nullptr);
  EXPECT_EQ(service.host.requests.Count(), 2u);
}

struct FailCase {
  const char* name;
  std::string url;
  wxURLError error;  // of the open, or of the registration
};

class FailedRequest : public ::testing::TestWithParam<FailCase> {};

std::string WithPort(std::string url, int port) {
  if (const size_t at = url.find("BIGPORT"); at != std::string::npos)
    url.replace(at, 7, std::to_string(65536 + port));  // the peer's port modulo 65536
  if (const size_t at = url.find("PORT"); at != std::string::npos) url.replace(at, 4, std::to_string(port));
  return url;
}

// Failed, then discarded, then removed, without the engine releasing it.
TEST_P(FailedRequest, IsReportedThenDiscardedThenRemoved) {
  RawPeer peer;
  StreamService service;
  const std::string url = WithPort(GetParam().url, peer.Port());
  ASSERT_TRUE(GetStream(3, url.c_str(), "Content-Type: a\r\n"));
  const Poll p = WaitForOutcome(3);
  EXPECT_TRUE(p.Untouched());
  EXPECT_FALSE(p.finished);
  const Poll again = Query(3, /*finishedBefore=*/true);
  EXPECT_FALSE(again.result);
  EXPECT_TRUE(again.Untouched());
  EXPECT_TRUE(again.finished);
  EXPECT_TRUE(Eventually([&] { return service.host.requests.Count() == 0; }));
}

TEST_P(FailedRequest, CarriesTheUrlErrorCode) {
  RawPeer peer;
  const StreamUrl url = ParseStreamUrl(WithPort(GetParam().url, peer.Port()));
  if (url.error != wxURL_NOERR) {
    EXPECT_EQ(url.error, GetParam().error);
    return;
  }
  const wxLogNull quiet;
  TransferContext context;
  context.timeoutMs = 5000;
  const OpenResult opened = OpenTransfer(url, {}, context);
  EXPECT_EQ(opened.error, GetParam().error);
  EXPECT_EQ(opened.body, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedRequest,
                         ::testing::Values(FailCase{"https", "https://127.0.0.1:PORT/x", wxURL_NOPROTO},
                                           FailCase{"status404", "http://127.0.0.1:PORT/missing", wxURL_PROTOERR},
                                           FailCase{"refused", "http://127.0.0.1:1/x", wxURL_CONNERR},
                                           FailCase{"emptyHost", "http:///x", wxURL_NOHOST},
                                           FailCase{"missingFile", "file:///nonexistent/mervane/x", wxURL_PROTOERR},
                                           // Only regular files: no device, no directory.
                                           FailCase{"device", "file:///dev/zero", wxURL_PROTOERR},
                                           FailCase{"directory", "file:///", wxURL_PROTOERR},
                                           FailCase{"ftpRefused", "ftp://127.0.0.1:1/x", wxURL_CONNERR},
                                           // A port out of range never reaches another port.
                                           FailCase{"portWrapsAround", "http://127.0.0.1:BIGPORT/x", wxURL_CONNERR},
                                           FailCase{"portZero", "http://127.0.0.1:0/x", wxURL_CONNERR},
                                           FailCase{"portName", "http://127.0.0.1:http/x", wxURL_CONNERR},
                                           FailCase{"ftpPortWrapsAround", "ftp://127.0.0.1:BIGPORT/x", wxURL_CONNERR},
                                           // Line breaks in the host would inject headers.
                                           FailCase{"hostWithLineBreak", "http://127.0.0.1\r\nX-Injected: y:PORT/x",
                                                    wxURL_NOHOST}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FileCase {
  const char* name;
  std::string onDisk;  // relative to a scratch directory
  std::string inUrl;   // what follows the directory in the URL
};

class FileUrl : public ::testing::TestWithParam<FileCase> {};

// Read without header text, length 0, finished at the end of the file. The
// path is the URL's path with its query and fragment, percent-decoded into
// bytes, as the toolkit's file protocol took it.
TEST_P(FileUrl, IsReadWithoutHeaderText) {
  const FileCase& c = GetParam();
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("mervane-net-file-" + std::to_string(::getpid()));
  const std::filesystem::path file = dir / c.onDisk;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << std::string("file\0body", 9);
  {
    StreamService service;
    const std::string url = "file://" + dir.string() + "/" + c.inUrl;
    ASSERT_TRUE(GetStream(1, url.c_str(), "Content-Type: a\r\n"));
    const Poll p = WaitForOutcome(1);
    EXPECT_TRUE(p.finished);
    EXPECT_EQ(p.Data(), std::string("file\0body", 9));
    EXPECT_EQ(p.length, 0);
    EXPECT_EQ(p.header, nullptr);
  }
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileUrl,
    ::testing::Values(FileCase{"plain", "plain", "plain"},
                      // "http://" in the query must not make it an HTTP transfer.
                      FileCase{"queryAndFragmentArePartOfThePath", "q?from=http:/x/y#f", "q?from=http://x/y#f"},
                      FileCase{"percentDecodedIntoBytes", "a b\xe9%", "a%20b%E9%25"},
                      FileCase{"rawNonUtf8Bytes", "raw\xff", "raw\xff"}),
    [](const auto& info) { return std::string(info.param.name); });

// A FIFO would block the open (and the stop sequence behind it) until a writer
// came; it is refused at once, like any file that is not a regular one.
TEST(StreamCallbacks, FifoIsRefusedAtOnce) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("mervane-net-fifo-" + std::to_string(::getpid()))).string();
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  {
    StreamService service;
    ASSERT_TRUE(GetStream(1, ("file://" + path).c_str(), "Content-Type: a\r\n"));
    const Poll p = WaitForOutcome(1);
    EXPECT_FALSE(p.finished);
    EXPECT_TRUE(p.Untouched());
  }
  std::filesystem::remove(path);
}

TEST(StreamCallbacks, NullRecordIsNotAppended) {
  RequestList list;
  list.Append(nullptr);
  EXPECT_EQ(list.Count(), 0u);
}

TEST(StreamCallbacks, OpenUrlHandsOnlyWebPagesToTheBrowser) {
  const auto dir = std::filesystem::temp_directory_path() / ("mervane-browser-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto log = dir / "opened.txt";
  {
    std::ofstream fake(dir / "xdg-open");
    fake << "#!/bin/sh\necho \"$*\" >> '" << log.string() << "'\n";
  }
  std::filesystem::permissions(dir / "xdg-open", std::filesystem::perms::owner_all);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", (dir.string() + ":" + oldPath).c_str(), 1);
  const TraceCapture trace;

  ASSERT_EQ(activeFrame.load(), nullptr);  // works without a started service
  OpenUrlTargetCallback("file:///etc/passwd");
  OpenUrlTargetCallback("www.example.invalid/page");
  ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(log) && std::filesystem::file_size(log) > 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::ifstream opened(log);
  std::string all((std::istreambuf_iterator<char>(opened)), std::istreambuf_iterator<char>());
  EXPECT_EQ(all, "http://www.example.invalid/page\n");
  EXPECT_EQ(trace.Text(),
            "OpenUrlTargetCallback : file:///etc/passwd\n"
            "OpenUrlTargetCallback refused : file:///etc/passwd\n"
            "OpenUrlTargetCallback : www.example.invalid/page\n");
  ::setenv("PATH", oldPath.c_str(), 1);
  std::filesystem::remove_all(dir);
}

}  // namespace
