#include "app/usage_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/scratch.h"

namespace {

TEST(UsageText, MatchesTheReferenceByteForByte) {
  const std::string expected = test::ReadFile(MERVANE_TEST_DATA "/app/usage.txt");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(UsageText("/opt/player/mervane-player"), expected);
}

TEST(UsageText, NamesTheProgramAsItWasCalled) {
  const std::string text = UsageText("./bin/player");
  EXPECT_NE(text.find("Usage : ./bin/player [OPTIONS] [MVKfile]\n"), std::string::npos);
  EXPECT_NE(text.find("\nExample: ./bin/player -w=800 "), std::string::npos);
  EXPECT_NE(text.find("\nExample: ./bin/player --config=http://"), std::string::npos);
}

}  // namespace
