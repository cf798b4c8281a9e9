// The libFuzzer entry point of one target; QUENLOW_FUZZ_TARGET names its function.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return quenlow::fuzz::QUENLOW_FUZZ_TARGET(data, size);
}
