// Looking through the log lines a test's machine kept (the simulated one's or
// the Linux one's) for a part of a line.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// How many of `lines` hold `part`.
inline int linesHolding(const std::vector<std::string>& lines, const std::string& part) {
    int n = 0;
    for (const auto& line : lines)
        n += line.find(part) != std::string::npos;
    return n;
}

inline bool anyLineHolds(const std::vector<std::string>& lines, const std::string& part) {
    return linesHolding(lines, part) > 0;
}

}  // namespace testing_support
