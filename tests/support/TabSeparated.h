// The cells of one line of a tab-separated index (the real-data folders'
// INDEX.tsv files), empty cells kept.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

inline std::vector<std::string> tabSeparatedCells(const std::string& line) {
    std::vector<std::string> cells;
    std::stringstream in(line);
    std::string cell;
    while (std::getline(in, cell, '\t'))
        cells.push_back(cell);
    return cells;
}

}  // namespace testing_support
