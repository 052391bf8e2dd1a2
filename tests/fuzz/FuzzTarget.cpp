#include "fuzz/FuzzTarget.h"

namespace fuzzing {

std::map<std::string, FuzzFunction>& registry() {
    static std::map<std::string, FuzzFunction> targets;
    return targets;
}

}  // namespace fuzzing
