// Property lists damaged in ways that once crashed their readers.
#pragma once

#include <string>

namespace testing_support {

// A binary property list holding a dictionary whose one key, "internal5é"
// followed by a NUL, is stored in UTF-16. libplist's key accessor asserts
// (aborting the process) on such a key.
std::string binaryPropertyListWithANulInAKey();

}  // namespace testing_support
