// Every fuzz target runs over its committed seed corpus in the ordinary test
// run, so a crash once found stays fixed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/FuzzTarget.h"
#include "sim/SimMachine.h"

namespace fs = std::filesystem;

TEST(FuzzReplay, EveryTargetRunsItsSeedCorpusWithoutCrashing) {
    platform::sim::SimMachine::installNew();
    const fs::path corpusRoot = fs::path(DUOLUME_SOURCE_DIR) / "tests/fuzz/corpus";
    ASSERT_FALSE(fuzzing::registry().empty());
    for (const auto& [name, target] : fuzzing::registry()) {
        const fs::path folder = corpusRoot / name;
        ASSERT_TRUE(fs::is_directory(folder)) << "no seed corpus for " << name;
        int seeds = 0;
        for (const auto& entry : fs::directory_iterator(folder)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
            target(bytes.data(), bytes.size());
            ++seeds;
        }
        EXPECT_GT(seeds, 0) << name;
    }
}
