#include "app/startup_environment.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DocumentCase {
  const char* name;
  std::string gameData;
  std::string configData;
  std::string expected;
};

class StartUpEnvironmentTest : public testing::TestWithParam<DocumentCase> {};

TEST_P(StartUpEnvironmentTest, BuildsTheSixLinesExactly) {
  const DocumentCase& c = GetParam();
  EXPECT_EQ(BuildStartUpEnvironment(c.gameData, c.configData), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, StartUpEnvironmentTest,
    testing::Values(
        DocumentCase{"WithConfiguration", "file:///opt/games/Demo.mvk", "file:///opt/games/Demo.xml",
                     "<MRVStartUp>\n"
                     "<VE i=\"0\" n=\"Startup\">\n"
                     "<V t=\"2\" n=\"MRVStartUpOptions.PackURI\">file:///opt/games/Demo.mvk</V>\n"
                     "<V t=\"2\" n=\"MRVStartUpOptions.ConfigURI\">file:///opt/games/Demo.xml</V>\n"
                     "</VE>\n"
                     "</MRVStartUp>"},
        DocumentCase{"WithoutConfiguration", "file:///opt/games/Demo.mvk", "",
                     "<MRVStartUp>\n"
                     "<VE i=\"0\" n=\"Startup\">\n"
                     "<V t=\"2\" n=\"MRVStartUpOptions.PackURI\">file:///opt/games/Demo.mvk</V>\n"
                     "<V t=\"2\" n=\"MRVStartUpOptions.ConfigURI\">none</V>\n"
                     "</VE>\n"
                     "</MRVStartUp>"},
        // Values go in unescaped, whatever they hold.
        DocumentCase{"RemoteUrlWithQuery", "http://games.example.com/get.php?id=7&name=Demo.mvk",
                     "http://cfg.example.com/c.php?a=<1>&b=\"2\"",
                     "<MRVStartUp>\n"
                     "<VE i=\"0\" n=\"Startup\">\n"
                     "<V t=\"2\" n=\"MRVStartUpOptions.PackURI\">http://games.example.com/get.php?id=7&name=Demo.mvk</V>\n"
                     "<V t=\"2\" n=\"MRVStartUpOptions.ConfigURI\">http://cfg.example.com/c.php?a=<1>&b=\"2\"</V>\n"
                     "</VE>\n"
                     "</MRVStartUp>"}),
    [](const testing::TestParamInfo<DocumentCase>& info) { return std::string(info.param.name); });

}  // namespace
