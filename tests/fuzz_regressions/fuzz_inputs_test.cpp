// Every seed and every kept crash input of the fuzz targets, run once through
// the targets' own logic in the normal build. A broken property aborts the
// binary with the file's name printed just before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace fs = std::filesystem;

namespace {

struct Target {
  const char* name;
  int (*run)(const uint8_t*, size_t);
};

constexpr Target kTargets[] = {
    {"fuzz_settings", FuzzSettingsFile},
    {"fuzz_command_line", FuzzCommandLine},
    {"fuzz_url_conversion", FuzzUrlConversion},
    {"fuzz_http_response", FuzzHttpResponse},
};

std::vector<fs::path> InputsOf(const std::string& target) {
  std::vector<fs::path> inputs;
  for (const char* kind : {"corpus", "regressions"}) {
    std::error_code error;
    for (fs::directory_iterator it(fs::path(MERVANE_FUZZ_DATA) / kind / target, error), end; !error && it != end;
         it.increment(error)) {
      if (it->is_regular_file()) inputs.push_back(it->path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

class FuzzInputs : public testing::TestWithParam<Target> {};

TEST_P(FuzzInputs, KeepEveryProperty) {
  const Target& target = GetParam();
  const std::vector<fs::path> inputs = InputsOf(target.name);
  ASSERT_FALSE(inputs.empty()) << "no seeds for " << target.name;
  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s\n", input.string().c_str());
    EXPECT_EQ(target.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0) << input;
  }
}

INSTANTIATE_TEST_SUITE_P(AllTargets, FuzzInputs, testing::ValuesIn(kTargets),
                         [](const testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

}  // namespace
