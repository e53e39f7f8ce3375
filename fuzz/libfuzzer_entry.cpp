// libFuzzer's entry; MERVANE_FUZZ_FUNCTION names the target's logic.
#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return MERVANE_FUZZ_FUNCTION(data, size);
}
