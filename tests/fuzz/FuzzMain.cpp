// libFuzzer entry for the one target named by FUZZ_TARGET_NAME.
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzing::FuzzFunction target = [] {
        auto it = fuzzing::registry().find(FUZZ_TARGET_NAME);
        if (it == fuzzing::registry().end()) {
            std::fprintf(stderr, "no fuzz target %s\n", FUZZ_TARGET_NAME);
            std::abort();
        }
        return it->second;
    }();
    target(data, size);
    return 0;
}
