// The libFuzzer entry point of one target; QUENBY_FUZZ_BODY names its body.
#include "FuzzBodies.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    QUENBY_FUZZ_BODY;
    return 0;
}
