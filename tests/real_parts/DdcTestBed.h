// The real ddcutil against the DDC/CI test bed (tests/support/ddc-test-bed):
// a umockdev test bed whose /dev/i2c-N answer i2c-dev's calls, in which this
// test program runs again to let Duolume and ddcutil each find the monitor.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace testing_support {

inline const char* const kDdcutil = "/usr/bin/ddcutil";

// Why ddcutil cannot be run in a test bed on this machine; empty when it can.
std::string whyDdcutilCannotRun();

// This test program, started inside the test bed that `bedArguments` describe,
// running only its disabled test `inBed`.
std::unique_ptr<ChildProcess> runInDdcTestBed(const std::vector<std::string>& bedArguments,
                                              const std::string& inBed);

}  // namespace testing_support
