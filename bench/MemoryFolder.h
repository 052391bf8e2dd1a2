// Where the benchmarks' virtual laptops are built: a folder on tmpfs when
// there is one, since, like sysfs, it writes no blocks. (On ext4, rewriting a
// truncated file forces its data out at every close, a cost real backlights
// do not have.)
#pragma once

#include <unistd.h>

#include <optional>
#include <string>

#include "support/TempDir.h"

namespace bench_support {

inline std::optional<std::string> memoryFolder() {
    if (access("/dev/shm", W_OK) == 0)
        return std::string("/dev/shm");
    return std::nullopt;
}

// Temporary folders made while it lives go to memory.
struct InMemoryTmpdir {
    testing_support::ScopedEnv tmpdir{"TMPDIR", memoryFolder()};
};

}  // namespace bench_support
