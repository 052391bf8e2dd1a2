#include "linux/devices/NumberedNames.h"

#include <cctype>

namespace platform::linux_machine {
namespace {

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The end of the run of digits starting at `at`.
std::size_t digitsEnd(const std::string& s, std::size_t at) {
    while (at < s.size() && isDigit(s[at]))
        ++at;
    return at;
}

}  // namespace

bool numberedBefore(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // The kernel writes numbers without leading zeros: the longer
            // run is the larger number.
            const std::size_t ei = digitsEnd(a, i), ej = digitsEnd(b, j);
            const std::string x = a.substr(i, ei - i), y = b.substr(j, ej - j);
            if (x.size() != y.size())
                return x.size() < y.size();
            if (x != y)
                return x < y;
            i = ei;
            j = ej;
        } else if (a[i] != b[j]) {
            return a[i] < b[j];
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

}  // namespace platform::linux_machine
